#include "MapFigures.h"

#include "MapConstants.h"

#include <cmath>

bool MapFigures::distanceSegment(const qglviewer::Vec &p, const qglviewer::Vec &q, double d, qglviewer::Vec &end)
{
    const qglviewer::Vec v = q - p;
    const double n2 = v.squaredNorm();
    if (!(n2 >= Map::kMinSegment2))
        return false;
    end = p + v * (d / std::sqrt(n2));
    return true;
}

void MapFigures::circle(const qglviewer::Vec &centre, double radius, const qglviewer::Quaternion &cameraOrientation,
                        qglviewer::Vec *out)
{
    for (int i = 0; i < Map::kCircleVertices; ++i) {
        const double angle = 2.0 * M_PI * i / Map::kCircleVertices;
        const qglviewer::Vec local(radius * std::cos(angle), radius * std::sin(angle), 0.0);
        out[i] = centre + cameraOrientation.rotate(local);
    }
}

int MapFigures::timeDifferenceLocus(const qglviewer::Vec &a, const qglviewer::Vec &b, const qglviewer::Vec &s,
                                    double ta, double tb, qglviewer::Vec *out)
{
    if (ta == 0.0 || tb == 0.0)
        return 0;
    const qglviewer::Vec ab = b - a;
    const double d = ab.norm();
    if (!(d * d >= Map::kMinSegment2))
        return 0;
    const qglviewer::Vec axis = ab / d;
    const double delta = std::fabs(tb - ta) * Map::kSpeedOfLight;

    if (delta >= d) {
        // Only the baseline beyond the anchor that heard first fits.
        const bool aFirst = ta < tb;
        const qglviewer::Vec start = aFirst ? a : b;
        const qglviewer::Vec away = aFirst ? -axis : axis;
        out[0] = start;
        out[1] = start + away * (Map::kDegenerateLengthFactor * d);
        return 2;
    }

    // Across the baseline, in the plane of a, b and s.
    const qglviewer::Vec as = s - a;
    qglviewer::Vec across = as - axis * (as * axis);
    const double acrossNorm = across.norm();
    if (!(acrossNorm * acrossNorm >= Map::kMinSegment2))
        return 0;
    across /= acrossNorm;

    if (delta == 0.0) {
        const qglviewer::Vec mid = (a + b) / 2.0;
        out[0] = mid;
        out[1] = mid + across * (Map::kDegenerateLengthFactor * d);
        return 2;
    }

    const double e = (ta - tb) * Map::kSpeedOfLight / d;
    for (int i = 0; i < Map::kHyperbolaPoints; ++i) {
        const double u = Map::kHyperbolaStart + i * Map::kHyperbolaStep;
        const double x = u * d;
        const double y = (e * std::sqrt(u * u / (1.0 - e * e) + 0.25) + 0.5) * d;
        out[i] = a + across * x + axis * y;
    }
    return Map::kHyperbolaPoints;
}
