#pragma once

#include <QGLViewer/vec.h>

#include <QRgb>

#include <cstdint>
#include <vector>

// Coloured line strips of a frame (trails, measurement lines) in one set of
// vertex arrays, drawn with a single call: a strip of n points hands the GL
// n vertices, not the 2 (n - 1) of separate segments. The arrays keep their
// memory between frames.
class LineBatch
{
public:
    void clear();
    // A strip starts; extend() adds points joined to the strip's last point.
    void beginStrip(QRgb colour);
    void extend(const float *xyz, int count);
    void segment(const qglviewer::Vec &a, const qglviewer::Vec &b, QRgb colour);

    int segmentCount() const;
    int vertexCount() const { return int(m_positions.size() / 3); }
    const std::vector<float> &positions() const { return m_positions; }
    // Per strip: its first vertex and its number of vertices.
    const std::vector<int32_t> &stripFirsts() const { return m_firsts; }
    const std::vector<int32_t> &stripCounts() const { return m_counts; }

    // GL: lighting off, the given width.
    void draw(float width);

private:
    void point(float x, float y, float z);

    std::vector<float> m_positions;
    std::vector<uint8_t> m_colors;
    std::vector<int32_t> m_firsts;
    std::vector<int32_t> m_counts;
    uint8_t m_colour[4] = {0, 0, 0, 255};
    bool m_stripOpen = false;
};
