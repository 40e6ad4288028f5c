#include "SignalWatcher.h"
#include "SimLogging.h"
#include "SimOptions.h"
#include "Simulator.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QTimer>
#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("sentrova-sim"));
    SimOptions options;
    QString error;
    if (!SimOptions::parse(app.arguments(), &options, &error)) {
        const bool help = app.arguments().contains(QStringLiteral("--help")) || app.arguments().contains(QStringLiteral("-h"));
        std::fprintf(help ? stdout : stderr, "%s\n", qPrintable(error));
        return help ? 0 : 2;
    }
    // The operator sees every connection, command and answer unless asked
    // for quiet; load mode never logs single reports anyway.
    if (!options.quiet)
        QLoggingCategory::setFilterRules(QStringLiteral("sentrova.sim.info=true"));

    SignalWatcher watcher;
    Simulator sim(options);
    QObject::connect(&sim, &Simulator::finished, &app, [](int code) { QCoreApplication::exit(code); });
    QObject::connect(&watcher, &SignalWatcher::terminationRequested, &app, [&sim](int signalNumber) {
        qCInfo(lcSim) << "signal" << signalNumber << "- stopping";
        sim.stop();
        // Let the closing connections flush before the loop ends.
        QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
    });
    if (!sim.start())
        return 1;
    if (options.svcPort == 0)
        std::printf("SVC_PORT %u\n", unsigned(sim.servicePort()));
    std::printf("READY\n");
    std::fflush(stdout);
    return app.exec();
}
