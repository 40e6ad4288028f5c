#include "NodeRowLook.h"

#include "CommConstants.h"
#include "NodeListItemType.h"
#include "NodeToolsConstants.h"
#include "RtlsIMU.h"
#include "RtlsObject.h"

namespace {

bool isMode(const QString &mode, const char *name)
{
    return mode == QLatin1String(name);
}

} // namespace

int NodeRowLook::typeOf(const RtlsObject *node)
{
    if (node->nodeOptions() & NodeTools::kOptionClosed)
        return ClosedNodeItem;
    const QString mode = node->mode();
    if (isMode(mode, "master"))
        return MasterItem;
    if (isMode(mode, "tag"))
        return TagItem;
    return AnchorItem;
}

NodeIcons::Kind NodeRowLook::inactiveIcon(const QString &mode)
{
    if (isMode(mode, "master"))
        return NodeIcons::MapPinRed;
    if (isMode(mode, "anchor"))
        return NodeIcons::AnchorRed;
    return NodeIcons::TagRed;
}

NodeIcons::Kind NodeRowLook::clockIconOf(uint32_t roles)
{
    if (roles & NodeTools::kRoleClockSource)
        return NodeIcons::ClockGreen;
    if (roles & NodeTools::kRoleBackupClock)
        return NodeIcons::ClockGrey;
    return NodeIcons::None;
}

NodeIcons::Kind NodeRowLook::collectorIconOf(uint32_t roles)
{
    if (roles & NodeTools::kRoleLocationCollector)
        return NodeIcons::CrosshairRed;
    if (roles & NodeTools::kRoleDataCollector)
        return NodeIcons::ClipboardBlue;
    if (roles & NodeTools::kRoleNetworkUplink)
        return NodeIcons::ClipboardGrey;
    return NodeIcons::None;
}

QString NodeRowLook::seatText(int seat)
{
    if (seat < 0 || seat >= NodeTools::kSeatShownLimit)
        return QString();
    return QString::number(seat);
}

NodeRowLook NodeRowLook::of(RtlsObject *node, Moment moment)
{
    NodeRowLook look;
    look.type = typeOf(node);
    const QString mode = node->mode();
    // A node the hub declared inactive keeps its red icon until it reports
    // again, also across a rebuild of the list.
    if (node->lastUpdate() == Comm::kReportedInactive) {
        look.modeIcon = inactiveIcon(mode);
    } else if (look.type == ClosedNodeItem) {
        look.modeIcon = NodeIcons::Close;
    } else if (isMode(mode, "master")) {
        look.modeIcon = NodeIcons::MapPinGreen;
    } else if (isMode(mode, "anchor")) {
        look.modeIcon = NodeIcons::AnchorGreen;
    } else if (!isMode(mode, "tag") && moment == Made) {
        look.modeIcon = NodeIcons::AnchorYellow;
    } else {
        const bool io = node->hasImu() && node->imu()->io() != 0;
        look.modeIcon = io ? NodeIcons::TagYellow : NodeIcons::TagGreen;
    }
    const uint32_t roles = node->roles();
    look.clockIcon = clockIconOf(roles);
    look.collectorIcon = collectorIconOf(roles);
    look.seat = node->seat();
    return look;
}
