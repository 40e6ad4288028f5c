#include "Comm/HubProbe.h"
#include "RtlsNodeConfig.h"
#include "RtlsObject.h"

#include <functional>

using Command = std::function<void(SentrovaInterface *)>;
Q_DECLARE_METATYPE(Command)

namespace {

QList<QJsonObject> objects(std::initializer_list<const char *> texts)
{
    QList<QJsonObject> out;
    for (const char *text : texts)
        out.append(HubProbe::parse(text));
    return out;
}

using Hub = SentrovaInterface;

void row(const char *name, const Command &command, std::initializer_list<const char *> sent,
         const QStringList &console = QStringList())
{
    QTest::newRow(name) << command << objects(sent) << console;
}

} // namespace

class tst_Commands : public QObject
{
    Q_OBJECT

    HubProbe *probe = nullptr;
    LineServer *master = nullptr;

private slots:
    void initTestCase()
    {
        probe = new HubProbe;
        master = new LineServer(this);
        QVERIFY(probe->connectMaster(*master));
        RtlsSvc *svc = probe->hub->svc();
        svc->toggleDisplayMessages();
        // The nodes that setAnchorPosition works on: an anchor with only x
        // known, a master with all three, an anchor with none, and a tag.
        svc->processMessage(R"({"anchors":[{"id":"0x0A01","coordinates":{"x":1.23456}}]})");
        svc->processMessage(R"({"id":"0x0A02","nodeOptions":"0x4","coordinates":{"x":-1.2346,"y":2,"z":3.0004}})");
        svc->processMessage(R"({"anchors":[{"id":"0x0A03"}]})");
        svc->processMessage(R"({"tags":[{"id":"0x0A04","coordinates":{"x":1,"y":1,"z":1}}]})");
        probe->sentSinceLastCall(*master);
    }

    void init()
    {
        probe->consoleLines();
    }

