#pragma once

#include <QLoggingCategory>

// Publishing to an MQTT broker: connection attempts, losses, dropped messages.
Q_DECLARE_LOGGING_CATEGORY(lcMqtt)
