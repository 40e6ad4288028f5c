#pragma once

// Device pixels per window coordinate of the map frame being drawn. GL line
// widths are counted in device pixels, so on a high-density screen a line
// asked for as one pixel wide would be drawn half as wide as the window's
// own lines; the map's objects ask lineWidth() instead. The view sets the
// ratio at the start of each frame (all drawing runs on the GUI thread).
class MapPixelRatio
{
public:
    static void set(double ratio);
    static double ratio();
    // A width in window coordinates as GL wants it.
    static float lineWidth(double width);
};