    void commands_data()
    {
        QTest::addColumn<Command>("command");
        QTest::addColumn<QList<QJsonObject>>("sent");
        QTest::addColumn<QStringList>("console");

        row("discoverLegacy", [](Hub *h) { h->discoverLegacy(); }, {R"({"command":"discoverLegacy"})"},
            {"Turning on Legacy mode for Discovery for a short period"});
        row("checkFwUpdate", [](Hub *h) { h->checkFwUpdate(); }, {R"({"command":"checkFwUpdate"})"},
            {"Request master to check for new firmware"});
        row("forceFwUpdate all-ones id", [](Hub *h) { h->forceFwUpdate(~uint64_t(0)); },
            {R"({"command":"forceFwUpdate","id":"0xFFFFFFFFFFFFFFFF"})"},
            {"Request node FFFFFFFFFFFFFFFF to check for new firmware"});
        row("scanInfra", [](Hub *h) { h->scanInfra(); }, {R"({"command":"scanInfra"})"},
            {"Request master to scan infrastructure"});
        row("scanInfraWithCount", [](Hub *h) { h->scanInfraWithCount(12); }, {R"({"command":"scanInfra","cnt":12})"},
            {"Request master to scan infrastructure with count 12"});
        row("getVersion", [](Hub *h) { h->getVersion(); }, {R"({"command":"version"})"});
        row("listTags", [](Hub *h) { h->listTags(); }, {R"({"command":"listTags"})"},
            {"Request masters to send all tags"});
        row("listAnchors", [](Hub *h) { h->listAnchors(); }, {R"({"command":"listAnchors"})"},
            {"Request masters to send all anchors"});
        row("autoPosApply asks for anchors later", [](Hub *h) { h->autoPosApply(); },
            {R"({"command":"setAutoPos","coordinates":"auto"})", R"({"command":"listAnchors"})"},
            {"Apply auto positioning", "Request masters to send all anchors"});
        row("setNewSess", [](Hub *h) { h->setNewSess(); }, {R"({"command":"newSess"})"});
        row("removeAnchors", [](Hub *h) { h->removeAnchors(); }, {R"({"command":"removeAnchors"})"});
        row("removeAnchorCoordinates", [](Hub *h) { h->removeAnchorCoordinates(); },
            {R"({"command":"removeAnchorCoor"})"});
        row("getDetails padded id", [](Hub *h) { h->getDetails(0x1a2); }, {R"({"command":"getDetails","id":"0x01A2"})"});
        row("getRoles", [](Hub *h) { h->getRoles(5); }, {R"({"command":"getRoles","id":"0x0005"})"});
        row("getParent", [](Hub *h) { h->getParent(0x12345); }, {R"({"command":"getParent","id":"0x12345"})"});
        row("getTdmaDetails", [](Hub *h) { h->getTdmaDetails(1); }, {R"({"command":"getTdmaDetails","id":"0x0001"})"});
        row("getStats", [](Hub *h) { h->getStats(1); }, {R"({"command":"getStats","id":"0x0001"})"});
        row("getDistances", [](Hub *h) { h->getDistances(1); }, {R"({"command":"getDist","id":"0x0001"})"});
        row("getPosition", [](Hub *h) { h->getPosition(1); }, {R"({"command":"getPos","id":"0x0001"})"});
        row("setRoles", [](Hub *h) { h->setRoles(2, 0x1F); }, {R"({"command":"setRoles","id":"0x0002","roles":"0x001F"})"});
        row("addRoles", [](Hub *h) { h->addRoles(2, 0xABCDE); }, {R"({"command":"addRoles","id":"0x0002","roles":"0xABCDE"})"});
        row("removeRoles", [](Hub *h) { h->removeRoles(2, 0); }, {R"({"command":"removeRoles","id":"0x0002","roles":"0x0000"})"});
        row("getSeat", [](Hub *h) { h->getSeat(3); }, {R"({"command":"getSeat","id":"0x0003"})"});
        row("setSeat decimal string", [](Hub *h) { h->setSeat(3, 42); }, {R"({"command":"setSeat","id":"0x0003","seat":"42"})"});
        row("getFreeMask", [](Hub *h) { h->getFreeMask(3); }, {R"({"command":"getFreeMask","id":"0x0003"})"});
        row("setSensorOutput", [](Hub *h) { h->setSensorOutput(3, "imu"); },
            {R"({"command":"sensOut","id":"0x0003","mode":"imu"})"});
        row("getAntennaDelays", [](Hub *h) { h->getAntennaDelays(3); }, {R"({"command":"getUwbAntConfig","id":"0x0003"})"});
        row("setAntennaDelays numbers", [](Hub *h) { h->setAntennaDelays(3, 16400, 65535); },
            {R"({"command":"setUwbAntConfig","id":"0x0003","txDelay":16400,"rxDelay":65535})"});
        row("getTdmaScheme", [](Hub *h) { h->getTdmaScheme(); }, {R"({"command":"getTdmaScheme"})"});
        row("setTdmaScheme number", [](Hub *h) { h->setTdmaScheme(2); }, {R"({"command":"setTdmaScheme","scheme":2})"});
        row("getMode", [](Hub *h) { h->getMode(4); }, {R"({"command":"getMode","id":"0x0004"})"});
        row("setMode text unchanged", [](Hub *h) { h->setMode(4, "Anchor X"); },
            {R"({"command":"setMode","id":"0x0004","mode":"Anchor X"})"});
        row("setUwbChannel", [](Hub *h) { h->setUwbChannel(5); }, {R"({"command":"setUwbConfig","chan":5})"});
        row("sendUserText", [](Hub *h) { h->sendUserText(4, 3, "hi \"there\""); },
            {"{\"command\":\"setUserData\",\"id\":\"0x0004\",\"type\":\"3\",\"text\":\"hi \\\"there\\\"\"}"});
        row("setGroup negative", [](Hub *h) { h->setGroup(4, -1); }, {R"({"command":"setGroup","id":"0x0004","group":"-1"})"});
        row("setParentAnchor", [](Hub *h) { h->setParentAnchor(4, "0x0A01"); },
            {R"({"command":"setParent","id":"0x0004","parent":"0x0A01","group":"0x0A01"})"});
        row("getOutDataFormat", [](Hub *h) { h->getOutDataFormat(); }, {R"({"command":"getOutDataFormat"})"});
        row("setOutDataFormat", [](Hub *h) { h->setOutDataFormat("tlv"); },
            {R"({"command":"setOutDataFormat","outDataFormat":"tlv"})"});
        row("getNodeConfigList", [](Hub *h) { h->getNodeConfigList(); }, {R"({"command":"listNodeConfig"})"});
        row("setDigitalIO masks", [](Hub *h) { h->setDigitalIO(6, 0xA, 0xFF, 0, 3, 250); },
            {R"({"command":"setDio8","id":"0x0006","setMask":"0x0a","clearMask":"0xff","toggleMask":"0x00",)"
             R"("toggleCount":"3","toggleWait":"250"})"});
        row("getToFCompensation sends an empty object", [](Hub *h) { h->getToFCompensation(); }, {"{}"});
        row("setToFCompensation sends an empty object", [](Hub *h) { h->setToFCompensation(1.5); }, {"{}"});
        row("setAnchorPosition x and y of an anchor knowing x", [](Hub *h) { h->setAnchorPosition(0xA01, 96); },
            {R"({"command":"setPos","id":"0x0A01","x":1.235,"y":"auto"})"});
        row("setAnchorPosition z only", [](Hub *h) { h->setAnchorPosition(0xA01, 128); },
            {R"({"command":"setPos","id":"0x0A01","z":"auto"})"});
        row("setAnchorPosition master, all axes rounded", [](Hub *h) { h->setAnchorPosition(0xA02); },
            {R"({"command":"setPos","id":"0x0A02","x":-1.235,"y":2,"z":3})"});
        row("setAnchorPosition never placed", [](Hub *h) { h->setAnchorPosition(0xA03, 224); },
            {R"({"command":"setPos","id":"0x0A03","x":"auto","y":"auto","z":"auto"})"});
        row("setAnchorPosition of a tag sends nothing", [](Hub *h) { h->setAnchorPosition(0xA04, 224); }, {});
        row("setAnchorPosition of an unknown node sends nothing", [](Hub *h) { h->setAnchorPosition(0xBEEF); }, {});
        row("sendJson", [](Hub *h) { h->sendJson(HubProbe::parse(R"({"command":"custom","a":[1]})")); },
            {R"({"command":"custom","a":[1]})"});
        row("sendJsonString", [](Hub *h) { h->sendJsonString(R"( {"command":"typed"} )"); },
            {R"({"command":"typed"})"});
        row("sendJsonString rejects bad text", [](Hub *h) { h->sendJsonString("{\"command\":\n   oops"); }, {},
            {"Cannot send JSON message: {\"command\": oops"});
        row("sendJsonString rejects nothing", [](Hub *h) { h->sendJsonString("   "); }, {},
            {"Cannot send JSON message: "});
    }
    void commands()
    {
        QFETCH(Command, command);
        QFETCH(QList<QJsonObject>, sent);
        QFETCH(QStringList, console);
        command(probe->hub);
        QCOMPARE(probe->sentSinceLastCall(*master, sent.size()), sent);
        QCOMPARE(probe->consoleLines(), console);
    }

