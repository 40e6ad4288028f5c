#pragma once

#include "CommandLine.h"
#include "Preferences.h"

#include <QJsonObject>
#include <QObject>
#include <QString>

class MapScene;
class MqttZoneEvents;
class RtlsObject;
class SentrovaInterface;
class UnixSignalNotifier;

// The manager without a window, as a system service: the hub (discovery,
// service channel, location stream, activity check, publisher) and the
// settings file's zones, with no widget, no GL and no display. Console lines
// go to standard output, one a line, stamped as in the window's console, so
// the service's journal reads like the console. SIGTERM and SIGINT end it
// cleanly (the publisher says "offline", the capture is written out); SIGHUP
// reads the settings file again and says what changed, keeping the settings
// in use when the file cannot be read.
class HeadlessManager : public QObject
{
    Q_OBJECT

public:
    explicit HeadlessManager(const CommandLine::Options &options, QObject *parent = nullptr);
    ~HeadlessManager() override;

    // Reads the settings file, applies it and starts the hub. The event
    // loop runs the rest.
    void start();

    MapScene *scene() const { return m_scene; }
    QString settingsFileName() const { return m_fileName; }

public slots:
    void reloadSettings();
    void stop(int signalNumber);

private:
    void onSignal(int signalNumber);
    void passToZones(RtlsObject *node);
    bool readSettings(QJsonObject *root, bool reload);
    void print(const QString &line);
    void post(const QString &line);

    CommandLine::Options m_options;
    SentrovaInterface *m_hub;
    Preferences m_preferences;
    QString m_fileName;
    QJsonObject m_root;
    MapScene *m_scene;
    MqttZoneEvents *m_zoneEvents;
    UnixSignalNotifier *m_signals;
    bool m_stopping = false;
};
