#include "AppTestEnvironment.h"
#include "ConsoleView.h"
#include "MainWindow.h"
#include "MapTab.h"
#include "OrientationView.h"
#include "SentrovaInterface.h"

#include <QAction>
#include <QDockWidget>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QSettings>
#include <QTextBlock>
#include <QTextDocument>
#include <QtTest>

#include <memory>

namespace {

const char kSettingsFile[] = "sentrova.json";

// A site with every key the settings document keeps set away from its
// default: nodes with known coordinates, a zone of each kind, the heat map,
// the view with its grid, and the broker.
const char kEverything[] = R"({
 "node": [
  {"id": "0x0A01", "name": "North wall", "description": "by the gate", "category": "Walls",
   "mode": "anchor", "coordinates": {"x": 1.25, "y": -2.5, "z": 3.125}, "image": "north.png"},
  {"id": "0x0A02", "name": "Hall master", "description": "roof", "category": "Masters",
   "mode": "master", "coordinates": {"x": -40.5, "y": 12.75, "z": 6}, "image": "master.png"},
  {"id": "0x1B03", "name": "Forklift 3", "description": "night shift", "category": "Trucks", "mode": "tag"}
 ],
 "zone": [
  {"x": 1, "y": 2, "z": 0.5, "orientQ0": 0, "orientQ1": 0, "orientQ2": 1, "orientQ3": 0,
   "length": 10, "width": 5, "height": 3, "name": "Plan", "id": "0x0011", "image": "PLAN", "mode": 1,
   "level": 3, "under_level_color": "#102030", "over_level_color": "#a0b0c0", "draw_height": 0.25,
   "type": "FLOORPLAN", "cmdlist": {"on_enter": {"command": "setDigitalIO", "id": "__SELF__", "io": 1}},
   "target": "0x0A01"},
  {"x": -3, "length": 4, "width": 4, "height": 2, "name": "Racks", "id": "0x0012", "image": "", "mode": 3,
   "level": 0, "under_level_color": "#00ff00", "over_level_color": "#ff00ff", "draw_height": 1.5,
   "type": "STORAGE", "cmdlist": {"on_exit": {"command": "setDigitalIO", "id": "__SELF__", "io": 0}}},
  {"y": -7, "z": 2, "length": 2.5, "width": 1.5, "height": 4, "name": "Press", "id": "0x0013", "image": "",
   "mode": 4, "level": 100000, "under_level_color": "#010203", "over_level_color": "#fefdfc",
   "draw_height": 0, "type": "MACHINE", "cmdlist": {}, "target": "0x0A02"},
  {"x": 5, "y": 5, "length": 3, "width": 3, "height": 3, "name": "Cold room", "id": "0x0014", "image": "",
   "mode": 2, "level": 2, "under_level_color": "#3366cc", "over_level_color": "#cc6633", "draw_height": 0,
   "cmdlist": {}},
  {"length": 1, "width": 1, "height": 1, "name": "Garden", "id": "0x0015", "image": "", "mode": 1,
   "level": 7, "under_level_color": "#00ff00", "over_level_color": "#ff0000", "draw_height": 0,
   "type": "garden", "cmdlist": {}}
 ],
 "heat": {"x": -12, "y": -8, "z": 1, "length": 24, "width": 16, "height": 4, "show": true,
          "showvalues": true, "gridres": 0.5, "mode": 2, "min": -3, "max": 9},
 "gui": {"background-color": "#203040", "perspective": false,
         "grid": {"x": -5, "y": -6, "z": 0.5, "orientQ0": 0.5, "orientQ1": 0.5, "orientQ2": 0.5, "orientQ3": 0.5,
                  "length": 30, "width": 20, "height": 1,
                  "x-axis-color": "#aa0000", "y-axis-color": "#00aa00", "axis-color": "#123456",
                  "step-axis-color": "#654321", "step-size": 4}},
 "mqtt": {"enabled": true, "host": "127.0.0.1", "port": 1884, "clientId": "site-a", "username": "ops",
          "password": "secret", "tls": true, "caFile": "/nonexistent/ca.pem", "topicPrefix": "plant/a",
          "rateLimit": 2.5}
})";

QJsonObject parse(const QByteArray &text)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(text, &error);
    if (error.error != QJsonParseError::NoError)
        qWarning("settings text does not parse: %s", qPrintable(error.errorString()));
    return doc.object();
}

