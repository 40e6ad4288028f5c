// What the setup tab sends, checked on the wire against the simulated site:
// Apply writes only the cells the user edited and gives no other anchor a
// position record; the export shows what Apply sends; the delay editor
// writes an anchor's delays only after reading that anchor's own, and never
// a delay outside the window every tool keeps.
#include "CalibrationConstants.h"
#include "Dispatch.h"
#include "RtlsConvert.h"
#include "RtlsPos.h"
#include "SetupTab.h"
#include "Tools/ToolsTestSupport.h"

#include <QComboBox>
#include <QJsonArray>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QStandardItemModel>

using namespace ToolsTest;

namespace {

constexpr uint64_t kNorth = 0x1001; // at (3, 4, 2)
constexpr uint64_t kEast = 0x1002;
constexpr uint64_t kFar = 0x1003;
constexpr uint64_t kUnplaced = 0x1004; // the master knows no coordinates of it

// The writes among the commands sent; the tab's read-backs are left out.
QList<QJsonObject> writes(const QList<QJsonObject> &sent)
{
    QList<QJsonObject> out;
    for (const QJsonObject &obj : sent)
        if (!obj.value("command").toString().startsWith(QLatin1String("get")))
            out.append(obj);
    return out;
}

} // namespace

class tst_SetupTabWrites : public QObject
{
    Q_OBJECT

    SimProcess sim;
    Console *console = nullptr;
    SetupTab *tab = nullptr;

    QStandardItemModel *model() const { return tab->model(); }
    int row(uint64_t id) const
    {
        for (int r = 0; r < model()->rowCount(); ++r)
            if (model()->verticalHeaderItem(r)->data(SetupTab::kSetTextRole).value<uint64_t>() == id)
                return r;
        return -1;
    }
    QStandardItem *cell(uint64_t id, int column) const { return model()->item(row(id), column); }

    QPushButton *button(const QString &text) const
    {
        for (QPushButton *b : tab->findChildren<QPushButton *>())
            if (b->text() == text)
                return b;
        qWarning() << "no button" << text;
        return nullptr;
    }
    void click(const QString &text) { QTest::mouseClick(button(text), Qt::LeftButton); }

    void setEditMode(bool on)
    {
        if (tab->editMode() != on)
            click(QStringLiteral("Edit mode"));
        QCOMPARE(tab->editMode(), on);
    }

