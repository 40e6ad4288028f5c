#include "ServiceServer.h"

#include "CommandHandler.h"
#include "FirmwareTable.h"
#include "FirmwareUpload.h"
#include "SimConstants.h"
#include "SimLogging.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QTcpServer>
#include <QTcpSocket>

namespace {
QString peer(const QTcpSocket *s)
{
    return QStringLiteral("%1:%2").arg(s->peerAddress().toString()).arg(s->peerPort());
}
} // namespace

ServiceServer::ServiceServer(CommandHandler &handler, FirmwareTable &firmware, QObject *parent)
    : QObject(parent), m_handler(handler), m_firmware(firmware), m_server(new QTcpServer(this))
{
    connect(m_server, &QTcpServer::newConnection, this, &ServiceServer::onNewConnection);
}

ServiceServer::~ServiceServer()
{
    qDeleteAll(m_connections);
}

bool ServiceServer::listen(const QHostAddress &address, quint16 port)
{
    if (m_server->listen(address, port))
        return true;
    qCWarning(lcSim).noquote() << "cannot listen on TCP" << address.toString() << port << ":"
                               << m_server->errorString();
    return false;
}

quint16 ServiceServer::port() const
{
    return m_server->serverPort();
}

QVector<QHostAddress> ServiceServer::clientAddresses() const
{
    QVector<QHostAddress> out;
    for (auto it = m_connections.constBegin(); it != m_connections.constEnd(); ++it)
        if (!it.value()->upload && !out.contains(it.key()->peerAddress()))
            out.append(it.key()->peerAddress());
    return out;
}

void ServiceServer::closeAll()
{
    const QList<QTcpSocket *> sockets = m_connections.keys();
    for (QTcpSocket *s : sockets) {
        s->flush();
        s->disconnectFromHost();
    }
}

void ServiceServer::onNewConnection()
{
    while (QTcpSocket *s = m_server->nextPendingConnection()) {
        m_connections.insert(s, new Connection);
        qCInfo(lcSim).noquote() << "service client connected:" << peer(s);
        connect(s, &QTcpSocket::readyRead, this, [this, s] { onReadyRead(s); });
        connect(s, &QTcpSocket::disconnected, this, [this, s] { onDisconnected(s); });
        emit clientsChanged();
    }
}

void ServiceServer::onDisconnected(QTcpSocket *socket)
{
    Connection *c = m_connections.take(socket);
    if (!c)
        return;
    if (c->upload && c->upload->state() == FirmwareUpload::State::Receiving)
        qCWarning(lcSim).noquote() << "firmware upload from" << peer(socket)
                                   << "interrupted; the descriptor table is unchanged";
    qCInfo(lcSim).noquote() << "service client disconnected:" << peer(socket);
    delete c;
    socket->deleteLater();
    emit clientsChanged();
}

void ServiceServer::onReadyRead(QTcpSocket *socket)
{
    Connection *c = m_connections.value(socket);
    if (!c)
        return;
    c->buffer.append(socket->readAll());
    if (c->upload) {
        feedUpload(socket, *c);
        return;
    }
    if (c->discarding) {
        const int eol = c->buffer.indexOf('\n');
        c->buffer.remove(0, eol < 0 ? c->buffer.size() : eol + 1);
        c->discarding = eol < 0;
    }
    for (;;) {
        const int eol = c->buffer.indexOf('\n');
        if (eol < 0)
            break;
        const QByteArray line = c->buffer.left(eol).trimmed();
        c->buffer.remove(0, eol + 1);
        if (!line.isEmpty())
            handleLine(socket, *c, line);
        if (!m_connections.contains(socket) || c->upload)
            break;
    }
    // A reset may have closed this very connection while its lines ran.
    if (!m_connections.contains(socket))
        return;
    if (c->upload) {
        feedUpload(socket, *c);
    } else if (c->buffer.size() > SimConst::kMaxLineBytes) {
        // A line that never ends must not eat the memory: the rest of it
        // is dropped as it comes, with one error answer.
        c->buffer.clear();
        c->discarding = true;
        send(socket, CommandHandler::parseError(QStringLiteral("line too long")));
    }
}

void ServiceServer::handleLine(QTcpSocket *socket, Connection &c, const QByteArray &line)
{
    qCInfo(lcSim).noquote() << "IN " << peer(socket) << QString::fromUtf8(line);
    QJsonParseError pe;
    const QJsonDocument doc = QJsonDocument::fromJson(line, &pe);
    if (pe.error != QJsonParseError::NoError || !doc.isObject()) {
        send(socket, CommandHandler::parseError(pe.error != QJsonParseError::NoError
                                                    ? QStringLiteral("parse error: %1").arg(pe.errorString())
                                                    : QStringLiteral("not a JSON object")));
        return;
    }
    const QJsonObject cmd = doc.object();
    if (cmd.value(QStringLiteral("command")).toString() == QLatin1String("fwUpload")) {
        QJsonObject answer;
        c.upload = std::make_unique<FirmwareUpload>(cmd, &answer);
        send(socket, answer);
        if (c.upload->state() != FirmwareUpload::State::Receiving)
            c.upload.reset();
        else
            emit clientsChanged();
        return;
    }
    const CommandHandler::Result res = m_handler.handle(cmd, QDateTime::currentMSecsSinceEpoch());
    for (const QJsonObject &r : res.responses)
        send(socket, r);
    if (res.formatChanged)
        emit formatChanged();
    if (res.scheduleChanged)
        emit scheduleChanged();
    if (res.closeConnections) {
        qCInfo(lcSim) << "reset: closing every service connection";
        closeAll();
    }
}

void ServiceServer::feedUpload(QTcpSocket *socket, Connection &c)
{
    const QVector<QJsonObject> replies = c.upload->feed(&c.buffer);
    for (const QJsonObject &r : replies)
        send(socket, r);
    if (c.upload->state() == FirmwareUpload::State::Done) {
        const int slot = m_firmware.install(c.upload->descriptor());
        QJsonObject done;
        done.insert(QStringLiteral("response"), QStringLiteral("fwUpload"));
        if (slot < 0) {
            done.insert(QStringLiteral("status"), QStringLiteral("error"));
            done.insert(QStringLiteral("error"), QStringLiteral("the descriptor table is full"));
        } else {
            done.insert(QStringLiteral("status"), QStringLiteral("done"));
            done.insert(QStringLiteral("id"), slot);
        }
        send(socket, done);
        qCInfo(lcSim).noquote() << "firmware" << c.upload->descriptor().name << c.upload->descriptor().version
                                << "installed in slot" << slot;
        socket->flush();
        socket->disconnectFromHost();
    } else if (c.upload->state() == FirmwareUpload::State::Failed) {
        socket->flush();
        socket->disconnectFromHost();
    }
}

void ServiceServer::send(QTcpSocket *socket, const QJsonObject &obj)
{
    const QByteArray line = QJsonDocument(obj).toJson(QJsonDocument::Compact);
    qCInfo(lcSim).noquote() << "OUT" << peer(socket) << QString::fromUtf8(line);
    socket->write(line + '\n');
}
