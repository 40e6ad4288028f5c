#pragma once

#include "MapViewOptions.h"
#include "RtlsMeas.h"

#include <QColor>
#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QVector>

#include <cstdint>

class MapGrid;
class MapHeat;
class MapNodeSource;
class MapZone;
class NodeObject;
class RtlsObject;

// What the map shows, apart from how it is shown: the grid, the heat map,
// the zones and one node object per node, kept in step with the node model,
// and the map's section of the settings document. Needs no GL context; the
// view (MapTab) draws it, owns the camera and forwards its signals.
class MapScene : public QObject
{
    Q_OBJECT

public:
    // What the "gui" part of a settings document asked of the view.
    struct GuiSettings
    {
        bool hasBackground = false;
        QColor background;
        bool hasPerspective = false;
        bool perspective = true;
    };

    // A tag that went quiet: its glyph is shrunk out of sight, and it has
    // no label to leave floating where it was.
    bool isInactive(uint64_t id) const { return m_inactive.contains(id); }

    // The scene reads the nodes through source; null means the hub.
    explicit MapScene(MapNodeSource *source = nullptr, QObject *parent = nullptr);
    ~MapScene() override;

    MapNodeSource *source() const { return m_source; }
    MapViewOptions &options() { return m_options; }
    const MapViewOptions &options() const { return m_options; }
    MapGrid *grid() const { return m_grid; }
    MapHeat *heat() const { return m_heat; }

    // Zones, in creation order.
    const QList<MapZone *> &zones() const { return m_zones; }
    // A new zone named "New Zone" with the next free id, announced with
    // zoneAdded.
    MapZone *addZone();
    // A new zone read from its settings-file object (as MapZone::fromJSON
    // reads it), announced with zoneAdded.
    MapZone *addZone(const QJsonObject &definition);
    // Takes the zone out of the list, announces it with zoneRemoved and
    // deletes it later. A zone that is not in the list is left alone.
    void removeZone(MapZone *zone);
    // A zone of this scene changed: announced with zoneUpdated.
    void zoneChanged(MapZone *zone);

    // Node objects by node id.
    const QHash<uint64_t, NodeObject *> &nodeObjects() const { return m_objects; }
    NodeObject *nodeObject(uint64_t id) const { return m_objects.value(id, nullptr); }
    NodeObject *objectForSelection(int number) const;
    // Images for nodes' top disks, by node id (from the settings document).
    const QHash<uint64_t, QString> &nodeImages() const { return m_nodeImages; }
    uint64_t selectedId() const { return m_selectedId; }
    // The selected node's latest measurements, copied when it is updated,
    // so that drawing them every frame copies nothing.
    const RtlsMeas::Table &selectedMeasurements() const { return m_selectedMeas; }

    QColor defaultColor(RtlsObject *node) const;
    QColor colorByTemp(RtlsObject *node) const;

    // The view's section of the settings document. Keys of other parts
    // survive; "node" is only updated, never added.
    QJsonObject toJSON(QJsonObject root, const GuiSettings &gui) const;
    GuiSettings fromJSON(const QJsonObject &root);

    // Whether anything shown changed since the last call.
    bool takeDirty();
    void markDirty() { m_dirty = true; }

    // A console line from the scene or one of its objects.
    void postMessage(const QString &line);

    // Texture names of deleted objects, to be deleted by the view with its
    // context current.
    void releaseTexture(unsigned int name);
    QVector<unsigned int> takeReleasedTextures();

signals:
    void displayMessage(QString str);
    void zoneAdded(MapZone *zone);
    void zoneUpdated(MapZone *zone);
    void zoneRemoved(MapZone *zone);

public slots:
    // Creates or moves the node's object and passes the node to every zone.
    void nodeUpdated(RtlsObject *node);
    // Shrinks the node's object until the node is heard again; the node
    // leaves every zone it was counted in.
    void nodeInActive(RtlsObject *node);
    // Re-reads every node the source knows, dropping the objects of nodes
    // it no longer has (and such anchors from the heat map's predicted
    // layout); the others keep their trails.
    void refreshAnchors();
    void addKnownNodes();
    void selectId(uint64_t id);
    void clearHistory();

private:
    void update(RtlsObject *node, bool fromRefresh);
    // Whether a node without an object gets one now.
    static bool worthAnObject(const RtlsObject *node);
    void placeTag1D(RtlsObject *node, NodeObject *object);
    void clearZones();
    void takeMeasurements(RtlsObject *node);
    uint64_t nextZoneId();

    MapNodeSource *m_source;
    MapViewOptions m_options;
    MapGrid *m_grid;
    MapHeat *m_heat;
    QList<MapZone *> m_zones;
    uint64_t m_lastZoneId = 0;
    QHash<uint64_t, NodeObject *> m_objects;
    QSet<uint64_t> m_inactive;
    QHash<uint64_t, QString> m_nodeImages;
    uint64_t m_selectedId = 0;
    uint64_t m_highlightedId = 0;
    RtlsMeas::Table m_selectedMeas;
    bool m_dirty = true;
    QVector<unsigned int> m_deadTextures;
};
