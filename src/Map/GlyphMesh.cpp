#include "GlyphMesh.h"

#include "MapConstants.h"

#include <cmath>

namespace {

struct DetailLevel
{
    int slices;
    int stacks;
};

// Four stacks at least, so that the sphere has its equator: seen from above,
// its outline is the polygon of the slices. A polygon of n sides inside a
// circle of r pixels falls short of it by r (1 - cos(pi / n)), which stays
// within a pixel up to 7.5 pixels for 6 sides, 13 for 8 and 20 for 10.
const DetailLevel kLevels[GlyphMesh::DetailCount] = {
    {Map::kNodeSlices, Map::kNodeSphereStacks},
    {10, 4},
    {8, 4},
    {6, 4},
};

// Pixels of radius from which a finer level is needed to stay within a pixel.
constexpr double kFineFromPixels = 20.0;
constexpr double kMediumFromPixels = 13.0;
constexpr double kSmallFromPixels = 7.5;

constexpr float kWhite = -1.0f;

} // namespace

const GlyphMesh &GlyphMesh::glyph(Detail detail)
{
    static const std::vector<GlyphMesh> meshes = [] {
        std::vector<GlyphMesh> all(DetailCount);
        for (int d = 0; d < DetailCount; ++d) {
            all[size_t(d)].addSphere(kLevels[d].slices, kLevels[d].stacks);
            all[size_t(d)].addCylinder(kLevels[d].slices);
            all[size_t(d)].addDisk(kLevels[d].slices);
        }
        return all;
    }();
    return meshes[size_t(detail)];
}

const GlyphMesh &GlyphMesh::arrow()
{
    static const GlyphMesh mesh = [] {
        GlyphMesh m;
        m.addArrow();
        return m;
    }();
    return mesh;
}

GlyphMesh::Detail GlyphMesh::detailFor(double pixelRadius)
{
    if (pixelRadius >= kFineFromPixels)
        return Fine;
    if (pixelRadius >= kMediumFromPixels)
        return Medium;
    if (pixelRadius >= kSmallFromPixels)
        return Small;
    return Coarse;
}

uint32_t GlyphMesh::add(const Vertex &v)
{
    m_vertices.push_back(v);
    return uint32_t(m_vertices.size() - 1);
}

void GlyphMesh::triangle(uint32_t a, uint32_t b, uint32_t c)
{
    m_indices.insert(m_indices.end(), {a, b, c});
}

void GlyphMesh::addSphere(int slices, int stacks)
{
    const uint32_t base = uint32_t(m_vertices.size());
    for (int i = 0; i <= stacks; ++i) {
        const double phi = M_PI * i / stacks; // from the top (+z) down
        for (int j = 0; j <= slices; ++j) {
            const double theta = 2.0 * M_PI * j / slices;
            const float x = float(std::sin(phi) * std::cos(theta));
            const float y = float(std::sin(phi) * std::sin(theta));
            const float z = float(std::cos(phi));
            add({{x, y, z}, {x, y, z}, 1.0f, Scale::Radius});
        }
    }
    const uint32_t row = uint32_t(slices + 1);
    for (int i = 0; i < stacks; ++i) {
        for (int j = 0; j < slices; ++j) {
            const uint32_t a = base + uint32_t(i) * row + uint32_t(j);
            const uint32_t b = a + row;
            // Counter-clockwise seen from outside.
            if (i > 0)
                triangle(a, b, a + 1);
            if (i < stacks - 1)
                triangle(a + 1, b, b + 1);
        }
    }
}

void GlyphMesh::addCylinder(int slices)
{
    const uint32_t base = uint32_t(m_vertices.size());
    for (int j = 0; j <= slices; ++j) {
        const double theta = 2.0 * M_PI * j / slices;
        const float x = float(std::cos(theta));
        const float y = float(std::sin(theta));
        add({{x, y, 0.0f}, {x, y, 0.0f}, 1.0f, Scale::RadiusHeight});
        add({{x, y, 1.0f}, {x, y, 0.0f}, 1.0f, Scale::RadiusHeight});
    }
    for (int j = 0; j < slices; ++j) {
        const uint32_t bottom = base + uint32_t(2 * j);
        const uint32_t top = bottom + 1;
        triangle(bottom, bottom + 2, top);
        triangle(top, bottom + 2, top + 2);
    }
}

void GlyphMesh::addDisk(int slices)
{
    const float r = float(Map::kNodeDiskFactor);
    const uint32_t centre = add({{0.0f, 0.0f, 1.0f}, {0.0f, 0.0f, 1.0f}, kWhite, Scale::RadiusHeight});
    for (int j = 0; j <= slices; ++j) {
        const double theta = 2.0 * M_PI * j / slices;
        add({{r * float(std::cos(theta)), r * float(std::sin(theta)), 1.0f}, {0.0f, 0.0f, 1.0f}, kWhite,
             Scale::RadiusHeight});
    }
    for (int j = 0; j < slices; ++j)
        triangle(centre, centre + 1 + uint32_t(j), centre + 2 + uint32_t(j));
}

void GlyphMesh::addArrow()
{
    // Outline counter-clockwise from the shaft's right side: shaft x in
    // [-0.25, 0.25], y in [-0.5, 0]; head (-0.5, 0), (0.5, 0), (0, 0.5).
    static const float outline[7][2] = {{0.25f, -0.5f}, {0.25f, 0.0f}, {0.5f, 0.0f}, {0.0f, 0.5f},
                                         {-0.5f, 0.0f}, {-0.25f, 0.0f}, {-0.25f, -0.5f}};
    static const int sideDarkness[7] = {110, 130, 70, 95, 125, 90, 115};
    const float top = 0.125f;
    const float bottom = -0.125f;
    auto shade = [](int darkness) { return 100.0f / float(darkness); };

    // Top (darker by 150) and bottom (by 80): the shaft and the head.
    for (int side = 0; side < 2; ++side) {
        const float z = side == 0 ? top : bottom;
        const float nz = side == 0 ? 1.0f : -1.0f;
        const float s = shade(side == 0 ? 150 : 80);
        auto v = [&](float x, float y) { return add({{x, y, z}, {0.0f, 0.0f, nz}, s, Scale::None}); };
        const uint32_t a = v(-0.25f, -0.5f), b = v(0.25f, -0.5f), c = v(0.25f, 0.0f), d = v(-0.25f, 0.0f);
        const uint32_t e = v(-0.5f, 0.0f), f = v(0.5f, 0.0f), g = v(0.0f, 0.5f);
        if (side == 0) {
            triangle(a, b, c);
            triangle(a, c, d);
            triangle(e, f, g);
        } else {
            triangle(a, c, b);
            triangle(a, d, c);
            triangle(e, g, f);
        }
    }
    for (int i = 0; i < 7; ++i) {
        const float *p = outline[i];
        const float *q = outline[(i + 1) % 7];
        float nx = q[1] - p[1];
        float ny = p[0] - q[0];
        const float n = std::sqrt(nx * nx + ny * ny);
        nx /= n;
        ny /= n;
        const float s = shade(sideDarkness[i]);
        const uint32_t a = add({{p[0], p[1], bottom}, {nx, ny, 0.0f}, s, Scale::None});
        const uint32_t b = add({{q[0], q[1], bottom}, {nx, ny, 0.0f}, s, Scale::None});
        const uint32_t c = add({{q[0], q[1], top}, {nx, ny, 0.0f}, s, Scale::None});
        const uint32_t d = add({{p[0], p[1], top}, {nx, ny, 0.0f}, s, Scale::None});
        triangle(a, b, c);
        triangle(a, c, d);
    }
}
