#include "MapCameraPreset.h"

namespace {

// Front and side views look across the site at this height.
constexpr double kEyeHeight = 2.0;
// The top view looks down from far above, orthographically.
constexpr double kTopHeight = 1000.0;

} // namespace

MapCameraPreset::Placement MapCameraPreset::placement(Kind kind, const qglviewer::Vec &min,
                                                      const qglviewer::Vec &max)
{
    const qglviewer::Vec mid = (min + max) / 2.0;
    Placement p;
    p.up = qglviewer::Vec(0, 0, 1);
    switch (kind) {
    case Perspective:
        p.position = qglviewer::Vec(2.0 * max.x, -1.5 * max.y, 0.8 * (max.x + max.y));
        p.lookAt = qglviewer::Vec(0, 0, 0);
        break;
    case Front:
        p.perspective = false;
        p.position = qglviewer::Vec(min.x, mid.y, kEyeHeight);
        p.lookAt = qglviewer::Vec(max.x, mid.y, kEyeHeight);
        break;
    case Side:
        p.perspective = false;
        p.position = qglviewer::Vec(mid.x, max.y, kEyeHeight);
        p.lookAt = qglviewer::Vec(mid.x, min.y, kEyeHeight);
        break;
    case Top:
        p.perspective = false;
        p.up = qglviewer::Vec(0, 1, 0);
        p.position = qglviewer::Vec(mid.x, mid.y, kTopHeight);
        p.lookAt = qglviewer::Vec(mid.x, mid.y, 0);
        break;
    }
    return p;
}
