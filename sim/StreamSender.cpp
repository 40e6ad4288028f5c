#include "StreamSender.h"

#include "ReportEncoder.h"
#include "SimConstants.h"
#include "SimLogging.h"
#include "TagReport.h"

#include <QUdpSocket>

StreamSender::StreamSender(QObject *parent) : QObject(parent), m_socket(new QUdpSocket(this))
{
}

bool StreamSender::bind(const QHostAddress &address)
{
    if (m_socket->bind(address, 0))
        return true;
    qCWarning(lcSim).noquote() << "cannot bind the stream socket to" << address.toString() << ":"
                               << m_socket->errorString();
    return false;
}

void StreamSender::setDestinations(const QVector<QPair<QHostAddress, quint16>> &destinations)
{
    m_destinations = destinations;
}

void StreamSender::send(const QVector<TagReport> &reports, Format format)
{
    QVector<QByteArray> encoded;
    encoded.reserve(reports.size());
    for (const TagReport &r : reports) {
        QByteArray b;
        if (format == Format::Json)
            ReportEncoder::appendJson(&b, r);
        else
            ReportEncoder::appendTlv(&b, r);
        encoded.append(b);
    }
    sendEncoded(encoded);
}

void StreamSender::sendEncoded(const QVector<QByteArray> &reports)
{
    QByteArray datagram;
    datagram.reserve(SimConst::kMaxDatagramBytes);
    for (const QByteArray &r : reports) {
        if (!datagram.isEmpty() && datagram.size() + r.size() > SimConst::kMaxDatagramBytes)
            flush(&datagram);
        datagram.append(r);
        ++m_reports;
    }
    if (!datagram.isEmpty())
        flush(&datagram);
}

void StreamSender::flush(QByteArray *datagram)
{
    for (const auto &d : qAsConst(m_destinations)) {
        if (m_socket->writeDatagram(*datagram, d.first, d.second) < 0 && !m_warned) {
            // Once for the whole run: a missing listener must not flood the log.
            m_warned = true;
            qCWarning(lcSim).noquote() << "stream datagram to" << d.first.toString() << d.second
                                       << "failed:" << m_socket->errorString();
        }
    }
    ++m_datagrams;
    datagram->clear();
}
