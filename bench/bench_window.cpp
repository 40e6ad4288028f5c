// The whole window under a full stream: the program's MainWindow with the map
// current and the node list, details, orientation and measurement docks on
// screen, fed by the simulator's load mode (1000 tags, 20,000 reports a
// second by default) on top of a simulated site that is the master. For each
// format and each setting of the console's location echo it measures how
// late a 10 ms timer fires on the GUI thread (p50, p99, max), the map's
// frames a second, the reports lost between the simulator and the model, the
// GUI thread's share of a core and, with the echo on, how far the console's
// newest line is behind the newest echoed one.
//
// With --flood N it measures the window under a flood of new ids instead: N
// TLV reports of N random ids (a misconfigured device, a corrupt stream) at
// --flood-rate reports a second, then, 5 s later, a tag the window knew
// moving: the lateness during the flood and in the 15 s after it, how long
// the tag's move takes to show on the map, the "getDetails" the master got
// and the ones still queued for it, and the resident memory.
//
// Needs the protocol's fixed ports (the hub binds them) and a display: run
// it as `tests/netns-run.sh xvfb-run -a -s "-screen 0 1600x1000x24"
// build/bench/bench_window --sim build/sim/sentrova-sim` (scripts/run-bench.sh
// does).
#include "App/AppTestEnvironment.h"
#include "AppStyle.h"
#include "BenchCpu.h"
#include "BenchMemory.h"
#include "RtlsLs.h"
#include "SentrovaInterface.h"
#include "NodeObject.h"
#include "RtlsSvc.h"
#include "SvcClient.h"
#include "e2e/FloodSender.h"
#include "e2e/LoadedWindow.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QScreen>
#include <QDockWidget>
#include <QTabWidget>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QHostAddress>
#include <QUdpSocket>
#include <QPlainTextEdit>
#include <QProcess>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextStream>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr int kProbeIntervalMs = 10;
constexpr int kConsoleSampleMs = 250;
// The echo lines remembered to tell how far behind the console is.
constexpr int kEchoRing = 8192;
// After the simulator has finished, reports are awaited until none came for
// this long.
constexpr int kDrainQuietMs = 500;

QTextStream &out()
{
    static QTextStream stream(stdout);
    stream.setCodec("UTF-8");
    return stream;
}

