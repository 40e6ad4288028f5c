#pragma once

#include "FirmwareFile.h"

#include <QAbstractSocket>
#include <QHostAddress>
#include <QObject>
#include <QString>

class QTcpSocket;
class QTimer;

// Sends one firmware file to a master over its own connection to the
// service port: an opening line {"command":"fwUpload","name","size",
// "crc32"}, the master's "ready" with its block size, then blocks of an
// 8-byte header (offset and length, little-endian uint32) and their bytes,
// each acknowledged by the master with a "block" line, and finally the
// master's "done" with the descriptor slot. A few blocks stay in flight, so
// progress follows what the master has taken, and a cancelled upload stops
// within those few blocks. The master installs nothing until the whole file
// has arrived and checked out, so a cancelled or broken upload leaves its
// table as it was.
class FirmwareUploader : public QObject
{
    Q_OBJECT

public:
    static constexpr int kWindowBlocks = 8;
    static constexpr int kMaxBlockSize = 64 * 1024;
    static constexpr int kIdleTimeoutMs = 15000;

    explicit FirmwareUploader(QObject *parent = nullptr);
    ~FirmwareUploader() override;

    bool isRunning() const { return m_state != State::Idle; }
    // Bytes the master has acknowledged.
    qint64 acknowledged() const { return m_acked; }

public slots:
    // Starts the upload of a valid file; does nothing while one runs.
    void start(const QHostAddress &address, quint16 port, const FirmwareFile &file);
    void cancel();

signals:
    // The opening command, as sent.
    void sending(const QString &line);
    void progress(qint64 acknowledged, qint64 total);
    // ok: the master installed the file in slot. Otherwise message says
    // what went wrong, or that the upload was cancelled.
    void finished(bool ok, int slot, const QString &message);

private:
    enum class State { Idle, Connecting, Opening, Sending, Closing };

    void onConnected();
    void onReadyRead();
    void onError(QAbstractSocket::SocketError error);
    void onIdle();
    void handleLine(const QByteArray &line);
    void sendBlocks();
    void finish(bool ok, int slot, const QString &message);

    QTcpSocket *m_socket;
    QTimer *m_idle;
    State m_state = State::Idle;
    FirmwareFile m_file;
    int m_blockSize = 0;
    qint64 m_sent = 0;
    qint64 m_acked = 0;
};
