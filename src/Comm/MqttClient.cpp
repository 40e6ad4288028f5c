#include "MqttClient.h"

#include "MqttLog.h"

#include <QFileInfo>
#include <QMetaObject>

#include <mosquitto.h>
#include <poll.h>
#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>

namespace {

// How long one turn of the network loop may wait for traffic; a stop is
// noticed within this time (a publish wakes the loop at once).
constexpr int kLoopTimeoutMs = 100;
// How long the goodbye may take before the thread gives up on it.
constexpr auto kGoodbyeTime = std::chrono::milliseconds(1000);
// Packets read in a row before the loop looks at its other work again.
constexpr int kMaxPacketsPerTurn = 1000;
// The network thread's name, as top -H and /proc show it.
constexpr char kThreadName[] = "sentrova-mqtt";
// How long the destructor waits for network threads to end.
constexpr auto kShutdownWait = std::chrono::milliseconds(2000);
// CONNACK codes of MQTT 3.1.1 that are about the login.
constexpr int kConnackBadIdentifier = 2;
constexpr int kConnackBadLogin = 4;
constexpr int kConnackNotAuthorised = 5;

void initLibrary()
{
    // Not thread safe, so done once from the first client's thread.
    static const int rc = mosquitto_lib_init();
    Q_UNUSED(rc);
}

std::string utf8(const QString &text)
{
    return text.toStdString();
}

} // namespace

// Shared by the client (GUI thread) and its network thread; whichever lets
// go last frees it. The mosquitto handle is destroyed by the network thread
// alone, after the GUI side has asked it to stop and no longer touches it.
struct MqttSession
{
    std::mutex mutex;
    std::condition_variable wake;
    bool stopRequested = false;          // guarded by mutex
    MqttClient *target = nullptr;        // guarded by mutex
    std::atomic<bool> stopping{false};   // read by the loop without the lock
    std::atomic<int> backlog{0};
    std::promise<void> finished;

    // What the broker sent, waiting for the GUI thread (guarded by mutex);
    // one delivery is posted for however many arrive before it runs.
    std::vector<MqttClient::Message> inbox; // guarded by mutex
    bool deliveryPosted = false;             // guarded by mutex
    size_t inboxLimit = 0;
    std::atomic<quint64> droppedIncoming{0};
    std::vector<std::string> subscriptions;

    struct mosquitto *mosq = nullptr;
    quint64 generation = 0;
    std::string host;
    int port = 0;
    int keepAlive = 10;
    int minRetryMs = 0;
    int maxRetryMs = 0;

    // Network thread only.
    int connack = -1;
    bool linkUp = false;

    static void onConnect(struct mosquitto *, void *obj, int rc);
    static void onPublish(struct mosquitto *, void *obj, int mid);
    static void onMessage(struct mosquitto *, void *obj, const struct mosquitto_message *message);

    void run();
    int readPending();
    bool waitForRetry(int ms);
    void notifyConnected();
    void notifyFailure(const QString &reason, bool loginRefused, int retryInMs, bool wasConnected);
    void sayGoodbye();
};

void MqttSession::onConnect(struct mosquitto *, void *obj, int rc)
{
    auto *s = static_cast<MqttSession *>(obj);
    s->connack = rc;
    if (rc == 0) {
        s->linkUp = true;
        // A clean session forgets subscriptions: made again on every connection.
        for (const std::string &filter : s->subscriptions) {
            const int result = mosquitto_subscribe(s->mosq, nullptr, filter.c_str(), 1);
            if (result != MOSQ_ERR_SUCCESS)
                qCWarning(lcMqtt).noquote() << "cannot subscribe to" << QString::fromStdString(filter) << ":"
                                            << mosquitto_strerror(result);
        }
        s->notifyConnected();
    }
}

