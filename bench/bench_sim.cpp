// Costs of the simulator's hot paths: encoding reports, the location
// engine's fit, one measured tag report and the load generator's batches.
#include "LoadGenerator.h"
#include "Positioner.h"
#include "ReportEncoder.h"
#include "SiteEngine.h"

#include <benchmark/benchmark.h>

namespace {

TagReport sampleReport()
{
    TagReport r;
    r.id = 0x2001;
    r.timestamp = 1700000000.123;
    r.hasPos = true;
    r.pos = Vec3{7.25, 4.5, 1.2};
    r.pqf = 87;
    r.vbat = 3.7;
    r.temperature = 22.5;
    for (int i = 0; i < 8; ++i)
        r.meas.append(MeasSample{quint64(0x1000 + i), 5.0 + i, false, 80, -78.5, 0.05});
    return r;
}

void BM_EncodeJson(benchmark::State &state)
{
    const TagReport r = sampleReport();
    QByteArray out;
    for (auto _ : state) {
        out.clear();
        ReportEncoder::appendJson(&out, r);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_EncodeJson);

void BM_EncodeTlv(benchmark::State &state)
{
    const TagReport r = sampleReport();
    QByteArray out;
    for (auto _ : state) {
        out.clear();
        ReportEncoder::appendTlv(&out, r);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_EncodeTlv);

void BM_Multilaterate(benchmark::State &state)
{
    const SimSite site = SimSite::defaultSite();
    QVector<Vec3> anchors;
    QVector<double> ranges;
    const Vec3 truth{7.3, 4.1, 1.2};
    for (const SimNode &n : site.nodes)
        if (n.isAnchor() && n.storey == 0) {
            anchors.append(n.truePos);
            ranges.append(truth.distanceTo(n.truePos) + 0.01 * (anchors.size() % 3));
        }
    for (auto _ : state)
        benchmark::DoNotOptimize(Positioner::multilaterate(anchors, ranges, Vec3{7, 4, 1}, 0.05));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Multilaterate);

void BM_MeasureTag(benchmark::State &state)
{
    SiteEngine engine(SimSite::defaultSite(), 0.05, 1, 1700000000000);
    SimNode *tag = engine.site().find(0x2001);
    qint64 t = 1700000000000;
    for (auto _ : state)
        benchmark::DoNotOptimize(engine.measureTag(*tag, t += 100));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_MeasureTag);

void BM_LoadBatch(benchmark::State &state)
{
    const auto format = state.range(0) ? StreamSender::Format::Tlv : StreamSender::Format::Json;
    LoadGenerator load(2000, 50, format, 1700000000.0);
    qint64 elapsed = 0;
    // One 10 ms tick of 2000 tags at 50 Hz: 1000 reports.
    for (auto _ : state)
        benchmark::DoNotOptimize(load.due(elapsed += 10, 0));
    state.SetItemsProcessed(state.iterations() * 1000);
    state.SetLabel(state.range(0) ? "tlv" : "json");
}
BENCHMARK(BM_LoadBatch)->Arg(0)->Arg(1);

} // namespace

BENCHMARK_MAIN();