    // "Show setPos() Commands", as the user reads it: the line of one node.
    QJsonObject exportedLine(uint64_t id)
    {
        QString shown;
        QTimer::singleShot(0, this, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (box) {
                shown = box->text();
                box->accept();
            }
        });
        click(QStringLiteral("Show setPos() Commands"));
        for (const QString &line : shown.split(QLatin1Char('\n'))) {
            const QJsonObject obj = json(line.toUtf8());
            if (obj.value("id").toString() == Rtls::hexId(id))
                return obj;
        }
        return {};
    }

    void chooseAnchor(uint64_t id)
    {
        QComboBox *combo = tab->anchorCombo();
        const int index = combo->findData(QVariant::fromValue<uint64_t>(id));
        QVERIFY(index >= 0);
        combo->setCurrentIndex(index);
        emit combo->activated(index);
    }

    // The boxes once the chosen anchor's delays came in.
    bool readDelays(int tx)
    {
        click(QStringLiteral("Get Current Delays"));
        return QTest::qWaitFor([&] { return tab->txDelayBox()->value() == tx; }, kWait);
    }

    void setNodeDelays(uint64_t id, uint16_t tx, uint16_t rx)
    {
        hub()->setAntennaDelays(id, tx, rx);
        console->clear();
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(QFile::exists(SimProcess::binary()), "build sentrova-sim first");
        console = new Console;
        tab = SetupTab::instance();
        tab->resize(1400, 700);
        tab->show();
        QVERIFY(startSite(sim));
        QTRY_COMPARE_WITH_TIMEOUT(model()->rowCount(), 5, kWait);
        QTRY_VERIFY_WITH_TIMEOUT(hub()->node(kNorth)->hasPos(), kWait);
        console->clear();
    }

    void cleanupTestCase()
    {
        delete console;
        QCOMPARE(sim.terminate(), 0);
    }

    // An anchor the master lists without coordinates keeps having no
    // position record however the table is used, so that a saved settings
    // file holds nothing for it that a later start would push.
    void applyWritesOnlyWhatWasEdited()
    {
        QVERIFY(!hub()->node(kUnplaced)->hasPos());
        setEditMode(true);
        cell(kNorth, 0)->setText(QStringLiteral("3,5"));
        click(QStringLiteral("Apply new coordinates"));
        QCOMPARE(texts(writes(console->sent())), texts(R"({"command":"setPos","id":"0x1001","x":3.5})"));
        QVERIFY(!hub()->node(kUnplaced)->hasPos());

        const QJsonArray saved = hub()->toJSON(QJsonObject()).value("node").toArray();
        bool sawNorth = false;
        for (const QJsonValue &v : saved) {
            const QJsonObject node = v.toObject();
            if (node.value("id") == QLatin1String("0x1004"))
                QVERIFY2(!node.contains("coordinates"), qPrintable(QJsonDocument(node).toJson()));
            if (node.value("id") == QLatin1String("0x1001")) {
                sawNorth = true;
                QCOMPARE(node.value("coordinates").toObject().value("x").toDouble(), 3.5);
            }
        }
        QVERIFY(sawNorth);

        // Apply with nothing edited sends nothing.
        click(QStringLiteral("Apply new coordinates"));
        QCOMPARE(texts(writes(console->sent())), QStringList());
        cell(kNorth, 0)->setText(QStringLiteral("3"));
        click(QStringLiteral("Apply new coordinates"));
        console->clear();
        setEditMode(false);
    }

    // The export and Apply read a typed coordinate the same way, and the
    // export writes the value Apply sends (as a text, as the export always
    // has); what Apply does not send, the export shows as the master has it.
    void exportShowsWhatApplySends_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("exported");
        QTest::addColumn<QJsonValue>("sent"); // undefined: no "setPos"

        QTest::newRow("decimal comma") << "1,5" << "1.500" << QJsonValue(1.5);
        QTest::newRow("to millimetres") << "2.34567" << "2.346" << QJsonValue(2.346);
        QTest::newRow("spaces") << " 4 " << "4.000" << QJsonValue(4);
        QTest::newRow("empty is auto") << "" << "auto" << QJsonValue("auto");
        QTest::newRow("unreadable, kept") << "3 m" << "3.000" << QJsonValue(QJsonValue::Undefined);
        QTest::newRow("group separator, kept") << "1,234.5" << "3.000" << QJsonValue(QJsonValue::Undefined);
    }
    void exportShowsWhatApplySends()
    {
        QFETCH(QString, typed);
        QFETCH(QString, exported);
        QFETCH(QJsonValue, sent);

        setEditMode(true);
        cell(kNorth, 0)->setText(typed);
        const QJsonObject line = exportedLine(kNorth);
        QCOMPARE(line.value("x").toString(), exported);
        QCOMPARE(line.value("y").toString(), QStringLiteral("4.000"));
        QCOMPARE(line.value("command").toString(), QStringLiteral("setPos"));

        click(QStringLiteral("Apply new coordinates"));
        const QList<QJsonObject> out = writes(console->sent());
        if (sent.isUndefined()) {
            QCOMPARE(texts(out), QStringList());
        } else {
            QCOMPARE(out.size(), 1);
            QCOMPARE(out.first().value("x"), sent);
            QCOMPARE(sent.isString() ? sent.toString() : QString::number(sent.toDouble(), 'f', 3), exported);
        }

        // Back to the surveyed value for the next row.
        cell(kNorth, 0)->setText(QStringLiteral("3"));
        click(QStringLiteral("Apply new coordinates"));
        QTRY_COMPARE_WITH_TIMEOUT(hub()->node(kNorth)->pos()->x(), 3.0f, kWait);
        console->clear();
        setEditMode(false);
    }

    void theDelayEditorHoldsOnlyTheChosenAnchorsDelays()
    {
        QPushButton *set = button(QStringLiteral("Set New Delays"));
        chooseAnchor(kNorth);
        QCOMPARE(tab->txDelayBox()->text(), QStringLiteral("not read"));
        QVERIFY(!set->isEnabled());
        QVERIFY(readDelays(16515));
        QVERIFY(set->isEnabled());

        // Another anchor: its delays are not known yet, North's are gone.
        chooseAnchor(kEast);
        QCOMPARE(tab->txDelayBox()->text(), QStringLiteral("not read"));
        QCOMPARE(tab->rxDelayBox()->text(), QStringLiteral("not read"));
        QVERIFY(!set->isEnabled());
        QTest::mouseClick(set, Qt::LeftButton);
        tab->setNewDelays();
        QCOMPARE(texts(writes(console->sent())), QStringList());

        QVERIFY(readDelays(16515));
        tab->txDelayBox()->setValue(16480);
        QTest::mouseClick(set, Qt::LeftButton);
        QCOMPARE(texts(writes(console->sent())),
                 texts(R"({"command":"setUwbAntConfig","id":"0x1002","txDelay":16480,"rxDelay":16515})"));

        // A selection made elsewhere clears the editor the same way.
        Dispatch::instance()->emitIdSelected(kNorth);
        QCOMPARE(tab->anchorCombo()->currentData().value<uint64_t>(), kNorth);
        QCOMPARE(tab->txDelayBox()->text(), QStringLiteral("not read"));
        QVERIFY(!set->isEnabled());
        setNodeDelays(kEast, 16515, 16515);
    }

    // A node that holds a delay outside the window shows it as it is,
    // flagged; nothing is written until the user types values inside it.
    void aDelayOutsideTheWindowIsShownAndNotWritten()
    {
        setNodeDelays(kFar, 15000, 16515);
        QPushButton *set = button(QStringLiteral("Set New Delays"));
        chooseAnchor(kFar);
        QVERIFY(readDelays(15000));
        QCOMPARE(tab->txDelayBox()->text(), QStringLiteral("15000"));
        QVERIFY2(tab->delayNote().contains(QStringLiteral("15000 outside %1 to %2").arg(Calib::kMinDelay).arg(Calib::kMaxDelay)),
                 qPrintable(tab->delayNote()));
        QVERIFY(!tab->txDelayBox()->toolTip().isEmpty());
        QVERIFY(!set->isEnabled());
        tab->setNewDelays();
        QCOMPARE(texts(writes(console->sent())), QStringList());

        tab->txDelayBox()->setValue(16000);
        QVERIFY(set->isEnabled());
        QVERIFY(tab->delayNote().isEmpty());
        QTest::mouseClick(set, Qt::LeftButton);
        QCOMPARE(texts(writes(console->sent())),
                 texts(R"({"command":"setUwbAntConfig","id":"0x1003","txDelay":16000,"rxDelay":16515})"));
        setNodeDelays(kFar, 16515, 16515);
    }
};

QTEST_MAIN(tst_SetupTabWrites)
#include "tst_setuptabwrites.moc"
