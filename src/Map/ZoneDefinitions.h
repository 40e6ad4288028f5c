#pragma once

#include <QJsonObject>
#include <QJsonValue>
#include <QStringList>

#include <cstdint>

class MapScene;
class MapZone;

// Zones given by their definitions (settings-file zone objects) rather than
// edited by hand: a definition applied to a scene makes the zone with that id
// or changes it in place, so the tags standing in a zone that is kept or
// changed do not enter it again (no "on_enter" sent twice for one visit).
// Used when the headless service reads its settings file again and by a
// remote view for the zones a site's manager publishes. No GL.
class ZoneDefinitions
{
public:
    enum class Outcome { Added, Changed, Unchanged, Refused };

    // The definition with every key a zone writes filled in from a new
    // zone's defaults where it has none, so that applying it in place leaves
    // nothing of the zone's earlier definition behind.
    static QJsonObject complete(const QJsonObject &definition);

    // The zone with the definition's id: made, changed in place or left as
    // it is. A definition without a hexadecimal id is refused (a zone that
    // cannot be named again cannot be kept).
    static Outcome apply(MapScene *scene, const QJsonObject &definition, MapZone **zone = nullptr);
    // Removes the zone with this id; false when there is none.
    static bool remove(MapScene *scene, uint64_t id);
    static MapZone *find(const MapScene *scene, uint64_t id);

    // The scene's zones become those of the array: kept, changed, added or
    // removed by id. Zones without an id in the array are added each time
    // (they get one from the clock). Returns what changed, one text per
    // zone ("zone \"Dock\" added"); a value that is not an array changes
    // nothing and says so.
    static QStringList merge(MapScene *scene, const QJsonValue &zones);
};
