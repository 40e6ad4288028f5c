#include "RemoteZones.h"

#include "MapScene.h"
#include "RemoteSite.h"
#include "ZoneDefinitions.h"

#include <QJsonObject>

RemoteZones::RemoteZones(RemoteSite *site, MapScene *scene, QObject *parent) : QObject(parent), m_scene(scene)
{
    connect(site, &RemoteSite::zoneDefined, this, &RemoteZones::define);
    connect(site, &RemoteSite::zoneDeleted, this, &RemoteZones::remove);
    const QHash<uint64_t, QJsonObject> &zones = site->zones();
    for (auto it = zones.constBegin(); it != zones.constEnd(); ++it)
        define(it.key(), it.value());
}

void RemoteZones::define(uint64_t, const QJsonObject &definition)
{
    if (m_scene)
        ZoneDefinitions::apply(m_scene, definition);
}

void RemoteZones::remove(uint64_t zoneId)
{
    if (m_scene)
        ZoneDefinitions::remove(m_scene, zoneId);
}
