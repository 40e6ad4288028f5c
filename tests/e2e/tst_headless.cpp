// The manager as a service: sentrova-manager --headless with no display at
// all, against the real simulator (found by discovery in a private network
// namespace) and Debian's mosquitto. The steps run in order on one service
// process, as an unattended site would live through them: publishing, zone
// events and a zone's command, a settings file read again (and once
// unreadable), the broker restarted, the master restarted, and the stop.
#include "Comm/MosquittoBroker.h"
#include "Comm/MqttTestSubscriber.h"
#include "e2e/HeadlessProcess.h"
#include "e2e/LoggedProcess.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <memory>

namespace {

constexpr int kLongWait = 60000;
const QByteArray kPrefix = "hl";

QJsonObject zone(const char *id, const char *name, double x, double length)
{
    // Over part of the simulated hall (20 x 15 m), floor to ceiling; its
    // "on_enter" lights the tag's first output.
    const QJsonObject onEnter{{"command", "setDio8"}, {"id", "__SELF__"}, {"setMask", "0x04"},
                              {"clearMask", "0x00"},  {"toggleMask", "0x00"}, {"toggleCount", "0"},
                              {"toggleWait", "0"}};
    return QJsonObject{{"id", id},     {"name", name}, {"x", x},           {"y", -1.0},
                       {"z", -1.0},    {"length", length}, {"width", 17.0}, {"height", 6.0},
                       {"level", 1},   {"cmdlist", QJsonObject{{"on_enter", onEnter}}}};
}

QList<MqttTestSubscriber::Message> matching(const MqttTestSubscriber &sub, const QString &pattern)
{
    const QRegularExpression re(pattern);
    QList<MqttTestSubscriber::Message> out;
    for (const MqttTestSubscriber::Message &m : sub.messages())
        if (re.match(QString::fromUtf8(m.topic)).hasMatch())
            out.append(m);
    return out;
}

int positions(const MqttTestSubscriber &sub)
{
    return matching(sub, QStringLiteral("^hl/tags/0x[0-9A-F]{4,}/position$")).size();
}

} // namespace

class tst_Headless : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void publishesTheSimulatorsTagsWithoutADisplay();
    void zoneEventsAndItsCommandReachTheMaster();
    void sighupAddsAZone();
    void unreadableSettingsKeepTheOnesInUse();
    void brokerRestartedPublishingResumes();
    void masterRestartedIsFoundAgain();
    void sigtermSaysOfflineAndExitsCleanly();

private:
    void startSim();
    void writeSettings(const QJsonArray &zones);
    void dumpOnFailure();

    QTemporaryDir m_home;
    MosquittoBroker m_broker;
    std::unique_ptr<MqttTestSubscriber> m_sub;
    std::unique_ptr<LoggedProcess> m_sim;
    HeadlessProcess m_service;
    QString m_settings;
    QString m_capture;
};

void tst_Headless::initTestCase()
{
    if (qEnvironmentVariable("SENTROVA_IN_NETNS") != QLatin1String("1"))
        QSKIP("needs the private network namespace of tests/netns-run.sh (discovery's fixed ports)");
    if (MosquittoBroker::binary().isEmpty())
        QSKIP(qPrintable(MosquittoBroker::missingMessage()));
    QVERIFY(m_home.isValid());
    QVERIFY(m_broker.start());
    m_sub = std::make_unique<MqttTestSubscriber>();
    QVERIFY(m_sub->subscribe(m_broker.port, "hl/#"));
    startSim();

    m_settings = m_home.filePath(QStringLiteral("sentrova.json"));
    m_capture = m_home.filePath(QStringLiteral("service.dat"));
    writeSettings({zone("0x00A1", "West", -2.0, 12.0)});
    m_service.start(m_home.path(), {"--settings", m_settings, "--capture", m_capture});
}

void tst_Headless::cleanupTestCase()
{
    m_service.stop();
    if (m_sim)
        m_sim->stop();
}

