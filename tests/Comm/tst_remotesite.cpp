// The hub of a remote view against Debian's mosquitto on loopback: a site
// published by "another manager" (a plain client of this test) reaches the
// model through the broker, and the view sends and binds nothing. The hub is
// made remote before it exists, so it searches nothing and binds no port:
// no network namespace is needed.
#include "Comm/MosquittoBroker.h"
#include "MqttClient.h"
#include "MqttConfig.h"
#include "RemoteSite.h"
#include "RtlsLs.h"
#include "RtlsModelConstants.h"
#include "RtlsObject.h"
#include "RtlsPos.h"
#include "RtlsSvc.h"
#include "SentrovaInterface.h"

#include <QJsonDocument>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

constexpr int kWait = 20000;

int linesContaining(const QSignalSpy &spy, const QString &text)
{
    int n = 0;
    for (const QList<QVariant> &args : spy)
        if (args.at(0).toString().contains(text))
            ++n;
    return n;
}

} // namespace

class tst_RemoteSite : public QObject
{
    Q_OBJECT

public:
    static void initMain() { SentrovaInterface::setRemoteAtStart(true); }

private slots:
    void initTestCase();
    void lateViewGetsTheWholeSite();
    void positionsTakeTheStreamsWay();
    void inactiveAndZoneChangesFollow();
    void notUnderstoodMessagesAreNamedOnce();
    void nothingIsSentOrBound();
    void zoneDeletedWhileAwayIsDropped();

private:
    void publish(const QByteArray &topic, const QByteArray &payload, bool retain);

    MosquittoBroker m_broker;
    std::unique_ptr<MqttClient> m_site;
    std::unique_ptr<QSignalSpy> m_console;
    SentrovaInterface *m_hub = nullptr;
};

void tst_RemoteSite::initTestCase()
{
    if (MosquittoBroker::binary().isEmpty())
        QSKIP(qPrintable(MosquittoBroker::missingMessage()));
    QVERIFY(m_broker.start());
    m_site = std::make_unique<MqttClient>();
    MqttClient::Endpoint endpoint;
    endpoint.host = QStringLiteral("127.0.0.1");
    endpoint.port = m_broker.port;
    endpoint.clientId = QStringLiteral("the-site");
    QString error;
    QVERIFY(m_site->start(endpoint, &error));
    QTRY_VERIFY_WITH_TIMEOUT(m_site->isConnected(), kWait);

    m_hub = SentrovaInterface::instance();
    QVERIFY(m_hub->isRemote());
    m_console = std::make_unique<QSignalSpy>(m_hub, &SentrovaInterface::displayMessage);
}

void tst_RemoteSite::publish(const QByteArray &topic, const QByteArray &payload, bool retain)
{
    QCOMPARE(m_site->publish(topic, payload, 1, retain), MqttClient::Publish::Queued);
}

void tst_RemoteSite::lateViewGetsTheWholeSite()
{
    // Published before the view exists, retained.
    publish("rs/manager/status", R"({"online":true})", true);
    publish("rs/nodes/0x1000/status",
            R"({"id":"0x1000","name":"Master","mode":"master","category":"master","battery":null,"inactive":false,"x":0,"y":0,"z":2.5})",
            true);
    publish("rs/nodes/0x1001/status",
            R"({"id":"0x1001","name":"0x1001","mode":"anchor","category":"anchor","battery":null,"inactive":false,"x":20,"y":0.25})",
            true);
    publish("rs/nodes/0x2001/status",
            R"({"id":"0x2001","name":"Forklift","mode":"tag","category":"tag","battery":3.7,"inactive":false})", true);
    publish("rs/zones/0x00A1/config",
            R"({"id":"0x00A1","name":"Dock","type":"STORAGE","x":0,"y":0,"z":0,"length":4,"width":3,"height":2})", true);
    publish("rs/other/thing", "ignored", true);

    QSignalSpy added(m_hub, &SentrovaInterface::nodeAddedSignal);
    QSignalSpy anchors(m_hub, &SentrovaInterface::anchorListUpdated);
    MqttConfig config;
    config.host = QStringLiteral("127.0.0.1");
    config.port = m_broker.port;
    config.topicPrefix = QStringLiteral("rs");
    m_hub->remoteSite()->setConfig(config);
    m_hub->remoteSite()->client()->setRetryDelays(50, 200);
    QSignalSpy zones(m_hub->remoteSite(), &RemoteSite::zoneDefined);
    m_hub->init();

    QTRY_COMPARE_WITH_TIMEOUT(added.size(), 3, kWait);
    QTRY_COMPARE_WITH_TIMEOUT(zones.size(), 1, kWait);
    RtlsObject *anchor = m_hub->node(0x1001);
    QVERIFY(anchor);
    QVERIFY(m_hub->isAnchor(0x1001));
    QVERIFY(anchors.size() >= 1);
    QCOMPARE(anchor->mode(), QStringLiteral("anchor"));
    QCOMPARE(anchor->category(), QStringLiteral("anchor"));
    // Published under its id: no name of its own.
    QCOMPARE(anchor->name(), QStringLiteral("0x1001"));
    QCOMPARE(anchor->toJson().value("name").toString(), QString());
    // Only the axes published are known.
    QCOMPARE(anchor->pos()->flags() & Rtls::kPosXYZ, Rtls::kPosX | Rtls::kPosY);
    QCOMPARE(anchor->pos()->x(), 20.0f);
    QCOMPARE(anchor->pos()->y(), 0.25f);
    QCOMPARE(m_hub->node(0x1000)->mode(), QStringLiteral("master"));
    QCOMPARE(m_hub->node(0x1000)->pos()->z(), 2.5f);
    RtlsObject *tag = m_hub->node(0x2001);
    QCOMPARE(tag->name(), QStringLiteral("Forklift"));
    QCOMPARE(tag->category(), QStringLiteral("tag"));
    QVERIFY(!m_hub->isAnchor(0x2001));
    QCOMPARE(zones.first().at(1).toJsonObject().value("name").toString(), QStringLiteral("Dock"));
    QVERIFY(m_hub->remoteSite()->isSiteOnline());
    QVERIFY(linesContaining(*m_console, QStringLiteral("Remote view: connected to broker 127.0.0.1:")) == 1);
    QVERIFY(linesContaining(*m_console, QStringLiteral("Remote view: the site's manager is online")) == 1);
    QTRY_VERIFY_WITH_TIMEOUT(linesContaining(*m_console, QStringLiteral("the site has 3 nodes and 1 zones")) == 1, kWait);
}

