#pragma once

#include "DnsCodec.h"

#include <QHostAddress>
#include <QObject>

class QUdpSocket;
class QNetworkDatagram;

// Multicast DNS responder for the master's service instance under both
// "_svc_sentrova._tcp.local." and "_svc_sentrova._udp.local.".
class MdnsResponder : public QObject
{
    Q_OBJECT
public:
    MdnsResponder(quint64 masterId, quint16 servicePort, QObject *parent = nullptr);

    // port is 5353 but injectable; group membership on bind's interface
    // (every interface for the any address).
    bool start(const QHostAddress &bind, quint16 port);
    // The answers to one question; empty when the question is not ours.
    QVector<DnsCodec::Record> answer(const DnsCodec::Question &q, const QHostAddress &address) const;
    QString instanceName(const QString &service) const;

private:
    quint64 m_masterId;
    quint16 m_servicePort;
    quint16 m_port = 0;
    QHostAddress m_bind;
    QUdpSocket *m_socket;
    // Answers leave from the bound address (see ReplySocket).
    QUdpSocket *m_replies = nullptr;

    void onReadyRead();
    QUdpSocket *out() const { return m_replies ? m_replies : m_socket; }
    void respond(const QNetworkDatagram &d);
    QHostAddress addressFor(const QNetworkDatagram &d) const;
};
