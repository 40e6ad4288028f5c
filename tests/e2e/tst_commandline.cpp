// The real sentrova-manager's command line: what it says and how it exits
// without a display, and one run that names the settings file, the master,
// a capture file and a broker, against the simulator and Debian's mosquitto.
#include "Comm/MosquittoBroker.h"
#include "Comm/MqttTestSubscriber.h"
#include "e2e/LoggedProcess.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

namespace {

constexpr int kLongWait = 40000;

QString binary(const char *relative)
{
    return QStringLiteral(SENTROVA_BIN_DIR "/") + QLatin1String(relative);
}


} // namespace

class tst_CommandLine : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void answersWithoutDisplay_data();
    void answersWithoutDisplay();
    void masterSettingsCaptureAndBroker();
};

void tst_CommandLine::initTestCase()
{
    QVERIFY(QFile::exists(binary("src/App/sentrova-manager")));
}

void tst_CommandLine::answersWithoutDisplay_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");

    const QString tryHelp = QStringLiteral("Try 'sentrova-manager --help' for more information.");
    QTest::newRow("--help") << QStringList{"--help"} << 0 << "--mqtt HOST[:PORT]" << "";
    QTest::newRow("-h") << QStringList{"-h"} << 0 << "Usage: sentrova-manager [options]" << "";
    QTest::newRow("--version") << QStringList{"--version"} << 0 << "sentrova-manager 17081400\n" << "";
    QTest::newRow("unknown option") << QStringList{"--replay-all"} << 2 << "" << "Unknown option 'replay-all'.";
    QTest::newRow("value missing") << QStringList{"--master"} << 2 << "" << "Missing value after '--master'.";
    QTest::newRow("master not IPv4") << QStringList{"--master", "master.lan"} << 2 << ""
                                     << "--master: 'master.lan' is not an IPv4 address.";
    QTest::newRow("master short form") << QStringList{"--master", "10.1"} << 2 << ""
                                       << "--master: '10.1' is not an IPv4 address.";
    QTest::newRow("broker port") << QStringList{"--mqtt", "broker:99999"} << 2 << "" << "--mqtt: 'broker:99999'";
    QTest::newRow("stray argument") << QStringList{"sentrova.json"} << 2 << "" << "Unexpected argument 'sentrova.json'.";
    QTest::newRow("twice") << QStringList{"--capture", "a.dat", "--capture=b.dat"} << 2 << ""
                           << "--capture given more than once.";
    QTest::newRow("empty settings name") << QStringList{"--settings", ""} << 2 << "" << "--settings needs a file name.";
    QTest::newRow("replay of nothing") << QStringList{"--replay", "/nonexistent/run.dat"} << 2 << ""
                                       << "--replay: cannot read the capture file '/nonexistent/run.dat'.";
    QTest::newRow("help names the service and the remote view") << QStringList{"--help"} << 0
                                                                << "--remote HOST[:PORT]" << "";
    QTest::newRow("remote view of no broker") << QStringList{"--remote", "broker:0"} << 2 << ""
                                              << "--remote: 'broker:0' is not HOST or HOST:PORT (port 1 to 65535).";
    QTest::newRow("remote view and a master") << QStringList{"--remote", "broker", "--master", "10.0.0.1"} << 2 << ""
                                              << "--remote and --master cannot be used together.";
    QTest::newRow("remote view publishing") << QStringList{"--mqtt", "b", "--remote", "broker"} << 2 << ""
                                            << "--remote and --mqtt cannot be used together.";
    QTest::newRow("remote service") << QStringList{"--headless", "--remote", "broker"} << 2 << ""
                                    << "--remote and --headless cannot be used together.";
    QTest::newRow("help wins over a mistake later") << QStringList{"--help", "--master", "x"} << 0 << "Options:" << "";
    Q_UNUSED(tryHelp);
}

void tst_CommandLine::answersWithoutDisplay()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QString, out);
    QFETCH(QString, err);

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    QProcess proc;
    proc.setProcessEnvironment(env);
    proc.start(binary("src/App/sentrova-manager"), args);
    QVERIFY(proc.waitForFinished(20000));
    const QString stdOut = QString::fromLocal8Bit(proc.readAllStandardOutput());
    const QString stdErr = QString::fromLocal8Bit(proc.readAllStandardError());
    QCOMPARE(proc.exitStatus(), QProcess::NormalExit);
    QCOMPARE(proc.exitCode(), exitCode);
    if (exitCode == 0) {
        QVERIFY2(stdOut.contains(out), qPrintable(stdOut));
        QVERIFY(stdErr.isEmpty());
    } else {
        QVERIFY(stdOut.isEmpty());
        QVERIFY2(stdErr.startsWith(QStringLiteral("sentrova-manager: ") + err), qPrintable(stdErr));
        QVERIFY(stdErr.endsWith(QStringLiteral("Try 'sentrova-manager --help' for more information.\n")));
    }
}

