// The firmware update dialog against the real simulator, inside a private
// network namespace: the master found by multicast DNS, its descriptor
// table, the commands, and uploads that finish, are refused or are
// cancelled.
#include "UpdateDialog.h"
#include "sim/SimProcess.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <memory>

namespace {

constexpr int kWait = 15000;
const QString kInstance = QStringLiteral("[sentrova:0000000000001000]._svc_sentrova._udp.local");

QByteArray firmware(const QByteArray &name, const QByteArray &version, int imageBytes)
{
    QByteArray bytes = "{\"name\":\"" + name + "\",\"version\":\"" + version + "\"}\n";
    bytes.reserve(bytes.size() + imageBytes);
    for (int i = 0; i < imageBytes; ++i)
        bytes.append(char((i * 7 + i / 251) & 0xFF));
    return bytes;
}

} // namespace

class TestUpdateDialog : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void masterFoundAndTableShown();
    void commandsSendTheirJson_data();
    void commandsSendTheirJson();
    void uploadRunsToTheEndAndIsListed();
    void badFileRefusedBeforeSending_data();
    void badFileRefusedBeforeSending();
    void cancelledUploadLeavesTableAsItWas();
    void versionMatrixShowsEveryNode();

private:
    template<typename T>
    T *child(const char *name)
    {
        T *w = m_dialog->findChild<T *>(QString::fromLatin1(name));
        if (!w)
            qFatal("no child %s", name);
        return w;
    }
    QStringList log() { return child<QPlainTextEdit>("log")->toPlainText().split(QLatin1Char('\n')); }
    // "slot name version enabled boot" of each row.
    QStringList table();
    QString writeFile(const QString &name, const QByteArray &bytes);
    void selectSlot(int slot);

    std::unique_ptr<SimProcess> m_sim;
    std::unique_ptr<UpdateDialog> m_dialog;
    QTemporaryDir m_dir;
};

void TestUpdateDialog::init()
{
    // A fresh master for each case: the commands change its table.
    m_sim = std::make_unique<SimProcess>();
    QVERIFY(m_sim->start({}, false));
    m_dialog = std::make_unique<UpdateDialog>();
    m_dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_dialog.get()));
    QTRY_COMPARE_WITH_TIMEOUT(child<QTableWidget>("descriptors")->rowCount(), 2, kWait);
}

void TestUpdateDialog::cleanup()
{
    m_dialog.reset();
    QCOMPARE(m_sim->terminate(), 0);
    m_sim.reset();
}

QStringList TestUpdateDialog::table()
{
    QStringList rows;
    auto *t = child<QTableWidget>("descriptors");
    for (int r = 0; r < t->rowCount(); ++r) {
        QStringList cells;
        for (int c : {0, 1, 2, 5, 6})
            cells << t->item(r, c)->text();
        rows << cells.join(QLatin1Char(' ')).trimmed();
    }
    return rows;
}