void MqttSession::onMessage(struct mosquitto *, void *obj, const struct mosquitto_message *message)
{
    auto *s = static_cast<MqttSession *>(obj);
    std::lock_guard<std::mutex> lock(s->mutex);
    if (!s->target)
        return;
    if (s->inbox.size() >= s->inboxLimit) {
        s->droppedIncoming.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    MqttClient::Message m;
    m.topic = QByteArray(message->topic);
    m.payload = QByteArray(static_cast<const char *>(message->payload), message->payloadlen);
    m.retained = message->retain;
    s->inbox.push_back(std::move(m));
    if (s->deliveryPosted)
        return;
    s->deliveryPosted = true;
    MqttClient *client = s->target;
    const quint64 gen = s->generation;
    QMetaObject::invokeMethod(client, [client, gen] { client->deliverMessages(gen); }, Qt::QueuedConnection);
}

void MqttSession::onPublish(struct mosquitto *, void *obj, int)
{
    static_cast<MqttSession *>(obj)->backlog.fetch_sub(1, std::memory_order_relaxed);
}

void MqttSession::notifyConnected()
{
    std::lock_guard<std::mutex> lock(mutex);
    if (!target)
        return;
    MqttClient *client = target;
    const quint64 gen = generation;
    QMetaObject::invokeMethod(client, [client, gen] { client->sessionConnected(gen); }, Qt::QueuedConnection);
}

void MqttSession::notifyFailure(const QString &reason, bool loginRefused, int retryInMs, bool wasConnected)
{
    std::lock_guard<std::mutex> lock(mutex);
    if (!target)
        return;
    MqttClient *client = target;
    const quint64 gen = generation;
    QMetaObject::invokeMethod(
        client, [=] { client->sessionFailed(gen, reason, loginRefused, retryInMs, wasConnected); },
        Qt::QueuedConnection);
}

bool MqttSession::waitForRetry(int ms)
{
    std::unique_lock<std::mutex> lock(mutex);
    return !wake.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stopRequested; });
}

void MqttSession::run()
{
    pthread_setname_np(pthread_self(), kThreadName);
    int delay = minRetryMs;
    int rc = mosquitto_connect_async(mosq, host.c_str(), port, keepAlive);
    for (;;) {
        if (rc == MOSQ_ERR_SUCCESS) {
            while (!stopping.load(std::memory_order_relaxed)) {
                rc = mosquitto_loop(mosq, kLoopTimeoutMs, 1);
                if (rc == MOSQ_ERR_SUCCESS && !subscriptions.empty())
                    rc = readPending();
                if (rc != MOSQ_ERR_SUCCESS)
                    break;
            }
        }
        const int err = errno;
        if (stopping.load())
            break;

        const bool wasConnected = linkUp;
        linkUp = false;
        if (wasConnected)
            delay = minRetryMs;
        QString reason;
        bool loginRefused = false;
        if (connack > 0) {
            reason = QString::fromUtf8(mosquitto_connack_string(connack));
            loginRefused = connack == kConnackBadLogin || connack == kConnackNotAuthorised
                || connack == kConnackBadIdentifier;
        } else if (rc == MOSQ_ERR_ERRNO) {
            reason = QString::fromStdString(std::error_code(err, std::generic_category()).message());
        } else {
            reason = QString::fromUtf8(mosquitto_strerror(rc));
        }
        connack = -1;
        notifyFailure(reason, loginRefused, delay, wasConnected);
        if (!waitForRetry(delay))
            break;
        delay = std::min(delay * 2, maxRetryMs);
        rc = mosquitto_reconnect_async(mosq);
    }
    sayGoodbye();
    mosquitto_destroy(mosq);
    mosq = nullptr;
    finished.set_value();
}

// libmosquitto's loop reads one packet of QoS 0 per wait for the socket: a
// subscriber that gets thousands of positions a second would fall behind
// by a select() per message. What has already arrived is read at once.
int MqttSession::readPending()
{
    const int fd = mosquitto_socket(mosq);
    for (int i = 0; i < kMaxPacketsPerTurn; ++i) {
        pollfd p{fd, POLLIN, 0};
        if (fd < 0 || ::poll(&p, 1, 0) <= 0 || !(p.revents & POLLIN))
            return MOSQ_ERR_SUCCESS;
        const int rc = mosquitto_loop_read(mosq, 1);
        if (rc != MOSQ_ERR_SUCCESS)
            return rc;
    }
    return MOSQ_ERR_SUCCESS;
}

