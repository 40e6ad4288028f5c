#include "CommLog.h"

Q_LOGGING_CATEGORY(lcComm, "sentrova.comm", QtWarningMsg)
