#include "MapSiteFit.h"

#include "MapCameraState.h"

#include <QGLViewer/camera.h>

#include <algorithm>
#include <cmath>

namespace {

using qglviewer::Vec;

// No point comes closer to the camera than this, in metres, so that
// nothing of the site falls behind the near plane.
constexpr double kNearClearance = 1.0;
// Rounds of moving the perspective camera's aim to the middle of what it
// sees; each halves what is left off centre, or better.
constexpr int kCentringRounds = 8;

struct Axes
{
    Vec direction;
    Vec right;
    Vec up;
};

Axes screenAxes(const MapSiteFit::View &view)
{
    Axes a;
    a.direction = view.direction;
    a.direction.normalize();
    a.right = a.direction ^ view.up;
    a.right.normalize();
    a.up = a.right ^ a.direction;
    return a;
}

// How far back from centre a perspective camera must stand for every point
// to be inside the view.
double perspectiveDistance(const std::vector<Vec> &points, const Vec &centre, const Axes &a, double tanHorizontal,
                           double tanVertical)
{
    double distance = 0.0;
    for (const Vec &p : points) {
        const Vec d = p - centre;
        const double along = d * a.direction;
        distance = std::max({distance, std::fabs(d * a.right) / tanHorizontal - along,
                             std::fabs(d * a.up) / tanVertical - along, kNearClearance - along});
    }
    return distance;
}

} // namespace

MapSiteFit::View MapSiteFit::View::of(const qglviewer::Camera &camera)
{
    View view;
    view.direction = camera.viewDirection();
    view.up = camera.upVector();
    view.perspective = camera.type() == qglviewer::Camera::PERSPECTIVE;
    view.verticalFieldOfView = camera.fieldOfView();
    view.aspectRatio = camera.aspectRatio();
    return view;
}

void MapSiteFit::apply(qglviewer::Camera *camera, const Placement &placement)
{
    camera->setPosition(placement.position);
    camera->setPivotPoint(placement.pivot);
    // A new pivot makes an orthographic camera keep the picture's size by
    // changing its scale; the fit's size comes from its field of view.
    if (camera->type() == qglviewer::Camera::ORTHOGRAPHIC)
        MapCameraState::setOrthoScale(camera, std::tan(camera->fieldOfView() / 2.0));
}

bool MapSiteFit::extent(const std::vector<Vec> &points, Vec *min, Vec *max)
{
    if (points.empty())
        return false;
    Vec low = points.front();
    Vec high = points.front();
    for (const Vec &p : points) {
        low = Vec(std::min(low.x, p.x), std::min(low.y, p.y), std::min(low.z, p.z));
        high = Vec(std::max(high.x, p.x), std::max(high.y, p.y), std::max(high.z, p.z));
    }
    *min = low;
    *max = high;
    return true;
}

MapSiteFit::Placement MapSiteFit::fit(const std::vector<Vec> &points, const View &view, double margin)
{
    const Axes a = screenAxes(view);
    Vec min;
    Vec max;
    extent(points, &min, &max);
    Vec centre = (min + max) / 2.0;
    // A cross of the least size across the line of sight, about the middle.
    std::vector<Vec> shape = points;
    const double half = kMinimumSize / 2.0;
    for (const Vec &offset : {a.right * half, a.right * -half, a.up * half, a.up * -half})
        shape.push_back(centre + offset);

    const double grow = 1.0 + std::max(0.0, margin);
    const double aspect = view.aspectRatio > 0.0 ? view.aspectRatio : 1.0;
    const double tanVertical = std::tan(view.verticalFieldOfView / 2.0);
    const double tanHorizontal = tanVertical * aspect;

    Placement placement;
    if (view.perspective) {
        for (int round = 0; round < kCentringRounds; ++round) {
            const double distance =
                perspectiveDistance(shape, centre, a, tanHorizontal / grow, tanVertical / grow);
            // Where the points are seen, as tangents off the line of sight.
            double left = 0.0, right = 0.0, low = 0.0, high = 0.0;
            for (const Vec &p : shape) {
                const Vec d = p - centre;
                const double depth = distance + d * a.direction;
                left = std::min(left, (d * a.right) / depth);
                right = std::max(right, (d * a.right) / depth);
                low = std::min(low, (d * a.up) / depth);
                high = std::max(high, (d * a.up) / depth);
            }
            centre += a.right * ((left + right) / 2.0 * distance) + a.up * ((low + high) / 2.0 * distance);
        }
        const double distance =
            perspectiveDistance(shape, centre, a, tanHorizontal / grow, tanVertical / grow);
        placement.position = centre - distance * a.direction;
        placement.pivot = centre;
        return placement;
    }

    // Orthographic: the view is the same at every depth; it is as large as
    // the pivot is far from the camera (its half-height, or half-width when
    // the view is taller than wide, is that distance times the tangent of
    // half the field of view).
    double left = 0.0, right = 0.0, low = 0.0, high = 0.0, nearest = 0.0;
    for (const Vec &p : shape) {
        const Vec d = p - centre;
        left = std::min(left, d * a.right);
        right = std::max(right, d * a.right);
        low = std::min(low, d * a.up);
        high = std::max(high, d * a.up);
    }
    centre += a.right * ((left + right) / 2.0) + a.up * ((low + high) / 2.0);
    const double halfWidth = (right - left) / 2.0 * grow;
    const double halfHeight = (high - low) / 2.0 * grow;
    for (const Vec &p : shape)
        nearest = std::max(nearest, -((p - centre) * a.direction));
    const double widthFactor = aspect < 1.0 ? 1.0 : aspect;
    const double heightFactor = aspect < 1.0 ? 1.0 / aspect : 1.0;
    const double sizeDistance = std::max(halfWidth / widthFactor, halfHeight / heightFactor) / tanVertical;
    const double back = std::max(sizeDistance, nearest + kNearClearance);
    placement.position = centre - back * a.direction;
    placement.pivot = placement.position + sizeDistance * a.direction;
    return placement;
}
