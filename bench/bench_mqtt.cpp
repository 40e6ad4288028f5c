// Publishing to an MQTT broker under the location stream's load: the
// simulator in load mode streams N tags x HZ over loopback UDP to RtlsLs and
// the real model; every report the stream announces goes to MqttPublisher,
// which publishes to Debian's mosquitto on loopback; a subscriber counts
// what arrives. Each format runs with publishing off and on, and prints the
// reports received, the positions published and arrived per second, and the
// CPU time of the thread that decodes and publishes (the GUI thread in the
// manager), of the publisher's network thread and of the broker.
#include "BenchCpu.h"
#include "BenchHubLink.h"
#include "Comm/MosquittoBroker.h"
#include "MqttPublisher.h"
#include "RtlsLs.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTextStream>
#include <QTimer>

#include <mosquitto.h>

#include <atomic>
#include <unistd.h>

namespace {

constexpr int kDrainQuietMs = 500;
constexpr int kRunTimeoutMs = 300000;
constexpr char kPrefix[] = "bench";

QTextStream &out()
{
    static QTextStream stream(stdout);
    stream.setCodec("UTF-8");
    return stream;
}

// utime + stime of a /proc stat file, in seconds.
double statCpuSeconds(const QString &statFile)
{
    QFile f(statFile);
    if (!f.open(QIODevice::ReadOnly))
        return 0.0;
    const QByteArray line = f.readAll();
    // Fields after the command name in parentheses, which may hold spaces.
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return 0.0;
    return double(fields.at(11).toLongLong() + fields.at(12).toLongLong()) / double(sysconf(_SC_CLK_TCK));
}

double namedThreadCpuSeconds(const QByteArray &name)
{
    double total = 0.0;
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString &tid : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(tasks.filePath(tid + QStringLiteral("/comm")));
        if (comm.open(QIODevice::ReadOnly) && comm.readAll().trimmed() == name)
            total += statCpuSeconds(tasks.filePath(tid + QStringLiteral("/stat")));
    }
    return total;
}

// The hub's part, plus the hub's connection to the publisher.
class PublishingLink : public BenchHubLink
{
public:
    explicit PublishingLink(MqttPublisher *publisher) : m_publisher(publisher) {}
    void announceNodeAdded(RtlsObject *node) override
    {
        BenchHubLink::announceNodeAdded(node);
        m_publisher->nodeAdded(node);
    }
    void announceNodeUpdated(RtlsObject *node) override
    {
        BenchHubLink::announceNodeUpdated(node);
        m_publisher->nodeUpdated(node);
    }

private:
    MqttPublisher *m_publisher;
};

// Counts the positions that reach the broker's other side.
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
        const QByteArray filter = QByteArray(kPrefix) + "/tags/#";
        mosquitto_subscribe(m_mosq, nullptr, filter.constData(), 0);
        mosquitto_loop_start(m_mosq);
        QElapsedTimer t;
        t.start();
        while (!subscribed.load() && t.elapsed() < 10000)
            usleep(10000);
        return subscribed.load();
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

struct RunResult
{
    qint64 sent = -1;
    qint64 received = 0;
    quint64 published = 0;
    quint64 dropped = 0;
    qint64 arrived = 0;
    double seconds = 0.0;
    double mainCpu = 0.0;
    double networkCpu = 0.0;
    double brokerCpu = 0.0;
};

