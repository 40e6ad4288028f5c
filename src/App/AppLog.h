#pragma once

#include <QLoggingCategory>

// The application shell's own diagnostics (main window, settings file).
Q_DECLARE_LOGGING_CATEGORY(lcApp)
