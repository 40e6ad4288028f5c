#include "RemoteSite.h"

#include "MqttLog.h"
#include "MqttMessages.h"
#include "MqttPublisher.h"
#include "RtlsLs.h"
#include "SentrovaInterface.h"

#include <QJsonDocument>
#include <QJsonParseError>
#include <QTimer>

#include <memory>

namespace {

// After connecting, how long the broker's retained definitions are
// gathered before zones it no longer holds are dropped (they were deleted
// while this view was away).
constexpr int kRetainedWindowMs = 3000;
// Refused topics named on the console, at most.
constexpr int kMaxRefusedTopicsShown = 20;

} // namespace

RemoteSite::RemoteSite(SentrovaInterface *hub) : QObject(hub), m_hub(hub), m_client(new MqttClient(this))
{
    connect(m_client, &MqttClient::messageReceived, this, &RemoteSite::onMessage);
    connect(m_client, &MqttClient::connected, this, [this] {
        post(tr("Remote view: connected to broker %1; the site is read from %2/#").arg(brokerText(), m_prefix));
        m_failureReported = false;
        setState(State::Connected);
        // Definitions the broker sends again now are the site's zones; those
        // it does not send were deleted meanwhile.
        auto seen = std::make_shared<QSet<uint64_t>>();
        auto counter = connect(this, &RemoteSite::zoneDefined, this, [seen](uint64_t id) { seen->insert(id); });
        QTimer::singleShot(kRetainedWindowMs, this, [this, seen, counter] {
            disconnect(counter);
            for (auto it = m_zones.begin(); it != m_zones.end();) {
                if (seen->contains(it.key()) || !isConnected()) {
                    ++it;
                    continue;
                }
                const uint64_t id = it.key();
                it = m_zones.erase(it);
                emit zoneDeleted(id);
            }
            post(tr("Remote view: the site has %1 nodes and %2 zones").arg(m_hub->nodes().size()).arg(m_zones.size()));
        });
    });
    connect(m_client, &MqttClient::connectFailed, this, [this](const QString &reason, bool loginRefused, int) {
        setState(State::Retrying);
        if (m_failureReported)
            return;
        m_failureReported = true;
        if (loginRefused)
            post(tr("Remote view: broker %1 refused the login (%2); retrying with back-off").arg(brokerText(), reason));
        else
            post(tr("Remote view: cannot reach broker %1 (%2); retrying with back-off").arg(brokerText(), reason));
    });
    connect(m_client, &MqttClient::connectionLost, this, [this](const QString &reason, int) {
        setState(State::Retrying);
        m_failureReported = true;
        post(tr("Remote view: connection to broker %1 lost (%2); reconnecting").arg(brokerText(), reason));
    });
}

RemoteSite::~RemoteSite() = default;

MqttConfig RemoteSite::config() const
{
    MqttConfig c = m_ownConfig ? m_config : m_hub->mqtt()->config();
    if (!m_overrideHost.isEmpty()) {
        c.host = m_overrideHost;
        c.port = m_overridePort;
    }
    return c;
}

void RemoteSite::setConfig(const MqttConfig &config)
{
    m_config = config;
    m_ownConfig = true;
    m_overrideHost.clear();
    m_overridePort = 0;
}

void RemoteSite::setBrokerOverride(const QString &host, quint16 port)
{
    m_overrideHost = host;
    m_overridePort = port;
}

QString RemoteSite::brokerText() const
{
    const MqttConfig c = config();
    const QString host = c.host.contains(QLatin1Char(':')) ? QLatin1Char('[') + c.host + QLatin1Char(']') : c.host;
    return host + QLatin1Char(':') + QString::number(c.port);
}

void RemoteSite::start()
{
    const MqttConfig c = config();
    m_prefix = c.topicPrefix;
    MqttClient::Endpoint endpoint;
    endpoint.host = c.host;
    endpoint.port = c.port;
    // Its own id: a view and the manager it watches may share a host name
    // and, in tests, a configured id.
    endpoint.clientId = c.effectiveClientId() + QStringLiteral("-view");
    endpoint.username = c.username;
    endpoint.password = c.password;
    endpoint.tls = c.tls;
    endpoint.caFile = c.caFile;
    endpoint.subscriptions = MqttMessages::siteSubscriptions(m_prefix);
    m_failureReported = false;
    QString error;
    if (!m_client->start(endpoint, &error)) {
        post(tr("Remote view: cannot use broker %1: %2").arg(brokerText(), error));
        setState(State::Off);
        return;
    }
    post(tr("Remote view: connecting to broker %1").arg(brokerText()));
    setState(State::Connecting);
}

