#include "PredictedDop.h"

#include <cmath>
#include <limits>

double PredictedDop::hdop(const qglviewer::Vec &p, const QVector<qglviewer::Vec> &anchors)
{
    double a11 = 0, a12 = 0, a22 = 0;
    int used = 0;
    for (const qglviewer::Vec &a : anchors) {
        const qglviewer::Vec d = a - p;
        const double r = d.norm();
        if (!(r > 1e-6))
            continue;
        const double ux = d.x / r;
        const double uy = d.y / r;
        a11 += ux * ux;
        a12 += ux * uy;
        a22 += uy * uy;
        ++used;
    }
    if (used < 2)
        return std::numeric_limits<double>::quiet_NaN();
    const double det = a11 * a22 - a12 * a12;
    if (!(det > 1e-9))
        return std::numeric_limits<double>::infinity();
    return std::sqrt((a11 + a22) / det);
}
