#pragma once

#include <vector>

namespace qglviewer {
class Camera;
}

// Which points of a trail a frame needs: a stretch of points that all lie
// within a pixel (on screen, at the current camera) of the straight line
// from the last point kept to the stretch's end adds nothing a user can see,
// so only its end is kept. A walk along a corridor or a gentle curve thus
// takes a few points, a tag standing still or jittering inside a pixel two,
// and the strip through the kept points stays within a pixel of the full
// one. The oldest and the newest point are always kept. Also tells whether
// a trail's box lies wholly off screen. Plain arithmetic, no GL: the camera
// is taken as the matrix it hands the GL.
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
    void keepPending();
    // Starts a stretch at the window position (x, y) of a point just kept.
    void restartAt(double x, double y);
    // Whether a stretch from the last kept point may end at window offset
    // (dx, dy) from it, r2 its squared length.
    bool canEndAt(double dx, double dy, double r2) const;
    // Narrows the directions a stretch may take to those whose line passes
    // within the tolerance of the point at window offset (dx, dy).
    void narrowTo(double dx, double dy, double r2);

    View m_view;
    double m_tolerance;
    double m_tolerance2;
    std::vector<float> *m_out = nullptr;
    // Window position of the last point kept; valid when m_hasLast.
    double m_lastX = 0;
    double m_lastY = 0;
    bool m_hasLast = false;
    // The newest point seen, when it was not kept: the end of the stretch
    // so far, kept when the next point cannot end it.
    double m_pending[3] = {};
    double m_pendingX = 0;
    double m_pendingY = 0;
    bool m_hasPending = false;
    // The directions (from the last kept point) a stretch's end may lie in
    // so that every point of the stretch is within the tolerance of its
    // line: the sector from m_lower anticlockwise to m_upper, none at all
    // when m_blocked. Points within the tolerance of the kept point narrow
    // nothing.
    bool m_narrowed = false;
    bool m_blocked = false;
    double m_lower[2] = {};
    double m_upper[2] = {};
    // Squared window distance of the stretch's farthest point that narrowed
    // the sector: an end nearer than it would leave that point beyond the
    // end of the line.
    double m_farthest2 = 0;
};
