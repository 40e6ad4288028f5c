#pragma once

#include "GlyphMesh.h"

#include <QColor>
#include <QGLViewer/quaternion.h>
#include <QGLViewer/vec.h>

#include <cstdint>
#include <vector>

// Every node glyph of a frame in one set of vertex arrays, drawn with a
// single call: the meshes are placed, scaled and coloured here on the CPU,
// which costs far less than a GL draw per node on a software GL. The arrays
// keep their memory between frames.
class GlyphBatch
{
public:
    void clear();
    // Adds a mesh at position, turned by orientation, scaled by the node's
    // radius and height, in its body colour.
    void add(const GlyphMesh &mesh, const qglviewer::Vec &position, const qglviewer::Quaternion &orientation,
             double radius, double height, const QColor &body);

    int vertexCount() const { return int(m_positions.size() / 3); }
    const std::vector<float> &positions() const { return m_positions; }
    const std::vector<float> &normals() const { return m_normals; }
    const std::vector<uint8_t> &colors() const { return m_colors; }

    // GL: lit, back faces culled.
    void draw() const;

private:
    std::vector<float> m_positions;
    std::vector<float> m_normals;
    std::vector<uint8_t> m_colors;
    std::vector<uint32_t> m_indices;
};
