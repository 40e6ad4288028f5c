// Zones given by their definitions: the headless service reading its
// settings file again and a remote view following a site's zones. A zone
// kept or changed stays the same zone, so a tag in it does not enter again.
#include "Map/FakeNodeSource.h"
#include "MapScene.h"
#include "MapZone.h"
#include "ZoneDefinitions.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QtTest>

namespace {

const char kStart[] = R"([
    {"id":"0x00A1","name":"A","x":1,"y":0,"z":0,"length":4,"width":4,"height":3,"level":2,
     "cmdlist":{"on_enter":{"command":"setDio8","id":"__SELF__"}}},
    {"id":"0x00B2","name":"B","x":10,"y":0,"z":0,"length":4,"width":4,"height":3}
])";

QJsonValue zonesOf(const QByteArray &text)
{
    return QJsonDocument::fromJson("{\"zone\":" + text + "}").object().value(QStringLiteral("zone"));
}

QStringList names(const MapScene &scene)
{
    QStringList out;
    for (const MapZone *zone : scene.zones())
        out << zone->name();
    return out;
}

} // namespace

class tst_ZoneDefinitions : public QObject
{
    Q_OBJECT

private slots:
    void merge_data();
    void merge();
    void completeLeavesNothingBehind_data();
    void completeLeavesNothingBehind();
    void zoneWithoutIdIsNewEachTime();
};

void tst_ZoneDefinitions::merge_data()
{
    QTest::addColumn<QByteArray>("zones");
    QTest::addColumn<QStringList>("changes");
    QTest::addColumn<QStringList>("after");
    QTest::addColumn<bool>("tagEntersAgain");

    QTest::newRow("the same list") << QByteArray(kStart) << QStringList() << QStringList{"A", "B"} << false;
    QTest::newRow("order and white space do not matter")
        << QByteArray(R"([{"name":"B","id":"0xB2","x":10,"length":4,"width":4,"height":3},
                          {"level":2,"height":3,"width":4,"length":4,"x":1,"name":"A","id":"0x00a1",
                           "cmdlist":{"on_enter":{"command":"setDio8","id":"__SELF__"}}}])")
        << QStringList() << QStringList{"A", "B"} << false;
    QTest::newRow("one added") << QByteArray(kStart).replace("\n]", R"(,{"id":"0x00C3","name":"C"}])")
                               << QStringList{"zone \"C\" added"} << QStringList{"A", "B", "C"} << false;
    QTest::newRow("one removed") << QByteArray(R"([{"id":"0x00A1","name":"A","x":1,"length":4,"width":4,"height":3,"level":2,
                                                     "cmdlist":{"on_enter":{"command":"setDio8","id":"__SELF__"}}}])")
                                 << QStringList{"zone \"B\" removed"} << QStringList{"A"} << false;
    QTest::newRow("one changed, the tag still in it")
        << QByteArray(kStart).replace("\"length\":4,\"width\":4,\"height\":3,\"level\":2", "\"length\":6,\"width\":4,\"height\":3,\"level\":5")
        << QStringList{"zone \"A\" changed"} << QStringList{"A", "B"} << false;
    QTest::newRow("all removed") << QByteArray("[]") << QStringList{"zone \"A\" removed", "zone \"B\" removed"}
                                 << QStringList() << false;
    QTest::newRow("a zone that is no object")
        << QByteArray(kStart).replace("\n]", ",5]") << QStringList{"a zone that is not a JSON object skipped"}
        << QStringList{"A", "B"} << false;
    QTest::newRow("not a list") << QByteArray(R"({"id":"0x00A1"})") << QStringList{"\"zone\" is not a list, zones kept"}
                                << QStringList{"A", "B"} << false;
    QTest::newRow("no zone key") << QByteArray() << QStringList() << QStringList{"A", "B"} << false;
    QTest::newRow("replaced under another id, the tag enters it")
        << QByteArray(kStart).replace("0x00A1", "0x00A9")
        << QStringList{"zone \"A\" added", "zone \"A\" removed"} << QStringList{"B", "A"} << true;
}

