#pragma once

// The program's widget style: the one the program was designed with where
// Qt has it, Fusion otherwise; and its manners on high-density screens.
class AppStyle
{
public:
    // Before the application object exists: the window scaled to the
    // screen's density (fonts, widgets, the map) and pictures drawn at the
    // screen's resolution, so that an 8-point font reads as 8 points and
    // icons are sharp.
    static void enableHighDpi();
    static void apply();
};