void RemoteSite::stop()
{
    m_client->stop();
    setState(State::Off);
}

void RemoteSite::setState(State state)
{
    if (state == m_state)
        return;
    m_state = state;
    emit stateChanged(state);
}

void RemoteSite::post(const QString &line)
{
    qCInfo(lcMqtt).noquote() << line;
    m_hub->postMessage(line);
}

void RemoteSite::refuse(const QByteArray &topic, const char *why)
{
    ++m_refused;
    qCInfo(lcMqtt).noquote() << "refused a message on" << topic << ":" << why;
    if (m_refusedTopics.contains(topic) || m_refusedTopics.size() >= kMaxRefusedTopicsShown)
        return;
    m_refusedTopics.insert(topic);
    post(tr("Remote view: a message on %1 is not understood (%2); such messages are ignored")
             .arg(QString::fromUtf8(topic), QLatin1String(why)));
}

void RemoteSite::onMessage(const MqttClient::Message &message)
{
    ++m_messages;
    const MqttMessages::Topic topic = MqttMessages::parseTopic(m_prefix, message.topic);
    RtlsLs *stream = m_hub->locationStream();
    // Positions are echoed by the stream as the reports they become; the
    // rest as they came.
    if (topic.kind != MqttMessages::TopicKind::Position && stream->displaysMessages())
        m_hub->postMessage(QStringLiteral("MQTT_IN: %1 %2").arg(QString::fromUtf8(message.topic),
                                                               QString::fromUtf8(message.payload)));
    switch (topic.kind) {
    case MqttMessages::TopicKind::Position:
        if (MqttMessages::positionReport(message.payload, topic.id, &m_line))
            stream->receiveLine(m_line);
        else
            refuse(message.topic, "not a position of that tag");
        return;
    case MqttMessages::TopicKind::Status: {
        // An empty retained message clears a node's status: nothing to apply.
        if (message.payload.isEmpty())
            return;
        MqttMessages::NodeStatus status;
        if (MqttMessages::readStatus(message.payload, topic.id, &status))
            m_hub->applyRemoteStatus(status);
        else
            refuse(message.topic, "not a status of that node");
        return;
    }
    case MqttMessages::TopicKind::ZoneConfig:
        onZoneConfig(topic.id, message.payload);
        return;
    case MqttMessages::TopicKind::Manager: {
        bool online = false;
        if (!MqttMessages::readManagerOnline(message.payload, &online)) {
            if (!message.payload.isEmpty())
                refuse(message.topic, "neither online nor offline");
            return;
        }
        if (m_siteOnlineKnown && online == m_siteOnline)
            return;
        m_siteOnlineKnown = true;
        m_siteOnline = online;
        post(online ? tr("Remote view: the site's manager is online")
                    : tr("Remote view: the site's manager is offline; what is shown is its last word"));
        emit siteOnlineChanged(online);
        return;
    }
    case MqttMessages::TopicKind::ZoneEvent:
    case MqttMessages::TopicKind::Unknown:
        return;
    }
}

void RemoteSite::onZoneConfig(uint64_t zoneId, const QByteArray &payload)
{
    if (payload.isEmpty()) {
        const auto known = m_zones.find(zoneId);
        if (known == m_zones.end())
            return;
        post(tr("Remote view: zone \"%1\" (%2) deleted by the site")
                 .arg(known->value(QLatin1String("name")).toString(), QString::fromLatin1(MqttMessages::hexId(zoneId))));
        m_zones.erase(known);
        emit zoneDeleted(zoneId);
        return;
    }
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(payload, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) {
        refuse(QByteArray(MqttMessages::zoneConfigTopic(m_prefix, zoneId)), "not a JSON object");
        return;
    }
    QJsonObject definition = doc.object();
    // The topic names the zone.
    definition.insert(QStringLiteral("id"), QString::fromLatin1(MqttMessages::hexId(zoneId)));
    const auto known = m_zones.constFind(zoneId);
    const bool isNew = known == m_zones.constEnd();
    if (!isNew && known.value() == definition) {
        emit zoneDefined(zoneId, definition);
        return;
    }
    m_zones.insert(zoneId, definition);
    if (isNew)
        post(tr("Remote view: zone \"%1\" (%2)").arg(definition.value(QLatin1String("name")).toString(),
                                                     QString::fromLatin1(MqttMessages::hexId(zoneId))));
    emit zoneDefined(zoneId, definition);
}