void tst_CommandLine::masterSettingsCaptureAndBroker()
{
    if (qEnvironmentVariable("SENTROVA_IN_NETNS") != QLatin1String("1"))
        QSKIP("needs the private network namespace of tests/netns-run.sh (the master's fixed ports)");
    if (MosquittoBroker::binary().isEmpty())
        QSKIP(qPrintable(MosquittoBroker::missingMessage()));

    QTemporaryDir home;
    QVERIFY(home.isValid());
    MosquittoBroker broker;
    QVERIFY(broker.start());
    MqttTestSubscriber sub;
    QVERIFY(sub.subscribe(broker.port, "e2e/#"));

    // The master on its real ports, on loopback only: the manager can reach
    // it only because the command line names it.
    LoggedProcess sim;
    sim.start(binary("sim/sentrova-sim"),
              {"--seed", "3", "--bind", "127.0.0.1", "--no-mdns", "--no-broadcast", "--quiet"},
              QProcessEnvironment::systemEnvironment(), home.path());
    QTRY_VERIFY_WITH_TIMEOUT(sim.contains(QStringLiteral("READY")), kLongWait);

    // A settings file that names another master and leaves publishing off.
    const QString settings = home.filePath(QStringLiteral("site-a.json"));
    {
        QFile f(settings);
        QVERIFY(f.open(QIODevice::WriteOnly));
        // A zone over the whole simulated hall: every tag walks into it.
        const QJsonObject hall{{"id", "0x00A1"}, {"name", "Hall"}, {"x", -5.0}, {"y", -5.0}, {"z", 0.0},
                               {"length", 40.0}, {"width", 30.0}, {"height", 4.0}};
        f.write(QJsonDocument(QJsonObject{{"master", QJsonObject{{"ip", "192.0.2.2"}}},
                                          {"mqtt", QJsonObject{{"enabled", false}, {"topicPrefix", "e2e"}}},
                                          {"zone", QJsonArray{hall}}})
                    .toJson());
    }
    const QString capture = home.filePath(QStringLiteral("run.dat"));

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home.path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral(".config")));
    env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("sentrova.console.info=true"));
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    LoggedProcess manager;
    manager.start(binary("src/App/sentrova-manager"),
                  {"--master", "127.0.0.1", "--settings", settings, "--capture", capture, "--mqtt",
                   QStringLiteral("127.0.0.1:%1").arg(broker.port)},
                  env, home.path());

    QTRY_VERIFY_WITH_TIMEOUT(manager.contains(QStringLiteral("Loading settings from file: ") + settings), kLongWait);
    QVERIFY(manager.contains(QStringLiteral("master address 192.0.2.2 not used")));
    QTRY_VERIFY_WITH_TIMEOUT(
        manager.contains(QStringLiteral("Connecting to the master using provided IP address 127.0.0.1")), kLongWait);
    QTRY_VERIFY_WITH_TIMEOUT(manager.contains(QStringLiteral("MQTT: connected to broker 127.0.0.1:")), kLongWait);

    // The simulator's tags on the broker, as the manager's model has them.
    const QRegularExpression positionTopic(QStringLiteral("^e2e/tags/0x[0-9A-F]{4,}/position$"));
    auto positions = [&] {
        QList<MqttTestSubscriber::Message> out;
        for (const MqttTestSubscriber::Message &m : sub.messages())
            if (positionTopic.match(QString::fromUtf8(m.topic)).hasMatch())
                out.append(m);
        return out;
    };
    QTRY_VERIFY_WITH_TIMEOUT(positions().size() >= 20, kLongWait);
    QSet<QByteArray> tags;
    for (const MqttTestSubscriber::Message &m : positions()) {
        const QJsonObject p = m.json();
        QCOMPARE(p.keys(), (QStringList{"id", "pqf", "timestamp", "x", "y", "z"}));
        QCOMPARE(m.topic, "e2e/tags/" + p.value("id").toString().toUtf8() + "/position");
        // Inside the simulated hall (20 x 15 m) and a recent time stamp.
        QVERIFY2(p.value("x").toDouble() > -5 && p.value("x").toDouble() < 35, m.payload.constData());
        QVERIFY2(p.value("y").toDouble() > -5 && p.value("y").toDouble() < 20, m.payload.constData());
        QVERIFY(p.value("timestamp").toDouble() > 1.6e9);
        tags.insert(m.topic);
    }
    QVERIFY2(tags.size() >= 3, qPrintable(QString::number(tags.size())));
    // Every node's status: the master, the anchors the greeting listed, the tags.
    QTRY_VERIFY_WITH_TIMEOUT(!sub.on("e2e/nodes/0x1001/status").isEmpty(), kLongWait);
    QCOMPARE(sub.on("e2e/nodes/0x1001/status").last().json().value("mode").toString(), QStringLiteral("anchor"));
    QTRY_VERIFY_WITH_TIMEOUT(sub.count("/status") >= 10 + tags.size(), kLongWait);

    // The map's zone hands its entries to the broker.
    QTRY_VERIFY_WITH_TIMEOUT(!sub.on("e2e/zones/0x00A1/events").isEmpty(), kLongWait);
    const QJsonObject entry = sub.on("e2e/zones/0x00A1/events").first().json();
    QCOMPARE(entry.value("event").toString(), QStringLiteral("enter"));
    QCOMPARE(entry.value("name").toString(), QStringLiteral("Hall"));
    QVERIFY(tags.contains("e2e/tags/" + entry.value("id").toString().toUtf8() + "/position"));

    // The capture file fills with the stream's JSON reports: a few seconds
    // of them, so that their replay below lasts a while.
    auto capturedLines = [&capture] {
        QFile f(capture);
        return f.open(QIODevice::ReadOnly) ? f.readAll().count('\n') : 0;
    };
    QTRY_VERIFY_WITH_TIMEOUT(capturedLines() >= 150, kLongWait);

    manager.stop();
    // Ended without a goodbye (SIGTERM): the broker tells the world.
    QTRY_VERIFY_WITH_TIMEOUT(!sub.on("e2e/manager/status").isEmpty()
                                 && !sub.on("e2e/manager/status").last().json().value("online").toBool(),
                             kLongWait);

    QFile recorded(capture);
    QVERIFY(recorded.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = recorded.readAll().split('\n');
    QVERIFY(lines.size() > 10);
    QVERIFY(QJsonDocument::fromJson(lines.first()).object().contains(QStringLiteral("id")));

    // The capture replayed by a second run, without a master: the replayed
    // reports reach the broker like live ones.
    const QString replaySettings = home.filePath(QStringLiteral("replay.json"));
    {
        QFile f(replaySettings);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QJsonDocument(QJsonObject{{"mqtt", QJsonObject{{"topicPrefix", "replayed"}}}}).toJson());
    }
    MqttTestSubscriber replayed;
    QVERIFY(replayed.subscribe(broker.port, "replayed/#"));
    LoggedProcess replay;
    replay.start(binary("src/App/sentrova-manager"),
                 {"--replay", capture, "--settings", replaySettings, "--mqtt",
                  QStringLiteral("127.0.0.1:%1").arg(broker.port)},
                 env, home.path());
    QTRY_VERIFY_WITH_TIMEOUT(replay.contains(QStringLiteral("Replaying ") + capture), kLongWait);
    const bool published = QTest::qWaitFor([&] { return replayed.count("replayed/tags/") >= 5; }, kLongWait);
    replay.stop();
    if (!published)
        qWarning().noquote() << replay.log().right(5000);
    QVERIFY(published);

    // No search happened, and the settings file named for this run did not
    // become the stored preference.
    QVERIFY(!manager.contains(QStringLiteral("mDNS query for")));
    QVERIFY(!manager.contains(QStringLiteral("Looking for masters using broadcast")));
    QSettings prefs(home.filePath(QStringLiteral(".config/Sentrova/sentrova-manager.conf")), QSettings::IniFormat);
    QVERIFY(prefs.value(QStringLiteral("sentrova/name")).toString() != settings);
    if (QTest::currentTestFailed())
        qWarning().noquote() << manager.log().right(20000);
}

QTEST_GUILESS_MAIN(tst_CommandLine)
#include "tst_commandline.moc"
