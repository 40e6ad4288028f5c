// Cost per node update of the node views, with 1000 tags and 8 anchors in
// the hub's registry: what the node list, the node details and the
// measurement tool spend when the hub announces one report, and what their
// redraws and the list's rebuild cost. At 1000 tags reporting at 20 Hz the
// hub announces 20,000 updates a second; the time per update times 20,000
// is the share of one core the views take.
//
// The site acceptance tool runs beside the stream while a tag stands on a
// point: BM_SiteAcceptanceUpdate is what the tab spends on an update when it
// runs on the first tag (updates round all tags), BM_SiteAcceptanceOwnReport
// what a report of the running tag costs its session (runs of 1500
// positions, 30 s at 50 Hz, one after the other), BM_SiteAcceptanceRefresh
// one redraw of the tab with ten points run (four a second at most).
//
// BM_ListFindByScan is the walk over every row that a list without its
// id -> row hash would make for each update, measured for comparison.

#include "MeasurementTab.h"
#include "NodeDetailTab.h"
#include "NodeList.h"
#include "NodeListItemType.h"
#include "RtlsIMU.h"
#include "RtlsObject.h"
#include "RtlsObjectStats.h"
#include "SentrovaInterface.h"
#include "SiteAcceptanceSession.h"
#include "SiteAcceptanceTab.h"
#include "RtlsAlert.h"

#include <QApplication>
#include <QComboBox>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTabWidget>
#include <QTableWidget>
#include <QTreeWidget>

#include <benchmark/benchmark.h>

