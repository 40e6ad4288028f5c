#include "ReportEncoder.h"

#include "TagReport.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

// Fixed-point text without printf: the load generator encodes hundreds of
// thousands of numbers a second.
void appendNumber(QByteArray *out, double v, int decimals)
{
    static const qint64 kScale[] = {1, 10, 100, 1000, 10000};
    if (!std::isfinite(v) || std::fabs(v) > 9.0e12)
        v = 0.0;
    const qint64 scaled = std::llround(std::fabs(v) * kScale[decimals]);
    char buf[32];
    int n = sizeof buf;
    qint64 frac = scaled % kScale[decimals];
    for (int i = 0; i < decimals; ++i, frac /= 10)
        buf[--n] = char('0' + frac % 10);
    if (decimals > 0)
        buf[--n] = '.';
    qint64 whole = scaled / kScale[decimals];
    do {
        buf[--n] = char('0' + whole % 10);
        whole /= 10;
    } while (whole > 0);
    if (v < 0 && scaled != 0)
        buf[--n] = '-';
    out->append(buf + n, int(sizeof buf) - n);
}

void appendHexId(QByteArray *out, quint64 id, bool prefix)
{
    char buf[24];
    const int n = std::snprintf(buf, sizeof buf, prefix ? "0x%04llX" : "%04llX", static_cast<unsigned long long>(id));
    out->append(buf, n);
}

template <typename T> void appendLe(QByteArray *out, T v)
{
    unsigned char b[sizeof(T)];
    std::memcpy(b, &v, sizeof(T));
    // The stream is little-endian whatever the host is.
    if (QSysInfo::ByteOrder == QSysInfo::BigEndian)
        for (size_t i = 0; i < sizeof(T) / 2; ++i)
            std::swap(b[i], b[sizeof(T) - 1 - i]);
    out->append(reinterpret_cast<const char *>(b), int(sizeof(T)));
}

template <typename T> void element(QByteArray *out, quint8 type, T v)
{
    out->append(char(type));
    out->append(char(sizeof(T)));
    appendLe(out, v);
}

// A nested element's length byte is filled in once its inner elements are
// written, so no temporary buffer is allocated per element.
int beginNested(QByteArray *out, quint8 type)
{
    out->append(char(type));
    out->append('\0');
    return out->size();
}

void endNested(QByteArray *out, int innerStart)
{
    (*out)[innerStart - 1] = char(out->size() - innerStart);
}

} // namespace

void ReportEncoder::appendJson(QByteArray *out, const TagReport &r)
{
    out->append("{\"id\":\"");
    appendHexId(out, r.id, true);
    out->append("\",\"timestamp\":");
    appendNumber(out, r.timestamp, 3);
    out->append(",\"mode\":\"tag\"");
    if (r.hasPos) {
        out->append(",\"coordinates\":{\"x\":");
        appendNumber(out, r.pos.x, 3);
        out->append(",\"y\":");
        appendNumber(out, r.pos.y, 3);
        out->append(",\"z\":");
        appendNumber(out, r.pos.z, 3);
        out->append(",\"pqf\":");
        out->append(QByteArray::number(r.pqf));
        out->append('}');
    }
    if (!r.meas.isEmpty()) {
        out->append(",\"meas\":[");
        for (int i = 0; i < r.meas.size(); ++i) {
            const MeasSample &m = r.meas[i];
            out->append(i ? ",{\"anchor\":\"" : "{\"anchor\":\"");
            appendHexId(out, m.anchor, false);
            out->append(m.isToa ? "\",\"toa\":" : "\",\"dist\":");
            appendNumber(out, m.value, m.isToa ? 4 : 3);
            out->append(",\"tqf\":");
            out->append(QByteArray::number(m.tqf));
            out->append(",\"rssi\":");
            appendNumber(out, m.rssi, 1);
            if (!m.isToa) {
                out->append(",\"stdev\":");
                appendNumber(out, m.stdev, 3);
            }
            out->append('}');
        }
        out->append(']');
    }
    out->append(",\"sensors\":{\"temperature\":");
    appendNumber(out, r.temperature, 1);
    out->append("},\"io\":");
    out->append(QByteArray::number(r.io));
    out->append(",\"vbat\":");
    appendNumber(out, r.vbat, 2);
    out->append("}\n");
}

void ReportEncoder::appendTlv(QByteArray *out, const TagReport &r)
{
    element<quint64>(out, kTypeId, r.id);
    element<double>(out, kTypeTime, r.timestamp);
    element<quint32>(out, kTypeSeq, r.seq);
    for (const MeasSample &m : r.meas) {
        const int meas = beginNested(out, kTypeMeas);
        element<quint64>(out, kMeasAnchor, m.anchor);
        element<float>(out, kMeasValue, float(m.value));
        element<quint8>(out, kMeasTqf, quint8(m.tqf));
        element<float>(out, kMeasRssi, float(m.rssi));
        endNested(out, meas);
    }
    if (r.hasPos) {
        const int pos = beginNested(out, kTypePos);
        element<float>(out, kPosX, float(r.pos.x));
        element<float>(out, kPosY, float(r.pos.y));
        element<float>(out, kPosZ, float(r.pos.z));
        element<quint8>(out, kPosPqf, r.pqf);
        endNested(out, pos);
    }
    const int imu = beginNested(out, kTypeImu);
    element<float>(out, kImuVbat, float(r.vbat));
    element<float>(out, kImuTemp, float(r.temperature));
    if (r.hasImu)
        for (int i = 0; i < 4; ++i)
            element<float>(out, quint8(kImuQ0 + i), float(r.quat[i]));
    endNested(out, imu);
    element<quint8>(out, kTypeIo, r.io);
    element<qint32>(out, kTypeVbat, qint32(std::lround(r.vbat * 1000.0)));
}
