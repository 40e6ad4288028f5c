#pragma once

#include "GlyphMesh.h"

#include <QColor>
#include <QGLViewer/quaternion.h>
#include <QGLViewer/vec.h>

#include <cstdint>
#include <vector>

// Every node glyph of a frame in one set of vertex arrays, drawn with a
// single call: the meshes are placed, scaled, coloured and lit here on the
// CPU, which costs far less than a GL draw per node on a software GL, and
// the GL draws them unlit. The light is the viewer's: a white directional
// light from the camera and the GL's global ambient of 0.2, so a vertex
// gets its colour times (0.2 + the cosine between its normal and the view),
// exactly what the GL's own lighting gave it. The arrays keep their memory
// between frames.
class GlyphBatch
{
public:
    void clear();
    // Where the light comes from, for the glyphs added next: the unit
    // vector from the scene towards the camera (the camera's view direction
    // reversed). Straight from above until set.
    void setLight(const qglviewer::Vec &towardsLight);
    // Adds a mesh at position, turned by orientation, scaled by the node's
    // radius and height, in its body colour.
    void add(const GlyphMesh &mesh, const qglviewer::Vec &position, const qglviewer::Quaternion &orientation,
             double radius, double height, const QColor &body);

    int vertexCount() const { return int(m_positions.size() / 3); }
    const std::vector<float> &positions() const { return m_positions; }
    const std::vector<uint8_t> &colors() const { return m_colors; }

    // GL: unlit (the colours are lit already), back faces culled.
    void draw() const;

private:
    float m_light[3] = {0.0f, 0.0f, 1.0f};
    std::vector<float> m_positions;
    std::vector<uint8_t> m_colors;
    std::vector<uint32_t> m_indices;
};
