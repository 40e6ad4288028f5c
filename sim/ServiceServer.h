#pragma once

#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QVector>
#include <memory>

class QTcpServer;
class QTcpSocket;
class CommandHandler;
class FirmwareTable;
class FirmwareUpload;

// The service channel: any number of TCP clients, one JSON object per line
// each way. A connection that opens with "fwUpload" carries a firmware
// upload instead.
class ServiceServer : public QObject
{
    Q_OBJECT
public:
    ServiceServer(CommandHandler &handler, FirmwareTable &firmware, QObject *parent = nullptr);
    ~ServiceServer() override;

    bool listen(const QHostAddress &address, quint16 port);
    quint16 port() const;
    QVector<QHostAddress> clientAddresses() const;
    void closeAll();

signals:
    void clientsChanged();
    void formatChanged();
    void scheduleChanged();

private:
    struct Connection {
        QByteArray buffer;
        std::unique_ptr<FirmwareUpload> upload;
        bool discarding = false; // inside an over-long line
    };

    CommandHandler &m_handler;
    FirmwareTable &m_firmware;
    QTcpServer *m_server;
    QHash<QTcpSocket *, Connection *> m_connections;

    void onNewConnection();
    void onReadyRead(QTcpSocket *socket);
    void onDisconnected(QTcpSocket *socket);
    void handleLine(QTcpSocket *socket, Connection &c, const QByteArray &line);
    void feedUpload(QTcpSocket *socket, Connection &c);
    void send(QTcpSocket *socket, const QJsonObject &obj);
};
