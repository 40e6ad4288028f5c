#pragma once

#include "DiscoveryConstants.h"

#include <QHostAddress>
#include <QObject>
#include <QString>

class QTimer;
class QUdpSocket;
class RtlsMdns;

// Finds the masters on the LAN: first by multicast DNS (worker thread), then
// by a UDP broadcast of a version request, and reports each master's IPv4
// address (host byte order). Masters that announce themselves on the
// announcement port are reported too.
class RtlsMdnsService : public QObject
{
    Q_OBJECT

public:
    // Ports and switches; tests use free ports on loopback and may leave the
    // multicast DNS worker out.
    struct Options
    {
        quint16 servicePort = Discovery::kServicePort;
        quint16 announcePort = Discovery::kAnnouncePort;
        QHostAddress broadcastAddress{QHostAddress::Broadcast};
        bool multicastDns = true;
        // Bind failures go to the console and the log, and are shown in a
        // non-modal message box where someone can see one.
        bool messageBoxes = true;
    };

    explicit RtlsMdnsService(QObject *parent = nullptr);
    RtlsMdnsService(const Options &options, QObject *parent);
    ~RtlsMdnsService() override;

    // The port the announcement listener is bound to (0 when it is not).
    quint16 announcePort() const;

signals:
    void masterDetectedSignal(uint ipaddr);
    void scanTimeout();

public slots:
    void scanMaster();

private slots:
    void mdnsTimeout();
    void bcastRecvTimeout();
    void processDatagrams();
    void workerFoundMaster(uint ipaddr);

private:
    void readVersionAnswers(QUdpSocket *socket);
    void reportBindFailure(const QString &title, const QString &text, const QString &reason);

    Options m_options;
    RtlsMdns *m_worker = nullptr;
    QUdpSocket *m_broadcastSocket = nullptr;
    QUdpSocket *m_listenerSocket = nullptr;
    QTimer *m_mdnsTimer = nullptr;
    QTimer *m_bcastRecvTimer = nullptr;
};
