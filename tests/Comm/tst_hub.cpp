// The hub's own behaviour: tag inactivity, the settings document both ways,
// and the master address a settings file names.
#include "Comm/HubProbe.h"
#include "Comm/LineServer.h"
#include "CommConstants.h"
#include "MqttPublisher.h"
#include "RtlsModelConstants.h"
#include "RtlsObject.h"
#include "RtlsPos.h"
#include "SentrovaInterface.h"

#include <QDateTime>
#include <QJsonArray>
#include <QSignalSpy>
#include <QtTest>

namespace {

QJsonObject anchorElement(const QString &id, double x, double y, double z)
{
    return QJsonObject{{"id", id},
                       {"name", "A " + id},
                       {"coordinates", QJsonObject{{"x", x}, {"y", y}, {"z", z}}}};
}

QJsonObject findNodeElement(const QJsonObject &doc, const QString &id)
{
    const QJsonArray nodes = doc.value("node").toArray();
    for (const QJsonValue &v : nodes)
        if (v.toObject().value("id").toString() == id)
            return v.toObject();
    return {};
}

} // namespace

class tst_Hub : public QObject
{
    Q_OBJECT

private slots:
    void inactivity_data();
    void inactivity();
    void inactiveTagReportedOnceUntilHeardAgain();
    void manyInactiveAtOnceFewLines();
    void newNodeWithoutModeIsAnAnchor();
    void coordinatesSurviveSaveWithoutMaster();
    void badValuesLoadWhatIsValid_data();
    void badValuesLoadWhatIsValid();
    void masterKeysKeptWhenSaving();
    void autoAddressConnectsNowhere_data();
    void autoAddressConnectsNowhere();
    void settingsAddressIsConnectedDirectly();
    void settingsAddressSurvivesSave();
    void mqttSettingsBothWays();
    void mqttSettingsNotAnObject();

private:
    SentrovaInterface *hub() { return SentrovaInterface::instance(); }
};

void tst_Hub::inactivity_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<qint64>("silentMs");
    QTest::addColumn<bool>("never");
    QTest::addColumn<bool>("reported");
    QTest::addColumn<quint32>("msgFlags");

    QTest::newRow("tag silent 10.1 s") << "tag" << qint64(10100) << false << true << 0u;
    QTest::newRow("tag silent 9.9 s") << "tag" << qint64(9900) << false << false << 0u;
    QTest::newRow("tag never heard") << "tag" << qint64(0) << true << false << 0u;
    QTest::newRow("anchor silent 60 s") << "anchor" << qint64(60000) << false << false << 0u;
    QTest::newRow("master silent 60 s") << "master" << qint64(60000) << false << false << 0u;
    // Made by one report and never heard again: never shown as active.
    QTest::newRow("tag heard once, silent 60 s") << "tag" << qint64(60000) << false << false << Rtls::kMsgHeardOnce;
    QTest::newRow("tag with details, silent 60 s")
        << "tag" << qint64(60000) << false << true << Rtls::kMsgDetailsPending;
}

void tst_Hub::inactivity()
{
    QFETCH(QString, mode);
    QFETCH(qint64, silentMs);
    QFETCH(bool, never);
    QFETCH(bool, reported);
    QFETCH(quint32, msgFlags);

    static uint64_t nextId = 0x7100;
    const uint64_t id = nextId++;
    auto *node = new RtlsObject(hub());
    node->setID(id);
    node->setMode(mode);
    node->setMsgFlags(msgFlags);
    node->setLastUpdate(never ? 0 : quint64(QDateTime::currentMSecsSinceEpoch() - silentMs));
    hub()->insertNonAnchor(node);

    QSignalSpy inactive(hub(), &SentrovaInterface::nodeInactiveSignal);
    QSignalSpy console(hub(), &SentrovaInterface::displayMessage);
    hub()->checkActivity();

    QCOMPARE(inactive.count(), reported ? 1 : 0);
    const QString line = QStringLiteral("node 0x%1 gone inactive").arg(id, 4, 16, QLatin1Char('0'));
    QCOMPARE(console.count(), reported ? 1 : 0);
    if (reported) {
        QCOMPARE(inactive.at(0).at(0).value<RtlsObject *>(), node);
        QCOMPARE(console.at(0).at(0).toString(), line);
    }
    // Whatever happened, the tag is not reported on the next round.
    node->setMode(QStringLiteral("offline"));
}

