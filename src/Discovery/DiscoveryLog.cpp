#include "DiscoveryLog.h"

Q_LOGGING_CATEGORY(lcDiscovery, "sentrova.discovery", QtWarningMsg)
