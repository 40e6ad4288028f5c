#pragma once

#include "CommConstants.h"

#include <QByteArray>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QObject>
#include <QSet>
#include <QString>

class SentrovaInterface;
class SvcClient;

// Keeps one service channel per master, greets new masters, sends every
// command to all of them, echoes the traffic to the console and turns what
// the masters answer into changes of the hub's registry, configuration list
// and system values.
class RtlsSvc : public QObject
{
    Q_OBJECT

public:
    explicit RtlsSvc(SentrovaInterface *hub);
    ~RtlsSvc() override;

    void init();
    void closeAll();
    // Drops every link at once, without console lines (end of the program).
    void dropAll();
    // Closes the link to the master at this address (host byte order) for
    // good; false when there is none.
    bool dropClient(quint32 address);

    // Port for clients created from now on; tests point it at a loopback
    // server.
    void setServicePort(quint16 port) { m_port = port; }
    quint16 servicePort() const { return m_port; }
    bool displayMessages() const { return m_displayMessages; }
    int clientCount() const { return m_clients.size(); }
    // Masters whose service link is up now.
    int connectedCount() const { return m_linked.size(); }
    SvcClient *client(quint32 address) const { return m_clients.value(address, nullptr); }
    // Lines waiting in the longest of the masters' send queues; -1 without
    // a master.
    int longestQueue() const;

    void processMessage(const QByteArray &line);
    int processNode(const QJsonObject &object, const QString &mode);
    int processNodeList(const QJsonArray &array, const QString &mode);
    int processNodeConfig(const QJsonObject &object);

signals:
    void scanMasterSignal();
    void connectedCountChanged(int count);

public slots:
    void toggleDisplayMessages();
    int processJsonData(QByteArray buffer);
    void masterDetected(unsigned int ipaddr);
    void rtlsSvcTcpClientError(unsigned int addr, int socketError, QString errorstring);
    void connectToRtlsSvcIpAddr(unsigned int arg);
    int sendSvc(QJsonDocument doc);
    void dataWritten(QByteArray data);

private slots:
    void lineDropped(unsigned int addr, qint64 size);
    void queueFull(unsigned int addr);
    void linkChanged(unsigned int addr, bool up);

private:
    void handleResponse(const QString &response, const QJsonObject &object);
    void removeStaleAnchors(const QJsonArray &anchors);
    void setSeatOf(uint64_t id, int seat);
    void post(const QString &line);
    static uint64_t serviceId(const QJsonValue &value);

    void forgetLink(quint32 addr);

    QHash<quint32, SvcClient *> m_clients;
    QSet<quint32> m_linked;
    SentrovaInterface *m_hub;
    bool m_displayMessages = true;
    quint32 m_messageCounter = 0;
    quint16 m_port = Comm::kServicePort;
};
