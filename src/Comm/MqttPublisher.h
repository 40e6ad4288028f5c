#pragma once

#include "MqttConfig.h"
#include "MqttMessages.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>

#include <cstdint>
#include <deque>
#include <functional>

class MqttClient;
class RtlsObject;

// Publishes the live model to an MQTT broker: every tag position, every
// node's status (retained) and zone entries and exits. Reads node records
// when the hub announces them and never blocks: the broker connection is an
// MqttClient with its own thread. While the broker is away positions are
// dropped (the next report supersedes them), statuses are kept one per node
// and zone events in a bounded queue; both go out when the broker is back.
class MqttPublisher : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool connected READ isConnected NOTIFY connectedChanged)
    Q_PROPERTY(bool enabled READ isEnabled WRITE setEnabled NOTIFY enabledChanged)

public:
    enum class State { Off, Connecting, Connected, Retrying };
    Q_ENUM(State)

    // Zone events kept while the broker is away; the oldest go first.
    static constexpr int kMaxPendingZoneEvents = 1000;
    // A battery reading alone republishes a node's status at most this often.
    static constexpr qint64 kBatteryStatusIntervalMs = 10000;
    // After connecting, how long the broker's retained zone definitions are
    // gathered before those of zones this manager no longer has are cleared.
    static constexpr int kStaleZoneCheckMs = 3000;
    // How long the program's exit waits for the goodbye to the broker.
    static constexpr int kGoodbyeWaitMs = 1500;

    explicit MqttPublisher(QObject *parent = nullptr);
    ~MqttPublisher() override;

    // The settings as stored (file or settings panel).
    MqttConfig config() const { return m_config; }
    // What is used: the stored settings with the command line's broker.
    MqttConfig effectiveConfig() const;
    // From the settings panel: replaces the settings and drops the command
    // line's broker (what the user sees and applies is what is used).
    void setConfig(const MqttConfig &config);
    // From the settings file: the command line's broker still wins.
    void loadConfig(const MqttConfig &config);
    // --mqtt HOST[:PORT]: this broker, publishing on, whatever the file says.
    void setBrokerOverride(const QString &host, quint16 port);
    bool hasBrokerOverride() const { return !m_overrideHost.isEmpty(); }

    bool isEnabled() const { return effectiveConfig().enabled; }
    bool isConnected() const { return m_state == State::Connected; }
    State state() const { return m_state; }
    // host:port of the broker in use, for status lines.
    QString brokerText() const;

    // Counters since the program started.
    quint64 publishedCount() const { return m_published; }
    quint64 droppedCount() const { return m_dropped; }
    int pendingZoneEvents() const { return int(m_pendingZoneEvents.size()); }
    int publishedZoneConfigs() const { return m_zoneConfigs.size(); }
    int trackedNodes() const { return m_nodes.size(); }

    MqttClient *client() const { return m_client; }
    // Milliseconds of a monotonic clock; rate limits and the battery pause
    // run on it. Tests give their own.
    void setClock(std::function<qint64()> clock) { m_now = std::move(clock); }

signals:
    void connectedChanged(bool connected);
    void stateChanged(MqttPublisher::State state);
    void enabledChanged(bool enabled);
    void configChanged();
    // Publishing was switched on: the hub hands over every node it knows.
    void activated();
    // Console lines (the hub puts them on the console).
    void displayMessage(const QString &line);

public slots:
    // Connecting is allowed from now on (the hub's init()).
    void start();
    // Says "offline" and disconnects; nothing more is published until start().
    void stop();
    void setEnabled(bool enabled);

    void nodeAdded(RtlsObject *node);
    void nodeUpdated(RtlsObject *node);
    void nodeInactive(RtlsObject *node);
    // A node walked into (entered) or out of a zone.
    void publishZoneEvent(uint64_t zoneId, const QString &zoneName, uint64_t nodeId, bool entered);
    // A zone's definition (its settings-file object), retained, so that a
    // view that joins later draws it; sent again on every connection.
    void publishZoneConfig(uint64_t zoneId, const QJsonObject &zone);
    // The zone is gone: its retained definition is cleared.
    void removeZoneConfig(uint64_t zoneId);

private:
    struct NodeState
    {
        QByteArray positionTopic;
        QByteArray statusTopic;
        QByteArray statusPayload;
        MqttMessages::NodeStatus status;
        bool statusSent = false;
        qint64 statusSentAtMs = 0;
        uint64_t lastPositionUpdate = 0;
        double lastPositionStamp = -1.0;
        qint64 tokenTimeMs = -1;
        double tokens = 0.0;
    };
    struct ZoneEvent
    {
        QByteArray topic;
        QByteArray payload;
    };

    void apply(const MqttConfig &previousEffective);
    void connectBroker();
    void disconnectBroker();
    void setState(State state);
    NodeState &track(RtlsObject *node);
    void updateStatus(NodeState &state, RtlsObject *node);
    void publishPosition(NodeState &state, RtlsObject *node);
    bool takeToken(NodeState &state, qint64 nowMs);
    bool send(const QByteArray &topic, const QByteArray &payload, int qos, bool retain);
    void sendStatus(NodeState &state);
    void sendZoneConfig(uint64_t zoneId);
    void queueZoneEvent(ZoneEvent event);
    void onConnected();
    void onConnectFailed(const QString &reason, bool loginRefused, int retryInMs);
    void onConnectionLost(const QString &reason, int retryInMs);
    void onMessage(const QByteArray &topic, const QByteArray &payload, bool retained);
    void clearStaleZones();
    void noteDropped(quint64 count);
    void post(const QString &line);

    MqttClient *m_client;
    MqttConfig m_config;
    QString m_overrideHost;
    quint16 m_overridePort = 0;
    bool m_started = false;
    State m_state = State::Off;
    // One console line per stretch of failures, not one per attempt.
    bool m_failureReported = false;
    bool m_backlogReported = false;
    quint64 m_published = 0;
    quint64 m_dropped = 0;
    quint64 m_droppedSinceConnected = 0;
    QHash<uint64_t, NodeState> m_nodes;
    std::deque<ZoneEvent> m_pendingZoneEvents;
    // Zone definitions, kept to be sent again on reconnection; an empty
    // payload is a removal not yet sent.
    struct ZoneConfig
    {
        QByteArray payload;
        bool sent = false;
    };
    QHash<uint64_t, ZoneConfig> m_zoneConfigs;
    // Zones whose definition the broker still held when we connected.
    QSet<uint64_t> m_retainedZones;
    quint64 m_connection = 0;
    QElapsedTimer m_clock;
    std::function<qint64()> m_now;
    QByteArray m_payload;
};
