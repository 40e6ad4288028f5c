#pragma once

#include <QGLViewer/quaternion.h>
#include <QGLViewer/vec.h>

// Geometry of the map that needs no GL: floor spreading, label sizes and
// node headings.
class MapGeometry
{
public:
    // Height at which z is drawn when storeys of floorSize metres are pulled
    // apart by floorExtend metres each: k·(floorSize + floorExtend) + r with
    // k = floor(z / floorSize) and r the rest. A floor size that is not
    // positive, or a non-finite height, leaves z as it is.
    static double spread(double z, double floorSize, double floorExtend);
    static qglviewer::Vec spread(const qglviewer::Vec &p, double floorSize, double floorExtend);

    // Point size of a node label seen from distance metres away: 10 up to
    // 20 m, shrinking to 1 at 38 m; 0 means the label is not drawn.
    static int labelPointSize(double distance);

    // Rotation about z by minus the heading (degrees).
    static qglviewer::Quaternion headingRotation(double degrees);
};
