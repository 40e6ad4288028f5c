// What the broker publisher writes and reads without a broker: topic names,
// payloads, the "mqtt" settings object and the --mqtt broker text.
#include "MqttConfig.h"
#include "MqttMessages.h"
#include "RtlsObject.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

class tst_MqttMessages : public QObject
{
    Q_OBJECT

private slots:
    void topics_data();
    void topics();
    void positionPayload_data();
    void positionPayload();
    void statusAndZonePayloads();
    void zoneConfigPayload();
    void parseTopic_data();
    void parseTopic();
    void positionReport_data();
    void positionReport();
    void readStatus_data();
    void readStatus();
    void reportTime_data();
    void reportTime();
    void batteryVolts_data();
    void batteryVolts();
    void configFromJson_data();
    void configFromJson();
    void configBadValueKeepsCurrent();
    void configRoundTrip();
    void parseBroker_data();
    void parseBroker();
};

void tst_MqttMessages::topics_data()
{
    QTest::addColumn<QString>("prefix");
    QTest::addColumn<quint64>("id");
    QTest::addColumn<QByteArray>("position");
    QTest::addColumn<QByteArray>("status");
    QTest::addColumn<QByteArray>("zone");

    QTest::newRow("short id padded") << "sentrova" << quint64(0x12) << QByteArray("sentrova/tags/0x0012/position")
                                     << QByteArray("sentrova/nodes/0x0012/status")
                                     << QByteArray("sentrova/zones/0x0012/events");
    QTest::newRow("wide id, upper case") << "site/hall" << quint64(0xabcdef123) << QByteArray("site/hall/tags/0xABCDEF123/position")
                                         << QByteArray("site/hall/nodes/0xABCDEF123/status")
                                         << QByteArray("site/hall/zones/0xABCDEF123/events");
    QTest::newRow("all ones") << "p" << quint64(~0ULL) << QByteArray("p/tags/0xFFFFFFFFFFFFFFFF/position")
                              << QByteArray("p/nodes/0xFFFFFFFFFFFFFFFF/status")
                              << QByteArray("p/zones/0xFFFFFFFFFFFFFFFF/events");
}

void tst_MqttMessages::topics()
{
    QFETCH(QString, prefix);
    QFETCH(quint64, id);
    QFETCH(QByteArray, position);
    QFETCH(QByteArray, status);
    QFETCH(QByteArray, zone);
    QCOMPARE(MqttMessages::positionTopic(prefix, id), position);
    QCOMPARE(MqttMessages::statusTopic(prefix, id), status);
    QCOMPARE(MqttMessages::zoneTopic(prefix, id), zone);
}

void tst_MqttMessages::positionPayload_data()
{
    QTest::addColumn<double>("x");
    QTest::addColumn<double>("y");
    QTest::addColumn<double>("z");
    QTest::addColumn<int>("pqf");
    QTest::addColumn<double>("timestamp");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("millimetres") << 1.23456 << -2.0 << 0.5 << 87 << 1700000000.1234
                                 << QByteArray(R"({"id":"0x4001","x":1.235,"y":-2,"z":0.5,"pqf":87,"timestamp":1700000000.123})");
    QTest::newRow("negative zero and tiny") << -0.0001 << 0.0 << 100.0 << 0 << 0.0
                                           << QByteArray(R"({"id":"0x4001","x":0,"y":0,"z":100,"pqf":0,"timestamp":0})");
    QTest::newRow("large site") << 12345.6789 << -9876.5 << 3.0 << 255 << 1.5
                                << QByteArray(R"({"id":"0x4001","x":12345.679,"y":-9876.5,"z":3,"pqf":255,"timestamp":1.5})");
    QTest::newRow("not a number") << qQNaN() << 0.0 << 0.0 << 1 << 1.0 << QByteArray();
    QTest::newRow("infinite time") << 0.0 << 0.0 << 0.0 << 1 << qInf() << QByteArray();
}

