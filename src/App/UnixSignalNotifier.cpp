#include "UnixSignalNotifier.h"

#include "AppLog.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// [0] is written by the handler, [1] read by the event loop.
int g_fds[2] = {-1, -1};
struct sigaction g_previous[NSIG];

extern "C" void onSignal(int signalNumber)
{
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    // Non-blocking: with the pair full the signal is already on its way.
    const ssize_t written = ::write(g_fds[0], &byte, 1);
    (void)written;
    errno = saved;
}

} // namespace

UnixSignalNotifier::UnixSignalNotifier(const QList<int> &signalNumbers, QObject *parent)
    : QObject(parent), m_signals(signalNumbers)
{
    if (g_fds[0] >= 0) {
        qCWarning(lcApp) << "a second signal notifier is not supported";
        return;
    }
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, g_fds) != 0) {
        qCWarning(lcApp) << "no socket pair for signals:" << std::strerror(errno);
        g_fds[0] = g_fds[1] = -1;
        return;
    }
    m_notifier = new QSocketNotifier(g_fds[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &UnixSignalNotifier::readPending);

    m_valid = true;
    for (int number : qAsConst(m_signals)) {
        struct sigaction action;
        std::memset(&action, 0, sizeof action);
        action.sa_handler = onSignal;
        sigemptyset(&action.sa_mask);
        // Interrupted system calls carry on: the event loop sees the byte.
        action.sa_flags = SA_RESTART;
        if (::sigaction(number, &action, &g_previous[number]) != 0) {
            qCWarning(lcApp) << "cannot handle signal" << number << ":" << std::strerror(errno);
            m_valid = false;
        }
    }
}

UnixSignalNotifier::~UnixSignalNotifier()
{
    if (!m_notifier)
        return;
    for (int number : qAsConst(m_signals))
        ::sigaction(number, &g_previous[number], nullptr);
    ::close(g_fds[0]);
    ::close(g_fds[1]);
    g_fds[0] = g_fds[1] = -1;
}

void UnixSignalNotifier::readPending()
{
    unsigned char bytes[64];
    for (;;) {
        const ssize_t n = ::read(g_fds[1], bytes, sizeof bytes);
        if (n <= 0)
            return;
        for (ssize_t i = 0; i < n; ++i)
            emit received(bytes[i]);
    }
}
