// The broker publisher against Debian's mosquitto on loopback: what arrives
// on which topic, retained statuses, the rate limit, zone events kept while
// the broker is away, reconnection, a refused login, and a broker that
// stops reading.
#include "Comm/MosquittoBroker.h"
#include "Comm/MqttTestConfig.h"
#include "Comm/MqttTestSubscriber.h"
#include "MqttClient.h"
#include "MqttPublisher.h"
#include "RtlsIMU.h"
#include "RtlsModelConstants.h"
#include "RtlsObject.h"
#include "RtlsPos.h"

#include <QJsonDocument>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QJsonObject>
#include <QSignalSpy>
#include <QtTest>

namespace {

constexpr int kWait = 20000;

QString hex(uint64_t id)
{
    return QStringLiteral("0x%1").arg(id, 4, 16, QLatin1Char('0')).toUpper().replace(QLatin1String("0X"), QLatin1String("0x"));
}

// One location report through the JSON path of the model.
void jsonReport(RtlsObject *node, double x, double y, double z, double seconds, int pqf = 90)
{
    node->updateFromJson(QJsonObject{{"id", hex(node->id())},
                                     {"timestamp", seconds},
                                     {"coordinates", QJsonObject{{"x", x}, {"y", y}, {"z", z}, {"pqf", pqf}}}});
}

// What the TLV path leaves in a record: seconds, the coordinates flag.
void tlvReport(RtlsObject *node, float x, float y, float z, double seconds)
{
    node->clearMsgFlags(Rtls::kMsgCoordinates);
    node->pos()->setPos(x, y, z);
    node->setMsgFlags(Rtls::kMsgCoordinates);
    node->setMsgTime(seconds);
    node->setLastUpdate(quint64(QDateTime::currentMSecsSinceEpoch()));
}

int linesContaining(const QSignalSpy &spy, const QString &text)
{
    int n = 0;
    for (const QList<QVariant> &args : spy)
        if (args.at(0).toString().contains(text))
            ++n;
    return n;
}

} // namespace

class tst_MqttPublisher : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void publishesWhatTheModelHolds_data();
    void publishesWhatTheModelHolds();
    void statusIsRetainedAndFollowsInactivity();
    void infrastructureStatusCarriesItsCoordinates();
    void zoneDefinitionsDeletedWhileAwayAreCleared();
    void heardOnceIsPublishedWhenHeardAgain();
    void rateLimitPerTag_data();
    void rateLimitPerTag();
    void brokerStartedLater();
    void reconnectsAfterBrokerRestart();
    void refusedLoginReportedOnceAndNothingPilesUp();
    void slowBrokerBoundsTheBacklog();
    void tlsWithTheSiteCa_data();
    void tlsWithTheSiteCa();

private:
    std::unique_ptr<MqttPublisher> connectedPublisher(const QString &prefix = QStringLiteral("sentrova"));

    MosquittoBroker m_broker;
};

void tst_MqttPublisher::initTestCase()
{
    if (MosquittoBroker::binary().isEmpty())
        QSKIP(qPrintable(MosquittoBroker::missingMessage()));
    QVERIFY2(m_broker.start(), "mosquitto did not start");
}

std::unique_ptr<MqttPublisher> tst_MqttPublisher::connectedPublisher(const QString &prefix)
{
    auto pub = std::make_unique<MqttPublisher>();
    publishTo(pub.get(), m_broker.port, prefix);
    (void)QTest::qWaitFor([&] { return pub->isConnected(); }, kWait);
    return pub;
}

void tst_MqttPublisher::publishesWhatTheModelHolds_data()
{
    QTest::addColumn<QString>("prefix");
    QTest::addColumn<quint64>("id");
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("positionPublished");
    QTest::addColumn<double>("timestamp");
    QTest::addColumn<bool>("addedOnly");

    QTest::newRow("tag from JSON") << "sentrova" << quint64(0x4001) << "tag" << "json" << true << 1700000000.123 << false;
    QTest::newRow("new tag, announced as added only") << "sentrova" << quint64(0x4005) << "tag" << "json" << true
                                                      << 1700000000.25 << true;
    QTest::newRow("tag from TLV") << "sentrova" << quint64(0x4002) << "tag" << "tlv" << true << 1700000000.5 << false;
    QTest::newRow("wide id from TLV") << "sentrova" << quint64(0x123456) << "tag" << "tlv" << true << 1700000001.0
                                      << false;
    QTest::newRow("prefix of the user's") << "plant/north" << quint64(0x4003) << "tag" << "json" << true
                                          << 1700000002.0 << false;
    QTest::newRow("anchor: status only") << "sentrova" << quint64(0x1001) << "anchor" << "json" << false << 0.0
                                         << false;
    QTest::newRow("tag without coordinates") << "sentrova" << quint64(0x4004) << "tag" << "none" << false << 0.0
                                             << false;
}

