#include "MapSurveyOverlay.h"

#include "MapFrameContext.h"
#include "MapConstants.h"
#include "MapGeometry.h"

#include <QGLViewer/camera.h>

#include <GL/gl.h>

#include <cmath>

namespace {

constexpr int kCircleSegments = 48;
// A dot keeps its size on screen however far the map is zoomed out, so that
// every point can be found on a plan of the whole site.
constexpr float kDotPixels = 11.0f;
// The label sits up and right of the dot, this many pixels away.
constexpr float kLabelOffset = 9.0f;
// Arrow head: the length of its two strokes (at most a third of the arrow)
// and their angle to the shaft.
constexpr double kHeadLength = 0.15;
constexpr double kHeadAngle = 0.45;
constexpr float kLineWidth = 3.0f;

qglviewer::Vec spread(const qglviewer::Vec &p, double floorSize, double floorExtend)
{
    return MapGeometry::spread(p, floorSize, floorExtend);
}

} // namespace

void MapSurveyOverlay::setMarkers(const QVector<MapSurveyMarker> &markers)
{
    m_markers = markers;
    m_built = false;
}

void MapSurveyOverlay::build(double floorSize, double floorExtend)
{
    m_lines.clear();
    m_dotVertices.clear();
    m_dotColours.clear();
    for (const MapSurveyMarker &m : qAsConst(m_markers)) {
        const qglviewer::Vec c = spread(m.truth, floorSize, floorExtend);
        if (m.radius > 0.0 && std::isfinite(m.radius)) {
            m_lines.beginStrip(m.colour);
            for (int i = 0; i <= kCircleSegments; ++i) {
                const double a = 2.0 * M_PI * i / kCircleSegments;
                const float p[3] = {float(c.x + m.radius * std::cos(a)), float(c.y + m.radius * std::sin(a)),
                                    float(c.z)};
                m_lines.extend(p, 1);
            }
        }
        if (m.hasMean) {
            // The arrow keeps the truth's height: it shows the horizontal
            // bias, which is what the map's plan view can show.
            const qglviewer::Vec tip(m.mean.x, m.mean.y, m.truth.z);
            const qglviewer::Vec end = spread(tip, floorSize, floorExtend);
            const double dx = end.x - c.x, dy = end.y - c.y;
            const double length = std::hypot(dx, dy);
            if (length > 1e-6) {
                m_lines.segment(c, end, m.colour);
                const double head = std::min(kHeadLength, length / 3.0);
                const double back = std::atan2(-dy, -dx);
                for (const double side : {-kHeadAngle, kHeadAngle}) {
                    const qglviewer::Vec stroke(end.x + head * std::cos(back + side),
                                                end.y + head * std::sin(back + side), end.z);
                    m_lines.segment(end, stroke, m.colour);
                }
            }
        }
        m_dotVertices.insert(m_dotVertices.end(), {float(c.x), float(c.y), float(c.z)});
        m_dotColours.insert(m_dotColours.end(),
                            {uchar(qRed(m.colour)), uchar(qGreen(m.colour)), uchar(qBlue(m.colour)), 255});
    }
    m_built = true;
    m_floorSize = floorSize;
    m_floorExtend = floorExtend;
}

void MapSurveyOverlay::draw(const MapFrameContext &frame)
{
    if (m_markers.isEmpty())
        return;
    if (!m_built || frame.floorSize != m_floorSize || frame.floorExtend != m_floorExtend)
        build(frame.floorSize, frame.floorExtend);

    glPushAttrib(GL_ENABLE_BIT | GL_DEPTH_BUFFER_BIT | GL_POINT_BIT | GL_COLOR_BUFFER_BIT);
    glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);
    if (!m_dotVertices.empty()) {
        glEnableClientState(GL_VERTEX_ARRAY);
        glEnableClientState(GL_COLOR_ARRAY);
        glVertexPointer(3, GL_FLOAT, 0, m_dotVertices.data());
        glColorPointer(4, GL_UNSIGNED_BYTE, 0, m_dotColours.data());
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glEnable(GL_POINT_SMOOTH);
        glPointSize(kDotPixels);
        glDrawArrays(GL_POINTS, 0, GLsizei(m_dotVertices.size() / 3));
    }
    m_lines.draw(kLineWidth);
    glPopClientAttrib();
    glPopAttrib();

    if (!frame.labels || !frame.camera)
        return;
    for (const MapSurveyMarker &m : qAsConst(m_markers)) {
        if (m.label.isEmpty())
            continue;
        // Named at one size however far away: on a plan of the whole site
        // the names are what the installer reads.
        const qglviewer::Vec at = spread(m.truth, frame.floorSize, frame.floorExtend);
        const int size = Map::kLabelPointSize;
        const qglviewer::Vec s = frame.camera->projectedCoordinatesOf(at);
        if (s.z > 0.0 && s.z < 1.0 && s.x >= 0 && s.y >= 0 && s.x < frame.camera->screenWidth()
            && s.y < frame.camera->screenHeight())
            frame.labels->push_back({float(s.x + kLabelOffset), float(s.y - kLabelOffset), size, &m.label});
    }
}
