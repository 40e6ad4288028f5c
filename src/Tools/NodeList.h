#pragma once

#include "NodeAlignment.h"
#include "NodeRowLook.h"

#include <QHash>
#include <QList>
#include <QPoint>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <cstdint>

class MapTab;
class MapZone;
class QMenu;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;
class RtlsObject;

// The docked tree of every node the manager knows, grouped by category,
// with a group of the map's zones. Follows the model through the hub's node
// signals, announces a click on a row as the selected node through
// Dispatch, follows selections made elsewhere, and commands single nodes
// from its context menu.
//
// Rows are found through an id -> row hash and group rows through their
// stored key; an update touches a row only where its look changed. The rows
// of new nodes are made in batches, a moment after the first of them was
// announced, and put in place together, so that a burst of new ids (a site
// coming up, a device sending random ids) costs one pass over a group
// instead of one per row. A node made by a single location report gets its
// row when it is heard again (a flood of random ids lists nothing).
// Rebuilds requested in a burst are run once, shortly after, and keep the
// rows that are still right.
class NodeList : public QWidget
{
    Q_OBJECT

public:
    explicit NodeList(QWidget *parent = nullptr);
    ~NodeList() override;

    // The map view, whose zones the list shows from then on: those it has
    // now, and their changes and removals (the main window connects
    // zoneAdded). May be null: the list works without one.
    void setMapTab(MapTab *map);

    // The context menu's "Set Parent" entry has a slot of that name.
    using QWidget::setParent;

public slots:
    void refreshList();
    void selectNode(uint64_t id);
    void zoneAdded(MapZone *zone);
    void zoneUpdated(MapZone *zone);
    void zoneRemoved(MapZone *zone);

private slots:
    void NodeAdded(RtlsObject *node);
    void NodeUpdated(RtlsObject *node);
    void NodeInactive(RtlsObject *node);
    void NodeRemoved(RtlsObject *node);
    void itemClicked(QTreeWidgetItem *item, int col);
    void onCustomContextMenuRequested(QPoint pos);
    void showContextMenu(QTreeWidgetItem *item, QPoint globalPos);
    void doForceUpdate();
    void doNodeReset();
    void setMode(QString mode);
    void setGroup(int group);
    void setSeat(int seat);
    void setRoles(uint32_t roles);
    void addRoles(uint32_t roles);
    void removeRoles(uint32_t roles);
    void getFreeMask();
    void setAsOrigin();
    void shiftToX();
    void shiftToY();
    void shiftToZ();
    void putOnX();
    void putOnY();
    void putOnZ();
    void rotateToX();
    void rotateToY();
    void rotateToNegX();
    void rotateToNegY();
    void flipOverX();
    void flipOverY();
    void flipOverZ();
    void mirrorOverXY();
    void mirrorOverXZ();
    void mirrorOverYZ();
    void sendText();
    void sendTextToAll();
    void sendCursor();
    void sendTarget();
    void setParent();
    void getNodeDetails();
    void getRoles();
    void getParent();
    void getTdmaDetails();
    void getNodeStats();
    void getDistances();
    void getPosition();
    void setSensorOutput(QString mode);
    void scheduleRefresh();
    void addWaitingRows();
    void zoneDestroyed(QObject *zone);

private:
    // What the list knows of a node's row, to tell whether an update
    // changes it.
    struct Row
    {
        QTreeWidgetItem *item = nullptr;
        QString category; // as the node had it when the row was made
        QString mode;     // likewise
        QString name;
        NodeRowLook look;
    };

    void addNodeRow(RtlsObject *node);
    QTreeWidgetItem *makeRow(RtlsObject *node);
    void insertRows(QTreeWidgetItem *group, QVector<QTreeWidgetItem *> rows);
    static bool isListed(const RtlsObject *node);
    void waitForRow(RtlsObject *node);
    void showSelectedRow();
    bool rowIsStale(const Row &row, RtlsObject *node) const;
    void removeNodeRow(uint64_t id, bool dropEmptyGroup);
    QTreeWidgetItem *groupFor(RtlsObject *node);
    void insertTopLevel(QTreeWidgetItem *group, const QString &key);
    static void insertSorted(QTreeWidgetItem *parent, QTreeWidgetItem *row);
    static void updateGroupText(QTreeWidgetItem *group);
    void applyLook(Row &row, const NodeRowLook &look);
    void addZoneRow(MapZone *zone);
    void updateZoneRow(MapZone *zone);
    void removeZoneRow(const QObject *zone);
    QTreeWidgetItem *zonesGroup();

    // Menu building, by row type.
    void addInfoMenu(QMenu *menu, int type);
    void addModeMenu(QMenu *menu, int type);
    void addAlignmentMenu(QMenu *menu);

    // Whether the row of the last context menu is of one of these types.
    bool selectedIs(std::initializer_list<int> types) const;
    bool selectedIsNode() const;
    void runAlignment(NodeAlignment::Operation op, const QString &label);
    QString selectedHex() const;
    QString chooseAnchor(const QString &title, const QString &prompt, bool *ok);

    QTreeWidget *m_tree = nullptr;
    QTimer *m_refreshTimer = nullptr;
    QTimer *m_batchTimer = nullptr;
    uint64_t m_selectedId = 0;
    int m_selectedType = 0;

    QHash<uint64_t, Row> m_rows;
    // Announced nodes whose rows the next batch makes.
    QHash<uint64_t, QPointer<RtlsObject>> m_waiting;
    QHash<QString, QTreeWidgetItem *> m_groups;
    QTreeWidgetItem *m_zonesGroup = nullptr;
    // Zones in the order they were announced; kept across rebuilds.
    QList<QPointer<MapZone>> m_zones;
    // Keyed by the zone as a QObject, so that a zone being destroyed can
    // still be found without being touched as a zone.
    QHash<const QObject *, QTreeWidgetItem *> m_zoneRows;
    QPointer<MapTab> m_map;
};
