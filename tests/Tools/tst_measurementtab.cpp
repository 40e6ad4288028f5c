// The measurement tool against the simulated site, whose geometry is known:
// a tag standing at (5, 4, 1) among anchors without antenna delay errors.
#include "MeasurementTab.h"
#include "RtlsObject.h"
#include "RtlsPos.h"
#include "Tools/ToolsTestSupport.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QVector3D>

#include <memory>

using namespace ToolsTest;

namespace {

constexpr uint64_t kForklift = 0x2001;
constexpr uint64_t kNorth = 0x1001;
const QVector3D kTagAt(5, 4, 1);
// True positions of the site's anchors (the master does not know Unplaced's).
const QHash<uint64_t, QVector3D> kAnchors{{0x1000, {0, 0, 2.5}}, {0x1001, {3, 4, 2}},   {0x1002, {10, 0, 3}},
                                          {0x1003, {10, 8, 2.5}}, {0x1004, {0, 8, 2.8}}};
// Noise 0.02 m over at least 30 ranges, and now and then a non-line-of-sight
// excess of up to 2 m: the mean stays well within this.
constexpr double kTolerance = 0.1;
constexpr int kEnough = 30;

} // namespace

class tst_MeasurementTab : public QObject
{
    Q_OBJECT

    SimProcess sim;
    std::unique_ptr<MeasurementTab> tool;

    void choose(const char *box, uint64_t id)
    {
        auto *combo = tool->findChild<QComboBox *>(QLatin1String(box));
        // A tag is offered once it is heard a second time: on a busy machine
        // that may come after the tool was made.
        QTRY_VERIFY2_WITH_TIMEOUT(combo->findData(QVariant(qulonglong(id))) >= 0, box, kWait);
        combo->setCurrentIndex(combo->findData(QVariant(qulonglong(id))));
    }

    void click(const char *button) { QTest::mouseClick(tool->findChild<QPushButton *>(QLatin1String(button)), Qt::LeftButton); }

    int count(uint64_t anchor) const { return tool->session().ranges().value(anchor).count(); }

    QString cell(int row, int column) const
    {
        QTableWidgetItem *item = tool->findChild<QTableWidget *>("results")->item(row, column);
        return item ? item->text() : QString();
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(QFile::exists(SimProcess::binary()), "build sentrova-sim first");
        QVERIFY(startSite(sim, {QStringLiteral("--noise"), QStringLiteral("0.02")}));
        QTRY_VERIFY_WITH_TIMEOUT(hub()->node(kForklift) && hub()->node(kNorth), kWait);
        QTRY_VERIFY_WITH_TIMEOUT(hub()->node(kNorth)->pos()->flags() & 0x20, kWait);
        // Made once the nodes are known, as when the dock is opened later;
        // the main window connects it so.
        tool = std::make_unique<MeasurementTab>();
        connect(hub(), &SentrovaInterface::nodeUpdatedSignal, tool.get(), &MeasurementTab::nodeUpdated);
        connect(hub(), &SentrovaInterface::nodeAddedSignal, tool.get(), &MeasurementTab::nodeListUpdated);
        tool->show();
        QVERIFY(QTest::qWaitForWindowExposed(tool.get()));
    }

    void cleanupTestCase()
    {
        tool.reset();
        QCOMPARE(sim.terminate(), 0);
    }

    void rangesToAllAnchorsMatchTheGeometry()
    {
        choose("node", kForklift);
        choose("anchor", 0);
        click("start");
        QVERIFY(tool->isRunning());
        QTRY_VERIFY_WITH_TIMEOUT(count(0x1001) >= kEnough && count(0x1002) >= kEnough, 30000);
        click("stop");
        for (auto it = tool->session().ranges().cbegin(); it != tool->session().ranges().cend(); ++it) {
            const double truth = double((kAnchors.value(it.key()) - kTagAt).length());
            QVERIFY2(std::abs(it->mean() - truth) < kTolerance,
                     qPrintable(QStringLiteral("0x%1: mean %2, true %3").arg(it.key(), 0, 16).arg(it->mean()).arg(truth)));
            QVERIFY(it->stddev() < 0.5);
            QVERIFY(it->min() <= it->mean() && it->mean() <= it->max());
        }
        QVERIFY(tool->session().ranges().size() >= 4);

        // The table shows the same numbers, once its clock has run.
        QTRY_COMPARE(cell(0, 0), QStringLiteral("Range to 0x1000"));
        QCOMPARE(cell(0, 1).toInt(), count(0x1000));
    }

    void stoppedRunAddsNothing()
    {
        const int before = count(0x1001);
        const uint64_t last = hub()->node(kForklift)->lastUpdate();
        QTRY_VERIFY_WITH_TIMEOUT(hub()->node(kForklift)->lastUpdate() != last, kWait);
        QCOMPARE(count(0x1001), before);
    }

    void referencePositionGivesBiases()
    {
        auto *kind = tool->findChild<QComboBox *>("referenceKind");
        kind->setCurrentIndex(2);
        tool->findChild<QLineEdit *>("reference_x")->setText("5");
        tool->findChild<QLineEdit *>("reference_y")->setText("4");
        tool->findChild<QLineEdit *>("reference_z")->setText("1");
        const QVector<MeasurementSession::Row> rows = tool->rows();
        int biased = 0;
        for (const MeasurementSession::Row &row : rows) {
            if (row.label.startsWith(QLatin1String("Range to 0x")) && row.hasBias) {
                QVERIFY2(std::abs(row.bias) < kTolerance, qPrintable(row.label + ": " + QString::number(row.bias)));
                ++biased;
            }
        }
        // Every anchor whose position the master knows; Unplaced has none.
        QCOMPARE(biased, 4);
        QCOMPARE(rows.last().label, QStringLiteral("Position"));
        QVERIFY2(rows.last().bias < 0.5, qPrintable(QString::number(rows.last().bias)));

        tool->findChild<QLineEdit *>("reference_z")->setText("one");
        QTRY_VERIFY(tool->findChild<QLabel *>("status")->text().contains(QLatin1String("not a number")));
        kind->setCurrentIndex(0);
    }

    void exportAndClear()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath("ranges.csv");
        QVERIFY(tool->exportCsv(file));
        QFile csv(file);
        QVERIFY(csv.open(QIODevice::ReadOnly | QIODevice::Text));
        const QStringList lines = QString::fromUtf8(csv.readAll()).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.first(), QStringLiteral("measurement,count,mean,stddev,min,max,bias"));
        QCOMPARE(lines.size(), tool->rows().size() + 1);
        const QStringList north = lines.filter("Range to 0x1001,").first().split(',');
        QCOMPARE(north.at(1).toInt(), count(0x1001));
        QVERIFY(std::abs(north.at(2).toDouble() - tool->session().ranges().value(0x1001).mean()) < 1e-4);
        QVERIFY(!tool->exportCsv(dir.filePath("no/such/folder/x.csv")));

        click("clear");
        QVERIFY(tool->session().ranges().isEmpty());
        QCOMPARE(tool->findChild<QTableWidget *>("results")->rowCount(), 3);
    }

    void oneAnchorOnly()
    {
        choose("anchor", kNorth);
        click("start");
        QTRY_VERIFY_WITH_TIMEOUT(count(kNorth) >= 5, kWait);
        click("stop");
        QCOMPARE(tool->session().ranges().keys(), QList<uint64_t>{kNorth});
        QVERIFY(tool->session().axis(0).count() >= 5);
    }
};

QTEST_MAIN(tst_MeasurementTab)
#include "tst_measurementtab.moc"
