#pragma once

#include "CommConstants.h"

#include <QAbstractSocket>
#include <QByteArray>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>

class QTcpSocket;
class QTimer;

// The TCP service channel to one master: queues JSON lines and writes one per
// send tick, connects lazily when there is something to send, keeps the link
// alive with a ping, and cuts what arrives into lines. The socket is driven
// only through its asynchronous API, so an unreachable master never blocks
// the GUI thread.
class SvcClient : public QObject
{
    Q_OBJECT

public:
    explicit SvcClient(quint32 address, QObject *parent = nullptr,
                       quint16 port = Comm::kServicePort);
    ~SvcClient() override;

    quint32 address() const { return m_address; }
    quint16 port() const { return m_port; }
    qint64 lastActivity() const { return m_lastActivity; }
    // Messages waiting for a send tick (not yet handed to the socket).
    int queuedCount() const { return m_queue.size(); }

    // True when the socket is connected; otherwise starts a connection
    // attempt unless one is already in flight, and returns false.
    bool connectToMaster();
    void close();
    bool isOpen() const;

signals:
    void dataReady(QByteArray data);
    void dataWritten(QByteArray data);
    void error(unsigned int addr, int socketError, QString message);
    // A line longer than Comm::kMaxLineBytes was thrown away.
    void lineDropped(unsigned int addr, qint64 size);
    // The send queue reached Comm::kMaxQueuedLines; emitted once each time
    // it fills up.
    void queueFull(unsigned int addr);
    // The TCP link came up or went down.
    void linkChanged(unsigned int addr, bool up);

public slots:
    // Queues one message. A message identical to one still waiting in the
    // queue is not queued again, and a full queue takes nothing: both
    // return 0.
    int write(QByteArray data);

private slots:
    void readData();
    void socketErrorSlot(QAbstractSocket::SocketError socketError);
    void onTimerEvent();
    void keepAlive();
    void onBytesWritten(qint64 bytes);
    void onConnectTimeout();
    void onWriteTimeout();

private:
    struct InFlight
    {
        QByteArray message;
        // Position of the message's last byte in everything handed to the
        // socket since it connected.
        qint64 end;
    };

    void finishClose();
    QByteArray takeQueued();
    void cutLines();
    void reportDropped(qint64 size);
    static bool isPing(const QByteArray &message);

    QTcpSocket *m_socket;
    quint32 m_address;
    quint16 m_port;
    QTimer *m_sendTimer;
    QTimer *m_keepAliveTimer;
    QTimer *m_connectTimer;
    // Runs while written bytes wait for the kernel to take them.
    QTimer *m_writeTimer;
    qint64 m_lastActivity;
    QList<QByteArray> m_queue;
    // The messages in m_queue, for the look-up of a duplicate.
    QSet<QByteArray> m_queued;
    bool m_queueFullReported = false;
    QList<InFlight> m_inFlight;
    qint64 m_bytesHanded = 0;
    bool m_closeRequested = false;
    bool m_linkUp = false;
    bool m_timeoutReported = false;
    QByteArray m_receiveBuffer;
    // Bytes of an overlong line still to skip, up to its line feed.
    bool m_discardingLine = false;
    qint64 m_discardedBytes = 0;
};
