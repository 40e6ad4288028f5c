#pragma once

#include <vector>

namespace qglviewer {
class Camera;
}

// Which points of a trail a frame needs: a point that falls within a pixel
// of the last point kept (on screen, at the current camera) adds nothing a
// user can see, so it is left out. Every skipped stretch lies within that
// pixel of the kept point before it, so the strip through the kept points
// stays within a pixel of the full one. The oldest and the newest point are
// always kept. Also tells whether a trail's box lies wholly off screen.
// Plain arithmetic, no GL: the camera is taken as the matrix it hands the GL.
class TrailReducer
{
public:
    // The camera as the GL sees it: model-view-projection matrix (column
    // major) and the window's size in its coordinates.
    struct View
    {
        double mvp[16] = {};
        double width = 0;
        double height = 0;

        static View of(const qglviewer::Camera &camera);
        bool operator==(const View &other) const;
        bool operator!=(const View &other) const { return !(*this == other); }
    };

    // tolerance: window coordinates within which a point is left out.
    TrailReducer(const View &view, double tolerance);

    const View &view() const { return m_view; }
    double tolerance() const { return m_tolerance; }

    // A new trail whose kept points go to out (cleared; its memory kept).
    void start(std::vector<float> *out);
    void add(double x, double y, double z);
    // Ends the trail: its newest point is kept even if it was close.
    void finish();

    // Whether the box [lo, hi] lies wholly on the far side of one of the
    // view's clipping planes, so that nothing in it is drawn.
    static bool outside(const View &view, const double lo[3], const double hi[3]);

private:
    void keep(double x, double y, double z);

    View m_view;
    double m_tolerance;
    double m_tolerance2;
    std::vector<float> *m_out = nullptr;
    // Window position of the last point kept; valid when m_hasLast.
    double m_lastX = 0;
    double m_lastY = 0;
    bool m_hasLast = false;
    // The newest point seen, when it was not kept.
    double m_pending[3] = {};
    bool m_hasPending = false;
};