// A clean DISCONNECT keeps the broker from publishing the last will; the
// messages queued before it (the manager's "offline" status) go out first.
void MqttSession::sayGoodbye()
{
    if (!linkUp)
        return;
    if (mosquitto_disconnect(mosq) != MOSQ_ERR_SUCCESS)
        return;
    const auto deadline = std::chrono::steady_clock::now() + kGoodbyeTime;
    while (std::chrono::steady_clock::now() < deadline) {
        if (mosquitto_loop(mosq, kLoopTimeoutMs, 1) != MOSQ_ERR_SUCCESS)
            break;
    }
}

MqttClient::MqttClient(QObject *parent) : QObject(parent)
{
    initLibrary();
}

MqttClient::~MqttClient()
{
    stop();
    if (!waitForStopped(int(kShutdownWait.count())))
        qCWarning(lcMqtt) << "the broker connection did not end in time; left to finish on its own";
}

bool MqttClient::waitForStopped(int ms)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (const std::shared_future<void> &done : m_stopped)
        if (done.wait_until(deadline) != std::future_status::ready)
            return false;
    return true;
}

void MqttClient::setRetryDelays(int minMs, int maxMs)
{
    m_minRetryMs = std::max(1, minMs);
    m_maxRetryMs = std::max(m_minRetryMs, maxMs);
}

