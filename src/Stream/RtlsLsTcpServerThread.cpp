#include "RtlsLsTcpServerThread.h"

#include "StreamConstants.h"
#include "StreamLog.h"

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
    if (socket.state() != QAbstractSocket::UnconnectedState)
        socket.waitForDisconnected(Stream::kServerDisconnectWaitMs);
}
