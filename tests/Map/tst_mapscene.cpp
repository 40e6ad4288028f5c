#include "FakeNodeSource.h"
#include "MapGrid.h"
#include "MapHeat.h"
#include "MapMetaTypes.h"
#include "MapScene.h"
#include "MapZone.h"
#include "NodeObject.h"
#include "RtlsIMU.h"
#include "RtlsMeas.h"
#include "RtlsModelConstants.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QtTest>

#include <limits>

namespace {

QJsonObject json(const char *text)
{
    return QJsonDocument::fromJson(text).object();
}

QString compact(const QJsonValue &v)
{
    if (v.isArray())
        return QString::fromUtf8(QJsonDocument(v.toArray()).toJson(QJsonDocument::Compact));
    return QString::fromUtf8(QJsonDocument(v.toObject()).toJson(QJsonDocument::Compact));
}

MapScene::GuiSettings gui(bool perspective = true)
{
    MapScene::GuiSettings g;
    g.background = QColor(161, 187, 206);
    g.perspective = perspective;
    return g;
}

} // namespace

// The map's scene without GL: its zone list, its settings section, and how
// its node objects follow the node model.
class tst_MapScene : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { registerMapMetaTypes(); }

    void zoneIdsNeverRepeat()
    {
        FakeNodeSource source;
        MapScene scene(&source);
        QSignalSpy added(&scene, &MapScene::zoneAdded);
        QSignalSpy removed(&scene, &MapScene::zoneRemoved);
        MapZone *a = scene.addZone();
        MapZone *b = scene.addZone();
        QCOMPARE(a->name(), QStringLiteral("New Zone"));
        QCOMPARE(a->id(), 1ull);
        QCOMPARE(b->id(), 2ull);
        scene.removeZone(a);
        scene.removeZone(a);
        QCOMPARE(removed.count(), 1);
        QCOMPARE(scene.addZone()->id(), 3ull);
        QCOMPARE(added.count(), 3);
        // A zone id read from a file is not given out again.
        scene.fromJSON(json("{\"zone\":[{\"id\":\"0x0007\"},{\"id\":\"0x0002\"}]}"));
        QCOMPARE(scene.addZone()->id(), 8ull);
    }

    void removedZoneIsDeletedLater()
    {
        FakeNodeSource source;
        MapScene scene(&source);
        QPointer<MapZone> zone = scene.addZone();
        zone->destroy();
        QVERIFY(scene.zones().isEmpty());
        QVERIFY(zone);
        QTRY_VERIFY(!zone);
    }

    void loadReplacesZones()
    {
        FakeNodeSource source;
        MapScene scene(&source);
        QPointer<MapZone> old = scene.addZone();
        QStringList events;
        connect(&scene, &MapScene::zoneAdded, this, [&](MapZone *z) { events << "added " + z->name(); });
        connect(&scene, &MapScene::zoneUpdated, this, [&](MapZone *z) { events << "updated " + z->name(); });
        connect(&scene, &MapScene::zoneRemoved, this, [&](MapZone *z) { events << "removed " + z->name(); });
        const QJsonObject doc = json("{\"zone\":[{\"name\":\"A\",\"type\":\"MACHINE\"},{\"name\":\"B\"}]}");
        scene.fromJSON(doc);
        QCOMPARE(events, QStringList({"removed New Zone", "added A", "added B"}));
        QCOMPARE(scene.zones().size(), 2);
        QCOMPARE(scene.zones().at(0)->mode(), MapZone::Machine);
        // The replaced zones are gone, not left behind.
        QTRY_VERIFY(!old);
        events.clear();
        scene.fromJSON(doc);
        QCOMPARE(events, QStringList({"removed A", "removed B", "added A", "added B"}));
        // Elements that are not objects are skipped, with a console line.
        QSignalSpy console(&scene, &MapScene::displayMessage);
        events.clear();
        scene.fromJSON(json("{\"zone\":[null,{\"name\":\"C\"},7]}"));
        QCOMPARE(events, QStringList({"removed A", "removed B", "added C"}));
        QCOMPARE(console.count(), 2);
        scene.fromJSON(doc);
        // "zone" that is not an array leaves the zones alone.
        events.clear();
        scene.fromJSON(json("{\"zone\":{\"name\":\"C\"}}"));
        QVERIFY(events.isEmpty());
        QCOMPARE(scene.zones().size(), 2);
    }

    void sectionRoundTrip()
    {
        FakeNodeSource source;
        MapScene scene(&source);
        const QJsonObject doc = json("{"
            "\"node\":[{\"id\":\"0x0012\",\"image\":\"tag.png\"},{\"id\":\"zz\",\"image\":\"skip.png\"},{\"id\":\"0x0013\"}],"
            "\"master\":{\"ip\":\"auto\"},"
            "\"zone\":[{\"name\":\"Dock\",\"id\":\"0x0003\",\"x\":1,\"type\":\"FLOORPLAN\",\"image\":\"\"}],"
            "\"heat\":{\"x\":-5,\"show\":true,\"showvalues\":true,\"gridres\":0.5,\"mode\":2,\"min\":1,\"max\":4},"
            "\"gui\":{\"background-color\":\"#112233\",\"perspective\":false,"
            "\"grid\":{\"length\":20,\"step-size\":4,\"axis-color\":\"#010203\"}}}");
        const MapScene::GuiSettings g = scene.fromJSON(doc);
        QVERIFY(g.hasBackground);
        QCOMPARE(g.background, QColor("#112233"));
        QVERIFY(g.hasPerspective);
        QVERIFY(!g.perspective);
        QCOMPARE(scene.nodeImages().value(0x12), QStringLiteral("tag.png"));
        QCOMPARE(scene.nodeImages().size(), 1);
        QCOMPARE(scene.grid()->stepSize(), 4);
        QCOMPARE(scene.grid()->length(), 20.0);
        QCOMPARE(scene.heat()->mode(), int(MapHeat::Hdop));
        QVERIFY(scene.heat()->show());

        QJsonObject root;
        root.insert("master", json("{\"ip\":\"auto\"}"));
        root.insert("node", QJsonArray({json("{\"id\":\"0x0012\",\"name\":\"a\"}"), json("{\"id\":\"0x0099\"}")}));
        const QJsonObject written = scene.toJSON(root, g);
        // Other parts' keys survive, node images go into existing elements.
        QCOMPARE(compact(written.value("master")), QStringLiteral("{\"ip\":\"auto\"}"));
        QCOMPARE(compact(written.value("node")),
                 QStringLiteral("[{\"id\":\"0x0012\",\"image\":\"tag.png\",\"name\":\"a\"},{\"id\":\"0x0099\"}]"));
        const QJsonObject guiObj = written.value("gui").toObject();
        QCOMPARE(guiObj.value("background-color").toString(), QStringLiteral("#112233"));
        QCOMPARE(guiObj.value("perspective").toBool(true), false);

        // Read back into a fresh scene and written again: the same document.
        MapScene again(&source);
        const MapScene::GuiSettings g2 = again.fromJSON(written);
        QCOMPARE(compact(again.toJSON(root, g2)), compact(written));
    }

    void writingAddsNoNodeKey()
    {
        FakeNodeSource source;
        MapScene scene(&source);
        const QJsonObject written = scene.toJSON(QJsonObject(), gui());
        QVERIFY(!written.contains("node"));
        QCOMPARE(written.value("zone").toArray().size(), 0);
        QVERIFY(written.value("heat").isObject());
        QCOMPARE(written.value("gui").toObject().value("background-color").toString(), QStringLiteral("#a1bbce"));
        QVERIFY(written.value("gui").toObject().value("grid").isObject());
    }

    void badInputIsReplaced_data()
    {
        QTest::addColumn<QByteArray>("doc");
        QTest::addColumn<int>("lines");
        QTest::newRow("grid step size zero") << QByteArray("{\"gui\":{\"grid\":{\"step-size\":0}}}") << 1;
        QTest::newRow("grid length negative") << QByteArray("{\"gui\":{\"grid\":{\"length\":-1}}}") << 1;
        QTest::newRow("grid colour") << QByteArray("{\"gui\":{\"grid\":{\"x-axis-color\":\"#zz\"}}}") << 1;
        QTest::newRow("heat cell size zero") << QByteArray("{\"heat\":{\"gridres\":0}}") << 1;
        QTest::newRow("heat width zero") << QByteArray("{\"heat\":{\"width\":0}}") << 1;
        QTest::newRow("background") << QByteArray("{\"gui\":{\"background-color\":\"blurple\"}}") << 1;
        QTest::newRow("wrong types are ignored quietly")
            << QByteArray("{\"heat\":{\"gridres\":\"0\"},\"gui\":{\"background-color\":1}}") << 0;
    }

    void badInputIsReplaced()
    {
        QFETCH(QByteArray, doc);
        QFETCH(int, lines);
        FakeNodeSource source;
        MapScene scene(&source);
        QSignalSpy console(&scene, &MapScene::displayMessage);
        const MapScene::GuiSettings g = scene.fromJSON(json(doc));
        QCOMPARE(console.count(), lines);
        QCOMPARE(scene.grid()->stepSize(), 5);
        QCOMPARE(scene.grid()->length(), 50.0);
        QCOMPARE(scene.grid()->xAxisColor(), QColor("#ff0000"));
        QCOMPARE(scene.heat()->gridres(), 1.0);
        QCOMPARE(scene.heat()->width(), 40.0);
        if (g.hasBackground)
            QCOMPARE(g.background, QColor(161, 187, 206));
    }

    // Integer keys take only whole numbers in their range: anything else
    // keeps what the map had (from the document loaded before, or a new
    // zone's default) with one console line naming the key.
    void integerKeysTakeOnlyWholeNumbers_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<int>("expected");
        QTest::addColumn<bool>("rejected");
        const struct
        {
            const char *key;
            int kept;
            const char *good;
            int taken;
        } keys[] = {{"zone level", 10, "0", 0},        {"zone mode", 3, "2", 2},
                    {"grid step-size", 4, "1000", 1000}, {"heat mode", 1, "0", 0},
                    {"heat min", -50, "-1000", -1000},  {"heat max", 50, "7", 7}};
        for (const auto &k : keys) {
            for (const char *bad : {"2.5", "1e10", "-1e10", "\"3\"", "null", "true", "-0.5"})
                QTest::newRow(qPrintable(QStringLiteral("%1 %2").arg(k.key, bad))) << k.key << bad << k.kept << true;
            QTest::newRow(qPrintable(QStringLiteral("%1 %2").arg(k.key, k.good))) << k.key << k.good << k.taken << false;
        }
        QTest::newRow("zone mode 0") << "zone mode" << "0" << 3 << true;
        QTest::newRow("zone mode 5") << "zone mode" << "5" << 3 << true;
        QTest::newRow("zone level negative") << "zone level" << "-1" << 10 << true;
        QTest::newRow("grid step-size 0") << "grid step-size" << "0" << 4 << true;
        QTest::newRow("heat mode 3") << "heat mode" << "3" << 1 << true;
        QTest::newRow("heat max beyond the scale") << "heat max" << "1001" << 50 << true;
        QTest::newRow("whole number written as a fraction") << "heat max" << "8.0" << 8 << false;
    }

    void integerKeysTakeOnlyWholeNumbers()
    {
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(int, expected);
        QFETCH(bool, rejected);
        FakeNodeSource source;
        MapScene scene(&source);
        scene.fromJSON(json("{\"heat\":{\"mode\":1,\"min\":-50,\"max\":50},\"gui\":{\"grid\":{\"step-size\":4}}}"));
        const QString object = key.section(' ', 0, 0);
        const QString name = key.section(' ', 1);
        const QByteArray member = QStringLiteral("{\"%1\":%2}").arg(name, value).toUtf8();
        QByteArray doc;
        if (object == "zone")
            doc = "{\"zone\":[" + member + "]}";
        else if (object == "grid")
            doc = "{\"gui\":{\"grid\":" + member + "}}";
        else
            doc = "{\"heat\":" + member + "}";
        QSignalSpy console(&scene, &MapScene::displayMessage);
        scene.fromJSON(json(doc));
        int read = 0;
        if (key == "zone level")
            read = scene.zones().at(0)->level();
        else if (key == "zone mode")
            read = int(scene.zones().at(0)->mode());
        else if (key == "grid step-size")
            read = scene.grid()->stepSize();
        else if (key == "heat mode")
            read = scene.heat()->mode();
        else if (key == "heat min")
            read = scene.heat()->min();
        else
            read = scene.heat()->max();
        QCOMPARE(read, expected);
        QCOMPARE(console.count(), rejected ? 1 : 0);
        if (rejected)
            QVERIFY2(console.at(0).at(0).toString().contains(QStringLiteral("\"%1\"").arg(name)),
                     qPrintable(console.at(0).at(0).toString()));
    }

    void nodeObjectsFollowTheModel()
    {
        FakeNodeSource source;
        MapScene scene(&source);
        RtlsObject *anchor = source.add(0x10, "anchor", 1, 2, 3);
        anchor->pos()->setHeading(90);
        RtlsObject *tag = source.add(0x123456, "tag", 4, 5, 1);
        scene.addKnownNodes();
        NodeObject *a = scene.nodeObject(0x10);
        NodeObject *t = scene.nodeObject(0x123456);
        QVERIFY(a && t);
        QCOMPARE(a->frame().position(), qglviewer::Vec(1, 2, 3));
        QVERIFY(a->frame().orientation()[2] < 0);
        QCOMPARE(a->radius(), 0.15);
        QCOMPARE(t->radius(), 0.225);
        QCOMPARE(t->color(), QColor(0x56, 0x34, 0x12));
        QCOMPARE(a->color(), QColor(Qt::blue).lighter(120));
        QVERIFY(a->selectionNumber() != t->selectionNumber());
        QCOMPARE(scene.objectForSelection(t->selectionNumber()), t);

        // Inactive: shrunk until heard again.
        scene.nodeInActive(tag);
        QCOMPARE(t->radius(), 0.0000015);
        // Re-listing the anchors neither revives it nor drops its trail.
        scene.refreshAnchors();
        QCOMPARE(scene.nodeObject(0x123456), t);
        QCOMPARE(t->radius(), 0.0000015);
        QCOMPARE(t->history().size(), 1);
        tag->pos()->setPos(6, 5, 1);
        scene.nodeUpdated(tag);
        QCOMPARE(t->radius(), 0.225);
        QCOMPARE(t->history().size(), 2);
        // An anchor stays as it was made.
        scene.nodeInActive(anchor);
        scene.nodeUpdated(anchor);
        QCOMPARE(a->radius(), 0.0000015);

        // A node gone from the registry goes from the scene.
        source.remove(0x10);
        scene.refreshAnchors();
        QVERIFY(!scene.nodeObject(0x10));
        QCOMPARE(scene.nodeObjects().size(), 1);
    }

    void noPositionIsCreated()
    {
        FakeNodeSource source;
        MapScene scene(&source);
        RtlsObject *anchor = source.add(0x20, "anchor");
        scene.nodeUpdated(anchor);
        QVERIFY(!anchor->hasPos());
        QVERIFY(!scene.nodeObject(0x20)->isPlaced());
        // Writing the node back would otherwise give it coordinates.
        QVERIFY(!anchor->toJson().contains("coordinates"));
    }

    void minimumQuality()
    {
        FakeNodeSource source;
        MapScene scene(&source);
        scene.options().minPqf = 50;
        RtlsObject *tag = source.add(1, "tag", 3, 3, 0);
        tag->pos()->setPQF(40);
        scene.nodeUpdated(tag);
        NodeObject *t = scene.nodeObject(1);
        QVERIFY(t);
        QVERIFY(!t->isPlaced());
        QCOMPARE(t->frame().position(), qglviewer::Vec(0, 0, 0));
        tag->pos()->setPQF(50);
        scene.nodeUpdated(tag);
        QCOMPARE(t->frame().position(), qglviewer::Vec(3, 3, 0));
        tag->pos()->setPQF(10);
        tag->pos()->setPos(9, 9, 0);
        scene.nodeUpdated(tag);
        QCOMPARE(t->frame().position(), qglviewer::Vec(3, 3, 0));
        // Anchors are placed whatever their quality.
        RtlsObject *anchor = source.add(2, "anchor", 1, 1, 1);
        anchor->pos()->setPQF(0);
        scene.nodeUpdated(anchor);
        QVERIFY(scene.nodeObject(2)->isPlaced());
    }

    void oneDimension_data()
    {
        QTest::addColumn<quint64>("master");
        QTest::addColumn<QByteArray>("meas");
        QTest::addColumn<double>("x");
        QTest::newRow("empty table keeps the place") << 0xAull << QByteArray("[]") << -1.0;
        QTest::newRow("the master's distance")
            << 0xAull << QByteArray("[{\"anchor\":\"0x0B\",\"dist\":7.5},{\"anchor\":\"0x0A\",\"dist\":2.5}]") << 2.5;
        QTest::newRow("no master entry: the first one")
            << 0xCull << QByteArray("[{\"anchor\":\"0x0B\",\"dist\":7.5}]") << 7.5;
        QTest::newRow("no master entry: the first one the report gave")
            << 0xCull << QByteArray("[{\"anchor\":\"0x0D\",\"dist\":4.5},{\"anchor\":\"0x0B\",\"dist\":7.5}]") << 4.5;
        QTest::newRow("a time of arrival is not a distance")
            << 0xAull << QByteArray("[{\"anchor\":\"0x0A\",\"toa\":0.5,\"tqf\":1,\"rssi\":-80}]") << -1.0;
    }

    void oneDimension()
    {
        QFETCH(quint64, master);
        QFETCH(QByteArray, meas);
        QFETCH(double, x);
        FakeNodeSource source;
        source.master = master;
        MapScene scene(&source);
        scene.options().nodeMode |= 0x08;
        RtlsObject *tag = source.add(1, "tag", 5, 5, 5);
        tag->meas()->updateFromJson(QJsonDocument::fromJson(meas).array());
        scene.nodeUpdated(tag);
        NodeObject *t = scene.nodeObject(1);
        if (x < 0) {
            QVERIFY(!t->isPlaced());
        } else {
            QCOMPARE(t->frame().position(), qglviewer::Vec(x, 0, 0));
        }
    }

    void selectionColours()
    {
        FakeNodeSource source;
        MapScene scene(&source);
        scene.addKnownNodes();
        source.add(1, "anchor", 0, 0, 0);
        source.add(2, "master", 1, 0, 0);
        scene.addKnownNodes();
        const QColor lightRed = QColor(Qt::red).lighter(120);
        scene.selectId(1);
        QCOMPARE(scene.nodeObject(1)->color(), lightRed);
        scene.selectId(2);
        QCOMPARE(scene.nodeObject(1)->color(), QColor(Qt::blue).lighter(120));
        QCOMPARE(scene.nodeObject(2)->color(), lightRed);
        QCOMPARE(scene.heat()->selectedNode(), uint64_t(2));
        // An update of the selected node keeps it red.
        scene.nodeUpdated(source.findNode(2));
        QCOMPARE(scene.nodeObject(2)->color(), lightRed);
        scene.selectId(0);
        QCOMPARE(scene.nodeObject(2)->color(), QColor(Qt::darkGreen).lighter(120));
    }

    void temperatureColours_data()
    {
        QTest::addColumn<double>("t");
        QTest::addColumn<QColor>("colour");
        QTest::newRow("at minimum") << 12.0 << QColor::fromRgbF(0, 0, 1);
        QTest::newRow("below") << -40.0 << QColor::fromRgbF(0, 0, 1);
        QTest::newRow("at maximum") << 35.0 << QColor::fromRgbF(1, 0, 0);
        QTest::newRow("a third: green") << 12.0 + 23.0 / 3 << QColor::fromRgbF(0, 1, 0);
        QTest::newRow("half way green to yellow") << 12.0 + 23.0 / 2 << QColor::fromRgbF(0.5, 1, 0);
        QTest::newRow("not a number: default") << std::numeric_limits<double>::quiet_NaN()
                                               << QColor(Qt::blue).lighter(120);
        QTest::newRow("infinite: default") << std::numeric_limits<double>::infinity()
                                           << QColor(Qt::blue).lighter(120);
    }

    void temperatureColours()
    {
        QFETCH(double, t);
        QFETCH(QColor, colour);
        FakeNodeSource source;
        MapScene scene(&source);
        scene.options().nodeMode |= 0x01;
        RtlsObject *anchor = source.add(3, "anchor", 0, 0, 0);
        anchor->imu()->setTemperature(float(t));
        scene.nodeUpdated(anchor);
        const QColor got = scene.nodeObject(3)->color();
        QVERIFY2(std::fabs(got.redF() - colour.redF()) < 0.01 && std::fabs(got.greenF() - colour.greenF()) < 0.01
                     && std::fabs(got.blueF() - colour.blueF()) < 0.01,
                 qPrintable(got.name() + " != " + colour.name()));
    }

    void nodeWithoutSensorsKeepsItsColour()
    {
        FakeNodeSource source;
        MapScene scene(&source);
        scene.options().nodeMode |= 0x01;
        RtlsObject *tag = source.add(0x0000FF, "tag", 0, 0, 0);
        scene.nodeUpdated(tag);
        QVERIFY(!tag->hasImu());
        QCOMPARE(scene.nodeObject(0xFF)->color(), QColor(255, 0, 0));
    }

    void zonesSeeUpdates()
    {
        FakeNodeSource source;
        MapScene scene(&source);
        MapZone *zone = scene.addZone();
        zone->setCommandList(json("{\"on_enter\":{\"command\":\"in\",\"id\":\"__SELF__\"}}"));
        scene.nodeUpdated(source.add(0x5, "tag", 1, 1, 1));
        QCOMPARE(source.sent.size(), 1);
        QCOMPARE(source.sent.at(0).value("id").toString(), QStringLiteral("0x0005"));
    }

    void clearHistory()
    {
        FakeNodeSource source;
        MapScene scene(&source);
        RtlsObject *tag = source.add(1, "tag", 0, 0, 0);
        for (int i = 0; i < 5; ++i) {
            tag->pos()->setX(float(i));
            scene.nodeUpdated(tag);
        }
        QCOMPARE(scene.nodeObject(1)->history().size(), 5);
        scene.clearHistory();
        QCOMPARE(scene.nodeObject(1)->history().size(), 0);
    }

    // A tag made by one location report gets no object, on an update or a
    // refresh, until it is heard again; nodes known otherwise get theirs at
    // once.
    void heardOnceWaitsForTheNextReport()
    {
        FakeNodeSource source;
        MapScene scene(&source);
        MapZone *zone = scene.addZone();
        zone->setCommandList(json("{\"on_enter\":{\"command\":\"in\",\"id\":\"__SELF__\"}}"));
        RtlsObject *ghost = source.add(0x31, "tag", 1, 1, 1);
        ghost->setMsgFlags(Rtls::kMsgHeardOnce);
        RtlsObject *listed = source.add(0x32, "tag", 1, 1, 1);
        RtlsObject *anchor = source.add(0x33, "anchor", 1, 1, 1);
        scene.takeDirty();
        for (RtlsObject *node : {ghost, listed, anchor})
            scene.nodeUpdated(node);
        QVERIFY(!scene.nodeObject(0x31));
        QVERIFY(scene.nodeObject(0x32));
        QVERIFY(scene.nodeObject(0x33));
        scene.refreshAnchors();
        QVERIFY(!scene.nodeObject(0x31));
        // The zone heard of the listed tag only.
        QCOMPARE(source.sent.size(), 1);
        QCOMPARE(source.sent.at(0).value("id").toString(), QStringLiteral("0x0032"));

        ghost->clearMsgFlags(Rtls::kMsgHeardOnce);
        scene.nodeUpdated(ghost);
        QVERIFY(scene.nodeObject(0x31));
        QCOMPARE(scene.nodeObject(0x31)->frame().position().x, 1.0);
        QCOMPARE(source.sent.size(), 2);
    }

    void dirtyFlag()
    {
        FakeNodeSource source;
        MapScene scene(&source);
        QVERIFY(scene.takeDirty());
        QVERIFY(!scene.takeDirty());
        scene.nodeUpdated(source.add(1, "tag", 0, 0, 0));
        QVERIFY(scene.takeDirty());
        scene.grid()->setStepSize(3);
        QVERIFY(scene.takeDirty());
    }
};

QTEST_GUILESS_MAIN(tst_MapScene)
#include "tst_mapscene.moc"
