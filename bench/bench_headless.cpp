// The site without a desk, measured end to end: the simulator in load mode
// streams N tags x HZ (JSON) over loopback UDP to a real
// `sentrova-manager --headless`, which publishes every position to Debian's
// mosquitto; this process is a remote view (the hub as --remote makes it)
// whose model takes the positions from the broker. Per run it prints the
// headless manager's CPU (a share of one core, all its threads, and its
// main thread alone) and resident memory, the reports the simulator sent,
// those the headless manager read and published, those that reached the
// remote view's model, and the latency from the report's time stamp (taken
// by the simulator when it sends) to the remote model's update: p50, p99, max.
// Needs the stream's fixed port 8786: run it in a private network namespace
// (scripts/run-bench.sh does).
#include "Comm/MosquittoBroker.h"
#include "MqttConfig.h"
#include "RemoteSite.h"
#include "RtlsModelConstants.h"
#include "RtlsObject.h"
#include "SentrovaInterface.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextStream>

#include <mosquitto.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <csignal>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kWaitMs = 60000;
constexpr int kDrainQuietMs = 1500;
constexpr char kPrefix[] = "benchsite";

QTextStream &out()
{
    static QTextStream stream(stdout);
    stream.setCodec("UTF-8");
    return stream;
}

QTextStream &err()
{
    static QTextStream stream(stderr);
    return stream;
}

bool waitFor(const std::function<bool()> &done, int ms)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        usleep(2000);
    }
    return true;
}

// utime + stime of a /proc stat file, in seconds.
double statCpuSeconds(const QString &statFile)
{
    QFile f(statFile);
    if (!f.open(QIODevice::ReadOnly))
        return 0.0;
    const QByteArray line = f.readAll();
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return 0.0;
    return double(fields.at(11).toLongLong() + fields.at(12).toLongLong()) / double(sysconf(_SC_CLK_TCK));
}

