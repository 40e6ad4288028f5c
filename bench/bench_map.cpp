// The map's costs (src/Map): one frame of MapTab at 1600 x 1000 with 100 and
// 1000 tags, and the same scene drawn the straightforward way (immediate
// mode, a text call per label) for comparison in the same run; and the cost
// of one node update to the map. Runs under Xvfb with Mesa's software GL,
// the slowest place the map is used; times are wall clock, since the GL
// works on threads of its own.
#include "Dispatch.h"
#include "MapBenchScene.h"
#include "MapConstants.h"
#include "MapGeometry.h"
#include "MapGrid.h"
#include "MapHeat.h"
#include "MapScene.h"
#include "MapTab.h"
#include "NodeObject.h"
#include "RtlsAlert.h"
#include "RtlsMeas.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QWindow>
#include <QGLViewer/camera.h>
#include <QGLViewer/qglviewer.h>
#include <QOpenGLContext>
#include <QOpenGLFunctions>

#include <GL/glu.h>
#include <benchmark/benchmark.h>

#include <chrono>

#include <sys/resource.h>
#include <memory>

namespace {

constexpr int kWidth = 1600;
constexpr int kHeight = 1000;
constexpr int kTrail = 100;

// The way one would first write it: quadrics drawn immediately for every
// node, the trail vertex by vertex, and one text call per label.
class NaiveViewer : public QGLViewer
{
public:
    explicit NaiveViewer(MapScene *scene) : m_scene(scene) {}

    double drawMs = 0;
    int draws = 0;

protected:
    void init() override
    {
        m_quadric = gluNewQuadric();
        setTextIsEnabled(true);
    }

    void draw() override
    {
        const auto start = std::chrono::steady_clock::now();
        drawScene();
        glFinish();
        drawMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        ++draws;
    }

private:
    void drawScene()
    {
        for (NodeObject *node : m_scene->nodeObjects()) {
            const qglviewer::Vec p = node->frame().position();
            const QColor c = node->color();
            glPushMatrix();
            glTranslated(p.x, p.y, p.z);
            glColor3f(c.redF(), c.greenF(), c.blueF());
            gluSphere(m_quadric, node->radius(), 20, 6);
            gluCylinder(m_quadric, node->radius(), node->radius(), node->height(), 20, 1);
            glTranslated(0, 0, node->height());
            glColor3f(1, 1, 1);
            gluDisk(m_quadric, 0, 0.75 * node->radius(), 20, 1);
            glPopMatrix();

            glDisable(GL_LIGHTING);
            glColor3f(c.redF(), c.greenF(), c.blueF());
            glLineWidth(1.0f);
            glBegin(GL_LINE_STRIP);
            const int n = std::min(kTrail, node->history().size());
            for (int i = 0; i < n; ++i) {
                const qglviewer::Vec h = node->history().at(i);
                glVertex3d(h.x, h.y, h.z);
            }
            glEnd();

            const qglviewer::Vec top(p.x, p.y, p.z + 1.1 * node->height());
            const int size = MapGeometry::labelPointSize((top - camera()->position()).norm());
            if (size > 0) {
                const qglviewer::Vec s = camera()->projectedCoordinatesOf(top);
                QFont font;
                font.setPointSize(size);
                glColor3f(0, 0, 0);
                drawText(int(s.x), int(s.y), node->label(), font);
            }
            glEnable(GL_LIGHTING);
        }
    }

