#pragma once

#include <QLoggingCategory>

// Every console line of the program, so a run can be followed from a terminal:
// QT_LOGGING_RULES="sentrova.*=true" sentrova-manager
Q_DECLARE_LOGGING_CATEGORY(lcConsole)
// The node data model.
Q_DECLARE_LOGGING_CATEGORY(lcModel)
