#include "TrailReducer.h"

#include <QGLViewer/camera.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// z of the cross product of two window vectors: positive when b lies
// anticlockwise of a.
double cross(double ax, double ay, double bx, double by)
{
    return ax * by - ay * bx;
}

} // namespace

TrailReducer::View TrailReducer::View::of(const qglviewer::Camera &camera)
{
    View view;
    camera.getModelViewProjectionMatrix(view.mvp);
    view.width = camera.screenWidth();
    view.height = camera.screenHeight();
    return view;
}

bool TrailReducer::View::operator==(const View &other) const
{
    return width == other.width && height == other.height && std::memcmp(mvp, other.mvp, sizeof mvp) == 0;
}

TrailReducer::TrailReducer(const View &view, double tolerance) : m_view(view), m_tolerance(tolerance), m_tolerance2(tolerance * tolerance)
{
}

void TrailReducer::start(std::vector<float> *out)
{
    m_out = out;
    m_out->clear();
    m_hasLast = false;
    m_hasPending = false;
}

void TrailReducer::keep(double x, double y, double z)
{
    m_out->insert(m_out->end(), {float(x), float(y), float(z)});
    m_hasPending = false;
}

void TrailReducer::keepPending()
{
    if (m_hasPending)
        keep(m_pending[0], m_pending[1], m_pending[2]);
}

void TrailReducer::restartAt(double x, double y)
{
    m_lastX = x;
    m_lastY = y;
    m_hasLast = true;
    m_narrowed = false;
    m_blocked = false;
    m_farthest2 = 0;
}

bool TrailReducer::canEndAt(double dx, double dy, double r2) const
{
    if (r2 < m_farthest2)
        return false;
    if (!m_narrowed)
        return true;
    if (m_blocked)
        return false;
    return cross(m_lower[0], m_lower[1], dx, dy) >= 0 && cross(dx, dy, m_upper[0], m_upper[1]) >= 0;
}

void TrailReducer::narrowTo(double dx, double dy, double r2)
{
    if (r2 <= m_tolerance2)
        return;
    m_farthest2 = std::max(m_farthest2, r2);
    // The two lines from the kept point that touch the circle of the
    // tolerance round this point bound the directions that pass near it.
    const double r = std::sqrt(r2);
    const double s = m_tolerance / r;
    const double c = std::sqrt(1.0 - s * s);
    const double ux = dx / r;
    const double uy = dy / r;
    const double lower[2] = {c * ux + s * uy, c * uy - s * ux};
    const double upper[2] = {c * ux - s * uy, c * uy + s * ux};
    if (!m_narrowed) {
        std::copy(lower, lower + 2, m_lower);
        std::copy(upper, upper + 2, m_upper);
        m_narrowed = true;
        return;
    }
    if (m_blocked)
        return;
    // This point lies inside the sector (it ended the stretch), and each
    // bound is less than a right angle from it: the signs of the cross
    // products order the directions.
    if (cross(m_lower[0], m_lower[1], lower[0], lower[1]) > 0)
        std::copy(lower, lower + 2, m_lower);
    if (cross(upper[0], upper[1], m_upper[0], m_upper[1]) > 0)
        std::copy(upper, upper + 2, m_upper);
    m_blocked = cross(m_lower[0], m_lower[1], m_upper[0], m_upper[1]) < 0;
}

void TrailReducer::add(double x, double y, double z)
{
    const double *m = m_view.mvp;
    const double cx = m[0] * x + m[4] * y + m[8] * z + m[12];
    const double cy = m[1] * x + m[5] * y + m[9] * z + m[13];
    const double cw = m[3] * x + m[7] * y + m[11] * z + m[15];
    if (!(cw > 0.0)) {
        // Behind the camera there are no pixels to measure by: the GL clips
        // it, and it is kept as it is, with the point before it.
        keepPending();
        keep(x, y, z);
        m_hasLast = false;
        return;
    }
    const double sx = (cx / cw + 1.0) * 0.5 * m_view.width;
    const double sy = (cy / cw + 1.0) * 0.5 * m_view.height;
    if (!m_hasLast) {
        keep(x, y, z);
        restartAt(sx, sy);
        return;
    }
    double dx = sx - m_lastX;
    double dy = sy - m_lastY;
    double r2 = dx * dx + dy * dy;
    if (m_hasPending && !canEndAt(dx, dy, r2)) {
        // The stretch ends at the point before this one.
        const double px = m_pendingX;
        const double py = m_pendingY;
        keepPending();
        restartAt(px, py);
        dx = sx - px;
        dy = sy - py;
        r2 = dx * dx + dy * dy;
    }
    m_pending[0] = x;
    m_pending[1] = y;
    m_pending[2] = z;
    m_pendingX = sx;
    m_pendingY = sy;
    m_hasPending = true;
    narrowTo(dx, dy, r2);
}

void TrailReducer::finish()
{
    keepPending();
}

bool TrailReducer::outside(const View &view, const double lo[3], const double hi[3])
{
    // Clip coordinates of the eight corners; the box is out when all of
    // them are beyond the same plane (x < -w, x > w, y < -w, y > w,
    // z < -w, z > w).
    const double *m = view.mvp;
    int beyond[6] = {0, 0, 0, 0, 0, 0};
    for (int corner = 0; corner < 8; ++corner) {
        const double x = (corner & 1) ? hi[0] : lo[0];
        const double y = (corner & 2) ? hi[1] : lo[1];
        const double z = (corner & 4) ? hi[2] : lo[2];
        double c[4];
        for (int row = 0; row < 4; ++row)
            c[row] = m[row] * x + m[4 + row] * y + m[8 + row] * z + m[12 + row];
        for (int axis = 0; axis < 3; ++axis) {
            beyond[2 * axis] += c[axis] < -c[3] ? 1 : 0;
            beyond[2 * axis + 1] += c[axis] > c[3] ? 1 : 0;
        }
    }
    for (int plane = 0; plane < 6; ++plane) {
        if (beyond[plane] == 8)
            return true;
    }
    return false;
}
