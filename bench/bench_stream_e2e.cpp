// End to end: the simulator in load mode streams reports over loopback UDP
// to a headless receiver — RtlsLs with a hub-like link and the real model
// ("full"), or a bare socket that only parses ("limit"). For each format
// and tag count the offered rate is raised step by step until reports are
// lost; every run prints what was sent, what arrived and the receiver's CPU
// time. "full ÷ limit" compares the highest no-loss rates and, at the
// reference rate, the CPU time per report (parse only ÷ full).
#include "BenchHubLink.h"
#include "BenchParseOnly.h"
#include "RtlsLs.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTextStream>
#include <QTimer>
#include <QUdpSocket>

#include <ctime>
#include <functional>
#include <memory>

namespace {

constexpr int kReceiveBufferBytes = 4 << 20;
// After the simulator has finished, arrivals are awaited until none came
// for this long.
constexpr int kDrainQuietMs = 300;
constexpr int kRunTimeoutMs = 120000;

double processCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

QTextStream &out()
{
    static QTextStream stream(stdout);
    stream.setCodec("UTF-8");
    return stream;
}

// The receiving side of one run.
class Receiver
{
public:
    virtual ~Receiver() = default;
    virtual quint16 port() const = 0;
    virtual qint64 reports() const = 0;
};

class FullReceiver : public Receiver
{
public:
    FullReceiver()
        : m_ls(nullptr, true, &m_hub, ports())
    {
    }
    quint16 port() const override { return m_ls.lsPort(); }
    qint64 reports() const override { return m_hub.reports; }

private:
    static RtlsLs::Ports ports()
    {
        RtlsLs::Ports p;
        p.lsExternalEngine = 0;
        p.lsInternalEngine = 0;
        p.dc = 0;
        return p;
    }
    BenchHubLink m_hub;
    RtlsLs m_ls;
};

class ParseOnlyReceiver : public Receiver
{
public:
    ParseOnlyReceiver()
    {
        m_socket.bind(QHostAddress::Any, 0, QUdpSocket::ShareAddress);
        m_socket.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, kReceiveBufferBytes);
        m_buffer.reserve(65536);
        QObject::connect(&m_socket, &QUdpSocket::readyRead, [this] { read(); });
    }
    quint16 port() const override { return m_socket.localPort(); }
    qint64 reports() const override { return m_reports; }

private:
    void read()
    {
        while (m_socket.hasPendingDatagrams()) {
            m_buffer.resize(int(qMax<qint64>(m_socket.pendingDatagramSize(), 0)));
            if (m_socket.readDatagram(m_buffer.data(), m_buffer.size()) <= 0)
                continue;
            m_reports += m_buffer.at(0) == '{' ? BenchParseOnly::parseJson(m_buffer) : BenchParseOnly::walkTlv(m_buffer);
        }
    }
    QUdpSocket m_socket;
    QByteArray m_buffer;
    qint64 m_reports = 0;
};

struct RunResult
{
    qint64 sent = -1;
    qint64 received = 0;
    double seconds = 0.0;
    double cpu = 0.0;
    bool ok() const { return sent > 0 && received == sent; }
};

RunResult runOnce(const QString &sim, const QString &format, int tags, double totalRate, double duration,
                  bool full)
{
    std::unique_ptr<Receiver> receiver;
    if (full)
        receiver = std::make_unique<FullReceiver>();
    else
        receiver = std::make_unique<ParseOnlyReceiver>();

    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    RunResult result;
    QByteArray output;
    QObject::connect(&process, &QProcess::readyReadStandardOutput, [&] {
        output += process.readAllStandardOutput();
        for (const QByteArray &line : output.split('\n')) {
            if (line.startsWith("SENT "))
                result.sent = line.split(' ').value(1).toLongLong();
        }
    });

    QEventLoop loop;
    QObject::connect(&process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), &loop, &QEventLoop::quit);
    QTimer::singleShot(kRunTimeoutMs, &loop, &QEventLoop::quit);

    const QStringList args{QStringLiteral("--bind"), QStringLiteral("127.0.0.1"),
                           QStringLiteral("--svc-port"), QStringLiteral("0"),
                           QStringLiteral("--no-mdns"), QStringLiteral("--no-broadcast"), QStringLiteral("--quiet"),
                           QStringLiteral("--stream-to"), QStringLiteral("127.0.0.1:%1").arg(receiver->port()),
                           QStringLiteral("--format"), format,
                           QStringLiteral("--tags"), QString::number(tags),
                           QStringLiteral("--rate"), QString::number(totalRate / tags, 'g', 10),
                           QStringLiteral("--duration"), QString::number(duration)};
    const double cpuStart = processCpuSeconds();
    QElapsedTimer wall;
    wall.start();
    process.start(sim, args);
    loop.exec();
    result.seconds = wall.elapsed() / 1000.0;
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished();
    }
    output += process.readAllStandardOutput();
    for (const QByteArray &line : output.split('\n')) {
        if (line.startsWith("SENT "))
            result.sent = line.split(' ').value(1).toLongLong();
    }

    // Whatever is still queued in the socket arrives now.
    qint64 seen = -1;
    while (seen != receiver->reports()) {
        seen = receiver->reports();
        QEventLoop drain;
        QTimer::singleShot(kDrainQuietMs, &drain, &QEventLoop::quit);
        drain.exec();
    }
    result.received = receiver->reports();
    result.cpu = processCpuSeconds() - cpuStart;
    return result;
}