void tst_Headless::dumpOnFailure()
{
    if (!QTest::currentTestFailed())
        return;
    qWarning().noquote() << "---- service stdout ----\n" << m_service.out().right(15000);
    qWarning().noquote() << "---- service stderr ----\n" << m_service.err().right(5000);
    if (m_sim)
        qWarning().noquote() << "---- simulator ----\n" << m_sim->log().right(8000);
}

void tst_Headless::startSim()
{
    // The master on the namespace's LAN, announcing itself: the service
    // finds it by discovery, as on a site.
    m_sim = std::make_unique<LoggedProcess>();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("sentrova.sim.info=true"));
    m_sim->start(QStringLiteral(SENTROVA_BIN_DIR "/sim/sentrova-sim"), {"--seed", "5", "--bind", "192.0.2.2"}, env,
                 m_home.path());
    QTRY_VERIFY_WITH_TIMEOUT(m_sim->contains(QStringLiteral("READY")), kLongWait);
}

void tst_Headless::writeSettings(const QJsonArray &zones)
{
    const QJsonObject mqtt{{"enabled", true},  {"host", "127.0.0.1"},          {"port", int(m_broker.port)},
                           {"topicPrefix", "hl"}, {"clientId", "hl-service"}};
    const QJsonObject root{{"_comment", "keys with an underscore are not read"},
                           {"master", QJsonObject{{"ip", "auto"}}},
                           {"mqtt", mqtt},
                           {"zone", zones}};
    QFile f(m_settings);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(QJsonDocument(root).toJson());
}

void tst_Headless::publishesTheSimulatorsTagsWithoutADisplay()
{
    QTRY_VERIFY_WITH_TIMEOUT(m_service.said(QStringLiteral("MQTT: connected to broker 127.0.0.1:")), kLongWait);
    QVERIFY(m_service.said(QStringLiteral("Loading settings from file: ") + m_settings));
    QTRY_VERIFY_WITH_TIMEOUT(positions(*m_sub) >= 30, kLongWait);
    QSet<QByteArray> tags;
    for (const MqttTestSubscriber::Message &m : matching(*m_sub, QStringLiteral("^hl/tags/.*/position$")))
        tags.insert(m.topic);
    QVERIFY2(tags.size() >= 5, qPrintable(QString::number(tags.size())));

    // The anchors' coordinates, for a remote view to place them; the zone's
    // definition, without its commands.
    QTRY_VERIFY_WITH_TIMEOUT(!m_sub->on("hl/nodes/0x1001/status").isEmpty(), kLongWait);
    QTRY_VERIFY_WITH_TIMEOUT(m_sub->on("hl/nodes/0x1001/status").last().json().contains("x"), kLongWait);
    const QJsonObject anchor = m_sub->on("hl/nodes/0x1001/status").last().json();
    QCOMPARE(anchor.value("mode").toString(), QStringLiteral("anchor"));
    QTRY_VERIFY_WITH_TIMEOUT(!m_sub->on("hl/zones/0x00A1/config").isEmpty(), kLongWait);
    const QJsonObject west = m_sub->on("hl/zones/0x00A1/config").last().json();
    QCOMPARE(west.value("name").toString(), QStringLiteral("West"));
    QCOMPARE(west.value("length").toDouble(), 12.0);
    QVERIFY(!west.contains("cmdlist"));

    // Nothing of a display was loaded: no platform plugin at all (the X
    // libraries that GL links are mapped, never used).
    const QString maps = m_service.maps();
    QVERIFY(maps.contains(QStringLiteral("libQt5Core")));
    QVERIFY2(!maps.contains(QStringLiteral("/platforms/libq")), "a Qt platform plugin was loaded");
    QVERIFY(!maps.contains(QStringLiteral("libQt5XcbQpa")));
    dumpOnFailure();
}

