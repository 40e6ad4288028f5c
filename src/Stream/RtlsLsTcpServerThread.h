#pragma once

#include <QTcpSocket>
#include <QThread>

#include <atomic>

// Serves one accepted location stream client on a thread of its own. This
// system sends nothing to stream clients: the connection is closed at once.
class RtlsLsTcpServerThread : public QThread
{
    Q_OBJECT

public:
    RtlsLsTcpServerThread(qintptr socketDescriptor, QObject *parent);

    void requestQuit() { m_quit = 1; }

signals:
    void error(QTcpSocket::SocketError socketError);

protected:
    void run() override;

private:
    const qintptr m_socketDescriptor;
    std::atomic<int> m_quit{0};
};
