#include "NodeIcons.h"

#include <array>
#include <iterator>

namespace {

const char *const kPaths[] = {
    "",
    ":/images/close.png",
    ":/images/icon_map_pin_green.png",
    ":/images/icon_map_pin_red.png",
    ":/images/icon_anchor_green.png",
    ":/images/icon_anchor_red.png",
    ":/images/icon_anchor_yellow.png",
    ":/images/icon_tag_green.png",
    ":/images/icon_tag_yellow.png",
    ":/images/icon_tag_red.png",
    ":/images/icon_clock_green.png",
    ":/images/icon_clock_grey.png",
    ":/images/icon_crosshair_red.png",
    ":/images/icon_clipboard_blue.png",
    ":/images/icon_clipboard_grey.png",
    ":/images/icon_zone_blue.png",
};
static_assert(std::size(kPaths) == NodeIcons::KindCount, "one path per icon kind");

} // namespace

const QIcon &NodeIcons::icon(Kind kind)
{
    static const std::array<QIcon, KindCount> icons = [] {
        std::array<QIcon, KindCount> made;
        for (int k = 1; k < KindCount; ++k)
            made[size_t(k)] = QIcon(QString::fromLatin1(kPaths[k]));
        return made;
    }();
    return icons[size_t(kind >= 0 && kind < KindCount ? kind : None)];
}

QString NodeIcons::path(Kind kind)
{
    return kind > None && kind < KindCount ? QString::fromLatin1(kPaths[kind]) : QString();
}
