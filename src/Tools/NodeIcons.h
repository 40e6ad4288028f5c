#pragma once

#include <QIcon>

// The icons of the node views, made once from the program's icon resources
// and shared: setting one on a row costs a copy of a shared handle.
class NodeIcons
{
public:
    enum Kind {
        None,
        Close,
        MapPinGreen,
        MapPinRed,
        AnchorGreen,
        AnchorRed,
        AnchorYellow,
        TagGreen,
        TagYellow,
        TagRed,
        ClockGreen,
        ClockGrey,
        CrosshairRed,
        ClipboardBlue,
        ClipboardGrey,
        ZoneBlue,
        KindCount
    };

    // The icon of that kind; a null icon for None.
    static const QIcon &icon(Kind kind);
    // Its resource path, empty for None.
    static QString path(Kind kind);
};
