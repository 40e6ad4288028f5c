#include "LineBatch.h"
#include "MapPixelRatio.h"

#include <GL/gl.h>

void LineBatch::clear()
{
    m_positions.clear();
    m_colors.clear();
    m_indices.clear();
    m_stripOpen = false;
}

void LineBatch::point(float x, float y, float z)
{
    m_positions.insert(m_positions.end(), {x, y, z});
    m_colors.insert(m_colors.end(), {m_colour[0], m_colour[1], m_colour[2], m_colour[3]});
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
    for (int i = 0; i < count; ++i) {
        const uint32_t index = uint32_t(m_positions.size() / 3);
        point(xyz[3 * i], xyz[3 * i + 1], xyz[3 * i + 2]);
        if (m_stripOpen)
            m_indices.insert(m_indices.end(), {index - 1, index});
        m_stripOpen = true;
    }
}

void LineBatch::extend(const int16_t *units, int count, const double origin[3], double scale)
{
    for (int i = 0; i < count; ++i) {
        const uint32_t index = uint32_t(m_positions.size() / 3);
        // Summed in double: an origin far out would round a float's centimetres.
        point(float(origin[0] + units[3 * i] * scale), float(origin[1] + units[3 * i + 1] * scale),
              float(origin[2] + units[3 * i + 2] * scale));
        if (m_stripOpen)
            m_indices.insert(m_indices.end(), {index - 1, index});
        m_stripOpen = true;
    }
}

void LineBatch::segment(const qglviewer::Vec &a, const qglviewer::Vec &b, QRgb colour)
{
    beginStrip(colour);
    const float points[6] = {float(a.x), float(a.y), float(a.z), float(b.x), float(b.y), float(b.z)};
    extend(points, 2);
    m_stripOpen = false;
}

void LineBatch::draw(float width) const
{
    if (m_indices.empty())
        return;
    glPushAttrib(GL_ENABLE_BIT | GL_LINE_BIT);
    glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
    glDisable(GL_LIGHTING);
    glLineWidth(MapPixelRatio::lineWidth(width));
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, m_positions.data());
    glColorPointer(4, GL_UNSIGNED_BYTE, 0, m_colors.data());
    glDrawElements(GL_LINES, GLsizei(m_indices.size()), GL_UNSIGNED_INT, m_indices.data());
    glPopClientAttrib();
    glPopAttrib();
}