void tst_Hub::inactiveTagReportedOnceUntilHeardAgain()
{
    auto *node = new RtlsObject(hub());
    node->setID(0x7200);
    node->setMode(QStringLiteral("tag"));
    node->setLastUpdate(quint64(QDateTime::currentMSecsSinceEpoch() - 20000));
    hub()->insertNonAnchor(node);

    QSignalSpy inactive(hub(), &SentrovaInterface::nodeInactiveSignal);
    hub()->checkActivity();
    hub()->checkActivity();
    QCOMPARE(inactive.count(), 1);

    // A new report, then silence again: reported a second time.
    node->updateFromJson(QJsonObject{{"id", "0x7200"}});
    hub()->checkActivity();
    QCOMPARE(inactive.count(), 1);
    node->setLastUpdate(quint64(QDateTime::currentMSecsSinceEpoch() - 20000));
    hub()->checkActivity();
    QCOMPARE(inactive.count(), 2);
    node->setMode(QStringLiteral("offline"));
}

// The stream stops: every tag is reported, the console gets a few lines and
// a count of the rest.
void tst_Hub::manyInactiveAtOnceFewLines()
{
    constexpr int kTags = 25;
    QList<RtlsObject *> tags;
    for (int i = 0; i < kTags; ++i) {
        auto *node = new RtlsObject(hub());
        node->setID(0x7A00 + uint64_t(i));
        node->setMode(QStringLiteral("tag"));
        node->setLastUpdate(quint64(QDateTime::currentMSecsSinceEpoch() - 20000));
        hub()->insertNonAnchor(node);
        tags.append(node);
    }
    QSignalSpy inactive(hub(), &SentrovaInterface::nodeInactiveSignal);
    QSignalSpy console(hub(), &SentrovaInterface::displayMessage);
    hub()->checkActivity();
    QCOMPARE(inactive.count(), kTags);
    QCOMPARE(console.count(), Comm::kInactiveLinesPerCheck + 1);
    QVERIFY(console.at(0).at(0).toString().endsWith(QLatin1String(" gone inactive")));
    QCOMPARE(console.last().at(0).toString(),
             QStringLiteral("%1 more nodes gone inactive").arg(kTags - Comm::kInactiveLinesPerCheck));
    for (RtlsObject *node : tags)
        node->setMode(QStringLiteral("offline"));
}

void tst_Hub::newNodeWithoutModeIsAnAnchor()
{
    QSignalSpy added(hub(), &SentrovaInterface::nodeAddedSignal);
    QSignalSpy anchors(hub(), &SentrovaInterface::anchorListUpdated);
    hub()->fromJSON(QJsonObject{{"node", QJsonArray{QJsonObject{{"id", "0x7301"}},
                                                   QJsonObject{{"id", "7302"}, {"mode", "tag"}}}}});
    QCOMPARE(added.count(), 2);
    QVERIFY(anchors.count() >= 1);
    QCOMPARE(hub()->node(0x7301)->mode(), QStringLiteral("anchor"));
    QCOMPARE(hub()->node(0x7302)->mode(), QStringLiteral("tag"));
    QVERIFY(hub()->isAnchor(0x7301));
    QVERIFY(!hub()->isAnchor(0x7302));
}

