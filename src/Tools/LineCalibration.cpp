#include "LineCalibration.h"

#include "CalibrationConstants.h"

#include <cmath>

LineCalibration::Ends LineCalibration::findEnds(const QVector<uint64_t> &ids, const Distance &distance)
{
    Ends best;
    for (int i = 0; i < ids.size(); ++i) {
        for (int j = i + 1; j < ids.size(); ++j) {
            const std::optional<double> d = distance(ids[i], ids[j]);
            if (!d || !std::isfinite(*d) || *d <= 0.0)
                continue;
            if (!best.valid() || *d > best.length) {
                best.begin = ids[i];
                best.end = ids[j];
                best.length = *d;
            }
        }
    }
    return best;
}

std::optional<double> LineCalibration::cosine(double toBegin, double toEnd, double length)
{
    if (!(toBegin > 0.0) || !(toEnd > 0.0) || !std::isfinite(toBegin) || !std::isfinite(toEnd)
        || !std::isfinite(length))
        return std::nullopt;
    return (toBegin * toBegin + toEnd * toEnd - length * length) / (2.0 * toBegin * toEnd);
}

LineCalibration::Alignment LineCalibration::alignment(double cosine)
{
    if (cosine > -1.0 - Calib::kOnLineCosBand && cosine < -1.0 + Calib::kOnLineCosBand)
        return Alignment::OnLine;
    if (cosine > -1.0 - Calib::kNearLineCosBand && cosine < -1.0 + Calib::kNearLineCosBand)
        return Alignment::Near;
    return Alignment::Off;
}

double LineCalibration::correction(double length, double toBegin, double toEnd)
{
    return 0.5 * (length - toBegin - toEnd);
}

std::optional<uint16_t> LineCalibration::newDelay(uint16_t current, double correction)
{
    const double value = std::trunc(double(current) - Calib::unitsFor(correction) + 0.5);
    if (!Calib::isPlausibleDelay(value))
        return std::nullopt;
    return uint16_t(value);
}
