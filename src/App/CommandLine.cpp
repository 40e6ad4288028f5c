#include "CommandLine.h"

#include "AppConstants.h"
#include "MqttConfig.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QHostAddress>

#include <vector>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("CommandLine", text);
}

constexpr int kHelpColumns = 80;

struct OptionEntry
{
    const char *name;
    const char *shortName;
    const char *valueName;
    const char *description;
};

const OptionEntry kOptions[] = {
    {"help", "h", nullptr, QT_TRANSLATE_NOOP("CommandLine", "Show this help and exit.")},
    {"version", "v", nullptr, QT_TRANSLATE_NOOP("CommandLine", "Show the program version and exit.")},
    {"settings", nullptr, "FILE",
     QT_TRANSLATE_NOOP("CommandLine", "Use this settings file for this run instead of the one the preferences name.")},
    {"master", nullptr, "ADDRESS",
     QT_TRANSLATE_NOOP("CommandLine",
                       "Talk to the master at this IPv4 address only; no search for masters. A master "
                       "address in the settings file is not used.")},
    {"capture", nullptr, "FILE",
     QT_TRANSLATE_NOOP("CommandLine", "Record the location stream to this capture file from the start.")},
    {"replay", nullptr, "FILE",
     QT_TRANSLATE_NOOP("CommandLine",
                       "Replay this capture file at its recorded pace once the window is up (as File > Open "
                       "does); live location data waits meanwhile.")},
    {"mqtt", nullptr, "HOST[:PORT]",
     QT_TRANSLATE_NOOP("CommandLine",
                       "Publish positions, node statuses and zone events to this MQTT broker (port 1883 "
                       "unless given), whatever the settings file says.")},
    {"headless", nullptr, nullptr,
     QT_TRANSLATE_NOOP("CommandLine",
                       "Run without a window or a display, as a service: discovery, the service channel, the "
                       "location stream, the settings file's zones and publishing to the broker. Console lines "
                       "go to standard output; SIGTERM or SIGINT stops, SIGHUP reads the settings file again.")},
    {"remote", nullptr, "HOST[:PORT]",
     QT_TRANSLATE_NOOP("CommandLine",
                       "Show the site that a manager publishes on this MQTT broker (port 1883 unless given), "
                       "with the settings file's MQTT login, TLS and topic prefix. Nothing is searched for or "
                       "sent on the LAN.")},
};

// Qt's own options, taken by the application object: accepted here without
// a word in the help.
const char *const kQtValueOptions[] = {"platform", "platformpluginpath", "platformtheme", "plugin",
                                       "qwindowgeometry", "qwindowicon", "qwindowtitle", "style",
                                       "stylesheet", "session", "display", "geometry", "title", "name",
                                       "visual", "ncols", "cmap", "im"};
const char *const kQtFlagOptions[] = {"reverse", "widgetcount", "nograb", "dograb", "sync"};

QString nameOf(const OptionEntry &option)
{
    QString text;
    if (option.shortName)
        text += QLatin1Char('-') + QLatin1String(option.shortName) + QLatin1String(", ");
    text += QLatin1String("--") + QLatin1String(option.name);
    if (option.valueName)
        text += QLatin1Char(' ') + QLatin1String(option.valueName);
    return text;
}

} // namespace

