#pragma once

#include <QString>

// Tells the user about a failure of the engine (a port that cannot be bound,
// a capture file that cannot be opened). Shown as a critical message box only
// where someone can see it, and never modal, so the engine and a run without
// a user never wait on it; the caller logs the failure on its own category.
class RtlsAlert
{
public:
    static void critical(const QString &title, const QString &text);

    // False in a process without QApplication, on the offscreen or minimal
    // platform, or after setDialogsAllowed(false).
    static bool canShowDialogs();
    static void setDialogsAllowed(bool allowed);
};
