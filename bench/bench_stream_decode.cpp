// Micro-benchmarks of the location stream: one datagram decoded into the
// model through RtlsLs, beside the bare parse of the same bytes. JSON runs
// twice in the same run: with the fast parser (simdjson, what the stream
// uses) and with Qt's parser alone (the stream before it, and its fallback).
#include "BenchDatagrams.h"
#include "BenchHubLink.h"
#include "BenchParseOnly.h"
#include "RtlsLs.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>

namespace {

void intoModel(benchmark::State &state, const QByteArray &datagram, bool fastJson = true)
{
    BenchHubLink hub;
    RtlsLs ls(nullptr, true, &hub, RtlsLs::Ports::anyFree());
    ls.setFastJson(fastJson);
    // Nodes exist from here on: the steady state. The second datagram is
    // the first that only updates (the link counts an addition and the
    // update that follows it at once as one report).
    ls.receiveDatagram(datagram);
    ls.receiveDatagram(datagram);
    const qint64 before = hub.reports;
    for (auto _ : state)
        ls.receiveDatagram(datagram);
    const qint64 reports = hub.reports - before;
    if (reports != qint64(state.iterations()) * state.range(0))
        state.SkipWithError("not every report reached the model");
    state.SetItemsProcessed(reports);
    state.SetBytesProcessed(qint64(state.iterations()) * datagram.size());
}

void BM_TlvIntoModel(benchmark::State &state)
{
    intoModel(state, BenchDatagrams::tlv(int(state.range(0)), int(state.range(1))));
}

void BM_JsonIntoModel(benchmark::State &state)
{
    intoModel(state, BenchDatagrams::json(int(state.range(0)), int(state.range(1))));
}

void BM_JsonIntoModelQtParser(benchmark::State &state)
{
    intoModel(state, BenchDatagrams::json(int(state.range(0)), int(state.range(1))), false);
}

template<int (*Parse)(const QByteArray &)>
void parseOnly(benchmark::State &state, const QByteArray &datagram)
{
    qint64 reports = 0;
    for (auto _ : state)
        reports += Parse(datagram);
    benchmark::DoNotOptimize(BenchParseOnly::sink());
    state.SetItemsProcessed(reports);
    state.SetBytesProcessed(qint64(state.iterations()) * datagram.size());
}

void BM_TlvParseOnly(benchmark::State &state)
{
    parseOnly<&BenchParseOnly::walkTlv>(state, BenchDatagrams::tlv(int(state.range(0)), int(state.range(1))));
}

void BM_JsonParseOnly(benchmark::State &state)
{
    parseOnly<&BenchParseOnly::parseJsonFast>(state, BenchDatagrams::json(int(state.range(0)), int(state.range(1))));
}

void BM_JsonParseOnlyQtParser(benchmark::State &state)
{
    parseOnly<&BenchParseOnly::parseJson>(state, BenchDatagrams::json(int(state.range(0)), int(state.range(1))));
}

void shapes(benchmark::internal::Benchmark *b)
{
    b->ArgNames({"nodes", "meas"});
    for (int nodes : {1, 10})
        for (int meas : {4, 8})
            b->Args({nodes, meas});
}

} // namespace

BENCHMARK(BM_TlvIntoModel)->Apply(shapes);
BENCHMARK(BM_TlvParseOnly)->Apply(shapes);
BENCHMARK(BM_JsonIntoModel)->Apply(shapes);
BENCHMARK(BM_JsonIntoModelQtParser)->Apply(shapes);
BENCHMARK(BM_JsonParseOnly)->Apply(shapes);
BENCHMARK(BM_JsonParseOnlyQtParser)->Apply(shapes);

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