void tst_MqttMessages::positionPayload()
{
    QFETCH(double, x);
    QFETCH(double, y);
    QFETCH(double, z);
    QFETCH(int, pqf);
    QFETCH(double, timestamp);
    QFETCH(QByteArray, expected);

    QByteArray out("stale");
    const bool ok = MqttMessages::positionPayload(&out, 0x4001, x, y, z, pqf, timestamp);
    QCOMPARE(ok, !expected.isEmpty());
    QCOMPARE(out, expected);
    if (ok)
        QVERIFY(QJsonDocument::fromJson(out).isObject());
}

void tst_MqttMessages::statusAndZonePayloads()
{
    MqttMessages::NodeStatus tag;
    tag.id = 0x12;
    tag.name = QStringLiteral("Fork \"lift\" 1");
    tag.mode = QStringLiteral("tag");
    tag.category = QStringLiteral("tag");
    tag.battery = 3.7049;
    tag.inactive = true;
    const QJsonObject status = QJsonDocument::fromJson(MqttMessages::statusPayload(tag)).object();
    QCOMPARE(status.value("id").toString(), QStringLiteral("0x0012"));
    QCOMPARE(status.value("name").toString(), QStringLiteral("Fork \"lift\" 1"));
    QCOMPARE(status.value("mode").toString(), QStringLiteral("tag"));
    QCOMPARE(status.value("category").toString(), QStringLiteral("tag"));
    QCOMPARE(status.value("battery").toDouble(), 3.7);
    QCOMPARE(status.value("inactive").toBool(), true);
    QCOMPARE(status.size(), 6);

    // An anchor with two known axes: those two, to the millimetre.
    MqttMessages::NodeStatus anchor;
    anchor.id = 0x12;
    anchor.mode = QStringLiteral("anchor");
    anchor.hasX = anchor.hasZ = true;
    anchor.x = 1.23456;
    anchor.y = 9.0;
    anchor.z = -0.5;
    const QJsonObject placed = QJsonDocument::fromJson(MqttMessages::statusPayload(anchor)).object();
    QVERIFY(placed.value("battery").isNull());
    QCOMPARE(placed.value("x").toDouble(), 1.235);
    QVERIFY(!placed.contains("y"));
    QCOMPARE(placed.value("z").toDouble(), -0.5);

    const QJsonObject zone =
        QJsonDocument::fromJson(MqttMessages::zoneEventPayload(0xA5EA0, QStringLiteral("Dock"), 0x4001, false, 12.3456))
            .object();
    QCOMPARE(zone.value("zone").toString(), QStringLiteral("0xA5EA0"));
    QCOMPARE(zone.value("name").toString(), QStringLiteral("Dock"));
    QCOMPARE(zone.value("id").toString(), QStringLiteral("0x4001"));
    QCOMPARE(zone.value("event").toString(), QStringLiteral("exit"));
    QCOMPARE(zone.value("timestamp").toDouble(), 12.346);

    QCOMPARE(MqttMessages::managerTopic("a/b"), QByteArray("a/b/manager/status"));
    QCOMPARE(QJsonDocument::fromJson(MqttMessages::managerPayload(true)).object().value("online").toBool(), true);
}

void tst_MqttMessages::zoneConfigPayload()
{
    // A zone at x = 0 is written without "x" in the settings file; on the
    // broker every coordinate is there, and neither the plan's file nor the
    // commands are.
    const QJsonObject zone{{"id", "0x00A1"}, {"name", "Dock"}, {"y", 2.5},  {"length", 4.0},
                           {"image", "/srv/plan.png"}, {"cmdlist", QJsonObject{{"on_enter", QJsonObject{{"command", "setDio8"}}}}},
                           {"type", "STORAGE"}, {"level", 3}};
    const QJsonObject published = QJsonDocument::fromJson(MqttMessages::zoneConfigPayload(zone)).object();
    QCOMPARE(published.value("x").toDouble(-1), 0.0);
    QCOMPARE(published.value("y").toDouble(), 2.5);
    QCOMPARE(published.value("z").toDouble(-1), 0.0);
    QVERIFY(!published.contains("image"));
    QVERIFY(!published.contains("cmdlist"));
    QCOMPARE(published.value("name").toString(), QStringLiteral("Dock"));
    QCOMPARE(published.value("level").toInt(), 3);
    QCOMPARE(MqttMessages::zoneConfigTopic("s", 0xA1), QByteArray("s/zones/0x00A1/config"));
}

