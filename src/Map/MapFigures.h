#pragma once

#include <QGLViewer/quaternion.h>
#include <QGLViewer/vec.h>

// The measurement figures drawn for the selected node, as points: distance
// segments, range circles facing the camera, and the loci of time
// differences of arrival (a hyperbola branch, or a straight line where the
// hyperbola degenerates). Degenerate geometry gives no points.
class MapFigures
{
public:
    // The segment from p towards q of the measured length d; false when p
    // and q coincide.
    static bool distanceSegment(const qglviewer::Vec &p, const qglviewer::Vec &q, double d, qglviewer::Vec &end);

    // kCircleVertices points of the circle of the given radius round centre,
    // in the plane facing a camera of the given orientation.
    static void circle(const qglviewer::Vec &centre, double radius, const qglviewer::Quaternion &cameraOrientation,
                       qglviewer::Vec *out);

    // Points of the locus of a time difference between anchors a and b
    // (arrival times ta and tb, seconds) seen by a node at s. The hyperbola
    // branch has kHyperbolaPoints points; where the difference is zero the
    // locus is the bisecting line, where it reaches the baseline it is the
    // baseline's extension beyond the earlier anchor: two points, 100
    // baselines long. Returns the number of points; 0 when a and b
    // coincide, when a time is zero, or when the plane of a, b and s is not
    // defined (s on the anchors' line) and a direction across the baseline
    // is needed.
    static int timeDifferenceLocus(const qglviewer::Vec &a, const qglviewer::Vec &b, const qglviewer::Vec &s,
                                   double ta, double tb, qglviewer::Vec *out);
};
