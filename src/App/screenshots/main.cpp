// sentrova-screenshots: the manager's main window against a running site,
// saved with each tab current, for the README and the documentation.
//
//   sentrova-screenshots --master 127.0.0.1 --out docs/images [--warm-up 12] [--report FILE]
//
// It is the manager as a user starts it (the same window, hub and settings
// path, a first start: the window fills the screen and lays itself out),
// talking to one master by address. It waits until the site's anchors and
// moving tags are known and the map has fitted itself to the site, lets the
// tags walk, and saves the map as it is then: what a newcomer sees. Then it
// lays a few zones over the hall, selects a tag and saves the window with
// each other tab current. The screen's size is the pictures' size.
// Before the site acceptance tab's picture it stands a tag (the simulator's
// "simParkTag") on a few survey points and runs them; --report also writes
// that tab's PDF report. Exit code 0 when every picture was written, 1
// otherwise.

#include "AppConstants.h"
#include "AppStyle.h"
#include "Dispatch.h"
#include "MainWindow.h"
#include "MapScene.h"
#include "MapTab.h"
#include "MapZone.h"
#include "Preferences.h"
#include "RtlsObject.h"
#include "RtlsPos.h"
#include "SentrovaInterface.h"
#include "SiteAcceptanceTab.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QHostAddress>
#include <QImage>
#include <QJsonArray>
#include <QJsonObject>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>

#include <cmath>
#include <cstdio>
#include <functional>

namespace {

constexpr int kPollMs = 100;
constexpr int kSiteTimeoutMs = 60000;
constexpr int kSettleMs = 1200;
constexpr int kMinAnchors = 6;
constexpr int kMinPlacedTags = 5;
// A tag that walks the whole hall: its trail and ranges show well.
constexpr uint64_t kShownTag = 0x2001;

void say(const QString &line)
{
    std::fprintf(stderr, "sentrova-screenshots: %s\n", qPrintable(line));
}

// Lets the event loop run for ms milliseconds.
void runFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Runs the event loop until done() holds or timeoutMs passed.
bool runUntil(const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        runFor(kPollMs);
    }
    return true;
}

struct SiteCount {
    int anchors = 0;
    int placedTags = 0;
};

SiteCount countSite()
{
    SiteCount count;
    for (RtlsObject *node : SentrovaInterface::instance()->nodes()) {
        if (node->mode() == QLatin1String("tag")) {
            if (node->hasPos() && node->pos()->pqf() > 0)
                ++count.placedTags;
        } else {
            ++count.anchors;
        }
    }
    return count;
}

struct ZoneLook {
    const char *name;
    double x, y, length, width;
    QColor colour;
};

// A few zones in the hall of the simulated site (20 x 15 m), as an
// installer would lay them out, and the tags' trails.
void dressTheMap(MapTab *map)
{
    const ZoneLook zones[] = {
        {"Goods in", 0.5, 0.5, 6.0, 4.5, QColor(70, 140, 220)},
        {"Assembly", 7.5, 4.0, 8.0, 7.0, QColor(240, 170, 60)},
        {"Dispatch", 14.5, 11.0, 5.0, 3.5, QColor(90, 190, 110)},
    };
    for (const ZoneLook &look : zones) {
        MapZone *zone = map->addZone();
        zone->setName(QString::fromLatin1(look.name));
        zone->setX(look.x);
        zone->setY(look.y);
        zone->setZ(0.0);
        zone->setLength(look.length);
        zone->setWidth(look.width);
        zone->setHeight(2.5);
        zone->setUnderColor(look.colour);
        zone->setOverColor(look.colour.darker(130));
        map->scene()->zoneChanged(zone);
    }
    map->setNodeModeLabeled(true);
    map->setNodeModeHistory(true);
    map->setHistorySize(300);
}

// The survey of the simulated hall: a tag stood on five points, each run
// for a few seconds of reports.
constexpr uint64_t kSurveyTag = 0x2002;
constexpr int kSurveyPositions = 30;
constexpr int kSurveyRunMs = 20000;

struct SurveyMark {
    const char *name;
    double x, y;
};

const SurveyMark kSurveyMarks[] = {
    {"Goods in", 3.0, 3.0}, {"Assembly", 10.0, 7.5}, {"Dispatch", 17.0, 12.0}, {"Aisle east", 17.0, 3.0},
    {"Aisle west", 3.0, 12.0},
};

bool runSurvey(SiteAcceptanceTab *tab)
{
    SentrovaInterface *hub = SentrovaInterface::instance();
    QJsonArray points;
    for (const SurveyMark &m : kSurveyMarks)
        points.append(QJsonObject{{"name", QLatin1String(m.name)}, {"x", m.x}, {"y", m.y}, {"z", 1.2},
                                  {"tag", QStringLiteral("0x2002")}});
    tab->fromJSON(QJsonObject{
        {"survey", QJsonObject{{"site", "Simulated hall"},
                               {"run", QJsonObject{{"limit", "reports"}, {"reports", kSurveyPositions}}},
                               {"points", points}}}});
    for (int row = 0; row < tab->table()->rowCount(); ++row) {
        const SurveyMark &m = kSurveyMarks[row];
        hub->sendJson(QJsonObject{{"command", "simParkTag"}, {"id", "0x2002"}, {"x", m.x}, {"y", m.y}, {"z", 1.2}});
        const bool there = runUntil([&] {
            RtlsObject *tag = hub->node(kSurveyTag);
            return tag && tag->hasPos() && std::hypot(tag->pos()->reportedX() - m.x, tag->pos()->reportedY() - m.y) < 0.5;
        }, kSurveyRunMs);
        tab->table()->selectRow(row);
        if (!there || !tab->startRun() || !runUntil([tab] { return !tab->isRunning(); }, kSurveyRunMs)) {
            say(QStringLiteral("the survey tag did not report from %1").arg(QLatin1String(m.name)));
            return false;
        }
    }
    hub->sendJson(QJsonObject{{"command", "simParkTag"}, {"id", "0x2002"}, {"release", true}});
    tab->table()->selectRow(0);
    return true;
}

