#pragma once

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>
#include <QTemporaryDir>

// Gives a test process its own home (so the preference store is a private,
// throw-away file) and its own working directory (so settings and capture
// files never land in the source tree). Call from initMain(), before the
// application object exists.
namespace AppTestEnvironment {

inline QTemporaryDir &home()
{
    static QTemporaryDir dir;
    return dir;
}

inline void isolate()
{
    qputenv("HOME", home().path().toLocal8Bit());
    qunsetenv("XDG_CONFIG_HOME");
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication::setOrganizationName(QStringLiteral("Sentrova"));
    QCoreApplication::setApplicationName(QStringLiteral("sentrova-manager"));
    QDir(home().path()).mkpath(QStringLiteral("work"));
    QDir::setCurrent(home().filePath(QStringLiteral("work")));
}

} // namespace AppTestEnvironment
