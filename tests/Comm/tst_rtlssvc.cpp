#include "Comm/HubProbe.h"
#include "RtlsNodeConfig.h"
#include "RtlsObject.h"
#include "RtlsPos.h"
#include "SvcClient.h"

#include <QJsonArray>

namespace {

QList<QByteArray> lines(std::initializer_list<const char *> texts)
{
    QList<QByteArray> out;
    for (const char *text : texts)
        out.append(QByteArray(text));
    return out;
}

QList<QJsonObject> objects(std::initializer_list<const char *> texts)
{
    QList<QJsonObject> out;
    for (const char *text : texts)
        out.append(HubProbe::parse(text));
    return out;
}

quint32 ipv4(const char *text)
{
    return QHostAddress(QString::fromLatin1(text)).toIPv4Address();
}

} // namespace

class tst_RtlsSvc : public QObject
{
    Q_OBJECT

    HubProbe *probe = nullptr;
    LineServer *master = nullptr;

    RtlsSvc *svc() const { return probe->hub->svc(); }

    void feed(const QList<QByteArray> &input)
    {
        for (const QByteArray &line : input)
            svc()->processMessage(line);
    }

    // One observable value of the hub, by name.
    QString look(const QString &what)
    {
        SentrovaInterface *hub = probe->hub;
        const QStringList parts = what.split(' ');
        const QString name = parts.value(0);
        const uint64_t arg = parts.value(1).toULongLong(nullptr, 16);
        if (name == "masterId")
            return QString::number(hub->masterId(), 16);
        if (name == "scheme")
            return QString::number(hub->tdmaScheme());
        if (name == "format")
            return hub->outDataFormat();
        if (name == "seat")
            return hub->node(arg) ? QString::number(hub->node(arg)->seat()) : "absent";
        if (name == "node") {
            RtlsObject *node = hub->node(arg);
            if (!node)
                return "absent";
            return QStringList{node->mode(), node->category(),
                               hub->isAnchor(arg) ? "anchors" : "others"}.join(' ');
        }
        if (name == "cfg") {
            RtlsNodeConfig *config = hub->findNodeConfig(parts.value(1).toInt());
            if (!config)
                return "absent";
            int copies = 0;
            for (int i = 0; i < hub->countNodeConfigs(); ++i)
                copies += hub->getNodeConfig(i)->cfgId() == config->cfgId();
            return QStringLiteral("%1 %2 %3").arg(config->mode()).arg(config->msecTsync()).arg(copies);
        }
        return "unknown probe " + what;
    }

private slots:
    void initTestCase()
    {
        qRegisterMetaType<RtlsObject *>();
        probe = new HubProbe;
        master = new LineServer;
        QVERIFY(probe->connectMaster(*master));
        QCOMPARE(master->lines(0), lines({R"({"command":"listAnchors"})", R"({"command":"listNodeConfig"})",
                                          R"({"command":"getTdmaScheme"})"}));
        master->clearLines();
        QCOMPARE(probe->consoleLines().mid(0, 2),
                 (QStringList{"Master detected at 127.0.0.1", "Request master to send all anchors"}));
    }

    void init()
    {
        if (svc()->displayMessages())
            svc()->toggleDisplayMessages();
        probe->consoleLines();
    }

