#pragma once

#include <QLoggingCategory>

// Master discovery: multicast DNS worker, broadcast search, QMDns.
Q_DECLARE_LOGGING_CATEGORY(lcDiscovery)
