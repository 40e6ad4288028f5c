#include "Simulator.h"

#include "CommandHandler.h"
#include "DiscoveryResponder.h"
#include "FirmwareTable.h"
#include "LoadGenerator.h"
#include "MdnsResponder.h"
#include "ServiceServer.h"
#include "SimConstants.h"
#include "SimLogging.h"
#include "SiteEngine.h"
#include "StreamSender.h"

#include <QDateTime>
#include <QTimer>
#include <cstdio>

Simulator::Simulator(const SimOptions &options, QObject *parent) : QObject(parent), m_options(options)
{
}

Simulator::~Simulator() = default;

void Simulator::printDelays(const SimSite &site)
{
    for (const SimNode &n : site.nodes)
        std::printf("DELAY %s %.3f %.3f\n", qPrintable(n.idString()), n.trueTxDelay, n.trueRxDelay);
    std::fflush(stdout);
}

bool Simulator::start()
{
    SimSite site = SimSite::defaultSite();
    QString error;
    if (!m_options.siteFile.isEmpty() && !SimSite::fromFile(m_options.siteFile, &site, &error)) {
        qCCritical(lcSim).noquote() << "site file:" << error;
        return false;
    }
    site.assignDelayOffsets(m_options.seed);
    if (m_options.printDelays)
        printDelays(site);
    if (!m_options.format.isEmpty())
        site.outDataFormat = m_options.format;
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    m_engine = std::make_unique<SiteEngine>(site, m_options.noise, m_options.seed, now, m_options.outliers);
    m_firmware = std::make_unique<FirmwareTable>();
    m_handler = std::make_unique<CommandHandler>(*m_engine, *m_firmware);

    m_server = new ServiceServer(*m_handler, *m_firmware, this);
    if (!m_server->listen(m_options.bind, m_options.svcPort))
        return false;
    connect(m_server, &ServiceServer::clientsChanged, this, &Simulator::updateDestinations);
    // The generated load is encoded as it is produced, so it must learn of a
    // new format; the site's reports read it on every tick.
    connect(m_server, &ServiceServer::formatChanged, this, [this] {
        if (m_load)
            m_load->setFormat(streamFormat());
    });
    connect(m_server, &ServiceServer::scheduleChanged, this,
            [this] { m_engine->restartSchedule(QDateTime::currentMSecsSinceEpoch()); });

    m_sender = new StreamSender(this);
    if (!m_sender->bind(m_options.bind))
        return false;
    updateDestinations();

    if (m_options.broadcast) {
        m_discovery = new DiscoveryResponder(m_handler->versionResponse(), this);
        if (!m_discovery->start(m_options.bind, m_server->port(), m_options.announcePort))
            qCWarning(lcSim) << "broadcast discovery is off";
    }
    if (m_options.mdns) {
        m_mdns = new MdnsResponder(m_engine->site().masterId(), m_server->port(), this);
        if (!m_mdns->start(m_options.bind, m_options.mdnsPort))
            qCWarning(lcSim) << "multicast DNS is off";
    }

    if (m_options.loadMode())
        m_load = std::make_unique<LoadGenerator>(m_options.tags, m_options.rate, streamFormat(), now / 1000.0);
    m_clock.start();
    m_tick = new QTimer(this);
    m_tick->setTimerType(Qt::PreciseTimer);
    connect(m_tick, &QTimer::timeout, this, &Simulator::onTick);
    m_tick->start(SimConst::kStreamTickMs);
    if (m_options.stats) {
        m_stats = new QTimer(this);
        connect(m_stats, &QTimer::timeout, this, &Simulator::printSent);
        m_stats->start(1000);
    }
    qCInfo(lcSim).noquote() << "serving" << m_engine->site().nodes.size() << "nodes on"
                            << m_options.bind.toString() << "port" << m_server->port();
    return true;
}

StreamSender::Format Simulator::streamFormat() const
{
    return m_engine->site().outDataFormat == QLatin1String("tlv") ? StreamSender::Format::Tlv
                                                                  : StreamSender::Format::Json;
}

quint16 Simulator::servicePort() const
{
    return m_server ? m_server->port() : 0;
}

void Simulator::updateDestinations()
{
    QVector<QPair<QHostAddress, quint16>> d = m_options.streamTo;
    const QVector<QHostAddress> clients = m_server->clientAddresses();
    for (const QHostAddress &a : clients) {
        // An IPv4 client reached through a dual-stack socket comes as ::ffff:a.b.c.d.
        bool ok = false;
        const quint32 v4 = a.toIPv4Address(&ok);
        const auto dest = qMakePair(ok ? QHostAddress(v4) : a, m_options.streamPort);
        if (!d.contains(dest))
            d.append(dest);
    }
    m_sender->setDestinations(d);
}

void Simulator::onTick()
{
    if (m_stopped)
        return;
    const qint64 elapsed = m_clock.elapsed();
    const quint64 limit = quint64(std::max<qint64>(m_options.count, 0));
    if (m_load) {
        m_sender->sendEncoded(m_load->due(elapsed, limit));
    } else {
        QVector<TagReport> reports = m_engine->dueReports(QDateTime::currentMSecsSinceEpoch());
        if (limit > 0 && m_sender->reportsSent() + quint64(reports.size()) > limit)
            reports.resize(int(limit - std::min<quint64>(limit, m_sender->reportsSent())));
        m_sender->send(reports, streamFormat());
    }
    const bool countDone = limit > 0 && m_sender->reportsSent() >= limit;
    const bool timeDone = m_options.duration > 0 && elapsed >= qint64(m_options.duration * 1000.0);
    if (countDone || timeDone) {
        printSent();
        stop();
        emit finished(0);
    }
}

void Simulator::printSent()
{
    std::printf("SENT %llu %llu\n", static_cast<unsigned long long>(m_sender->reportsSent()),
                static_cast<unsigned long long>(m_sender->datagramsSent()));
    std::fflush(stdout);
}

void Simulator::stop()
{
    if (m_stopped)
        return;
    m_stopped = true;
    if (m_tick)
        m_tick->stop();
    if (m_stats)
        m_stats->stop();
    if (m_server)
        m_server->closeAll();
}
