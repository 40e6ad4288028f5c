#pragma once

#include <QGLViewer/vec.h>

// Where the four camera presets of the map put the camera, from the scene
// box (the grid's).
class MapCameraPreset
{
public:
    enum Kind { Perspective, Top, Front, Side };

    struct Placement
    {
        bool perspective = true;
        qglviewer::Vec up;
        qglviewer::Vec position;
        qglviewer::Vec lookAt;
    };

    static Placement placement(Kind kind, const qglviewer::Vec &min, const qglviewer::Vec &max);
};