    void responses_data()
    {
        QTest::addColumn<QList<QByteArray>>("input");
        QTest::addColumn<QString>("what");
        QTest::addColumn<QString>("expected");

        QTest::newRow("version keeps low 16 bits of the id")
            << lines({R"({"response":"version","id":"0x1234A"})"}) << "masterId" << "234a";
        QTest::newRow("tdma scheme")
            << lines({R"({"response":"getTdmaScheme","scheme":3})"}) << "scheme" << "3";
        QTest::newRow("tdma scheme missing is 0")
            << lines({R"({"response":"getTdmaScheme","scheme":3})", R"({"response":"getTdmaScheme"})"})
            << "scheme" << "0";
        QTest::newRow("output data format")
            << lines({R"({"response":"getOutDataFormat","outDataFormat":"tlv"})"}) << "format" << "tlv";
        QTest::newRow("seat of a known node")
            << lines({R"({"tags":[{"id":"0x0110"}]})", R"({"response":"getSeat","id":"0x0110","seat":7})"})
            << "seat 0110" << "7";
        QTest::newRow("seat from tdma details")
            << lines({R"({"tags":[{"id":"0x0111"}]})",
                      R"({"response":"tdmaDetails","id":"0x0111","clusterDetails":{"seat":5}})"})
            << "seat 0111" << "5";
        QTest::newRow("tdma details without cluster")
            << lines({R"({"tags":[{"id":"0x0112"}]})", R"({"response":"getSeat","id":"0x0112","seat":4})",
                      R"({"response":"tdmaDetails","id":"0x0112"})"})
            << "seat 0112" << "-1";
        QTest::newRow("anchor list adds anchors")
            << lines({R"({"response":"listAnchors","anchors":[{"id":"0x0120"},{"id":"0x0121"}]})"})
            << "node 0121" << "anchor anchor anchors";
        QTest::newRow("stale anchor leaves the registry")
            << lines({R"({"response":"listAnchors","anchors":[{"id":"0x0122"},{"id":"0x0123"}]})",
                      R"({"response":"listAnchors","anchors":[{"id":"0x0122"}]})"})
            << "node 0123" << "absent";
        QTest::newRow("listed anchor stays")
            << lines({R"({"response":"listAnchors","anchors":[{"id":"0x0124"},{"id":"0x0125"}]})",
                      R"({"response":"listAnchors","anchors":[{"id":"10124"}]})"})
            << "node 0124" << "anchor anchor anchors";
        QTest::newRow("tag list")
            << lines({R"({"tags":[{"id":"0x0130"}]})"}) << "node 0130" << "tag tag others";
        QTest::newRow("category set keeps the mode")
            << lines({R"({"tags":[{"id":"0x0131"}]})", R"({"anchors":[{"id":"0x0131"}]})"})
            << "node 0131" << "tag tag others";
        QTest::newRow("id wider than 16 bits, no prefix")
            << lines({R"({"id":"10132","nodeOptions":"2"})"}) << "node 0132" << "anchor  anchors";
        QTest::newRow("id 10000 is ignored")
            << lines({R"({"tags":[{"id":"10000"}]})"}) << "node 10000" << "absent";
        QTest::newRow("id that is not hexadecimal")
            << lines({R"({"tags":[{"id":"zz"}]})"}) << "node 0" << "absent";
        QTest::newRow("node configuration list")
            << lines({R"({"response":"listNodeConfig","nodeConfig":[{"cfgId":"21","nodeOptions":"tdoa"},7]})"})
            << "cfg 21" << "tdoa 120000 1";
        QTest::newRow("configuration named by id")
            << lines({R"({"nodeConfig":[{"id":22,"msecTsync":5000}]})"}) << "cfg 22" << "twr 5000 1";
        QTest::newRow("configuration updated in place")
            << lines({R"({"cfgId":23,"mode":"twr2"})", R"({"cfgId":"23","msecTsync":"9"})"})
            << "cfg 23" << "twr2 9 1";
        QTest::newRow("configuration number 0 untouched by another")
            << lines({R"({"cfgId":0,"mode":"zero"})", R"({"nodeConfig":[{"id":"24"}]})"})
            << "cfg 0" << "zero 120000 1";
    }
    void responses()
    {
        QFETCH(QList<QByteArray>, input);
        QFETCH(QString, what);
        QFETCH(QString, expected);
        feed(input);
        QCOMPARE(look(what), expected);
    }

    void consoleAndSignals_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QStringList>("console");
        QTest::addColumn<int>("svcData");