// Load a settings file, save it while no master has confirmed the nodes,
// load the saved document again: the positions must all be there.
void tst_Hub::coordinatesSurviveSaveWithoutMaster()
{
    const QJsonObject file{
        {"node", QJsonArray{anchorElement("0x7401", 1.5, 2.25, 3), anchorElement("0x7402", -4, 0, 2.125)}},
        {"master", QJsonObject{{"ip", "auto"}, {"externalEngine", true}}}};
    hub()->fromJSON(file);
    RtlsObject *node = hub()->node(0x7401);
    QVERIFY(node);
    QVERIFY(node->flags() & 0x40000000u);

    const QJsonObject saved = hub()->toJSON(QJsonObject());
    const QJsonObject first = findNodeElement(saved, "0x7401");
    QCOMPARE(first.value("coordinates").toObject(), (QJsonObject{{"x", 1.5}, {"y", 2.25}, {"z", 3}}));
    QCOMPARE(findNodeElement(saved, "0x7402").value("coordinates").toObject(),
             (QJsonObject{{"x", -4}, {"y", 0}, {"z", 2.125}}));
    QCOMPARE(first.value("mode").toString(), QStringLiteral("anchor"));

    hub()->fromJSON(saved);
    QCOMPARE(node->pos()->x(), 1.5f);
    QCOMPARE(node->pos()->y(), 2.25f);
    QCOMPARE(node->pos()->z(), 3.0f);
    QVERIFY(node->flags() & 0x40000000u);
}

void tst_Hub::badValuesLoadWhatIsValid_data()
{
    QTest::addColumn<QJsonObject>("doc");
    QTest::addColumn<QString>("reportPart");

    const QJsonObject good{{"id", "0x7501"}, {"mode", "anchor"}};
    QTest::newRow("id not hexadecimal")
        << QJsonObject{{"node", QJsonArray{QJsonObject{{"id", "zz"}}, good}}} << "valid hexadecimal id";
    QTest::newRow("id a number") << QJsonObject{{"node", QJsonArray{QJsonObject{{"id", 12}}, good}}}
                                 << "valid hexadecimal id";
    QTest::newRow("node entry a text") << QJsonObject{{"node", QJsonArray{"0x1", good}}} << "not an object";
    QTest::newRow("ip not an address")
        << QJsonObject{{"node", QJsonArray{good}}, {"master", QJsonObject{{"ip", "not.an.address"}}}}
        << "not an IPv4 address";
    QTest::newRow("ip a number") << QJsonObject{{"node", QJsonArray{good}}, {"master", QJsonObject{{"ip", 7}}}}
                                 << "\"ip\" is not a text";
    QTest::newRow("externalEngine a text")
        << QJsonObject{{"node", QJsonArray{good}}, {"master", QJsonObject{{"externalEngine", "yes"}}}}
        << "\"externalEngine\"";
    QTest::newRow("master a list") << QJsonObject{{"node", QJsonArray{good}}, {"master", QJsonArray{}}}
                                   << "\"master\" is not an object";
}

void tst_Hub::badValuesLoadWhatIsValid()
{
    QFETCH(QJsonObject, doc);
    QFETCH(QString, reportPart);

    QSignalSpy console(hub(), &SentrovaInterface::displayMessage);
    const bool engine = hub()->externalEngine();
    hub()->fromJSON(doc);
    QVERIFY(hub()->node(0x7501));
    QCOMPARE(hub()->externalEngine(), engine);
    QStringList lines;
    for (const auto &args : qAsConst(console))
        lines << args.at(0).toString();
    QVERIFY2(lines.filter(reportPart).size() == 1, qPrintable(lines.join('\n')));
}

void tst_Hub::masterKeysKeptWhenSaving()
{
    const QJsonObject saved = hub()->toJSON(QJsonObject{{"master", QJsonObject{{"ip", "192.0.2.9"}}},
                                                        {"gui", QJsonObject{{"k", 1}}}});
    const QJsonObject master = saved.value("master").toObject();
    QCOMPARE(master.value("ip").toString(), QStringLiteral("192.0.2.9"));
    QCOMPARE(master.value("externalEngine").toBool(), hub()->externalEngine());
    QCOMPARE(saved.value("gui").toObject().value("k").toInt(), 1);
    QVERIFY(saved.value("node").isArray());
}

void tst_Hub::autoAddressConnectsNowhere_data()
{
    QTest::addColumn<QString>("ip");
    QTest::newRow("lower case") << "auto";
    QTest::newRow("capitals") << "AUTO";
    QTest::newRow("mixed") << "Auto";
}

