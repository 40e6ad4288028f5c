#include "CameraLevel.h"

#include <algorithm>
#include <cmath>

using qglviewer::Quaternion;
using qglviewer::Vec;

namespace {

constexpr double kTiny = 1e-10;

Vec horizontal(const Vec &v)
{
    return Vec(v.x, v.y, 0.0);
}

} // namespace

CameraLevel::CameraLevel(double minElevation, double maxElevation)
    : m_min(std::min(minElevation, maxElevation))
    , m_max(std::max(minElevation, maxElevation))
{
}

void CameraLevel::heading(const Quaternion &orientation, Vec *forward, Vec *right)
{
    // Removing roll turns the camera about its view, so the view's
    // horizontal part gives the heading; an upside-down camera has tipped
    // over the vertical and its view points back over the heading.
    const Vec up = orientation.rotate(Vec(0.0, 1.0, 0.0));
    Vec f = horizontal(orientation.rotate(Vec(0.0, 0.0, -1.0)));
    if (f.squaredNorm() > kTiny) {
        if (up.z < 0.0)
            f = -f;
    } else {
        // Looking straight down or up: the right vector is horizontal then
        // and pitching leaves it alone.
        const Vec r = horizontal(orientation.rotate(Vec(1.0, 0.0, 0.0)));
        f = Vec(-r.y, r.x, 0.0);
    }
    f.normalize();
    *forward = f;
    // right = forward x up
    *right = Vec(f.y, -f.x, 0.0);
}

double CameraLevel::azimuth(const Quaternion &orientation)
{
    Vec forward, right;
    heading(orientation, &forward, &right);
    return std::atan2(forward.y, forward.x);
}

double CameraLevel::elevation(const Quaternion &orientation)
{
    Vec forward, right;
    heading(orientation, &forward, &right);
    const Vec view = orientation.rotate(Vec(0.0, 0.0, -1.0));
    return std::atan2(-view.z, view * forward);
}

double CameraLevel::roll(const Quaternion &orientation)
{
    const Vec right = orientation.rotate(Vec(1.0, 0.0, 0.0));
    return std::asin(std::clamp(right.z, -1.0, 1.0));
}

Quaternion CameraLevel::level(const Quaternion &orientation) const
{
    Vec forward, right;
    heading(orientation, &forward, &right);
    const double e = std::clamp(elevation(orientation), m_min, m_max);
    const Vec view = std::cos(e) * forward - std::sin(e) * Vec(0.0, 0.0, 1.0);
    const Vec z = -view;
    const Vec y = cross(z, right);
    Quaternion q;
    q.setFromRotatedBasis(right, y, z);
    return q;
}

Quaternion CameraLevel::constrainRotation(const Quaternion &current, const Quaternion &rotation) const
{
    const Quaternion target = level(current * rotation);
    Quaternion local = current.inverse() * target;
    local.normalize();
    return local;
}

Vec CameraLevel::positionFacing(const Quaternion &orientation, const Vec &pivot, double distance)
{
    return pivot + distance * orientation.rotate(Vec(0.0, 0.0, 1.0));
}
