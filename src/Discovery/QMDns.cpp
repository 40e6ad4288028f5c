#include "QMDns.h"

#include "DiscoveryConstants.h"
#include "DiscoveryLog.h"

#include <QHostAddress>
#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QUdpSocket>

QMDns::QMDns(QObject *parent)
    : QObject(parent)
{
    qRegisterMetaType<QMDnsResponse *>();
    setupSockets();
}

QMDns::~QMDns()
{
    qDeleteAll(m_responses);
}

QByteArray QMDns::questionMessage(const QString &name)
{
    static const char header[] = {0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0};
    QByteArray message(header, sizeof header);
    const QStringList labels = name.split(QLatin1Char('.'), Qt::SkipEmptyParts);
    for (const QString &label : labels) {
        const QByteArray bytes = label.toUtf8();
        if (bytes.size() > Discovery::kMaxLabelLength)
            return QByteArray();
        message.append(static_cast<char>(bytes.size()));
        message.append(bytes);
    }
    message.append('\0');
    static const char typeAndClass[] = {0, Discovery::kTypePtr, 0, Discovery::kDnsClassIn};
    message.append(typeAndClass, sizeof typeAndClass);
    return message;
}

void QMDns::query(const QString &name)
{
    const QByteArray message = questionMessage(name);
    if (message.isEmpty()) {
        qCWarning(lcDiscovery) << "mDNS question not sent, a label of" << name << "is too long";
        return;
    }
    const QHostAddress group(QString::fromLatin1(Discovery::kMdnsGroup));
    for (QUdpSocket *socket : qAsConst(m_sockets)) {
        if (socket->writeDatagram(message, group, Discovery::kMdnsPort) < 0)
            qCWarning(lcDiscovery) << "mDNS question from" << socket->localAddress().toString()
                                   << "failed:" << socket->errorString();
    }
}

void QMDns::setupSockets()
{
    const QList<QHostAddress> addresses = QNetworkInterface::allAddresses();
    for (const QHostAddress &address : addresses) {
        if (address.protocol() != QAbstractSocket::IPv4Protocol || address.isLoopback())
            continue;
        auto *socket = new QUdpSocket(this);
        if (!socket->bind(address, 0)) {
            qCWarning(lcDiscovery) << "mDNS socket on" << address.toString()
                                   << "failed:" << socket->errorString();
            delete socket;
            continue;
        }
        connect(socket, &QUdpSocket::readyRead, this, [this, socket] { readPending(socket); });
        m_sockets.append(socket);
    }
}

void QMDns::readPending(QUdpSocket *socket)
{
    while (socket->hasPendingDatagrams())
        parse(socket->receiveDatagram().data());
}

void QMDns::parse(QByteArray buffer)
{
    if (buffer.isEmpty())
        return;
    if (!QMDnsResponse::hasResponseFlags(buffer)) {
        qCDebug(lcDiscovery) << "Found unexpected Flags value while parsing responce";
        return;
    }
    for (QMDnsResponse *kept : qAsConst(m_responses)) {
        if (kept->message() == buffer) {
            emit newResult(kept);
            return;
        }
    }
    auto *response = new QMDnsResponse(buffer);
    response->readRecords();
    if (m_responses.size() >= kMaxKeptResponses)
        delete m_responses.takeFirst();
    m_responses.append(response);
    emit newResult(response);
}
