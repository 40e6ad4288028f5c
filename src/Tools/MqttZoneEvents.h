#pragma once

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QSet>

#include <cstdint>

class MapZone;
class MqttPublisher;
class QTimer;

// Hands the zones to the broker publisher: every zone the map announces is
// watched until it is deleted; each tag walking in or out becomes one event
// on <prefix>/zones/<zone id>/events, and the zone's definition is kept on
// <prefix>/zones/<zone id>/config (retained; cleared when the zone goes).
// Definitions are compared once a second and after every addition or
// removal, so an edit in the zones tab reaches the broker without the zone
// announcing each field, and a zone deleted and made again with the same
// definition (a reload) sends nothing.
class MqttZoneEvents : public QObject
{
    Q_OBJECT

public:
    static constexpr int kConfigCheckMs = 1000;

    explicit MqttZoneEvents(MqttPublisher *publisher, QObject *parent = nullptr);

    int watchedZones() const { return m_zones.size(); }

public slots:
    void zoneAdded(MapZone *zone);
    // Taken out of its map (it is deleted later): no longer published.
    void zoneRemoved(MapZone *zone);
    // Compares every zone's definition with what was published.
    void syncConfigs();

private:
    void scheduleSync();

    QPointer<MqttPublisher> m_publisher;
    QHash<const QObject *, MapZone *> m_zones;
    QSet<uint64_t> m_published;
    QTimer *m_timer;
    bool m_syncPending = false;
};
