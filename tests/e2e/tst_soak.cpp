// Long run of the whole window under a full stream: the main window in this
// process with every view open (map current, node list, details,
// orientation, measurement tool, console), the simulated site as its
// master and a load-mode simulator streaming 20,000 reports a second. The
// window must keep its service channel (pings keep arriving) and its
// resident memory must stay flat once every tag's history is full.
//
// Runs only with SENTROVA_SOAK=1 (`make soak`). SENTROVA_SOAK_SECONDS sets
// the length (3600), SENTROVA_SOAK_TAGS the number of tags sharing the
// 20,000 reports a second (1000: histories full after 30 to 45 minutes; 100
// fill them in five to ten, for a shorter try), SENTROVA_SOAK_FORMAT json
// or tlv (json). A run that ends before every history is full does not
// judge memory and says so.
#include "App/AppTestEnvironment.h"
#include "e2e/LoadedWindow.h"
#include "sim/SimProcess.h"

#include <QFile>
#include <QRegularExpression>
#include <QtTest>

#include <algorithm>

namespace {

constexpr double kTotalRate = 20000;
constexpr int kWarmupS = 60;
constexpr int kSampleS = 30;
// Flat: after the histories are full, resident memory may rise by this much
// (the allocator's slack, the console's and the plots' turnover) and no more.
constexpr qint64 kFlatAllowanceKiB = 16 * 1024;

qint64 residentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QRegularExpression re(QStringLiteral("VmRSS:\\s+(\\d+) kB"));
    const QRegularExpressionMatch m = re.match(QString::fromLatin1(status.readAll()));
    return m.hasMatch() ? m.captured(1).toLongLong() : -1;
}

int setting(const char *name, int fallback)
{
    return qEnvironmentVariableIsSet(name) ? qEnvironmentVariableIntValue(name) : fallback;
}

} // namespace

class tst_Soak : public QObject
{
    Q_OBJECT

public:
    static void initMain()
    {
        AppTestEnvironment::isolate();
        // QtTest ends a test function after five minutes; this one runs for
        // the whole soak, its warm-up and the drain after it.
        const int seconds = setting("SENTROVA_SOAK_SECONDS", 3600) + kWarmupS + 600;
        qputenv("QTEST_FUNCTION_TIMEOUT", QByteArray::number(qint64(seconds) * 1000));
    }

private slots:
    void windowUnderLoad();
};

void tst_Soak::windowUnderLoad()
{
    if (qEnvironmentVariable("SENTROVA_SOAK") != QLatin1String("1"))
        QSKIP("soak run only with SENTROVA_SOAK=1 (make soak)");
    if (qEnvironmentVariable("SENTROVA_IN_NETNS") != QLatin1String("1"))
        QSKIP("needs the private network namespace of tests/netns-run.sh");
    const int seconds = setting("SENTROVA_SOAK_SECONDS", 3600);
    const int tags = setting("SENTROVA_SOAK_TAGS", 1000);
    const QString format = qEnvironmentVariableIsSet("SENTROVA_SOAK_FORMAT")
                               ? qEnvironmentVariable("SENTROVA_SOAK_FORMAT")
                               : QStringLiteral("json");

    LoadedWindow site(SimProcess::binary(), tags);
    const QString fault = site.open();
    QVERIFY2(fault.isEmpty(), qPrintable(fault));

    QProcess load;
    QByteArray loadOut;
    connect(&load, &QProcess::readyReadStandardOutput, this, [&] { loadOut += load.readAllStandardOutput(); });
    load.start(SimProcess::binary(), LoadedWindow::loadArguments(format, tags, kTotalRate, kWarmupS + seconds));
    QVERIFY(load.waitForStarted(10000));
    QElapsedTimer clock;
    clock.start();

    // Warm-up: every tag known, one selected and measured.
    QTRY_VERIFY_WITH_TIMEOUT(site.selectAndMeasure(), kWarmupS * 1000);
    QTest::qWait(int(kWarmupS * 1000 - clock.elapsed()));
    const int pingsBefore = site.masterPings();

    struct Sample
    {
        double seconds;
        qint64 kib;
        qint64 reports;
        int fullHistories;
    };
    QVector<Sample> samples;
    while (clock.elapsed() < qint64(kWarmupS + seconds) * 1000 && load.state() == QProcess::Running) {
        QTest::qWait(kSampleS * 1000);
        samples.append({clock.elapsed() / 1000.0, residentKiB(), site.loadReports(), site.fullHistories()});
        qInfo("%7.0f s  %8.1f MiB  %lld reports  %d of %d histories full", samples.last().seconds,
              samples.last().kib / 1024.0, samples.last().reports, samples.last().fullHistories, tags);
    }
    load.waitForFinished(60000);
    loadOut += load.readAllStandardOutput();
    const QRegularExpressionMatch sent = QRegularExpression(QStringLiteral("SENT (\\d+)")).match(QString::fromLatin1(loadOut));
    // What is still in the socket arrives now.
    qint64 seen = -1;
    while (seen != site.loadReports()) {
        seen = site.loadReports();
        QTest::qWait(500);
    }
    const int pings = site.masterPings() - pingsBefore;
    qInfo("sent %s, reached the model %lld; %d pings in %d s", qPrintable(sent.captured(1)), site.loadReports(),
          pings, seconds);
    QVERIFY2(pings >= seconds / 10 - 2, "the service channel stalled");
    QVERIFY(!samples.isEmpty());

    // A history stores a position only when it differs from the newest to
    // the centimetre, so a tag that stands still fills its history later
    // than the rate alone says: full is when every tag's history is.
    const auto full = std::find_if(samples.cbegin(), samples.cend(),
                                   [tags](const Sample &s) { return s.fullHistories >= tags; });
    if (full == samples.cend() || full + 1 == samples.cend()) {
        qWarning("the histories were not all full before the end: memory not judged");
        return;
    }
    const qint64 peak = std::max_element(full, samples.cend(), [](const Sample &a, const Sample &b) {
                            return a.kib < b.kib;
                        })->kib;
    qInfo("histories full at %.0f s with %.1f MiB; afterwards at most %.1f MiB, at the end %.1f MiB",
          full->seconds, full->kib / 1024.0, peak / 1024.0, samples.last().kib / 1024.0);
    QVERIFY2(peak <= full->kib + kFlatAllowanceKiB, "resident memory keeps growing after the histories are full");
}

QTEST_MAIN(tst_Soak)
#include "tst_soak.moc"
