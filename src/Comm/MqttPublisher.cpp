#include "MqttPublisher.h"

#include "MqttClient.h"
#include "MqttLog.h"
#include "MqttMessages.h"
#include "RtlsConvert.h"
#include "RtlsIMU.h"
#include "RtlsModelConstants.h"
#include "RtlsObject.h"
#include "RtlsPos.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QTimer>

#include <cmath>

namespace {

// Positions are superseded by the next report: no acknowledgement needed.
constexpr int kPositionQos = 0;
// Statuses and zone events are rare and matter: acknowledged by the broker.
constexpr int kEventQos = 1;
// A tag's rate limit lets a short burst of this many positions through, so
// that jitter between reports does not halve the rate.
constexpr double kRateBurst = 2.0;
// Last-update time with which the hub marks a node it reported inactive.
constexpr uint64_t kReportedInactive = ~uint64_t(0);

double roundedVolts(double v)
{
    return v < 0.0 ? -1.0 : std::round(v * 100.0) / 100.0;
}

} // namespace

MqttPublisher::MqttPublisher(QObject *parent) : QObject(parent), m_client(new MqttClient(this))
{
    m_clock.start();
    m_now = [this] { return m_clock.elapsed(); };
    connect(m_client, &MqttClient::connected, this, &MqttPublisher::onConnected);
    connect(m_client, &MqttClient::connectFailed, this, &MqttPublisher::onConnectFailed);
    connect(m_client, &MqttClient::connectionLost, this, &MqttPublisher::onConnectionLost);
    connect(m_client, &MqttClient::messageReceived, this, [this](const MqttClient::Message &m) {
        onMessage(m.topic, m.payload, m.retained);
    });
    // Say "offline" to the broker while the event loop still runs, and give
    // the goodbye a moment: the process ends right after.
    if (QCoreApplication *app = QCoreApplication::instance())
        connect(app, &QCoreApplication::aboutToQuit, this, [this] {
            stop();
            m_client->waitForStopped(kGoodbyeWaitMs);
        });
}

MqttPublisher::~MqttPublisher()
{
    stop();
}

MqttConfig MqttPublisher::effectiveConfig() const
{
    MqttConfig c = m_config;
    if (!m_overrideHost.isEmpty()) {
        c.host = m_overrideHost;
        c.port = m_overridePort;
    }
    return c;
}

QString MqttPublisher::brokerText() const
{
    const MqttConfig c = effectiveConfig();
    const QString host = c.host.contains(QLatin1Char(':')) ? QLatin1Char('[') + c.host + QLatin1Char(']') : c.host;
    return host + QLatin1Char(':') + QString::number(c.port);
}

void MqttPublisher::setConfig(const MqttConfig &config)
{
    const MqttConfig before = effectiveConfig();
    m_overrideHost.clear();
    m_overridePort = 0;
    m_config = config;
    apply(before);
}

void MqttPublisher::loadConfig(const MqttConfig &config)
{
    const MqttConfig before = effectiveConfig();
    const bool forcedOn = hasBrokerOverride();
    m_config = config;
    if (forcedOn)
        m_config.enabled = true;
    apply(before);
}

void MqttPublisher::setBrokerOverride(const QString &host, quint16 port)
{
    const MqttConfig before = effectiveConfig();
    m_overrideHost = host;
    m_overridePort = port;
    m_config.enabled = true;
    apply(before);
}

void MqttPublisher::setEnabled(bool enabled)
{
    const MqttConfig before = effectiveConfig();
    m_config.enabled = enabled;
    apply(before);
}

void MqttPublisher::apply(const MqttConfig &before)
{
    const MqttConfig now = effectiveConfig();
    if (now == before)
        return;
    if (now.topicPrefix != before.topicPrefix) {
        for (NodeState &s : m_nodes) {
            s.positionTopic.clear();
            s.statusTopic.clear();
            s.statusSent = false;
        }
        for (ZoneConfig &z : m_zoneConfigs)
            z.sent = false;
    }
    emit configChanged();
    if (now.enabled != before.enabled)
        emit enabledChanged(now.enabled);
    if (!m_started)
        return;
    if (!now.enabled) {
        disconnectBroker();
        post(tr("MQTT: publishing stopped"));
    } else if (!before.enabled) {
        connectBroker();
        emit activated();
    } else if (!now.sameConnection(before)) {
        disconnectBroker();
        connectBroker();
    }
}

void MqttPublisher::start()
{
    if (m_started)
        return;
    m_started = true;
    if (isEnabled()) {
        connectBroker();
        emit activated();
    }
}

