#include "AppLog.h"

Q_LOGGING_CATEGORY(lcApp, "sentrova.app", QtWarningMsg)
