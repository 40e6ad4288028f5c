#pragma once

#include <QLoggingCategory>

// The map view, its scene, its settings panels and the orientation view.
Q_DECLARE_LOGGING_CATEGORY(lcMap)
