#pragma once

#include <QObject>
#include <QPointer>
#include <QSet>

class MapZone;
class MqttPublisher;

// Hands the zones' entries and exits to the broker publisher: every zone the
// map announces is watched until it is deleted, and each tag walking in or
// out becomes one event on <prefix>/zones/<zone id>/events.
class MqttZoneEvents : public QObject
{
    Q_OBJECT

public:
    explicit MqttZoneEvents(MqttPublisher *publisher, QObject *parent = nullptr);

    int watchedZones() const { return m_zones.size(); }

public slots:
    void zoneAdded(MapZone *zone);

private:
    QPointer<MqttPublisher> m_publisher;
    QSet<const QObject *> m_zones;
};