QString TestUpdateDialog::writeFile(const QString &name, const QByteArray &bytes)
{
    const QString path = m_dir.filePath(name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

void TestUpdateDialog::selectSlot(int slot)
{
    auto *t = child<QTableWidget>("descriptors");
    for (int r = 0; r < t->rowCount(); ++r)
        if (t->item(r, 0)->text() == QString::number(slot))
            QTest::mouseClick(t->viewport(), Qt::LeftButton, {}, t->visualItemRect(t->item(r, 1)).center());
}

void TestUpdateDialog::masterFoundAndTableShown()
{
    auto *masters = child<QTreeWidget>("masters");
    QCOMPARE(masters->topLevelItemCount(), 1);
    QTreeWidgetItem *item = masters->topLevelItem(0);
    QCOMPARE(item->text(0), QStringLiteral("[sentrova:0000000000001000]"));
    QCOMPARE(item->toolTip(0), kInstance);
    QVERIFY2(item->text(1).startsWith(QStringLiteral("192.0.2.")), qPrintable(item->text(1)));
    // The port comes from the master's SRV record: the simulator's is not 8784.
    QVERIFY(item->text(1).endsWith(QStringLiteral(":%1").arg(m_sim->port)));
    QCOMPARE(masters->currentItem(), item);

    QCOMPARE(table(), (QStringList{QStringLiteral("0 sentrova-anchor 2.10.0 yes boot"),
                                   QStringLiteral("1 sentrova-tag 2.10.0 yes")}));
    auto *t = child<QTableWidget>("descriptors");
    QCOMPARE(t->item(0, 4)->text(), QStringLiteral("0x1C291CA3"));
    QCOMPARE(t->item(0, 3)->text(), QLocale().toString(245760));
    QVERIFY(log().contains(QStringLiteral("Sending: {\"command\":\"listFwDesc\"}")));
}

void TestUpdateDialog::commandsSendTheirJson_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("slot");
    QTest::addColumn<QString>("json");
    QTest::addColumn<QStringList>("tableAfter");
    QTest::addColumn<QString>("result");

    const QStringList unchanged{QStringLiteral("0 sentrova-anchor 2.10.0 yes boot"),
                                QStringLiteral("1 sentrova-tag 2.10.0 yes")};
    QTest::newRow("refresh") << "refresh" << -1 << "{\"command\":\"listFwDesc\"}" << unchanged << QString();
    QTest::newRow("save list") << "save" << -1 << "{\"command\":\"saveFwDescList\"}" << unchanged
                               << "The master saved its descriptor list";
    QTest::newRow("check update") << "check" << -1 << "{\"command\":\"checkFwUpdate\"}" << unchanged
                                  << "The master checks for new firmware";
    QTest::newRow("disable") << "enable" << 1 << "{\"command\":\"enableFwDesc\",\"enable\":false,\"id\":1}"
                             << QStringList{unchanged[0], QStringLiteral("1 sentrova-tag 2.10.0 no")} << QString();
    QTest::newRow("remove") << "remove" << 1 << "{\"command\":\"removeFwDesc\",\"id\":1}" << QStringList{unchanged[0]}
                            << QString();
    QTest::newRow("boot") << "boot" << 1 << "{\"command\":\"bootFwDesc\",\"id\":1}"
                          << QStringList{QStringLiteral("0 sentrova-anchor 2.10.0 yes"),
                                         QStringLiteral("1 sentrova-tag 2.10.0 yes boot")}
                          << QString();
}

void TestUpdateDialog::commandsSendTheirJson()
{
    QFETCH(QString, button);
    QFETCH(int, slot);
    QFETCH(QString, json);
    QFETCH(QStringList, tableAfter);
    QFETCH(QString, result);

    if (slot >= 0)
        selectSlot(slot);
    auto *b = child<QPushButton>(button.toLatin1().constData());
    QVERIFY(b->isEnabled());
    const int sent = log().count(QStringLiteral("Sending: ") + json);
    QTest::mouseClick(b, Qt::LeftButton);
    QCOMPARE(log().count(QStringLiteral("Sending: ") + json), sent + 1);
    QTRY_COMPARE_WITH_TIMEOUT(table(), tableAfter, kWait);
    if (!result.isEmpty())
        QTRY_COMPARE_WITH_TIMEOUT(child<QLabel>("result")->text(), result, kWait);
}

void TestUpdateDialog::uploadRunsToTheEndAndIsListed()
{
    const QByteArray bytes = firmware("sentrova-test", "9.9.9", 300000);
    auto *path = child<QLineEdit>("file");
    path->setText(writeFile(QStringLiteral("test.fwup"), bytes));
    QTest::keyClick(path, Qt::Key_Return);
    QVERIFY(child<QLabel>("fileInfo")->text().startsWith(QStringLiteral("sentrova-test 9.9.9")));

    auto *progress = child<QProgressBar>("progress");
    QVector<int> values;
    connect(progress, &QProgressBar::valueChanged, this, [&values](int v) { values.append(v); });
    QTest::mouseClick(child<QPushButton>("upload"), Qt::LeftButton);
    QVERIFY(child<QPushButton>("cancel")->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(child<QLabel>("result")->text().startsWith(QStringLiteral("Upload complete")), kWait);
    QCOMPARE(child<QLabel>("result")->text(), QStringLiteral("Upload complete: sentrova-test 9.9.9 installed in slot 2"));

    QCOMPARE(progress->maximum(), bytes.size());
    QCOMPARE(progress->value(), bytes.size());
    QVERIFY(values.size() > 10);
    QVERIFY(std::is_sorted(values.cbegin(), values.cend()));
    QVERIFY(!child<QPushButton>("cancel")->isEnabled());

    const QString open = log().filter(QStringLiteral("\"command\":\"fwUpload\"")).value(0);
    QVERIFY2(open.startsWith(QStringLiteral("Sending: {")), qPrintable(open));
    QVERIFY(open.contains(QStringLiteral("\"name\":\"test.fwup\"")));
    QVERIFY(open.contains(QStringLiteral("\"size\":%1").arg(bytes.size())));

    QTRY_COMPARE_WITH_TIMEOUT(table().size(), 3, kWait);
    QCOMPARE(table().last(), QStringLiteral("2 sentrova-test 9.9.9 yes"));
    QCOMPARE(child<QTableWidget>("descriptors")->item(2, 3)->text(), QLocale().toString(bytes.size()));
}

void TestUpdateDialog::badFileRefusedBeforeSending_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("message");

    QTest::newRow("not a firmware file") << QByteArray("MZ\x90\0\3\0\0\0\4\0\0\0\xff\xff\n", 15) + QByteArray(200, 'x')
                                         << "not a firmware file";
    QTest::newRow("truncated") << QByteArray("{\"name\":\"sentrova-tag\",\"version\":\"2.11.0\",\"imageSize\":90000}\n")
                                      + QByteArray(40000, 'x')
                               << "truncated";
    QTest::newRow("header only") << QByteArray("{\"name\":\"sentrova-tag\",\"version\":\"2.11.0\"}\n")
                                 << "no firmware image";
}

void TestUpdateDialog::badFileRefusedBeforeSending()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, message);

    // A good file first, so that a refused one must also take its place.
    auto *path = child<QLineEdit>("file");
    path->setText(writeFile(QStringLiteral("good.fwup"), firmware("sentrova-tag", "2.11.0", 1000)));
    QTest::keyClick(path, Qt::Key_Return);
    QVERIFY(child<QPushButton>("upload")->isEnabled());

    path->setText(writeFile(QStringLiteral("bad.fwup"), bytes));
    QTest::keyClick(path, Qt::Key_Return);
    const QString shown = child<QLabel>("fileInfo")->text();
    QVERIFY2(shown.contains(message) && shown.contains(QStringLiteral("bad.fwup")), qPrintable(shown));
    QVERIFY(!child<QPushButton>("upload")->isEnabled());
    QTest::mouseClick(child<QPushButton>("upload"), Qt::LeftButton);
    m_dialog->startUpload();
    QVERIFY(log().filter(QStringLiteral("fwUpload")).isEmpty());
    QVERIFY(log().contains(QStringLiteral("Cannot upload: ") + shown));

    // The master holds what it held.
    QTest::mouseClick(child<QPushButton>("refresh"), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(log().count(QStringLiteral("Sending: {\"command\":\"listFwDesc\"}")), 2, kWait);
    QCOMPARE(table().size(), 2);
}