void tst_ZoneDefinitions::merge()
{
    QFETCH(QByteArray, zones);
    QFETCH(QStringList, changes);
    QFETCH(QStringList, after);
    QFETCH(bool, tagEntersAgain);

    FakeNodeSource source;
    MapScene scene(&source);
    QCOMPARE(ZoneDefinitions::merge(&scene, zonesOf(kStart)), (QStringList{"zone \"A\" added", "zone \"B\" added"}));
    // A tag standing in A: one "on_enter" so far.
    RtlsObject *tag = source.add(0x4001, QStringLiteral("tag"), 2, 2, 1);
    scene.nodeUpdated(tag);
    QCOMPARE(source.sent.size(), 1);
    MapZone *a = ZoneDefinitions::find(&scene, 0xA1);

    // What a document without "zone" gives.
    const QJsonValue value = zones.isEmpty() ? QJsonValue(QJsonValue::Undefined) : zonesOf(zones);
    QCOMPARE(ZoneDefinitions::merge(&scene, value), changes);
    QCOMPARE(names(scene), after);
    if (after.contains(QStringLiteral("A")) && ZoneDefinitions::find(&scene, 0xA1))
        QCOMPARE(ZoneDefinitions::find(&scene, 0xA1), a);
    scene.nodeUpdated(tag);
    QCOMPARE(source.sent.size(), tagEntersAgain ? 2 : 1);
}

void tst_ZoneDefinitions::completeLeavesNothingBehind_data()
{
    QTest::addColumn<QByteArray>("second");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QJsonValue>("expected");

    const QByteArray box = R"("id":"0x00A1","name":"A")";
    QTest::newRow("x left out is 0") << ("{" + box + "}") << "x" << QJsonValue(QJsonValue::Undefined);
    QTest::newRow("commands left out are none") << ("{" + box + "}") << "cmdlist" << QJsonValue(QJsonObject());
    QTest::newRow("level left out is the default") << ("{" + box + "}") << "level" << QJsonValue(10);
    QTest::newRow("a mode without a type is kept") << ("{" + box + R"(,"mode":2})") << "mode" << QJsonValue(2);
    QTest::newRow("the type decides the mode") << ("{" + box + R"(,"mode":2,"type":"MACHINE"})") << "mode" << QJsonValue(4);
}

void tst_ZoneDefinitions::completeLeavesNothingBehind()
{
    QFETCH(QByteArray, second);
    QFETCH(QString, key);
    QFETCH(QJsonValue, expected);

    FakeNodeSource source;
    MapScene scene(&source);
    const QJsonObject first = QJsonDocument::fromJson(
        R"({"id":"0x00A1","name":"A","x":3,"level":4,"type":"FLOORPLAN","cmdlist":{"on_exit":{"command":"x"}}})").object();
    QCOMPARE(ZoneDefinitions::apply(&scene, first), ZoneDefinitions::Outcome::Added);
    QCOMPARE(ZoneDefinitions::apply(&scene, first), ZoneDefinitions::Outcome::Unchanged);
    QCOMPARE(ZoneDefinitions::apply(&scene, QJsonDocument::fromJson(second).object()), ZoneDefinitions::Outcome::Changed);
    QCOMPARE(scene.zones().size(), 1);
    QCOMPARE(scene.zones().first()->toJSON().value(key), expected);
}

void tst_ZoneDefinitions::zoneWithoutIdIsNewEachTime()
{
    FakeNodeSource source;
    MapScene scene(&source);
    const QJsonValue loose = zonesOf(R"([{"name":"Loose"}])");
    QCOMPARE(ZoneDefinitions::merge(&scene, loose), QStringList{"zone \"Loose\" added"});
    const uint64_t first = scene.zones().first()->id();
    QVERIFY(first != 0);
    // It cannot be named again: read again, it is another zone.
    QCOMPARE(ZoneDefinitions::merge(&scene, loose), (QStringList{"zone \"Loose\" added", "zone \"Loose\" removed"}));
    QCOMPARE(scene.zones().size(), 1);
    QVERIFY(scene.zones().first()->id() != first);
    QCOMPARE(ZoneDefinitions::apply(&scene, QJsonObject{{"name", "Loose"}}), ZoneDefinitions::Outcome::Refused);
}

QTEST_GUILESS_MAIN(tst_ZoneDefinitions)
#include "tst_zonedefinitions.moc"
