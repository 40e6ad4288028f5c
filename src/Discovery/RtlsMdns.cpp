#include "RtlsMdns.h"

#include "DiscoveryConstants.h"
#include "DiscoveryLog.h"
#include "MdnsBrowser.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

RtlsMdns::RtlsMdns(QObject *parent)
    : QThread(parent)
    , m_serviceName(Discovery::kServiceName)
    , m_wakeFd(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC))
{
    if (m_wakeFd < 0)
        qCWarning(lcDiscovery) << "mDNS worker without wake-up descriptor:" << std::strerror(errno);
}

RtlsMdns::~RtlsMdns()
{
    requestStop();
    wait();
    if (m_wakeFd >= 0)
        ::close(m_wakeFd);
}

void RtlsMdns::setQueryActive(bool active)
{
    if (active)
        m_search.start();
    else
        m_search.stop();
    wake();
}

void RtlsMdns::requestStop()
{
    m_stop = true;
    wake();
}

void RtlsMdns::wake()
{
    if (m_wakeFd >= 0) {
        const uint64_t one = 1;
        if (::write(m_wakeFd, &one, sizeof one) < 0 && errno != EAGAIN)
            qCWarning(lcDiscovery) << "mDNS worker wake-up failed:" << std::strerror(errno);
    }
}

int RtlsMdns::openSocket()
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    const int on = 1;
    const unsigned char ttl = Discovery::kMdnsTtl;
    ip_mreq membership{};
    membership.imr_multiaddr.s_addr = inet_addr(Discovery::kMdnsGroup);
    membership.imr_interface.s_addr = htonl(INADDR_ANY);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    local.sin_port = htons(Discovery::kMdnsPort);
    // Sharing the port lets discovery run beside a system responder.
    setsockopt(fd, SOL_SOCKET, SO_REUSEPORT, &on, sizeof on);
    if (setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) < 0
        || ::bind(fd, reinterpret_cast<sockaddr *>(&local), sizeof local) < 0
        || setsockopt(fd, IPPROTO_IP, IP_ADD_MEMBERSHIP, &membership, sizeof membership) < 0
        || setsockopt(fd, IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof ttl) < 0) {
        const int saved = errno;
        ::close(fd);
        errno = saved;
        return -1;
    }
    return fd;
}

bool RtlsMdns::waitForWork(int socketFd, int timeoutMs)
{
    pollfd fds[2] = {{m_wakeFd, POLLIN, 0}, {socketFd, POLLIN, 0}};
    const nfds_t count = socketFd >= 0 ? 2 : 1;
    if (::poll(fds, count, timeoutMs) <= 0)
        return false;
    if (fds[0].revents & POLLIN) {
        uint64_t value = 0;
        while (::read(m_wakeFd, &value, sizeof value) > 0) {
        }
    }
    return count == 2 && (fds[1].revents & POLLIN);
}

void RtlsMdns::receiveAll(int socketFd, MdnsBrowser &browser)
{
    QByteArray buffer(Discovery::kMaxDatagram, Qt::Uninitialized);
    while (!m_stop) {
        sockaddr_in from{};
        socklen_t fromLength = sizeof from;
        const ssize_t got = ::recvfrom(socketFd, buffer.data(), static_cast<size_t>(buffer.size()), 0,
                                       reinterpret_cast<sockaddr *>(&from), &fromLength);
        if (got < 0) {
            if (errno != EAGAIN && errno != EWOULDBLOCK)
                QThread::msleep(Discovery::kReceiveErrorPauseMs);
            return;
        }
        if (!browser.receive(QByteArray::fromRawData(buffer.constData(), static_cast<int>(got)),
                             ntohl(from.sin_addr.s_addr), ntohs(from.sin_port)))
            qCDebug(lcDiscovery) << "malformed mDNS message ignored";
    }
}

void RtlsMdns::sendAll(int socketFd, MdnsBrowser &browser)
{
    QByteArray datagram;
    quint32 ip = 0;
    quint16 port = 0;
    while (browser.nextMessage(&datagram, &ip, &port)) {
        if (socketFd < 0)
            continue;
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = htonl(ip);
        to.sin_port = htons(port);
        const ssize_t sent = ::sendto(socketFd, datagram.constData(), static_cast<size_t>(datagram.size()), 0,
                                      reinterpret_cast<sockaddr *>(&to), sizeof to);
        if (sent < datagram.size())
            qCWarning(lcDiscovery) << "can't write to socket:" << std::strerror(errno);
    }
}

void RtlsMdns::handOver(MdnsBrowser &browser)
{
    const QVector<quint32> found = browser.takeFound();
    if (found.isEmpty())
        return;
    // A search asked for meanwhile stays active.
    m_search.finish(m_searchRunning);
    for (quint32 ip : found)
        emit masterDetectedSignal(ip);
}

void RtlsMdns::run()
{
    const int socketFd = openSocket();
    if (socketFd < 0) {
        const int saved = errno;
        QString line = QStringLiteral("Unable to create socket: %1").arg(QString::fromLocal8Bit(std::strerror(saved)));
        if (saved == EADDRINUSE)
            line += QStringLiteral(" (UDP port %1 is held by a responder that does not share it; "
                                   "searching by broadcast only)").arg(Discovery::kMdnsPort);
        qCWarning(lcDiscovery) << line;
        emit consoleLine(line);
    }
    MdnsBrowser browser(m_serviceName);
    m_searchRunning = m_search.search();
    while (!m_stop) {
        if (!m_search.isActive()) {
            waitForWork(-1, Discovery::kWorkerIdleMs);
            continue;
        }
        const unsigned search = m_search.search();
        if (search != m_searchRunning) {
            m_searchRunning = search;
            browser.restartQuery();
        }
        if (waitForWork(socketFd, browser.sleepMs()))
            receiveAll(socketFd, browser);
        sendAll(socketFd, browser);
        handOver(browser);
    }
    if (socketFd >= 0)
        ::close(socketFd);
}
