#pragma once

#include <QGLViewer/quaternion.h>
#include <QGLViewer/vec.h>

// The geometry of the map camera's limits, without a viewer or GL: an
// orientation is kept level (no roll: the camera's right vector stays
// horizontal, the view keeps its direction) and its elevation, the angle by
// which the view looks down from the horizontal, stays within
// [minElevation, maxElevation].
// Camera convention of the viewer: it looks along its local -Z, its up is
// local +Y; the world's up is +Z.
class CameraLevel
{
public:
    CameraLevel() = default;
    CameraLevel(double minElevation, double maxElevation);

    double minElevation() const { return m_min; }
    double maxElevation() const { return m_max; }

    // Heading of the view in the floor plane: the angle of its horizontal
    // forward direction from +X towards +Y, in radians (-pi, pi].
    static double azimuth(const qglviewer::Quaternion &orientation);
    // How far the view looks down from the horizontal, radians; beyond
    // pi/2 when the camera has tipped over the vertical.
    static double elevation(const qglviewer::Quaternion &orientation);
    // Angle of the camera's right vector above the floor plane, radians.
    static double roll(const qglviewer::Quaternion &orientation);

    // The orientation with the same heading, no roll and the elevation
    // clamped to the limits.
    qglviewer::Quaternion level(const qglviewer::Quaternion &orientation) const;
    // The rotation, in the camera's local frame, that takes current to the
    // level form of current * rotation: what a constraint hands back.
    qglviewer::Quaternion constrainRotation(const qglviewer::Quaternion &current,
                                            const qglviewer::Quaternion &rotation) const;

    // Where a camera with this orientation stands to look at pivot from
    // distance away.
    static qglviewer::Vec positionFacing(const qglviewer::Quaternion &orientation,
                                         const qglviewer::Vec &pivot, double distance);

private:
    // Level heading of an orientation: the horizontal forward direction
    // and the matching right vector, both unit length.
    static void heading(const qglviewer::Quaternion &orientation, qglviewer::Vec *forward,
                        qglviewer::Vec *right);

    double m_min = 0.0;
    double m_max = 1.5707963267948966;
};