namespace {

constexpr int kTags = 1000;
constexpr int kAnchors = 8;
constexpr uint64_t kFirstTag = 0x4000;
// Events are let through this often, as the event loop would between
// datagrams; the repaints they cause are part of the cost.
constexpr int kEventsEvery = 100;

QVector<RtlsObject *> g_tags;
// Receive times near the present, so that the hub's activity check sees
// active tags.
uint64_t g_now = 0;

SentrovaInterface *hub()
{
    return SentrovaInterface::instance();
}

QByteArray hexId(uint64_t id)
{
    return "0x" + QByteArray::number(qulonglong(id), 16).toUpper();
}

// The registry of a site: anchors as a settings file gives them, tags as
// the stream makes them, each with one report of four ranges, a position
// and sensor values.
void buildSite()
{
    QJsonArray anchors;
    for (int i = 0; i < kAnchors; ++i) {
        QJsonObject a;
        a.insert("id", QString::fromLatin1(hexId(0x1000 + uint64_t(i))));
        a.insert("name", QStringLiteral("Anchor %1").arg(i));
        a.insert("mode", "anchor");
        a.insert("coordinates", QJsonObject{{"x", 5.0 * i}, {"y", 3.0 * (i % 2)}, {"z", 2.5}});
        anchors.append(a);
    }
    hub()->fromJSON(QJsonObject{{"node", anchors}});

    for (int t = 0; t < kTags; ++t) {
        const uint64_t id = kFirstTag + uint64_t(t);
        auto *tag = new RtlsObject(id);
        const QByteArray json = R"({"id":")" + hexId(id) + R"(","timestamp":1.5,"mode":"tag",)"
                                + R"("coordinates":{"x":3.1,"y":4.2,"z":1.0,"pqf":90},)"
                                + R"("meas":[{"anchor":"1000","dist":3.2,"tqf":1,"rssi":-80},)"
                                + R"({"anchor":"1001","dist":4.2,"tqf":1,"rssi":-81},)"
                                + R"({"anchor":"1002","dist":5.2,"tqf":1,"rssi":-82},)"
                                + R"({"anchor":"1003","dist":6.2,"tqf":1,"rssi":-83}],)"
                                + R"("sensors":{"temperature":21.5},"io":0,"vbat":3.7})";
        tag->updateFromJson(QJsonDocument::fromJson(json).object());
        tag->setCategory("tag");
        hub()->insertNonAnchor(tag);
        hub()->announceNodeAdded(tag);
        g_tags.append(tag);
    }
}

// A report of the tag: only the receive time changes, as far as a view can
// tell, unless the test changes more.
RtlsObject *nextReport(int64_t i)
{
    RtlsObject *tag = g_tags[int(i % kTags)];
    tag->setLastUpdate(g_now + uint64_t(i));
    return tag;
}

void announce(benchmark::State &state, const std::function<RtlsObject *(int64_t)> &report)
{
    int64_t i = 0;
    for (auto _ : state) {
        emit hub()->nodeUpdatedSignal(report(i));
        if (++i % kEventsEvery == 0)
            QCoreApplication::processEvents();
    }
    state.counters["updates_per_s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_ListUpdate(benchmark::State &state)
{
    NodeList list;
    list.resize(300, 800);
    list.show();
    QCoreApplication::processEvents();
    announce(state, nextReport);
}

// Every update flips the tag's io, so its icon changes every time: the
// worst case of a row that must be touched.
void BM_ListUpdateIconChanges(benchmark::State &state)
{
    NodeList list;
    list.resize(300, 800);
    list.show();
    QCoreApplication::processEvents();
    announce(state, [](int64_t i) {
        RtlsObject *tag = nextReport(i);
        tag->imu()->setIO(tag->imu()->io() ? 0 : 2);
        return tag;
    });
}

// What finding a node's row by walking every row costs.
void BM_ListFindByScan(benchmark::State &state)
{
    NodeList list;
    auto *tree = list.findChild<QTreeWidget *>(QStringLiteral("nodesTree"));
    int64_t i = 0;
    for (auto _ : state) {
        const uint64_t id = g_tags[int(i++ % kTags)]->id();
        QList<QTreeWidgetItem *> found;
        for (int g = 0; g < tree->topLevelItemCount(); ++g) {
            QTreeWidgetItem *group = tree->topLevelItem(g);
            for (int c = 0; c < group->childCount(); ++c)
                if (group->child(c)->data(0, Qt::UserRole).toULongLong() == id)
                    found.append(group->child(c));
        }
        benchmark::DoNotOptimize(found);
    }
}

void BM_ListRebuild(benchmark::State &state)
{
    NodeList list;
    list.resize(300, 800);
    list.show();
    QCoreApplication::processEvents();
    for (auto _ : state) {
        list.refreshList();
        QCoreApplication::processEvents();
    }
}

// The details show the first tag; updates go round all tags.
void BM_DetailsUpdate(benchmark::State &state)
{
    NodeDetailTab details;
    QObject::connect(hub(), &SentrovaInterface::nodeUpdatedSignal, &details, &NodeDetailTab::nodeUpdated);
    details.connectNode(g_tags.first()->id());
    details.show();
    QCoreApplication::processEvents();
    announce(state, nextReport);
}

// One redraw of the details (a few a second at most), on the page given.
void BM_DetailsRefresh(benchmark::State &state)
{
    NodeDetailTab details;
    RtlsObject *tag = g_tags.first();
    for (int i = 0; i < 1001; ++i)
        tag->stats()->setTsyncErr(i % 37);
    details.connectNode(tag->id());
    details.findChild<QTabWidget *>()->setCurrentIndex(int(state.range(0)));
    details.show();
    QCoreApplication::processEvents();
    int64_t i = 0;
    for (auto _ : state) {
        tag->setLastUpdate(g_now + uint64_t(i++));
        QMetaObject::invokeMethod(&details, "refresh");
        QCoreApplication::processEvents();
    }
}

// The measurement tool runs on the first tag; updates go round all tags,
// or (all_mine) every update is a new report of the measured tag.
void BM_MeasurementUpdate(benchmark::State &state)
{
    const bool allMine = state.range(0) != 0;
    MeasurementTab tool;
    QObject::connect(hub(), &SentrovaInterface::nodeUpdatedSignal, &tool, &MeasurementTab::nodeUpdated);
    auto *node = tool.findChild<QComboBox *>(QStringLiteral("node"));
    node->setCurrentIndex(node->findData(QVariant(qulonglong(g_tags.first()->id()))));
    tool.startMeasurements();
    tool.show();
    QCoreApplication::processEvents();
    announce(state, [allMine](int64_t i) { return allMine ? nextReport(i * kTags) : nextReport(i); });
}

// The three views as the main window connects them, updates round all tags.
void BM_AllViewsUpdate(benchmark::State &state)
{
    NodeList list;
    NodeDetailTab details;
    MeasurementTab tool;
    QObject::connect(hub(), &SentrovaInterface::nodeUpdatedSignal, &details, &NodeDetailTab::nodeUpdated);
    QObject::connect(hub(), &SentrovaInterface::nodeUpdatedSignal, &tool, &MeasurementTab::nodeUpdated);
    details.connectNode(g_tags.first()->id());
    auto *node = tool.findChild<QComboBox *>(QStringLiteral("node"));
    node->setCurrentIndex(node->findData(QVariant(qulonglong(g_tags.first()->id()))));
    tool.startMeasurements();
    list.show();
    details.show();
    tool.show();
    QCoreApplication::processEvents();
    announce(state, nextReport);
}

constexpr int kSurveyRun = 1500;
constexpr int kSurveyPoints = 10;

// The tab with points to run, kSurveyRun positions each.
SiteAcceptanceTab *surveyTab(int points)
{
    SiteAcceptanceTab *tab = SiteAcceptanceTab::instance();
    QJsonArray list;
    for (int i = 0; i < points; ++i)
        list.append(QJsonObject{{"name", QStringLiteral("P%1").arg(i + 1)}, {"x", 3.1}, {"y", 4.2}, {"z", 1.0},
                                {"tag", QString::fromLatin1(hexId(g_tags.first()->id()))}});
    tab->fromJSON(QJsonObject{{"survey", QJsonObject{{"run", QJsonObject{{"limit", "reports"}, {"reports", kSurveyRun}}},
                                                     {"points", list}}}});
    return tab;
}

void BM_SiteAcceptanceUpdate(benchmark::State &state)
{
    SiteAcceptanceTab *tab = surveyTab(1);
    tab->show();
    tab->table()->selectRow(0);
    tab->startRun();
    QCoreApplication::processEvents();
    announce(state, [tab](int64_t i) {
        // A run that ended is started again, as the installer would.
        if (!tab->isRunning())
            tab->startRun();
        return nextReport(i);
    });
    tab->stopRun();
    tab->hide();
}

void BM_SiteAcceptanceOwnReport(benchmark::State &state)
{
    SiteAcceptanceSession session;
    SurveyPlan plan;
    plan.points.append({QStringLiteral("P1"), 3.1, 4.2, 1.0, 0});
    plan.limit = SurveyPlan::Limit::Reports;
    plan.reports = kSurveyRun;
    session.setPlan(plan);
    RtlsObject *tag = g_tags.first();
    int64_t i = 0;
    for (auto _ : state) {
        if (i % kSurveyRun == 0) {
            // A fresh plan for every run keeps one run in memory.
            session.setPlan(plan);
            session.start(0, tag->id(), 0, 0);
        }
        tag->setLastUpdate(g_now + uint64_t(++i));
        benchmark::DoNotOptimize(session.addReport(tag));
    }
}

void BM_SiteAcceptanceRefresh(benchmark::State &state)
{
    SiteAcceptanceTab *tab = surveyTab(kSurveyPoints);
    tab->show();
    int64_t i = 0;
    for (int point = 0; point < kSurveyPoints; ++point) {
        tab->table()->selectRow(point);
        tab->startRun();
        while (tab->isRunning())
            emit hub()->nodeUpdatedSignal(nextReport(kTags * i++));
    }
    QCoreApplication::processEvents();
    for (auto _ : state) {
        tab->refresh();
        QCoreApplication::processEvents();
    }
    tab->hide();
}

} // namespace

BENCHMARK(BM_ListUpdate)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ListUpdateIconChanges)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ListFindByScan)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ListRebuild)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DetailsUpdate)->Unit(benchmark::kMicrosecond);
// 0: node page, 1: statistics, 2: time-sync plot of 1001 values.
BENCHMARK(BM_DetailsRefresh)->Arg(0)->Arg(1)->Arg(2)->ArgName("page")->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MeasurementUpdate)->Arg(0)->Arg(1)->ArgName("all_mine")->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_AllViewsUpdate)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SiteAcceptanceUpdate)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SiteAcceptanceOwnReport)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SiteAcceptanceRefresh)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Q_INIT_RESOURCE(sentrova_icons);
    RtlsAlert::setDialogsAllowed(false);
    g_now = uint64_t(QDateTime::currentMSecsSinceEpoch());
    buildSite();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
