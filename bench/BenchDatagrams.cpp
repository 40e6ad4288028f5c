#include "BenchDatagrams.h"

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
        element(out, 1, le<uint64_t>(kFirstTagId + n));
        element(out, 2, f64(kTimeStamp));
        element(out, 3, le<uint32_t>(1000 + n));
        QByteArray pos;
        element(pos, 0x50, f32(1.25f + n));
        element(pos, 0x51, f32(2.5f));
        element(pos, 0x52, f32(1.0f));
        element(pos, 0x54, QByteArray(1, char(90)));
        element(out, 8, pos);
        for (int m = 0; m < measurements; ++m) {
            QByteArray meas;
            element(meas, 0x28, le<uint64_t>(0x100 + m));
            element(meas, 0x29, f32(3.0f + 0.5f * m));
            element(meas, 0x2A, QByteArray(1, char(80)));
            element(meas, 0x2B, f32(-79.5f));
            element(out, 4, meas);
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
