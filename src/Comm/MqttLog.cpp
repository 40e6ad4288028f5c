#include "MqttLog.h"

Q_LOGGING_CATEGORY(lcMqtt, "sentrova.mqtt", QtWarningMsg)