bool MqttClient::start(const Endpoint &endpoint, QString *error)
{
    stop();
    // Threads of earlier sessions that have ended need no waiting for.
    m_stopped.erase(std::remove_if(m_stopped.begin(), m_stopped.end(),
                                   [](const std::shared_future<void> &f) {
                                       return f.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
                                   }),
                    m_stopped.end());

    auto session = std::make_shared<MqttSession>();
    session->generation = ++m_generation;
    session->host = utf8(endpoint.host);
    session->port = endpoint.port;
    session->keepAlive = endpoint.keepAliveSeconds;
    session->minRetryMs = m_minRetryMs;
    session->maxRetryMs = m_maxRetryMs;
    session->inboxLimit = size_t(std::max(1, m_inboxLimit));
    for (const QByteArray &filter : endpoint.subscriptions)
        session->subscriptions.push_back(filter.toStdString());

    const std::string clientId = utf8(endpoint.clientId);
    struct mosquitto *mosq = mosquitto_new(clientId.empty() ? nullptr : clientId.c_str(), true, session.get());
    if (!mosq) {
        *error = tr("cannot create a client: %1").arg(QString::fromStdString(
            std::error_code(errno, std::generic_category()).message()));
        return false;
    }
    auto fail = [&](const QString &why) {
        mosquitto_destroy(mosq);
        *error = why;
        return false;
    };

    mosquitto_int_option(mosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    // Publishing happens on the GUI thread, the network loop on ours.
    mosquitto_threaded_set(mosq, true);
    mosquitto_connect_callback_set(mosq, &MqttSession::onConnect);
    mosquitto_publish_callback_set(mosq, &MqttSession::onPublish);
    if (!endpoint.subscriptions.isEmpty())
        mosquitto_message_callback_set(mosq, &MqttSession::onMessage);

    if (!endpoint.username.isEmpty()) {
        const std::string user = utf8(endpoint.username);
        const std::string pass = utf8(endpoint.password);
        if (mosquitto_username_pw_set(mosq, user.c_str(), endpoint.password.isEmpty() ? nullptr : pass.c_str())
            != MOSQ_ERR_SUCCESS)
            return fail(tr("the user name cannot be used"));
    }
    if (endpoint.tls) {
        int rc;
        if (endpoint.caFile.isEmpty()) {
            rc = mosquitto_int_option(mosq, MOSQ_OPT_TLS_USE_OS_CERTS, 1);
        } else {
            if (!QFileInfo(endpoint.caFile).isReadable())
                return fail(tr("the CA file %1 cannot be read").arg(endpoint.caFile));
            const std::string ca = utf8(endpoint.caFile);
            rc = mosquitto_tls_set(mosq, ca.c_str(), nullptr, nullptr, nullptr, nullptr);
        }
        if (rc != MOSQ_ERR_SUCCESS)
            return fail(tr("TLS cannot be set up: %1").arg(QString::fromUtf8(mosquitto_strerror(rc))));
    }
    if (!endpoint.willTopic.isEmpty()) {
        const int rc = mosquitto_will_set(mosq, endpoint.willTopic.constData(), endpoint.willPayload.size(),
                                          endpoint.willPayload.constData(), 1, true);
        if (rc != MOSQ_ERR_SUCCESS)
            return fail(tr("the topic prefix cannot be used: %1").arg(QString::fromUtf8(mosquitto_strerror(rc))));
    }

    session->mosq = mosq;
    session->target = this;
    m_running = session->finished.get_future().share();
    m_session = session;
    m_connected = false;
    // The thread keeps its own reference: the session outlives a stop().
    std::thread([session] { session->run(); }).detach();
    return true;
}

void MqttClient::stop()
{
    if (!m_session)
        return;
    {
        std::lock_guard<std::mutex> lock(m_session->mutex);
        m_session->stopRequested = true;
        m_session->target = nullptr;
        m_session->stopping.store(true);
    }
    m_session->wake.notify_all();
    m_session.reset();
    m_stopped.push_back(m_running);
    m_running = std::shared_future<void>();
    m_connected = false;
}

MqttClient::Publish MqttClient::publish(const QByteArray &topic, const QByteArray &payload, int qos, bool retain)
{
    if (!m_session || !m_connected)
        return Publish::NotConnected;
    // A count that went below zero (acknowledgements of messages from before
    // a reconnection) counts as empty.
    if (m_session->backlog.load(std::memory_order_relaxed) >= m_backlogLimit)
        return Publish::Backlog;
    m_session->backlog.fetch_add(1, std::memory_order_relaxed);
    const int rc = mosquitto_publish(m_session->mosq, nullptr, topic.constData(), payload.size(),
                                     payload.constData(), qos, retain);
    if (rc == MOSQ_ERR_SUCCESS)
        return Publish::Queued;
    m_session->backlog.fetch_sub(1, std::memory_order_relaxed);
    if (rc == MOSQ_ERR_NO_CONN || rc == MOSQ_ERR_CONN_LOST)
        return Publish::NotConnected;
    qCDebug(lcMqtt) << "publish to" << topic << "failed:" << mosquitto_strerror(rc);
    return Publish::Failed;
}

quint64 MqttClient::droppedIncoming() const
{
    return m_session ? m_session->droppedIncoming.load(std::memory_order_relaxed) : 0;
}

void MqttClient::deliverMessages(quint64 generation)
{
    if (!m_session || generation != m_generation)
        return;
    std::vector<Message> batch;
    {
        std::lock_guard<std::mutex> lock(m_session->mutex);
        batch.swap(m_session->inbox);
        m_session->deliveryPosted = false;
    }
    // A receiver may stop or restart the client: what is left of the batch
    // belongs to the session that is gone.
    const std::shared_ptr<MqttSession> session = m_session;
    for (const Message &message : batch) {
        if (m_session != session)
            return;
        emit messageReceived(message);
    }
}

int MqttClient::backlog() const
{
    return m_session ? std::max(0, m_session->backlog.load(std::memory_order_relaxed)) : 0;
}

void MqttClient::sessionConnected(quint64 generation)
{
    if (!m_session || generation != m_generation)
        return;
    // Whatever was queued before the link broke is gone with it.
    m_session->backlog.store(0);
    m_connected = true;
    emit connected();
}

void MqttClient::sessionFailed(quint64 generation, const QString &reason, bool loginRefused, int retryInMs,
                               bool wasConnected)
{
    if (!m_session || generation != m_generation)
        return;
    m_connected = false;
    if (wasConnected)
        emit connectionLost(reason, retryInMs);
    else
        emit connectFailed(reason, loginRefused, retryInMs);
}
