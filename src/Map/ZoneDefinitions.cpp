#include "ZoneDefinitions.h"

#include "MapConstants.h"
#include "MapScene.h"
#include "MapZone.h"
#include "RtlsConvert.h"

#include <QJsonArray>
#include <QSet>

namespace {

using Rtls::key;

uint64_t idOf(const QJsonObject &definition)
{
    const QJsonValue id = definition.value(key("id"));
    return id.isString() ? Rtls::parseHex64(id.toString()) : 0;
}

QString nameOf(const MapZone *zone)
{
    return QStringLiteral("zone \"%1\"").arg(zone->name());
}

} // namespace

QJsonObject ZoneDefinitions::complete(const QJsonObject &definition)
{
    // What a new zone writes, with the keys its writer leaves out when they
    // hold their defaults (coordinates 0, no orientation, no target).
    const MapZone fresh;
    QJsonObject out = fresh.toJSON();
    out.remove(key("id"));
    out.insert(key("x"), 0.0);
    out.insert(key("y"), 0.0);
    out.insert(key("z"), 0.0);
    out.insert(key("orientQ0"), 0.0);
    out.insert(key("orientQ1"), 0.0);
    out.insert(key("orientQ2"), 0.0);
    out.insert(key("orientQ3"), 1.0);
    out.insert(key("target"), QLatin1String(Map::kZoneSelfTarget));
    // The type decides the mode when both are read; a definition that gives
    // only a mode keeps it.
    if (!definition.contains(key("type")))
        out.remove(key("type"));
    for (auto it = definition.constBegin(); it != definition.constEnd(); ++it)
        out.insert(it.key(), it.value());
    return out;
}

MapZone *ZoneDefinitions::find(const MapScene *scene, uint64_t id)
{
    for (MapZone *zone : scene->zones()) {
        if (zone->id() == id)
            return zone;
    }
    return nullptr;
}

ZoneDefinitions::Outcome ZoneDefinitions::apply(MapScene *scene, const QJsonObject &definition, MapZone **out)
{
    const uint64_t id = idOf(definition);
    if (id == 0)
        return Outcome::Refused;
    const QJsonObject full = complete(definition);
    MapZone *zone = find(scene, id);
    if (out)
        *out = zone;
    if (!zone) {
        zone = scene->addZone(full);
        if (out)
            *out = zone;
        return Outcome::Added;
    }
    const QJsonObject before = zone->toJSON();
    zone->fromJSON(full);
    if (zone->toJSON() == before)
        return Outcome::Unchanged;
    scene->zoneChanged(zone);
    return Outcome::Changed;
}

bool ZoneDefinitions::remove(MapScene *scene, uint64_t id)
{
    MapZone *zone = find(scene, id);
    if (!zone)
        return false;
    scene->removeZone(zone);
    return true;
}

QStringList ZoneDefinitions::merge(MapScene *scene, const QJsonValue &zones)
{
    QStringList changes;
    if (zones.isUndefined())
        return changes;
    if (!zones.isArray()) {
        changes << QStringLiteral("\"zone\" is not a list, zones kept");
        return changes;
    }
    QSet<uint64_t> wanted;
    const QJsonArray array = zones.toArray();
    for (const QJsonValue &value : array) {
        if (!value.isObject()) {
            changes << QStringLiteral("a zone that is not a JSON object skipped");
            continue;
        }
        const QJsonObject definition = value.toObject();
        MapZone *zone = nullptr;
        switch (apply(scene, definition, &zone)) {
        case Outcome::Added:
            changes << nameOf(zone) + QStringLiteral(" added");
            break;
        case Outcome::Changed:
            changes << nameOf(zone) + QStringLiteral(" changed");
            break;
        case Outcome::Unchanged:
            break;
        case Outcome::Refused:
            zone = scene->addZone(definition);
            changes << nameOf(zone) + QStringLiteral(" added");
            break;
        }
        wanted.insert(zone->id());
    }
    const QList<MapZone *> current = scene->zones();
    for (MapZone *zone : current) {
        if (wanted.contains(zone->id()))
            continue;
        changes << nameOf(zone) + QStringLiteral(" removed");
        scene->removeZone(zone);
    }
    return changes;
}
