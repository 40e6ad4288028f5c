#include "MapLog.h"

Q_LOGGING_CATEGORY(lcMap, "sentrova.map", QtWarningMsg)
