#pragma once

#include "MqttClient.h"
#include "MqttConfig.h"
#include "MqttPublisher.h"

// Publishing on, to a broker on loopback, under the test's own prefix; the
// retries come quickly so that a test never waits for the back-off.
inline void publishTo(MqttPublisher *publisher, quint16 port, const QString &prefix,
                      const QString &user = QString(), const QString &password = QString())
{
    publisher->client()->setRetryDelays(50, 200);
    MqttConfig c;
    c.enabled = true;
    c.host = QStringLiteral("127.0.0.1");
    c.port = port;
    c.topicPrefix = prefix;
    c.username = user;
    c.password = password;
    publisher->setConfig(c);
    publisher->start();
}
