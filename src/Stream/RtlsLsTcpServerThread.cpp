#include "RtlsLsTcpServerThread.h"

#include "StreamConstants.h"
#include "StreamLog.h"

#include <QDeadlineTimer>

RtlsLsTcpServerThread::RtlsLsTcpServerThread(qintptr socketDescriptor, QObject *parent)
    : QThread(parent)
    , m_socketDescriptor(socketDescriptor)
{
}

void RtlsLsTcpServerThread::run()
{
    // Created here so that the socket belongs to this thread.
    QTcpSocket socket;
    if (!socket.setSocketDescriptor(m_socketDescriptor)) {
        qCWarning(lcStream) << "stream client not accepted:" << socket.errorString();
        emit error(socket.error());
        return;
    }
    socket.disconnectFromHost();
    const QDeadlineTimer deadline(Stream::kServerDisconnectWaitMs);
    while (socket.state() != QAbstractSocket::UnconnectedState && !isInterruptionRequested()
           && !deadline.hasExpired())
        socket.waitForDisconnected(Stream::kServerQuitCheckMs);
}
