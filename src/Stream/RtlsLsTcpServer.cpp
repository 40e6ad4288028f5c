#include "RtlsLsTcpServer.h"

#include "RtlsLsTcpServerThread.h"
#include "StreamLog.h"

RtlsLsTcpServer::RtlsLsTcpServer(QObject *parent, int port)
    : QTcpServer(parent)
    , m_port(port)
{
    if (!listen(QHostAddress::Any, static_cast<quint16>(port)))
        qCWarning(lcStream) << "stream server cannot listen on port" << port << ":" << errorString();
}

RtlsLsTcpServer::~RtlsLsTcpServer()
{
    for (const QPointer<RtlsLsTcpServerThread> &thread : qAsConst(m_threads)) {
        if (thread) {
            thread->requestQuit();
            thread->wait();
        }
    }
    close();
}

void RtlsLsTcpServer::incomingConnection(qintptr socketDescriptor)
{
    auto *thread = new RtlsLsTcpServerThread(socketDescriptor, this);
    m_threads.removeAll(nullptr);
    m_threads.append(thread);
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    thread->start(QThread::InheritPriority);
}
