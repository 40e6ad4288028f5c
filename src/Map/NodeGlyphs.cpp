#include "NodeGlyphs.h"

#include "MapConstants.h"

#include <QColor>

#include <GL/gl.h>
#include <GL/glu.h>

namespace {

enum List { Sphere, Cylinder, Disk, TexturedDisk, Count };

} // namespace

void NodeGlyphs::ensure()
{
    if (m_base != 0)
        return;
    m_base = glGenLists(Count);
    if (m_base == 0)
        return;
    GLUquadric *quadric = gluNewQuadric();
    gluQuadricNormals(quadric, GLU_SMOOTH);

    glNewList(m_base + Sphere, GL_COMPILE);
    gluSphere(quadric, 1.0, Map::kNodeSlices, Map::kNodeSphereStacks);
    glEndList();

    glNewList(m_base + Cylinder, GL_COMPILE);
    gluCylinder(quadric, 1.0, 1.0, 1.0, Map::kNodeSlices, 1);
    glEndList();

    glNewList(m_base + Disk, GL_COMPILE);
    gluDisk(quadric, 0.0, Map::kNodeDiskFactor, Map::kNodeSlices, 1);
    glEndList();

    gluQuadricTexture(quadric, GL_TRUE);
    glNewList(m_base + TexturedDisk, GL_COMPILE);
    gluDisk(quadric, 0.0, Map::kNodeDiskFactor, Map::kNodeSlices, 1);
    glEndList();

    gluDeleteQuadric(quadric);
}

void NodeGlyphs::release()
{
    if (m_base != 0)
        glDeleteLists(m_base, Count);
    m_base = 0;
}

void NodeGlyphs::begin() const
{
    glPushAttrib(GL_ENABLE_BIT | GL_LIGHTING_BIT | GL_CURRENT_BIT | GL_TEXTURE_BIT | GL_HINT_BIT);
    glEnable(GL_LIGHTING);
    glEnable(GL_COLOR_MATERIAL);
    glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
    glEnable(GL_NORMALIZE);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
}

void NodeGlyphs::end() const
{
    glPopAttrib();
}

void NodeGlyphs::sphere() const
{
    glCallList(m_base + Sphere);
}

void NodeGlyphs::cylinder() const
{
    glCallList(m_base + Cylinder);
}

void NodeGlyphs::disk(bool textured) const
{
    glCallList(m_base + (textured ? TexturedDisk : Disk));
}

void NodeGlyphs::arrow(float r, float g, float b)
{
    const QColor body = QColor::fromRgbF(r, g, b);
    auto shade = [&body](int factor) {
        const QColor c = body.darker(factor);
        glColor3f(c.redF(), c.greenF(), c.blueF());
    };
    // Outline: shaft x in [-0.25, 0.25], y in [-0.5, 0]; head (-0.5, 0),
    // (0.5, 0), (0, 0.5). Counter-clockwise from the shaft's right side.
    static const float outline[7][2] = {{0.25f, -0.5f}, {0.25f, 0.0f}, {0.5f, 0.0f}, {0.0f, 0.5f},
                                         {-0.5f, 0.0f}, {-0.25f, 0.0f}, {-0.25f, -0.5f}};
    static const int sideShades[7] = {110, 130, 70, 95, 125, 90, 115};
    const float top = 0.125f;
    const float bottom = -0.125f;

    glNormal3f(0.0f, 0.0f, 1.0f);
    shade(150);
    glBegin(GL_QUADS);
    glVertex3f(-0.25f, -0.5f, top);
    glVertex3f(0.25f, -0.5f, top);
    glVertex3f(0.25f, 0.0f, top);
    glVertex3f(-0.25f, 0.0f, top);
    glEnd();
    glBegin(GL_TRIANGLES);
    glVertex3f(-0.5f, 0.0f, top);
    glVertex3f(0.5f, 0.0f, top);
    glVertex3f(0.0f, 0.5f, top);
    glEnd();

    glNormal3f(0.0f, 0.0f, -1.0f);
    shade(80);
    glBegin(GL_QUADS);
    glVertex3f(-0.25f, -0.5f, bottom);
    glVertex3f(-0.25f, 0.0f, bottom);
    glVertex3f(0.25f, 0.0f, bottom);
    glVertex3f(0.25f, -0.5f, bottom);
    glEnd();
    glBegin(GL_TRIANGLES);
    glVertex3f(-0.5f, 0.0f, bottom);
    glVertex3f(0.0f, 0.5f, bottom);
    glVertex3f(0.5f, 0.0f, bottom);
    glEnd();

    glBegin(GL_QUADS);
    for (int i = 0; i < 7; ++i) {
        const float *a = outline[i];
        const float *b = outline[(i + 1) % 7];
        // Outward normal of the edge a -> b of a counter-clockwise outline.
        glNormal3f(b[1] - a[1], a[0] - b[0], 0.0f);
        shade(sideShades[i]);
        glVertex3f(a[0], a[1], bottom);
        glVertex3f(b[0], b[1], bottom);
        glVertex3f(b[0], b[1], top);
        glVertex3f(a[0], a[1], top);
    }
    glEnd();
}

void NodeGlyphs::pickBox(double radius, double height)
{
    const double x[2] = {-radius, radius};
    const double y[2] = {-radius, radius};
    const double z[2] = {-radius, height};
    glBegin(GL_QUADS);
    for (int side = 0; side < 2; ++side) {
        glVertex3d(x[side], y[0], z[0]); glVertex3d(x[side], y[1], z[0]);
        glVertex3d(x[side], y[1], z[1]); glVertex3d(x[side], y[0], z[1]);
        glVertex3d(x[0], y[side], z[0]); glVertex3d(x[1], y[side], z[0]);
        glVertex3d(x[1], y[side], z[1]); glVertex3d(x[0], y[side], z[1]);
        glVertex3d(x[0], y[0], z[side]); glVertex3d(x[1], y[0], z[side]);
        glVertex3d(x[1], y[1], z[side]); glVertex3d(x[0], y[1], z[side]);
    }
    glEnd();
}
