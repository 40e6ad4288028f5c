#pragma once

#include "QMDnsResponse.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

class QUdpSocket;

// A small multicast DNS client for the firmware dialog: asks for a service
// from every IPv4 interface and announces every authoritative response as a
// list of raw records. No cache, no interpretation.
class QMDns : public QObject
{
    Q_OBJECT

public:
    explicit QMDns(QObject *parent = nullptr);
    ~QMDns() override;

    // Sends a PTR question for name to the multicast DNS group.
    void query(const QString &name);

    // The question message for name; empty when a label is too long to be
    // written in DNS label form.
    static QByteArray questionMessage(const QString &name);

    // The responses kept, oldest first; owned by this object. A response
    // that repeats one still kept (masters answer every question again) is
    // not kept twice: newResult gives the kept one. At most
    // kMaxKeptResponses are kept; the oldest is deleted to make room, so a
    // receiver copies what it wants to hold longer than that.
    const QList<QMDnsResponse *> &responses() const { return m_responses; }
    static constexpr int kMaxKeptResponses = 64;

signals:
    void newResult(QMDnsResponse *result);

private slots:
    void parse(QByteArray buffer);

private:
    void setupSockets();
    void readPending(QUdpSocket *socket);

    QList<QMDnsResponse *> m_responses;
    QList<QUdpSocket *> m_sockets;
};
