#pragma once

#include <QTcpSocket>
#include <QThread>

// Serves one accepted location stream client on a thread of its own. This
// system sends nothing to stream clients: the connection is closed at once.
class RtlsLsTcpServerThread : public QThread
{
    Q_OBJECT

public:
    RtlsLsTcpServerThread(qintptr socketDescriptor, QObject *parent);

    // Cuts short the wait for the peer, so that the server's destructor
    // does not hold the GUI thread.
    void requestQuit() { requestInterruption(); }

signals:
    void error(QTcpSocket::SocketError socketError);

protected:
    void run() override;

private:
    const qintptr m_socketDescriptor;
};