void tst_RemoteSite::positionsTakeTheStreamsWay()
{
    QTemporaryDir dir;
    const QString capture = dir.filePath(QStringLiteral("remote.dat"));
    m_hub->setCaptureFileName(capture);
    m_hub->toggleLsCapture();
    QVERIFY(m_hub->isCapturing());

    QSignalSpy reports(m_hub, &SentrovaInterface::lsDataReceived);
    QSignalSpy added(m_hub, &SentrovaInterface::nodeAddedSignal);
    publish("rs/tags/0x2001/position", R"({"id":"0x2001","x":1.5,"y":-2,"z":0.5,"pqf":88,"timestamp":1700000000.125})",
            false);
    // A tag the view never heard of, known from its position alone.
    publish("rs/tags/0x2002/position", R"({"id":"0x2002","x":3,"y":4,"z":1,"pqf":70,"timestamp":1700000000.25})",
            false);
    QTRY_COMPARE_WITH_TIMEOUT(reports.size(), 2, kWait);
    RtlsObject *tag = m_hub->node(0x2001);
    QCOMPARE(tag->pos()->x(), 1.5f);
    QCOMPARE(tag->pos()->y(), -2.0f);
    QCOMPARE(tag->pos()->pqf(), uint8_t(88));
    QVERIFY(tag->msgFlags() & Rtls::kMsgCoordinates);
    QCOMPARE(tag->msgTime(), 1700000000125.0);
    QCOMPARE(added.size(), 1);
    RtlsObject *stranger = m_hub->node(0x2002);
    QVERIFY(stranger);
    QCOMPARE(stranger->mode(), QStringLiteral("tag"));
    QCOMPARE(stranger->category(), QStringLiteral("tag"));
    QCOMPARE(stranger->pos()->x(), 3.0f);

    // Recorded as the stream records: one report line each.
    m_hub->toggleLsCapture();
    QFile f(capture);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = f.readAll().trimmed().split('\n');
    QCOMPARE(lines.size(), 2);
    QCOMPARE(QJsonDocument::fromJson(lines.first()).object().value("coordinates").toObject().value("x").toDouble(), 1.5);
}

void tst_RemoteSite::inactiveAndZoneChangesFollow()
{
    QSignalSpy inactive(m_hub, &SentrovaInterface::nodeInactiveSignal);
    publish("rs/nodes/0x2001/status", R"({"id":"0x2001","name":"Forklift","mode":"tag","battery":3.6,"inactive":true})",
            true);
    QTRY_COMPARE_WITH_TIMEOUT(inactive.size(), 1, kWait);
    QCOMPARE(inactive.first().at(0).value<RtlsObject *>()->id(), uint64_t(0x2001));
    // Said once, however often the status comes again.
    publish("rs/nodes/0x2001/status", R"({"id":"0x2001","name":"Forklift","mode":"tag","battery":3.5,"inactive":true})",
            true);
    QSignalSpy zoneDefined(m_hub->remoteSite(), &RemoteSite::zoneDefined);
    QSignalSpy zoneDeleted(m_hub->remoteSite(), &RemoteSite::zoneDeleted);
    publish("rs/zones/0x00A1/config",
            R"({"id":"0x00A1","name":"Dock 2","type":"MACHINE","x":1,"y":0,"z":0,"length":4,"width":3,"height":2})", true);
    QTRY_COMPARE_WITH_TIMEOUT(zoneDefined.size(), 1, kWait);
    QCOMPARE(m_hub->remoteSite()->zones().value(0xA1).value("name").toString(), QStringLiteral("Dock 2"));
    QCOMPARE(inactive.size(), 1);

    publish("rs/zones/0x00A1/config", QByteArray(), true);
    QTRY_COMPARE_WITH_TIMEOUT(zoneDeleted.size(), 1, kWait);
    QCOMPARE(zoneDeleted.first().at(0).toULongLong(), 0xA1ull);
    QVERIFY(m_hub->remoteSite()->zones().isEmpty());
    QVERIFY(linesContaining(*m_console, QStringLiteral("zone \"Dock 2\" (0x00A1) deleted by the site")) == 1);
}