void MqttPublisher::stop()
{
    if (!m_started)
        return;
    m_started = false;
    disconnectBroker();
}

void MqttPublisher::connectBroker()
{
    const MqttConfig c = effectiveConfig();
    MqttClient::Endpoint endpoint;
    endpoint.host = c.host;
    endpoint.port = c.port;
    endpoint.clientId = c.effectiveClientId();
    endpoint.username = c.username;
    endpoint.password = c.password;
    endpoint.tls = c.tls;
    endpoint.caFile = c.caFile;
    endpoint.willTopic = MqttMessages::managerTopic(c.topicPrefix);
    endpoint.willPayload = MqttMessages::managerPayload(false);
    // The zone definitions the broker keeps from an earlier run: those of
    // zones deleted meanwhile are cleared once connected.
    endpoint.subscriptions = {MqttMessages::zoneConfigFilter(c.topicPrefix)};

    m_failureReported = false;
    m_backlogReported = false;
    QString error;
    if (!m_client->start(endpoint, &error)) {
        post(tr("MQTT: cannot publish to broker %1: %2").arg(brokerText(), error));
        qCWarning(lcMqtt).noquote() << "not started:" << error;
        setState(State::Off);
        return;
    }
    post(tr("MQTT: connecting to broker %1").arg(brokerText()));
    setState(State::Connecting);
}

void MqttPublisher::disconnectBroker()
{
    if (m_client->isConnected())
        m_client->publish(MqttMessages::managerTopic(effectiveConfig().topicPrefix),
                          MqttMessages::managerPayload(false), kEventQos, true);
    m_client->stop();
    setState(State::Off);
}

void MqttPublisher::setState(State state)
{
    if (state == m_state)
        return;
    const bool wasConnected = m_state == State::Connected;
    m_state = state;
    emit stateChanged(state);
    if (wasConnected != (state == State::Connected))
        emit connectedChanged(state == State::Connected);
}

void MqttPublisher::onConnected()
{
    QString line = tr("MQTT: connected to broker %1").arg(brokerText());
    if (m_droppedSinceConnected > 0)
        line += tr("; %1 messages were not published while it was unreachable").arg(m_droppedSinceConnected);
    post(line);
    m_failureReported = false;
    m_droppedSinceConnected = 0;
    setState(State::Connected);

    const QString prefix = effectiveConfig().topicPrefix;
    send(MqttMessages::managerTopic(prefix), MqttMessages::managerPayload(true), kEventQos, true);
    m_retainedZones.clear();
    const quint64 connection = ++m_connection;
    QTimer::singleShot(kStaleZoneCheckMs, this, [this, connection] {
        if (connection == m_connection && isConnected())
            clearStaleZones();
    });
    // The broker may have restarted without its retained messages.
    for (NodeState &s : m_nodes)
        if (!s.statusPayload.isEmpty())
            sendStatus(s);
    const QList<uint64_t> zones = m_zoneConfigs.keys();
    for (uint64_t zoneId : zones)
        sendZoneConfig(zoneId);
    while (!m_pendingZoneEvents.empty()) {
        const ZoneEvent &event = m_pendingZoneEvents.front();
        if (!send(event.topic, event.payload, kEventQos, false))
            break;
        m_pendingZoneEvents.pop_front();
    }
}

void MqttPublisher::onConnectFailed(const QString &reason, bool loginRefused, int retryInMs)
{
    setState(State::Retrying);
    qCInfo(lcMqtt).noquote() << "broker" << brokerText() << "attempt failed:" << reason << "next in" << retryInMs
                             << "ms";
    if (m_failureReported)
        return;
    m_failureReported = true;
    if (loginRefused)
        post(tr("MQTT: broker %1 refused the login (%2); retrying with back-off").arg(brokerText(), reason));
    else
        post(tr("MQTT: cannot reach broker %1 (%2); retrying with back-off").arg(brokerText(), reason));
}

void MqttPublisher::onConnectionLost(const QString &reason, int retryInMs)
{
    setState(State::Retrying);
    qCInfo(lcMqtt).noquote() << "lost broker" << brokerText() << ":" << reason << "next attempt in" << retryInMs
                             << "ms";
    m_failureReported = true;
    post(tr("MQTT: connection to broker %1 lost (%2); reconnecting").arg(brokerText(), reason));
}

MqttPublisher::NodeState &MqttPublisher::track(RtlsObject *node)
{
    return m_nodes[node->id()];
}

