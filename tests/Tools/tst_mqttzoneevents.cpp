// A tag walking into a zone and out again, as the map's scene sees it,
// becomes an "enter" and an "exit" event on the broker; the zone's
// definition is kept there, retained, while the zone exists.
#include "Comm/MosquittoBroker.h"
#include "Comm/MqttTestConfig.h"
#include "Comm/MqttTestSubscriber.h"
#include "Map/FakeNodeSource.h"
#include "MapScene.h"
#include "MapZone.h"
#include "MqttMessages.h"
#include "MqttPublisher.h"
#include "MqttZoneEvents.h"

#include <QSignalSpy>
#include <QtTest>

class tst_MqttZoneEvents : public QObject
{
    Q_OBJECT

private slots:
    void tagWalksThroughAZone();
    void definitionFollowsTheZone();
};

void tst_MqttZoneEvents::tagWalksThroughAZone()
{
    if (MosquittoBroker::binary().isEmpty())
        QSKIP(qPrintable(MosquittoBroker::missingMessage()));
    MosquittoBroker broker;
    QVERIFY(broker.start());
    MqttTestSubscriber sub;
    QVERIFY(sub.subscribe(broker.port, "site/zones/+/events"));

    MqttPublisher publisher;
    publishTo(&publisher, broker.port, QStringLiteral("site"));
    QTRY_VERIFY_WITH_TIMEOUT(publisher.isConnected(), 20000);

    FakeNodeSource source;
    MapScene scene(&source);
    MqttZoneEvents link(&publisher);
    connect(&scene, &MapScene::zoneAdded, &link, &MqttZoneEvents::zoneAdded);
    MapZone *zone = scene.addZone();
    zone->setName(QStringLiteral("Dock"));
    // Announced again (a reload keeping it): still one event per crossing.
    link.zoneAdded(zone);
    QCOMPARE(link.watchedZones(), 1);

    // The default zone is the 2 m cube at the origin; the tag walks along
    // y = 1, z = 1 from x = -3 to x = 5.
    RtlsObject *tag = source.add(0x4001, QStringLiteral("tag"), -3, 1, 1);
    for (int step = 0; step <= 16; ++step) {
        tag->pos()->setPos(-3.0f + 0.5f * step, 1, 1);
        scene.nodeUpdated(tag);
    }

    const QByteArray topic = MqttMessages::zoneTopic(QStringLiteral("site"), zone->id());
    QTRY_COMPARE_WITH_TIMEOUT(sub.on(topic).size(), 2, 20000);
    const QJsonObject in = sub.on(topic).at(0).json();
    const QJsonObject out = sub.on(topic).at(1).json();
    QCOMPARE(in.value("event").toString(), QStringLiteral("enter"));
    QCOMPARE(out.value("event").toString(), QStringLiteral("exit"));
    QCOMPARE(in.value("id").toString(), QStringLiteral("0x4001"));
    QCOMPARE(in.value("name").toString(), QStringLiteral("Dock"));
    QCOMPARE(in.value("zone").toString(), QString::fromLatin1(MqttMessages::hexId(zone->id())));
    QVERIFY(out.value("timestamp").toDouble() >= in.value("timestamp").toDouble());

    // A removed zone is no longer watched.
    scene.removeZone(zone);
    QTRY_COMPARE(link.watchedZones(), 0);
    QCOMPARE(sub.count("site/zones/"), 2);
}

void tst_MqttZoneEvents::definitionFollowsTheZone()
{
    if (MosquittoBroker::binary().isEmpty())
        QSKIP(qPrintable(MosquittoBroker::missingMessage()));
    MosquittoBroker broker;
    QVERIFY(broker.start());
    MqttTestSubscriber sub;
    QVERIFY(sub.subscribe(broker.port, "site/zones/+/config"));
    MqttPublisher publisher;
    publishTo(&publisher, broker.port, QStringLiteral("site"));
    QTRY_VERIFY_WITH_TIMEOUT(publisher.isConnected(), 20000);

    FakeNodeSource source;
    MapScene scene(&source);
    MqttZoneEvents link(&publisher);
    connect(&scene, &MapScene::zoneAdded, &link, &MqttZoneEvents::zoneAdded);
    connect(&scene, &MapScene::zoneRemoved, &link, &MqttZoneEvents::zoneRemoved);
    MapZone *zone = scene.addZone();
    zone->setCommandList(QJsonObject{{"on_enter", QJsonObject{{"command", "setDio8"}}}});
    const QByteArray topic = MqttMessages::zoneConfigTopic(QStringLiteral("site"), zone->id());
    QTRY_COMPARE_WITH_TIMEOUT(sub.on(topic).size(), 1, 20000);
    QCOMPARE(sub.on(topic).first().json().value("name").toString(), QStringLiteral("New Zone"));
    // Kept by the broker for a view that comes later.
    MqttTestSubscriber late;
    QVERIFY(late.subscribe(broker.port, "site/zones/+/config"));
    QTRY_COMPARE_WITH_TIMEOUT(late.on(topic).size(), 1, 20000);
    QVERIFY(late.on(topic).first().retained);
    QVERIFY(!sub.on(topic).first().json().contains("cmdlist"));

    // An edit of the zones tab (a name, a size) reaches the broker without
    // the zone announcing it; an unchanged zone sends nothing more.
    zone->setName(QStringLiteral("Dock"));
    zone->setLength(7.5);
    QTRY_COMPARE_WITH_TIMEOUT(sub.on(topic).size(), 2, 20000);
    QCOMPARE(sub.on(topic).last().json().value("name").toString(), QStringLiteral("Dock"));
    QCOMPARE(sub.on(topic).last().json().value("length").toDouble(), 7.5);
    QCOMPARE(publisher.publishedZoneConfigs(), 1);

    // Deleted: cleared on the broker (an empty retained message).
    scene.removeZone(zone);
    QTRY_COMPARE_WITH_TIMEOUT(sub.on(topic).size(), 3, 20000);
    QVERIFY(sub.on(topic).last().payload.isEmpty());
    QTRY_COMPARE(publisher.publishedZoneConfigs(), 0);
}

QTEST_GUILESS_MAIN(tst_MqttZoneEvents)
#include "tst_mqttzoneevents.moc"