void tst_RemoteSite::notUnderstoodMessagesAreNamedOnce()
{
    const quint64 before = m_hub->remoteSite()->refusedCount();
    publish("rs/tags/0x2003/position", "x=1", false);
    publish("rs/tags/0x2003/position", R"({"id":"0x2004","x":1,"y":2,"z":3})", false);
    publish("rs/nodes/0x2003/status", "[]", false);
    QTRY_COMPARE_WITH_TIMEOUT(m_hub->remoteSite()->refusedCount(), before + 3, kWait);
    QCOMPARE(linesContaining(*m_console, QStringLiteral("a message on rs/tags/0x2003/position is not understood")), 1);
    QCOMPARE(linesContaining(*m_console, QStringLiteral("a message on rs/nodes/0x2003/status is not understood")), 1);
    QVERIFY(!m_hub->node(0x2003));
    QVERIFY(!m_hub->node(0x2004));
}

void tst_RemoteSite::nothingIsSentOrBound()
{
    QCOMPARE(m_hub->locationStream()->lsPort(), quint16(0));
    QCOMPARE(m_hub->locationStream()->dcPort(), quint16(0));
    // The settings' engine switch binds nothing either.
    m_hub->useExternalEngine(false);
    QCOMPARE(m_hub->locationStream()->lsPort(), quint16(0));
    QCOMPARE(m_hub->locationStream()->dcPort(), quint16(0));
    QVERIFY(!m_hub->discovery());

    // A settings file's master is kept for saving, not connected to.
    m_hub->fromJSON(QJsonObject{{"master", QJsonObject{{"ip", "127.0.0.1"}}}});
    QCOMPARE(m_hub->svc()->clientCount(), 0);
    QCOMPARE(m_hub->toJSON(QJsonObject()).value("master").toObject().value("ip").toString(), QStringLiteral("127.0.0.1"));

    m_console->clear();
    m_hub->sendJsonString(QStringLiteral("{\"command\":\"version\"}"));
    QCOMPARE(linesContaining(*m_console, QStringLiteral("Remote view: nothing is sent to the masters")), 1);
    m_hub->scanMaster();
    QCOMPARE(linesContaining(*m_console, QStringLiteral("Remote view: no search for masters")), 1);
    m_hub->listAnchors();
    m_hub->setAnchorPosition(0x1001);
    QCOMPARE(m_hub->svc()->clientCount(), 0);
}

void tst_RemoteSite::zoneDeletedWhileAwayIsDropped()
{
    publish("rs/zones/0x00B2/config", R"({"id":"0x00B2","name":"Bay","x":5,"y":5,"z":0,"length":2,"width":2,"height":2})",
            true);
    QTRY_VERIFY_WITH_TIMEOUT(m_hub->remoteSite()->zones().contains(0xB2), kWait);

    // The broker restarts without its retained messages; the site gives it
    // back what it still has (a new zone), not the one deleted meanwhile.
    QSignalSpy deleted(m_hub->remoteSite(), &RemoteSite::zoneDeleted);
    m_broker.stop();
    QTRY_VERIFY_WITH_TIMEOUT(!m_hub->remoteSite()->isConnected(), kWait);
    QVERIFY(m_broker.restart());
    QTRY_VERIFY_WITH_TIMEOUT(m_site->isConnected(), kWait);
    publish("rs/zones/0x00C3/config", R"({"id":"0x00C3","name":"Gate","x":9,"y":9,"z":0,"length":1,"width":1,"height":2})",
            true);
    QTRY_VERIFY_WITH_TIMEOUT(m_hub->remoteSite()->isConnected(), kWait);
    QTRY_COMPARE_WITH_TIMEOUT(deleted.size(), 1, kWait);
    QCOMPARE(deleted.first().at(0).toULongLong(), 0xB2ull);
    QVERIFY(m_hub->remoteSite()->zones().contains(0xC3));
}

QTEST_GUILESS_MAIN(tst_RemoteSite)
#include "tst_remotesite.moc"