// Datagrams the kernel dropped because a receive buffer was full (this
// network namespace's UDP counters).
qint64 udpReceiveBufferErrors()
{
    QFile snmp(QStringLiteral("/proc/net/snmp"));
    if (!snmp.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> lines = snmp.readAll().split('\n');
    for (int i = 0; i + 1 < lines.size(); ++i) {
        if (!lines.at(i).startsWith("Udp:") || !lines.at(i + 1).startsWith("Udp:"))
            continue;
        const QList<QByteArray> names = lines.at(i).simplified().split(' ');
        const QList<QByteArray> values = lines.at(i + 1).simplified().split(' ');
        const int at = names.indexOf("RcvbufErrors");
        return at >= 0 ? values.value(at).toLongLong() : -1;
    }
    return -1;
}

void pause(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Runs the event loop until the condition holds (looked at every 20 ms) or
// timeoutMs passed; unlike a loop of processEvents it does not keep the GUI
// thread busy while it waits.
template<typename Condition>
bool waitUntil(Condition condition, int timeoutMs)
{
    if (condition())
        return true;
    QEventLoop loop;
    QTimer look;
    look.setInterval(20);
    QObject::connect(&look, &QTimer::timeout, &loop, [&] {
        if (condition())
            loop.quit();
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    look.start();
    loop.exec();
    return condition();
}

// How late a 10 ms timer fires: armed, fired, the delay past 10 ms kept,
// armed again. The delay is what any input or repaint waits at that moment.
class LatenessProbe : public QObject
{
public:
    LatenessProbe()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setSingleShot(true);
        m_timer.setInterval(kProbeIntervalMs);
        connect(&m_timer, &QTimer::timeout, this, [this] {
            const qint64 late = m_clock.nsecsElapsed() - m_armed - qint64(kProbeIntervalMs) * 1000000;
            if (m_recording)
                m_lateUs.push_back(std::max<qint64>(late, 0) / 1000);
            arm();
        });
        m_lateUs.reserve(1 << 20);
        m_clock.start();
        arm();
    }

    void record(bool on)
    {
        if (on)
            m_lateUs.clear();
        m_recording = on;
    }

    // The q-quantile of the recorded delays, in milliseconds; of the
    // samples from `from` on, up to `to` (all by default).
    double quantileMs(double q, size_t from = 0, size_t to = size_t(-1)) const
    {
        to = std::min(to, m_lateUs.size());
        if (from >= to)
            return 0;
        std::vector<qint64> sorted(m_lateUs.begin() + long(from), m_lateUs.begin() + long(to));
        const size_t at = std::min(sorted.size() - 1, size_t(q * double(sorted.size())));
        std::nth_element(sorted.begin(), sorted.begin() + long(at), sorted.end());
        return double(sorted[at]) / 1000.0;
    }
    double maxMs(size_t from = 0, size_t to = size_t(-1)) const
    {
        to = std::min(to, m_lateUs.size());
        return from >= to ? 0 : double(*std::max_element(m_lateUs.begin() + long(from), m_lateUs.begin() + long(to))) / 1000.0;
    }
    size_t samples() const { return m_lateUs.size(); }

private:
    void arm()
    {
        m_armed = m_clock.nsecsElapsed();
        m_timer.start();
    }

    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_armed = 0;
    bool m_recording = false;
    std::vector<qint64> m_lateUs;
};

// The application with every event's handling timed: where the GUI
// thread's time goes, and which handlers keep the event loop waiting.
class TimedApplication : public QApplication
{
public:
    using QApplication::QApplication;

    struct Cost
    {
        double totalMs = 0;
        double maxMs = 0;
        int count = 0;
        int over20 = 0;
    };

    void record(bool on)
    {
        if (on)
            m_costs.clear();
        m_recording = on;
    }

    bool notify(QObject *receiver, QEvent *event) override
    {
        if (!m_recording || m_depth > 0) {
            ++m_depth;
            const bool done = QApplication::notify(receiver, event);
            --m_depth;
            return done;
        }
        // Named first: the handler may delete the receiver.
        const QString name = key(receiver, event);
        ++m_depth;
        QElapsedTimer t;
        t.start();
        const bool done = QApplication::notify(receiver, event);
        const double ms = t.nsecsElapsed() / 1e6;
        --m_depth;
        Cost &c = m_costs[name];
        c.totalMs += ms;
        c.maxMs = std::max(c.maxMs, ms);
        ++c.count;
        if (ms > 20)
            ++c.over20;
        return done;
    }

    void print(double seconds) const
    {
        QList<QPair<double, QString>> order;
        for (auto it = m_costs.cbegin(); it != m_costs.cend(); ++it)
            order.append({it.value().totalMs, it.key()});
        std::sort(order.begin(), order.end(), [](const auto &a, const auto &b) { return a.first > b.first; });
        std::fprintf(stderr, "%-70s %9s %8s %8s %7s\n", "event handled (receiver, its parent, type)", "ms/s",
                     "max ms", "count/s", ">20ms");
        for (int i = 0; i < std::min(15, int(order.size())); ++i) {
            const Cost &c = m_costs.value(order.at(i).second);
            std::fprintf(stderr, "%-70s %9.1f %8.1f %8.1f %7d\n", qPrintable(order.at(i).second.left(70)),
                         c.totalMs / seconds, c.maxMs, c.count / seconds, c.over20);
        }
    }

private:
    static QString key(QObject *receiver, QEvent *event)
    {
        QObject *parent = receiver->parent();
        return QStringLiteral("%1 %2 %3")
            .arg(QLatin1String(receiver->metaObject()->className()),
                 parent ? QLatin1String(parent->metaObject()->className()) : QLatin1String("-"))
            .arg(int(event->type()));
    }

    QHash<QString, Cost> m_costs;
    bool m_recording = false;
    int m_depth = 0;
};

// Counts the window's compositions: every update request of the top-level
// window brings its changed widgets and the GL views' pictures to the screen
// in one pass.
class CompositionCounter : public QObject
{
public:
    int count = 0;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::UpdateRequest)
            ++count;
        return QObject::eventFilter(watched, event);
    }
};

// Remembers the newest echoed location lines in order, so that the
// console's last line can be placed among them.
class EchoWatch : public QObject
{
public:
    explicit EchoWatch(QPlainTextEdit *console) : m_console(console), m_ring(kEchoRing)
    {
        connect(SentrovaInterface::instance(), &SentrovaInterface::displayMessage, this, [this](const QString &line) {
            if (!line.startsWith(QLatin1String("LS_IN")))
                return;
            m_ring[size_t(m_count % kEchoRing)] = line;
            ++m_count;
        });
        m_sample.setInterval(kConsoleSampleMs);
        connect(&m_sample, &QTimer::timeout, this, &EchoWatch::sample);
    }

    void record(bool on)
    {
        m_behind.clear();
        m_notAtBottom = 0;
        m_notFound = 0;
        m_other = 0;
        m_samples = 0;
        if (on)
            m_sample.start();
        else
            m_sample.stop();
    }

    // Lines the console's newest line was behind the newest echoed one.
    int behindQuantile(double q) const
    {
        if (m_behind.empty())
            return -1;
        std::vector<int> sorted = m_behind;
        std::sort(sorted.begin(), sorted.end());
        return sorted[std::min(sorted.size() - 1, size_t(q * double(sorted.size())))];
    }
    int samples() const { return m_samples; }
    int notAtBottom() const { return m_notAtBottom; }
    int notFound() const { return m_notFound; }
    int other() const { return m_other; }
    QString lastShown() const { return m_console->document()->lastBlock().text(); }

private:
    void sample()
    {
        if (m_count == 0)
            return;
        ++m_samples;
        const QScrollBar *bar = m_console->verticalScrollBar();
        if (bar->value() < bar->maximum())
            ++m_notAtBottom;
        const QString shown = m_console->document()->lastBlock().text();
        // The newest line is another message (the service channel's, a
        // tool's): nothing to place among the echo.
        if (!shown.contains(QLatin1String("LS_IN"))) {
            ++m_other;
            return;
        }
        const int n = int(std::min<quint64>(m_count, kEchoRing));
        for (int i = 0; i < n; ++i) {
            const QString &line = m_ring[size_t((m_count - 1 - quint64(i)) % kEchoRing)];
            if (shown.endsWith(line)) {
                m_behind.push_back(i);
                return;
            }
        }
        ++m_notFound;
    }

    QPlainTextEdit *m_console;
    std::vector<QString> m_ring;
    quint64 m_count = 0;
    QTimer m_sample;
    std::vector<int> m_behind;
    int m_samples = 0;
    int m_notAtBottom = 0;
    int m_notFound = 0;
    int m_other = 0;
};

struct Phase
{
    QString format;
    bool echo = false;
    qint64 sent = -1;
    qint64 received = 0;
    qint64 kernelDrops = 0;
    double seconds = 0;
    double p50 = 0, p99 = 0, max = 0;
    double fps = 0;
    double orientationFps = 0;
    double compositions = 0;
    double guiCpu = 0;
    double processCpu = 0;
    double residentMiB = 0;
    int consoleBehindP99 = -1;
    int consoleBehindMax = -1;
    int consoleNotAtBottom = 0;
    int consoleNotFound = 0;
    int consoleOther = 0;
    int consoleSamples = 0;
};

// A flood of new ids: reports of that many random ids at a rate, then,
// five seconds later, a known tag moving.
struct FloodPhase
{
    int reports = 0;
    double rate = 0;
    int sent = 0;
    qint64 kernelDrops = 0;
    int nodes = 0;
    double floodSeconds = 0;
    // Lateness while the flood runs, and in the 15 s after it (the tags'
    // inactivity falls in there).
    double p50 = 0, p99 = 0, max = 0;
    double afterP50 = 0, afterP99 = 0, afterMax = 0;
    // Firings of the 10 ms probe in each window: few mean the loop was held.
    size_t samples = 0, afterSamples = 0;
    // From the good tag's first report after the flood to a map frame that
    // shows it moved; -1 when it never did.
    double shownAfterS = -1;
    int detailsSent = 0;
    int detailsQueued = 0;
    double guiCpu = 0;
    double residentMiB = 0;
};

class Bench
{
public:
    Bench(const QString &sim, int tags, double totalRate, int warmupS, int measureS)
        : m_site(sim, tags), m_sim(sim), m_tags(tags), m_rate(totalRate), m_warmup(warmupS), m_measure(measureS)
    {
    }

    // Views left out, to see what each costs: dock object names, or "map"
    // for the map tab (the next tab is made current instead).
    bool start(const QStringList &without)
    {
        const QString fault = m_site.open();
        if (!fault.isEmpty()) {
            std::fprintf(stderr, "%s\n", qPrintable(fault));
            return false;
        }
        if (qEnvironmentVariableIsSet("BENCH_NATIVE_GL")) {
            m_site.map()->setAttribute(Qt::WA_NativeWindow);
            m_site.orientation()->setAttribute(Qt::WA_NativeWindow);
        }
        for (const QString &name : without) {
            if (name == QLatin1String("map")) {
                m_site.window()->tabWidget()->setCurrentIndex(1);
            } else if (auto *dock = m_site.window()->findChild<QDockWidget *>(name)) {
                dock->hide();
            } else {
                std::fprintf(stderr, "no view %s\n", qPrintable(name));
                return false;
            }
        }
        QObject::connect(m_site.map(), &QGLViewer::drawFinished, [this] { ++m_frames; });
        QObject::connect(m_site.orientation(), &QGLViewer::drawFinished, [this] { ++m_orientationFrames; });
        m_echo = std::make_unique<EchoWatch>(m_site.console());
        m_site.window()->installEventFilter(&m_compositions);
        return true;
    }

    Phase run(const QString &format, bool echo)
    {
        Phase phase;
        phase.format = format;
        phase.echo = echo;
        SentrovaInterface *hub = SentrovaInterface::instance();
        if (hub->locationStream()->displaysMessages() != echo)
            hub->toggleRtlsLsDisplayMessages();

        QProcess load;
        QByteArray loadOut;
        load.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QObject::connect(&load, &QProcess::readyReadStandardOutput, [&] { loadOut += load.readAllStandardOutput(); });
        m_site.resetLoadReports();
        const qint64 dropsBefore = udpReceiveBufferErrors();
        load.start(m_sim, LoadedWindow::loadArguments(format, m_tags, m_rate, m_warmup + m_measure));
        if (!load.waitForStarted(10000)) {
            std::fprintf(stderr, "the load simulator did not start\n");
            return phase;
        }

        // Warm-up: every tag arrives, the list and the map take them in, a
        // tag is selected (details, orientation) and measured. Timed from the
        // simulator's start, so that a late event loop shortens the warm-up
        // and never the measurement.
        QElapsedTimer sinceStart;
        sinceStart.start();
        pause(m_warmup * 500);
        if (!m_site.selectAndMeasure())
            std::fprintf(stderr, "the measurement tool does not offer the first load tag\n");
        pause(int(std::max<qint64>(0, m_warmup * 1000 - sinceStart.elapsed())));

        m_probe.record(true);
        if (auto *timed = dynamic_cast<TimedApplication *>(QCoreApplication::instance()))
            timed->record(qEnvironmentVariableIsSet("BENCH_EVENTS"));
        m_echo->record(echo);
        m_frames = 0;
        m_orientationFrames = 0;
        m_compositions.count = 0;
        const double gui0 = BenchCpu::threadSeconds();
        const double cpu0 = BenchCpu::processSeconds();
        QElapsedTimer wall;
        wall.start();
        QEventLoop loop;
        QObject::connect(&load, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), &loop,
                         &QEventLoop::quit);
        QTimer::singleShot((m_measure + 60) * 1000, &loop, &QEventLoop::quit);
        if (load.state() != QProcess::NotRunning)
            loop.exec();
        phase.seconds = wall.elapsed() / 1000.0;
        phase.guiCpu = (BenchCpu::threadSeconds() - gui0) / phase.seconds;
        phase.processCpu = (BenchCpu::processSeconds() - cpu0) / phase.seconds;
        phase.fps = m_frames / phase.seconds;
        phase.orientationFps = m_orientationFrames / phase.seconds;
        phase.compositions = m_compositions.count / phase.seconds;
        m_probe.record(false);
        if (auto *timed = dynamic_cast<TimedApplication *>(QCoreApplication::instance())) {
            timed->record(false);
            if (qEnvironmentVariableIsSet("BENCH_EVENTS"))
                timed->print(phase.seconds);
        }
        if (qEnvironmentVariableIsSet("BENCH_SHOT"))
            QGuiApplication::primaryScreen()->grabWindow(0).save(qEnvironmentVariable("BENCH_SHOT"));
        phase.p50 = m_probe.quantileMs(0.50);
        phase.p99 = m_probe.quantileMs(0.99);
        phase.max = m_probe.maxMs();
        phase.consoleBehindP99 = m_echo->behindQuantile(0.99);
        phase.consoleBehindMax = m_echo->behindQuantile(1.0);
        phase.consoleNotAtBottom = m_echo->notAtBottom();
        phase.consoleNotFound = m_echo->notFound();
        phase.consoleOther = m_echo->other();
        phase.consoleSamples = m_echo->samples();
        m_echo->record(false);
        phase.residentMiB = BenchMemory::residentKiB() / 1024.0;

        if (load.state() != QProcess::NotRunning) {
            load.kill();
            load.waitForFinished();
        }
        loadOut += load.readAllStandardOutput();
        for (const QByteArray &line : loadOut.split('\n')) {
            if (line.startsWith("SENT "))
                phase.sent = line.split(' ').value(1).toLongLong();
        }
        qint64 seen = -1;
        while (seen != m_site.loadReports()) {
            seen = m_site.loadReports();
            pause(kDrainQuietMs);
        }
        phase.received = m_site.loadReports();
        phase.kernelDrops = udpReceiveBufferErrors() - dropsBefore;
        if (echo)
            std::fprintf(stderr, "console's last line: %s\n", qPrintable(m_echo->lastShown().left(160)));
        return phase;
    }

    FloodPhase flood(int reports, double rate)
    {
        constexpr int kAfterFloodS = 15;
        constexpr int kGiveUpS = 300;
        FloodPhase phase;
        phase.reports = reports;
        phase.rate = rate;
        SentrovaInterface *hub = SentrovaInterface::instance();
        if (hub->locationStream()->displaysMessages())
            hub->toggleRtlsLsDisplayMessages();
        FloodSender::Plan plan;
        plan.reports = reports;
        plan.rate = rate;
        // Known before the flood, at x = 0 (heard twice: a tag heard once
        // is not on the map).
        QUdpSocket socket;
        for (int i = 0; i < 2; ++i) {
            socket.writeDatagram(FloodSender::report(plan.goodId, 0.f, plan.goodY, 0.f), QHostAddress::LocalHost,
                                 plan.port);
            pause(100);
        }
        auto object = [this, &plan] { return m_site.map()->scene()->nodeObject(plan.goodId); };
        if (!waitUntil([&] { return object() != nullptr; }, 10000)) {
            std::fprintf(stderr, "the good tag never reached the map\n");
            return phase;
        }
        pause(1000);

        const int detailsBefore = m_site.masterDetailRequests();
        FloodSender sender(plan);
        FloodSender::Clock::time_point shownAt;
        bool shown = false;
        const QMetaObject::Connection frames =
            QObject::connect(m_site.map(), &QGLViewer::drawFinished, [&] {
                if (shown || sender.goodSent() == 0)
                    return;
                const NodeObject *o = object();
                if (o && o->frame().position().x >= double(plan.goodStartX) - 1e-3) {
                    shown = true;
                    shownAt = FloodSender::Clock::now();
                }
            });
        const qint64 dropsBefore = udpReceiveBufferErrors();
        m_probe.record(true);
        if (auto *timed = dynamic_cast<TimedApplication *>(QCoreApplication::instance()))
            timed->record(qEnvironmentVariableIsSet("BENCH_EVENTS"));
        const double gui0 = BenchCpu::threadSeconds();
        QElapsedTimer wall;
        wall.start();
        sender.start();
        size_t floodSamples = 0;
        waitUntil([&] { return sender.floodDone(); }, kGiveUpS * 1000);
        floodSamples = m_probe.samples();
        const auto floodEnded = sender.floodEnded();
        waitUntil(
            [&] {
                return (shown && FloodSender::Clock::now() > floodEnded + std::chrono::seconds(kAfterFloodS))
                    || wall.elapsed() > kGiveUpS * 1000;
            },
            (kGiveUpS + 10) * 1000);
        const double seconds = wall.elapsed() / 1000.0;
        phase.guiCpu = (BenchCpu::threadSeconds() - gui0) / seconds;
        m_probe.record(false);
        if (auto *timed = dynamic_cast<TimedApplication *>(QCoreApplication::instance())) {
            timed->record(false);
            if (qEnvironmentVariableIsSet("BENCH_EVENTS"))
                timed->print(seconds);
        }
        QObject::disconnect(frames);
        sender.stop();
        phase.sent = sender.floodSent();
        phase.floodSeconds = std::chrono::duration<double>(floodEnded - sender.floodStarted()).count();
        phase.p50 = m_probe.quantileMs(0.50, 0, floodSamples);
        phase.p99 = m_probe.quantileMs(0.99, 0, floodSamples);
        phase.max = m_probe.maxMs(0, floodSamples);
        phase.afterP50 = m_probe.quantileMs(0.50, floodSamples);
        phase.afterP99 = m_probe.quantileMs(0.99, floodSamples);
        phase.afterMax = m_probe.maxMs(floodSamples);
        phase.samples = floodSamples;
        phase.afterSamples = m_probe.samples() - floodSamples;
        if (shown)
            phase.shownAfterS = std::chrono::duration<double>(shownAt - sender.firstGoodSent()).count();
        phase.kernelDrops = udpReceiveBufferErrors() - dropsBefore;
        phase.nodes = hub->nodes().size();
        phase.detailsSent = m_site.masterDetailRequests() - detailsBefore;
        if (const SvcClient *client = hub->svc()->client(QHostAddress(QHostAddress::LocalHost).toIPv4Address()))
            phase.detailsQueued = client->queuedCount();
        phase.residentMiB = BenchMemory::residentKiB() / 1024.0;
        return phase;
    }

private:
    LoadedWindow m_site;
    QString m_sim;
    int m_tags;
    double m_rate;
    int m_warmup;
    int m_measure;
    std::unique_ptr<EchoWatch> m_echo;
    LatenessProbe m_probe;
    int m_frames = 0;
    int m_orientationFrames = 0;
    CompositionCounter m_compositions;
};