// "VmRSS" or "VmHWM" of a process, in MiB.
double statusMiB(qint64 pid, const char *key)
{
    QFile f(QStringLiteral("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return 0.0;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(int(qstrlen(key)) + 1).trimmed().split(' ').first().toDouble() / 1024.0;
    return 0.0;
}

struct Cpu
{
    double process = 0.0;
    double main = 0.0;
};

Cpu cpuOf(qint64 pid)
{
    Cpu c;
    c.process = statCpuSeconds(QStringLiteral("/proc/%1/stat").arg(pid));
    c.main = statCpuSeconds(QStringLiteral("/proc/%1/task/%1/stat").arg(pid));
    return c;
}

// Datagrams the kernel dropped because a receiver's buffer was full
// (RcvbufErrors of /proc/net/snmp, this network namespace).
qint64 udpBufferDrops()
{
    QFile f(QStringLiteral("/proc/net/snmp"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> lines = f.readAll().split('\n');
    for (int i = 0; i + 1 < lines.size(); ++i) {
        if (!lines[i].startsWith("Udp:") || !lines[i + 1].startsWith("Udp:"))
            continue;
        const QList<QByteArray> names = lines[i].simplified().split(' ');
        const QList<QByteArray> values = lines[i + 1].simplified().split(' ');
        const int at = names.indexOf("RcvbufErrors");
        return at >= 0 && at < values.size() ? values[at].toLongLong() : -1;
    }
    return -1;
}

double percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return 0.0;
    std::sort(v.begin(), v.end());
    const size_t i = std::min(v.size() - 1, size_t(p * double(v.size() - 1) + 0.5));
    return v[i];
}

// The remote view: every new report of a tag in its model, with its delay.
class RemoteModelProbe : public QObject
{
public:
    explicit RemoteModelProbe(SentrovaInterface *hub)
    {
        auto seen = [this](RtlsObject *node) {
            if (!counting || !(node->msgFlags() & Rtls::kMsgCoordinates))
                return;
            double &last = lastStamp[node->id()];
            const double stamp = node->msgTime();
            if (stamp <= 0.0 || stamp == last)
                return;
            last = stamp;
            ++reports;
            latencyMs.push_back(double(QDateTime::currentMSecsSinceEpoch()) - stamp);
        };
        connect(hub, &SentrovaInterface::nodeAddedSignal, this, seen);
        connect(hub, &SentrovaInterface::nodeUpdatedSignal, this, seen);
    }
    void reset()
    {
        reports = 0;
        latencyMs.clear();
        latencyMs.reserve(1 << 20);
    }
    bool counting = false;
    qint64 reports = 0;
    std::vector<double> latencyMs;
    QHash<uint64_t, double> lastStamp;
};

struct Run
{
    int tags = 0;
    double rate = 0.0;
    // Without the remote view (a plain subscriber counts instead): the
    // service alone on the machine's cores.
    bool view = true;
};

// Counts the positions that reach the broker's other side, on the client's
// own thread: next to nothing of the machine.
class CountingSubscriber
{
public:
    bool start(quint16 port)
    {
        m_mosq = mosquitto_new(nullptr, true, this);
        mosquitto_message_callback_set(m_mosq, [](mosquitto *, void *obj, const mosquitto_message *) {
            static_cast<CountingSubscriber *>(obj)->count.fetch_add(1, std::memory_order_relaxed);
        });
        mosquitto_subscribe_callback_set(m_mosq, [](mosquitto *, void *obj, int, int, const int *) {
            static_cast<CountingSubscriber *>(obj)->subscribed.store(true);
        });
        if (mosquitto_connect(m_mosq, "127.0.0.1", port, 30) != MOSQ_ERR_SUCCESS)
            return false;
        const QByteArray filter = QByteArray(kPrefix) + "/tags/+/position";
        mosquitto_subscribe(m_mosq, nullptr, filter.constData(), 0);
        mosquitto_loop_start(m_mosq);
        return waitFor([this] { return subscribed.load(); }, kWaitMs);
    }
    ~CountingSubscriber()
    {
        if (m_mosq) {
            mosquitto_disconnect(m_mosq);
            mosquitto_loop_stop(m_mosq, false);
            mosquitto_destroy(m_mosq);
        }
    }
    std::atomic<qint64> count{0};
    std::atomic<bool> subscribed{false};

private:
    mosquitto *m_mosq = nullptr;
};

} // namespace

int main(int argc, char **argv)
{
    SentrovaInterface::setRemoteAtStart(true);
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOption({QStringLiteral("manager"), QStringLiteral("sentrova-manager binary."), QStringLiteral("PATH")});
    parser.addOption({QStringLiteral("sim"), QStringLiteral("sentrova-sim binary."), QStringLiteral("PATH")});
    parser.addOption({QStringLiteral("runs"), QStringLiteral("Runs as TAGSxHZ, comma-separated."),
                      QStringLiteral("LIST"), QStringLiteral("1000x10,2000x10:noview,2000x10")});
    parser.addOption({QStringLiteral("duration"), QStringLiteral("Seconds of load per run."), QStringLiteral("S"),
                      QStringLiteral("20")});
    parser.process(app);
    // Absolute: the service runs in a folder of its own.
    const QString manager = QFileInfo(parser.value(QStringLiteral("manager"))).absoluteFilePath();
    const QString sim = QFileInfo(parser.value(QStringLiteral("sim"))).absoluteFilePath();
    const double duration = parser.value(QStringLiteral("duration")).toDouble();
    if (!parser.isSet(QStringLiteral("manager")) || !parser.isSet(QStringLiteral("sim")) || MosquittoBroker::binary().isEmpty()) {
        err() << "--manager and --sim are required, and Debian's mosquitto must be installed\n";
        return 2;
    }
    QList<Run> runs;
    for (const QString &text : parser.value(QStringLiteral("runs")).split(QLatin1Char(','))) {
        const QStringList fields = text.split(QLatin1Char(':'));
        const QStringList parts = fields.first().split(QLatin1Char('x'));
        if (parts.size() == 2)
            runs.append(Run{parts[0].toInt(), parts[1].toDouble(), !fields.contains(QStringLiteral("noview"))});
    }

    MosquittoBroker broker;
    if (!broker.start()) {
        err() << "mosquitto did not start\n";
        return 1;
    }
    SentrovaInterface *hub = SentrovaInterface::instance();
    MqttConfig view;
    view.host = QStringLiteral("127.0.0.1");
    view.port = broker.port;
    view.topicPrefix = QLatin1String(kPrefix);
    hub->remoteSite()->setConfig(view);
    RemoteModelProbe probe(hub);
    hub->init();
    if (!waitFor([&] { return hub->remoteSite()->isConnected(); }, kWaitMs)) {
        err() << "the remote view did not connect to the broker\n";
        return 1;
    }

    out() << "| tags x Hz | reports/s | headless CPU (share of a core) | its main thread | resident memory (peak) | sent "
             "| read by the headless manager | published | reached the remote model | remote view: main thread (process) | broker | latency p50 | p99 | max | UDP datagrams dropped by the kernel |\n";
    out() << "|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|\n";
    out().flush();
    for (const Run &run : runs) {
        QTemporaryDir home;
        const QString settings = home.filePath(QStringLiteral("service.json"));
        {
            QFile f(settings);
            f.open(QIODevice::WriteOnly);
            f.write(QJsonDocument(QJsonObject{{"mqtt", QJsonObject{{"enabled", true},
                                                                   {"host", "127.0.0.1"},
                                                                   {"port", int(broker.port)},
                                                                   {"topicPrefix", kPrefix}}}})
                        .toJson());
        }
        QProcess service;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "XAUTHORITY", "QT_QPA_PLATFORM"})
            env.remove(QLatin1String(name));
        env.insert(QStringLiteral("HOME"), home.path());
        service.setProcessEnvironment(env);
        service.setWorkingDirectory(home.path());
        QByteArray serviceOut;
        QObject::connect(&service, &QProcess::readyReadStandardOutput,
                         [&] { serviceOut += service.readAllStandardOutput(); });
        service.start(manager, {"--headless", "--settings", settings});
        if (!waitFor([&] { return serviceOut.contains("MQTT: connected to broker"); }, kWaitMs)) {
            err() << "the headless manager did not connect:\n" << serviceOut << "\n";
            return 1;
        }

        probe.reset();
        probe.counting = run.view;
        std::unique_ptr<CountingSubscriber> counter;
        if (!run.view) {
            hub->remoteSite()->stop();
            counter = std::make_unique<CountingSubscriber>();
            if (!counter->start(broker.port)) {
                err() << "the counting subscriber did not subscribe\n";
                return 1;
            }
        }
        const qint64 dropsBefore = udpBufferDrops();
        const double viewBefore = statCpuSeconds(QStringLiteral("/proc/self/task/%1/stat").arg(getpid()));
        const double viewProcessBefore = statCpuSeconds(QStringLiteral("/proc/self/stat"));
        const double brokerBefore = statCpuSeconds(QStringLiteral("/proc/%1/stat").arg(broker.pid()));
        QProcess load;
        QByteArray loadOut;
        QObject::connect(&load, &QProcess::readyReadStandardOutput, [&] { loadOut += load.readAllStandardOutput(); });
        load.start(sim, {"--bind", "127.0.0.1", "--svc-port", "0", "--no-mdns", "--no-broadcast", "--quiet",
                         "--stream-to", "127.0.0.1:8786", "--format", "json", "--tags", QString::number(run.tags),
                         "--rate", QString::number(run.rate), "--duration", QString::number(duration)});
        if (!waitFor([&] { return loadOut.contains("READY"); }, kWaitMs)) {
            err() << "the simulator did not start\n";
            return 1;
        }
        const qint64 pid = service.processId();
        const Cpu before = cpuOf(pid);
        QElapsedTimer clock;
        clock.start();
        if (!waitFor([&] { return load.state() == QProcess::NotRunning; }, int(duration * 1000) + kWaitMs)) {
            err() << "the simulator did not finish\n";
            return 1;
        }
        const double seconds = clock.elapsed() / 1000.0;
        const Cpu after = cpuOf(pid);
        const double viewCpu = statCpuSeconds(QStringLiteral("/proc/self/task/%1/stat").arg(getpid())) - viewBefore;
        const double viewProcessCpu = statCpuSeconds(QStringLiteral("/proc/self/stat")) - viewProcessBefore;
        const double brokerCpu = statCpuSeconds(QStringLiteral("/proc/%1/stat").arg(broker.pid())) - brokerBefore;
        const double rss = statusMiB(pid, "VmRSS:");
        const double peak = statusMiB(pid, "VmHWM:");
        loadOut += load.readAllStandardOutput();
        const QRegularExpressionMatch sent = QRegularExpression(QStringLiteral("SENT (\\d+)")).match(QString::fromUtf8(loadOut));
        // Drained once nothing new arrives for a while.
        auto arrived = [&] { return run.view ? probe.reports : counter->count.load(); };
        qint64 seen = -1;
        QElapsedTimer quiet;
        waitFor([&] {
            if (arrived() != seen) {
                seen = arrived();
                quiet.start();
                return false;
            }
            return quiet.elapsed() > kDrainQuietMs;
        }, kWaitMs);
        probe.counting = false;
        const qint64 reached = arrived();
        if (!run.view) {
            counter.reset();
            hub->remoteSite()->start();
            waitFor([&] { return hub->remoteSite()->isConnected(); }, kWaitMs);
        }

        ::kill(pid_t(pid), SIGTERM);
        service.waitForFinished(15000);
        serviceOut += service.readAllStandardOutput();
        const QRegularExpressionMatch stop = QRegularExpression(
            QStringLiteral("after (\\d+) JSON report lines; (\\d+) messages published to the broker, (\\d+) not published"))
                                                 .match(QString::fromUtf8(serviceOut));
        const double reportsPerSecond = run.tags * run.rate;
        out() << "| " << run.tags << " x " << run.rate << " | " << reportsPerSecond << " | "
              << QString::number(100.0 * (after.process - before.process) / seconds, 'f', 1) << " % | "
              << QString::number(100.0 * (after.main - before.main) / seconds, 'f', 1) << " % | "
              << QString::number(rss, 'f', 1) << " MiB (" << QString::number(peak, 'f', 1) << " MiB) | "
              << (sent.hasMatch() ? sent.captured(1) : QStringLiteral("?")) << " | "
              << (stop.hasMatch() ? stop.captured(1) : QStringLiteral("?")) << " | "
              << (stop.hasMatch() ? stop.captured(2) + QStringLiteral(" (") + stop.captured(3) + QStringLiteral(" not)")
                                  : QStringLiteral("?"))
              << " | " << reached << (run.view ? "" : " (a plain subscriber)") << " | "
              << (run.view ? QString::number(100.0 * viewCpu / seconds, 'f', 1) + QStringLiteral(" % (")
                                 + QString::number(100.0 * viewProcessCpu / seconds, 'f', 1) + QStringLiteral(" %)")
                           : QStringLiteral("—"))
              << " | " << QString::number(100.0 * brokerCpu / seconds, 'f', 1) << " % | ";
        if (run.view)
            out() << QString::number(percentile(probe.latencyMs, 0.5), 'f', 1) << " ms | "
                  << QString::number(percentile(probe.latencyMs, 0.99), 'f', 1) << " ms | "
                  << QString::number(percentile(probe.latencyMs, 1.0), 'f', 1) << " ms | ";
        else
            out() << QStringLiteral("— | — | — | ");
        out() << (udpBufferDrops() - dropsBefore) << " |\n";
        out().flush();
        QFile load1(QStringLiteral("/proc/loadavg"));
        load1.open(QIODevice::ReadOnly);
        err() << "run " << run.tags << "x" << run.rate << (run.view ? "" : " without the view") << ": " << seconds
              << " s of load; load average after it " << load1.readAll().trimmed() << "\n";
    }
    return 0;
}
