#pragma once

#include <QLoggingCategory>

// The node tools, setup and calibration views.
Q_DECLARE_LOGGING_CATEGORY(lcTools)