void tst_Headless::zoneEventsAndItsCommandReachTheMaster()
{
    auto events = [&](const char *kind) {
        QList<QJsonObject> out;
        for (const MqttTestSubscriber::Message &m : m_sub->on("hl/zones/0x00A1/events"))
            if (m.json().value("event").toString() == QLatin1String(kind))
                out.append(m.json());
        return out;
    };
    QTRY_VERIFY_WITH_TIMEOUT(!events("enter").isEmpty(), kLongWait);
    QTRY_VERIFY_WITH_TIMEOUT(!events("exit").isEmpty(), kLongWait);
    const QString entered = events("enter").first().value("id").toString();
    QCOMPARE(events("enter").first().value("name").toString(), QStringLiteral("West"));
    // Its "on_enter" went to the master with the tag's id in place of __SELF__.
    const QRegularExpression command(QStringLiteral("IN [^\\n]*\"command\":\"setDio8\"[^\\n]*\"id\":\"%1\"|"
                                                    "IN [^\\n]*\"id\":\"%1\"[^\\n]*\"command\":\"setDio8\"")
                                         .arg(entered));
    QTRY_VERIFY_WITH_TIMEOUT(m_sim->matches(command), kLongWait);
    dumpOnFailure();
}

void tst_Headless::sighupAddsAZone()
{
    writeSettings({zone("0x00A1", "West", -2.0, 12.0), zone("0x00B2", "East", 10.0, 12.0)});
    m_service.signal(SIGHUP);
    QTRY_VERIFY_WITH_TIMEOUT(m_service.said(QStringLiteral("Settings read again from %1: zone \"East\" added").arg(m_settings)),
                             kLongWait);
    // The zone kept is not made again: only East is new.
    QCOMPARE(m_service.count(QStringLiteral("zone \"West\" added")), 1);
    QTRY_VERIFY_WITH_TIMEOUT(!m_sub->on("hl/zones/0x00B2/config").isEmpty(), kLongWait);
    QCOMPARE(m_sub->on("hl/zones/0x00B2/config").last().json().value("name").toString(), QStringLiteral("East"));
    QTRY_VERIFY_WITH_TIMEOUT(!m_sub->on("hl/zones/0x00B2/events").isEmpty(), kLongWait);
    // West's definition was not cleared by the reload.
    for (const MqttTestSubscriber::Message &m : m_sub->on("hl/zones/0x00A1/config"))
        QVERIFY(!m.payload.isEmpty());
    dumpOnFailure();
}

void tst_Headless::unreadableSettingsKeepTheOnesInUse()
{
    {
        QFile f(m_settings);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("{ \"zone\": [ this is not JSON");
    }
    const int eastEvents = m_sub->on("hl/zones/0x00B2/events").size();
    m_service.signal(SIGHUP);
    QTRY_VERIFY_WITH_TIMEOUT(m_service.said(QStringLiteral("Settings not read again: cannot parse settings file")),
                             kLongWait);
    QCOMPARE(m_service.count(QStringLiteral("Settings not read again")), 1);
    QVERIFY(m_service.said(QStringLiteral("the settings in use stay")));
    // Both zones stay and keep counting.
    QTRY_VERIFY_WITH_TIMEOUT(m_sub->on("hl/zones/0x00B2/events").size() > eastEvents, kLongWait);
    for (const char *topic : {"hl/zones/0x00A1/config", "hl/zones/0x00B2/config"})
        QVERIFY(!m_sub->on(topic).last().payload.isEmpty());
    writeSettings({zone("0x00A1", "West", -2.0, 12.0), zone("0x00B2", "East", 10.0, 12.0)});
    dumpOnFailure();
}

