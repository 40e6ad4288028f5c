#include "SignalWatcher.h"

#include "SimLogging.h"

#include <QSocketNotifier>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {
int g_fds[2] = {-1, -1};
}

SignalWatcher::SignalWatcher(QObject *parent) : QObject(parent)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_fds) != 0) {
        qCWarning(lcSim) << "cannot create the signal socket pair; SIGINT/SIGTERM end the process abruptly";
        return;
    }
    m_notifier = new QSocketNotifier(g_fds[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &SignalWatcher::onActivated);
    struct sigaction sa = {};
    sa.sa_handler = &SignalWatcher::handler;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
}

SignalWatcher::~SignalWatcher()
{
    if (g_fds[0] < 0)
        return;
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    ::close(g_fds[0]);
    ::close(g_fds[1]);
    g_fds[0] = g_fds[1] = -1;
}

void SignalWatcher::handler(int signalNumber)
{
    const char b = char(signalNumber);
    // write() is async-signal-safe; nothing else is done here.
    const ssize_t ignored = ::write(g_fds[0], &b, 1);
    (void)ignored;
}

void SignalWatcher::onActivated()
{
    char b = 0;
    if (::read(g_fds[1], &b, 1) == 1)
        emit terminationRequested(int(b));
}
