#include "MapSurveyOverlay.h"

#include "MapFrameContext.h"
#include "MapGeometry.h"

#include <QGLViewer/camera.h>

#include <GL/gl.h>

#include <cmath>

namespace {

constexpr int kCircleSegments = 48;
constexpr int kDotSegments = 16;
// Dot radius and where the label sits beside it, in metres.
constexpr double kDotRadius = 0.12;
constexpr double kLabelOffset = 0.3;
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
        for (int i = 0; i < kDotSegments; ++i) {
            const double a0 = 2.0 * M_PI * i / kDotSegments;
            const double a1 = 2.0 * M_PI * (i + 1) / kDotSegments;
            m_dotVertices.insert(m_dotVertices.end(),
                                 {float(c.x), float(c.y), float(c.z), float(c.x + kDotRadius * std::cos(a0)),
                                  float(c.y + kDotRadius * std::sin(a0)), float(c.z),
                                  float(c.x + kDotRadius * std::cos(a1)), float(c.y + kDotRadius * std::sin(a1)),
                                  float(c.z)});
            for (int v = 0; v < 3; ++v)
                m_dotColours.insert(m_dotColours.end(), {uchar(qRed(m.colour)), uchar(qGreen(m.colour)),
                                                         uchar(qBlue(m.colour)), 255});
        }
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

    glPushAttrib(GL_ENABLE_BIT | GL_DEPTH_BUFFER_BIT);
    glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);
    if (!m_dotVertices.empty()) {
        glEnableClientState(GL_VERTEX_ARRAY);
        glEnableClientState(GL_COLOR_ARRAY);
        glVertexPointer(3, GL_FLOAT, 0, m_dotVertices.data());
        glColorPointer(4, GL_UNSIGNED_BYTE, 0, m_dotColours.data());
        glDrawArrays(GL_TRIANGLES, 0, GLsizei(m_dotVertices.size() / 3));
    }
    m_lines.draw(kLineWidth);
    glPopClientAttrib();
    glPopAttrib();

    if (!frame.labels || !frame.camera)
        return;
    for (const MapSurveyMarker &m : qAsConst(m_markers)) {
        if (m.label.isEmpty())
            continue;
        const qglviewer::Vec at =
            spread(m.truth + qglviewer::Vec(kLabelOffset, kLabelOffset, 0.0), frame.floorSize, frame.floorExtend);
        const int size = MapGeometry::labelPointSize((at - frame.camera->position()).norm());
        if (size <= 0)
            continue;
        const qglviewer::Vec s = frame.camera->projectedCoordinatesOf(at);
        if (s.z > 0.0 && s.z < 1.0 && s.x >= 0 && s.y >= 0 && s.x < frame.camera->screenWidth()
            && s.y < frame.camera->screenHeight())
            frame.labels->push_back({float(s.x), float(s.y), size, &m.label});
    }
}
