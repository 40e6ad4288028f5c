#pragma once

#include "MapFrameContext.h"

#include <QFont>
#include <QHash>
#include <QImage>
#include <QRect>
#include <QString>

#include <vector>

// The map's labels as one GL texture: each text is drawn into the atlas once,
// at the largest label size, and every frame draws all readable labels as
// textured quads, scaled to their size, in a single call. A label costs no
// text layout and no painter per frame. On a high-density screen the texts
// are drawn at the screen's pixel ratio, so that they are as sharp as the
// window's own text.
class LabelAtlas
{
public:
    LabelAtlas();
    LabelAtlas(const LabelAtlas &) = delete;
    LabelAtlas &operator=(const LabelAtlas &) = delete;

    // Device pixels per window coordinate; a change draws the texts anew.
    void setPixelRatio(qreal ratio);
    qreal pixelRatio() const { return m_pixelRatio; }

    // Where a text sits in the atlas, in the atlas's pixels (drawing it
    // there first if needed); an empty rectangle when it does not fit even
    // in a fresh atlas.
    QRect place(const QString &text);
    // In window coordinates.
    qreal ascent() const { return m_ascent; }
    int entries() const { return m_places.size(); }
    const QImage &image() const { return m_image; }

    // GL, with the map's context current and window coordinates set up
    // (pixels, y down): draws the labels in black.
    void draw(const std::vector<MapFrameContext::Label> &labels);
    void release();

private:
    void clear();
    // False when the atlas was cleared meanwhile.
    bool buildQuads(const std::vector<MapFrameContext::Label> &labels);

    QFont m_font;
    qreal m_pixelRatio = 1.0;
    qreal m_ascent = 0;
    // In the atlas's pixels.
    int m_lineHeight = 0;
    QImage m_image;
    QHash<QString, QRect> m_places;
    int m_cursorX = 0;
    int m_cursorY = 0;
    bool m_dirty = true;
    int m_generation = 0;
    unsigned int m_texture = 0;
    std::vector<float> m_vertices;
    std::vector<float> m_texCoords;
};