void tst_Headless::brokerRestartedPublishingResumes()
{
    const int connected = m_service.count(QStringLiteral("MQTT: connected to broker"));
    m_sub.reset();
    m_broker.stop();
    QTRY_VERIFY_WITH_TIMEOUT(m_service.said(QStringLiteral("MQTT: connection to broker 127.0.0.1:")), kLongWait);
    QVERIFY(m_broker.restart());
    QTRY_VERIFY_WITH_TIMEOUT(m_service.count(QStringLiteral("MQTT: connected to broker")) > connected, kLongWait);

    // The broker kept nothing (no persistence): the service gives it the
    // site again, retained, and the positions flow.
    m_sub = std::make_unique<MqttTestSubscriber>();
    QVERIFY(m_sub->subscribe(m_broker.port, "hl/#"));
    QTRY_VERIFY_WITH_TIMEOUT(positions(*m_sub) >= 20, kLongWait);
    QTRY_VERIFY_WITH_TIMEOUT(!m_sub->on("hl/zones/0x00B2/config").isEmpty(), kLongWait);
    QVERIFY(m_sub->on("hl/zones/0x00B2/config").first().retained);
    QVERIFY(!m_sub->on("hl/nodes/0x1001/status").isEmpty());
    QVERIFY(m_sub->on("hl/nodes/0x1001/status").first().retained);
    QCOMPARE(m_sub->on("hl/manager/status").first().json().value("online").toBool(), true);
    dumpOnFailure();
}

void tst_Headless::masterRestartedIsFoundAgain()
{
    const int detected = m_service.count(QStringLiteral("Master detected at 192.0.2.2"));
    QVERIFY(detected >= 1);
    m_sim->stop();
    QTRY_VERIFY_WITH_TIMEOUT(m_service.said(QStringLiteral("No Masters left. Rescanning for masters...")), kLongWait);
    startSim();
    QTRY_VERIFY_WITH_TIMEOUT(m_service.count(QStringLiteral("Master detected at 192.0.2.2")) > detected, kLongWait);
    QTRY_VERIFY_WITH_TIMEOUT(m_sim->contains(QStringLiteral("\"command\":\"listAnchors\"")), kLongWait);
    m_sub->clear();
    QTRY_VERIFY_WITH_TIMEOUT(positions(*m_sub) >= 20, kLongWait);
    dumpOnFailure();
}

void tst_Headless::sigtermSaysOfflineAndExitsCleanly()
{
    QProcess &proc = m_service.process();
    QElapsedTimer stopping;
    stopping.start();
    m_service.signal(SIGTERM);
    // The unit gives it 10 s; the time it took is logged, not judged.
    QVERIFY(proc.waitForFinished(15000));
    qInfo("stopped %lld ms after SIGTERM", stopping.elapsed());
    QCOMPARE(proc.exitStatus(), QProcess::NormalExit);
    QCOMPARE(proc.exitCode(), 0);
    QVERIFY(m_service.said(QStringLiteral("Stopping (SIGTERM)")));

    // Said by the service itself, retained: a view that joins now reads it.
    MqttTestSubscriber late;
    QVERIFY(late.subscribe(m_broker.port, "hl/manager/status"));
    QTRY_VERIFY_WITH_TIMEOUT(!late.messages().isEmpty(), kLongWait);
    QVERIFY(late.messages().last().retained);
    QCOMPARE(late.messages().last().json().value("online").toBool(true), false);
    // A clean goodbye (the broker did not have to publish the last will).
    QTRY_VERIFY_WITH_TIMEOUT(m_broker.log().contains(QStringLiteral("Client hl-service disconnected.")), kLongWait);

    // The capture was written out whole: every line a report.
    QFile capture(m_capture);
    QVERIFY(capture.open(QIODevice::ReadOnly));
    const QByteArray data = capture.readAll();
    QVERIFY(data.size() > 0);
    QVERIFY(data.endsWith('\n'));
    const QList<QByteArray> lines = data.trimmed().split('\n');
    QVERIFY(lines.size() > 100);
    for (const QByteArray &line : lines)
        QVERIFY2(QJsonDocument::fromJson(line).isObject(), line.constData());
    dumpOnFailure();
}

QTEST_GUILESS_MAIN(tst_Headless)
#include "tst_headless.moc"
