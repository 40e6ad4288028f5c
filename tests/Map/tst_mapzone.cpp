#include "FakeNodeSource.h"
#include "MapMetaTypes.h"
#include "MapScene.h"
#include "MapTexture.h"
#include "MapZone.h"
#include "RtlsIMU.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QJsonObject json(const char *text)
{
    return QJsonDocument::fromJson(text).object();
}

QString compact(const QJsonObject &o)
{
    return QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact));
}

} // namespace

// Zones without a GL context: their JSON, the enter and exit commands with
// the tag's id filled in, the level colour, and what a bad file gives.
class tst_MapZone : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { registerMapMetaTypes(); }

    void defaults()
    {
        MapZone zone;
        QCOMPARE(zone.mode(), MapZone::Storage);
        QCOMPARE(zone.type(), QStringLiteral("STORAGE"));
        QCOMPARE(zone.level(), 10);
        QCOMPARE(zone.underColor(), QColor("#00FF00"));
        QCOMPARE(zone.overColor(), QColor("#FF0000"));
        QCOMPARE(zone.size(), qglviewer::Vec(2, 2, 2));
        QVERIFY(zone.show());
    }

    void roundTrip()
    {
        const QJsonObject in = json("{\"x\":1,\"y\":2,\"length\":10,\"width\":5,\"height\":3,"
            "\"name\":\"Dock\",\"id\":\"0x00AB\",\"image\":\"\",\"mode\":4,\"level\":3,"
            "\"under_level_color\":\"#102030\",\"over_level_color\":\"#a0b0c0\",\"draw_height\":0.5,"
            "\"type\":\"MACHINE\",\"cmdlist\":{\"on_enter\":{\"command\":\"setDigitalIO\",\"id\":\"__SELF__\"}},"
            "\"target\":\"0x1234\"}");
        MapZone zone;
        zone.fromJSON(in);
        QCOMPARE(zone.id(), 0xABull);
        QCOMPARE(zone.target(), 0x1234ull);
        QCOMPARE(zone.mode(), MapZone::Machine);
        MapZone copy;
        copy.fromJSON(zone.toJSON());
        QCOMPARE(compact(copy.toJSON()), compact(zone.toJSON()));
        QCOMPARE(copy.toJSON().value("id").toString(), QStringLiteral("0x00AB"));
        QCOMPARE(copy.toJSON().value("under_level_color").toString(), QStringLiteral("#102030"));
    }

    void reading_data()
    {
        QTest::addColumn<QByteArray>("in");
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("type");
        QTest::addColumn<quint64>("target");
        QTest::newRow("type decides the mode") << QByteArray("{\"mode\":2,\"type\":\"STORAGE\"}") << 3 << "STORAGE" << 0ull;
        QTest::newRow("no type keeps the mode") << QByteArray("{\"mode\":2}") << 2 << "STORAGE" << 0ull;
        QTest::newRow("unknown type is a floor plan") << QByteArray("{\"type\":\"garden\"}") << 1 << "garden" << 0ull;
        QTest::newRow("floor plan") << QByteArray("{\"type\":\"FLOORPLAN\"}") << 1 << "FLOORPLAN" << 0ull;
        QTest::newRow("self target is none") << QByteArray("{\"target\":\"__self__\"}") << 3 << "STORAGE" << 0ull;
        QTest::newRow("target") << QByteArray("{\"target\":\"12AB\"}") << 3 << "STORAGE" << 0x12ABull;
        QTest::newRow("wrong types ignored")
            << QByteArray("{\"mode\":\"2\",\"type\":4,\"target\":5,\"level\":\"x\"}") << 3 << "STORAGE" << 0ull;
    }

    void reading()
    {
        QFETCH(QByteArray, in);
        QFETCH(int, mode);
        QFETCH(QString, type);
        QFETCH(quint64, target);
        MapZone zone;
        zone.fromJSON(json(in));
        QCOMPARE(int(zone.mode()), mode);
        QCOMPARE(zone.type(), type);
        QCOMPARE(zone.target(), target);
        QCOMPARE(zone.level(), 10);
        // A zero target is not written.
        QCOMPARE(zone.toJSON().contains("target"), target != 0);
    }

    // Every zone that can be made comes back from its own file as it was,
    // whether its mode follows from its type or not.
    void everyKindRoundTrips_data()
    {
        QTest::addColumn<QByteArray>("made");
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("type");
        QTest::newRow("floor plan") << QByteArray("{\"type\":\"FLOORPLAN\"}") << 1 << "FLOORPLAN";
        QTest::newRow("storage") << QByteArray("{\"type\":\"STORAGE\"}") << 3 << "STORAGE";
        QTest::newRow("machine") << QByteArray("{\"type\":\"MACHINE\"}") << 4 << "MACHINE";
        QTest::newRow("a type of the user's") << QByteArray("{\"type\":\"garden\"}") << 1 << "garden";
        QTest::newRow("translucent box") << QByteArray("{\"mode\":2}") << 2 << "STORAGE";
        QTest::newRow("mode 1 without type") << QByteArray("{\"mode\":1}") << 1 << "STORAGE";
        QTest::newRow("mode 4 without type") << QByteArray("{\"mode\":4}") << 4 << "STORAGE";
    }

    void everyKindRoundTrips()
    {
        QFETCH(QByteArray, made);
        QFETCH(int, mode);
        QFETCH(QString, type);
        MapZone zone;
        zone.fromJSON(json(made));
        QCOMPARE(int(zone.mode()), mode);
        const QJsonObject saved = zone.toJSON();
        MapZone again;
        again.fromJSON(saved);
        QCOMPARE(int(again.mode()), mode);
        QCOMPARE(again.type(), type);
        QCOMPARE(compact(again.toJSON()), compact(saved));
    }

    void idsFromTheClockDiffer()
    {
        const char *const withoutId[] = {"{\"name\":\"no id\"}", "{\"id\":5}", "{\"id\":\"zone\"}",
                                         "{\"id\":\"0x0000\"}", "{\"id\":null}"};
        QSet<qulonglong> ids;
        for (int i = 0; i < 50; ++i) {
            MapZone zone;
            zone.fromJSON(json(withoutId[i % 5]));
            QVERIFY(QString::number(zone.id(), 16).toUpper().startsWith("A5EA0"));
            ids.insert(zone.id());
        }
        QCOMPARE(ids.size(), 50);
    }

    void badColoursAreReported()
    {
        FakeNodeSource source;
        MapScene scene(&source);
        QSignalSpy console(&scene, &MapScene::displayMessage);
        MapZone zone(&scene);
        zone.fromJSON(json("{\"name\":\"Hall\",\"under_level_color\":\"not a colour\",\"over_level_color\":\"#12345\"}"));
        QCOMPARE(zone.underColor(), QColor("#00FF00"));
        QCOMPARE(zone.overColor(), QColor("#FF0000"));
        QCOMPARE(console.count(), 2);
        QVERIFY(console.at(0).at(0).toString().contains("not a colour"));
    }

    void badImageIsReported()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("plan.png");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("this is not a picture");
        file.close();
        FakeNodeSource source;
        MapScene scene(&source);
        QSignalSpy console(&scene, &MapScene::displayMessage);
        MapZone zone(&scene);
        zone.setImage(path);
        QCOMPARE(console.count(), 1);
        QCOMPARE(console.at(0).at(0).toString(),
                 QStringLiteral("Unable to load file %1, unsupported file format").arg(path));
        // The same name again is not read again.
        zone.setImage(path);
        QCOMPARE(console.count(), 1);
    }

    // The texture a plan gets, whatever the GL's limit: never a padded
    // monster (Mesa allows 16384, and a 10000-pixel plan padded to it would
    // take a GiB).
    void planTextureSize_data()
    {
        QTest::addColumn<QSize>("picture");
        QTest::addColumn<int>("glMax");
        QTest::addColumn<bool>("pad");
        QTest::addColumn<QSize>("texture");
        QTest::addColumn<QSizeF>("covered");
        QTest::newRow("small plan padded") << QSize(60, 40) << 16384 << true << QSize(64, 64) << QSizeF(60.0 / 64, 40.0 / 64);
        QTest::newRow("power of two as it is") << QSize(256, 128) << 16384 << true << QSize(256, 128) << QSizeF(1, 1);
        QTest::newRow("10000 wide under a 16384 GL") << QSize(10000, 300) << 16384 << true << QSize(4096, 128)
                                                     << QSizeF(1, 122.0 / 128);
        QTest::newRow("10000 wide under a 2048 GL") << QSize(10000, 300) << 2048 << true << QSize(2048, 64)
                                                    << QSizeF(1, 61.0 / 64);
        QTest::newRow("GL limit not a power of two") << QSize(3000, 10) << 3000 << true << QSize(2048, 8)
                                                     << QSizeF(1, 6.0 / 8);
        QTest::newRow("node picture, no padding") << QSize(5000, 100) << 16384 << false << QSize(4096, 81)
                                                  << QSizeF(1, 1);
    }

    void planTextureSize()
    {
        QFETCH(QSize, picture);
        QFETCH(int, glMax);
        QFETCH(bool, pad);
        QFETCH(QSize, texture);
        QFETCH(QSizeF, covered);
        QImage plan(picture, QImage::Format_RGB32);
        plan.fill(Qt::red);
        const MapTexture::Prepared p = MapTexture::prepare(plan, glMax, pad);
        QCOMPARE(p.image.size(), texture);
        QVERIFY2(std::fabs(p.s - covered.width()) < 0.01 && std::fabs(p.t - covered.height()) < 0.01,
                 qPrintable(QStringLiteral("%1 x %2").arg(p.s).arg(p.t)));
    }

    void planKeepsItsCorners()
    {
        QImage plan(10000, 300, QImage::Format_RGB32);
        plan.fill(Qt::red);
        for (int y = 0; y < 100; ++y) {
            for (int x = 0; x < 1000; ++x)
                plan.setPixel(x, y, qRgb(0, 0, 255));
        }
        const MapTexture::Prepared p = MapTexture::prepare(plan, 16384, true);
        // Bottom row first: the picture's top-left pixel ends up on the last
        // row that the picture covers; the padding is transparent.
        const int top = p.image.height() - 1;
        QCOMPARE(QColor(p.image.pixel(0, top)).blue(), 255);
        QCOMPARE(QColor(p.image.pixel(p.image.width() - 1, top)).red(), 255);
        QCOMPARE(qAlpha(p.image.pixel(0, 0)), 0);
    }

    void hugeFileIsHeldScaledDown()
    {
        QTemporaryDir dir;
        QImage plan(9000, 20, QImage::Format_RGB32);
        plan.fill(Qt::blue);
        const QString path = dir.filePath("plan.png");
        QVERIFY(plan.save(path));
        MapTexture texture;
        QVERIFY(texture.load(path));
        QCOMPARE(texture.pendingSize(), QSize(4096, 9));
        // A file that cannot be read leaves nothing to upload.
        QVERIFY(!texture.load(dir.filePath("missing.png")));
        QVERIFY(!texture.hasPicture());
    }

    void selfSubstitution_data()
    {
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<quint64>("node");
        QTest::addColumn<QByteArray>("sent");
        QTest::newRow("short id padded to four digits")
            << QByteArray("{\"command\":\"x\",\"id\":\"__SELF__\"}") << 0x5ull << QByteArray("{\"command\":\"x\",\"id\":\"0x0005\"}");
        QTest::newRow("long id not cut")
            << QByteArray("{\"command\":\"x\",\"id\":\"__SELF__\"}") << 0x12ABCull << QByteArray("{\"command\":\"x\",\"id\":\"0x12ABC\"}");
        QTest::newRow("prefix is enough")
            << QByteArray("{\"id\":\"__SELF__tail\"}") << 0xABull << QByteArray("{\"id\":\"0x00AB\"}");
        QTest::newRow("other ids untouched")
            << QByteArray("{\"id\":\"0x0001\"}") << 0xABull << QByteArray("{\"id\":\"0x0001\"}");
        QTest::newRow("id that is not text untouched")
            << QByteArray("{\"id\":5}") << 0xABull << QByteArray("{\"id\":5}");
    }

    void selfSubstitution()
    {
        QFETCH(QByteArray, command);
        QFETCH(quint64, node);
        QFETCH(QByteArray, sent);
        QCOMPARE(compact(MapZone::commandFor(json(command), node)), QString::fromUtf8(sent));
    }

    // A tag walking along x through a zone from 0 to 2 (faces included);
    // each step lists the commands sent so far.
    void enterAndExit_data()
    {
        QTest::addColumn<QVector<double>>("walk");
        QTest::addColumn<QStringList>("commands");
        QTest::newRow("stays outside") << QVector<double>{-1, -0.5} << QStringList();
        QTest::newRow("on the face is inside") << QVector<double>{-1, 0} << QStringList{"enter"};
        QTest::newRow("standing inside enters once")
            << QVector<double>{1, 1.1, 1.2, 1.0, 1.5} << QStringList{"enter"};
        QTest::newRow("through") << QVector<double>{-1, 1, 3} << QStringList{"enter", "exit"};
        QTest::newRow("jitter on the face")
            << QVector<double>{1, 2.0, 2.05, 1.99, 2.09, 2.0, 2.08} << QStringList{"enter"};
        QTest::newRow("clearly out then back")
            << QVector<double>{1, 2.2, 2.0, 2.2} << QStringList{"enter", "exit", "enter", "exit"};
        QTest::newRow("out by less than the margin stays")
            << QVector<double>{1, 2.09, 1.5} << QStringList{"enter"};
    }

    void enterAndExit()
    {
        QFETCH(QVector<double>, walk);
        QFETCH(QStringList, commands);
        FakeNodeSource source;
        MapScene scene(&source);
        MapZone zone(&scene);
        zone.fromJSON(json("{\"cmdlist\":{\"on_enter\":{\"command\":\"enter\",\"id\":\"__SELF__\"},"
            "\"on_exit\":{\"command\":\"exit\",\"id\":\"__SELF__\"}}}"));
        RtlsObject *tag = source.add(0x2A, "tag", 0, 1, 1);
        QSignalSpy entered(&zone, &MapZone::nodeEntered);
        QSignalSpy left(&zone, &MapZone::nodeLeft);
        for (double x : walk) {
            tag->pos()->setX(float(x));
            zone.nodeUpdated(tag);
        }
        QStringList sent;
        for (const QJsonObject &c : qAsConst(source.sent)) {
            sent << c.value("command").toString();
            QCOMPARE(c.value("id").toString(), QStringLiteral("0x002A"));
        }
        QCOMPARE(sent, commands);
        QCOMPARE(entered.count(), commands.count("enter"));
        QCOMPARE(left.count(), commands.count("exit"));
        if (!entered.isEmpty())
            QCOMPARE(entered.at(0).at(0).value<uint64_t>(), uint64_t(0x2A));
        QCOMPARE(zone.nodesInside().contains(0x2A), commands.count("enter") > commands.count("exit"));
    }

    void onlyTagsCount()
    {
        FakeNodeSource source;
        MapScene scene(&source);
        MapZone zone(&scene);
        zone.fromJSON(json("{\"level\":1,\"cmdlist\":{\"on_enter\":{\"command\":\"enter\"}}}"));
        RtlsObject *anchor = source.add(1, "anchor", 1, 1, 1);
        RtlsObject *noPosition = source.add(2, "tag");
        zone.nodeUpdated(anchor);
        zone.nodeUpdated(noPosition);
        zone.nodeUpdated(nullptr);
        QVERIFY(source.sent.isEmpty());
        QCOMPARE(zone.levelColor(), zone.underColor());
        // Testing a node against a zone does not give it a position.
        QVERIFY(!noPosition->hasPos());
    }

    // Every way a tag leaves the count: the masters get "on_exit" and the
    // MQTT side nodeLeft, the same number of times; each step is a report
    // of the tag ("at x"), its mode changing, or the hub finding it silent.
    void everyExitIsSent_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QStringList>("commands");
        QTest::addColumn<bool>("inside");
        QTest::newRow("walks out") << QStringList{"at 1", "at 5"} << QStringList{"enter", "exit"} << false;
        QTest::newRow("becomes an anchor inside")
            << QStringList{"at 1", "anchor"} << QStringList{"enter", "exit"} << false;
        QTest::newRow("an anchor again is not counted twice")
            << QStringList{"at 1", "anchor", "anchor"} << QStringList{"enter", "exit"} << false;
        QTest::newRow("becomes a tag again inside")
            << QStringList{"at 1", "anchor", "tag"} << QStringList{"enter", "exit", "enter"} << true;
        QTest::newRow("silent inside") << QStringList{"at 1", "inactive"} << QStringList{"enter", "exit"} << false;
        QTest::newRow("silent twice leaves once")
            << QStringList{"at 1", "inactive", "inactive"} << QStringList{"enter", "exit"} << false;
        QTest::newRow("silent outside sends nothing")
            << QStringList{"at 5", "inactive"} << QStringList() << false;
        QTest::newRow("heard inside again enters again")
            << QStringList{"at 1", "inactive", "at 1"} << QStringList{"enter", "exit", "enter"} << true;
        QTest::newRow("heard outside after silence")
            << QStringList{"at 1", "inactive", "at 5"} << QStringList{"enter", "exit"} << false;
    }

    void everyExitIsSent()
    {
        QFETCH(QStringList, steps);
        QFETCH(QStringList, commands);
        QFETCH(bool, inside);
        FakeNodeSource source;
        MapScene scene(&source);
        scene.fromJSON(json("{\"zone\":[{\"cmdlist\":{\"on_enter\":{\"command\":\"enter\",\"id\":\"__SELF__\"},"
                            "\"on_exit\":{\"command\":\"exit\",\"id\":\"__SELF__\"}}}]}"));
        MapZone *zone = scene.zones().at(0);
        QSignalSpy entered(zone, &MapZone::nodeEntered);
        QSignalSpy left(zone, &MapZone::nodeLeft);
        RtlsObject *tag = source.add(0x2A, "tag", 1, 1, 1);
        for (const QString &step : qAsConst(steps)) {
            if (step == "inactive") {
                scene.nodeInActive(tag);
                continue;
            }
            if (step.startsWith("at "))
                tag->pos()->setX(step.mid(3).toFloat());
            else
                tag->setMode(step);
            scene.nodeUpdated(tag);
        }
        QStringList sent;
        for (const QJsonObject &c : qAsConst(source.sent)) {
            sent << c.value("command").toString();
            QCOMPARE(c.value("id").toString(), QStringLiteral("0x002A"));
        }
        QCOMPARE(sent, commands);
        QCOMPARE(entered.count(), commands.count("enter"));
        QCOMPARE(left.count(), commands.count("exit"));
        QCOMPARE(zone->nodesInside().contains(0x2A), inside);
        QCOMPARE(zone->nodesInside().size(), inside ? 1 : 0);
    }

    void commandsThatAreNotObjects()
    {
        FakeNodeSource source;
        MapScene scene(&source);
        MapZone zone(&scene);
        zone.fromJSON(json("{\"cmdlist\":{\"on_enter\":\"setDigitalIO\",\"on_exit\":[1]}}"));
        RtlsObject *tag = source.add(7, "tag", 1, 1, 1);
        zone.nodeUpdated(tag);
        QCOMPARE(zone.nodesInside(), QVector<uint64_t>{7});
        tag->pos()->setX(5);
        zone.nodeUpdated(tag);
        QVERIFY(zone.nodesInside().isEmpty());
        QVERIFY(source.sent.isEmpty());
    }

    void levelColour()
    {
        FakeNodeSource source;
        MapScene scene(&source);
        MapZone zone(&scene);
        zone.fromJSON(json("{\"x\":0,\"y\":0,\"length\":10,\"width\":10,\"height\":3}"));
        for (uint64_t id = 1; id <= 10; ++id) {
            QCOMPARE(zone.levelColor(), QColor("#00FF00"));
            zone.nodeUpdated(source.add(id, "tag", float(id % 10), 5, 1));
        }
        QCOMPARE(zone.nodesInside().size(), 10);
        QCOMPARE(zone.levelColor(), QColor("#FF0000"));
    }

    void setTypeAnnouncesOnlyListedZones()
    {
        FakeNodeSource source;
        MapScene scene(&source);
        QSignalSpy updated(&scene, &MapScene::zoneUpdated);
        MapZone loose(&scene);
        loose.setType("MACHINE");
        QCOMPARE(updated.count(), 0);
        MapZone *listed = scene.addZone();
        listed->setType("FLOORPLAN");
        QCOMPARE(updated.count(), 1);
        QCOMPARE(listed->mode(), MapZone::FloorPlan);
    }

    void showSignal()
    {
        MapZone zone;
        QSignalSpy spy(&zone, &MapZone::showChanged);
        zone.setShow(true);
        zone.setShow(false);
        zone.setShow(false);
        QCOMPARE(spy.count(), 1);
    }
};

QTEST_GUILESS_MAIN(tst_MapZone)
#include "tst_mapzone.moc"
