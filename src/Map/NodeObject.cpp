#include "NodeObject.h"

#include "MapConstants.h"
#include "MapFrameContext.h"
#include "MapGeometry.h"
#include "MapPixelRatio.h"
#include "MapLog.h"
#include "GlBox.h"
#include "GlyphBatch.h"
#include "GlyphMesh.h"
#include "LineBatch.h"
#include "RtlsConvert.h"

#include <QGLViewer/camera.h>

#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <limits>

namespace {

const char kGlSource[] = "src/Map/NodeObject";
constexpr int kLabelDigits = 4;

} // namespace

NodeObject::NodeObject(QObject *parent)
    : AbstractObject(parent),
      m_color(210, 180, 50),
      m_height(Map::kNodeDefaultSize),
      m_radius(Map::kNodeDefaultSize),
      m_history(Map::kHistoryLimit)
{
}

QString NodeObject::labelFor(uint64_t id)
{
    return QStringLiteral("...") + Rtls::hexId(id).right(kLabelDigits);
}

void NodeObject::setId(uint64_t id)
{
    m_id = id;
    if (m_label.isEmpty())
        m_label = labelFor(id);
}

void NodeObject::setMode(const QString &mode)
{
    m_mode = mode;
    m_isTag = mode == QLatin1String("tag");
}

void NodeObject::setPosition(double x, double y, double z)
{
    moveTo(x, y, z);
    m_history.push(x, y, z);
    ++m_historyVersion;
    m_placed = true;
    emit nodeObjectMovedSignal();
}

void NodeObject::setHeading(double degrees)
{
    setOrientation(MapGeometry::headingRotation(degrees));
}

void NodeObject::clearHistory()
{
    m_history.clear();
    ++m_historyVersion;
}

bool NodeObject::setImage(const QString &fileName)
{
    if (fileName == m_image)
        return true;
    m_image = fileName;
    if (m_texture.load(fileName))
        return true;
    qCWarning(lcMap, "Unable to load file %s, unsupported file format", qUtf8Printable(fileName));
    return false;
}

void NodeObject::loadTexture(const char *filename)
{
    setImage(QString::fromLocal8Bit(filename));
}

qglviewer::Vec NodeObject::drawnPosition(const MapFrameContext &frame) const
{
    return MapGeometry::spread(m_frame.position(), frame.floorSize, frame.floorExtend);
}

void NodeObject::appendGlyph(GlyphBatch &batch, unsigned int flags, const MapFrameContext &frame)
{
    const qglviewer::Vec p = drawnPosition(frame);
    const qglviewer::Quaternion q = m_frame.orientation();
    if (flags & Map::kModeArrow) {
        batch.add(GlyphMesh::arrow(), p, q, m_radius, m_height, m_color);
    } else {
        GlyphMesh::Detail detail = GlyphMesh::Fine;
        if (frame.camera) {
            const double metresPerPixel = frame.camera->pixelGLRatio(p);
            // In device pixels: on a high-density screen the outline is
            // seen at the screen's own resolution.
            if (metresPerPixel > 0)
                detail = GlyphMesh::detailFor(m_radius / metresPerPixel * MapPixelRatio::ratio());
        }
        batch.add(GlyphMesh::glyph(detail), p, q, m_radius, m_height, m_color);
    }

    if ((flags & Map::kModeLabels) && frame.labels && frame.camera && !m_label.isEmpty()) {
        // The label sits above the glyph, 1.1 heights up in the glyph's frame.
        const qglviewer::Vec anchor = p + q.rotate(qglviewer::Vec(0.0, 0.0, Map::kLabelHeightFactor * m_height));
        const int size = MapGeometry::labelPointSize((anchor - frame.camera->position()).norm());
        if (size > 0) {
            const qglviewer::Vec s = frame.camera->projectedCoordinatesOf(anchor);
            // Behind the camera or off the window: nothing to read.
            if (s.z > 0.0 && s.z < 1.0 && s.x >= 0 && s.y >= 0 && s.x < frame.camera->screenWidth()
                && s.y < frame.camera->screenHeight())
                frame.labels->push_back({float(s.x), float(s.y), size, &m_label});
        }
    }
}