void tst_MqttPublisher::publishesWhatTheModelHolds()
{
    QFETCH(QString, prefix);
    QFETCH(quint64, id);
    QFETCH(QString, mode);
    QFETCH(QString, path);
    QFETCH(bool, positionPublished);
    QFETCH(double, timestamp);
    QFETCH(bool, addedOnly);

    MqttTestSubscriber sub;
    QVERIFY(sub.subscribe(m_broker.port, qPrintable(prefix + QStringLiteral("/#"))));
    auto pub = connectedPublisher(prefix);
    QVERIFY(pub->isConnected());

    RtlsObject node(id);
    node.setMode(mode);
    node.setName(QStringLiteral("Unit %1").arg(id));
    if (path == QLatin1String("json"))
        jsonReport(&node, 1.5, -2.25, 0.125, timestamp, 77);
    else if (path == QLatin1String("tlv"))
        tlvReport(&node, 1.5f, -2.25f, 0.125f, timestamp);
    else
        node.updateFromJson(QJsonObject{{"id", hex(id)}, {"timestamp", 5.0}});
    // Announced twice (added, then updated), it is still one report.
    pub->nodeAdded(&node);
    if (!addedOnly)
        pub->nodeUpdated(&node);

    // Positions travel in order on one connection: once a later tag's is
    // in, this one's would be too.
    RtlsObject sentinel(0x7FFE);
    sentinel.setMode(QStringLiteral("tag"));
    jsonReport(&sentinel, 0, 0, 0, 1.0);
    pub->nodeUpdated(&sentinel);
    const QByteArray sentinelTopic = prefix.toUtf8() + "/tags/0x7FFE/position";
    QTRY_COMPARE_WITH_TIMEOUT(sub.on(sentinelTopic).size(), 1, kWait);

    const QByteArray idText = hex(id).toUtf8();
    const QList<MqttTestSubscriber::Message> positions = sub.on(prefix.toUtf8() + "/tags/" + idText + "/position");
    QCOMPARE(positions.size(), positionPublished ? 1 : 0);
    if (positionPublished) {
        const QJsonObject p = positions.first().json();
        QCOMPARE(p.keys(), (QStringList{"id", "pqf", "timestamp", "x", "y", "z"}));
        QCOMPARE(p.value("id").toString(), QString::fromLatin1(idText));
        QCOMPARE(p.value("x").toDouble(), 1.5);
        QCOMPARE(p.value("y").toDouble(), -2.25);
        QCOMPARE(p.value("z").toDouble(), 0.125);
        QCOMPARE(p.value("timestamp").toDouble(), timestamp);
        QVERIFY(!positions.first().retained);
        if (path == QLatin1String("json"))
            QCOMPARE(p.value("pqf").toInt(), 77);
    }

    const QByteArray statusTopic = prefix.toUtf8() + "/nodes/" + idText + "/status";
    QTRY_COMPARE_WITH_TIMEOUT(sub.on(statusTopic).size(), 1, kWait);
    const QJsonObject status = sub.on(statusTopic).first().json();
    QCOMPARE(status.value("mode").toString(), mode);
    QCOMPARE(status.value("name").toString(), QStringLiteral("Unit %1").arg(id));
    QCOMPARE(status.value("inactive").toBool(), false);

    // Statuses go with acknowledgement and may come after positions; the
    // previous row's publisher left "offline" retained.
    const QByteArray manager = prefix.toUtf8() + "/manager/status";
    QTRY_VERIFY_WITH_TIMEOUT(!sub.on(manager).isEmpty() && sub.on(manager).last().json().value("online").toBool(),
                             kWait);
}