QString fileNameFor(const QString &tabText)
{
    QString name = tabText.toLower();
    name.replace(QLatin1Char(' '), QLatin1Char('-'));
    name.remove(QLatin1Char('&'));
    return name + QStringLiteral(".png");
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication::setOrganizationName(QLatin1String(AppConstants::kOrganisationName));
    QCoreApplication::setApplicationName(QLatin1String(AppConstants::kApplicationName));
    AppStyle::enableHighDpi();
    QApplication app(argc, argv);
    AppStyle::apply();

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Saves the manager's main window with each tab current."));
    parser.addHelpOption();
    const QCommandLineOption masterOption(QStringLiteral("master"), QStringLiteral("Address of the master."),
                                          QStringLiteral("address"), QStringLiteral("127.0.0.1"));
    const QCommandLineOption outOption(QStringLiteral("out"), QStringLiteral("Folder for the pictures."),
                                       QStringLiteral("folder"), QStringLiteral("docs/images"));
    const QCommandLineOption warmUpOption(QStringLiteral("warm-up"),
                                          QStringLiteral("Seconds the tags walk before the first picture."),
                                          QStringLiteral("seconds"), QStringLiteral("12"));
    const QCommandLineOption reportOption(QStringLiteral("report"),
                                          QStringLiteral("Also write the site acceptance report to this PDF file."),
                                          QStringLiteral("file"));
    parser.addOptions({masterOption, outOption, warmUpOption, reportOption});
    parser.process(app);

    const QHostAddress master(parser.value(masterOption));
    bool warmUpOk = false;
    const double warmUp = parser.value(warmUpOption).toDouble(&warmUpOk);
    if (master.protocol() != QAbstractSocket::IPv4Protocol || !warmUpOk || warmUp < 0) {
        say(QStringLiteral("bad arguments; see --help"));
        return 2;
    }
    const QDir out(parser.value(outOption));
    if (!QDir().mkpath(out.path())) {
        say(QStringLiteral("cannot create %1").arg(out.path()));
        return 1;
    }

    // A settings file of its own, so that nothing of the user's is read or
    // written and the console shows a plain start.
    QTemporaryDir work;
    const QString settingsFile = work.filePath(QStringLiteral("sentrova.json"));
    QFile settings(settingsFile);
    if (!settings.open(QIODevice::WriteOnly) || settings.write("{}\n") < 0) {
        say(QStringLiteral("cannot write %1").arg(settingsFile));
        return 1;
    }
    settings.close();
    Preferences::setSettingsFileOverride(settingsFile);

    SentrovaInterface *hub = SentrovaInterface::instance();
    hub->setFixedMaster(master.toIPv4Address());

    MainWindow window;
    auto *map = window.findChild<MapTab *>();
    if (!map) {
        say(QStringLiteral("the window has no map"));
        return 1;
    }

    say(QStringLiteral("waiting for the site at %1").arg(master.toString()));
    if (!runUntil([] {
            const SiteCount count = countSite();
            return count.anchors >= kMinAnchors && count.placedTags >= kMinPlacedTags;
        }, kSiteTimeoutMs)) {
        const SiteCount count = countSite();
        say(QStringLiteral("the site did not show up: %1 anchors, %2 placed tags").arg(count.anchors).arg(count.placedTags));
        return 1;
    }
    if (!runUntil([map] { return !map->fitsToSiteWhenKnown(); }, kSiteTimeoutMs)) {
        say(QStringLiteral("the map did not fit itself to the site"));
        return 1;
    }
    runFor(int(warmUp * 1000));

    QTabWidget *tabs = window.tabWidget();
    int failures = 0;
    auto save = [&](int index) {
        const QString fileName = out.filePath(fileNameFor(tabs->tabText(index)));
        const QImage picture = window.grab().toImage();
        if (picture.isNull() || !picture.save(fileName)) {
            say(QStringLiteral("cannot write %1").arg(fileName));
            ++failures;
            return;
        }
        say(QStringLiteral("wrote %1").arg(fileName));
    };
    // The map as the window opened it.
    save(tabs->indexOf(map));

    // What the other tabs show: zones, a selected tag, the anchors'
    // distances and details.
    dressTheMap(map);
    hub->getAllDetails();
    hub->getAllDistances();
    Dispatch::instance()->emitIdSelected(kShownTag);
    for (int index = 0; index < tabs->count(); ++index) {
        if (tabs->widget(index) == map)
            continue;
        if (auto *survey = qobject_cast<SiteAcceptanceTab *>(tabs->widget(index))) {
            if (!runSurvey(survey)) {
                ++failures;
                continue;
            }
            // The report's map from above, the points on the plan, without
            // the trails and the selected tag's ranges.
            map->setNodeModeHistory(false);
            Dispatch::instance()->emitIdSelected(0);
            map->fitCameraTop();
            if (parser.isSet(reportOption) && !survey->exportReport(parser.value(reportOption))) {
                say(QStringLiteral("cannot write %1").arg(parser.value(reportOption)));
                ++failures;
            }
        }
        tabs->setCurrentIndex(index);
        runFor(kSettleMs);
        save(index);
    }
    return failures == 0 ? 0 : 1;
}
