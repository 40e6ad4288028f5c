#include "SimNode.h"

#include "SimConstants.h"

#include <QJsonArray>
#include <cmath>

namespace {
double round3(double v)
{
    return std::round(v * 1000.0) / 1000.0;
}
} // namespace

quint32 SimNode::nodeOptions() const
{
    if (mode == QLatin1String("master"))
        return 0x6;
    if (mode == QLatin1String("anchor"))
        return 0x2;
    return 0x0;
}

QString SimNode::idString(quint64 id)
{
    return QStringLiteral("0x") + QStringLiteral("%1").arg(id, 4, 16, QLatin1Char('0')).toUpper();
}

QString SimNode::idString() const
{
    return idString(id);
}

QString SimNode::hex16(quint32 v)
{
    return idString(v);
}

double SimNode::biasMetres() const
{
    const double excess = (trueTxDelay - txDelay) + (trueRxDelay - rxDelay);
    return SimConst::kMetresPerDeviceUnit * excess / 2.0;
}

Vec3 SimNode::pathPosition(double t, bool *present) const
{
    *present = true;
    if (parked)
        return parkPos;
    if (path.isEmpty())
        return truePos;
    if (path.size() == 1)
        return path.first().pos;
    QVector<double> legTime(path.size());
    double total = 0.0;
    for (int i = 0; i < path.size(); ++i) {
        const Waypoint &a = path[i];
        const Waypoint &b = path[(i + 1) % path.size()];
        legTime[i] = a.pos.distanceTo(b.pos) / std::max(a.speed, 0.01);
        total += legTime[i];
    }
    if (total <= 0.0)
        return path.first().pos;
    double r = std::fmod(std::max(t, 0.0), total);
    for (int i = 0; i < path.size(); ++i) {
        if (r <= legTime[i] || i == path.size() - 1) {
            const Waypoint &a = path[i];
            const Waypoint &b = path[(i + 1) % path.size()];
            const double f = legTime[i] > 0.0 ? std::min(r / legTime[i], 1.0) : 0.0;
            *present = !a.silent;
            return a.pos + (b.pos - a.pos) * f;
        }
        r -= legTime[i];
    }
    return path.first().pos;
}

QJsonObject SimNode::coordinatesJson() const
{
    QJsonObject c;
    if (cfgMask & 0x20)
        c.insert(QStringLiteral("x"), round3(cfgPos.x));
    if (cfgMask & 0x40)
        c.insert(QStringLiteral("y"), round3(cfgPos.y));
    if (cfgMask & 0x80)
        c.insert(QStringLiteral("z"), round3(cfgPos.z));
    return c;
}

QJsonObject SimNode::listJson() const
{
    QJsonObject o;
    o.insert(QStringLiteral("id"), idString());
    o.insert(QStringLiteral("name"), name);
    o.insert(QStringLiteral("mode"), mode);
    o.insert(QStringLiteral("nodeOptions"), hex16(nodeOptions()));
    o.insert(QStringLiteral("roles"), hex16(roles));
    o.insert(QStringLiteral("seat"), QString::number(seat));
    o.insert(QStringLiteral("group"), QString::number(group));
    if (isAnchor() && cfgMask)
        o.insert(QStringLiteral("coordinates"), coordinatesJson());
    return o;
}

QJsonObject SimNode::detailsJson() const
{
    QJsonObject o = listJson();
    o.remove(QStringLiteral("nodeOptions"));
    QJsonObject details;
    details.insert(QStringLiteral("nodeOptions"), hex16(nodeOptions()));
    details.insert(QStringLiteral("flags"), hex16(flags));
    o.insert(QStringLiteral("nodeDetails"), details);
    o.insert(QStringLiteral("parent"), parent);
    o.insert(QStringLiteral("hwVersion"), QStringLiteral("0x0103"));
    o.insert(QStringLiteral("fwVersion"), QStringLiteral("0x020A"));
    if (isTag()) {
        o.insert(QStringLiteral("vbat"), vbat);
        o.insert(QStringLiteral("io"), int(io));
        QJsonObject sensors;
        sensors.insert(QStringLiteral("temperature"), temperature);
        o.insert(QStringLiteral("sensors"), sensors);
    }
    return o;
}

QJsonObject SimNode::statsJson(qint64 nowMs) const
{
    QJsonObject o;
    o.insert(QStringLiteral("id"), idString());
    o.insert(QStringLiteral("uptime"), double((nowMs - bootMs) / 1000));
    o.insert(QStringLiteral("memFree"), 48 * 1024 - int(id % 512));
    o.insert(QStringLiteral("cpuLoad"), 0.12 + double(id % 7) / 100.0);
    o.insert(QStringLiteral("tdoaCnt"), double(tdoaCnt));
    o.insert(QStringLiteral("twrCnt"), double(twrCnt));
    o.insert(QStringLiteral("twrErrCnt"), double(twrErrCnt));
    o.insert(QStringLiteral("reportsSent"), double(reportsSent));
    o.insert(QStringLiteral("tsyncCnt"), double((nowMs - bootMs) / 120000));
    o.insert(QStringLiteral("dwVbat"), int(vbat * 1000));
    o.insert(QStringLiteral("dwTemp"), int(temperature));
    o.insert(QStringLiteral("tsyncDrift"), 0.0);
    o.insert(QStringLiteral("tsyncErr"), 0.0);
    o.insert(QStringLiteral("rawTsyncDrift"), 0.0);
    o.insert(QStringLiteral("rawTsyncErr"), 0.0);
    return o;
}
