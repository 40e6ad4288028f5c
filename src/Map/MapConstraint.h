#pragma once

#include "CameraLevel.h"

#include <QGLViewer/constraint.h>
#include <QPointer>

class QGLViewer;

// The map camera's rotation constraint: the camera never rolls, looks down
// on the site at between 0 and 90 degrees, and turns a child viewer (the
// orientation view) along with it, so that the selected node's body is seen
// from the same side as on the map. Installed on the camera frame of the
// viewer it is bound to.
class MapConstraint : public qglviewer::Constraint
{
public:
    explicit MapConstraint(QGLViewer *viewer = nullptr);

    QGLViewer *viewer() const { return m_viewer; }
    void setViewer(QGLViewer *viewer) { m_viewer = viewer; }

    QGLViewer *childViewer() const { return m_child; }
    // The child's camera takes the map camera's orientation at once and on
    // every rotation from then on; null stops it.
    void setChildViewer(QGLViewer *child);

    const CameraLevel &limits() const { return m_level; }

    void constrainRotation(qglviewer::Quaternion &rotation, qglviewer::Frame *const frame) override;

private:
    void turnChild(const qglviewer::Quaternion &orientation);

    QPointer<QGLViewer> m_viewer;
    QPointer<QGLViewer> m_child;
    CameraLevel m_level;
};
