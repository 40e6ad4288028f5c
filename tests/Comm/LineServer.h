#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QTcpServer>
#include <QTcpSocket>

// A stand-in master for tests: listens on loopback, keeps every accepted
// connection and the complete lines each one sent.
class LineServer : public QTcpServer
{
public:
    explicit LineServer(QObject *parent = nullptr) : QTcpServer(parent)
    {
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = nextPendingConnection()) {
                const int index = m_peers.size();
                m_peers.append(socket);
                m_lines.append(QList<QByteArray>());
                m_buffers.append(QByteArray());
                connect(socket, &QTcpSocket::readyRead, this, [this, socket, index] {
                    m_buffers[index].append(socket->readAll());
                    int end;
                    while ((end = m_buffers[index].indexOf('\n')) >= 0) {
                        m_lines[index].append(m_buffers[index].left(end));
                        m_buffers[index].remove(0, end + 1);
                    }
                });
                connect(socket, &QTcpSocket::disconnected, this, [this] { ++m_disconnects; });
            }
        });
    }

    bool start() { return listen(QHostAddress::LocalHost, 0); }

    int peerCount() const { return m_peers.size(); }
    QTcpSocket *peer(int index) const { return m_peers.value(index); }
    QList<QByteArray> lines(int index = 0) const { return m_lines.value(index); }
    int lineCount(int index = 0) const { return m_lines.value(index).size(); }
    int disconnects() const { return m_disconnects; }

    // Sends raw bytes to every connected peer.
    void sendAll(const QByteArray &bytes)
    {
        for (QTcpSocket *socket : qAsConst(m_peers))
            if (socket->state() == QAbstractSocket::ConnectedState)
                socket->write(bytes);
    }

    // Drops the lines seen so far, so a test can look at what follows.
    void clearLines()
    {
        for (auto &lines : m_lines)
            lines.clear();
    }

private:
    QList<QTcpSocket *> m_peers;
    QList<QList<QByteArray>> m_lines;
    QList<QByteArray> m_buffers;
    int m_disconnects = 0;
};

inline quint32 loopbackAddress()
{
    return QHostAddress(QHostAddress::LocalHost).toIPv4Address();
}
