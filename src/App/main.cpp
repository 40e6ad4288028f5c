#include "AppConstants.h"
#include "AppStyle.h"
#include "CommandLine.h"
#include "HeadlessManager.h"
#include "MainWindow.h"
#include "MqttPublisher.h"
#include "Preferences.h"
#include "RemoteSite.h"
#include "SentrovaInterface.h"

#include <QApplication>
#include <QCoreApplication>

#include <cstdio>
#include <memory>

namespace {

int print(FILE *stream, const QString &text, int exitCode)
{
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fflush(stream);
    return exitCode;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication::setOrganizationName(QLatin1String(AppConstants::kOrganisationName));
    QCoreApplication::setApplicationName(QLatin1String(AppConstants::kApplicationName));
    QCoreApplication::setApplicationVersion(QString::number(AppConstants::kVersionNumber));

    // Read before the application object: help, version and a mistake need
    // no display.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    CommandLine commandLine;
    switch (commandLine.parse(arguments)) {
    case CommandLine::Action::ShowHelp:
        return print(stdout, commandLine.helpText(), 0);
    case CommandLine::Action::ShowVersion:
        return print(stdout, commandLine.versionText(), 0);
    case CommandLine::Action::Error:
        return print(stderr, commandLine.errorText(), CommandLine::kUsageExitCode);
    case CommandLine::Action::Run:
        break;
    }
    const CommandLine::Options &options = commandLine.options();

    // Without a window there is no GUI application: no display, no
    // platform plugin, nothing of a desktop needed.
    std::unique_ptr<QCoreApplication> app;
    if (options.headless) {
        app = std::make_unique<QCoreApplication>(argc, argv);
    } else {
        AppStyle::enableHighDpi();
        app = std::make_unique<QApplication>(argc, argv);
    }

    // A remote view's hub is made without discovery and binds no stream port.
    SentrovaInterface::setRemoteAtStart(options.isRemote());
    // The hub and everything it owns exist before any window connects to it.
    SentrovaInterface *hub = SentrovaInterface::instance();
    // What the command line names must be in place before the settings file
    // is loaded and the search for masters starts.
    if (options.master)
        hub->setFixedMaster(options.master);
    if (!options.mqttHost.isEmpty())
        hub->mqtt()->setBrokerOverride(options.mqttHost, options.mqttPort);
    if (options.isRemote())
        hub->remoteSite()->setBrokerOverride(options.remoteHost, options.remotePort);
    if (!options.settingsFile.isEmpty())
        Preferences::setSettingsFileOverride(options.settingsFile);

    if (options.headless) {
        HeadlessManager manager(options);
        manager.start();
        return app->exec();
    }

    AppStyle::apply();

    MainWindow window;
    window.show();
    if (!options.captureFile.isEmpty()) {
        hub->setCaptureFileName(options.captureFile);
        hub->toggleLsCapture();
    }
    if (!options.replayFile.isEmpty())
        window.loadFile(options.replayFile);
    return app->exec();
}
