#include "GlBox.h"

#include <GL/gl.h>

void GlBox::faces(const double x[2], const double y[2], const double z[2])
{
    glBegin(GL_QUADS);
    for (int side = 0; side < 2; ++side) {
        // The faces across x, across y and across z.
        glVertex3d(x[side], y[0], z[0]);
        glVertex3d(x[side], y[1], z[0]);
        glVertex3d(x[side], y[1], z[1]);
        glVertex3d(x[side], y[0], z[1]);
        glVertex3d(x[0], y[side], z[0]);
        glVertex3d(x[1], y[side], z[0]);
        glVertex3d(x[1], y[side], z[1]);
        glVertex3d(x[0], y[side], z[1]);
        glVertex3d(x[0], y[0], z[side]);
        glVertex3d(x[1], y[0], z[side]);
        glVertex3d(x[1], y[1], z[side]);
        glVertex3d(x[0], y[1], z[side]);
    }
    glEnd();
}
