// The whole window under a flood of new ids, as a user meets it: the main
// window in this process with every view open and the simulated site as its
// master, and a device on the location port sending reports of 100,000
// random ids over loopback UDP, then, 5 s later, a tag that moves. The tag
// must show in the node list and move on the map, a click must still select
// its row, the flood must take no row and no place in the node pickers, and
// the master must not have been asked about it. How late
// the window is meanwhile is measured by bench_window --flood, not here.
#include "App/AppTestEnvironment.h"
#include "DetailsRequestQueue.h"
#include "e2e/FloodSender.h"
#include "e2e/LoadedWindow.h"
#include "sim/SimProcess.h"

#include "Dispatch.h"
#include "MeasurementTab.h"
#include "NodeObject.h"
#include "RtlsSvc.h"
#include "SvcClient.h"
#include "TagCalibrationTab.h"

#include <QComboBox>
#include <QHostAddress>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QtTest>

namespace {

constexpr int kFloodIds = 100000;
// Generous: the flood, the pause after it, and a slow shared machine.
constexpr int kShownWithinMs = 120000;

QTreeWidgetItem *rowOf(QTreeWidget *tree, quint64 id)
{
    for (QTreeWidgetItemIterator it(tree); *it; ++it) {
        if ((*it)->parent() && (*it)->data(0, Qt::UserRole).toULongLong() == id)
            return *it;
    }
    return nullptr;
}

} // namespace

class tst_Flood : public QObject
{
    Q_OBJECT

public:
    static void initMain() { AppTestEnvironment::isolate(); }

private slots:
    void windowStaysUsable();
};

void tst_Flood::windowStaysUsable()
{
    if (qEnvironmentVariable("SENTROVA_IN_NETNS") != QLatin1String("1"))
        QSKIP("needs the private network namespace of tests/netns-run.sh");
    LoadedWindow site(SimProcess::binary(), 0);
    const QString fault = site.open();
    QVERIFY2(fault.isEmpty(), qPrintable(fault));
    auto *tree = site.window()->findChild<QTreeWidget *>(QStringLiteral("nodesTree"));
    QVERIFY(tree);
    SentrovaInterface *hub = SentrovaInterface::instance();
    const int nodesBefore = hub->nodes().size();
    const int detailsBefore = site.masterDetailRequests();

    FloodSender::Plan plan;
    plan.reports = kFloodIds;
    FloodSender sender(plan);
    sender.start();
    QTRY_VERIFY_WITH_TIMEOUT(sender.floodDone(), kShownWithinMs);

    // The tag shows in the list and on the map, and moves there.
    QTRY_VERIFY_WITH_TIMEOUT(rowOf(tree, plan.goodId), kShownWithinMs);
    QTRY_VERIFY_WITH_TIMEOUT(site.map()->scene()->nodeObject(plan.goodId), kShownWithinMs);
    const NodeObject *tag = site.map()->scene()->nodeObject(plan.goodId);
    const double firstX = tag->frame().position().x;
    QTRY_VERIFY_WITH_TIMEOUT(tag->frame().position().x > firstX + 0.15, kShownWithinMs);
    QVERIFY(tag->frame().position().x <= double(sender.goodX(sender.goodSent())) + 1e-3);

    // The flood reached the model (a test of nothing otherwise), and not
    // one of its ids got a row.
    const int flooded = hub->nodes().size() - nodesBefore;
    qInfo("%d of %d flooded ids reached the model", flooded, sender.floodSent());
    QVERIFY2(flooded > kFloodIds / 10, qPrintable(QString::number(flooded)));
    int rows = 0;
    for (QTreeWidgetItemIterator it(tree); *it; ++it)
        ++rows;
    QVERIFY2(rows < 100, qPrintable(QString::number(rows)));
    // Nor a place in the node pickers of the measurement tool and the tag
    // calibration, which offer the moving tag.
    auto *measured = site.window()->findChild<MeasurementTab *>()->findChild<QComboBox *>(QStringLiteral("node"));
    QVERIFY(measured);
    QTRY_VERIFY(measured->findData(QVariant(qulonglong(plan.goodId))) >= 0);
    QVERIFY2(measured->count() < 100, qPrintable(QString::number(measured->count())));
    QComboBox *calibrated = TagCalibrationTab::instance()->tagCombo();
    QTRY_VERIFY(calibrated->findData(QVariant::fromValue<uint64_t>(plan.goodId)) >= 0);
    QVERIFY2(calibrated->count() < 100, qPrintable(QString::number(calibrated->count())));

    // A click selects the tag's row, everywhere.
    QTreeWidgetItem *row = rowOf(tree, plan.goodId);
    QVERIFY(row);
    tree->scrollToItem(row);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier, tree->visualItemRect(row).center());
    QTRY_COMPARE_WITH_TIMEOUT(Dispatch::instance()->selectedId(), uint64_t(plan.goodId), 10000);
    QCOMPARE(tree->selectedItems(), QList<QTreeWidgetItem *>{row});

    // The master was asked about the tags it streams and the moving one,
    // not about the flood, and nothing of it waits for the master.
    sender.stop();
    const int asked = site.masterDetailRequests() - detailsBefore;
    qInfo("getDetails sent during the flood: %d", asked);
    QVERIFY2(asked < 100, qPrintable(QString::number(asked)));
    QVERIFY(hub->waitingDetailRequests() < 100);
    const SvcClient *client = hub->svc()->client(QHostAddress(QHostAddress::LocalHost).toIPv4Address());
    QVERIFY(client);
    QVERIFY2(client->queuedCount() <= DetailsRequestQueue::kMaxBacklog + 2,
             qPrintable(QString::number(client->queuedCount())));
}

QTEST_MAIN(tst_Flood)
#include "tst_flood.moc"
