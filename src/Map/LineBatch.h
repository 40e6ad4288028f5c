#pragma once

#include <QGLViewer/vec.h>

#include <QRgb>

#include <cstdint>
#include <vector>

// Coloured line segments of a frame (trails, measurement lines) in one set
// of vertex arrays, drawn with a single call. The arrays keep their memory
// between frames.
class LineBatch
{
public:
    void clear();
    // A strip starts; extend() adds points joined to the strip's last point.
    void beginStrip(QRgb colour);
    void extend(const float *xyz, int count);
    // The same from stored units: origin + value * scale on each axis.
    void extend(const int16_t *units, int count, const double origin[3], double scale);
    void segment(const qglviewer::Vec &a, const qglviewer::Vec &b, QRgb colour);

    int segmentCount() const { return int(m_indices.size() / 2); }
    const std::vector<float> &positions() const { return m_positions; }
    const std::vector<uint32_t> &indices() const { return m_indices; }

    // GL: lighting off, the given width.
    void draw(float width) const;

private:
    void point(float x, float y, float z);

    std::vector<float> m_positions;
    std::vector<uint8_t> m_colors;
    std::vector<uint32_t> m_indices;
    uint8_t m_colour[4] = {0, 0, 0, 255};
    bool m_stripOpen = false;
};
