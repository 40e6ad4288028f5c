// Cost of the service channel's incoming side: one line from a master
// parsed, echoed to the console signal and applied to the hub's registry.
// An anchor list of the size a large site answers to "listAnchors", a single
// node status update, and the line framing of a client fed over loopback.
// Reports resident memory growth too, which must stay flat once every node
// is known. And one round of the hub's inactivity check over many tags.

#include "BenchMemory.h"
#include "RtlsModelConstants.h"
#include "RtlsObject.h"
#include "RtlsSvc.h"
#include "SentrovaInterface.h"
#include "SvcClient.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>
#include <QTcpSocket>

#include <benchmark/benchmark.h>

namespace {

QJsonObject anchorJson(int id)
{
    QJsonObject coordinates{{"x", 1.5 * id}, {"y", -0.25 * id}, {"z", 2.1}};
    return QJsonObject{{"id", QStringLiteral("0x%1").arg(id, 4, 16, QLatin1Char('0'))},
                       {"name", QStringLiteral("Anchor %1").arg(id)},
                       {"mode", "anchor"},
                       {"nodeOptions", "0x0002"},
                       {"roles", "0x001F"},
                       {"seat", QString::number(id % 32)},
                       {"coordinates", coordinates}};
}

QByteArray anchorList(int count)
{
    QJsonArray anchors;
    for (int i = 1; i <= count; ++i)
        anchors.append(anchorJson(0x100 + i));
    const QJsonObject obj{{"response", "listAnchors"}, {"anchors", anchors}};
    return QJsonDocument(obj).toJson(QJsonDocument::Compact);
}

void BM_AnchorList(benchmark::State &state)
{
    RtlsSvc *svc = SentrovaInterface::instance()->svc();
    const QByteArray line = anchorList(static_cast<int>(state.range(0)));
    svc->processMessage(line);
    const double before = BenchMemory::residentKiB();
    for (auto _ : state)
        svc->processMessage(line);
    state.counters["anchors_per_s"] = benchmark::Counter(static_cast<double>(state.iterations() * state.range(0)),
                                                         benchmark::Counter::kIsRate);
    state.counters["line_bytes"] = line.size();
    state.counters["rss_growth_KiB"] = BenchMemory::residentKiB() - before;
}

void BM_NodeStatus(benchmark::State &state)
{
    RtlsSvc *svc = SentrovaInterface::instance()->svc();
    QJsonObject status = anchorJson(0x0F01);
    status.insert("uptime", 12345);
    status.insert("tsyncCnt", 17);
    status.insert("tsyncDrift", 1.000002);
    const QByteArray line = QJsonDocument(status).toJson(QJsonDocument::Compact);
    svc->processMessage(line);
    const double before = BenchMemory::residentKiB();
    for (auto _ : state)
        svc->processMessage(line);
    state.counters["lines_per_s"] = benchmark::Counter(static_cast<double>(state.iterations()),
                                                       benchmark::Counter::kIsRate);
    state.counters["rss_growth_KiB"] = BenchMemory::residentKiB() - before;
}

// Lines of 200 bytes written by a loopback peer in 64 KiB bursts and cut
// by a client: the framing cost, without JSON.
void BM_ClientFraming(benchmark::State &state)
{
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    SvcClient client(QHostAddress(QHostAddress::LocalHost).toIPv4Address(), nullptr, server.serverPort());
    qint64 lines = 0;
    QObject::connect(&client, &SvcClient::dataReady, [&lines](const QByteArray &) { ++lines; });
    client.write("{\"command\":\"hello\"}");
    while (!server.hasPendingConnections())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
    QTcpSocket *peer = server.nextPendingConnection();

    QByteArray burst;
    const QByteArray line = QByteArray(199, 'x') + '\n';
    while (burst.size() + line.size() <= 64 * 1024)
        burst += line;
    const qint64 perBurst = burst.count('\n');
    for (auto _ : state) {
        const qint64 target = lines + perBurst;
        peer->write(burst);
        while (lines < target)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
    }
    state.counters["lines_per_s"] = benchmark::Counter(static_cast<double>(state.iterations() * perBurst),
                                                       benchmark::Counter::kIsRate);
}

// One round of the hub's inactivity check (every 250 ms) with this many
// tags in the registry, all heard a moment ago: the common case, in which
// the check finds nothing to report and costs only its walk. With heard_once
// the tags are ids of a flood, each made by one report, which the check
// need not look at. The flood's ids are made first and stay for the runs
// after.
void BM_ActivityCheck(benchmark::State &state)
{
    SentrovaInterface *hub = SentrovaInterface::instance();
    // Google Benchmark calls this more than once per run: tags are made up
    // to the number asked for, of each kind.
    static int made[2] = {0, 0};
    const int kind = state.range(1) ? 1 : 0;
    const quint64 now = quint64(QDateTime::currentMSecsSinceEpoch());
    for (; made[kind] < state.range(0); ++made[kind]) {
        auto *tag = new RtlsObject((uint64_t(kind + 1) << 32) + uint64_t(made[kind]), hub);
        tag->setMode(QStringLiteral("tag"));
        tag->setLastUpdate(now);
        if (state.range(1))
            tag->setMsgFlags(Rtls::kMsgHeardOnce);
        hub->insertNonAnchor(tag);
    }
    for (auto _ : state)
        hub->checkActivity();
    state.counters["registry"] = double(hub->nodes().size());
}

} // namespace

BENCHMARK(BM_ActivityCheck)
    ->ArgNames({"tags", "heard_once"})
    ->Args({100000, 1})
    ->Args({1000, 0})
    ->Args({100000, 0})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_AnchorList)->Arg(10)->Arg(100)->Arg(1000);
BENCHMARK(BM_NodeStatus);
BENCHMARK(BM_ClientFraming);

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    // The echo goes to the console signal as in the program; no window
    // listens here, so what is measured is the handler itself.
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