void tst_MqttPublisher::infrastructureStatusCarriesItsCoordinates()
{
    MqttTestSubscriber sub;
    QVERIFY(sub.subscribe(m_broker.port, "placed/nodes/#"));
    auto pub = connectedPublisher(QStringLiteral("placed"));
    QVERIFY(pub->isConnected());

    RtlsObject anchor(0x1001);
    anchor.setMode(QStringLiteral("anchor"));
    anchor.setCategory(QStringLiteral("anchor"));
    anchor.pos()->setX(20.0f);
    anchor.pos()->setY(0.25f);
    pub->nodeAdded(&anchor);
    const QByteArray topic = "placed/nodes/0x1001/status";
    QTRY_COMPARE_WITH_TIMEOUT(sub.on(topic).size(), 1, kWait);
    QJsonObject status = sub.on(topic).last().json();
    QCOMPARE(status.value("x").toDouble(), 20.0);
    QCOMPARE(status.value("y").toDouble(), 0.25);
    // Its height is not known: not written.
    QVERIFY(!status.contains("z"));
    QCOMPARE(status.value("category").toString(), QStringLiteral("anchor"));

    // Moved (its height learnt): published again; announced again unmoved: not.
    anchor.pos()->setZ(3.2f);
    pub->nodeUpdated(&anchor);
    pub->nodeUpdated(&anchor);
    QTRY_COMPARE_WITH_TIMEOUT(sub.on(topic).size(), 2, kWait);
    QCOMPARE(sub.on(topic).last().json().value("z").toDouble(), 3.2);

    // A tag's position is on its own topic, never in its status.
    RtlsObject tag(0x4020);
    tag.setMode(QStringLiteral("tag"));
    jsonReport(&tag, 1, 2, 3, 5.0);
    pub->nodeUpdated(&tag);
    QTRY_COMPARE_WITH_TIMEOUT(sub.on("placed/nodes/0x4020/status").size(), 1, kWait);
    QVERIFY(!sub.on("placed/nodes/0x4020/status").first().json().contains("x"));
    QCOMPARE(sub.on(topic).size(), 2);
}

void tst_MqttPublisher::zoneDefinitionsDeletedWhileAwayAreCleared()
{
    // What an earlier run left on the broker: two zones' definitions.
    MqttClient earlier;
    MqttClient::Endpoint endpoint;
    endpoint.host = QStringLiteral("127.0.0.1");
    endpoint.port = m_broker.port;
    QString error;
    QVERIFY(earlier.start(endpoint, &error));
    QTRY_VERIFY_WITH_TIMEOUT(earlier.isConnected(), kWait);
    for (const char *id : {"0x00A1", "0x00B2"}) {
        const QByteArray payload = QJsonDocument(QJsonObject{{"name", QStringLiteral("old ") + id}}).toJson();
        QCOMPARE(earlier.publish(QByteArray("stale/zones/") + id + "/config", payload, 1, true),
                 MqttClient::Publish::Queued);
    }
    MqttTestSubscriber sub;
    QVERIFY(sub.subscribe(m_broker.port, "stale/zones/+/config"));
    QTRY_COMPARE_WITH_TIMEOUT(sub.messages().size(), 2, kWait);

    // This run knows only 0x00A1: 0x00B2 was deleted while it was stopped.
    MqttPublisher pub;
    QSignalSpy lines(&pub, &MqttPublisher::displayMessage);
    pub.publishZoneConfig(0xA1, QJsonObject{{"id", "0x00A1"}, {"name", "Dock"}});
    publishTo(&pub, m_broker.port, QStringLiteral("stale"));
    QTRY_VERIFY_WITH_TIMEOUT(!sub.on("stale/zones/0x00B2/config").last().json().contains("name")
                                 && sub.on("stale/zones/0x00B2/config").last().payload.isEmpty(),
                             kWait);
    QCOMPARE(sub.on("stale/zones/0x00A1/config").last().json().value("name").toString(), QStringLiteral("Dock"));
    QCOMPARE(linesContaining(lines, QStringLiteral("zone 0x00B2 is no longer defined here")), 1);
    QCOMPARE(linesContaining(lines, QStringLiteral("zone 0x00A1")), 0);
}

