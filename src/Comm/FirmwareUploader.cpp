#include "FirmwareUploader.h"

#include "CommLog.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>
#include <QTimer>
#include <QtEndian>

#include <algorithm>

namespace {

constexpr int kBlockHeaderBytes = 8;
// A master answers in short lines; anything longer is not one of them.
constexpr qint64 kMaxAnswerBytes = 64 * 1024;

} // namespace

FirmwareUploader::FirmwareUploader(QObject *parent)
    : QObject(parent)
    , m_socket(new QTcpSocket(this))
    , m_idle(new QTimer(this))
{
    m_idle->setSingleShot(true);
    m_idle->setInterval(kIdleTimeoutMs);
    connect(m_idle, &QTimer::timeout, this, &FirmwareUploader::onIdle);
    connect(m_socket, &QTcpSocket::connected, this, &FirmwareUploader::onConnected);
    connect(m_socket, &QTcpSocket::readyRead, this, &FirmwareUploader::onReadyRead);
    connect(m_socket, &QAbstractSocket::errorOccurred, this, &FirmwareUploader::onError);
}

FirmwareUploader::~FirmwareUploader()
{
    m_socket->disconnect(this);
    m_socket->abort();
}

void FirmwareUploader::start(const QHostAddress &address, quint16 port, const FirmwareFile &file)
{
    if (m_state != State::Idle || !file.isValid())
        return;
    m_file = file;
    m_sent = 0;
    m_acked = 0;
    m_blockSize = 0;
    m_state = State::Connecting;
    m_idle->start();
    emit progress(0, m_file.size());
    m_socket->connectToHost(address, port);
}

void FirmwareUploader::cancel()
{
    if (m_state == State::Idle)
        return;
    // Cutting the connection is what tells the master to drop the upload.
    m_socket->abort();
    finish(false, -1, tr("Upload cancelled"));
}

void FirmwareUploader::onConnected()
{
    m_state = State::Opening;
    QJsonObject open;
    open.insert(QStringLiteral("command"), QStringLiteral("fwUpload"));
    open.insert(QStringLiteral("name"), m_file.fileName());
    open.insert(QStringLiteral("size"), double(m_file.size()));
    open.insert(QStringLiteral("crc32"), FirmwareFile::crcText(m_file.crc32()));
    const QByteArray line = QJsonDocument(open).toJson(QJsonDocument::Compact);
    emit sending(QString::fromUtf8(line));
    m_socket->write(line + '\n');
    m_idle->start();
}

void FirmwareUploader::onReadyRead()
{
    while (m_state != State::Idle && m_socket->canReadLine())
        handleLine(m_socket->readLine(kMaxAnswerBytes).trimmed());
    if (m_state != State::Idle && m_socket->bytesAvailable() > kMaxAnswerBytes) {
        m_socket->abort();
        finish(false, -1, tr("The master sent an answer that is not a line of JSON"));
    }
}

void FirmwareUploader::handleLine(const QByteArray &line)
{
    if (line.isEmpty())
        return;
    m_idle->start();
    const QJsonObject answer = QJsonDocument::fromJson(line).object();
    const QString status = answer.value(QLatin1String("status")).toString();
    if (answer.value(QLatin1String("response")).toString() != QLatin1String("fwUpload")) {
        // A ping answer or the like: not part of the upload.
        qCDebug(lcComm) << "upload: ignoring" << line;
        return;
    }
    if (status == QLatin1String("error")) {
        m_socket->abort();
        finish(false, -1, tr("The master refused the upload: %1").arg(answer.value(QLatin1String("error")).toString()));
        return;
    }
    if (m_state == State::Opening && status == QLatin1String("ready")) {
        const int blockSize = answer.value(QLatin1String("blockSize")).toInt(0);
        if (blockSize <= 0 || blockSize > kMaxBlockSize) {
            m_socket->abort();
            finish(false, -1, tr("The master offered no usable block size"));
            return;
        }
        m_blockSize = blockSize;
        m_state = State::Sending;
        sendBlocks();
        return;
    }
    if (m_state == State::Sending && status == QLatin1String("block")) {
        const qint64 offset = qint64(answer.value(QLatin1String("offset")).toDouble(-1));
        const qint64 length = qint64(answer.value(QLatin1String("length")).toDouble(-1));
        // Blocks are acknowledged in order, each exactly as it was sent.
        if (offset != m_acked || length <= 0 || m_acked + length > m_sent) {
            m_socket->abort();
            finish(false, -1, tr("The master acknowledged bytes that were not sent"));
            return;
        }
        m_acked += length;
        emit progress(m_acked, m_file.size());
        if (m_acked == m_file.size())
            m_state = State::Closing;
        else
            sendBlocks();
        return;
    }
    if (m_state == State::Closing && status == QLatin1String("done")) {
        const int slot = answer.value(QLatin1String("id")).toInt(-1);
        m_socket->disconnectFromHost();
        finish(true, slot,
               tr("%1 %2 installed in slot %3").arg(m_file.name(), m_file.version()).arg(slot));
        return;
    }
    m_socket->abort();
    finish(false, -1, tr("Unexpected answer from the master: %1").arg(QString::fromUtf8(line)));
}

void FirmwareUploader::sendBlocks()
{
    const qint64 total = m_file.size();
    const qint64 window = qint64(kWindowBlocks) * m_blockSize;
    while (m_sent < total && m_sent - m_acked < window) {
        const qint64 length = std::min<qint64>(m_blockSize, total - m_sent);
        char header[kBlockHeaderBytes];
        qToLittleEndian<quint32>(quint32(m_sent), header);
        qToLittleEndian<quint32>(quint32(length), header + 4);
        m_socket->write(header, kBlockHeaderBytes);
        m_socket->write(m_file.data().constData() + m_sent, length);
        m_sent += length;
    }
}

void FirmwareUploader::onError(QAbstractSocket::SocketError error)
{
    if (m_state == State::Idle)
        return;
    // The master closes the connection after its last answer; what it said
    // before that still counts.
    if (error == QAbstractSocket::RemoteHostClosedError) {
        onReadyRead();
        if (m_state == State::Idle)
            return;
    }
    const QString why = m_socket->errorString();
    m_socket->abort();
    finish(false, -1, tr("Upload failed: %1").arg(why));
}

void FirmwareUploader::onIdle()
{
    if (m_state == State::Idle)
        return;
    m_socket->abort();
    finish(false, -1, tr("Upload failed: the master stopped answering"));
}

void FirmwareUploader::finish(bool ok, int slot, const QString &message)
{
    if (m_state == State::Idle)
        return;
    m_state = State::Idle;
    m_idle->stop();
    m_file = FirmwareFile();
    if (ok)
        qCInfo(lcComm).noquote() << "firmware upload:" << message;
    else
        qCWarning(lcComm).noquote() << "firmware upload:" << message;
    emit finished(ok, slot, message);
}
