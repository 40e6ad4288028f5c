#include "SentrovaLog.h"

Q_LOGGING_CATEGORY(lcConsole, "sentrova.console", QtWarningMsg)
Q_LOGGING_CATEGORY(lcModel, "sentrova.model", QtWarningMsg)
