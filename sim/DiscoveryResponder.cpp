#include "DiscoveryResponder.h"

#include "ReplySocket.h"
#include "SimConstants.h"
#include "SimLogging.h"

#include <QJsonDocument>
#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QTimer>
#include <QUdpSocket>

DiscoveryResponder::DiscoveryResponder(const QJsonObject &versionAnswer, QObject *parent)
    : QObject(parent), m_answer(versionAnswer), m_socket(new QUdpSocket(this)), m_announce(new QTimer(this))
{
    connect(m_socket, &QUdpSocket::readyRead, this, &DiscoveryResponder::onReadyRead);
    connect(m_announce, &QTimer::timeout, this, &DiscoveryResponder::announce);
}

bool DiscoveryResponder::start(const QHostAddress &bind, quint16 servicePort, quint16 announcePort)
{
    // The broadcast arrives at the limited broadcast address, so the socket
    // listens on every address of the port unless told otherwise.
    const QHostAddress listenOn = bind.isLoopback() ? bind : QHostAddress(QHostAddress::AnyIPv4);
    if (!m_socket->bind(listenOn, servicePort, QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint)) {
        qCWarning(lcSim).noquote() << "cannot bind UDP" << servicePort << "for broadcast discovery:"
                                   << m_socket->errorString();
        return false;
    }
    m_replies = ReplySocket::open(bind, m_socket->localPort(), this);
    if (m_replies)
        connect(m_replies, &QUdpSocket::readyRead, this, [this] { readRequests(m_replies); });
    m_targets = announceTargets(bind);
    m_announcePort = announcePort;
    m_announce->start(SimConst::kAnnounceIntervalMs);
    announce();
    return true;
}

QVector<QHostAddress> DiscoveryResponder::announceTargets(const QHostAddress &bind)
{
    if (bind.isLoopback())
        return {bind};
    QVector<QHostAddress> out;
    const QList<QNetworkInterface> ifaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &i : ifaces) {
        if (!(i.flags() & QNetworkInterface::IsUp) || (i.flags() & QNetworkInterface::IsLoopBack))
            continue;
        const QList<QNetworkAddressEntry> entries = i.addressEntries();
        for (const QNetworkAddressEntry &e : entries) {
            if (e.ip().protocol() != QAbstractSocket::IPv4Protocol || e.broadcast().isNull())
                continue;
            if (bind == QHostAddress(QHostAddress::AnyIPv4) || bind == QHostAddress(QHostAddress::Any) ||
                e.ip() == bind)
                out.append(e.broadcast());
        }
    }
    return out;
}

void DiscoveryResponder::onReadyRead()
{
    readRequests(m_socket);
}

void DiscoveryResponder::readRequests(QUdpSocket *socket)
{
    while (socket->hasPendingDatagrams()) {
        const QNetworkDatagram d = socket->receiveDatagram();
        const QJsonObject o = QJsonDocument::fromJson(d.data().trimmed()).object();
        if (o.value(QStringLiteral("command")).toString() != QLatin1String("version"))
            continue;
        qCInfo(lcSim).noquote() << "broadcast version request from" << d.senderAddress().toString();
        out()->writeDatagram(QJsonDocument(m_answer).toJson(QJsonDocument::Compact) + '\n', d.senderAddress(),
                             quint16(d.senderPort()));
    }
}

void DiscoveryResponder::announce()
{
    const QByteArray line = QJsonDocument(m_answer).toJson(QJsonDocument::Compact) + '\n';
    for (const QHostAddress &t : qAsConst(m_targets))
        out()->writeDatagram(line, t, m_announcePort);
}
