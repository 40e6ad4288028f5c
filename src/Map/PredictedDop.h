#pragma once

#include <QGLViewer/vec.h>
#include <QVector>

// What an anchor layout promises before anyone walks the site: how much the
// ranging noise grows into horizontal position error at a point, from the
// anchors' coordinates alone. The heat map paints it over the site; the site
// acceptance tool shows it beside what a tag measured on a surveyed point,
// so both give the same figure for the same place.
class PredictedDop
{
public:
    // Horizontal dilution of precision of ranging at p from the given
    // anchors: sqrt(trace((HᵀH)⁻¹)) with H the horizontal parts of the unit
    // vectors towards the anchors. NaN with fewer than two usable anchors,
    // +inf when they cannot fix both horizontal coordinates.
    static double hdop(const qglviewer::Vec &p, const QVector<qglviewer::Vec> &anchors);
};
