#include "MapConstraint.h"

#include <QGLViewer/camera.h>
#include <QGLViewer/frame.h>
#include <QGLViewer/manipulatedCameraFrame.h>
#include <QGLViewer/qglviewer.h>

using qglviewer::Quaternion;
using qglviewer::Vec;

MapConstraint::MapConstraint(QGLViewer *viewer)
    : m_viewer(viewer)
{
}

void MapConstraint::setChildViewer(QGLViewer *child)
{
    m_child = child;
    if (m_child && m_viewer)
        turnChild(m_level.level(m_viewer->camera()->orientation()));
}

void MapConstraint::constrainRotation(Quaternion &rotation, qglviewer::Frame *const frame)
{
    if (!frame)
        return;
    const Quaternion current = frame->orientation();
    rotation = m_level.constrainRotation(current, rotation);
    turnChild(current * rotation);
}

void MapConstraint::turnChild(const Quaternion &orientation)
{
    if (!m_child || m_child == m_viewer)
        return;
    qglviewer::Camera *camera = m_child->camera();
    const Vec pivot = camera->pivotPoint();
    double distance = (camera->position() - pivot).norm();
    if (distance <= 0.0)
        distance = 2.5 * camera->sceneRadius();
    camera->setOrientation(orientation);
    camera->setPosition(CameraLevel::positionFacing(orientation, pivot, distance));
    m_child->update();
}
