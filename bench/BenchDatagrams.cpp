#include "BenchDatagrams.h"

#include "RtlsModelConstants.h"
#include "StreamConstants.h"

#include <QtEndian>

#include <cstring>

namespace {

constexpr double kTimeStamp = 1700000000.125;

void element(QByteArray &out, uint8_t type, const QByteArray &value)
{
    out.append(char(type));
    out.append(char(value.size()));
    out.append(value);
}

template<typename T>
QByteArray le(T v)
{
    QByteArray b(int(sizeof(T)), Qt::Uninitialized);
    qToLittleEndian(v, b.data());
    return b;
}

QByteArray f32(float v)
{
    uint32_t bits;
    std::memcpy(&bits, &v, 4);
    return le(bits);
}

QByteArray f64(double v)
{
    uint64_t bits;
    std::memcpy(&bits, &v, 8);
    return le(bits);
}

} // namespace

QByteArray BenchDatagrams::tlv(int nodes, int measurements)
{
    QByteArray out;
    for (int n = 0; n < nodes; ++n) {
        element(out, Stream::Tlv::kNodeId, le<uint64_t>(kFirstTagId + n));
        element(out, Stream::Tlv::kTimeStamp, f64(kTimeStamp));
        element(out, Stream::Tlv::kReportNumber, le<uint32_t>(1000 + n));
        QByteArray pos;
        element(pos, Rtls::kTlvPosX, f32(1.25f + n));
        element(pos, Rtls::kTlvPosY, f32(2.5f));
        element(pos, Rtls::kTlvPosZ, f32(1.0f));
        element(pos, Rtls::kTlvPosPqf, QByteArray(1, char(90)));
        element(out, Stream::Tlv::kPosition, pos);
        for (int m = 0; m < measurements; ++m) {
            QByteArray meas;
            element(meas, Rtls::kTlvMeasAnchor, le<uint64_t>(0x100 + m));
            element(meas, Rtls::kTlvMeasValue, f32(3.0f + 0.5f * m));
            element(meas, Rtls::kTlvMeasTqf, QByteArray(1, char(80)));
            element(meas, Rtls::kTlvMeasRssi, f32(-79.5f));
            element(out, Stream::Tlv::kMeasurement, meas);
        }
    }
    return out;
}

QByteArray BenchDatagrams::json(int nodes, int measurements)
{
    QByteArray out;
    for (int n = 0; n < nodes; ++n) {
        out += "{\"id\":\"0x" + QByteArray::number(qulonglong(kFirstTagId + n), 16).toUpper()
            + "\",\"timestamp\":1700000000.125,\"mode\":\"tag\",\"coordinates\":{\"x\":"
            + QByteArray::number(1.25 + n) + ",\"y\":2.5,\"z\":1.0,\"pqf\":90},\"meas\":[";
        for (int m = 0; m < measurements; ++m) {
            out += (m ? ",{\"anchor\":\"0x0" : "{\"anchor\":\"0x0") + QByteArray::number(0x100 + m, 16).toUpper()
                + "\",\"dist\":" + QByteArray::number(3.0 + 0.5 * m) + ",\"tqf\":80,\"rssi\":-79.5,\"stdev\":0.02}";
        }
        out += "],\"sensors\":{\"temperature\":21.5},\"io\":0,\"vbat\":3.7}\n";
    }
    return out;
}
