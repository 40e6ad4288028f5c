#include "MapColors.h"

#include "MapConstants.h"

#include <QCoreApplication>
#include <QJsonObject>
#include <QString>

#include <cmath>

QColor MapColors::defaultColor(uint64_t id, const QString &mode, uint64_t selectedId)
{
    if (id == selectedId)
        return QColor(Qt::red).lighter(Map::kSelectedLighten);
    if (mode == QLatin1String("tag"))
        return QColor(int(id & 0xFF), int((id >> 8) & 0xFF), int((id >> 16) & 0xFF), 255);
    if (mode == QLatin1String("anchor"))
        return QColor(Qt::blue).lighter(Map::kSelectedLighten);
    if (mode == QLatin1String("master"))
        return QColor(Qt::darkGreen).lighter(Map::kSelectedLighten);
    return QColor(Qt::darkCyan).lighter(Map::kSelectedLighten);
}

QColor MapColors::temperatureColor(double t, double minTemp, double maxTemp)
{
    if (!std::isfinite(t))
        return QColor();
    if (t <= minTemp)
        return QColor::fromRgbF(0, 0, 1);
    if (t >= maxTemp)
        return QColor::fromRgbF(1, 0, 0);
    static const float scale[4][3] = {{0, 0, 1}, {0, 1, 0}, {1, 1, 0}, {1, 0, 0}};
    const float f = float(t - minTemp) / float(maxTemp - minTemp) * 3.0f;
    const int i = int(std::floor(f));
    if (!(i >= 0 && i < 3))
        return QColor::fromRgbF(1, 0, 0);
    const float w = f - float(i);
    return QColor::fromRgbF(scale[i][0] + (scale[i + 1][0] - scale[i][0]) * w,
                            scale[i][1] + (scale[i + 1][1] - scale[i][1]) * w,
                            scale[i][2] + (scale[i + 1][2] - scale[i][2]) * w, 1.0);
}

QColor MapColors::qualityColor(double f)
{
    if (!(f > 0.0))
        f = 0.0;
    if (f > 1.0)
        f = 1.0;
    // Red (bad) to yellow to green (good).
    if (f < 0.5)
        return QColor::fromRgbF(1.0, f * 2.0, 0.0);
    return QColor::fromRgbF(1.0 - (f - 0.5) * 2.0, 1.0, 0.0);
}

QString MapColors::readColorKey(const QJsonObject &obj, const char *key, const QColor &fallback, QColor *value,
                                const QString &owner)
{
    const QJsonValue v = obj.value(QLatin1String(key));
    if (!v.isString())
        return QString();
    const QColor colour(v.toString());
    if (colour.isValid()) {
        *value = colour;
        return QString();
    }
    *value = fallback;
    // One substitution pass: a zone's name may itself hold "%2".
    return QCoreApplication::translate("MapColors", "%1: invalid colour \"%2\" for %3, using %4")
        .arg(owner, v.toString(), QLatin1String(key), fallback.name());
}