void NodeObject::drawTexturedDisk(const MapFrameContext &frame)
{
    const unsigned int texture = m_texture.bind(false, kGlSource);
    if (texture == 0)
        return;
    // Quadrics are made once and shared by every node.
    static GLUquadric *quadric = [] {
        GLUquadric *q = gluNewQuadric();
        gluQuadricNormals(q, GLU_SMOOTH);
        gluQuadricTexture(q, GL_TRUE);
        return q;
    }();
    const qglviewer::Vec p = drawnPosition(frame);
    glPushAttrib(GL_ENABLE_BIT | GL_TEXTURE_BIT | GL_CURRENT_BIT | GL_POLYGON_BIT | GL_HINT_BIT);
    glPushMatrix();
    glTranslated(p.x, p.y, p.z);
    const qglviewer::Quaternion q = m_frame.orientation();
    glMultMatrixd(q.matrix());
    glTranslated(0.0, 0.0, m_height);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
    // Over the white disk of the glyph, which lies in the same plane.
    glEnable(GL_POLYGON_OFFSET_FILL);
    glPolygonOffset(-1.0f, -1.0f);
    glColor3f(1.0f, 1.0f, 1.0f);
    gluDisk(quadric, 0.0, Map::kNodeDiskFactor * m_radius, Map::kNodeSlices, 1);
    glPopMatrix();
    glPopAttrib();
}

void NodeObject::drawPickBox(const MapFrameContext &frame) const
{
    // Drawn directly: display lists are not safe in selection mode on every
    // GL (Mesa's software GL crashes on them).
    const qglviewer::Vec p = drawnPosition(frame);
    const double x[2] = {p.x - m_radius, p.x + m_radius};
    const double y[2] = {p.y - m_radius, p.y + m_radius};
    const double z[2] = {p.z - m_radius, p.z + m_height};
    GlBox::faces(x, y, z);
}

template<typename Point>
void NodeObject::forEachTrailPoint(int count, Point &&point) const
{
    // Several runs where the ring wraps or a new origin begins: the trail
    // goes on across each seam.
    m_history.forEachRun(count, [&point](const PositionHistory::Run &run) {
        const double scale = PositionHistory::kMetresPerUnit;
        for (int i = 0; i < run.count; ++i) {
            const int16_t *u = run.data + 3 * i;
            // Summed in double: an origin far out would round a float's
            // centimetres.
            point(run.origin[0] + u[0] * scale, run.origin[1] + u[1] * scale, run.origin[2] + u[2] * scale);
        }
    });
}

void NodeObject::appendTrail(LineBatch &batch, int historySize, TrailReducer &reducer)
{
    if (historySize <= 0 || m_history.size() < 2)
        return;
    TrailCache &t = m_trail;
    if (t.version != m_historyVersion || t.historySize != historySize) {
        t.version = m_historyVersion;
        t.historySize = historySize;
        t.reduced = false;
        for (int axis = 0; axis < 3; ++axis) {
            t.lo[axis] = std::numeric_limits<double>::infinity();
            t.hi[axis] = -std::numeric_limits<double>::infinity();
        }
        forEachTrailPoint(historySize, [&t](double x, double y, double z) {
            const double p[3] = {x, y, z};
            for (int axis = 0; axis < 3; ++axis) {
                t.lo[axis] = std::min(t.lo[axis], p[axis]);
                t.hi[axis] = std::max(t.hi[axis], p[axis]);
            }
        });
    }
    if (TrailReducer::outside(reducer.view(), t.lo, t.hi))
        return;
    if (!t.reduced || t.view != reducer.view() || t.tolerance != reducer.tolerance()) {
        reducer.start(&t.points);
        forEachTrailPoint(historySize, [&reducer](double x, double y, double z) { reducer.add(x, y, z); });
        reducer.finish();
        t.reduced = true;
        t.view = reducer.view();
        t.tolerance = reducer.tolerance();
    }
    batch.beginStrip(m_color.rgba());
    batch.extend(t.points.data(), int(t.points.size() / 3));
}

void NodeObject::releaseGL()
{
    m_texture.release();
}
