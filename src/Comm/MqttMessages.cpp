#include "MqttMessages.h"

#include "RtlsObject.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

// A time stamp above this many seconds lies past the year 5000: it is one
// in milliseconds.
constexpr double kMillisecondStampAbove = 1e11;
// A battery reading above this many volts is one in millivolts.
constexpr double kMillivoltReadingAbove = 100.0;

QByteArray topic(const QString &prefix, const char *kind, uint64_t id, const char *leaf)
{
    QByteArray t = prefix.toUtf8();
    t.reserve(t.size() + 40);
    t += '/';
    t += kind;
    t += '/';
    t += MqttMessages::hexId(id);
    t += '/';
    t += leaf;
    return t;
}

// Fixed-point text with `decimals` places, trailing zeros and a bare
// point removed; -0 is written as 0.
void appendNumber(QByteArray *out, double value, int decimals)
{
    char buf[64];
    int n = std::snprintf(buf, sizeof buf, "%.*f", decimals, value);
    if (n <= 0 || n >= int(sizeof buf))
        return;
    if (std::memchr(buf, '.', size_t(n))) {
        while (n > 0 && buf[n - 1] == '0')
            --n;
        if (n > 0 && buf[n - 1] == '.')
            --n;
    }
    if (n == 2 && buf[0] == '-' && buf[1] == '0')
        out->append('0');
    else
        out->append(buf, n);
}

} // namespace

namespace MqttMessages {

QByteArray hexId(uint64_t id)
{
    char buf[24];
    const int n = std::snprintf(buf, sizeof buf, "0x%04llX", static_cast<unsigned long long>(id));
    return QByteArray(buf, n);
}

QByteArray positionTopic(const QString &prefix, uint64_t id)
{
    return topic(prefix, "tags", id, "position");
}

QByteArray statusTopic(const QString &prefix, uint64_t id)
{
    return topic(prefix, "nodes", id, "status");
}

QByteArray zoneTopic(const QString &prefix, uint64_t zoneId)
{
    return topic(prefix, "zones", zoneId, "events");
}

QByteArray managerTopic(const QString &prefix)
{
    return prefix.toUtf8() + "/manager/status";
}

bool positionPayload(QByteArray *out, uint64_t id, double x, double y, double z, int pqf,
                     double timestamp)
{
    out->clear();
    if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(z) || !std::isfinite(timestamp))
        return false;
    out->append("{\"id\":\"");
    out->append(hexId(id));
    out->append("\",\"x\":");
    appendNumber(out, x, 3);
    out->append(",\"y\":");
    appendNumber(out, y, 3);
    out->append(",\"z\":");
    appendNumber(out, z, 3);
    out->append(",\"pqf\":");
    out->append(QByteArray::number(pqf));
    out->append(",\"timestamp\":");
    appendNumber(out, timestamp, 3);
    out->append('}');
    return true;
}

QByteArray statusPayload(uint64_t id, const QString &name, const QString &mode, double battery,
                         bool inactive)
{
    QJsonObject obj{{QStringLiteral("id"), QString::fromLatin1(hexId(id))},
                    {QStringLiteral("name"), name},
                    {QStringLiteral("mode"), mode},
                    {QStringLiteral("inactive"), inactive}};
    obj.insert(QStringLiteral("battery"),
               battery < 0.0 ? QJsonValue(QJsonValue::Null) : QJsonValue(std::round(battery * 100.0) / 100.0));
    return QJsonDocument(obj).toJson(QJsonDocument::Compact);
}

QByteArray zoneEventPayload(uint64_t zoneId, const QString &zoneName, uint64_t nodeId, bool entered,
                            double timestamp)
{
    const QJsonObject obj{{QStringLiteral("zone"), QString::fromLatin1(hexId(zoneId))},
                          {QStringLiteral("name"), zoneName},
                          {QStringLiteral("id"), QString::fromLatin1(hexId(nodeId))},
                          {QStringLiteral("event"), entered ? QStringLiteral("enter") : QStringLiteral("exit")},
                          {QStringLiteral("timestamp"), std::round(timestamp * 1000.0) / 1000.0}};
    return QJsonDocument(obj).toJson(QJsonDocument::Compact);
}

QByteArray managerPayload(bool online)
{
    return online ? QByteArrayLiteral("{\"online\":true}") : QByteArrayLiteral("{\"online\":false}");
}

double reportTime(const RtlsObject &node)
{
    const double stamp = node.msgTime();
    if (stamp > kMillisecondStampAbove)
        return stamp / 1000.0;
    if (stamp > 0.0)
        return stamp;
    const uint64_t heard = node.lastUpdate();
    // 0: never heard; all ones: the hub marked the node inactive.
    if (heard == 0 || heard == ~uint64_t(0))
        return double(QDateTime::currentMSecsSinceEpoch()) / 1000.0;
    return double(heard) / 1000.0;
}

double batteryVolts(float vbat)
{
    const double v = double(vbat);
    if (!std::isfinite(v) || v <= 0.0)
        return -1.0;
    return v > kMillivoltReadingAbove ? v / 1000.0 : v;
}

} // namespace MqttMessages
