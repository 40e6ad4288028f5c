#include "HeadlessManager.h"

#include "AppConstants.h"
#include "AppLog.h"
#include "CaptureReplay.h"
#include "ConsoleText.h"
#include "MapScene.h"
#include "MapZone.h"
#include "MqttPublisher.h"
#include "MqttZoneEvents.h"
#include "RtlsObject.h"
#include "ReplayControls.h"
#include "RtlsLs.h"
#include "SentrovaInterface.h"
#include "SettingsFile.h"
#include "UnixSignalNotifier.h"
#include "ZoneDefinitions.h"

#include <QCoreApplication>
#include <QDateTime>

#include <csignal>
#include <cstdio>

namespace {

QString signalName(int number)
{
    switch (number) {
    case SIGTERM:
        return QStringLiteral("SIGTERM");
    case SIGINT:
        return QStringLiteral("SIGINT");
    case SIGHUP:
        return QStringLiteral("SIGHUP");
    default:
        return QStringLiteral("signal %1").arg(number);
    }
}

} // namespace

HeadlessManager::HeadlessManager(const CommandLine::Options &options, QObject *parent)
    : QObject(parent),
      m_options(options),
      m_hub(SentrovaInterface::instance()),
      m_preferences([this](const QString &line) { post(line); }),
      m_scene(new MapScene(nullptr, this)),
      m_zoneEvents(new MqttZoneEvents(m_hub->mqtt(), this)),
      m_signals(new UnixSignalNotifier({SIGTERM, SIGINT, SIGHUP}, this))
{
    connect(m_hub, &SentrovaInterface::displayMessage, this, &HeadlessManager::print);
    connect(m_scene, &MapScene::displayMessage, this, &HeadlessManager::post);
    connect(m_signals, &UnixSignalNotifier::received, this, &HeadlessManager::onSignal);

    // Only the zones need the nodes: no glyphs, no trails without a map.
    connect(m_hub, &SentrovaInterface::nodeAddedSignal, this, &HeadlessManager::passToZones);
    connect(m_hub, &SentrovaInterface::nodeUpdatedSignal, this, &HeadlessManager::passToZones);
    connect(m_scene, &MapScene::zoneAdded, m_zoneEvents, &MqttZoneEvents::zoneAdded);
    connect(m_scene, &MapScene::zoneRemoved, m_zoneEvents, &MqttZoneEvents::zoneRemoved);
    if (!m_signals->isValid())
        post(tr("Headless: signals cannot be handled; stop the service with SIGKILL"));
}

HeadlessManager::~HeadlessManager() = default;

void HeadlessManager::print(const QString &line)
{
    // One line of standard output per console line, written at once: a
    // journal reads it as it comes. UTF-8 whatever the locale (a service
    // often runs with none), as the journal expects.
    QString text = line;
    while (text.endsWith(QLatin1Char('\n')))
        text.chop(1);
    const QByteArray bytes = ConsoleText::line(QDateTime::currentMSecsSinceEpoch(), text).toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

void HeadlessManager::post(const QString &line)
{
    m_hub->postMessage(line);
}

void HeadlessManager::passToZones(RtlsObject *node)
{
    for (MapZone *zone : m_scene->zones())
        zone->nodeUpdated(node);
}

bool HeadlessManager::readSettings(QJsonObject *root, bool reload)
{
    SettingsFile file(m_fileName);
    switch (file.read(root)) {
    case SettingsFile::Status::Ok:
        return true;
    case SettingsFile::Status::CannotOpen:
        post(reload ? tr("Settings not read again: cannot open settings file %1 (%2); the settings in use stay")
                          .arg(m_fileName, file.errorString())
                    : tr("Cannot open settings file: ") + m_fileName);
        break;
    case SettingsFile::Status::CannotParse:
    case SettingsFile::Status::CannotWrite:
        post(reload ? tr("Settings not read again: cannot parse settings file %1 (%2); the settings in use stay")
                          .arg(m_fileName, file.errorString())
                    : tr("Cannot parse settings file: ") + m_fileName);
        break;
    }
    qCInfo(lcApp).noquote() << "settings file" << m_fileName << ":" << file.errorString();
    return false;
}

void HeadlessManager::start()
{
    post(tr("Sentrova manager v%1 running headless (no window, no display)").arg(AppConstants::kVersionNumber));
    m_fileName = m_preferences.settingsFileName();
    QJsonObject root;
    if (readSettings(&root, false)) {
        post(tr("Loading settings from file: ") + m_fileName);
        m_hub->fromJSON(root);
        const QJsonValue zones = root.value(QLatin1String("zone"));
        for (const QString &change : ZoneDefinitions::merge(m_scene, zones))
            post(tr("Settings: %1").arg(change));
        m_root = root;
    }
    m_hub->init();

    if (!m_options.captureFile.isEmpty()) {
        m_hub->setCaptureFileName(m_options.captureFile);
        m_hub->toggleLsCapture();
        if (m_hub->isCapturing())
            post(tr("Capturing to %1").arg(m_options.captureFile));
    }
    if (!m_options.replayFile.isEmpty()) {
        CaptureReplay *replay = m_hub->captureReplay();
        QString error;
        if (replay->open(m_options.replayFile, &error))
            post(tr("Replaying %1: %2 reports over %3; live location data is paused meanwhile")
                     .arg(m_options.replayFile)
                     .arg(replay->reportCount())
                     .arg(ReplayControls::timeText(replay->duration())));
        else
            post(tr("Cannot open capture file %1: %2").arg(m_options.replayFile, error));
    }
    MqttPublisher *mqtt = m_hub->mqtt();
    post(mqtt->isEnabled() ? tr("Headless: %1 zones; publishing to broker %2").arg(m_scene->zones().size()).arg(mqtt->brokerText())
                           : tr("Headless: %1 zones; publishing is off (settings file \"mqtt\", or --mqtt)")
                                 .arg(m_scene->zones().size()));
}

void HeadlessManager::onSignal(int signalNumber)
{
    if (signalNumber == SIGHUP)
        reloadSettings();
    else
        stop(signalNumber);
}

void HeadlessManager::reloadSettings()
{
    QJsonObject root;
    if (!readSettings(&root, true))
        return;
    QStringList changes = m_hub->reloadSettings(m_root, root);
    changes += ZoneDefinitions::merge(m_scene, root.value(QLatin1String("zone")));
    m_root = root;
    if (changes.isEmpty())
        post(tr("Settings read again from %1: nothing changed").arg(m_fileName));
    else
        post(tr("Settings read again from %1: %2").arg(m_fileName, changes.join(QLatin1String("; "))));
}

void HeadlessManager::stop(int signalNumber)
{
    if (m_stopping)
        return;
    m_stopping = true;
    // What the run did, for the journal: a service is judged by it.
    const MqttPublisher *mqtt = m_hub->mqtt();
    post(tr("Stopping (%1) after %2 JSON report lines; %3 messages published to the broker, %4 not published")
             .arg(signalName(signalNumber))
             .arg(m_hub->locationStream()->jsonLineCount())
             .arg(mqtt->publishedCount())
             .arg(mqtt->droppedCount()));
    QCoreApplication::quit();
}
