#pragma once

#include <QLoggingCategory>

// The service channel, its clients and the hub's commands.
Q_DECLARE_LOGGING_CATEGORY(lcComm)