void tst_MqttMessages::parseTopic_data()
{
    QTest::addColumn<QByteArray>("topic");
    QTest::addColumn<int>("kind");
    QTest::addColumn<quint64>("id");

    using K = MqttMessages::TopicKind;
    QTest::newRow("position") << QByteArray("site/a/tags/0x4001/position") << int(K::Position) << quint64(0x4001);
    QTest::newRow("status") << QByteArray("site/a/nodes/0x1000/status") << int(K::Status) << quint64(0x1000);
    QTest::newRow("zone config") << QByteArray("site/a/zones/0xA5EA123/config") << int(K::ZoneConfig) << quint64(0xA5EA123);
    QTest::newRow("zone event") << QByteArray("site/a/zones/0x00A1/events") << int(K::ZoneEvent) << quint64(0xA1);
    QTest::newRow("manager") << QByteArray("site/a/manager/status") << int(K::Manager) << quint64(0);
    QTest::newRow("other prefix") << QByteArray("site/b/tags/0x4001/position") << int(K::Unknown) << quint64(0);
    QTest::newRow("prefix without its slash") << QByteArray("site/ab/tags/0x4001/position") << int(K::Unknown) << quint64(0);
    QTest::newRow("id without 0x") << QByteArray("site/a/tags/4001/position") << int(K::Unknown) << quint64(0);
    QTest::newRow("id not hexadecimal") << QByteArray("site/a/tags/0xZZ/position") << int(K::Unknown) << quint64(0);
    QTest::newRow("id zero") << QByteArray("site/a/tags/0x0000/position") << int(K::Unknown) << quint64(0);
    QTest::newRow("deeper topic") << QByteArray("site/a/tags/0x4001/position/x") << int(K::Unknown) << quint64(0);
    QTest::newRow("wrong leaf") << QByteArray("site/a/tags/0x4001/status") << int(K::Unknown) << quint64(0);
}

void tst_MqttMessages::parseTopic()
{
    QFETCH(QByteArray, topic);
    QFETCH(int, kind);
    QFETCH(quint64, id);
    const MqttMessages::Topic t = MqttMessages::parseTopic(QStringLiteral("site/a"), topic);
    QCOMPARE(int(t.kind), kind);
    QCOMPARE(quint64(t.id), id);
}

void tst_MqttMessages::positionReport_data()
{
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QByteArray>("line");

    QTest::newRow("as published")
        << QByteArray(R"({"id":"0x4001","x":1.5,"y":-2,"z":0.25,"pqf":87,"timestamp":1700000000.123})")
        << QByteArray(R"({"coordinates":{"pqf":87,"x":1.5,"y":-2,"z":0.25},"id":"0x4001","timestamp":1700000000.123})");
    QTest::newRow("no quality, no time") << QByteArray(R"({"id":"0x4001","x":1,"y":2,"z":3})")
                                         << QByteArray(R"({"coordinates":{"x":1,"y":2,"z":3},"id":"0x4001"})");
    QTest::newRow("id written otherwise") << QByteArray(R"({"id":"4001","x":1,"y":2,"z":3})")
                                          << QByteArray(R"({"coordinates":{"x":1,"y":2,"z":3},"id":"0x4001"})");
    QTest::newRow("another tag's position") << QByteArray(R"({"id":"0x4002","x":1,"y":2,"z":3})") << QByteArray();
    QTest::newRow("an axis missing") << QByteArray(R"({"id":"0x4001","x":1,"y":2})") << QByteArray();
    QTest::newRow("an axis as text") << QByteArray(R"({"id":"0x4001","x":"1","y":2,"z":3})") << QByteArray();
    QTest::newRow("not JSON") << QByteArray("x=1 y=2") << QByteArray();
    QTest::newRow("empty") << QByteArray() << QByteArray();
    QTest::newRow("an array") << QByteArray(R"([{"id":"0x4001","x":1,"y":2,"z":3}])") << QByteArray();
}

