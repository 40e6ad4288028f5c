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
// text layout and no painter per frame.
class LabelAtlas
{
public:
    LabelAtlas();
    LabelAtlas(const LabelAtlas &) = delete;
    LabelAtlas &operator=(const LabelAtlas &) = delete;

    // Where a text sits in the atlas (drawing it there first if needed);
    // an empty rectangle when it does not fit even in a fresh atlas.
    QRect place(const QString &text);
    int ascent() const { return m_ascent; }
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
    int m_ascent = 0;
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
