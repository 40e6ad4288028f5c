// The map against the real simulator: its default site (a master and nine
// anchors, ten walking tags) shown in the map and moving, with the hub
// connected to the simulator on loopback.
#include "MapGrid.h"
#include "MapMetaTypes.h"
#include "MapScene.h"
#include "MapTab.h"
#include "MapZone.h"
#include "NodeObject.h"
#include "RtlsObject.h"
#include "RtlsSvc.h"
#include "SentrovaInterface.h"
#include "sim/SimProcess.h"

#include <QGLViewer/camera.h>
#include <QHostAddress>
#include <QJsonDocument>
#include <QtTest>

using qglviewer::Vec;

class tst_MapSim : public QObject
{
    Q_OBJECT

private slots:
    void siteOnTheMap()
    {
        registerMapMetaTypes();
        SimProcess sim;
        QVERIFY(sim.start({}));
        SentrovaInterface *hub = SentrovaInterface::instance();
        MapTab map;
        map.resize(800, 600);
        map.show();
        QVERIFY(QTest::qWaitForWindowExposed(&map));
        hub->svc()->setServicePort(sim.port);
        hub->svc()->masterDetected(QHostAddress(QHostAddress::LocalHost).toIPv4Address());

        auto placed = [&](const QString &mode) {
            QList<NodeObject *> objects;
            for (NodeObject *object : map.scene()->nodeObjects()) {
                if (object->mode() == mode && object->isPlaced())
                    objects.append(object);
            }
            return objects;
        };
        // Ten tags report from the simulator's hall; the anchors come with
        // their coordinates from the master.
        QTRY_VERIFY_WITH_TIMEOUT(placed("tag").size() >= 9 && placed("anchor").size() >= 7, 30000);

        QHash<uint64_t, Vec> first;
        for (NodeObject *tag : placed("tag"))
            first.insert(tag->id(), tag->frame().position());
        // They walk: each one heard again is somewhere else, and its trail grows.
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                int moved = 0;
                for (NodeObject *tag : placed("tag")) {
                    if (first.contains(tag->id()) && (tag->frame().position() - first.value(tag->id())).norm() > 0.3
                        && tag->history().size() > 2)
                        ++moved;
                }
                return moved >= 8;
            }(),
            30000);

        // Framed from above, every tag is drawn where the camera puts it.
        map.grid()->setLength(25);
        map.grid()->setWidth(20);
        map.grid()->setShow(false);
        map.fitCameraTop();
        const QImage image = map.grabFramebuffer();
        const QColor background(161, 187, 206);
        int drawn = 0;
        int inView = 0;
        for (NodeObject *tag : placed("tag")) {
            const Vec s = map.camera()->projectedCoordinatesOf(tag->frame().position() + Vec(0, 0, tag->height()));
            if (!image.rect().contains(int(s.x), int(s.y)))
                continue;
            ++inView;
            if (image.pixelColor(int(s.x), int(s.y)) != background)
                ++drawn;
        }
        QVERIFY2(inView >= 8, qPrintable(QString::number(inView)));
        QCOMPARE(drawn, inView);

        // A zone over the west half of the hall, up to the ceiling: green
        // while empty, red (its level is 1) once a walking tag is in it. The
        // anchors standing in it do not count.
        MapZone *zone = map.addZone();
        zone->fromJSON(QJsonDocument::fromJson("{\"x\":0,\"y\":0,\"z\":-1,\"length\":10,\"width\":15,"
                                               "\"height\":5,\"level\":1}").object());
        const Vec edge(5, 0, -1);
        auto near = [&](const QImage &frame, const QColor &want) {
            const Vec s = map.camera()->projectedCoordinatesOf(edge);
            for (int dy = -2; dy <= 2; ++dy) {
                for (int dx = -2; dx <= 2; ++dx) {
                    const QColor c = frame.pixelColor(int(s.x) + dx, int(s.y) + dy);
                    if (std::abs(c.red() - want.red()) + std::abs(c.green() - want.green())
                            + std::abs(c.blue() - want.blue()) < 30)
                        return true;
                }
            }
            return false;
        };
        QVERIFY(near(map.grabFramebuffer(), QColor(0, 255, 0)));
        QTRY_VERIFY_WITH_TIMEOUT(!zone->nodesInside().isEmpty(), 30000);
        QVERIFY(near(map.grabFramebuffer(), QColor(255, 0, 0)));
        for (uint64_t id : zone->nodesInside())
            QCOMPARE(hub->node(id)->mode(), QStringLiteral("tag"));
    }
};

QTEST_MAIN(tst_MapSim)
#include "tst_mapsim.moc"