void tst_MqttMessages::positionReport()
{
    QFETCH(QByteArray, payload);
    QFETCH(QByteArray, line);
    QByteArray out("stale");
    QCOMPARE(MqttMessages::positionReport(payload, 0x4001, &out), !line.isEmpty());
    QCOMPARE(out, line);
}

void tst_MqttMessages::readStatus_data()
{
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("axes");
    QTest::addColumn<double>("battery");

    QTest::newRow("anchor, all axes")
        << QByteArray(R"({"id":"0x1001","name":"A1","mode":"anchor","category":"anchor","battery":null,"inactive":false,"x":20,"y":0,"z":3.2})")
        << true << "anchor" << "xyz" << -1.0;
    QTest::newRow("anchor, height unknown") << QByteArray(R"({"id":"0x1001","mode":"anchor","x":20,"y":0})") << true
                                            << "anchor" << "xy" << -1.0;
    QTest::newRow("tag with battery") << QByteArray(R"({"id":"0x1001","mode":"tag","battery":3.71,"inactive":true})")
                                      << true << "tag" << "" << 3.71;
    QTest::newRow("coordinate as text") << QByteArray(R"({"id":"0x1001","mode":"anchor","x":"20"})") << true << "anchor"
                                        << "" << -1.0;
    QTest::newRow("another node") << QByteArray(R"({"id":"0x1002","mode":"anchor"})") << false << "" << "" << -1.0;
    QTest::newRow("no id") << QByteArray(R"({"mode":"anchor"})") << false << "" << "" << -1.0;
    QTest::newRow("not JSON") << QByteArray("{") << false << "" << "" << -1.0;
}

void tst_MqttMessages::readStatus()
{
    QFETCH(QByteArray, payload);
    QFETCH(bool, ok);
    QFETCH(QString, mode);
    QFETCH(QString, axes);
    QFETCH(double, battery);
    MqttMessages::NodeStatus status;
    QCOMPARE(MqttMessages::readStatus(payload, 0x1001, &status), ok);
    if (!ok)
        return;
    QCOMPARE(status.id, uint64_t(0x1001));
    QCOMPARE(status.mode, mode);
    QString known;
    if (status.hasX)
        known += 'x';
    if (status.hasY)
        known += 'y';
    if (status.hasZ)
        known += 'z';
    QCOMPARE(known, axes);
    QCOMPARE(status.battery, battery);
    // What a remote view reads is what the publisher wrote.
    QCOMPARE(QJsonDocument::fromJson(MqttMessages::statusPayload(status)).object().value("mode").toString(), mode);
}

void tst_MqttMessages::reportTime_data()
{
    QTest::addColumn<double>("msgtime");
    QTest::addColumn<quint64>("lastupdate");
    QTest::addColumn<double>("expected");

    QTest::newRow("JSON stream keeps milliseconds") << 1700000000123.0 << quint64(5) << 1700000000.123;
    QTest::newRow("TLV stream keeps seconds") << 1700000000.5 << quint64(5) << 1700000000.5;
    QTest::newRow("no stamp: time heard") << 0.0 << quint64(1700000001250) << 1700000001.25;
}