// With the echo on, the console must show the newest lines: its last line
// at most this far behind the newest echoed one (two of its frames and a
// late event loop).
constexpr double kConsoleBehindGoalMs = 250;

double behindMs(int lines, double rate)
{
    return lines < 0 ? -1 : 1000.0 * lines / rate;
}

QString verdict(const Phase &p, double rate)
{
    const bool lost = p.sent <= 0 || p.received < p.sent;
    if (p.echo)
        return p.p99 < 100 && p.consoleNotFound == 0 && p.consoleBehindP99 >= 0
                && behindMs(p.consoleBehindP99, rate) < kConsoleBehindGoalMs
            ? QStringLiteral("usable")
            : QStringLiteral("**missed**");
    return p.p99 < 50 && p.fps >= 15 && !lost ? QStringLiteral("met") : QStringLiteral("**missed**");
}

} // namespace

int main(int argc, char **argv)
{
    // The window keeps its preferences and settings file in a folder of its
    // own, never the user's; it also works in a folder of its own.
    const QString startDir = QDir::currentPath();
    AppTestEnvironment::isolate();
    TimedApplication app(argc, argv);
    AppStyle::apply();

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("The main window under a full location stream"));
    parser.addHelpOption();
    parser.addOption({QStringLiteral("sim"), QStringLiteral("Simulator binary."), QStringLiteral("PATH")});
    parser.addOption({QStringLiteral("formats"), QStringLiteral("Formats (json,tlv)."), QStringLiteral("LIST"),
                      QStringLiteral("json,tlv")});
    parser.addOption({QStringLiteral("echo"), QStringLiteral("Location echo settings (off,on)."),
                      QStringLiteral("LIST"), QStringLiteral("off,on")});
    parser.addOption({QStringLiteral("without"),
                      QStringLiteral("Views left out: map, list, details, orientation, measuerment, debugwindow."),
                      QStringLiteral("LIST")});
    parser.addOption({QStringLiteral("tags"), QStringLiteral("Tags (1000)."), QStringLiteral("N"),
                      QStringLiteral("1000")});
    parser.addOption({QStringLiteral("rate"), QStringLiteral("Reports per second, all tags together (20000)."),
                      QStringLiteral("HZ"), QStringLiteral("20000")});
    parser.addOption({QStringLiteral("warmup"), QStringLiteral("Seconds of each run before measuring (10)."),
                      QStringLiteral("S"), QStringLiteral("10")});
    parser.addOption({QStringLiteral("seconds"), QStringLiteral("Seconds measured per run (30)."),
                      QStringLiteral("S"), QStringLiteral("30")});
    parser.addOption({QStringLiteral("flood"),
                      QStringLiteral("Instead of the load: a flood of reports of this many random ids."),
                      QStringLiteral("N")});
    parser.addOption({QStringLiteral("flood-rate"), QStringLiteral("Reports per second of the flood (20000)."),
                      QStringLiteral("HZ"), QStringLiteral("20000")});
    parser.process(app);
    if (!parser.isSet(QStringLiteral("sim"))) {
        std::fprintf(stderr, "--sim PATH is needed\n");
        return 2;
    }

    const int tags = parser.value(QStringLiteral("tags")).toInt();
    const double rate = parser.value(QStringLiteral("rate")).toDouble();
    Bench bench(QDir(startDir).absoluteFilePath(parser.value(QStringLiteral("sim"))), tags, rate, parser.value(QStringLiteral("warmup")).toInt(),
                parser.value(QStringLiteral("seconds")).toInt());
    if (!bench.start(parser.value(QStringLiteral("without")).split(QLatin1Char(','), Qt::SkipEmptyParts)))
        return 1;

    if (parser.isSet(QStringLiteral("flood"))) {
        const FloodPhase f = bench.flood(parser.value(QStringLiteral("flood")).toInt(),
                                         parser.value(QStringLiteral("flood-rate")).toDouble());
        const auto ms = [](double v) { return QString::number(v, 'f', 1) + QStringLiteral(" ms"); };
        out() << "Window under a flood of new ids: " << f.reports << " random ids at " << f.rate
              << " reports/s, then a known tag moving\n\n";
        out() << "| flood s | sent | kernel drops | nodes | lateness p50 / p99 / max (probe firings), flood "
                 "| same, 15 s after | good tag shown after | getDetails sent / queued | GUI thread | RSS MiB | goal |\n";
        out() << "|---|---|---|---|---|---|---|---|---|---|---|\n";
        const bool met = f.p99 < 100 && f.afterP99 < 100 && f.shownAfterS >= 0 && f.shownAfterS < 1;
        out() << "| " << QString::number(f.floodSeconds, 'f', 1) << " | " << f.sent << " | " << f.kernelDrops
              << " | " << f.nodes << " | " << ms(f.p50) << " / " << ms(f.p99) << " / " << ms(f.max) << " ("
              << f.samples << ") | " << ms(f.afterP50) << " / " << ms(f.afterP99) << " / " << ms(f.afterMax) << " ("
              << f.afterSamples << ") | "
              << (f.shownAfterS < 0 ? QStringLiteral("never") : QString::number(f.shownAfterS, 'f', 2) + " s")
              << " | " << f.detailsSent << " / " << f.detailsQueued << " | " << QString::number(100 * f.guiCpu, 'f', 0)
              << " % | " << QString::number(f.residentMiB, 'f', 0) << " | "
              << (met ? "met" : "**missed**") << " |\n";
        out().flush();
        return 0;
    }

    QList<Phase> phases;
    for (const QString &format : parser.value(QStringLiteral("formats")).split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        for (const QString &echo : parser.value(QStringLiteral("echo")).split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            const Phase p = bench.run(format, echo == QLatin1String("on"));
            std::fprintf(stderr, "%s echo %s: sent %lld received %lld kernel drops %lld; lateness p50 %.1f p99 %.1f "
                         "max %.1f ms; map %.1f frames/s\n",
                         qPrintable(p.format), p.echo ? "on" : "off", p.sent, p.received, p.kernelDrops, p.p50,
                         p.p99, p.max, p.fps);
            phases << p;
        }
    }

    out() << "Window under load: " << tags << " tags, " << rate << " reports/s\n\n";
    out() << "| format | echo | s | sent | lost | kernel drops | lateness p50 | p99 | max | map frames/s "
             "| orientation frames/s | window compositions/s | GUI thread | process CPU | RSS MiB | console behind p99 / max, lines (ms) "
             "| goal |\n";
    out() << "|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|\n";
    for (const Phase &p : qAsConst(phases)) {
        const QString console = p.echo ? QStringLiteral("%1 / %2 (%3 / %4 ms)%5")
                                              .arg(p.consoleBehindP99)
                                              .arg(p.consoleBehindMax)
                                              .arg(behindMs(p.consoleBehindP99, rate), 0, 'f', 0)
                                              .arg(behindMs(p.consoleBehindMax, rate), 0, 'f', 0)
                                              .arg(p.consoleNotFound + p.consoleOther
                                                       ? QStringLiteral("; of %1 samples %2 another message, %3 not found")
                                                             .arg(p.consoleSamples)
                                                             .arg(p.consoleOther)
                                                             .arg(p.consoleNotFound)
                                                       : QString())
                                       : QStringLiteral("–");
        out() << "| " << p.format << " | " << (p.echo ? "on" : "off") << " | " << QString::number(p.seconds, 'f', 1)
              << " | " << p.sent << " | " << (p.sent >= 0 ? p.sent - p.received : -1) << " | " << p.kernelDrops
              << " | " << QString::number(p.p50, 'f', 1) << " ms | " << QString::number(p.p99, 'f', 1) << " ms | "
              << QString::number(p.max, 'f', 1) << " ms | " << QString::number(p.fps, 'f', 1) << " | "
              << QString::number(p.orientationFps, 'f', 1) << " | " << QString::number(p.compositions, 'f', 1)
              << " | " << QString::number(100 * p.guiCpu, 'f', 0)
              << " % | " << QString::number(100 * p.processCpu, 'f', 0) << " % | "
              << QString::number(p.residentMiB, 'f', 0) << " | " << console << " | " << verdict(p, rate) << " |\n";
    }
    out().flush();
    return 0;
}
