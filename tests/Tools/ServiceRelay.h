#pragma once

#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

#include <functional>

// Sits on the service channel between the hub and the real simulator on
// loopback and passes everything through, except the master's lines that
// `hold` picks: those are kept back until `release()`, or for ever. So a
// test can make an answer arrive late, after a later one, or not at all.
class ServiceRelay : public QObject
{
public:
    bool listen(quint16 masterPort)
    {
        m_masterPort = masterPort;
        connect(&m_server, &QTcpServer::newConnection, this, &ServiceRelay::accept);
        return m_server.listen(QHostAddress::LocalHost, 0);
    }

    quint16 port() const { return m_server.serverPort(); }

    std::function<bool(const QByteArray &line)> hold;
    QList<QByteArray> held;

    // Sends what was held back, in the order it came.
    void release()
    {
        const QList<QByteArray> lines = held;
        held.clear();
        if (!m_hubSide)
            return;
        for (const QByteArray &line : lines)
            m_hubSide->write(line + '\n');
    }

private:
    void accept()
    {
        while (QTcpSocket *hubSide = m_server.nextPendingConnection()) {
            auto *masterSide = new QTcpSocket(hubSide);
            m_hubSide = hubSide;
            m_buffer.clear();
            connect(hubSide, &QTcpSocket::readyRead, masterSide, [hubSide, masterSide] {
                masterSide->write(hubSide->readAll());
            });
            connect(masterSide, &QTcpSocket::connected, hubSide, [hubSide, masterSide] {
                masterSide->write(hubSide->readAll());
            });
            connect(masterSide, &QTcpSocket::readyRead, hubSide, [this, hubSide, masterSide] {
                m_buffer += masterSide->readAll();
                int end;
                while ((end = m_buffer.indexOf('\n')) >= 0) {
                    const QByteArray line = m_buffer.left(end);
                    m_buffer.remove(0, end + 1);
                    if (hold && hold(line))
                        held.append(line);
                    else
                        hubSide->write(line + '\n');
                }
            });
            connect(masterSide, &QTcpSocket::disconnected, hubSide, &QTcpSocket::disconnectFromHost);
            connect(hubSide, &QTcpSocket::disconnected, hubSide, &QObject::deleteLater);
            masterSide->connectToHost(QHostAddress::LocalHost, m_masterPort);
        }
    }

    QTcpServer m_server;
    quint16 m_masterPort = 0;
    QPointer<QTcpSocket> m_hubSide;
    QByteArray m_buffer;
};
