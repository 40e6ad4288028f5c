#include "MqttZoneEvents.h"

#include "MapZone.h"
#include "MqttPublisher.h"

#include <QTimer>

MqttZoneEvents::MqttZoneEvents(MqttPublisher *publisher, QObject *parent)
    : QObject(parent), m_publisher(publisher), m_timer(new QTimer(this))
{
    m_timer->setInterval(kConfigCheckMs);
    connect(m_timer, &QTimer::timeout, this, &MqttZoneEvents::syncConfigs);
}

void MqttZoneEvents::zoneAdded(MapZone *zone)
{
    // A zone announced again (a reload that keeps it) is watched once.
    if (!zone || m_zones.contains(zone))
        return;
    m_zones.insert(zone, zone);
    // The zone's own connections end with it; the table forgets it too.
    connect(zone, &QObject::destroyed, this, [this](QObject *gone) {
        m_zones.remove(gone);
        scheduleSync();
    });
    connect(zone, &MapZone::nodeEntered, this, [this, zone](uint64_t nodeId) {
        if (m_publisher)
            m_publisher->publishZoneEvent(zone->id(), zone->name(), nodeId, true);
    });
    connect(zone, &MapZone::nodeLeft, this, [this, zone](uint64_t nodeId) {
        if (m_publisher)
            m_publisher->publishZoneEvent(zone->id(), zone->name(), nodeId, false);
    });
    if (!m_timer->isActive())
        m_timer->start();
    scheduleSync();
}

void MqttZoneEvents::zoneRemoved(MapZone *zone)
{
    if (m_zones.remove(zone))
        scheduleSync();
}

void MqttZoneEvents::scheduleSync()
{
    if (m_syncPending)
        return;
    m_syncPending = true;
    QTimer::singleShot(0, this, &MqttZoneEvents::syncConfigs);
}

void MqttZoneEvents::syncConfigs()
{
    m_syncPending = false;
    if (!m_publisher)
        return;
    QSet<uint64_t> current;
    for (MapZone *zone : qAsConst(m_zones)) {
        current.insert(zone->id());
        m_publisher->publishZoneConfig(zone->id(), zone->toJSON());
    }
    for (uint64_t id : qAsConst(m_published)) {
        if (!current.contains(id))
            m_publisher->removeZoneConfig(id);
    }
    m_published = current;
    if (m_zones.isEmpty())
        m_timer->stop();
}