CommandLine::Action CommandLine::parse(const QStringList &arguments)
{
    m_options = Options();
    m_error.clear();
    m_program = arguments.isEmpty() ? QLatin1String(AppConstants::kApplicationName)
                                    : QFileInfo(arguments.first()).fileName();

    QCommandLineParser parser;
    // "-platform offscreen" is Qt's spelling; the manager's own options are
    // long ones, so nothing is lost by reading single-dash words whole.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    for (const OptionEntry &entry : kOptions) {
        QStringList names{QLatin1String(entry.name)};
        if (entry.shortName)
            names.prepend(QLatin1String(entry.shortName));
        QCommandLineOption option(names, tr(entry.description));
        if (entry.valueName)
            option.setValueName(QLatin1String(entry.valueName));
        parser.addOption(option);
    }
    for (const char *name : kQtValueOptions) {
        QCommandLineOption option{QString(QLatin1String(name))};
        option.setValueName(QStringLiteral("value"));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
    for (const char *name : kQtFlagOptions) {
        QCommandLineOption option{QString(QLatin1String(name))};
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }

    if (!parser.parse(arguments)) {
        m_error = parser.errorText();
        return Action::Error;
    }
    if (parser.isSet(QStringLiteral("help")))
        return Action::ShowHelp;
    if (parser.isSet(QStringLiteral("version")))
        return Action::ShowVersion;
    if (!parser.positionalArguments().isEmpty()) {
        m_error = tr("Unexpected argument '%1'.").arg(parser.positionalArguments().first());
        return Action::Error;
    }

    // Each option once: a second value would silently win otherwise.
    for (const OptionEntry &option : kOptions) {
        if (option.valueName && parser.values(QLatin1String(option.name)).size() > 1) {
            m_error = tr("--%1 given more than once.").arg(QLatin1String(option.name));
            return Action::Error;
        }
    }

    const QString settings = parser.value(QStringLiteral("settings"));
    if (parser.isSet(QStringLiteral("settings")) && settings.trimmed().isEmpty()) {
        m_error = tr("--settings needs a file name.");
        return Action::Error;
    }
    m_options.settingsFile = settings;

    if (parser.isSet(QStringLiteral("master"))) {
        const QString text = parser.value(QStringLiteral("master")).trimmed();
        const bool localhost = text.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0;
        const QHostAddress address = localhost ? QHostAddress(QHostAddress::LocalHost) : QHostAddress(text);
        bool ok = false;
        const quint32 ipv4 = address.toIPv4Address(&ok);
        // "10.1" would be read as 10.0.0.1: ask for the four parts a user
        // means when typing an address.
        if (!ok || ipv4 == 0 || (!localhost && text.count(QLatin1Char('.')) != 3)) {
            m_error = tr("--master: '%1' is not an IPv4 address.").arg(text);
            return Action::Error;
        }
        m_options.master = ipv4;
    }

    const QString capture = parser.value(QStringLiteral("capture"));
    if (parser.isSet(QStringLiteral("capture")) && capture.trimmed().isEmpty()) {
        m_error = tr("--capture needs a file name.");
        return Action::Error;
    }
    m_options.captureFile = capture;

    if (parser.isSet(QStringLiteral("replay"))) {
        const QString replay = parser.value(QStringLiteral("replay"));
        const QFileInfo file(replay);
        if (replay.trimmed().isEmpty() || !file.isFile() || !file.isReadable()) {
            m_error = tr("--replay: cannot read the capture file '%1'.").arg(replay);
            return Action::Error;
        }
        m_options.replayFile = replay;
    }

    if (parser.isSet(QStringLiteral("mqtt"))) {
        const QString text = parser.value(QStringLiteral("mqtt"));
        if (!MqttConfig::parseBroker(text, &m_options.mqttHost, &m_options.mqttPort)) {
            m_error = tr("--mqtt: '%1' is not HOST or HOST:PORT (port 1 to 65535).").arg(text);
            return Action::Error;
        }
    }

    m_options.headless = parser.isSet(QStringLiteral("headless"));
    if (parser.isSet(QStringLiteral("remote"))) {
        const QString text = parser.value(QStringLiteral("remote"));
        if (!MqttConfig::parseBroker(text, &m_options.remoteHost, &m_options.remotePort)) {
            m_error = tr("--remote: '%1' is not HOST or HOST:PORT (port 1 to 65535).").arg(text);
            return Action::Error;
        }
        // A remote view talks to no master and publishes nothing.
        for (const char *other : {"headless", "master", "mqtt", "replay"}) {
            if (parser.isSet(QLatin1String(other))) {
                m_error = tr("--remote and --%1 cannot be used together.").arg(QLatin1String(other));
                return Action::Error;
            }
        }
    }
    return Action::Run;
}

QString CommandLine::helpText() const
{
    QString text = tr("Usage: %1 [options]").arg(m_program) + QLatin1Char('\n');
    text += tr("Finds, configures and watches the masters, anchors and tags of a Sentrova site.")
        + QLatin1String("\n\n");
    text += tr("Options:") + QLatin1Char('\n');
    int width = 0;
    for (const OptionEntry &option : kOptions)
        width = qMax(width, nameOf(option).size());
    // Descriptions wrapped to a terminal's 80 columns, under one another.
    const int indent = width + 4;
    for (const OptionEntry &option : kOptions) {
        QString line = QLatin1String("  ") + nameOf(option).leftJustified(width + 2);
        const QStringList words = tr(option.description).split(QLatin1Char(' '), Qt::SkipEmptyParts);
        int column = indent;
        for (const QString &word : words) {
            if (column > indent && column + 1 + word.size() > kHelpColumns) {
                line += QLatin1Char('\n') + QString(indent, QLatin1Char(' '));
                column = indent;
            } else if (column > indent) {
                line += QLatin1Char(' ');
                ++column;
            }
            line += word;
            column += word.size();
        }
        text += line + QLatin1Char('\n');
    }
    return text;
}

QString CommandLine::versionText() const
{
    return QLatin1String(AppConstants::kApplicationName) + QLatin1Char(' ')
        + QString::number(AppConstants::kVersionNumber) + QLatin1Char('\n');
}

QString CommandLine::errorText() const
{
    return m_program + QLatin1String(": ") + m_error + QLatin1Char('\n')
        + tr("Try '%1 --help' for more information.").arg(m_program) + QLatin1Char('\n');
}
