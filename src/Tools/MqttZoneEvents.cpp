#include "MqttZoneEvents.h"

#include "MapZone.h"
#include "MqttPublisher.h"

MqttZoneEvents::MqttZoneEvents(MqttPublisher *publisher, QObject *parent)
    : QObject(parent), m_publisher(publisher)
{
}

void MqttZoneEvents::zoneAdded(MapZone *zone)
{
    // A zone announced again (a reload that keeps it) is watched once.
    if (!zone || m_zones.contains(zone))
        return;
    m_zones.insert(zone);
    // The zone's own connections end with it; the set forgets it too.
    connect(zone, &QObject::destroyed, this, [this](QObject *gone) { m_zones.remove(gone); });
    connect(zone, &MapZone::nodeEntered, this, [this, zone](uint64_t nodeId) {
        if (m_publisher)
            m_publisher->publishZoneEvent(zone->id(), zone->name(), nodeId, true);
    });
    connect(zone, &MapZone::nodeLeft, this, [this, zone](uint64_t nodeId) {
        if (m_publisher)
            m_publisher->publishZoneEvent(zone->id(), zone->name(), nodeId, false);
    });
}
