#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

#include <future>
#include <memory>
#include <vector>

struct MqttSession;

// One connection to an MQTT broker through libmosquitto. The connection,
// its network loop, the reconnection with back-off and the goodbye all run on
// a thread of their own: the GUI thread only hands messages over
// (mosquitto_publish queues them and wakes that thread) and hears about the
// connection through queued signals. Messages are accepted only while the
// broker is connected and while fewer than backlogLimit() of them wait to be
// written, so nothing piles up while the broker is away or slow. A client
// that subscribes gets what the broker sends on the GUI thread, in order,
// gathered per event-loop turn; at most inboxLimit() messages wait there.
class MqttClient : public QObject
{
    Q_OBJECT

public:
    struct Endpoint
    {
        QString host;
        quint16 port = 1883;
        QString clientId;
        QString username;
        QString password;
        bool tls = false;
        QString caFile;
        // Published by the broker, retained, when the link dies without a goodbye.
        QByteArray willTopic;
        QByteArray willPayload;
        int keepAliveSeconds = 10;
        // Topic filters subscribed (QoS 1) on every connection.
        QList<QByteArray> subscriptions;
    };

    struct Message
    {
        QByteArray topic;
        QByteArray payload;
        bool retained = false;
    };

    enum class Publish { Queued, NotConnected, Backlog, Failed };

    static constexpr int kDefaultBacklogLimit = 20000;
    static constexpr int kDefaultMinRetryMs = 1000;
    static constexpr int kDefaultMaxRetryMs = 30000;
    static constexpr int kDefaultInboxLimit = 100000;

    explicit MqttClient(QObject *parent = nullptr);
    // Says goodbye to the broker and waits a bounded time for the network
    // thread to finish.
    ~MqttClient() override;

    // Starts connecting in the background, dropping any earlier connection.
    // Returns false, with the reason in *error, when the endpoint cannot work
    // at all (an unreadable CA file, say); nothing is started then.
    bool start(const Endpoint &endpoint, QString *error);
    // Asks the network thread to say goodbye and end; never waits.
    void stop();
    // Waits at most ms for the threads of stopped connections to end (at
    // exit, so that the goodbye reaches the broker); true when they have.
    bool waitForStopped(int ms);

    bool isRunning() const { return m_session != nullptr; }
    bool isConnected() const { return m_connected; }

    Publish publish(const QByteArray &topic, const QByteArray &payload, int qos, bool retain);

    // Messages handed to libmosquitto and not yet written (or acknowledged).
    int backlog() const;
    int backlogLimit() const { return m_backlogLimit; }
    void setBacklogLimit(int messages) { m_backlogLimit = messages; }
    // Back-off between attempts: doubles from min to max, back to min after
    // a connection that worked.
    void setRetryDelays(int minMs, int maxMs);

    // Messages received and not yet handed over; beyond the limit the
    // newest are dropped and counted, so a GUI thread that stalls does not
    // let the network thread fill the memory.
    int inboxLimit() const { return m_inboxLimit; }
    void setInboxLimit(int messages) { m_inboxLimit = messages; }
    quint64 droppedIncoming() const;

signals:
    void connected();
    // An attempt failed; loginRefused when the broker refused the user name
    // or password (or the client id); the next attempt follows in retryInMs.
    void connectFailed(const QString &reason, bool loginRefused, int retryInMs);
    void connectionLost(const QString &reason, int retryInMs);
    // One message from a subscription, on the GUI thread.
    void messageReceived(const MqttClient::Message &message);

private:
    void sessionConnected(quint64 generation);
    void sessionFailed(quint64 generation, const QString &reason, bool loginRefused, int retryInMs,
                       bool wasConnected);
    void deliverMessages(quint64 generation);

    friend struct MqttSession;

    std::shared_ptr<MqttSession> m_session;
    // The running session's thread, and those of sessions stopped but
    // perhaps still saying goodbye.
    std::shared_future<void> m_running;
    std::vector<std::shared_future<void>> m_stopped;
    quint64 m_generation = 0;
    bool m_connected = false;
    int m_backlogLimit = kDefaultBacklogLimit;
    int m_minRetryMs = kDefaultMinRetryMs;
    int m_maxRetryMs = kDefaultMaxRetryMs;
    int m_inboxLimit = kDefaultInboxLimit;
};

Q_DECLARE_METATYPE(MqttClient::Message)