void tst_MqttPublisher::statusIsRetainedAndFollowsInactivity()
{
    auto pub = connectedPublisher(QStringLiteral("retained"));
    QVERIFY(pub->isConnected());
    RtlsObject tag(0x4010);
    tag.setMode(QStringLiteral("tag"));
    jsonReport(&tag, 1, 2, 0, 10.0);
    tag.imu()->setVBat(3712.0f);
    pub->nodeUpdated(&tag);
    // The hub marks a silent tag with all ones before it says so.
    tag.setLastUpdate(~quint64(0));
    pub->nodeInactive(&tag);

    const QByteArray topic("retained/nodes/0x4010/status");
    MqttTestSubscriber early;
    QVERIFY(early.subscribe(m_broker.port, "retained/#"));
    QTRY_VERIFY_WITH_TIMEOUT(!early.on(topic).isEmpty() && early.on(topic).last().json().value("inactive").toBool(),
                             kWait);
    {
        // A subscriber that comes later gets the last status, retained.
        MqttTestSubscriber late;
        QVERIFY(late.subscribe(m_broker.port, "retained/#"));
        QTRY_VERIFY_WITH_TIMEOUT(!late.on(topic).isEmpty() && late.on(topic).last().json().value("inactive").toBool(),
                                 kWait);
        QVERIFY(late.on(topic).last().retained);
        QCOMPARE(late.on(topic).last().json().value("battery").toDouble(), 3.71);
    }

    MqttTestSubscriber sub;
    QVERIFY(sub.subscribe(m_broker.port, "retained/#"));
    jsonReport(&tag, 1, 2, 0, 11.0);
    pub->nodeUpdated(&tag);
    QTRY_VERIFY_WITH_TIMEOUT(!sub.on(topic).isEmpty() && !sub.on(topic).last().json().value("inactive").toBool(),
                             kWait);

    // Switched off: the manager's own status says offline, retained.
    pub->setEnabled(false);
    MqttTestSubscriber after;
    QVERIFY(after.subscribe(m_broker.port, "retained/manager/status"));
    QTRY_VERIFY_WITH_TIMEOUT(!after.messages().isEmpty() && !after.messages().last().json().value("online").toBool(),
                             kWait);
}

// A tag made by one location report (one id of a flood) leaves nothing on
// the broker until it is heard again.
void tst_MqttPublisher::heardOnceIsPublishedWhenHeardAgain()
{
    auto pub = connectedPublisher(QStringLiteral("once"));
    QVERIFY(pub->isConnected());
    MqttTestSubscriber sub;
    QVERIFY(sub.subscribe(m_broker.port, "once/#"));
    RtlsObject ghost(0x4020);
    ghost.setMode(QStringLiteral("tag"));
    jsonReport(&ghost, 1, 2, 0, 10.0);
    ghost.setMsgFlags(Rtls::kMsgHeardOnce);
    pub->nodeAdded(&ghost);
    pub->nodeUpdated(&ghost);
    ghost.setLastUpdate(~quint64(0));
    pub->nodeInactive(&ghost);
    // A tag published after it shows that the ghost's messages would have
    // arrived by now.
    RtlsObject marker(0x4021);
    marker.setMode(QStringLiteral("tag"));
    jsonReport(&marker, 3, 2, 0, 10.0);
    pub->nodeUpdated(&marker);
    QTRY_VERIFY_WITH_TIMEOUT(!sub.on("once/nodes/0x4021/status").isEmpty(), kWait);
    QVERIFY(sub.on("once/nodes/0x4020/status").isEmpty());
    QVERIFY(sub.on("once/tags/0x4020/position").isEmpty());

    jsonReport(&ghost, 1.5, 2, 0, 11.0);
    ghost.clearMsgFlags(Rtls::kMsgHeardOnce);
    pub->nodeUpdated(&ghost);
    QTRY_VERIFY_WITH_TIMEOUT(!sub.on("once/nodes/0x4020/status").isEmpty(), kWait);
    QTRY_VERIFY_WITH_TIMEOUT(!sub.on("once/tags/0x4020/position").isEmpty(), kWait);
}

void tst_MqttPublisher::rateLimitPerTag_data()
{
    QTest::addColumn<double>("limit");
    QTest::addColumn<QList<int>>("stepsMs");
    QTest::addColumn<int>("expected");

    // 100 reports; a burst of two, then the limit.
    QTest::newRow("no limit") << 0.0 << QList<int>{100} << 100;
    QTest::newRow("10 Hz tag, 5 Hz limit") << 5.0 << QList<int>{100} << 51;
    QTest::newRow("10 Hz tag, 2 Hz limit") << 2.0 << QList<int>{100} << 21;
    QTest::newRow("jittered 10 Hz tag, 10 Hz limit") << 10.0 << QList<int>{95, 105} << 100;
    QTest::newRow("20 Hz tag, 10 Hz limit") << 10.0 << QList<int>{50} << 51;
}

