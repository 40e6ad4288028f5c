#include "MqttMessages.h"

#include "RtlsConvert.h"
#include "RtlsObject.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonParseError>
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

QByteArray zoneConfigTopic(const QString &prefix, uint64_t zoneId)
{
    return topic(prefix, "zones", zoneId, "config");
}

QByteArray zoneConfigFilter(const QString &prefix)
{
    return prefix.toUtf8() + "/zones/+/config";
}

bool NodeStatus::operator==(const NodeStatus &o) const
{
    return id == o.id && name == o.name && mode == o.mode && category == o.category && battery == o.battery
        && inactive == o.inactive && hasX == o.hasX && hasY == o.hasY && hasZ == o.hasZ && (!hasX || x == o.x)
        && (!hasY || y == o.y) && (!hasZ || z == o.z);
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

QByteArray statusPayload(const NodeStatus &status)
{
    QJsonObject obj{{QStringLiteral("id"), QString::fromLatin1(hexId(status.id))},
                    {QStringLiteral("name"), status.name},
                    {QStringLiteral("mode"), status.mode},
                    {QStringLiteral("category"), status.category},
                    {QStringLiteral("inactive"), status.inactive}};
    obj.insert(QStringLiteral("battery"), status.battery < 0.0 ? QJsonValue(QJsonValue::Null)
                                                                : QJsonValue(std::round(status.battery * 100.0) / 100.0));
    // Millimetres, as the positions; an axis that is not finite is unknown.
    auto axis = [&obj](const char *name, bool known, double value) {
        if (known && std::isfinite(value))
            obj.insert(QLatin1String(name), std::round(value * 1000.0) / 1000.0);
    };
    axis("x", status.hasX, status.x);
    axis("y", status.hasY, status.y);
    axis("z", status.hasZ, status.z);
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

QByteArray zoneConfigPayload(const QJsonObject &zone)
{
    QJsonObject obj = zone;
    obj.remove(QStringLiteral("image"));
    obj.remove(QStringLiteral("cmdlist"));
    // The settings file leaves out coordinates that are 0; a reader that
    // updates a zone it has must not keep an old value for them.
    for (const char *axis : {"x", "y", "z"}) {
        if (!obj.value(QLatin1String(axis)).isDouble())
            obj.insert(QLatin1String(axis), 0.0);
    }
    return QJsonDocument(obj).toJson(QJsonDocument::Compact);
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

Topic parseTopic(const QString &prefix, const QByteArray &topic)
{
    Topic t;
    const QByteArray head = prefix.toUtf8() + '/';
    if (!topic.startsWith(head))
        return t;
    const QList<QByteArray> parts = topic.mid(head.size()).split('/');
    if (parts.size() == 2 && parts[0] == "manager" && parts[1] == "status") {
        t.kind = TopicKind::Manager;
        return t;
    }
    if (parts.size() != 3)
        return t;
    bool ok = false;
    const QByteArray &idText = parts[1];
    if (!idText.startsWith("0x"))
        return t;
    const uint64_t id = idText.mid(2).toULongLong(&ok, 16);
    if (!ok || id == 0)
        return t;
    TopicKind kind = TopicKind::Unknown;
    if (parts[0] == "tags" && parts[2] == "position")
        kind = TopicKind::Position;
    else if (parts[0] == "nodes" && parts[2] == "status")
        kind = TopicKind::Status;
    else if (parts[0] == "zones" && parts[2] == "config")
        kind = TopicKind::ZoneConfig;
    else if (parts[0] == "zones" && parts[2] == "events")
        kind = TopicKind::ZoneEvent;
    if (kind != TopicKind::Unknown) {
        t.kind = kind;
        t.id = id;
    }
    return t;
}

QList<QByteArray> siteSubscriptions(const QString &prefix)
{
    const QByteArray p = prefix.toUtf8();
    return {p + "/manager/status", p + "/nodes/+/status", p + "/tags/+/position", zoneConfigFilter(prefix),
            p + "/zones/+/events"};
}

namespace {

QJsonObject objectOf(const QByteArray &payload)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(payload, &error);
    return error.error == QJsonParseError::NoError && doc.isObject() ? doc.object() : QJsonObject();
}

bool namesNode(const QJsonObject &obj, uint64_t topicId)
{
    const QJsonValue id = obj.value(QLatin1String("id"));
    return id.isString() && Rtls::parseHex64(id.toString()) == topicId;
}

} // namespace

bool positionReport(const QByteArray &payload, uint64_t topicId, QByteArray *line)
{
    line->clear();
    const QJsonObject p = objectOf(payload);
    if (!namesNode(p, topicId))
        return false;
    QJsonObject coordinates;
    for (const char *axis : {"x", "y", "z"}) {
        const QJsonValue v = p.value(QLatin1String(axis));
        if (!v.isDouble())
            return false;
        coordinates.insert(QLatin1String(axis), v);
    }
    const QJsonValue pqf = p.value(QLatin1String("pqf"));
    if (pqf.isDouble())
        coordinates.insert(QLatin1String("pqf"), pqf);
    QJsonObject report{{QStringLiteral("id"), QString::fromLatin1(hexId(topicId))},
                       {QStringLiteral("coordinates"), coordinates}};
    const QJsonValue stamp = p.value(QLatin1String("timestamp"));
    if (stamp.isDouble())
        report.insert(QStringLiteral("timestamp"), stamp);
    *line = QJsonDocument(report).toJson(QJsonDocument::Compact);
    return true;
}

bool readStatus(const QByteArray &payload, uint64_t topicId, NodeStatus *status)
{
    const QJsonObject s = objectOf(payload);
    if (!namesNode(s, topicId))
        return false;
    NodeStatus out;
    out.id = topicId;
    out.name = s.value(QLatin1String("name")).toString();
    out.mode = s.value(QLatin1String("mode")).toString();
    out.category = s.value(QLatin1String("category")).toString();
    out.inactive = s.value(QLatin1String("inactive")).toBool(false);
    const QJsonValue battery = s.value(QLatin1String("battery"));
    out.battery = battery.isDouble() && battery.toDouble() >= 0.0 ? battery.toDouble() : -1.0;
    auto axis = [&s](const char *name, bool *known, double *value) {
        const QJsonValue v = s.value(QLatin1String(name));
        *known = v.isDouble();
        *value = v.toDouble();
    };
    axis("x", &out.hasX, &out.x);
    axis("y", &out.hasY, &out.y);
    axis("z", &out.hasZ, &out.z);
    *status = out;
    return true;
}

bool readManagerOnline(const QByteArray &payload, bool *online)
{
    const QJsonValue v = objectOf(payload).value(QLatin1String("online"));
    if (!v.isBool())
        return false;
    *online = v.toBool();
    return true;
}

} // namespace MqttMessages
