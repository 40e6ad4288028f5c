#include "StreamLog.h"

Q_LOGGING_CATEGORY(lcStream, "sentrova.stream", QtWarningMsg)