void wait(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

RunResult runOnce(const QString &sim, const QString &format, int tags, double rate, double duration, bool publish,
                  MosquittoBroker &broker, CountingSubscriber &subscriber)
{
    MqttPublisher publisher;
    MqttConfig config;
    config.enabled = publish;
    config.host = QStringLiteral("127.0.0.1");
    config.port = broker.port;
    config.topicPrefix = QLatin1String(kPrefix);
    publisher.setConfig(config);
    publisher.start();
    QElapsedTimer connecting;
    connecting.start();
    while (publish && !publisher.isConnected() && connecting.elapsed() < 10000)
        wait(10);

    PublishingLink link(&publisher);
    RtlsLs::Ports ports;
    ports.lsExternalEngine = 0;
    ports.lsInternalEngine = 0;
    ports.dc = 0;
    RtlsLs stream(nullptr, true, &link, ports);

    RunResult result;
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QEventLoop loop;
    QObject::connect(&process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), &loop, &QEventLoop::quit);
    QTimer::singleShot(kRunTimeoutMs, &loop, &QEventLoop::quit);
    const QStringList args{"--bind", "127.0.0.1", "--svc-port", "0", "--no-mdns", "--no-broadcast", "--quiet",
                           "--stream-to", QStringLiteral("127.0.0.1:%1").arg(stream.lsPort()),
                           "--format", format, "--tags", QString::number(tags),
                           "--rate", QString::number(rate, 'g', 10), "--duration", QString::number(duration)};
    const qint64 arrivedBefore = subscriber.count.load();
    const double mainStart = BenchCpu::threadSeconds();
    const QString brokerStat = QStringLiteral("/proc/%1/stat").arg(broker.pid());
    const double brokerStart = statCpuSeconds(brokerStat);
    QElapsedTimer wall;
    wall.start();
    process.start(sim, args);
    loop.exec();
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished();
    }
    for (const QByteArray &line : process.readAllStandardOutput().split('\n'))
        if (line.startsWith("SENT "))
            result.sent = line.split(' ').value(1).toLongLong();

    // Whatever is still on its way arrives now.
    qint64 seen = -1;
    while (seen != link.reports + subscriber.count.load()) {
        seen = link.reports + subscriber.count.load();
        wait(kDrainQuietMs);
    }
    result.seconds = wall.elapsed() / 1000.0;
    result.received = link.reports;
    result.published = publisher.publishedCount();
    result.dropped = publisher.droppedCount();
    result.arrived = subscriber.count.load() - arrivedBefore;
    result.mainCpu = BenchCpu::threadSeconds() - mainStart;
    result.networkCpu = namedThreadCpuSeconds("sentrova-mqtt");
    result.brokerCpu = statCpuSeconds(brokerStat) - brokerStart;
    return result;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("MQTT publishing under the location stream's load"));
    parser.addHelpOption();
    parser.addOption({QStringLiteral("sim"), QStringLiteral("Simulator binary."), QStringLiteral("PATH")});
    parser.addOption({QStringLiteral("formats"), QStringLiteral("Formats (json,tlv)."), QStringLiteral("LIST"),
                      QStringLiteral("json,tlv")});
    parser.addOption({QStringLiteral("tags"), QStringLiteral("Tags (1000)."), QStringLiteral("N"), QStringLiteral("1000")});
    parser.addOption({QStringLiteral("rate"), QStringLiteral("Reports per second per tag (10)."), QStringLiteral("HZ"),
                      QStringLiteral("10")});
    parser.addOption({QStringLiteral("duration"), QStringLiteral("Seconds per run (10)."), QStringLiteral("S"),
                      QStringLiteral("10")});
    parser.process(app);
    const QString sim = parser.value(QStringLiteral("sim"));
    if (sim.isEmpty() || MosquittoBroker::binary().isEmpty()) {
        out() << "--sim is required, and Debian's mosquitto must be installed\n";
        return 2;
    }
    const int tags = parser.value(QStringLiteral("tags")).toInt();
    const double rate = parser.value(QStringLiteral("rate")).toDouble();
    const double duration = parser.value(QStringLiteral("duration")).toDouble();

    MosquittoBroker broker;
    CountingSubscriber subscriber;
    if (!broker.start() || !subscriber.start(broker.port)) {
        out() << "the broker or the subscriber did not start\n";
        return 1;
    }

    out() << QStringLiteral("%1 tags x %2 Hz for %3 s.\n\n").arg(tags).arg(rate).arg(duration)
          << "| format | publishing | reports received/s | messages published/s | positions arrived at the subscriber/s "
             "| not published | decoding + publishing thread (share of a core) | network thread | broker |\n"
          << "|---|---|---|---|---|---|---|---|---|\n";
    out().flush();
    for (const QString &format : parser.value(QStringLiteral("formats")).split(QLatin1Char(','))) {
        for (bool publish : {false, true}) {
            const RunResult r = runOnce(sim, format, tags, rate, duration, publish, broker, subscriber);
            std::fprintf(stderr, "RUN format=%s publish=%d sent=%lld received=%lld published=%llu dropped=%llu "
                         "arrived=%lld seconds=%.2f main_cpu=%.3f network_cpu=%.3f broker_cpu=%.3f\n",
                         qPrintable(format), int(publish), r.sent, r.received,
                         static_cast<unsigned long long>(r.published), static_cast<unsigned long long>(r.dropped),
                         r.arrived, r.seconds, r.mainCpu, r.networkCpu, r.brokerCpu);
            out() << QStringLiteral("| %1 | %2 | %3 | %4 | %5 | %6 | %7 % | %8 % | %9 % |\n")
                         .arg(format, publish ? QStringLiteral("on") : QStringLiteral("off"))
                         .arg(double(r.received) / duration, 0, 'f', 0)
                         .arg(double(r.published) / duration, 0, 'f', 0)
                         .arg(double(r.arrived) / duration, 0, 'f', 0)
                         .arg(r.dropped)
                         .arg(100.0 * r.mainCpu / duration, 0, 'f', 1)
                         .arg(100.0 * r.networkCpu / duration, 0, 'f', 1)
                         .arg(100.0 * r.brokerCpu / duration, 0, 'f', 1);
            out().flush();
        }
    }
    return 0;
}
