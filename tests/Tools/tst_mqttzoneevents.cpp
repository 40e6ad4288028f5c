// A tag walking into a zone and out again, as the map's scene sees it,
// becomes an "enter" and an "exit" event on the broker.
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
};

void tst_MqttZoneEvents::tagWalksThroughAZone()
{
    if (MosquittoBroker::binary().isEmpty())
        QSKIP(qPrintable(MosquittoBroker::missingMessage()));
    MosquittoBroker broker;
    QVERIFY(broker.start());
    MqttTestSubscriber sub;
    QVERIFY(sub.subscribe(broker.port, "site/zones/#"));

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

QTEST_GUILESS_MAIN(tst_MqttZoneEvents)
#include "tst_mqttzoneevents.moc"
