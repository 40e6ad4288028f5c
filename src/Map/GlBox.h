#pragma once

// The six faces of an axis-aligned box as GL quads, between the given lower
// and upper x, y and z. The caller sets colour and state.
class GlBox
{
public:
    static void faces(const double x[2], const double y[2], const double z[2]);
};
