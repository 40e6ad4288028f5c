#include "AppConstants.h"
#include "MainWindow.h"
#include "SentrovaInterface.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QStyle>
#include <QStyleFactory>

namespace {

void applyStyle()
{
    QStyle *style = QStyleFactory::create(QLatin1String(AppConstants::kPreferredStyle));
    if (!style)
        style = QStyleFactory::create(QLatin1String(AppConstants::kFallbackStyle));
    if (style)
        QApplication::setStyle(style);
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QLatin1String(AppConstants::kOrganisationName));
    QCoreApplication::setApplicationName(QLatin1String(AppConstants::kApplicationName));
    QCoreApplication::setApplicationVersion(QString::number(AppConstants::kVersionNumber));
    applyStyle();

    QCommandLineParser parser;
    parser.setApplicationDescription(QCoreApplication::translate(
        "main", "Finds, configures and watches the masters, anchors and tags of a Sentrova site."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.process(app);

    // The hub and everything it owns exist before any window connects to it.
    SentrovaInterface::instance();

    MainWindow window;
    window.show();
    return app.exec();
}
