#include "MdnsResponder.h"

#include "ReplySocket.h"
#include "SimConstants.h"
#include "SimLogging.h"

#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QUdpSocket>

namespace {
bool isSpecific(const QHostAddress &a)
{
    return a != QHostAddress(QHostAddress::AnyIPv4) && a != QHostAddress(QHostAddress::Any);
}
} // namespace

MdnsResponder::MdnsResponder(quint64 masterId, quint16 servicePort, QObject *parent)
    : QObject(parent), m_masterId(masterId), m_servicePort(servicePort), m_socket(new QUdpSocket(this))
{
    connect(m_socket, &QUdpSocket::readyRead, this, &MdnsResponder::onReadyRead);
}

bool MdnsResponder::start(const QHostAddress &bind, quint16 port)
{
    m_bind = bind;
    m_port = port;
    if (!m_socket->bind(QHostAddress(QHostAddress::AnyIPv4), port,
                        QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint)) {
        qCWarning(lcSim).noquote() << "mDNS: cannot bind UDP" << port << ":" << m_socket->errorString();
        return false;
    }
    m_socket->setSocketOption(QAbstractSocket::MulticastTtlOption, 255);
    m_socket->setSocketOption(QAbstractSocket::MulticastLoopbackOption, 1);
    const QHostAddress group(QString::fromLatin1(SimConst::kMdnsGroup));
    bool joined = false;
    const QList<QNetworkInterface> ifaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &i : ifaces) {
        if (!(i.flags() & QNetworkInterface::IsUp) || !(i.flags() & QNetworkInterface::CanMulticast))
            continue;
        bool matches = !isSpecific(bind);
        const QList<QNetworkAddressEntry> entries = i.addressEntries();
        for (const QNetworkAddressEntry &e : entries)
            matches = matches || e.ip() == bind;
        if (matches && m_socket->joinMulticastGroup(group, i)) {
            joined = true;
            if (isSpecific(bind))
                m_socket->setMulticastInterface(i);
        }
    }
    if (!joined && !m_socket->joinMulticastGroup(group)) {
        qCWarning(lcSim).noquote() << "mDNS: cannot join" << group.toString() << ":" << m_socket->errorString();
        return false;
    }
    m_replies = ReplySocket::open(bind, port, this);
    if (m_replies) {
        m_replies->setSocketOption(QAbstractSocket::MulticastTtlOption, 255);
        m_replies->setSocketOption(QAbstractSocket::MulticastLoopbackOption, 1);
        m_replies->setMulticastInterface(m_socket->multicastInterface());
        connect(m_replies, &QUdpSocket::readyRead, this, [this] {
            while (m_replies->hasPendingDatagrams())
                respond(m_replies->receiveDatagram());
        });
    }
    return true;
}

QString MdnsResponder::instanceName(const QString &service) const
{
    const QString hex = QString::number(m_masterId, 16).toUpper().rightJustified(16, QLatin1Char('0'));
    return QStringLiteral("[sentrova:%1].").arg(hex) + DnsCodec::normalise(service);
}

QVector<DnsCodec::Record> MdnsResponder::answer(const DnsCodec::Question &q, const QHostAddress &address) const
{
    const QString services[] = {QString::fromLatin1(SimConst::kMdnsTcpService),
                                QString::fromLatin1(SimConst::kMdnsUdpService)};
    QVector<DnsCodec::Record> out;
    for (const QString &service : services) {
        const QString svc = DnsCodec::normalise(service);
        const QString inst = instanceName(service);
        const bool askService = q.name == svc && (q.type == DnsCodec::PTR || q.type == DnsCodec::ANY);
        const bool askInstance = q.name == DnsCodec::normalise(inst);
        if (!askService && !askInstance)
            continue;
        DnsCodec::Record ptr;
        ptr.name = svc;
        ptr.type = DnsCodec::PTR;
        ptr.ttl = SimConst::kMdnsTtl;
        ptr.target = inst;
        DnsCodec::Record srv;
        srv.name = inst;
        srv.type = DnsCodec::SRV;
        srv.ttl = SimConst::kMdnsTtl;
        srv.cacheFlush = true;
        // The manager's engine accepts an address only when its owner is the
        // instance name, so the service's target host is the instance itself.
        srv.target = inst;
        srv.port = m_servicePort;
        DnsCodec::Record txt;
        txt.name = inst;
        txt.type = DnsCodec::TXT;
        txt.ttl = SimConst::kMdnsTtl;
        txt.cacheFlush = true;
        txt.texts = QStringList{QStringLiteral("txtvers=1"), QStringLiteral("id=%1").arg(m_masterId, 4, 16, QLatin1Char('0'))};
        DnsCodec::Record a;
        a.name = inst;
        a.type = DnsCodec::A;
        a.ttl = SimConst::kMdnsTtl;
        a.cacheFlush = true;
        a.address = address;
        if (askService)
            out.append(ptr);
        if (askService || q.type == DnsCodec::SRV || q.type == DnsCodec::ANY)
            out.append(srv);
        if (askService || q.type == DnsCodec::TXT || q.type == DnsCodec::ANY)
            out.append(txt);
        if (askService || q.type == DnsCodec::A || q.type == DnsCodec::ANY || q.type == DnsCodec::SRV) {
            out.append(a);
        }
    }
    return out;
}

void MdnsResponder::onReadyRead()
{
    while (m_socket->hasPendingDatagrams())
        respond(m_socket->receiveDatagram());
}

void MdnsResponder::respond(const QNetworkDatagram &d)
{
    QVector<DnsCodec::Question> questions;
    bool isResponse = false;
    if (!DnsCodec::readQuery(d.data(), &questions, &isResponse) || isResponse)
        return;
    const QHostAddress address = addressFor(d);
    QVector<DnsCodec::Record> records;
    for (const DnsCodec::Question &q : qAsConst(questions))
        records += answer(q, address);
    if (records.isEmpty() || address.isNull())
        return;
    const QByteArray wire = DnsCodec::writeResponse(records);
    if (wire.isEmpty())
        return;
    qCInfo(lcSim).noquote() << "mDNS answer to" << d.senderAddress().toString() << d.senderPort() << "with"
                            << records.size() << "records";
    // A querier on another port than mDNS's own is a one-shot (legacy)
    // querier that only hears unicast answers.
    if (d.senderPort() != m_port) {
        out()->writeDatagram(wire, d.senderAddress(), quint16(d.senderPort()));
        return;
    }
    // On a host with several interfaces the answer goes back out of the one
    // the question came in on, with that interface's address in it.
    const QNetworkInterface iface = QNetworkInterface::interfaceFromIndex(int(d.interfaceIndex()));
    if (iface.isValid() && !isSpecific(m_bind))
        m_socket->setMulticastInterface(iface);
    out()->writeDatagram(wire, QHostAddress(QString::fromLatin1(SimConst::kMdnsGroup)), m_port);
}

QHostAddress MdnsResponder::addressFor(const QNetworkDatagram &d) const
{
    if (isSpecific(m_bind))
        return m_bind;
    const QNetworkInterface iface = QNetworkInterface::interfaceFromIndex(int(d.interfaceIndex()));
    const QList<QNetworkAddressEntry> entries = iface.addressEntries();
    for (const QNetworkAddressEntry &e : entries)
        if (e.ip().protocol() == QAbstractSocket::IPv4Protocol)
            return e.ip();
    const QList<QHostAddress> all = QNetworkInterface::allAddresses();
    for (const QHostAddress &a : all)
        if (a.protocol() == QAbstractSocket::IPv4Protocol && !a.isLoopback())
            return a;
    return QHostAddress(QHostAddress::LocalHost);
}