    void requestsForEveryNode()
    {
        SentrovaInterface *hub = probe->hub;
        QSet<QString> details, distances;
        hub->getAllDetails();
        hub->getAllDistances();
        const QList<QJsonObject> sent = probe->sentSinceLastCall(*master);
        for (const QJsonObject &obj : sent) {
            const QString command = obj.value("command").toString();
            if (command == "getDist")
                distances.insert(obj.value("id").toString());
            else
                details.insert(command + ' ' + obj.value("id").toString());
        }
        QCOMPARE(sent.size(), 4 * 3 + 3);
        QVERIFY(details.contains("getTdmaDetails 0x0A04"));
        QVERIFY(details.contains("getSeat 0x0A01"));
        QCOMPARE(distances, (QSet<QString>{"0x0A01", "0x0A02", "0x0A03"}));
    }

    void nodeConfigurations()
    {
        SentrovaInterface *hub = probe->hub;
        QSignalSpy changed(hub, &SentrovaInterface::nodeConfigListChanged);
        QCOMPARE(hub->setNodeConfig(nullptr), -1);

        RtlsNodeConfig *first = new RtlsNodeConfig;
        first->setCfgId(5);
        RtlsNodeConfig *other = new RtlsNodeConfig;
        other->setCfgId(6);
        QCOMPARE(hub->setNodeConfig(first), 0);
        QCOMPARE(hub->setNodeConfig(other), 1);
        QCOMPARE(hub->setNodeConfig(other), 1);

        // Same number, new record: the old entry gives way.
        RtlsNodeConfig *replacement = new RtlsNodeConfig;
        replacement->setCfgId(5);
        replacement->setMode("tdoa");
        QCOMPARE(hub->setNodeConfig(replacement), 1);
        QCOMPARE(hub->countNodeConfigs(), 2);
        QCOMPARE(hub->findNodeConfig(5), replacement);
        QCOMPARE(hub->getNodeConfig(0), other);
        QCOMPARE(hub->getNodeConfig(7), nullptr);
        QCOMPARE(changed.count(), 4);

        QJsonObject expected = replacement->toJSON();
        expected.insert("command", "setNodeConfig");
        // The repeated setNodeConfig of `other` is identical to the one still
        // waiting in the master's queue, so it is not queued again. Each
        // setNodeConfig asks for the list two seconds later; those requests
        // meet in the queue as one.
        const QList<QJsonObject> sent = probe->sentSinceLastCall(*master, 4);
        QCOMPARE(sent.size(), 4);
        QCOMPARE(sent.at(1).value("cfgId").toString(), QStringLiteral("6"));
        QCOMPARE(sent.mid(2, 1), QList<QJsonObject>{expected});
        QCOMPARE(sent.at(3), HubProbe::parse(R"({"command":"listNodeConfig"})"));

        QPointer<RtlsNodeConfig> gone(replacement);
        hub->deleteNodeConfig();
        QCOMPARE(hub->countNodeConfigs(), 0);
        QCOMPARE(changed.count(), 5);
        QCOMPARE(probe->sentSinceLastCall(*master), objects({R"({"command":"removeNodeConfig"})"}));
        QTRY_VERIFY(gone.isNull());
    }