QList<double> numbers(const QString &text)
{
    QList<double> list;
    for (const QString &part : text.split(QLatin1Char(','), Qt::SkipEmptyParts))
        list.append(part.toDouble());
    return list;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("End-to-end location stream benchmark"));
    parser.addHelpOption();
    parser.addOption({QStringLiteral("sim"), QStringLiteral("Simulator binary."), QStringLiteral("PATH")});
    parser.addOption({QStringLiteral("formats"), QStringLiteral("Formats (json,tlv)."), QStringLiteral("LIST"),
                      QStringLiteral("json,tlv")});
    parser.addOption({QStringLiteral("tags"), QStringLiteral("Tag counts (100,1000,5000)."), QStringLiteral("LIST"),
                      QStringLiteral("100,1000,5000")});
    parser.addOption({QStringLiteral("rates"), QStringLiteral("Total report rates to try, ascending."),
                      QStringLiteral("LIST"), QStringLiteral("5000,10000,20000,40000,80000,160000,320000")});
    parser.addOption({QStringLiteral("duration"), QStringLiteral("Seconds per run (3)."), QStringLiteral("S"),
                      QStringLiteral("3")});
    parser.addOption({QStringLiteral("reference"),
                      QStringLiteral("Rate at which CPU per report is compared (20000); must be one of the rates."),
                      QStringLiteral("RATE"), QStringLiteral("20000")});
    parser.addOption({QStringLiteral("tries"), QStringLiteral("Tries per rate before it counts as lossy (2)."),
                      QStringLiteral("N"), QStringLiteral("2")});
    parser.process(app);
    const QString sim = parser.value(QStringLiteral("sim"));
    if (sim.isEmpty()) {
        out() << "--sim is required\n";
        return 2;
    }
    const double duration = parser.value(QStringLiteral("duration")).toDouble();
    const QList<double> rates = numbers(parser.value(QStringLiteral("rates")));
    const double reference = parser.value(QStringLiteral("reference")).toDouble();
    const int tries = qMax(1, parser.value(QStringLiteral("tries")).toInt());

    out() << QStringLiteral("| format | tags | receiver | highest no-loss rate (reports/s) | CPU per report at %1/s (µs) "
                            "| share of a core at %1/s | first lossy rate: sent/received |\n")
                 .arg(reference)
          << "|---|---|---|---|---|---|---|\n";
    out().flush();
    for (const QString &format : parser.value(QStringLiteral("formats")).split(QLatin1Char(','))) {
        for (double tagsValue : numbers(parser.value(QStringLiteral("tags")))) {
            const int tags = int(tagsValue);
            double best[2] = {0.0, 0.0};
            double cpuAtReference[2] = {0.0, 0.0};
            for (bool full : {true, false}) {
                const int side = full ? 0 : 1;
                double coreAtReference = 0.0;
                QString lossy = QStringLiteral("none up to the last rate");
                for (double rate : rates) {
                    RunResult r;
                    // Other work on the machine can starve the receiver for a
                    // moment; a rate counts as sustained when one try is clean.
                    for (int t = 0; t < tries && !r.ok(); ++t) {
                        r = runOnce(sim, format, tags, rate, duration, full);
                        std::fprintf(stderr, "RUN format=%s tags=%d receiver=%s offered=%.0f sent=%lld "
                                     "received=%lld seconds=%.2f cpu=%.3f\n",
                                     qPrintable(format), tags, full ? "full" : "limit", rate, r.sent, r.received,
                                     r.seconds, r.cpu);
                    }
                    if (!r.ok()) {
                        lossy = QStringLiteral("%1 offered: %2/%3").arg(rate).arg(r.sent).arg(r.received);
                        break;
                    }
                    best[side] = double(r.sent) / duration;
                    if (qFuzzyCompare(rate, reference)) {
                        cpuAtReference[side] = 1e6 * r.cpu / double(r.received);
                        coreAtReference = r.cpu / r.seconds;
                    }
                }
                out() << "| " << format << " | " << tags << " | " << (full ? "full" : "parse only") << " | "
                      << qRound64(best[side]) << " | " << QString::number(cpuAtReference[side], 'f', 2) << " | "
                      << QString::number(coreAtReference, 'f', 2) << " | " << lossy << " |\n";
                out().flush();
            }
            const double rateRatio = best[1] > 0 ? best[0] / best[1] : 0.0;
            const double cpuRatio = cpuAtReference[0] > 0 ? cpuAtReference[1] / cpuAtReference[0] : 0.0;
            out() << "| " << format << " | " << tags
                  << QStringLiteral(" | full ÷ limit | rate %1 | CPU %2 | | |\n")
                         .arg(rateRatio, 0, 'f', 2)
                         .arg(cpuRatio, 0, 'f', 2);
            out().flush();
        }
    }
    return 0;
}
