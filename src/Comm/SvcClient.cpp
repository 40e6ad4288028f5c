#include "SvcClient.h"

#include "CommLog.h"

#include <QDateTime>
#include <QHostAddress>
#include <QTcpSocket>
#include <QTimer>

namespace {
constexpr qint64 kReadChunkBytes = 64 * 1024;
}

SvcClient::SvcClient(quint32 address, QObject *parent, quint16 port)
    : QObject(parent),
      m_socket(new QTcpSocket(this)),
      m_address(address),
      m_port(port),
      m_sendTimer(new QTimer(this)),
      m_keepAliveTimer(new QTimer(this)),
      m_connectTimer(new QTimer(this)),
      m_writeTimer(new QTimer(this)),
      m_lastActivity(QDateTime::currentMSecsSinceEpoch())
{
    connect(m_socket, &QTcpSocket::readyRead, this, &SvcClient::readData);
    connect(m_socket, &QAbstractSocket::errorOccurred, this, &SvcClient::socketErrorSlot);
    connect(m_socket, &QAbstractSocket::bytesWritten, this, &SvcClient::onBytesWritten);
    connect(m_socket, &QAbstractSocket::stateChanged, this, [this](QAbstractSocket::SocketState state) {
        const bool up = state == QAbstractSocket::ConnectedState;
        if (up == m_linkUp)
            return;
        m_linkUp = up;
        emit linkChanged(m_address, up);
    });
    connect(m_socket, &QAbstractSocket::connected, this, [this] {
        m_connectTimer->stop();
        m_timeoutReported = false;
        m_inFlight.clear();
        m_bytesHanded = 0;
        // A line the previous link left half-sent never ends: it must not
        // swallow the first line of this one.
        m_receiveBuffer.clear();
        m_discardingLine = false;
        m_discardedBytes = 0;
        m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        qCDebug(lcComm) << "connected to" << QHostAddress(m_address).toString() << m_port;
        onTimerEvent();
    });

    m_sendTimer->setInterval(Comm::kSendIntervalMs);
    connect(m_sendTimer, &QTimer::timeout, this, &SvcClient::onTimerEvent);

    m_connectTimer->setSingleShot(true);
    m_connectTimer->setInterval(Comm::kConnectTimeoutMs);
    connect(m_connectTimer, &QTimer::timeout, this, &SvcClient::onConnectTimeout);

    m_writeTimer->setSingleShot(true);
    m_writeTimer->setInterval(Comm::kWriteTimeoutMs);
    connect(m_writeTimer, &QTimer::timeout, this, &SvcClient::onWriteTimeout);

    connect(m_keepAliveTimer, &QTimer::timeout, this, &SvcClient::keepAlive);
    m_keepAliveTimer->start(Comm::kKeepAliveIntervalMs);
}

SvcClient::~SvcClient()
{
    m_closeRequested = true;
    m_socket->disconnect(this);
    m_socket->abort();
}

bool SvcClient::isOpen() const
{
    return m_socket->state() == QAbstractSocket::ConnectedState;
}

bool SvcClient::connectToMaster()
{
    if (isOpen())
        return true;
    // One attempt at a time: while it is in flight the send tick just waits.
    if (m_socket->state() == QAbstractSocket::UnconnectedState) {
        m_socket->connectToHost(QHostAddress(m_address), m_port, QIODevice::ReadWrite);
        m_connectTimer->start();
    }
    return false;
}

void SvcClient::onConnectTimeout()
{
    if (isOpen())
        return;
    // A master that does not answer keeps its queue; the next tick retries.
    if (!m_timeoutReported) {
        m_timeoutReported = true;
        qCWarning(lcComm) << "master" << QHostAddress(m_address).toString()
                          << "does not answer within" << Comm::kConnectTimeoutMs << "ms; retrying";
    }
    m_socket->abort();
}

int SvcClient::write(QByteArray data)
{
    if (data.isEmpty())
        return 0;
    data.append(Comm::kLineDelimiter);
    // A master that does not answer must not collect the same request (a
    // details request per tag heard, say) again and again.
    if (m_queued.contains(data))
        return 0;
    if (m_queue.size() >= Comm::kMaxQueuedLines) {
        if (!m_queueFullReported) {
            m_queueFullReported = true;
            qCWarning(lcComm) << "send queue of" << QHostAddress(m_address).toString() << "is full";
            emit queueFull(m_address);
        }
        return 0;
    }
    m_queue.append(data);
    m_queued.insert(data);
    if (!m_sendTimer->isActive()) {
        onTimerEvent();
        m_sendTimer->start();
    }
    return data.size();
}

void SvcClient::close()
{
    m_closeRequested = true;
    if (!m_sendTimer->isActive())
        finishClose();
}

void SvcClient::finishClose()
{
    m_connectTimer->stop();
    m_writeTimer->stop();
    m_sendTimer->stop();
    m_socket->close();
    emit error(m_address, Comm::kCloseCode, QString::fromLatin1(Comm::kCloseMessage));
}

