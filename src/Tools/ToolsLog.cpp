#include "ToolsLog.h"

Q_LOGGING_CATEGORY(lcTools, "sentrova.tools", QtWarningMsg)
