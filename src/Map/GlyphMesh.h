#pragma once

#include <cstdint>
#include <vector>

// The shapes a node is drawn with, as triangle meshes in the node's own
// frame: the sphere, the cylinder along +z and the white top disk of the
// usual glyph (at a few levels of detail, the finest being 20 slices and 6
// stacks), and the flat orientation arrow. Each vertex says how it is scaled
// by the node's radius and height and how it is coloured.
class GlyphMesh
{
public:
    enum class Scale : uint8_t {
        Radius,     // sphere: by the radius on every axis
        RadiusHeight, // cylinder and disk: radius across, height along z
        None,       // arrow: drawn at its own size
    };

    struct Vertex
    {
        float position[3];
        float normal[3];
        // Multiplies the body colour (1 = the body colour, 1/1.5 = darker by
        // 150); negative: white.
        float shade;
        Scale scale;
    };

    enum Detail { Fine, Medium, Small, Coarse, DetailCount };

    // The usual glyph: unit sphere, unit cylinder, disk of 0.75 at z = 1.
    static const GlyphMesh &glyph(Detail detail);
    static const GlyphMesh &arrow();
    // Level of detail for a glyph whose radius covers that many pixels.
    static Detail detailFor(double pixelRadius);

    const std::vector<Vertex> &vertices() const { return m_vertices; }
    const std::vector<uint32_t> &indices() const { return m_indices; }

private:
    void addSphere(int slices, int stacks);
    void addCylinder(int slices);
    void addDisk(int slices);
    void addArrow();
    uint32_t add(const Vertex &v);
    void triangle(uint32_t a, uint32_t b, uint32_t c);

    std::vector<Vertex> m_vertices;
    std::vector<uint32_t> m_indices;
};