// A tag's first report arrives as an addition (the JSON path announces it
// only so): it carries a position like every later one.
void MqttPublisher::nodeAdded(RtlsObject *node)
{
    nodeUpdated(node);
}

void MqttPublisher::nodeUpdated(RtlsObject *node)
{
    // A node made by one location report is published once it is heard
    // again: a flood of random ids leaves no topics on the broker.
    if (!node || !isEnabled() || (node->msgFlags() & Rtls::kMsgHeardOnce))
        return;
    NodeState &s = track(node);
    updateStatus(s, node);
    publishPosition(s, node);
}

void MqttPublisher::nodeInactive(RtlsObject *node)
{
    if (!node || !isEnabled() || (node->msgFlags() & Rtls::kMsgHeardOnce))
        return;
    updateStatus(track(node), node);
}

void MqttPublisher::updateStatus(NodeState &s, RtlsObject *node)
{
    MqttMessages::NodeStatus status;
    status.id = node->id();
    status.name = node->name();
    status.mode = node->mode();
    status.category = node->category();
    status.battery = roundedVolts(node->hasImu() ? MqttMessages::batteryVolts(node->imu()->vbat()) : -1.0);
    status.inactive = node->lastUpdate() == kReportedInactive;
    // Where the infrastructure stands: what a remote view needs to draw it.
    if (Rtls::isAnchorOrMaster(status.mode) && node->hasPos()) {
        const RtlsPos *p = node->pos();
        const uint32_t known = p->flags();
        status.hasX = known & Rtls::kPosX;
        status.hasY = known & Rtls::kPosY;
        status.hasZ = known & Rtls::kPosZ;
        status.x = p->x();
        status.y = p->y();
        status.z = p->z();
    }
    MqttMessages::NodeStatus withOldBattery = status;
    withOldBattery.battery = s.status.battery;
    const bool changed = s.statusPayload.isEmpty() || withOldBattery != s.status;
    if (!changed) {
        if (status.battery == s.status.battery)
            return;
        // A battery drifting by a hundredth of a volt is no news every report.
        if (s.statusSent && m_now() - s.statusSentAtMs < kBatteryStatusIntervalMs)
            return;
    }
    s.status = status;
    s.statusPayload = MqttMessages::statusPayload(status);
    s.statusSent = false;
    if (s.statusTopic.isEmpty())
        s.statusTopic = MqttMessages::statusTopic(effectiveConfig().topicPrefix, node->id());
    sendStatus(s);
}

void MqttPublisher::sendStatus(NodeState &s)
{
    if (s.statusTopic.isEmpty())
        return;
    if (send(s.statusTopic, s.statusPayload, kEventQos, true)) {
        s.statusSent = true;
        s.statusSentAtMs = m_now();
    }
}

bool MqttPublisher::takeToken(NodeState &s, qint64 nowMs)
{
    const double rate = m_config.rateLimit;
    if (rate <= 0.0)
        return true;
    if (s.tokenTimeMs < 0)
        s.tokens = kRateBurst;
    else
        s.tokens = std::min(kRateBurst, s.tokens + double(nowMs - s.tokenTimeMs) * rate / 1000.0);
    s.tokenTimeMs = nowMs;
    if (s.tokens < 1.0)
        return false;
    s.tokens -= 1.0;
    return true;
}

void MqttPublisher::publishPosition(NodeState &s, RtlsObject *node)
{
    if (Rtls::isAnchorOrMaster(s.status.mode) || !node->hasPos() || !(node->msgFlags() & Rtls::kMsgCoordinates))
        return;
    // The hub announces a node again for other reasons (a seat, details);
    // only a new report, heard at another time or stamped with another
    // time, carries a new position.
    const uint64_t heard = node->lastUpdate();
    const double stamp = node->msgTime();
    if (heard == kReportedInactive || (heard == s.lastPositionUpdate && stamp == s.lastPositionStamp))
        return;
    s.lastPositionUpdate = heard;
    s.lastPositionStamp = stamp;
    if (!takeToken(s, m_now()))
        return;
    if (m_state != State::Connected) {
        noteDropped(1);
        return;
    }
    const RtlsPos *p = node->pos();
    if (!MqttMessages::positionPayload(&m_payload, node->id(), p->x(), p->y(), p->z(), p->pqf(),
                                       MqttMessages::reportTime(*node)))
        return;
    if (s.positionTopic.isEmpty())
        s.positionTopic = MqttMessages::positionTopic(effectiveConfig().topicPrefix, node->id());
    if (!send(s.positionTopic, m_payload, kPositionQos, false))
        noteDropped(1);
}

