#include "MdnsBrowser.h"

#include "DiscoveryConstants.h"
#include "DnsWireCheck.h"
#include "compat/LibMdnsd.h"

#include <QRegularExpression>

#include <cstring>

namespace {

QByteArray canonical(const char *name)
{
    QByteArray n = QByteArray(name ? name : "").toLower();
    if (!n.endsWith('.'))
        n.append('.');
    return n;
}

constexpr unsigned char kResponseBit = 0x80;

// Responders put the PTR in the answers and the SRV, TXT and A records in
// the additional section, which the engine caches but never hands to a
// question's answer handler. Records of all three sections follow one
// another on the wire, so counting them all as answers changes nothing
// else, and multicast DNS treats additional records like answers anyway.
void countAllRecordsAsAnswers(unsigned char *header)
{
    const unsigned records = ((header[6] << 8) | header[7]) + ((header[8] << 8) | header[9])
        + ((header[10] << 8) | header[11]);
    header[6] = static_cast<unsigned char>(records >> 8);
    header[7] = static_cast<unsigned char>(records & 0xff);
    std::memset(header + 8, 0, 4);
}

} // namespace

MdnsBrowser::MdnsBrowser(const QByteArray &serviceName)
    : m_daemon(mdnsd_new(Discovery::kDnsClassIn, Discovery::kEngineFrame))
    , m_serviceName(serviceName)
    , m_message(std::make_unique<message>())
    , m_packet(MAX_PACKET_LEN)
{
    mdnsd_query(m_daemon, m_serviceName.constData(), Discovery::kTypePtr, &MdnsBrowser::onPtr, this);
}

MdnsBrowser::~MdnsBrowser()
{
    mdnsd_shutdown(m_daemon);
    mdnsd_free(m_daemon);
}

bool MdnsBrowser::isMasterInstance(const QByteArray &name)
{
    static const QRegularExpression pattern(QStringLiteral(
        "^\\[(?:sentrova:[0-9A-F]{16}\\]|[0-9A-F]{16}\\]\\._sentrova)\\._svc_sentrova\\._tcp\\.local\\.?$"));
    return pattern.match(QString::fromLatin1(name)).hasMatch();
}

void MdnsBrowser::restartQuery()
{
    // A fresh engine puts the question on the wire at once, where the old
    // one would wait for its back-off; the engine cannot withdraw a question
    // and ask it again. Masters answer the new question, so nothing is lost
    // with the old cache.
    mdnsd_shutdown(m_daemon);
    mdnsd_free(m_daemon);
    m_masterHosts.clear();
    m_daemon = mdnsd_new(Discovery::kDnsClassIn, Discovery::kEngineFrame);
    mdnsd_query(m_daemon, m_serviceName.constData(), Discovery::kTypePtr, &MdnsBrowser::onPtr, this);
}

bool MdnsBrowser::receive(const QByteArray &datagram, quint32 senderIp, quint16 senderPort)
{
    const auto *bytes = reinterpret_cast<const unsigned char *>(datagram.constData());
    const auto size = static_cast<std::size_t>(datagram.size());
    if (!DnsWireCheck::isWellFormed(bytes, size))
        return false;
    // The engine's parser expects a zero-filled buffer of its full size.
    std::memset(m_packet.data(), 0, m_packet.size());
    std::memcpy(m_packet.data(), bytes, size);
    if (m_packet[2] & kResponseBit)
        countAllRecordsAsAnswers(m_packet.data());
    std::memset(m_message.get(), 0, sizeof(message));
    if (message_parse(m_message.get(), m_packet.data()) != 0)
        return false;
    in_addr ip;
    ip.s_addr = htonl(senderIp);
    mdnsd_in(m_daemon, m_message.get(), ip, htons(senderPort));
    return true;
}

