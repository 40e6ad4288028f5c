// glMultiDrawArrays (GL 1.4) is declared only with the prototypes asked
// for, before any header brings in gl.h.
#define GL_GLEXT_PROTOTYPES
#include <GL/gl.h>
#include <GL/glext.h>

#include "LineBatch.h"
#include "MapPixelRatio.h"

void LineBatch::clear()
{
    m_positions.clear();
    m_colors.clear();
    m_firsts.clear();
    m_counts.clear();
    m_stripOpen = false;
}

int LineBatch::segmentCount() const
{
    int segments = 0;
    for (int32_t count : m_counts)
        segments += count - 1;
    return segments;
}

void LineBatch::point(float x, float y, float z)
{
    if (!m_stripOpen) {
        // A strip of one point draws nothing: the next one reuses its slot.
        if (!m_counts.empty() && m_counts.back() == 1) {
            m_positions.resize(m_positions.size() - 3);
            m_colors.resize(m_colors.size() - 4);
            m_firsts.pop_back();
            m_counts.pop_back();
        }
        m_firsts.push_back(int32_t(m_positions.size() / 3));
        m_counts.push_back(0);
        m_stripOpen = true;
    }
    m_positions.insert(m_positions.end(), {x, y, z});
    m_colors.insert(m_colors.end(), {m_colour[0], m_colour[1], m_colour[2], m_colour[3]});
    ++m_counts.back();
}

void LineBatch::beginStrip(QRgb colour)
{
    m_colour[0] = uint8_t(qRed(colour));
    m_colour[1] = uint8_t(qGreen(colour));
    m_colour[2] = uint8_t(qBlue(colour));
    m_colour[3] = uint8_t(qAlpha(colour));
    m_stripOpen = false;
}

void LineBatch::extend(const float *xyz, int count)
{
    for (int i = 0; i < count; ++i)
        point(xyz[3 * i], xyz[3 * i + 1], xyz[3 * i + 2]);
}

void LineBatch::segment(const qglviewer::Vec &a, const qglviewer::Vec &b, QRgb colour)
{
    beginStrip(colour);
    const float points[6] = {float(a.x), float(a.y), float(a.z), float(b.x), float(b.y), float(b.z)};
    extend(points, 2);
    m_stripOpen = false;
}

void LineBatch::draw(float width)
{
    if (!m_counts.empty() && m_counts.back() == 1) {
        m_firsts.pop_back();
        m_counts.pop_back();
    }
    if (m_counts.empty())
        return;
    glPushAttrib(GL_ENABLE_BIT | GL_LINE_BIT | GL_LIGHTING_BIT);
    glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
    glDisable(GL_LIGHTING);
    // One colour a strip: nothing to interpolate along a line.
    glShadeModel(GL_FLAT);
    glLineWidth(MapPixelRatio::lineWidth(width));
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, m_positions.data());
    glColorPointer(4, GL_UNSIGNED_BYTE, 0, m_colors.data());
    glMultiDrawArrays(GL_LINE_STRIP, m_firsts.data(), m_counts.data(), GLsizei(m_counts.size()));
    glPopClientAttrib();
    glPopAttrib();
}