void SvcClient::onTimerEvent()
{
    if (m_queue.isEmpty()) {
        // Messages already handed to the socket are flushed before closing.
        if (m_closeRequested && (m_inFlight.isEmpty() || !isOpen()))
            finishClose();
        return;
    }
    if (!connectToMaster())
        return;

    m_lastActivity = QDateTime::currentMSecsSinceEpoch();
    const QByteArray message = takeQueued();
    const qint64 written = m_socket->write(message);
    if (written < 0) {
        emit error(m_address, m_socket->error(), m_socket->errorString());
        return;
    }
    m_bytesHanded += written;
    m_inFlight.append({message, m_bytesHanded});
    if (!m_writeTimer->isActive())
        m_writeTimer->start();
}

QByteArray SvcClient::takeQueued()
{
    const QByteArray message = m_queue.takeFirst();
    m_queued.remove(message);
    // Reported again only once the queue has drained well below its bound.
    if (m_queue.size() < Comm::kMaxQueuedLines / 2)
        m_queueFullReported = false;
    return message;
}

void SvcClient::onWriteTimeout()
{
    // A busy event loop may only be late in reporting progress: it is a
    // stall only when the kernel takes nothing more.
    if (m_inFlight.isEmpty())
        return;
    if (m_socket->bytesToWrite() == 0 || m_socket->flush()) {
        m_writeTimer->start();
        return;
    }
    // The master stopped taking bytes: what is pending is given up, and the
    // owner hears of it as of any other write failure.
    m_inFlight.clear();
    emit error(m_address, QAbstractSocket::SocketTimeoutError, tr("Socket operation timed out"));
}

void SvcClient::onBytesWritten(qint64)
{
    // Counted from what the socket still holds rather than from the
    // signal's argument, so a report that Qt folds into another is not lost.
    const qint64 taken = m_bytesHanded - m_socket->bytesToWrite();
    while (!m_inFlight.isEmpty() && m_inFlight.first().end <= taken) {
        const QByteArray message = m_inFlight.takeFirst().message;
        if (!isPing(message))
            emit dataWritten(message);
    }
    // Progress restarts the wait; nothing left pending ends it.
    if (m_inFlight.isEmpty())
        m_writeTimer->stop();
    else
        m_writeTimer->start();
}

bool SvcClient::isPing(const QByteArray &message)
{
    const int length = static_cast<int>(qstrnlen(message.constData(), message.size()));
    return QByteArray::fromRawData(message.constData(), length).contains(Comm::kPingMessage);
}

void SvcClient::keepAlive()
{
    if (m_closeRequested)
        return;
    // While a master is unreachable one waiting ping is enough: write()
    // does not queue a second one.
    write(Comm::kPingMessage);
}

void SvcClient::readData()
{
    while (m_socket->bytesAvailable() > 0) {
        QByteArray chunk = m_socket->read(kReadChunkBytes);
        if (chunk.isEmpty())
            break;
        if (m_discardingLine) {
            const int end = chunk.indexOf(Comm::kLineDelimiter);
            if (end < 0) {
                m_discardedBytes += chunk.size();
                continue;
            }
            m_discardedBytes += end;
            qCDebug(lcComm) << "skipped" << m_discardedBytes << "bytes of an overlong line";
            m_discardingLine = false;
            chunk.remove(0, end + 1);
        }
        m_receiveBuffer.append(chunk);
        cutLines();
        if (m_receiveBuffer.size() > Comm::kMaxLineBytes) {
            m_discardedBytes = m_receiveBuffer.size();
            m_discardingLine = true;
            m_receiveBuffer.clear();
            reportDropped(m_discardedBytes);
        }
    }
}

void SvcClient::cutLines()
{
    int start = 0;
    int end;
    while ((end = m_receiveBuffer.indexOf(Comm::kLineDelimiter, start)) >= 0) {
        if (end - start > Comm::kMaxLineBytes)
            reportDropped(end - start);
        else
            emit dataReady(m_receiveBuffer.mid(start, end - start));
        start = end + 1;
    }
    if (start > 0)
        m_receiveBuffer.remove(0, start);
}

void SvcClient::reportDropped(qint64 size)
{
    qCWarning(lcComm) << "master" << QHostAddress(m_address).toString()
                      << "sent a line longer than" << Comm::kMaxLineBytes << "bytes; dropped";
    emit lineDropped(m_address, size);
}

void SvcClient::socketErrorSlot(QAbstractSocket::SocketError socketError)
{
    m_connectTimer->stop();
    m_writeTimer->stop();
    m_inFlight.clear();
    const QString text = m_socket->errorString();
    m_socket->close();
    qCDebug(lcComm) << "socket error" << socketError << text << "at" << QHostAddress(m_address).toString();
    emit error(m_address, socketError, text);
}