void writeFile(const QJsonObject &root)
{
    QFile file{QString::fromLatin1(kSettingsFile)};
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(QJsonDocument(root).toJson());
}

QJsonObject readFile()
{
    QFile file{QString::fromLatin1(kSettingsFile)};
    if (!file.open(QIODevice::ReadOnly))
        return QJsonObject();
    return QJsonDocument::fromJson(file.readAll()).object();
}

// Nodes come out in the registry's order: compared by id.
QMap<QString, QJsonObject> byId(const QJsonValue &nodes)
{
    QMap<QString, QJsonObject> map;
    for (const QJsonValue &v : nodes.toArray())
        map.insert(v.toObject().value(QLatin1String("id")).toString(), v.toObject());
    return map;
}

QString text(const QJsonValue &v)
{
    if (v.isObject())
        return QString::fromUtf8(QJsonDocument(v.toObject()).toJson(QJsonDocument::Compact));
    return QString::fromUtf8(QJsonDocument(v.toArray()).toJson(QJsonDocument::Compact));
}

} // namespace

// What the window saves through its own Save Settings and reads through Load
// Settings: every value a user set comes back as it was, and a document
// saved, loaded and saved again is unchanged.
class TestSettingsRoundTrip : public QObject
{
    Q_OBJECT

public:
    static void initMain() { AppTestEnvironment::isolate(); }

private slots:
    void init();
    void cleanup();
    void everyPersistedValueRoundTrips();
    void unusableIntegersKeepWhatWasLoaded();
    void loadedBackgroundShowsOnTheMapOnly();

private:
    void createWindow();
    void trigger(const QString &text);
    QStringList consoleLines() const;

    std::unique_ptr<MainWindow> m_window;
};

void TestSettingsRoundTrip::init()
{
    QSettings().clear();
    QFile::remove(QString::fromLatin1(kSettingsFile));
}

void TestSettingsRoundTrip::cleanup()
{
    m_window.reset();
}

