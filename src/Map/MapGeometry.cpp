#include "MapGeometry.h"

#include "MapConstants.h"

#include <cmath>

double MapGeometry::spread(double z, double floorSize, double floorExtend)
{
    if (!(floorSize > 0.0) || !std::isfinite(z) || floorExtend == 0.0)
        return z;
    const double k = std::floor(z / floorSize);
    const double r = z - k * floorSize;
    return k * (floorSize + floorExtend) + r;
}

qglviewer::Vec MapGeometry::spread(const qglviewer::Vec &p, double floorSize, double floorExtend)
{
    return qglviewer::Vec(p.x, p.y, spread(p.z, floorSize, floorExtend));
}

int MapGeometry::labelPointSize(double distance)
{
    if (!(distance < Map::kLabelHiddenDistance))
        return 0;
    if (distance < Map::kLabelFullSizeDistance)
        return Map::kLabelPointSize;
    const int size = int(Map::kLabelPointSize
                         - (distance - Map::kLabelFullSizeDistance) * Map::kLabelPointSize
                             / Map::kLabelShrinkDistance);
    return size > 0 ? size : 0;
}

qglviewer::Quaternion MapGeometry::headingRotation(double degrees)
{
    const double h = degrees * M_PI / 180.0;
    qglviewer::Quaternion q;
    q.setValue(0.0, 0.0, -std::sin(h / 2.0), std::cos(h / 2.0));
    return q;
}