void MqttPublisher::publishZoneEvent(uint64_t zoneId, const QString &zoneName, uint64_t nodeId, bool entered)
{
    // Stopped (a remote view publishes nothing): no events wait either.
    if (!isEnabled() || !m_started)
        return;
    ZoneEvent event{MqttMessages::zoneTopic(effectiveConfig().topicPrefix, zoneId),
                    MqttMessages::zoneEventPayload(zoneId, zoneName, nodeId, entered,
                                                   double(QDateTime::currentMSecsSinceEpoch()) / 1000.0)};
    // Events stay in order: a new one waits behind those not yet sent.
    if (m_pendingZoneEvents.empty() && send(event.topic, event.payload, kEventQos, false))
        return;
    queueZoneEvent(std::move(event));
}

void MqttPublisher::publishZoneConfig(uint64_t zoneId, const QJsonObject &zone)
{
    const QByteArray payload = MqttMessages::zoneConfigPayload(zone);
    ZoneConfig &config = m_zoneConfigs[zoneId];
    if (config.payload == payload && config.sent)
        return;
    config.payload = payload;
    config.sent = false;
    sendZoneConfig(zoneId);
}

void MqttPublisher::removeZoneConfig(uint64_t zoneId)
{
    const auto it = m_zoneConfigs.find(zoneId);
    if (it == m_zoneConfigs.end())
        return;
    it->payload.clear();
    it->sent = false;
    sendZoneConfig(zoneId);
}

void MqttPublisher::sendZoneConfig(uint64_t zoneId)
{
    const auto it = m_zoneConfigs.find(zoneId);
    if (it == m_zoneConfigs.end() || !isEnabled())
        return;
    if (!send(MqttMessages::zoneConfigTopic(effectiveConfig().topicPrefix, zoneId), it->payload, kEventQos, true))
        return;
    // A removal sent is done with; a definition stays to be sent again.
    if (it->payload.isEmpty())
        m_zoneConfigs.erase(it);
    else
        it->sent = true;
}

void MqttPublisher::onMessage(const QByteArray &topic, const QByteArray &payload, bool retained)
{
    const MqttMessages::Topic t = MqttMessages::parseTopic(effectiveConfig().topicPrefix, topic);
    if (t.kind == MqttMessages::TopicKind::ZoneConfig && retained && !payload.isEmpty())
        m_retainedZones.insert(t.id);
}

void MqttPublisher::clearStaleZones()
{
    const QString prefix = effectiveConfig().topicPrefix;
    for (uint64_t zoneId : qAsConst(m_retainedZones)) {
        if (m_zoneConfigs.contains(zoneId))
            continue;
        if (send(MqttMessages::zoneConfigTopic(prefix, zoneId), QByteArray(), kEventQos, true))
            post(tr("MQTT: zone %1 is no longer defined here; its definition on the broker was cleared")
                     .arg(QString::fromLatin1(MqttMessages::hexId(zoneId))));
    }
    m_retainedZones.clear();
}

void MqttPublisher::queueZoneEvent(ZoneEvent event)
{
    if (int(m_pendingZoneEvents.size()) >= kMaxPendingZoneEvents) {
        m_pendingZoneEvents.pop_front();
        noteDropped(1);
    }
    m_pendingZoneEvents.push_back(std::move(event));
}

bool MqttPublisher::send(const QByteArray &topic, const QByteArray &payload, int qos, bool retain)
{
    switch (m_client->publish(topic, payload, qos, retain)) {
    case MqttClient::Publish::Queued:
        ++m_published;
        if (m_backlogReported && m_client->backlog() < m_client->backlogLimit() / 2) {
            m_backlogReported = false;
            post(tr("MQTT: broker %1 keeps up again").arg(brokerText()));
        }
        return true;
    case MqttClient::Publish::Backlog:
        if (!m_backlogReported) {
            m_backlogReported = true;
            post(tr("MQTT: broker %1 does not keep up; messages are dropped until it does").arg(brokerText()));
        }
        return false;
    case MqttClient::Publish::NotConnected:
    case MqttClient::Publish::Failed:
        return false;
    }
    return false;
}

void MqttPublisher::noteDropped(quint64 count)
{
    m_dropped += count;
    m_droppedSinceConnected += count;
}

void MqttPublisher::post(const QString &line)
{
    emit displayMessage(line);
}
