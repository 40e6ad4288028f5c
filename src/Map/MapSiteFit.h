#pragma once

#include <QGLViewer/vec.h>

namespace qglviewer {
class Camera;
}

#include <vector>

// Where the camera goes so that the whole site fills the map: every given
// point (the anchors, say) in view with a margin, the site in the middle,
// seen along the camera's present direction. Plain geometry, without GL:
// the view applies the placement to its camera.
class MapSiteFit
{
public:
    // What fraction of the view's half-size is left free around the site.
    static constexpr double kDefaultMargin = 0.1;
    // Shown at least this large across, in metres: one anchor, or anchors
    // on a line seen end on, would fill the view otherwise.
    static constexpr double kMinimumSize = 4.0;

    struct View
    {
        qglviewer::Vec direction{0, 0, -1}; // where the camera looks
        qglviewer::Vec up{0, 1, 0};         // not along the direction
        bool perspective = true;
        double verticalFieldOfView = 0.785398163397448; // radians; also sets the orthographic scale
        double aspectRatio = 1.0;                         // width over height

        // How this camera looks now.
        static View of(const qglviewer::Camera &camera);
    };

    struct Placement
    {
        qglviewer::Vec position;
        // The camera's pivot point: the site's middle in perspective; in an
        // orthographic view the point on the line of sight whose distance
        // from the camera gives the view its size.
        qglviewer::Vec pivot;
    };

    // The box around the points; false when there are none.
    static bool extent(const std::vector<qglviewer::Vec> &points, qglviewer::Vec *min, qglviewer::Vec *max);

    // Needs at least one point.
    static Placement fit(const std::vector<qglviewer::Vec> &points, const View &view,
                         double margin = kDefaultMargin);

    // Moves the camera there. Its clipping planes follow its scene box,
    // which must take in the points.
    static void apply(qglviewer::Camera *camera, const Placement &placement);
};
