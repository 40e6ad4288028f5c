#pragma once

#include <QList>
#include <QPointer>
#include <QWidget>

#include <cstdint>

class MapScene;
class MapTab;
class MapZone;
class QPushButton;
class QTableWidget;

// The "Zones" tab: every zone of the map in a table (name, id, type, box,
// draw height, level and its colours, floor-plan image, target anchor, the
// tags inside it, and its enter/exit commands), with Add and Remove. Edits
// go into the zone at once, show in the map and are saved with the settings
// file. One per process.
class ZonesTab : public QWidget
{
    Q_OBJECT

public:
    enum Column {
        NameColumn,
        IdColumn,
        TypeColumn,
        XColumn,
        YColumn,
        ZColumn,
        LengthColumn,
        WidthColumn,
        HeightColumn,
        DrawHeightColumn,
        LevelColumn,
        UnderColorColumn,
        OverColorColumn,
        ImageColumn,
        TargetColumn,
        InsideColumn,
        CommandsColumn,
        ColumnCount
    };

    static ZonesTab *instance();

    QTableWidget *table() const { return m_table; }
    QPushButton *addButton() const { return m_add; }
    QPushButton *removeButton() const { return m_remove; }
    // The zone shown in a row, or null.
    MapZone *zoneAt(int row) const;
    int rowOf(const MapZone *zone) const;

public slots:
    // The map whose zones are listed and edited.
    void setMapTab(MapTab *map);
    // The same for a scene without a view (what the tab really works on).
    void setScene(MapScene *scene);
    void zoneAdded(MapZone *zone);
    void zoneUpdated(MapZone *zone);
    void zoneRemoved(MapZone *zone);
    // Fills the target lists with the anchors the map knows.
    void refreshAnchors();
    void addZone();
    void removeSelectedZone();
    // Opens the command editor of the zone in row.
    void editCommands(int row);

private:
    ZonesTab();

    void fillRow(int row, MapZone *zone);
    void showZone(int row, MapZone *zone);
    void showInside(MapZone *zone);
    void fillTargets(int row, MapZone *zone);
    // Stores an edit in the zone and tells the map.
    template<typename Apply>
    void apply(MapZone *zone, Apply &&change);
    void chooseColour(MapZone *zone, bool over);
    void browseImage(MapZone *zone);

    QTableWidget *m_table;
    QPushButton *m_add;
    QPushButton *m_remove;
    QPointer<MapScene> m_scene;
    QPointer<MapTab> m_map;
    QList<QPointer<MapZone>> m_rows;
    MapZone *m_applying = nullptr;
};
