#pragma once

#include <QString>

#include <vector>

namespace qglviewer {
class Camera;
}

// What the scene objects need to know while one frame of the map is drawn.
// Built by the view for each frame; the label list is kept between frames so
// that drawing allocates nothing once it has seen its largest frame.
struct MapFrameContext
{
    struct Label
    {
        float x = 0; // window coordinates, pixels from the top left
        float y = 0;
        int pointSize = 0;
        const QString *text = nullptr; // owned by the node, alive for the frame
    };

    double floorSize = 0;
    double floorExtend = 0;
    int historySize = 0;
    const qglviewer::Camera *camera = nullptr;
    // Labels to be drawn in one pass after everything else.
    std::vector<Label> *labels = nullptr;
};