    MapScene *m_scene;
    GLUquadric *m_quadric = nullptr;
};

// The map with the time of its own drawing taken (GL finished), apart from
// what the toolkit adds to bring the picture to the window.
class TimedMapTab : public MapTab
{
public:
    explicit TimedMapTab(MapNodeSource *source) : MapTab(nullptr, source) {}
    double drawMs = 0;
    int draws = 0;

protected:
    void draw() override
    {
        const auto start = std::chrono::steady_clock::now();
        MapTab::draw();
        glFinish();
        drawMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        ++draws;
    }
};

// Shown and on screen: a widget that is not exposed paints nothing.
void showAndWait(QWidget *widget)
{
    widget->resize(kWidth, kHeight);
    widget->show();
    QElapsedTimer waited;
    waited.start();
    while ((!widget->windowHandle() || !widget->windowHandle()->isExposed()) && waited.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    QCoreApplication::processEvents();
}

struct Site
{
    explicit Site(int tags) : scene(tags)
    {
        map.reset(new TimedMapTab(&scene));
        map->setStateFileName(QString());
        showAndWait(map.get());
        map->setNodeMode(Map::kModeLabels | Map::kModeHistory);
        scene.walk(map.get(), kTrail);
        // The selected tag measures every anchor: blue distance lines, and
        // green lines to every other node.
        RtlsObject *selected = scene.tags().first();
        scene.measure(selected);
        map->nodeUpdated(selected);
        Dispatch::instance()->emitIdSelected(selected->id());
        lookAtTheHall(map.get());
    }

    static void lookAtTheHall(QGLViewer *viewer)
    {
        viewer->setSceneBoundingBox(qglviewer::Vec(-50, -50, 0), qglviewer::Vec(50, 50, 3));
        // Near enough that most labels are readable (closer than 38 m).
        viewer->camera()->setType(qglviewer::Camera::PERSPECTIVE);
        viewer->camera()->setPosition(qglviewer::Vec(0, -22, 18));
        viewer->camera()->setUpVector(qglviewer::Vec(0, 0, 1));
        viewer->camera()->lookAt(qglviewer::Vec(0, 0, 0));
    }

    MapBenchScene scene;
    std::unique_ptr<TimedMapTab> map;
};

// CPU time of the whole process (every GL thread), in milliseconds: on a
// shared machine a better figure than wall time for what a frame costs.
double processCpuMs(int who = RUSAGE_SELF)
{
    rusage usage{};
    getrusage(who, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3
        + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

double frameMs(QOpenGLWidget *widget)
{
    const auto start = std::chrono::steady_clock::now();
    widget->grabFramebuffer();
    widget->makeCurrent();
    widget->context()->functions()->glFinish();
    widget->doneCurrent();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

void report(benchmark::State &state, double totalMs, int frames)
{
    state.counters["ms_per_frame"] = totalMs / frames;
}

void BM_MapFrame(benchmark::State &state)
{
    Site site(int(state.range(0)));
    // full: labels, 100-point trails and measurement lines; otherwise the
    // glyphs (and the grid) alone.
    if (state.range(1) == 0) {
        site.map->setNodeMode(0);
        site.map->setDrawLinesActive(false);
    }
    // The first frames compile the software GL's shaders.
    for (int i = 0; i < 3; ++i)
        frameMs(site.map.get());
    double total = 0;
    double drawing = 0;
    int frames = 0;
    const double cpuStart = processCpuMs();
    const double mainStart = processCpuMs(RUSAGE_THREAD);
    const int drawsBefore = site.map->draws;
    for (auto _ : state) {
        const double ms = frameMs(site.map.get());
        state.SetIterationTime(ms / 1000.0);
        total += ms;
        drawing += site.map->drawMs;
        ++frames;
    }
    if (site.map->draws - drawsBefore < frames)
        state.SkipWithError("the map did not draw every frame");
    report(state, total, frames);
    state.counters["draw_ms"] = drawing / frames;
    state.counters["cpu_ms"] = (processCpuMs() - cpuStart) / frames;
    state.counters["main_ms"] = (processCpuMs(RUSAGE_THREAD) - mainStart) / frames;
    state.counters["trail_vertices"] = site.map->drawnTrailVertices();
}

void BM_NaiveFrame(benchmark::State &state)
{
    Site site(int(state.range(0)));
    NaiveViewer naive(site.map->scene());
    naive.setStateFileName(QString());
    site.map->hide();
    showAndWait(&naive);
    Site::lookAtTheHall(&naive);
    for (int i = 0; i < 3; ++i)
        frameMs(&naive);
    double total = 0;
    double drawing = 0;
    int frames = 0;
    const double cpuStart = processCpuMs();
    const int drawsBefore = naive.draws;
    for (auto _ : state) {
        const double ms = frameMs(&naive);
        state.SetIterationTime(ms / 1000.0);
        total += ms;
        drawing += naive.drawMs;
        ++frames;
    }
    if (naive.draws - drawsBefore < frames)
        state.SkipWithError("the viewer did not draw every frame");
    report(state, total, frames);
    state.counters["draw_ms"] = drawing / frames;
    state.counters["cpu_ms"] = (processCpuMs() - cpuStart) / frames;
}

// One location report of one tag reaching the map (its scene and its heat
// map) through the hub's signal, with 1000 tags on the map. In 1D each
// report places its tag by one of its ranges (no range to the master here,
// so the first one).
void mapNodeUpdate(benchmark::State &state, bool oneD)
{
    Site site(int(state.range(0)));
    site.map->setNodeMode1D(oneD);
    SentrovaInterface *hub = SentrovaInterface::instance();
    const QVector<RtlsObject *> &tags = site.scene.tags();
    int i = 0;
    for (auto _ : state) {
        state.PauseTiming();
        RtlsObject *tag = tags.at(i++ % tags.size());
        site.scene.step(tag);
        if (oneD)
            site.scene.measure(tag);
        state.ResumeTiming();
        hub->announceNodeUpdated(tag);
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_MapNodeUpdate(benchmark::State &state)
{
    mapNodeUpdate(state, false);
}

void BM_MapNodeUpdate1D(benchmark::State &state)
{
    mapNodeUpdate(state, true);
}

// A frame with the heat map on while 1000 tags move: one report of every tag
// (a 50 ms frame's worth at 20,000 reports a second) reaches the map through
// the hub, then the frame is drawn; glyphs and heat map only. cells: cells a
// side (the default 1 m, or the finest the box allows); values: each cell's
// number shown. The time is the frame's; "reports_ms" the reports'.
void BM_HeatFrame(benchmark::State &state)
{
    Site site(1000);
    site.map->setNodeMode(0);
    site.map->setDrawLinesActive(false);
    MapHeat *heat = site.map->heat();
    heat->setGridres(Map::kHeatLength / double(state.range(0)));
    heat->setShowValues(state.range(1) != 0);
    heat->setShow(true);
    SentrovaInterface *hub = SentrovaInterface::instance();
    const QVector<RtlsObject *> &tags = site.scene.tags();
    const auto reportAll = [&] {
        for (RtlsObject *tag : tags) {
            site.scene.step(tag);
            hub->announceNodeUpdated(tag);
        }
    };
    // A site walked for a while: most cells the tags pass have samples.
    for (int s = 0; s < 20; ++s)
        reportAll();
    for (int i = 0; i < 3; ++i)
        frameMs(site.map.get());
    double total = 0;
    double drawing = 0;
    double reporting = 0;
    int frames = 0;
    const double mainStart = processCpuMs(RUSAGE_THREAD);
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        reportAll();
        reporting += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        const double ms = frameMs(site.map.get());
        state.SetIterationTime(ms / 1000.0);
        total += ms;
        drawing += site.map->drawMs;
        ++frames;
    }
    report(state, total, frames);
    state.counters["draw_ms"] = drawing / frames;
    state.counters["reports_ms"] = reporting / frames;
    state.counters["main_ms"] = (processCpuMs(RUSAGE_THREAD) - mainStart) / frames;
}

} // namespace

BENCHMARK(BM_MapFrame)
    ->ArgNames({"tags", "full"})
    ->Args({1, 0})
    ->Args({100, 1})
    ->Args({1000, 1})
    ->Args({1000, 0})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NaiveFrame)->ArgNames({"tags"})->Arg(100)->Arg(1000)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MapNodeUpdate)->ArgNames({"tags"})->Arg(1000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MapNodeUpdate1D)->ArgNames({"tags"})->Arg(1000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_HeatFrame)
    ->ArgNames({"cells", "values"})
    ->Args({40, 1})
    ->Args({512, 0})
    ->Args({512, 1})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    // Nothing may wait for a user: a port in use is only logged.
    RtlsAlert::setDialogsAllowed(false);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
