#include "NodeObject.h"

#include "MapConstants.h"
#include "MapFrameContext.h"
#include "MapGeometry.h"
#include "MapLog.h"
#include "NodeGlyphs.h"
#include "RtlsConvert.h"

#include <QGLViewer/camera.h>

#include <GL/gl.h>

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
    m_history.push(float(x), float(y), float(z));
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

void NodeObject::drawGlyph(unsigned int flags, const MapFrameContext &frame)
{
    const qglviewer::Vec p = m_frame.position();
    const double z = MapGeometry::spread(p.z, frame.floorSize, frame.floorExtend);
    const float r = float(m_color.redF());
    const float g = float(m_color.greenF());
    const float b = float(m_color.blueF());

    glPushMatrix();
    glTranslated(p.x, p.y, z);
    const qglviewer::Quaternion q = m_frame.orientation();
    if (q[3] < 1.0)
        glMultMatrixd(q.matrix());

    if (flags & Map::kModeArrow) {
        NodeGlyphs::arrow(r, g, b);
    } else if (frame.glyphs) {
        glColor3f(r, g, b);
        glPushMatrix();
        glScaled(m_radius, m_radius, m_radius);
        frame.glyphs->sphere();
        glPopMatrix();
        glPushMatrix();
        glScaled(m_radius, m_radius, m_height);
        frame.glyphs->cylinder();
        glPopMatrix();
        glColor3f(1.0f, 1.0f, 1.0f);
        glPushMatrix();
        glTranslated(0.0, 0.0, m_height);
        glScaled(m_radius, m_radius, 1.0);
        const unsigned int texture = m_texture.hasPicture() ? m_texture.bind(false, kGlSource) : 0;
        if (texture != 0) {
            glEnable(GL_TEXTURE_2D);
            glBindTexture(GL_TEXTURE_2D, texture);
            frame.glyphs->disk(true);
            glDisable(GL_TEXTURE_2D);
        } else {
            frame.glyphs->disk(false);
        }
        glPopMatrix();
    }
    glPopMatrix();

    if ((flags & Map::kModeLabels) && frame.labels && frame.camera && !m_label.isEmpty()) {
        // The label sits above the glyph, 1.1 heights up in the glyph's frame.
        const qglviewer::Vec local(0.0, 0.0, Map::kLabelHeightFactor * m_height);
        const qglviewer::Vec anchor = qglviewer::Vec(p.x, p.y, z) + q.rotate(local);
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

void NodeObject::drawPickBox(const MapFrameContext &frame) const
{
    const qglviewer::Vec p = m_frame.position();
    glPushMatrix();
    glTranslated(p.x, p.y, MapGeometry::spread(p.z, frame.floorSize, frame.floorExtend));
    NodeGlyphs::pickBox(m_radius, m_height);
    glPopMatrix();
}

void NodeObject::drawTrail(const MapFrameContext &frame) const
{
    PositionHistory::Run runs[2];
    const int count = m_history.newest(frame.historySize, runs);
    if (count == 0 || m_history.size() < 2)
        return;
    glColor3f(float(m_color.redF()), float(m_color.greenF()), float(m_color.blueF()));
    for (int i = 0; i < count; ++i) {
        glVertexPointer(3, GL_FLOAT, 0, runs[i].data);
        glDrawArrays(GL_LINE_STRIP, 0, runs[i].count);
    }
    if (count == 2) {
        // The ring wraps between the two runs: join them.
        const float *a = runs[0].data + size_t(runs[0].count - 1) * 3;
        const float *b = runs[1].data;
        glBegin(GL_LINES);
        glVertex3fv(a);
        glVertex3fv(b);
        glEnd();
    }
}

void NodeObject::releaseGL()
{
    GLuint texture = m_texture.takeName();
    if (texture != 0)
        glDeleteTextures(1, &texture);
}
