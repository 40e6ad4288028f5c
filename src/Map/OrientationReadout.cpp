#include "OrientationReadout.h"

#include "RtlsConvert.h"

#include <QCoreApplication>

#include <algorithm>
#include <cmath>

namespace {

constexpr double kRadToDeg = 180.0 / M_PI;
// Below this length a quaternion carries no direction worth drawing.
constexpr double kMinNorm = 1e-6;

QString tr(const char *text)
{
    return QCoreApplication::translate("OrientationView", text);
}

} // namespace

void OrientationReadout::clearSelection()
{
    m_selected = false;
    m_id = 0;
    m_label.clear();
    setQuaternion(0.0f, 0.0f, 0.0f, 0.0f);
}

void OrientationReadout::select(uint64_t id, const QString &label)
{
    m_selected = true;
    m_id = id;
    m_label = label;
}

void OrientationReadout::setQuaternion(float q0, float q1, float q2, float q3)
{
    const double w = q0, x = q1, y = q2, z = q3;
    const double norm = std::sqrt(w * w + x * x + y * y + z * z);
    m_hasData = std::isfinite(norm) && norm > kMinNorm;
    if (!m_hasData) {
        m_rotation = qglviewer::Quaternion();
        m_roll = m_pitch = m_yaw = 0.0;
        return;
    }
    const double a = w / norm, b = x / norm, c = y / norm, d = z / norm;
    // qglviewer::Quaternion takes x, y, z, w.
    m_rotation = qglviewer::Quaternion(b, c, d, a);
    m_roll = std::atan2(2.0 * (a * b + c * d), 1.0 - 2.0 * (b * b + c * c)) * kRadToDeg;
    m_pitch = std::asin(std::clamp(2.0 * (a * c - d * b), -1.0, 1.0)) * kRadToDeg;
    m_yaw = std::atan2(2.0 * (a * d + b * c), 1.0 - 2.0 * (c * c + d * d)) * kRadToDeg;
}

QStringList OrientationReadout::lines(int decimals) const
{
    if (!m_selected)
        return {tr("No selection")};
    if (!m_hasData)
        return {m_label, tr("no orientation data")};
    // -0.0 would print as "-0.0" for a node lying perfectly still.
    const double zero = 0.5 * std::pow(10.0, -decimals);
    const auto angle = [decimals, zero](double v) { return QString::number(std::abs(v) < zero ? 0.0 : v, 'f', decimals); };
    return {m_label, tr("Roll: %1°  Pitch: %2°  Yaw: %3°").arg(angle(m_roll), angle(m_pitch), angle(m_yaw))};
}

QString OrientationReadout::label(uint64_t id, const QString &name)
{
    const QString idText = Rtls::hexText(id);
    if (name.isEmpty() || name == idText)
        return idText;
    return idText + QLatin1Char(' ') + name;
}