void tst_MqttMessages::reportTime()
{
    QFETCH(double, msgtime);
    QFETCH(quint64, lastupdate);
    QFETCH(double, expected);
    RtlsObject node(0x4001);
    node.setMsgTime(msgtime);
    node.setLastUpdate(lastupdate);
    QCOMPARE(MqttMessages::reportTime(node), expected);
}

void tst_MqttMessages::batteryVolts_data()
{
    QTest::addColumn<float>("vbat");
    QTest::addColumn<double>("volts");

    QTest::newRow("JSON volts") << 3.7f << double(3.7f);
    QTest::newRow("TLV millivolts") << 3712.0f << 3.712;
    QTest::newRow("none reported") << 0.0f << -1.0;
    QTest::newRow("negative") << -1.0f << -1.0;
    QTest::newRow("not a number") << float(qQNaN()) << -1.0;
}

void tst_MqttMessages::batteryVolts()
{
    QFETCH(float, vbat);
    QFETCH(double, volts);
    QCOMPARE(MqttMessages::batteryVolts(vbat), volts);
}

void tst_MqttMessages::configFromJson_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("prefix");
    QTest::addColumn<double>("rate");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<int>("problems");

    QTest::newRow("empty object: defaults") << QByteArray("{}") << "localhost" << 1883 << "sentrova" << 0.0 << false << 0;
    QTest::newRow("all given") << QByteArray(R"({"enabled":true,"host":" broker.lan ","port":8883,"topicPrefix":"site/a/","rateLimit":2.5})")
                               << "broker.lan" << 8883 << "site/a" << 2.5 << true << 0;
    QTest::newRow("port as text") << QByteArray(R"({"port":"1884"})") << "localhost" << 1883 << "sentrova" << 0.0 << false << 1;
    QTest::newRow("port zero") << QByteArray(R"({"port":0})") << "localhost" << 1883 << "sentrova" << 0.0 << false << 1;
    QTest::newRow("port too big") << QByteArray(R"({"port":65536})") << "localhost" << 1883 << "sentrova" << 0.0 << false << 1;
    QTest::newRow("port fraction") << QByteArray(R"({"port":1883.5})") << "localhost" << 1883 << "sentrova" << 0.0 << false << 1;
    QTest::newRow("wildcard prefix") << QByteArray(R"({"topicPrefix":"a/#"})") << "localhost" << 1883 << "sentrova" << 0.0 << false << 1;
    QTest::newRow("plus in prefix") << QByteArray(R"({"topicPrefix":"a/+/b"})") << "localhost" << 1883 << "sentrova" << 0.0 << false << 1;
    QTest::newRow("slash-only prefix") << QByteArray(R"({"topicPrefix":"//"})") << "localhost" << 1883 << "sentrova" << 0.0 << false << 1;
    QTest::newRow("negative rate") << QByteArray(R"({"rateLimit":-1})") << "localhost" << 1883 << "sentrova" << 0.0 << false << 1;
    QTest::newRow("enabled as text") << QByteArray(R"({"enabled":"yes","host":5})") << "localhost" << 1883 << "sentrova" << 0.0 << false << 2;
    QTest::newRow("empty host") << QByteArray(R"({"host":"  "})") << "localhost" << 1883 << "sentrova" << 0.0 << false << 1;
}

void tst_MqttMessages::configFromJson()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, host);
    QFETCH(int, port);
    QFETCH(QString, prefix);
    QFETCH(double, rate);
    QFETCH(bool, enabled);
    QFETCH(int, problems);

    QStringList lines;
    const MqttConfig c = MqttConfig::fromJson(QJsonDocument::fromJson(json).object(), &lines);
    QCOMPARE(c.host, host);
    QCOMPARE(int(c.port), port);
    QCOMPARE(c.topicPrefix, prefix);
    QCOMPARE(c.rateLimit, rate);
    QCOMPARE(c.enabled, enabled);
    QCOMPARE(lines.size(), problems);
}

