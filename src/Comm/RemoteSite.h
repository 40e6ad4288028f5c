#pragma once

#include "MqttClient.h"
#include "MqttConfig.h"

#include <QHash>
#include <QJsonObject>
#include <QObject>
#include <QSet>
#include <QString>

#include <cstdint>

class SentrovaInterface;

// A site seen from a broker: subscribes to what a manager of the site
// publishes (usually the headless service) and feeds it into this process's
// model as the LAN would. The broker is one more transport: a tag's position
// becomes a report line of the location stream and takes the stream's own
// way (decoder, node update, capture); a node's status updates the record
// through the model's JSON reading. Zone definitions are kept here by id and
// announced for the map. Nothing is ever published.
class RemoteSite : public QObject
{
    Q_OBJECT

public:
    enum class State { Off, Connecting, Connected, Retrying };
    Q_ENUM(State)

    explicit RemoteSite(SentrovaInterface *hub);
    ~RemoteSite() override;

    // The broker, login, TLS and topic prefix: unless given here, the
    // publisher's stored settings (the settings file's "mqtt", the MQTT
    // panel) with the command line's broker over them.
    MqttConfig config() const;
    void setConfig(const MqttConfig &config);
    // --remote HOST[:PORT].
    void setBrokerOverride(const QString &host, quint16 port);
    QString brokerText() const;

    State state() const { return m_state; }
    bool isConnected() const { return m_state == State::Connected; }
    // What the site's manager last said of itself ("online"); false until
    // it says anything.
    bool isSiteOnline() const { return m_siteOnline; }
    // Zone definitions as published, by zone id.
    const QHash<uint64_t, QJsonObject> &zones() const { return m_zones; }
    quint64 messageCount() const { return m_messages; }
    quint64 refusedCount() const { return m_refused; }
    MqttClient *client() const { return m_client; }

signals:
    void stateChanged(RemoteSite::State state);
    // A zone's definition, new or changed; announced again, unchanged, when
    // the broker sends it again after a reconnection.
    void zoneDefined(uint64_t zoneId, const QJsonObject &definition);
    void zoneDeleted(uint64_t zoneId);
    void siteOnlineChanged(bool online);

public slots:
    // Connects (again, with the settings in use now).
    void start();
    void stop();

private:
    void onMessage(const MqttClient::Message &message);
    void onZoneConfig(uint64_t zoneId, const QByteArray &payload);
    void refuse(const QByteArray &topic, const char *why);
    void setState(State state);
    void post(const QString &line);

    SentrovaInterface *m_hub;
    MqttClient *m_client;
    MqttConfig m_config;
    bool m_ownConfig = false;
    QString m_overrideHost;
    quint16 m_overridePort = 0;
    // The prefix subscribed to, for reading topics.
    QString m_prefix;
    State m_state = State::Off;
    bool m_failureReported = false;
    bool m_siteOnline = false;
    bool m_siteOnlineKnown = false;
    QHash<uint64_t, QJsonObject> m_zones;
    // Topics whose messages were refused, each named on the console once.
    QSet<QByteArray> m_refusedTopics;
    quint64 m_messages = 0;
    quint64 m_refused = 0;
    QByteArray m_line;
};
