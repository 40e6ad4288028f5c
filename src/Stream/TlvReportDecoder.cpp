#include "TlvReportDecoder.h"

#include "RtlsHubLink.h"
#include "RtlsIMU.h"
#include "RtlsMeas.h"
#include "RtlsModelConstants.h"
#include "RtlsObject.h"
#include "RtlsPos.h"
#include "StreamConstants.h"
#include "StreamTimeText.h"
#include "TlvReader.h"

#include <QDateTime>


using namespace Stream::Tlv;

TlvReportDecoder::TlvReportDecoder(RtlsHubLink *hub)
    : m_hub(hub)
{
}

int TlvReportDecoder::decode(const char *data, int size)
{
    if (!m_hub)
        return 0;
    Report report;
    report.receivedAt = uint64_t(QDateTime::currentMSecsSinceEpoch());
    TlvReader reader(data, size);
    for (;;) {
        switch (reader.next()) {
        case TlvReader::Result::Element:
            applyElement(report, reader);
            break;
        case TlvReader::Result::End:
            finishAtEnd(report);
            return 0;
        case TlvReader::Result::Error:
            // The current report is cut short: it is not announced, and a
            // record that no table holds yet is dropped rather than lost.
            discard(report);
            return -1;
        }
    }
}

void TlvReportDecoder::applyElement(Report &report, const TlvReader &element)
{
    RtlsObject *node = report.node;
    // A value shorter than its field is skipped whole, as the nested
    // decoders do: reading it would run into the next element.
    switch (element.type()) {
    case kNodeId: {
        uint64_t id = 0;
        if (element.readUInt64(id)) {
            finishBetweenNodes(report);
            startNode(report, id);
        }
        break;
    }
    case kTimeStamp:
        if (element.readDouble(report.timeStamp) && node)
            node->setMsgTime(report.timeStamp);
        break;
    case kReportNumber:
        element.readUInt32(report.reportNumber);
        break;
    case kMeasurement:
        if (node) {
            ++report.measurements;
            node->meas()->updateFromTlv(element.value(), element.length());
            node->setMsgFlags(Rtls::kMsgMeasurements);
        }
        break;
    case kImu:
        if (node)
            node->imu()->updateFromTlv(element.value(), element.length());
        break;
    case kPosition:
        if (node) {
            node->pos()->updateFromTlv(element.value(), element.length());
            node->setMsgFlags(Rtls::kMsgCoordinates);
        }
        break;
    case kEndCode: {
        uint8_t code = 0;
        if (element.readUInt8(code) && code == kEndCodeDiscard)
            discard(report);
        else if (element.readDouble(report.timeStamp) && node)
            node->setMsgTime(report.timeStamp);
        break;
    }
    case kIo: {
        uint8_t io = 0;
        if (node && element.readUInt8(io))
            applyIo(node, io);
        break;
    }
    case kBatteryVoltage: {
        int32_t vbat = 0;
        if (node && element.readInt32(vbat))
            node->imu()->setVBat(static_cast<float>(vbat));
        break;
    }
    default:
        break;
    }
}

void TlvReportDecoder::startNode(Report &report, uint64_t id)
{
    RtlsObject *node = m_hub->hasNonAnchor(id) ? m_hub->findNode(id) : nullptr;
    if (!node) {
        node = new RtlsObject(id);
        node->setCategory(QString::fromLatin1(Stream::kTagText));
        node->setMode(QString::fromLatin1(Stream::kTagText));
        node->setMsgFlags(Rtls::kMsgHeardOnce);
    } else {
        heardAgain(node);
    }
    node->meas()->shift();
    node->clearMsgFlags(Rtls::kMsgCoordinates | Rtls::kMsgMeasurements);
    report.node = node;
    report.measurements = 0;
}

void TlvReportDecoder::heardAgain(RtlsObject *node)
{
    node->clearMsgFlags(Rtls::kMsgHeardOnce);
    // Details are asked for once the node is heard a second time: an id
    // heard once (a corrupt datagram, a device sending random ids) costs the
    // masters nothing.
    if (!(node->msgFlags() & (Rtls::kMsgNodeOptions | Rtls::kMsgDetailsPending))) {
        node->setMsgFlags(Rtls::kMsgDetailsPending);
        m_hub->requestDetails(node->id());
    }
}

void TlvReportDecoder::applyIo(RtlsObject *node, uint8_t io)
{
    node->imu()->setIO(io);
    if (io & kIoAveragingBit)
        node->pos()->incrAvg();
    else
        node->pos()->decrAvg();
}

void TlvReportDecoder::finishBetweenNodes(Report &report)
{
    RtlsObject *node = report.node;
    if (!node)
        return;
    if (m_echo && report.timeStamp != 0.0)
        echo(report);
    report.node = nullptr;
    // Heard now, like a JSON report: the hub's inactivity check relies on it.
    node->setLastUpdate(report.receivedAt);
    // A report with few measurements is kept but not announced: the node's
    // next, fuller report will be.
    const bool announce = report.measurements > kMinMeasurementsBetweenNodes;
    if (m_hub->hasNonAnchor(node->id())) {
        if (announce)
            m_hub->announceNodeUpdated(node);
    } else {
        m_hub->insertNonAnchor(node);
        if (announce)
            m_hub->announceNodeAdded(node);
    }
}

void TlvReportDecoder::finishAtEnd(Report &report)
{
    RtlsObject *node = report.node;
    if (!node)
        return;
    if (m_echo)
        echo(report);
    report.node = nullptr;
    node->setLastUpdate(report.receivedAt);
    if (m_hub->hasNonAnchor(node->id())) {
        m_hub->announceNodeUpdated(node);
    } else {
        m_hub->insertNonAnchor(node);
        m_hub->announceNodeAdded(node);
        m_hub->announceNodeUpdated(node);
    }
}

void TlvReportDecoder::discard(Report &report)
{
    if (report.node && !m_hub->hasNonAnchor(report.node->id()))
        delete report.node;
    report.node = nullptr;
}

void TlvReportDecoder::echo(const Report &report)
{
    // A report without a time stamp is shown at the time it arrived.
    const QString time = report.timeStamp != 0.0 ? StreamTimeText::fromSeconds(report.timeStamp)
                                                 : StreamTimeText::now();
    m_hub->postMessage(QStringLiteral("LS_IN TLV (%1): %2) for node %3 with %4 measurements")
                           .arg(time)
                           .arg(report.reportNumber)
                           .arg(report.node->idString())
                           .arg(report.measurements));
}
