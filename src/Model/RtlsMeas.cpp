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

RtlsMeas::Table RtlsMeas::current() const { return m_current; }
RtlsMeas::Table RtlsMeas::previous() const { return m_previous; }

void RtlsMeas::shift()
{
    m_previous = m_current;
    m_current.clear();
}

uint32_t RtlsMeas::updateFromJson(const QJsonArray &array)
{
    shift();
    // Quality carries over from one element to the next when an element
    // gives none, so a list that states it once applies it to all.
    float rssi = 0.0f;
    int32_t tqf = 0;
    for (const QJsonValue &item : array) {
        const QJsonObject e = item.toObject();
        const bool hasTqf = e.contains(QLatin1String("tqf"));
        const bool hasRssi = e.contains(QLatin1String("rssi"));
        if (hasTqf && hasRssi) {
            tqf = Rtls::truncateTo<int32_t>(e.value(QLatin1String("tqf")).toDouble());
            rssi = static_cast<float>(e.value(QLatin1String("rssi")).toDouble());
        } else if (hasTqf) {
            rssi = static_cast<float>(e.value(QLatin1String("tqf")).toDouble());
            tqf = 0;
        } else if (e.contains(QLatin1String("dqf"))) {
            rssi = static_cast<float>(e.value(QLatin1String("dqf")).toDouble());
            tqf = 0;
        }

        const uint64_t key = anchorKey(e.value(QLatin1String("anchor")));
        // An entry under anchor 0 would be a phantom anchor in every view.
        if (key == 0)
            continue;
        RtlsMeasEntry entry;
        entry.rssi = rssi;
        entry.tqf = tqf;
        if (e.contains(QLatin1String("dist"))) {
            entry.kind = Rtls::kMeasDistance;
            entry.value = static_cast<float>(e.value(QLatin1String("dist")).toDouble());
            entry.stdev = static_cast<float>(e.value(QLatin1String("stdev")).toDouble(0.0));
        } else if (e.contains(QLatin1String("toa")) && hasTqf && hasRssi) {
            entry.kind = Rtls::kMeasToa;
            entry.value = static_cast<float>(e.value(QLatin1String("toa")).toDouble());
        } else {
            continue;
        }
        m_current.insert(key, entry);
    }
    return Rtls::kMsgMeasurements;
}

QJsonArray RtlsMeas::toJson() const
{
    QJsonArray array;
    for (auto it = m_current.cbegin(); it != m_current.cend(); ++it) {
        const RtlsMeasEntry &e = it.value();
        const char *valueKey = nullptr;
        if (e.kind == Rtls::kMeasDistance)
            valueKey = "dist";
        else if (e.kind == Rtls::kMeasToa)
            valueKey = "toa";
        else
            continue;
        QJsonObject obj;
        obj.insert(QStringLiteral("anchor"), Rtls::hexId(it.key()));
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
    TlvReader reader(data, size);
    RtlsMeasEntry entry;
    entry.kind = Rtls::kMeasDistance;
    uint64_t anchor = 0;
    int count = 0;
    for (;;) {
        const TlvReader::Result r = reader.next();
        if (r == TlvReader::Result::Error)
            return -1;
        if (r == TlvReader::Result::End)
            break;
        ++count;
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
    }
    // Without an anchor the value has nothing to belong to.
    if (anchor == 0)
        return 0;
    m_current.insert(anchor, entry);
    return count;
}
