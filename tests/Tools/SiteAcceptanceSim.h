#pragma once

#include "MapGrid.h"
#include "MapTab.h"
#include "RtlsConvert.h"
#include "RtlsPos.h"
#include "SiteAcceptanceTab.h"
#include "Tools/ToolsSim.h"

#include <QComboBox>
#include <QJsonDocument>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QVector3D>

#include <cmath>

// The simulated room of the site acceptance tests: 12 x 9 m, the master and
// four anchors at the corners and one high in the middle, calibrated
// (antenna delays as configured), and one tag that the tests park on the
// survey points. surveyError puts North-west's configured position that far
// east of where it hangs.
namespace SiteAcceptanceSim {

constexpr uint64_t kTag = 0x2001;
constexpr uint64_t kNorthWest = 0x1003;
constexpr double kNoise = 0.05;
constexpr int kWait = 30000;

struct Anchor
{
    uint64_t id;
    const char *name;
    double x, y, z;
};

const Anchor kAnchors[] = {{0x1000, "Master", 0, 0, 2.5},       {0x1001, "East", 12, 0, 2.8},
                           {0x1002, "North-east", 12, 9, 2.6}, {0x1003, "North-west", 0, 9, 3.0},
                           {0x1004, "Centre", 6, 4.5, 3.2}};

inline QByteArray site(double surveyError = 0.0)
{
    QJsonArray nodes;
    for (const Anchor &a : kAnchors) {
        QJsonObject n{{"id", QStringLiteral("0x%1").arg(a.id, 4, 16, QLatin1Char('0'))},
                      {"name", QLatin1String(a.name)},
                      {"mode", a.id == 0x1000 ? "master" : "anchor"},
                      {"position", QJsonObject{{"x", a.x}, {"y", a.y}, {"z", a.z}}},
                      {"delayOffset", 0}};
        if (a.id == kNorthWest && surveyError != 0.0)
            n.insert("surveyError", QJsonObject{{"x", surveyError}, {"y", 0}});
        nodes.append(n);
    }
    nodes.append(QJsonObject{{"id", "0x2001"}, {"name", "Survey tag"}, {"mode", "tag"}, {"rate", 50},
                             {"position", QJsonObject{{"x", 1}, {"y", 1}, {"z", 1}}}});
    const QJsonObject doc{
        // The scheme of ten tags at 100 Hz, so that a point's run takes
        // seconds.
        {"tdmaScheme", 13},
        {"nodeConfig", QJsonArray{QJsonObject{{"cfgId", 0}, {"nodeOptions", "twr"}, {"msecRefreshInterval", 20},
                                              {"locEngine", 1}}}},
        {"nodes", nodes}};
    return QJsonDocument(doc).toJson();
}

// The map over the room, seen from above, without node labels (they would
// cover the points).
inline void dress(MapTab *map)
{
    MapGrid *grid = map->grid();
    grid->setMirrorX(false);
    grid->setMirrorY(false);
    grid->setX(-1.0);
    grid->setY(-1.0);
    grid->setLength(14.0);
    grid->setWidth(11.0);
    map->setNodeModeLabeled(false);
    map->fitCameraTop();
}

inline QVector3D tagPosition(SentrovaInterface *hub)
{
    RtlsObject *tag = hub->node(kTag);
    // As reported: the model smooths a tag that stands still.
    return tag && tag->hasPos() ? QVector3D(tag->pos()->reportedX(), tag->pos()->reportedY(), tag->pos()->reportedZ())
                                : QVector3D(-99, -99, -99);
}

// Stands the tag on (x, y, z) and waits until its reports come from there.
inline bool park(ToolsSim &sim, double x, double y, double z)
{
    sim.hub->sendJson(QJsonObject{{"command", "simParkTag"}, {"id", "0x2001"}, {"x", x}, {"y", y}, {"z", z}});
    const QVector3D at{float(x), float(y), float(z)};
    return QTest::qWaitFor(
        [&] {
            const QVector3D p = tagPosition(sim.hub);
            return std::hypot(p.x() - at.x(), p.y() - at.y()) < 0.5;
        },
        kWait);
}

// Positions per run, and the tag chosen in the tab.
inline void setUp(SiteAcceptanceTab *tab, int positions)
{
    auto *kind = tab->findChild<QComboBox *>("limitKind");
    kind->setCurrentIndex(kind->findData(int(SurveyPlan::Limit::Reports)));
    emit kind->activated(kind->currentIndex());
    tab->findChild<QSpinBox *>("limit")->setValue(positions);
    auto *tag = tab->findChild<QComboBox *>("tag");
    tag->setCurrentIndex(tag->findData(QVariant(qulonglong(kTag))));
}

// Parks the tag on the point of the given row and runs it as a user would.
inline bool runRow(ToolsSim &sim, SiteAcceptanceTab *tab, int row)
{
    const SurveyPoint p = tab->session().plan().points.at(row);
    if (!park(sim, p.x, p.y, p.z))
        return false;
    tab->table()->selectRow(row);
    QTest::mouseClick(tab->findChild<QPushButton *>("start"), Qt::LeftButton);
    if (!tab->isRunning())
        return false;
    return QTest::qWaitFor([&] { return !tab->isRunning(); }, kWait);
}

inline QString cell(SiteAcceptanceTab *tab, int row, int column)
{
    QTableWidgetItem *item = tab->table()->item(row, column);
    return item ? item->text() : QString();
}

} // namespace SiteAcceptanceSim
