#include "NodeDetailText.h"

#include "CommConstants.h"
#include "NodeRoles.h"
#include "RtlsConvert.h"

#include <QCoreApplication>
#include <QLocale>

#include <cmath>

namespace {

constexpr double kRadToDeg = 57.29577951308232;
constexpr int64_t kSecondsPerDay = 86400;

QString tr(const char *text)
{
    return QCoreApplication::translate("NodeDetailText", text);
}

} // namespace

namespace NodeDetailText {

QString unknown()
{
    return QStringLiteral("\u2014");
}

QString version(uint32_t version)
{
    return version ? Rtls::hexText(version) : unknown();
}

QString roles(uint32_t roles)
{
    const QString hex = NodeRoles::hex(roles);
    if (!roles)
        return hex;
    return QStringLiteral("%1 (%2)").arg(hex, NodeRoles::names(roles).join(QStringLiteral(", ")));
}

QString seatOrGroup(int32_t value)
{
    return value < 0 ? unknown() : QString::number(value);
}

QString coordinate(float value, bool known)
{
    return known ? QString::number(double(value), 'f', 3) : QString();
}

bool parseCoordinate(const QString &text, double *value)
{
    const QString t = text.trimmed();
    // Group separators are refused: "1,5" must never become 15.
    QLocale c = QLocale::c();
    c.setNumberOptions(QLocale::RejectGroupSeparator);
    QLocale user;
    user.setNumberOptions(QLocale::RejectGroupSeparator);
    bool ok = false;
    double v = c.toDouble(t, &ok);
    if (!ok && t.count(QLatin1Char(',')) == 1 && !t.contains(QLatin1Char('.')))
        v = c.toDouble(QString(t).replace(QLatin1Char(','), QLatin1Char('.')), &ok);
    if (!ok)
        v = user.toDouble(t, &ok);
    // Nodes keep coordinates in single precision: a value beyond it would be
    // stored and sent as infinite.
    if (!ok || !std::isfinite(float(v)))
        return false;
    *value = v;
    return true;
}

QString orientation(float q0, float q1, float q2, float q3)
{
    const double norm = std::sqrt(double(q0) * q0 + double(q1) * q1 + double(q2) * q2 + double(q3) * q3);
    if (norm == 0.0)
        return unknown();
    const double w = q0 / norm, x = q1 / norm, y = q2 / norm, z = q3 / norm;
    const double yaw = std::atan2(2.0 * (w * z + x * y), 1.0 - 2.0 * (y * y + z * z));
    const double pitch = std::asin(std::max(-1.0, std::min(1.0, 2.0 * (w * y - z * x))));
    const double roll = std::atan2(2.0 * (w * x + y * z), 1.0 - 2.0 * (x * x + y * y));
    return tr("yaw %1°, pitch %2°, roll %3°")
        .arg(yaw * kRadToDeg, 0, 'f', 1)
        .arg(pitch * kRadToDeg, 0, 'f', 1)
        .arg(roll * kRadToDeg, 0, 'f', 1);
}

QString io(uint8_t io)
{
    return QStringLiteral("0x") + QStringLiteral("%1").arg(io, 2, 16, QLatin1Char('0')).toUpper();
}

QString volts(float vbat)
{
    return QString::number(double(vbat), 'f', 2);
}

QString celsius(float temperature)
{
    return tr("%1 °C").arg(double(temperature), 0, 'f', 1);
}

QString age(uint64_t lastUpdateMs, int64_t nowMs)
{
    if (lastUpdateMs == Comm::kReportedInactive)
        return tr("inactive");
    if (lastUpdateMs == 0)
        return unknown();
    const int64_t ms = std::max<int64_t>(0, nowMs - int64_t(lastUpdateMs));
    if (ms < 10000)
        return tr("%1 s").arg(double(ms) / 1000.0, 0, 'f', 1);
    const int64_t s = ms / 1000;
    if (s < 60)
        return tr("%1 s").arg(s);
    if (s < 3600)
        return tr("%1 min %2 s").arg(s / 60).arg(s % 60);
    return tr("%1 h %2 min").arg(s / 3600).arg((s / 60) % 60);
}

QString uptime(uint32_t seconds)
{
    const int64_t s = seconds;
    const QString clock = QStringLiteral("%1:%2:%3")
                              .arg((s % kSecondsPerDay) / 3600, 2, 10, QLatin1Char('0'))
                              .arg((s / 60) % 60, 2, 10, QLatin1Char('0'))
                              .arg(s % 60, 2, 10, QLatin1Char('0'));
    return s >= kSecondsPerDay ? tr("%1 d %2").arg(s / kSecondsPerDay).arg(clock) : clock;
}

} // namespace NodeDetailText
