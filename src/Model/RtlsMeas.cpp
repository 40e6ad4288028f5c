#include "RtlsMeas.h"

#include "RtlsConvert.h"
#include "TlvReader.h"

#include <QJsonObject>

namespace {

// A hexadecimal anchor id from a JSON "anchor"; 0 when it is not one.
uint64_t anchorKey(const QJsonValue &v)
{
    return v.isString() ? Rtls::parseHex64(v.toString()) : 0;
}

} // namespace

RtlsMeas::RtlsMeas(QObject *parent) : QObject(parent) {}

RtlsMeas::Table RtlsMeas::current() const { return toTable(m_current); }
RtlsMeas::Table RtlsMeas::previous() const { return toTable(m_previous); }

RtlsMeas::Table RtlsMeas::toTable(const Slots &from)
{
    Table table;
    table.reserve(static_cast<int>(from.size()));
    for (const Slot &slot : from)
        table.insert(slot.anchor, slot.entry);
    return table;
}

void RtlsMeas::shift()
{
    m_previous.swap(m_current);
    m_current.clear();
    if (m_current.capacity() > Rtls::kMeasKeptCapacity)
        m_current.shrink_to_fit();
    m_index.clear();
}

int RtlsMeas::find(uint64_t anchor)
{
    const int size = static_cast<int>(m_current.size());
    if (size <= Rtls::kMeasLinearSearchLimit) {
        for (int i = 0; i < size; ++i) {
            if (m_current[i].anchor == anchor)
                return i;
        }
        return -1;
    }
    if (m_index.isEmpty()) {
        for (int i = 0; i < size; ++i)
            m_index.insert(m_current[i].anchor, i);
    }
    return m_index.value(anchor, -1);
}

void RtlsMeas::store(uint64_t anchor, const RtlsMeasEntry &entry)
{
    const int at = find(anchor);
    if (at >= 0) {
        m_current[at].entry = entry;
        return;
    }
    if (!m_index.isEmpty())
        m_index.insert(anchor, static_cast<int>(m_current.size()));
    m_current.push_back({anchor, entry});
}

uint32_t RtlsMeas::updateFromJson(const QJsonArray &array)
{
    shift();
    // Quality carries over from one element to the next when an element
    // gives none, so a list that states it once applies it to all.
    float rssi = 0.0f;
    int32_t tqf = 0;
    for (const QJsonValue &item : array) {
        // Each key is looked up once: a look-up compares key texts, and an
        // element is read for every range of every report.
        const QJsonObject e = item.toObject();
        const QJsonValue tqfValue = e.value(QLatin1String("tqf"));
        const QJsonValue rssiValue = e.value(QLatin1String("rssi"));
        const bool hasTqf = !tqfValue.isUndefined();
        const bool hasRssi = !rssiValue.isUndefined();
        if (hasTqf && hasRssi) {
            tqf = Rtls::truncateTo<int32_t>(tqfValue.toDouble());
            rssi = static_cast<float>(rssiValue.toDouble());
        } else if (hasTqf) {
            rssi = static_cast<float>(tqfValue.toDouble());
            tqf = 0;
        } else {
            const QJsonValue dqf = e.value(QLatin1String("dqf"));
            if (!dqf.isUndefined()) {
                rssi = static_cast<float>(dqf.toDouble());
                tqf = 0;
            }
        }

        const uint64_t key = anchorKey(e.value(QLatin1String("anchor")));
        // An entry under anchor 0 would be a phantom anchor in every view.
        if (key == 0)
            continue;
        RtlsMeasEntry entry;
        entry.rssi = rssi;
        entry.tqf = tqf;
        const QJsonValue dist = e.value(QLatin1String("dist"));
        if (!dist.isUndefined()) {
            entry.kind = Rtls::kMeasDistance;
            entry.value = static_cast<float>(dist.toDouble());
            entry.stdev = static_cast<float>(e.value(QLatin1String("stdev")).toDouble(0.0));
        } else if (hasTqf && hasRssi) {
            const QJsonValue toa = e.value(QLatin1String("toa"));
            if (toa.isUndefined())
                continue;
            entry.kind = Rtls::kMeasToa;
            entry.value = static_cast<float>(toa.toDouble());
        } else {
            continue;
        }
        store(key, entry);
    }
    return Rtls::kMsgMeasurements;
}

QJsonArray RtlsMeas::toJson() const
{
    QJsonArray array;
    for (const Slot &slot : m_current) {
        const RtlsMeasEntry &e = slot.entry;
        const char *valueKey = nullptr;
        if (e.kind == Rtls::kMeasDistance)
            valueKey = "dist";
        else if (e.kind == Rtls::kMeasToa)
            valueKey = "toa";
        else
            continue;
        QJsonObject obj;
        obj.insert(QStringLiteral("anchor"), Rtls::hexId(slot.anchor));
        obj.insert(QLatin1String(valueKey), static_cast<double>(e.value));
        obj.insert(QStringLiteral("tqf"), e.tqf);
        obj.insert(QStringLiteral("rssi"), static_cast<double>(e.rssi));
        array.append(obj);
    }
    return array;
}

int RtlsMeas::updateFromTlv(const char *data, int size)
{
    if (!data || size <= 0)
        return -1;
    RtlsMeasEntry entry;
    entry.kind = Rtls::kMeasDistance;
    uint64_t anchor = 0;
    const int count = TlvReader::forEach(data, size, [&](const TlvReader &reader) {
        uint8_t tqf = 0;
        switch (reader.type()) {
        case Rtls::kTlvMeasAnchor:
            reader.readUInt64(anchor);
            break;
        case Rtls::kTlvMeasValue:
            reader.readFloat(entry.value);
            break;
        case Rtls::kTlvMeasTqf:
            if (reader.readUInt8(tqf))
                entry.tqf = tqf;
            break;
        case Rtls::kTlvMeasRssi:
            reader.readFloat(entry.rssi);
            break;
        case Rtls::kTlvMeasExtra:
            reader.readUInt64(entry.extra);
            break;
        default:
            break;
        }
    });
    if (count < 0)
        return -1;
    // Without an anchor the value has nothing to belong to.
    if (anchor == 0)
        return 0;
    store(anchor, entry);
    return count;
}