void TestUpdateDialog::cancelledUploadLeavesTableAsItWas()
{
    const QStringList before = table();
    const QByteArray bytes = firmware("sentrova-anchor", "3.0.0", 2 * 1024 * 1024);
    auto *path = child<QLineEdit>("file");
    path->setText(writeFile(QStringLiteral("big.fwup"), bytes));
    QTest::keyClick(path, Qt::Key_Return);

    auto *progress = child<QProgressBar>("progress");
    auto *cancel = child<QPushButton>("cancel");
    bool clicked = false;
    connect(progress, &QProgressBar::valueChanged, this, [&](int v) {
        if (!clicked && v >= progress->maximum() / 2 && progress->maximum() > 1) {
            clicked = true;
            QMetaObject::invokeMethod(cancel, "click", Qt::QueuedConnection);
        }
    });
    const int listed = log().count(QStringLiteral("Sending: {\"command\":\"listFwDesc\"}"));
    QTest::mouseClick(child<QPushButton>("upload"), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(child<QLabel>("result")->text(), QStringLiteral("Upload cancelled"), kWait);
    QVERIFY(clicked);
    QVERIFY(progress->value() >= progress->maximum() / 2);
    QVERIFY(progress->value() < progress->maximum());
    QVERIFY(child<QPushButton>("upload")->isEnabled());

    // The table is read again after the upload, and once more by hand: nothing
    // was installed.
    const auto answered = [this] {
        return log().filter(QStringLiteral("Received:")).filter(QStringLiteral("\"response\":\"listFwDesc\"")).size();
    };
    QTRY_COMPARE_WITH_TIMEOUT(answered(), listed + 1, kWait);
    QCOMPARE(table(), before);
    QTest::mouseClick(child<QPushButton>("refresh"), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(answered(), listed + 2, kWait);
    QCOMPARE(table(), before);
}

void TestUpdateDialog::versionMatrixShowsEveryNode()
{
    QTest::mouseClick(child<QPushButton>("readVersions"), Qt::LeftButton);
    auto *versions = child<QTableWidget>("versions");
    // The default site: a master, nine anchors and ten tags.
    QTRY_COMPARE_WITH_TIMEOUT(versions->rowCount(), 20, kWait);
    QCOMPARE(versions->item(0, 0)->text(), QStringLiteral("0x1000"));
    QCOMPARE(versions->item(0, 3)->text(), QStringLiteral("0x0103"));
    QCOMPARE(versions->item(0, 5)->text(), QStringLiteral("0x020A"));
    QVERIFY(log().contains(QStringLiteral("Sending: {\"command\":\"getDetails\",\"id\":\"0x2001\"}")));
}

QTEST_MAIN(TestUpdateDialog)
#include "tst_updatedialog.moc"