    void everyMasterGetsEveryCommand()
    {
        LineServer second;
        QVERIFY(probe->connectMaster(second, QHostAddress("127.0.0.2")));
        master->clearLines();
        probe->hub->getStats(9);
        const QByteArray expected(R"({"command":"getStats","id":"0x0009"})");
        QTRY_VERIFY(second.lines().contains(expected));
        QTRY_VERIFY(master->lines().contains(expected));
    }

    void resetClosesEveryChannel_data()
    {
        QTest::addColumn<Command>("command");
        QTest::addColumn<QJsonObject>("sent");
        QTest::addColumn<QString>("console");
        QTest::newRow("resetMaster") << Command([](Hub *h) { h->resetMaster(); })
                                     << HubProbe::parse(R"({"command":"reset"})") << "Reseting master(s)";
        QTest::newRow("resetNode") << Command([](Hub *h) { h->resetNode(5); })
                                   << HubProbe::parse(R"({"command":"reset","id":"0x0005"})")
                                   << "Reseting node 0x0005";
    }
    void resetClosesEveryChannel()
    {
        QFETCH(Command, command);
        QFETCH(QJsonObject, sent);
        QFETCH(QString, console);
        RtlsSvc *svc = probe->hub->svc();
        svc->closeAll();
        QTRY_COMPARE(svc->clientCount(), 0);
        LineServer server;
        QVERIFY(probe->connectMaster(server));
        probe->consoleLines();
        QSignalSpy rescan(svc, &RtlsSvc::scanMasterSignal);

        command(probe->hub);
        QTRY_COMPARE(svc->clientCount(), 0);
        QTRY_COMPARE(server.disconnects(), 1);
        QCOMPARE(server.lines().mid(3), QList<QByteArray>{QJsonDocument(sent).toJson(QJsonDocument::Compact)});
        const QStringList lines = probe->consoleLines();
        QCOMPARE(lines.first(), console);
        const int rescanLine = lines.indexOf("No Masters left. Rescanning for masters...");
        QVERIFY(rescanLine > 0);
        QCOMPARE(lines.value(rescanLine + 1), QStringLiteral("mDNS query for _svc_sentrova._tcp.local."));
        QCOMPARE(rescan.count(), 1);
        QCOMPARE(svc->sendSvc(QJsonDocument(sent)), 0);
    }
};

QTEST_GUILESS_MAIN(tst_Commands)
#include "tst_commands.moc"