void tst_MqttPublisher::rateLimitPerTag()
{
    QFETCH(double, limit);
    QFETCH(QList<int>, stepsMs);
    QFETCH(int, expected);

    const QString prefix = QStringLiteral("rate%1").arg(QTest::currentDataTag()).remove(QLatin1Char(' ')).remove(QLatin1Char(','));
    MqttTestSubscriber sub;
    QVERIFY(sub.subscribe(m_broker.port, qPrintable(prefix + QStringLiteral("/tags/#"))));
    auto pub = connectedPublisher(prefix);
    QVERIFY(pub->isConnected());
    MqttConfig c = pub->config();
    c.rateLimit = limit;
    pub->setConfig(c);
    qint64 now = 1000;
    pub->setClock([&now] { return now; });

    RtlsObject tag(0x4020);
    tag.setMode(QStringLiteral("tag"));
    for (int i = 0; i < 100; ++i) {
        jsonReport(&tag, i * 0.1, 0, 0, 100.0 + i);
        pub->nodeUpdated(&tag);
        now += stepsMs.at(i % stepsMs.size());
    }
    RtlsObject sentinel(0x7FFE);
    sentinel.setMode(QStringLiteral("tag"));
    jsonReport(&sentinel, 0, 0, 0, 1.0);
    pub->nodeUpdated(&sentinel);
    QTRY_COMPARE_WITH_TIMEOUT(sub.count("0x7FFE"), 1, kWait);
    QCOMPARE(sub.count("0x4020"), expected);
    // Rate-limited reports are not failures.
    QCOMPARE(pub->droppedCount(), quint64(0));
}

void tst_MqttPublisher::brokerStartedLater()
{
    MosquittoBroker later;
    later.port = MosquittoBroker::freePort();
    MqttPublisher pub;
    QSignalSpy lines(&pub, &MqttPublisher::displayMessage);
    QSignalSpy attempts(pub.client(), &MqttClient::connectFailed);
    publishTo(&pub, later.port, QStringLiteral("later"));
    QTRY_VERIFY_WITH_TIMEOUT(attempts.count() >= 3, kWait);
    QCOMPARE(linesContaining(lines, QStringLiteral("cannot reach broker")), 1);
    QCOMPARE(pub.state(), MqttPublisher::State::Retrying);

    QVERIFY(later.start());
    QTRY_VERIFY_WITH_TIMEOUT(pub.isConnected(), kWait);
    QCOMPARE(linesContaining(lines, QStringLiteral("connected to broker")), 1);
}

void tst_MqttPublisher::reconnectsAfterBrokerRestart()
{
    MosquittoBroker broker;
    QVERIFY(broker.start());
    MqttPublisher pub;
    QSignalSpy lines(&pub, &MqttPublisher::displayMessage);
    QSignalSpy connected(&pub, &MqttPublisher::connectedChanged);
    publishTo(&pub, broker.port, QStringLiteral("restart"));
    QTRY_VERIFY_WITH_TIMEOUT(pub.isConnected(), kWait);

    RtlsObject anchor(0x1001);
    anchor.setMode(QStringLiteral("anchor"));
    pub.nodeAdded(&anchor);

    // Without persistence the new broker has no retained statuses: any a
    // subscriber gets were published again after the reconnection.
    QVERIFY(broker.restart());
    QTRY_VERIFY_WITH_TIMEOUT(linesContaining(lines, QStringLiteral("lost")) == 1, kWait);
    QTRY_VERIFY_WITH_TIMEOUT(pub.isConnected(), kWait);
    QCOMPARE(connected.count(), 3);

    MqttTestSubscriber sub;
    QVERIFY(sub.subscribe(broker.port, "restart/#"));
    QTRY_COMPARE_WITH_TIMEOUT(sub.on("restart/nodes/0x1001/status").size(), 1, kWait);
    QVERIFY(sub.on("restart/nodes/0x1001/status").first().retained);
}

