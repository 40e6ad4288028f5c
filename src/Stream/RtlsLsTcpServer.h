#pragma once

#include <QList>
#include <QPointer>
#include <QTcpServer>

class RtlsLsTcpServerThread;

// TCP listener for location stream clients, one thread per connection.
// Nothing is served yet: each client is accepted and disconnected.
class RtlsLsTcpServer : public QTcpServer
{
    Q_OBJECT

public:
    // port 0 picks a free port (see serverPort()).
    RtlsLsTcpServer(QObject *parent, int port);
    ~RtlsLsTcpServer() override;

    int port() const { return m_port; }

signals:
    void dataReadySignal(char *data, int maxSize);

protected:
    void incomingConnection(qintptr socketDescriptor) override;

private:
    int m_port;
    // Every thread still alive, not only the most recent one: destroying a
    // running QThread aborts the process.
    QList<QPointer<RtlsLsTcpServerThread>> m_threads;
};