bool MdnsBrowser::nextMessage(QByteArray *datagram, quint32 *ip, quint16 *port)
{
    std::memset(m_message.get(), 0, sizeof(message));
    in_addr to;
    to.s_addr = 0;
    unsigned short toPort = 0;
    if (mdnsd_out(m_daemon, m_message.get(), &to, &toPort) <= 0)
        return false;
    const int length = message_packet_len(m_message.get());
    *datagram = QByteArray(reinterpret_cast<const char *>(message_packet(m_message.get())), length);
    static const quint32 group = ntohl(inet_addr(Discovery::kMdnsGroup));
    *ip = to.s_addr ? ntohl(to.s_addr) : group;
    *port = toPort ? ntohs(toPort) : Discovery::kMdnsPort;
    return true;
}

int MdnsBrowser::sleepMs()
{
    const timeval *tv = mdnsd_sleep(m_daemon);
    if (!tv)
        return Discovery::kWorkerIdleMs;
    const long long ms = static_cast<long long>(tv->tv_sec) * 1000 + tv->tv_usec / 1000;
    return static_cast<int>(qBound<long long>(0, ms, Discovery::kWorkerIdleMs));
}

QVector<quint32> MdnsBrowser::takeFound()
{
    QVector<quint32> found;
    found.swap(m_found);
    return found;
}

int MdnsBrowser::onPtr(mdns_answer *answer, void *self)
{
    if (answer->ttl > 0 && answer->rdname && isMasterInstance(answer->rdname))
        static_cast<MdnsBrowser *>(self)->followInstance(answer->rdname);
    return 0;
}

int MdnsBrowser::onRecord(mdns_answer *answer, void *self)
{
    auto *browser = static_cast<MdnsBrowser *>(self);
    if (answer->ttl == 0)
        return 0;
    switch (answer->type) {
    case Discovery::kTypeSrv:
        if (answer->rdname && isMasterInstance(answer->name)) {
            browser->m_masterHosts.insert(canonical(answer->rdname));
            browser->followSrv(answer->rdname);
        }
        break;
    case Discovery::kTypeA:
        browser->acceptAddress(answer->name, ntohl(answer->ip.s_addr));
        break;
    default:
        break;
    }
    return 0;
}

void MdnsBrowser::followInstance(const char *instance)
{
    const QByteArray name(instance);
    mdnsd_query(m_daemon, name.constData(), Discovery::kTypeSrv, &MdnsBrowser::onRecord, this);
    mdnsd_query(m_daemon, name.constData(), Discovery::kTypeTxt, &MdnsBrowser::onRecord, this);
    // A question already registered is not answered again from the cache.
    QVector<QByteArray> targets;
    for (mdns_answer_t *a = mdnsd_list(m_daemon, name.constData(), Discovery::kTypeSrv, nullptr); a;
         a = mdnsd_list(m_daemon, name.constData(), Discovery::kTypeSrv, a)) {
        if (a->ttl > 0 && a->rdname)
            targets.append(a->rdname);
    }
    for (const QByteArray &target : qAsConst(targets)) {
        m_masterHosts.insert(canonical(target.constData()));
        followSrv(target.constData());
    }
}

void MdnsBrowser::followSrv(const char *target)
{
    const QByteArray host(target);
    const mdns_answer_t *cached = mdnsd_list(m_daemon, host.constData(), Discovery::kTypeA, nullptr);
    if (cached && cached->ttl > 0) {
        acceptAddress(cached->name, ntohl(cached->ip.s_addr));
        return;
    }
    mdnsd_query(m_daemon, host.constData(), Discovery::kTypeA, &MdnsBrowser::onRecord, this);
}

void MdnsBrowser::acceptAddress(const QByteArray &owner, quint32 ip)
{
    // The masters name their address record after the instance; a host
    // name that a master's SRV record points to is accepted as well, as
    // general responders publish the address under the host's own name.
    if (!isMasterInstance(owner) && !m_masterHosts.contains(canonical(owner.constData())))
        return;
    if (ip != 0 && !m_found.contains(ip))
        m_found.append(ip);
}
