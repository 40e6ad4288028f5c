#pragma once

#include <QByteArray>
#include <QSet>
#include <QVector>

#include <memory>
#include <vector>

struct mdns_daemon;
struct mdns_answer;
struct message;

// The multicast DNS side of master discovery without any socket: wraps the
// query engine (libmdnsd), keeps a continuous PTR query for the masters'
// service, follows each master instance through SRV to its A record and
// collects the addresses found. The worker thread moves the bytes.
class MdnsBrowser
{
public:
    explicit MdnsBrowser(const QByteArray &serviceName);
    ~MdnsBrowser();
    MdnsBrowser(const MdnsBrowser &) = delete;
    MdnsBrowser &operator=(const MdnsBrowser &) = delete;

    // Starts a new search: the PTR question goes on the wire at once.
    void restartQuery();

    // A received datagram; addresses and ports in host byte order. Returns
    // false when the message was rejected as malformed.
    bool receive(const QByteArray &datagram, quint32 senderIp, quint16 senderPort);

    // The next message the engine wants sent, with its destination.
    bool nextMessage(QByteArray *datagram, quint32 *ip, quint16 *port);

    // How long the engine may sleep before nextMessage() has work, in ms.
    int sleepMs();

    // Addresses (host byte order) of the masters found since the last call.
    QVector<quint32> takeFound();

    // Instance names of the masters: "[sentrova:<16 hex>]._svc_sentrova._tcp.local."
    // and "[<16 hex>]._sentrova._svc_sentrova._tcp.local.".
    static bool isMasterInstance(const QByteArray &name);

private:
    static int onPtr(mdns_answer *answer, void *self);
    static int onRecord(mdns_answer *answer, void *self);
    void followInstance(const char *instance);
    void followSrv(const char *target);
    void acceptAddress(const QByteArray &owner, quint32 ip);

    mdns_daemon *m_daemon = nullptr;
    QByteArray m_serviceName;
    std::unique_ptr<message> m_message;
    std::vector<unsigned char> m_packet;
    // Host names that a master's SRV record points to, lower case.
    QSet<QByteArray> m_masterHosts;
    QVector<quint32> m_found;
};
