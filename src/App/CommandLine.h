#pragma once

#include <QString>
#include <QStringList>

// The manager's command line: what to do this run (which settings file,
// which master, which broker, what to record), read before any window or
// display exists, so that --help, --version and a mistake are answered even
// without a display.
class CommandLine
{
public:
    struct Options
    {
        QString settingsFile;
        // IPv4 in host byte order; 0: find the masters by discovery.
        quint32 master = 0;
        QString captureFile;
        QString replayFile;
        QString mqttHost;
        quint16 mqttPort = 0;
        // No window and no display: the service that feeds the broker.
        bool headless = false;
        // A remote view of the site that a manager publishes on this broker.
        QString remoteHost;
        quint16 remotePort = 0;
        bool isRemote() const { return !remoteHost.isEmpty(); }
    };

    enum class Action { Run, ShowHelp, ShowVersion, Error };

    // The exit code of a command line that cannot be used, as getopt-style
    // programs give it.
    static constexpr int kUsageExitCode = 2;

    // arguments[0] is the program. Options of Qt's own (-platform, -style
    // and the like) are let through for the application object.
    Action parse(const QStringList &arguments);

    const Options &options() const { return m_options; }
    // The text for standard output (help, version) or standard error.
    QString helpText() const;
    QString versionText() const;
    QString errorText() const;

private:
    Options m_options;
    QString m_program;
    QString m_error;
};
