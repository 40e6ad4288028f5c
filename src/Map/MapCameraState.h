#pragma once

#include "MapCameraPreset.h"

#include <QGLViewer/quaternion.h>
#include <QGLViewer/vec.h>
#include <QString>

#include <optional>

class QSettings;

namespace qglviewer {
class Camera;
}

// Where the map's camera stands, as it is kept between runs: the preset it
// came from (which decides its projection and what it may turn about), its
// position and orientation, its pivot point and, seen orthographically, its
// scale.
class MapCameraState
{
public:
    MapCameraPreset::Kind preset = MapCameraPreset::Perspective;
    qglviewer::Vec position;
    qglviewer::Quaternion orientation;
    qglviewer::Vec pivot;
    // Half the orthographic view's smaller side per metre from the camera to
    // the pivot; 0 for a perspective view.
    double orthoScale = 0.0;

    static MapCameraState of(const qglviewer::Camera &camera, MapCameraPreset::Kind preset);
    // Position, orientation, pivot and scale; the projection is the
    // preset's, set before.
    void applyTo(qglviewer::Camera *camera) const;

    // An orthographic camera keeps the size of its picture when its pivot
    // moves, by changing its scale; these read and set that scale.
    static double orthoScaleOf(const qglviewer::Camera &camera);
    static void setOrthoScale(qglviewer::Camera *camera, double scale);

    // Into the current group of settings.
    void write(QSettings &settings) const;
    // From the current group; nothing when a value is missing or is not a
    // finite number, or the preset is unknown.
    static std::optional<MapCameraState> read(const QSettings &settings);

    static QString presetName(MapCameraPreset::Kind kind);
    static std::optional<MapCameraPreset::Kind> presetFromName(const QString &name);
};
