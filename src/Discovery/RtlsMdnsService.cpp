#include "RtlsMdnsService.h"

#include "DiscoveryLog.h"
#include "RtlsAlert.h"
#include "RtlsHubLink.h"
#include "RtlsMdns.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkDatagram>
#include <QTimer>
#include <QUdpSocket>

namespace {

void postLine(const QString &line)
{
    if (RtlsHubLink *link = RtlsHubLink::current())
        link->postMessage(line);
}

constexpr QAbstractSocket::BindMode kShared = QAbstractSocket::ShareAddress | QAbstractSocket::ReuseAddressHint;

} // namespace

RtlsMdnsService::RtlsMdnsService(QObject *parent)
    : RtlsMdnsService(Options(), parent)
{
}

RtlsMdnsService::RtlsMdnsService(const Options &options, QObject *parent)
    : QObject(parent)
    , m_options(options)
    , m_mdnsTimer(new QTimer(this))
    , m_bcastRecvTimer(new QTimer(this))
{
    m_mdnsTimer->setSingleShot(true);
    m_bcastRecvTimer->setSingleShot(true);
    connect(m_mdnsTimer, &QTimer::timeout, this, &RtlsMdnsService::mdnsTimeout);
    connect(m_bcastRecvTimer, &QTimer::timeout, this, &RtlsMdnsService::bcastRecvTimeout);

    if (m_options.multicastDns) {
        m_worker = new RtlsMdns(this);
        connect(m_worker, &RtlsMdns::masterDetectedSignal, this, &RtlsMdnsService::workerFoundMaster,
                Qt::QueuedConnection);
        connect(m_worker, &RtlsMdns::consoleLine, this, &postLine, Qt::QueuedConnection);
        m_worker->start();
    }

    m_broadcastSocket = new QUdpSocket(this);
    if (m_broadcastSocket->bind(QHostAddress::AnyIPv4, 0, kShared))
        connect(m_broadcastSocket, &QUdpSocket::readyRead, this, &RtlsMdnsService::processDatagrams);
    else
        reportBindFailure(tr("mDNS Fallback bind to port failed"), tr("Unable to bind to port: ANY"),
                          m_broadcastSocket->errorString());

    m_listenerSocket = new QUdpSocket(this);
    if (m_listenerSocket->bind(QHostAddress::AnyIPv4, m_options.announcePort, kShared))
        connect(m_listenerSocket, &QUdpSocket::readyRead, this, &RtlsMdnsService::processDatagrams);
    else
        reportBindFailure(tr("Service UDP listener port failed to bind"),
                          tr("Unable to bind to port: %1").arg(m_options.announcePort),
                          m_listenerSocket->errorString());
}

RtlsMdnsService::~RtlsMdnsService()
{
    if (m_worker) {
        m_worker->requestStop();
        m_worker->wait();
    }
}

quint16 RtlsMdnsService::announcePort() const
{
    return m_listenerSocket->state() == QAbstractSocket::BoundState ? m_listenerSocket->localPort() : 0;
}

void RtlsMdnsService::reportBindFailure(const QString &title, const QString &text, const QString &reason)
{
    const QString line = QStringLiteral("%1: %2 (%3)").arg(title, text, reason);
    qCWarning(lcDiscovery) << line;
    postLine(line);
    // Not modal: this runs inside the hub's construction, before any window
    // and before the event loop.
    if (m_options.messageBoxes)
        RtlsAlert::critical(title, text);
}

void RtlsMdnsService::scanMaster()
{
    postLine(QStringLiteral("mDNS query for %1").arg(QLatin1String(Discovery::kServiceName)));
    m_mdnsTimer->start(Discovery::kMdnsTimeoutMs);
    if (m_worker)
        m_worker->setQueryActive(true);
}

void RtlsMdnsService::mdnsTimeout()
{
    postLine(QStringLiteral("Looking for masters using broadcast"));
    m_bcastRecvTimer->start(Discovery::kBroadcastTimeoutMs);
    const QByteArray request(Discovery::kVersionRequest);
    if (m_broadcastSocket->writeDatagram(request, m_options.broadcastAddress, m_options.servicePort)
        != request.size()) {
        const QString line = QStringLiteral("Broadcast to %1 port %2 failed: %3")
                                 .arg(m_options.broadcastAddress.toString())
                                 .arg(m_options.servicePort)
                                 .arg(m_broadcastSocket->errorString());
        qCWarning(lcDiscovery) << line;
        postLine(line);
    }
}

void RtlsMdnsService::bcastRecvTimeout()
{
    postLine(QStringLiteral("mDNS query timed out"));
    emit scanTimeout();
}

void RtlsMdnsService::processDatagrams()
{
    readVersionAnswers(m_listenerSocket);
    readVersionAnswers(m_broadcastSocket);
}

void RtlsMdnsService::readVersionAnswers(QUdpSocket *socket)
{
    while (socket->hasPendingDatagrams()) {
        const QNetworkDatagram datagram = socket->receiveDatagram();
        const QJsonObject answer = QJsonDocument::fromJson(datagram.data()).object();
        const QJsonValue response = answer.value(QLatin1String("response"));
        if (!response.isString() || response.toString() != QLatin1String("version"))
            continue;
        bool ok = false;
        const quint32 ip = datagram.senderAddress().toIPv4Address(&ok);
        if (!ok)
            continue;
        m_mdnsTimer->stop();
        m_bcastRecvTimer->stop();
        emit masterDetectedSignal(ip);
    }
}

void RtlsMdnsService::workerFoundMaster(uint ipaddr)
{
    m_mdnsTimer->stop();
    m_bcastRecvTimer->stop();
    emit masterDetectedSignal(ipaddr);
}