        QJsonParseError error;
        QJsonDocument::fromJson("{bad", &error);
        QTest::newRow("parse error") << QByteArray("{bad")
            << QStringList{QStringLiteral("SVC_IN: PARSE ERRROR %1 - {bad ").arg(error.errorString())} << 0;
        QTest::newRow("not an object") << QByteArray("[1,2]")
            << QStringList{"SVC_IN: JSON structure mismatch - [1,2]) "} << 0;
        QTest::newRow("ping answer") << QByteArray(R"({"response":"ping"})") << QStringList() << 0;
        QTest::newRow("empty line") << QByteArray() << QStringList() << 0;
        QTest::newRow("any object reaches the tools") << QByteArray(R"({"response":"whatever"})")
            << QStringList() << 1;
    }
    void consoleAndSignals()
    {
        QFETCH(QByteArray, line);
        QFETCH(QStringList, console);
        QFETCH(int, svcData);
        QSignalSpy data(probe->hub, &SentrovaInterface::svcDataReceived);
        svc()->processMessage(line);
        QCOMPARE(probe->consoleLines(), console);
        QCOMPARE(data.count(), svcData);
    }

    void responseSignals()
    {
        SentrovaInterface *hub = probe->hub;
        QSignalSpy delays(hub, &SentrovaInterface::newAntennaDelays);
        QSignalSpy scheme(hub, &SentrovaInterface::tdmaSchemeChanged);
        QSignalSpy anchors(hub, &SentrovaInterface::anchorListUpdated);
        QSignalSpy added(hub, &SentrovaInterface::nodeAddedSignal);
        QSignalSpy updated(hub, &SentrovaInterface::nodeUpdatedSignal);

        feed(lines({R"({"response":"getUwbAntConfig","id":"0x10140","txDelay":"16400","rxDelay":16500})",
                    R"({"response":"getUwbAntConfig","id":"0x0141","rxDelay":"abc"})",
                    R"({"response":"getTdmaScheme","scheme":2})"}));
        QCOMPARE(delays.count(), 2);
        QCOMPARE(delays.at(0).at(0).value<uint64_t>(), uint64_t(0x140));
        QCOMPARE(delays.at(0).at(1).value<uint16_t>(), uint16_t(16400));
        QCOMPARE(delays.at(0).at(2).value<uint16_t>(), uint16_t(16500));
        QCOMPARE(delays.at(1).at(1).value<uint16_t>(), uint16_t(16515));
        QCOMPARE(scheme.count(), 1);
        QCOMPARE(scheme.at(0).at(0).toInt(), 2);

        // A new anchor is added once, then only updated; both announce the
        // anchor list. The getUwbAntConfig answers carried ids too.
        added.clear();
        updated.clear();
        anchors.clear();
        feed(lines({R"({"anchors":[{"id":"0x0142"}]})", R"({"anchors":[{"id":"0x0142"}]})"}));
        QCOMPARE(added.count(), 1);
        QCOMPARE(updated.count(), 1);
        QCOMPARE(anchors.count(), 2);
    }

    void followUpRequests_data()
    {
        QTest::addColumn<QList<QByteArray>>("before");
        QTest::addColumn<quint32>("nodeFlags");
        QTest::addColumn<int>("positionFlags");
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QList<QJsonObject>>("sent");

        QTest::newRow("new tag asks for details") << QList<QByteArray>() << 0u << -1
            << QByteArray(R"({"tags":[{"id":"0x0150"}]})")
            << objects({R"({"command":"getDetails","id":"0x0150"})"});
        QTest::newRow("new anchor asks for details and distances") << QList<QByteArray>() << 0u << -1
            << QByteArray(R"({"anchors":[{"id":"0x0151"}]})")
            << objects({R"({"command":"getDetails","id":"0x0151"})", R"({"command":"getDist","id":"0x0151"})"});
        QTest::newRow("node options known: no details") << QList<QByteArray>() << 0u << -1
            << QByteArray(R"({"id":"0x0152","nodeOptions":"0x2"})")
            << objects({R"({"command":"getDist","id":"0x0152"})"});
        QTest::newRow("known node asks nothing") << lines({R"({"tags":[{"id":"0x0153"}]})"}) << 0u << -1
            << QByteArray(R"({"tags":[{"id":"0x0153"}]})") << QList<QJsonObject>();
        QTest::newRow("node asking for its position gets it")
            << lines({R"({"anchors":[{"id":"0x0154","coordinates":{"x":1.23456,"y":-2}}]})"})
            << 0x40000000u << -1 << QByteArray(R"({"id":"0x0154"})")
            << objects({R"({"command":"setPos","id":"0x0154","x":1.235,"y":-2})"});
        QTest::newRow("position push only for anchors")
            << lines({R"({"tags":[{"id":"0x0155","coordinates":{"x":1}}]})"})
            << 0x40000000u << -1 << QByteArray(R"({"id":"0x0155"})") << QList<QJsonObject>();
        QTest::newRow("position without flags is requested")
            << lines({R"({"tags":[{"id":"0x0156"}]})"}) << 0u << 0 << QByteArray(R"({"id":"0x0156"})")
            << objects({R"({"command":"getPos","id":"0x0156"})"});
    }
    void followUpRequests()
    {
        QFETCH(QList<QByteArray>, before);
        QFETCH(quint32, nodeFlags);
        QFETCH(int, positionFlags);
        QFETCH(QByteArray, line);
        QFETCH(QList<QJsonObject>, sent);

        feed(before);
        const uint64_t id = HubProbe::parse(line).contains("id")
            ? HubProbe::parse(line).value("id").toString().toULongLong(nullptr, 16)
            : 0;
        RtlsObject *node = probe->hub->node(id);
        if (nodeFlags)
            node->setFlags(nodeFlags);
        if (positionFlags >= 0)
            node->pos()->setFlags(uint32_t(positionFlags));
        probe->sentSinceLastCall(*master);

        svc()->processMessage(line);
        QCOMPARE(probe->sentSinceLastCall(*master, sent.size()), sent);
        if (node)
            QCOMPARE(node->flags() & 0x40000000u, 0u);
    }

    // A settings file's "coordinates" are pushed to the anchor when its
    // master lists it, but only when they hold an axis: anything else would
    // send "auto" over what the master has learnt.
    // A settings file's "coordinates" are pushed to the anchor when its
    // master lists it: only the axes they hold (an axis they do not hold
    // would go out as "auto" over what the master has learnt), and only
    // when the master does not list the same already.
    void settingsFilePushesOnlyCoordinatesItHolds_data()
    {
        QTest::addColumn<QString>("id");
        QTest::addColumn<QJsonValue>("saved");
        QTest::addColumn<QJsonValue>("listed");
        QTest::addColumn<QList<QJsonObject>>("sent");

        const QJsonValue none(QJsonValue::Undefined);
        const QJsonObject full{{"x", 1.5}, {"y", -2}, {"z", 3.25}};
        QTest::newRow("all axes") << "0x0161" << QJsonValue(full) << none
            << objects({R"({"command":"setPos","id":"0x0161","x":1.5,"y":-2,"z":3.25})"});
        QTest::newRow("one axis, only that one") << "0x0162" << QJsonValue(QJsonObject{{"y", 4}}) << none
            << objects({R"({"command":"setPos","id":"0x0162","y":4})"});
        QTest::newRow("empty object") << "0x0163" << QJsonValue(QJsonObject{}) << none << QList<QJsonObject>();
        QTest::newRow("no axis a number") << "0x0164" << QJsonValue(QJsonObject{{"x", "1.5"}, {"z", QJsonValue()}})
            << none << QList<QJsonObject>();
        QTest::newRow("not an object") << "0x0165" << QJsonValue(QJsonArray{1, 2, 3}) << none << QList<QJsonObject>();
        QTest::newRow("absent") << "0x0166" << none << none << QList<QJsonObject>();
        QTest::newRow("the master lists the same") << "0x0167" << QJsonValue(full)
            << QJsonValue(QJsonObject{{"x", 1.5004}, {"y", -2}, {"z", 3.25}}) << QList<QJsonObject>();
        QTest::newRow("the master lists another") << "0x0168" << QJsonValue(full)
            << QJsonValue(QJsonObject{{"x", 1.502}, {"y", -2}, {"z", 3.25}})
            << objects({R"({"command":"setPos","id":"0x0168","x":1.5,"y":-2,"z":3.25})"});
        QTest::newRow("the master knows an axis more") << "0x0169" << QJsonValue(QJsonObject{{"x", 1.5}, {"y", -2}})
            << QJsonValue(full) << QList<QJsonObject>();
        QTest::newRow("the master knows another axis") << "0x016A" << QJsonValue(QJsonObject{{"x", 1.5}})
            << QJsonValue(QJsonObject{{"y", 7}}) << objects({R"({"command":"setPos","id":"0x016A","x":1.5})"});
    }
    void settingsFilePushesOnlyCoordinatesItHolds()
    {
        QFETCH(QString, id);
        QFETCH(QJsonValue, saved);
        QFETCH(QJsonValue, listed);
        QFETCH(QList<QJsonObject>, sent);

        QJsonObject element{{"id", id}, {"mode", "anchor"}};
        if (!saved.isUndefined())
            element.insert("coordinates", saved);
        probe->hub->fromJSON(QJsonObject{{"node", QJsonArray{element}}});
        probe->sentSinceLastCall(*master);

        QJsonObject node{{"id", id}};
        if (!listed.isUndefined())
            node.insert("coordinates", listed);
        svc()->processMessage(QJsonDocument(QJsonObject{{"anchors", QJsonArray{node}}}).toJson(QJsonDocument::Compact));
        QCOMPARE(probe->sentSinceLastCall(*master, sent.size()), sent);
        QCOMPARE(probe->hub->node(id.toULongLong(nullptr, 16))->flags() & 0x40000000u, 0u);
    }

    void echoNumberingIsShared()
    {
        svc()->toggleDisplayMessages();
        probe->hub->listTags();
        QTRY_VERIFY(probe->console.count() >= 2);
        const QStringList out = probe->consoleLines();
        QCOMPARE(out.first(), QStringLiteral("Request masters to send all tags"));
        QVERIFY2(out.at(1).startsWith("SVC_OUT ") && out.at(1).endsWith(") {\"command\":\"listTags\"}"),
                 qPrintable(out.at(1)));
        const int number = out.at(1).mid(8, out.at(1).indexOf(')') - 8).toInt();

        // The answer to a ping is neither shown nor counted.
        master->sendAll("{\"response\":\"ping\"}\n{\"response\":\"listTags\",\"tags\":[]}\n");
        QTRY_COMPARE(probe->console.count(), 1);
        QCOMPARE(probe->consoleLines(),
                 QStringList{QStringLiteral("SVC_IN: %1) {\"response\":\"listTags\",\"tags\":[]}").arg(number + 1)});
    }

    void greetingOncePerAddress()
    {
        probe->sentSinceLastCall(*master);
        svc()->masterDetected(loopbackAddress());
        QCOMPARE(svc()->clientCount(), 1);
        QCOMPARE(probe->sentSinceLastCall(*master), QList<QJsonObject>());
        QCOMPARE(master->peerCount(), 1);
        QCOMPARE(probe->consoleLines(), QStringList());
    }

    void providedAddressIsAnnounced()
    {
        LineServer second;
        QVERIFY(second.listen(QHostAddress("127.0.0.2"), 0));
        svc()->setServicePort(second.serverPort());
        svc()->connectToRtlsSvcIpAddr(ipv4("127.0.0.2"));
        QTRY_COMPARE(second.lineCount(), 3);
        QCOMPARE(probe->consoleLines(),
                 (QStringList{"Connecting to the master using provided IP address 127.0.0.2",
                              "Master detected at 127.0.0.2", "Request master to send all anchors"}));
        QCOMPARE(svc()->sendSvc(QJsonDocument(HubProbe::parse(R"({"command":"both"})"))), 2);
        QTRY_COMPARE(second.lineCount(), 4);
        QCOMPARE(second.lines().last(), QByteArray(R"({"command":"both"})"));

        // The master goes away: its client is dropped, the other stays.
        second.peer(0)->abort();
        QTRY_COMPARE(svc()->clientCount(), 1);
        const QStringList gone = probe->consoleLines();
        QCOMPARE(gone.size(), 2);
        QVERIFY(gone.first().startsWith("Error on SVC Client: "));
        QCOMPARE(gone.last(), QStringLiteral("Master at 127.0.0.2 has disconnected."));
    }

    void refusedConnectionIsRetriedSilently()
    {
        QTcpServer reserve;
        QVERIFY(reserve.listen(QHostAddress("127.0.0.3"), 0));
        const quint16 port = reserve.serverPort();
        reserve.close();
        svc()->setServicePort(port);
        svc()->masterDetected(ipv4("127.0.0.3"));
        SvcClient *client = svc()->client(ipv4("127.0.0.3"));
        QVERIFY(client);
        QSignalSpy errors(client, &SvcClient::error);
        QTRY_VERIFY(errors.count() >= 3);
        QCOMPARE(svc()->clientCount(), 2);
        QCOMPARE(probe->consoleLines(),
                 (QStringList{"Master detected at 127.0.0.3", "Request master to send all anchors"}));

        LineServer *late = new LineServer(this);
        QVERIFY(late->listen(QHostAddress("127.0.0.3"), port));
        QTRY_COMPARE(late->lineCount(), 3);
    }

    void overlongLineIsReported()
    {
        QByteArray flood(2 * 1024 * 1024, ' ');
        master->sendAll(flood);
        master->sendAll("\n{\"response\":\"after\"}\n");
        QSignalSpy data(probe->hub, &SentrovaInterface::svcDataReceived);
        QTRY_COMPARE_WITH_TIMEOUT(data.count(), 1, 20000);
        const QStringList console = probe->consoleLines();
        QCOMPARE(console.size(), 1);
        QVERIFY2(console.first().startsWith("SVC_IN: dropped a line longer than 1048576 bytes from the master at 127.0.0.1"), qPrintable(console.first()));
    }

    // What the map's "no master" note follows; the address a user named is
    // the one a save of the settings writes.
    void linkCountFollowsTheMasters()
    {
        SentrovaInterface *hub = probe->hub;
        const int before = hub->connectedMasterCount();
        QCOMPARE(before, svc()->clientCount());
        LineServer named;
        QVERIFY(named.listen(QHostAddress("127.0.0.4"), 0));
        svc()->setServicePort(named.serverPort());
        QSignalSpy links(hub, &SentrovaInterface::masterLinksChanged);
        hub->connectToMaster(ipv4("127.0.0.4"));
        QTRY_COMPARE(named.lineCount(), 3);
        QTRY_COMPARE(hub->connectedMasterCount(), before + 1);
        QCOMPARE(links.last().at(0).toInt(), before + 1);
        QCOMPARE(hub->masterAddress(), QStringLiteral("127.0.0.4"));
        QCOMPARE(hub->toJSON(QJsonObject()).value("master").toObject().value("ip").toString(),
                 QStringLiteral("127.0.0.4"));

        named.peer(0)->abort();
        QTRY_COMPARE(hub->connectedMasterCount(), before);
        QCOMPARE(links.last().at(0).toInt(), before);
        probe->consoleLines();
    }

    void lastMasterGoneRescans()
    {
        QSignalSpy rescan(svc(), &RtlsSvc::scanMasterSignal);
        const int masters = svc()->clientCount();
        QVERIFY(masters > 0);
        svc()->closeAll();
        QTRY_COMPARE(svc()->clientCount(), 0);
        QCOMPARE(probe->hub->connectedMasterCount(), 0);
        QCOMPARE(rescan.count(), 1);
        const QStringList console = probe->consoleLines();
        QCOMPARE(console.count("Error on SVC Client: Connection closed on request"), masters);
        QCOMPARE(console.count("No Masters left. Rescanning for masters..."), 1);
        // The rescan starts discovery at once.
        const int rescanLine = console.indexOf("No Masters left. Rescanning for masters...");
        QCOMPARE(console.value(rescanLine + 1), QStringLiteral("mDNS query for _svc_sentrova._tcp.local."));
        QCOMPARE(svc()->sendSvc(QJsonDocument(HubProbe::parse(R"({"command":"x"})"))), 0);
    }
};

QTEST_GUILESS_MAIN(tst_RtlsSvc)
#include "tst_rtlssvc.moc"
