#include "SimLogging.h"

Q_LOGGING_CATEGORY(lcSim, "sentrova.sim", QtWarningMsg)
