#pragma once

#include <QHostAddress>
#include <QObject>
#include <QPair>
#include <QVector>

class QUdpSocket;
struct TagReport;

// Sends location reports over UDP, packing as many as fit into each
// datagram, to every destination.
class StreamSender : public QObject
{
    Q_OBJECT
public:
    enum class Format { Json, Tlv };

    explicit StreamSender(QObject *parent = nullptr);

    bool bind(const QHostAddress &address);
    void setDestinations(const QVector<QPair<QHostAddress, quint16>> &destinations);
    void send(const QVector<TagReport> &reports, Format format);
    // Sends already encoded reports (each a complete JSON line or TLV run).
    void sendEncoded(const QVector<QByteArray> &reports);
    quint64 reportsSent() const { return m_reports; }
    quint64 datagramsSent() const { return m_datagrams; }

private:
    QUdpSocket *m_socket;
    QVector<QPair<QHostAddress, quint16>> m_destinations;
    quint64 m_reports = 0;
    quint64 m_datagrams = 0;
    bool m_warned = false;

    void flush(QByteArray *datagram);
};
