#include "BenchParseOnly.h"

#include "JsonReportParser.h"
#include "RtlsSimdJsonView.h"
#include "StreamConstants.h"
#include "TlvReader.h"

#include <QJsonDocument>

namespace {

double g_sink = 0.0;

void readValue(const TlvReader &r)
{
    float f;
    uint64_t u;
    uint8_t b;
    if (r.length() == 8 && r.readUInt64(u))
        g_sink += double(u & 0xff);
    else if (r.length() == 4 && r.readFloat(f))
        g_sink += f;
    else if (r.readUInt8(b))
        g_sink += b;
}

} // namespace

int BenchParseOnly::walkTlv(const QByteArray &datagram)
{
    int reports = 0;
    TlvReader top(datagram.constData(), datagram.size());
    while (top.next() == TlvReader::Result::Element) {
        switch (top.type()) {
        case Stream::Tlv::kNodeId:
            ++reports;
            readValue(top);
            break;
        case Stream::Tlv::kMeasurement:
        case Stream::Tlv::kImu:
        case Stream::Tlv::kPosition: {
            TlvReader nested(top.value(), top.length());
            while (nested.next() == TlvReader::Result::Element)
                readValue(nested);
            break;
        }
        default:
            readValue(top);
            break;
        }
    }
    return reports;
}

int BenchParseOnly::parseJson(const QByteArray &datagram)
{
    int reports = 0;
    int pos = 0;
    for (;;) {
        const int lf = datagram.indexOf('\n', pos);
        if (lf < 0)
            break;
        if (lf > pos
            && QJsonDocument::fromJson(QByteArray::fromRawData(datagram.constData() + pos, lf - pos)).isObject())
            ++reports;
        pos = lf + 1;
    }
    return reports;
}

double BenchParseOnly::sink()
{
    return g_sink;
}

int BenchParseOnly::parseJsonFast(const QByteArray &datagram)
{
    static JsonReportParser parser;
    int reports = 0;
    int pos = 0;
    RtlsSimdJsonView root;
    for (;;) {
        const int lf = datagram.indexOf('\n', pos);
        if (lf < 0)
            break;
        if (lf > pos && parser.parse(QByteArray::fromRawData(datagram.constData() + pos, lf - pos), &root))
            ++reports;
        pos = lf + 1;
    }
    return reports;
}