// A file loaded over a running configuration: what it cannot use keeps
// what the manager had, not the default.
void tst_MqttMessages::configBadValueKeepsCurrent()
{
    MqttConfig current;
    current.port = 8883;
    current.rateLimit = 4;
    current.host = QStringLiteral("broker.lan");
    QStringList lines;
    const MqttConfig c = MqttConfig::fromJson(
        QJsonDocument::fromJson(R"({"port":8883.5,"rateLimit":-2,"host":"other"})").object(), &lines, current);
    QCOMPARE(int(c.port), 8883);
    QCOMPARE(c.rateLimit, 4.0);
    QCOMPARE(c.host, QStringLiteral("other"));
    QCOMPARE(lines.size(), 2);
    QVERIFY2(lines.at(0).contains(QLatin1String("\"port\"")) && lines.at(0).contains(QLatin1String("8883.5")),
             qPrintable(lines.at(0)));
}

void tst_MqttMessages::configRoundTrip()
{
    MqttConfig c;
    c.enabled = true;
    c.host = QStringLiteral("10.0.0.7");
    c.port = 8883;
    c.clientId = QStringLiteral("desk-1");
    c.username = QStringLiteral("ops");
    c.password = QStringLiteral("s3cr\u00e9t");
    c.tls = true;
    c.caFile = QStringLiteral("/etc/ssl/site-ca.pem");
    c.topicPrefix = QStringLiteral("plant/north");
    c.rateLimit = 4;
    QStringList problems;
    const QJsonObject saved = QJsonDocument::fromJson(QJsonDocument(c.toJson()).toJson()).object();
    QCOMPARE(MqttConfig::fromJson(saved, &problems), c);
    QVERIFY(problems.isEmpty());
    QVERIFY(!MqttConfig().sameConnection(c));
    MqttConfig faster = c;
    faster.rateLimit = 10;
    QVERIFY(faster.sameConnection(c));
    QVERIFY(faster != c);
    QCOMPARE(c.effectiveClientId(), QStringLiteral("desk-1"));
    QVERIFY(MqttConfig().effectiveClientId().startsWith(QStringLiteral("sentrova-manager-")));
}

void tst_MqttMessages::parseBroker_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("port");

    QTest::newRow("host only") << "broker.lan" << true << "broker.lan" << 1883;
    QTest::newRow("host and port") << "10.1.2.3:1884" << true << "10.1.2.3" << 1884;
    QTest::newRow("bracketed v6 with port") << "[::1]:8883" << true << "::1" << 8883;
    QTest::newRow("bracketed v6") << "[fe80::1]" << true << "fe80::1" << 1883;
    QTest::newRow("bare v6") << "fe80::1" << true << "fe80::1" << 1883;
    QTest::newRow("empty") << "" << false << "" << 0;
    QTest::newRow("port only") << ":1883" << false << "" << 0;
    QTest::newRow("empty port") << "host:" << false << "" << 0;
    QTest::newRow("port zero") << "host:0" << false << "" << 0;
    QTest::newRow("port too big") << "host:70000" << false << "" << 0;
    QTest::newRow("port not a number") << "host:mqtt" << false << "" << 0;
    QTest::newRow("unclosed bracket") << "[::1:1883" << false << "" << 0;
    QTest::newRow("junk after bracket") << "[::1]x" << false << "" << 0;
}

void tst_MqttMessages::parseBroker()
{
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(QString, host);
    QFETCH(int, port);

    QString h = QStringLiteral("unchanged");
    quint16 p = 7;
    QCOMPARE(MqttConfig::parseBroker(text, &h, &p), ok);
    QCOMPARE(h, ok ? host : QStringLiteral("unchanged"));
    QCOMPARE(int(p), ok ? port : 7);
}

QTEST_GUILESS_MAIN(tst_MqttMessages)
#include "tst_mqttmessages.moc"