void TestSettingsRoundTrip::createWindow()
{
    m_window = std::make_unique<MainWindow>();
    m_window->resize(1200, 800);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void TestSettingsRoundTrip::trigger(const QString &text)
{
    for (QAction *a : m_window->findChildren<QAction *>()) {
        if (a->text() == text) {
            a->trigger();
            return;
        }
    }
    QFAIL(qPrintable(QStringLiteral("no action ") + text));
}

QStringList TestSettingsRoundTrip::consoleLines() const
{
    auto *console = m_window->findChild<ConsoleView *>();
    console->flush();
    QStringList lines;
    for (QTextBlock b = console->document()->begin(); b.isValid(); b = b.next())
        lines << b.text().section(QStringLiteral(": "), 1, -1);
    return lines;
}

void TestSettingsRoundTrip::everyPersistedValueRoundTrips()
{
    const QJsonObject given = parse(kEverything);
    QVERIFY(!given.isEmpty());
    writeFile(given);
    // The first show loads the file.
    createWindow();
    trigger(QStringLiteral("Save Settings"));
    const QJsonObject first = readFile();
    trigger(QStringLiteral("Load Settings"));
    trigger(QStringLiteral("Save Settings"));
    const QJsonObject second = readFile();
    QCOMPARE(text(second), text(first));

    // Every key comes back as given, except what the document does not
    // keep: a node's "category" is not read (the masters' listing sets it),
    // and "gui" holds no "heat".
    const QMap<QString, QJsonObject> givenNodes = byId(given.value(QLatin1String("node")));
    const QMap<QString, QJsonObject> savedNodes = byId(first.value(QLatin1String("node")));
    QCOMPARE(savedNodes.keys(), givenNodes.keys());
    for (auto it = givenNodes.begin(); it != givenNodes.end(); ++it) {
        QJsonObject want = it.value();
        QJsonObject got = savedNodes.value(it.key());
        want.remove(QLatin1String("category"));
        got.remove(QLatin1String("category"));
        QCOMPARE(text(got), text(want));
    }
    const QJsonArray givenZones = given.value(QLatin1String("zone")).toArray();
    const QJsonArray savedZones = first.value(QLatin1String("zone")).toArray();
    QCOMPARE(savedZones.size(), givenZones.size());
    for (int i = 0; i < givenZones.size(); ++i)
        QCOMPARE(text(savedZones.at(i)), text(givenZones.at(i)));
    for (const char *key : {"heat", "gui", "mqtt"})
        QCOMPARE(text(first.value(QLatin1String(key))), text(given.value(QLatin1String(key))));
}

void TestSettingsRoundTrip::unusableIntegersKeepWhatWasLoaded()
{
    const QJsonObject given = parse(kEverything);
    writeFile(given);
    createWindow();
    // The same site with a fraction, a number beyond any int and a text in
    // every integer key.
    QJsonObject bad = given;
    QJsonObject heat = bad.value(QLatin1String("heat")).toObject();
    heat.insert(QLatin1String("mode"), 1.5);
    heat.insert(QLatin1String("min"), 1e10);
    heat.insert(QLatin1String("max"), QStringLiteral("9"));
    bad.insert(QLatin1String("heat"), heat);
    QJsonObject gui = bad.value(QLatin1String("gui")).toObject();
    QJsonObject grid = gui.value(QLatin1String("grid")).toObject();
    grid.insert(QLatin1String("step-size"), 2.5);
    gui.insert(QLatin1String("grid"), grid);
    bad.insert(QLatin1String("gui"), gui);
    QJsonObject mqtt = bad.value(QLatin1String("mqtt")).toObject();
    mqtt.insert(QLatin1String("port"), 1884.5);
    bad.insert(QLatin1String("mqtt"), mqtt);
    QJsonArray zones = bad.value(QLatin1String("zone")).toArray();
    QJsonObject zone = zones.at(1).toObject();
    zone.insert(QLatin1String("level"), 2.5);
    zone.insert(QLatin1String("mode"), -1e10);
    zones.replace(1, zone);
    bad.insert(QLatin1String("zone"), zones);
    writeFile(bad);
    const int before = consoleLines().size();
    trigger(QStringLiteral("Load Settings"));
    trigger(QStringLiteral("Save Settings"));
    const QJsonObject saved = readFile();

    // One console line per key, each naming it.
    const QStringList lines = consoleLines().mid(before);
    for (const char *key : {"\"mode\"", "\"min\"", "\"max\"", "\"step-size\"", "\"port\"", "\"level\""}) {
        const int count = lines.filter(QLatin1String(key)).size();
        QVERIFY2(count == (qstrcmp(key, "\"mode\"") == 0 ? 2 : 1), qPrintable(lines.join('\n')));
    }
    // What was loaded stays; the zone read anew keeps a new zone's level and
    // the mode its type gives.
    QCOMPARE(text(saved.value(QLatin1String("heat"))), text(given.value(QLatin1String("heat"))));
    QCOMPARE(text(saved.value(QLatin1String("gui"))), text(given.value(QLatin1String("gui"))));
    QCOMPARE(text(saved.value(QLatin1String("mqtt"))), text(given.value(QLatin1String("mqtt"))));
    const QJsonObject racks = saved.value(QLatin1String("zone")).toArray().at(1).toObject();
    QCOMPARE(racks.value(QLatin1String("level")).toDouble(), 10.0);
    QCOMPARE(racks.value(QLatin1String("mode")).toDouble(), 3.0);
}

void TestSettingsRoundTrip::loadedBackgroundShowsOnTheMapOnly()
{
    createWindow();
    auto *map = m_window->findChild<MapTab *>();
    auto *orientation = m_window->findChild<OrientationView *>();
    QVERIFY(map && orientation);
    m_window->findChild<QDockWidget *>(QStringLiteral("orientation"))->show();
    QTRY_VERIFY(map->isValid() && orientation->isValid());
    QCOMPARE(map->grabFramebuffer().pixelColor(2, 2), QColor(161, 187, 206));
    // The orientation view drew last: its context is the current one when
    // the user loads the settings.
    const QColor orientationBefore = orientation->grabFramebuffer().pixelColor(2, 2);

    QJsonObject root = parse(R"({"gui": {"background-color": "#204060"}})");
    writeFile(root);
    trigger(QStringLiteral("Load Settings"));
    QCOMPARE(map->grabFramebuffer().pixelColor(2, 2), QColor(0x20, 0x40, 0x60));
    QCOMPARE(orientation->grabFramebuffer().pixelColor(2, 2), orientationBefore);
    // And it is what the next save writes.
    trigger(QStringLiteral("Save Settings"));
    QCOMPARE(readFile().value(QLatin1String("gui")).toObject().value(QLatin1String("background-color")).toString(),
             QStringLiteral("#204060"));
}

QTEST_MAIN(TestSettingsRoundTrip)
#include "tst_settingsroundtrip.moc"
