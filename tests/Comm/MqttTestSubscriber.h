#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QMutex>
#include <QMutexLocker>
#include <QThread>

#include <mosquitto.h>

#include <atomic>

// A subscriber of our own for the broker tests: subscribes, waits for the
// broker's acknowledgement, and collects every message it gets.
class MqttTestSubscriber
{
public:
    struct Message
    {
        QByteArray topic;
        QByteArray payload;
        bool retained = false;
        QJsonObject json() const { return QJsonDocument::fromJson(payload).object(); }
    };

    MqttTestSubscriber() { mosquitto_lib_init(); }
    ~MqttTestSubscriber()
    {
        if (m_mosq) {
            mosquitto_disconnect(m_mosq);
            mosquitto_loop_stop(m_mosq, false);
            mosquitto_destroy(m_mosq);
        }
    }

    bool subscribe(quint16 port, const char *filter = "#", const char *user = nullptr, const char *password = nullptr)
    {
        m_mosq = mosquitto_new(nullptr, true, this);
        if (!m_mosq)
            return false;
        mosquitto_message_callback_set(m_mosq, &MqttTestSubscriber::onMessage);
        mosquitto_subscribe_callback_set(m_mosq, &MqttTestSubscriber::onSubscribe);
        if (user)
            mosquitto_username_pw_set(m_mosq, user, password);
        if (mosquitto_connect(m_mosq, "127.0.0.1", port, 30) != MOSQ_ERR_SUCCESS)
            return false;
        if (mosquitto_subscribe(m_mosq, nullptr, filter, 1) != MOSQ_ERR_SUCCESS)
            return false;
        mosquitto_loop_start(m_mosq);
        QElapsedTimer t;
        t.start();
        while (!m_subscribed.load() && t.elapsed() < 20000)
            QThread::msleep(10);
        return m_subscribed.load();
    }

    QList<Message> messages() const
    {
        QMutexLocker lock(&m_mutex);
        return m_messages;
    }

    QList<Message> on(const QByteArray &topic) const
    {
        QList<Message> out;
        for (const Message &m : messages())
            if (m.topic == topic)
                out.append(m);
        return out;
    }

    int count(const QByteArray &topicPart = QByteArray()) const
    {
        int n = 0;
        for (const Message &m : messages())
            if (topicPart.isEmpty() || m.topic.contains(topicPart))
                ++n;
        return n;
    }

    void clear()
    {
        QMutexLocker lock(&m_mutex);
        m_messages.clear();
    }

private:
    static void onMessage(struct mosquitto *, void *obj, const struct mosquitto_message *msg)
    {
        auto *self = static_cast<MqttTestSubscriber *>(obj);
        Message m;
        m.topic = QByteArray(msg->topic);
        m.payload = QByteArray(static_cast<const char *>(msg->payload), msg->payloadlen);
        m.retained = msg->retain;
        QMutexLocker lock(&self->m_mutex);
        self->m_messages.append(m);
    }
    static void onSubscribe(struct mosquitto *, void *obj, int, int, const int *)
    {
        static_cast<MqttTestSubscriber *>(obj)->m_subscribed.store(true);
    }

    struct mosquitto *m_mosq = nullptr;
    mutable QMutex m_mutex;
    QList<Message> m_messages;
    std::atomic<bool> m_subscribed{false};
};
