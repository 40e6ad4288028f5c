#include "MapPixelRatio.h"

namespace {

double &current()
{
    static double ratio = 1.0;
    return ratio;
}

} // namespace

void MapPixelRatio::set(double ratio)
{
    current() = ratio > 0.0 ? ratio : 1.0;
}

double MapPixelRatio::ratio()
{
    return current();
}

float MapPixelRatio::lineWidth(double width)
{
    return float(width * current());
}
