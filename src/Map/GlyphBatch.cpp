#include "GlyphBatch.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>

namespace {

uint8_t channel(float value)
{
    return uint8_t(std::lround(std::min(255.0f, std::max(0.0f, value))));
}

// The GL's global ambient light, which the viewer leaves at its default.
constexpr float kAmbient = 0.2f;

} // namespace

void GlyphBatch::setLight(const qglviewer::Vec &towardsLight)
{
    const double length = towardsLight.norm();
    if (length <= 0)
        return;
    for (int i = 0; i < 3; ++i)
        m_light[i] = float(towardsLight[i] / length);
}

void GlyphBatch::clear()
{
    m_positions.clear();
    m_colors.clear();
    m_indices.clear();
}

void GlyphBatch::add(const GlyphMesh &mesh, const qglviewer::Vec &position, const qglviewer::Quaternion &orientation,
                     double radius, double height, const QColor &body)
{
    const uint32_t base = uint32_t(m_positions.size() / 3);
    // The rotation as a matrix, once for all vertices.
    double m[3][3];
    orientation.getRotationMatrix(m);
    const float r = float(radius);
    const float h = float(height);
    const float body3[3] = {float(body.red()), float(body.green()), float(body.blue())};

    for (const GlyphMesh::Vertex &v : mesh.vertices()) {
        float s[3] = {1.0f, 1.0f, 1.0f};
        if (v.scale == GlyphMesh::Scale::Radius)
            s[0] = s[1] = s[2] = r;
        else if (v.scale == GlyphMesh::Scale::RadiusHeight)
            s[0] = s[1] = r, s[2] = h;
        const float local[3] = {v.position[0] * s[0], v.position[1] * s[1], v.position[2] * s[2]};
        // Normals of a scaled shape go by the inverse scale.
        float n[3] = {v.normal[0] / (s[0] != 0 ? s[0] : 1), v.normal[1] / (s[1] != 0 ? s[1] : 1),
                      v.normal[2] / (s[2] != 0 ? s[2] : 1)};
        const float length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
        if (length > 0)
            n[0] /= length, n[1] /= length, n[2] /= length;
        float facing = 0.0f;
        for (int i = 0; i < 3; ++i) {
            m_positions.push_back(float(position[i] + m[i][0] * local[0] + m[i][1] * local[1] + m[i][2] * local[2]));
            facing += float(m[i][0] * n[0] + m[i][1] * n[1] + m[i][2] * n[2]) * m_light[i];
        }
        const float lit = kAmbient + std::max(0.0f, facing);
        if (v.shade < 0) {
            const uint8_t white = channel(255.0f * lit);
            m_colors.insert(m_colors.end(), {white, white, white, 255});
        } else {
            const float s = v.shade * lit;
            m_colors.insert(m_colors.end(),
                            {channel(body3[0] * s), channel(body3[1] * s), channel(body3[2] * s), 255});
        }
    }
    for (uint32_t index : mesh.indices())
        m_indices.push_back(base + index);
}

void GlyphBatch::draw() const
{
    if (m_indices.empty())
        return;
    glPushAttrib(GL_ENABLE_BIT | GL_POLYGON_BIT);
    glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
    glDisable(GL_LIGHTING);
    glEnable(GL_CULL_FACE);
    glCullFace(GL_BACK);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, m_positions.data());
    glColorPointer(4, GL_UNSIGNED_BYTE, 0, m_colors.data());
    glDrawElements(GL_TRIANGLES, GLsizei(m_indices.size()), GL_UNSIGNED_INT, m_indices.data());
    glPopClientAttrib();
    glPopAttrib();
}
