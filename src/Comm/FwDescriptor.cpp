#include "FwDescriptor.h"

#include "RtlsConvert.h"

#include <cmath>

namespace {

// A whole JSON number in [0, max], or -1.
qint64 wholeNumber(const QJsonValue &value, qint64 max)
{
    if (!value.isDouble())
        return -1;
    const double d = value.toDouble();
    if (!(d >= 0.0) || d > double(max) || std::trunc(d) != d)
        return -1;
    return qint64(d);
}

} // namespace

bool FwDescriptor::fromJson(const QJsonObject &obj, FwDescriptor *out)
{
    const qint64 slot = wholeNumber(obj.value(QLatin1String("id")), 0x7FFFFFFF);
    if (slot < 0)
        return false;
    FwDescriptor d;
    d.slot = int(slot);
    d.name = obj.value(QLatin1String("name")).toString();
    d.version = obj.value(QLatin1String("version")).toString();
    d.size = std::max<qint64>(0, wholeNumber(obj.value(QLatin1String("size")), qint64(1) << 40));
    const QJsonValue crc = obj.value(QLatin1String("crc32"));
    if (crc.isString())
        d.crc32 = Rtls::parseHex32(crc.toString());
    else
        d.crc32 = quint32(std::max<qint64>(0, wholeNumber(crc, 0xFFFFFFFF)));
    d.enabled = obj.value(QLatin1String("enabled")).toBool();
    d.boot = obj.value(QLatin1String("boot")).toBool();
    *out = d;
    return true;
}

QVector<FwDescriptor> FwDescriptor::listFromJson(const QJsonArray &array)
{
    QVector<FwDescriptor> list;
    list.reserve(array.size());
    for (const QJsonValue &value : array) {
        FwDescriptor d;
        if (fromJson(value.toObject(), &d))
            list.append(d);
    }
    return list;
}

bool FwDescriptor::operator==(const FwDescriptor &other) const
{
    return slot == other.slot && name == other.name && version == other.version && size == other.size
        && crc32 == other.crc32 && enabled == other.enabled && boot == other.boot;
}
