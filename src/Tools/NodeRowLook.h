#pragma once

#include "NodeIcons.h"

#include <QString>

#include <cstdint>

class RtlsObject;

// What a node's row in the node list looks like: its type and the icons of
// its columns, worked out from the node record alone, so that an update can
// compare the result with what the row shows and touch the row only when
// something changed.
struct NodeRowLook
{
    // How the row comes to be drawn: a row made afresh shows a node of
    // unknown mode in yellow; an update shows it like a tag.
    enum Moment { Made, Updated };

    int type = 0;
    NodeIcons::Kind modeIcon = NodeIcons::None;
    NodeIcons::Kind clockIcon = NodeIcons::None;
    NodeIcons::Kind collectorIcon = NodeIcons::None;
    int seat = -1; // shown only when 0 <= seat < kSeatShownLimit

    static NodeRowLook of(RtlsObject *node, Moment moment);
    // The row type for a node (closed nodes first, then by mode).
    static int typeOf(const RtlsObject *node);
    // The red icon of a node the hub declared inactive.
    static NodeIcons::Kind inactiveIcon(const QString &mode);
    static NodeIcons::Kind clockIconOf(uint32_t roles);
    static NodeIcons::Kind collectorIconOf(uint32_t roles);
    // Column 3: the seat in decimal, or empty.
    static QString seatText(int seat);
};
