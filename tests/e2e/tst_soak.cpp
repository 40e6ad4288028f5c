// Long run of the real manager against the simulator under a heavy stream:
// the manager must stay alive, keep its service channel (pings keep
// arriving) and not grow without bound. Runs only with SENTROVA_SOAK=1
// (`make soak`); SENTROVA_SOAK_SECONDS sets the length (default 600).
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QString binary(const char *relative)
{
    return QStringLiteral(SENTROVA_BIN_DIR "/") + QLatin1String(relative);
}

// Resident memory of a process in KiB, from /proc.
qint64 residentKiB(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QRegularExpression re(QStringLiteral("VmRSS:\\s+(\\d+) kB"));
    const QRegularExpressionMatch m = re.match(QString::fromLatin1(status.readAll()));
    return m.hasMatch() ? m.captured(1).toLongLong() : -1;
}

} // namespace

class tst_Soak : public QObject
{
    Q_OBJECT

private slots:
    void managerUnderLoad();
};

void tst_Soak::managerUnderLoad()
{
    if (qEnvironmentVariable("SENTROVA_SOAK") != QLatin1String("1"))
        QSKIP("soak run only with SENTROVA_SOAK=1 (make soak)");
    if (qEnvironmentVariable("SENTROVA_IN_NETNS") != QLatin1String("1"))
        QSKIP("needs the private network namespace of tests/netns-run.sh");
    const int seconds = qEnvironmentVariableIsSet("SENTROVA_SOAK_SECONDS")
                            ? qEnvironmentVariableIntValue("SENTROVA_SOAK_SECONDS")
                            : 600;

    QTemporaryDir home;
    QVERIFY(home.isValid());

    QProcess sim;
    QByteArray simLog;
    sim.setProcessChannelMode(QProcess::MergedChannels);
    connect(&sim, &QProcess::readyRead, this, [&] { simLog += sim.readAll(); });
    QProcessEnvironment simEnv = QProcessEnvironment::systemEnvironment();
    simEnv.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("sentrova.sim.info=true"));
    sim.setProcessEnvironment(simEnv);
    sim.start(binary("sim/sentrova-sim"), {QStringLiteral("--seed"), QStringLiteral("5")});
    QTRY_VERIFY_WITH_TIMEOUT(simLog.contains("READY"), 30000);

    // A second simulator adds a load-mode stream of 2000 tags at 10 Hz.
    QProcess load;
    load.start(binary("sim/sentrova-sim"),
               {QStringLiteral("--svc-port"), QStringLiteral("0"), QStringLiteral("--bind"),
                QStringLiteral("127.0.0.1"), QStringLiteral("--no-mdns"), QStringLiteral("--no-broadcast"),
                QStringLiteral("--quiet"), QStringLiteral("--tags"), QStringLiteral("2000"), QStringLiteral("--rate"),
                QStringLiteral("10"), QStringLiteral("--format"), QStringLiteral("tlv"), QStringLiteral("--stream-to"),
                QStringLiteral("127.0.0.1:8786")});
    QVERIFY(load.waitForStarted(10000));

    QProcess manager;
    QByteArray managerLog;
    manager.setProcessChannelMode(QProcess::MergedChannels);
    connect(&manager, &QProcess::readyRead, this, [&] { managerLog += manager.readAll(); });
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home.path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral(".config")));
    env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("sentrova.console.info=true"));
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    manager.setProcessEnvironment(env);
    manager.setWorkingDirectory(home.path());
    manager.start(binary("src/App/sentrova-manager"), {});
    QVERIFY(manager.waitForStarted(10000));
    QTRY_VERIFY_WITH_TIMEOUT(managerLog.contains("Master detected at"), 60000);

    // Warm-up: the registry fills with every tag once.
    QTest::qWait(60000);
    const qint64 baseline = residentKiB(manager.processId());
    QVERIFY(baseline > 0);
    const int pingsBefore = simLog.count("\"command\":\"ping\"");

    QTest::qWait(seconds * 1000);
    QCOMPARE(manager.state(), QProcess::Running);
    const qint64 end = residentKiB(manager.processId());
    const int pings = simLog.count("\"command\":\"ping\"") - pingsBefore;
    qInfo("resident memory %lld KiB after warm-up, %lld KiB after %d s; %d pings", baseline, end, seconds, pings);
    QVERIFY2(pings >= seconds / 10 - 2, "the service channel stalled");
    QVERIFY2(end < baseline + baseline / 2 + 20 * 1024, "the manager's memory keeps growing");

    manager.terminate();
    manager.waitForFinished(10000);
    load.terminate();
    load.waitForFinished(10000);
    sim.terminate();
    sim.waitForFinished(10000);
}

QTEST_GUILESS_MAIN(tst_Soak)
#include "tst_soak.moc"