void tst_MqttPublisher::refusedLoginReportedOnceAndNothingPilesUp()
{
    MosquittoBroker broker;
    QVERIFY(broker.start({{QStringLiteral("ops"), QStringLiteral("right")}}));
    MqttTestSubscriber sub;
    QVERIFY(sub.subscribe(broker.port, "login/#", "ops", "right"));

    MqttPublisher pub;
    QSignalSpy lines(&pub, &MqttPublisher::displayMessage);
    QSignalSpy attempts(pub.client(), &MqttClient::connectFailed);
    publishTo(&pub, broker.port, QStringLiteral("login"), QStringLiteral("ops"), QStringLiteral("wrong"));
    QTRY_VERIFY_WITH_TIMEOUT(attempts.count() >= 3, kWait);
    for (const QList<QVariant> &attempt : attempts)
        QVERIFY(attempt.at(1).toBool());
    QCOMPARE(linesContaining(lines, QStringLiteral("refused the login")), 1);

    // The model goes on; what cannot be sent is dropped or kept bounded.
    RtlsObject tag(0x4030);
    tag.setMode(QStringLiteral("tag"));
    for (int i = 0; i < 2000; ++i) {
        jsonReport(&tag, i * 0.01, 0, 0, 1000.0 + i);
        pub.nodeUpdated(&tag);
    }
    for (int i = 0; i < MqttPublisher::kMaxPendingZoneEvents + 5; ++i)
        pub.publishZoneEvent(0xA5EA, QStringLiteral("Dock"), quint64(0x5000 + i), true);
    QCOMPARE(pub.pendingZoneEvents(), MqttPublisher::kMaxPendingZoneEvents);
    QCOMPARE(pub.droppedCount(), quint64(2000 + 5));
    QCOMPARE(pub.publishedCount(), quint64(0));
    QCOMPARE(pub.trackedNodes(), 1);
    QCOMPARE(linesContaining(lines, QStringLiteral("refused the login")), 1);

    // The right password: the kept events go out in order, the oldest five
    // having made room.
    MqttConfig c = pub.config();
    c.password = QStringLiteral("right");
    pub.setConfig(c);
    QTRY_VERIFY_WITH_TIMEOUT(pub.isConnected(), kWait);
    QTRY_COMPARE_WITH_TIMEOUT(sub.count("login/zones/"), MqttPublisher::kMaxPendingZoneEvents, kWait);
    const QList<MqttTestSubscriber::Message> events = sub.on("login/zones/0xA5EA/events");
    QCOMPARE(events.first().json().value("id").toString(), hex(0x5000 + 5));
    QCOMPARE(events.last().json().value("id").toString(), hex(0x5000 + MqttPublisher::kMaxPendingZoneEvents + 4));
    QCOMPARE(pub.pendingZoneEvents(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(sub.on("login/nodes/0x4030/status").size(), 1, kWait);
    QCOMPARE(linesContaining(lines, QStringLiteral("2005 messages were not published")), 1);
}

void tst_MqttPublisher::slowBrokerBoundsTheBacklog()
{
    MosquittoBroker broker;
    QVERIFY(broker.start());
    MqttPublisher pub;
    QSignalSpy lines(&pub, &MqttPublisher::displayMessage);
    publishTo(&pub, broker.port, QStringLiteral("slow"));
    QTRY_VERIFY_WITH_TIMEOUT(pub.isConnected(), kWait);

    // A broker that stops reading: once the sockets are full, messages wait
    // in the client, up to its limit and no further. Messages of a megabyte
    // keep the kernel's growing buffers from emptying the backlog by half
    // while the test looks.
    MqttClient *client = pub.client();
    constexpr int kLimit = 20;
    client->setBacklogLimit(kLimit);
    broker.pause();
    const QByteArray big(1024 * 1024, 'x');
    MqttClient::Publish result = MqttClient::Publish::Queued;
    for (int i = 0; i < 400 && result == MqttClient::Publish::Queued; ++i)
        result = client->publish("slow/bulk", big, 0, false);
    QCOMPARE(result, MqttClient::Publish::Backlog);
    QVERIFY(client->backlog() <= kLimit);

    // The kernel may still take a little more now and then (its buffers
    // grow): of many positions some are dropped, and it is said once.
    RtlsObject tag(0x4040);
    tag.setMode(QStringLiteral("tag"));
    for (int i = 0; i < 100; ++i) {
        jsonReport(&tag, 1, 1, 0, 1.0 + i);
        pub.nodeUpdated(&tag);
    }
    QVERIFY(pub.droppedCount() > 0);
    QVERIFY(client->backlog() <= kLimit);
    QCOMPARE(linesContaining(lines, QStringLiteral("does not keep up")), 1);

    broker.resume();
    QTRY_COMPARE_WITH_TIMEOUT(client->backlog(), 0, kWait);
    const quint64 dropped = pub.droppedCount();
    jsonReport(&tag, 2, 1, 0, 200.0);
    pub.nodeUpdated(&tag);
    QCOMPARE(linesContaining(lines, QStringLiteral("keeps up again")), 1);
    QCOMPARE(pub.droppedCount(), dropped);
}

void tst_MqttPublisher::tlsWithTheSiteCa_data()
{
    QTest::addColumn<QString>("ca");
    QTest::addColumn<QString>("line");

    QTest::newRow("the broker's CA") << "ca.crt" << "connected to broker";
    QTest::newRow("another CA") << "other.crt" << "cannot reach broker";
    QTest::newRow("CA file missing") << "missing.crt" << "cannot be read";
}

// A site CA and a broker certificate for 127.0.0.1 made with openssl; the
// publisher trusts the CA file it is given and nothing else.
void tst_MqttPublisher::tlsWithTheSiteCa()
{
    QFETCH(QString, ca);
    QFETCH(QString, line);

    const QString openssl = QStandardPaths::findExecutable(QStringLiteral("openssl"));
    if (openssl.isEmpty())
        QSKIP("openssl is needed to make the test certificates");
    QTemporaryDir dir;
    auto file = [&dir](const char *name) { return dir.filePath(QLatin1String(name)); };
    const QStringList ec{"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"};
    {
        QFile ext(file("san.ext"));
        QVERIFY(ext.open(QIODevice::WriteOnly));
        ext.write("subjectAltName=IP:127.0.0.1\n");
    }
    const QList<QStringList> steps{
        QStringList{"req", "-x509"} + ec + QStringList{"-keyout", file("ca.key"), "-out", file("ca.crt"), "-subj", "/CN=Site CA", "-days", "2"},
        QStringList{"req", "-x509"} + ec + QStringList{"-keyout", file("other.key"), "-out", file("other.crt"), "-subj", "/CN=Other CA", "-days", "2"},
        QStringList{"req"} + ec + QStringList{"-keyout", file("server.key"), "-out", file("server.csr"), "-subj", "/CN=127.0.0.1"},
        QStringList{"x509", "-req", "-in", file("server.csr"), "-CA", file("ca.crt"), "-CAkey", file("ca.key"),
                    "-CAcreateserial", "-out", file("server.crt"), "-days", "2", "-extfile", file("san.ext")}};
    for (const QStringList &args : steps) {
        QProcess step;
        step.start(openssl, args);
        QVERIFY(step.waitForFinished(30000));
        QVERIFY2(step.exitCode() == 0, step.readAllStandardError().constData());
    }

    MosquittoBroker broker;
    broker.useTls(file("server.crt"), file("server.key"));
    QVERIFY(broker.start());
    MqttPublisher pub;
    QSignalSpy lines(&pub, &MqttPublisher::displayMessage);
    QSignalSpy attempts(pub.client(), &MqttClient::connectFailed);
    MqttConfig c;
    c.enabled = true;
    c.host = QStringLiteral("127.0.0.1");
    c.port = broker.port;
    c.tls = true;
    c.caFile = dir.filePath(ca);
    pub.client()->setRetryDelays(50, 200);
    pub.setConfig(c);
    pub.start();
    QTRY_VERIFY_WITH_TIMEOUT(linesContaining(lines, line) == 1, kWait);
    if (ca == QLatin1String("ca.crt")) {
        QVERIFY(pub.isConnected());
    } else if (ca == QLatin1String("other.crt")) {
        QTRY_VERIFY_WITH_TIMEOUT(attempts.count() >= 3, kWait);
        QCOMPARE(linesContaining(lines, line), 1);
        QCOMPARE(pub.state(), MqttPublisher::State::Retrying);
    } else {
        QCOMPARE(pub.state(), MqttPublisher::State::Off);
    }
}

QTEST_GUILESS_MAIN(tst_MqttPublisher)
#include "tst_mqttpublisher.moc"
