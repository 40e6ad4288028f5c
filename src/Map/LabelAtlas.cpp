#include "LabelAtlas.h"

#include "MapConstants.h"

#include <QApplication>
#include <QFontMetrics>
#include <QPainter>

#include <GL/gl.h>

#include <cmath>

namespace {

constexpr int kAtlasSize = 2048;
constexpr int kPadding = 2;

} // namespace

LabelAtlas::LabelAtlas() : m_font(QApplication::font())
{
    m_font.setPointSize(Map::kLabelPointSize);
    const QFontMetricsF metrics(m_font);
    m_ascent = metrics.ascent();
    m_lineHeight = int(std::ceil(metrics.height()));
    clear();
}

void LabelAtlas::setPixelRatio(qreal ratio)
{
    if (!(ratio > 0.0) || ratio == m_pixelRatio)
        return;
    m_pixelRatio = ratio;
    m_lineHeight = int(std::ceil(QFontMetricsF(m_font).height() * ratio));
    clear();
}

void LabelAtlas::clear()
{
    m_image = QImage(kAtlasSize, kAtlasSize, QImage::Format_Alpha8);
    m_image.setDevicePixelRatio(m_pixelRatio);
    m_image.fill(0);
    m_places.clear();
    m_cursorX = 0;
    m_cursorY = 0;
    m_dirty = true;
    ++m_generation;
}

QRect LabelAtlas::place(const QString &text)
{
    const auto found = m_places.constFind(text);
    if (found != m_places.constEnd())
        return found.value();
    const int width = int(std::ceil(QFontMetricsF(m_font).horizontalAdvance(text) * m_pixelRatio)) + kPadding;
    if (width > kAtlasSize)
        return QRect();
    if (m_cursorX + width > kAtlasSize) {
        m_cursorX = 0;
        m_cursorY += m_lineHeight + kPadding;
    }
    if (m_cursorY + m_lineHeight > kAtlasSize) {
        // Full: start again with the texts still in use coming back one by one.
        clear();
    }
    const QRect rect(m_cursorX, m_cursorY, width, m_lineHeight);
    // The painter works in window coordinates; the image's pixel ratio
    // makes it draw at the screen's resolution.
    QPainter painter(&m_image);
    painter.setFont(m_font);
    painter.setPen(Qt::black);
    painter.drawText(QPointF(rect.x() / m_pixelRatio, rect.y() / m_pixelRatio + m_ascent), text);
    m_cursorX += width + kPadding;
    m_places.insert(text, rect);
    m_dirty = true;
    return rect;
}

bool LabelAtlas::buildQuads(const std::vector<MapFrameContext::Label> &labels)
{
    m_vertices.clear();
    m_texCoords.clear();
    const int generation = m_generation;
    const float scale = 1.0f / kAtlasSize;
    for (const MapFrameContext::Label &label : labels) {
        const QRect r = place(*label.text);
        if (r.isEmpty())
            continue;
        const float size = float(label.pointSize) / Map::kLabelPointSize;
        const float toWindow = size / float(m_pixelRatio);
        const float x0 = label.x;
        const float y0 = label.y - float(m_ascent) * size;
        const float x1 = x0 + r.width() * toWindow;
        const float y1 = y0 + r.height() * toWindow;
        const float u0 = r.left() * scale;
        const float v0 = r.top() * scale;
        const float u1 = (r.left() + r.width()) * scale;
        const float v1 = (r.top() + r.height()) * scale;
        m_vertices.insert(m_vertices.end(), {x0, y0, x1, y0, x1, y1, x0, y1});
        m_texCoords.insert(m_texCoords.end(), {u0, v0, u1, v0, u1, v1, u0, v1});
    }
    return generation == m_generation;
}

void LabelAtlas::draw(const std::vector<MapFrameContext::Label> &labels)
{
    if (labels.empty())
        return;
    // Placing a text can clear a full atlas; the quads are then made again.
    if (!buildQuads(labels))
        buildQuads(labels);

    glPushAttrib(GL_ENABLE_BIT | GL_TEXTURE_BIT | GL_COLOR_BUFFER_BIT | GL_CURRENT_BIT);
    glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT | GL_CLIENT_PIXEL_STORE_BIT);
    if (m_texture == 0) {
        GLuint name = 0;
        glGenTextures(1, &name);
        m_texture = name;
        m_dirty = true;
    }
    glBindTexture(GL_TEXTURE_2D, m_texture);
    if (m_dirty) {
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        glPixelStorei(GL_UNPACK_ROW_LENGTH, m_image.bytesPerLine());
        glTexImage2D(GL_TEXTURE_2D, 0, GL_ALPHA, kAtlasSize, kAtlasSize, 0, GL_ALPHA, GL_UNSIGNED_BYTE,
                     m_image.constBits());
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        m_dirty = false;
    }
    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_TEXTURE_2D);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glColor4f(0.0f, 0.0f, 0.0f, 1.0f);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glVertexPointer(2, GL_FLOAT, 0, m_vertices.data());
    glTexCoordPointer(2, GL_FLOAT, 0, m_texCoords.data());
    glDrawArrays(GL_QUADS, 0, GLsizei(m_vertices.size() / 2));
    glPopClientAttrib();
    glPopAttrib();
}

void LabelAtlas::release()
{
    if (m_texture != 0) {
        GLuint name = m_texture;
        glDeleteTextures(1, &name);
    }
    m_texture = 0;
    m_dirty = true;
}