void tst_Hub::autoAddressConnectsNowhere()
{
    QFETCH(QString, ip);
    QSignalSpy console(hub(), &SentrovaInterface::displayMessage);
    const int clients = hub()->svc()->clientCount();
    hub()->fromJSON(QJsonObject{{"master", QJsonObject{{"ip", ip}}}});
    QCOMPARE(hub()->svc()->clientCount(), clients);
    QCOMPARE(console.count(), 0);
}

void tst_Hub::settingsAddressIsConnectedDirectly()
{
    LineServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost, 0));
    hub()->svc()->setServicePort(server.serverPort());
    QSignalSpy console(hub(), &SentrovaInterface::displayMessage);

    hub()->fromJSON(QJsonObject{{"master", QJsonObject{{"ip", "127.0.0.1"}, {"externalEngine", true}}}});

    QTRY_COMPARE_WITH_TIMEOUT(server.lineCount(), 3, 10000);
    QCOMPARE(console.at(0).at(0).toString(),
             QStringLiteral("Connecting to the master using provided IP address 127.0.0.1"));
    QCOMPARE(HubProbe::parse(server.lines(0).value(0)).value("command").toString(), QStringLiteral("listAnchors"));
}

// Saving starts from an empty document: the address the file named must
// come back, or a save turns a fixed master into discovery.
void tst_Hub::settingsAddressSurvivesSave()
{
    hub()->fromJSON(QJsonObject{{"master", QJsonObject{{"ip", "AUTO"}}}});
    QCOMPARE(hub()->toJSON(QJsonObject()).value("master").toObject().value("ip").toString(), QStringLiteral("AUTO"));
    hub()->fromJSON(QJsonObject{{"master", QJsonObject{{"ip", "auto"}}}});
    QCOMPARE(hub()->toJSON(QJsonObject()).value("master").toObject().value("ip").toString(), QStringLiteral("auto"));
}

void tst_Hub::mqttSettingsBothWays()
{
    QSignalSpy console(hub(), &SentrovaInterface::displayMessage);
    const QJsonObject mqtt{{"enabled", false}, {"host", "broker.site"}, {"port", 8883}, {"clientId", "desk"},
                           {"username", "ops"}, {"password", "pw"}, {"tls", true}, {"caFile", "/etc/ca.pem"},
                           {"topicPrefix", "plant"}, {"rateLimit", 5}};
    hub()->fromJSON(QJsonObject{{"mqtt", mqtt}});
    QCOMPARE(console.count(), 0);
    QCOMPARE(hub()->mqtt()->config().host, QStringLiteral("broker.site"));
    QCOMPARE(hub()->toJSON(QJsonObject()).value("mqtt").toObject(), mqtt);

    // A bad value is reported and keeps what the manager had; the rest is read.
    QJsonObject bad = mqtt;
    bad.insert("port", "1884");
    bad.insert("topicPrefix", "hall");
    hub()->fromJSON(QJsonObject{{"mqtt", bad}});
    QCOMPARE(console.count(), 1);
    QVERIFY(console.at(0).at(0).toString().contains(QStringLiteral("\"port\"")));
    QCOMPARE(hub()->mqtt()->config().port, quint16(8883));
    QCOMPARE(hub()->mqtt()->config().topicPrefix, QStringLiteral("hall"));

    // A document without "mqtt" leaves the settings alone.
    hub()->fromJSON(QJsonObject{{"gui", QJsonObject()}});
    QCOMPARE(hub()->mqtt()->config().topicPrefix, QStringLiteral("hall"));
}

void tst_Hub::mqttSettingsNotAnObject()
{
    const MqttConfig before = hub()->mqtt()->config();
    QSignalSpy console(hub(), &SentrovaInterface::displayMessage);
    hub()->fromJSON(QJsonObject{{"mqtt", QJsonArray{1, 2}}});
    QCOMPARE(console.count(), 1);
    QCOMPARE(console.at(0).at(0).toString(), QStringLiteral("Settings: \"mqtt\" is not an object, ignored"));
    QCOMPARE(hub()->mqtt()->config(), before);
}

QTEST_GUILESS_MAIN(tst_Hub)
#include "tst_hub.moc"
