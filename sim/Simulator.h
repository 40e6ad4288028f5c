#pragma once

#include "SimOptions.h"
#include "StreamSender.h"

#include <QElapsedTimer>
#include <QObject>
#include <memory>

class QTimer;
class SiteEngine;
class SimSite;
class FirmwareTable;
class CommandHandler;
class ServiceServer;
class DiscoveryResponder;
class MdnsResponder;
class LoadGenerator;

// Puts the simulated site on the network: service channel, location
// stream (site tags or generated load), broadcast and multicast discovery.
class Simulator : public QObject
{
    Q_OBJECT
public:
    explicit Simulator(const SimOptions &options, QObject *parent = nullptr);
    ~Simulator() override;

    // Loads the site and binds every socket; false (with a warning logged)
    // when the simulator cannot run.
    bool start();
    quint16 servicePort() const;
    void stop();

signals:
    void finished(int exitCode);

private:
    SimOptions m_options;
    std::unique_ptr<SiteEngine> m_engine;
    std::unique_ptr<FirmwareTable> m_firmware;
    std::unique_ptr<CommandHandler> m_handler;
    std::unique_ptr<LoadGenerator> m_load;
    ServiceServer *m_server = nullptr;
    StreamSender *m_sender = nullptr;
    DiscoveryResponder *m_discovery = nullptr;
    MdnsResponder *m_mdns = nullptr;
    QTimer *m_tick = nullptr;
    QTimer *m_stats = nullptr;
    QElapsedTimer m_clock;
    bool m_stopped = false;

    StreamSender::Format streamFormat() const;
    void updateDestinations();
    void onTick();
    void printSent();
    static void printDelays(const SimSite &site);
};
