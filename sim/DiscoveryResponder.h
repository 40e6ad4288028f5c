#pragma once

#include <QHostAddress>
#include <QJsonObject>
#include <QObject>
#include <QVector>

class QTimer;
class QUdpSocket;

// The master's broadcast discovery: answers {"command":"version"} on the
// UDP service port and announces itself on the announcement port.
class DiscoveryResponder : public QObject
{
    Q_OBJECT
public:
    DiscoveryResponder(const QJsonObject &versionAnswer, QObject *parent = nullptr);

    bool start(const QHostAddress &bind, quint16 servicePort, quint16 announcePort);
    // Where announcements go: the broadcast addresses of the interfaces the
    // simulator is bound to (only the loopback address when bound there).
    static QVector<QHostAddress> announceTargets(const QHostAddress &bind);

private:
    QJsonObject m_answer;
    QUdpSocket *m_socket;
    // Answers and announcements leave from the bound address (see ReplySocket).
    QUdpSocket *m_replies = nullptr;
    QTimer *m_announce;
    QVector<QHostAddress> m_targets;
    quint16 m_announcePort = 0;

    void onReadyRead();
    void readRequests(QUdpSocket *socket);
    QUdpSocket *out() const { return m_replies ? m_replies : m_socket; }
    void announce();
};
