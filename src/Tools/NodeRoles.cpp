#include "NodeRoles.h"

#include "NodeToolsConstants.h"
#include "RtlsConvert.h"

#include <QCoreApplication>

namespace {

// What the masters do when a role bit is set. Names only; the masters decide.
const QVector<NodeRoles::Bit> kBits = {
    {0x00000002, QT_TRANSLATE_NOOP("NodeRoles", "Anchor")},
    {0x00000004, QT_TRANSLATE_NOOP("NodeRoles", "Master")},
    {0x00000100, QT_TRANSLATE_NOOP("NodeRoles", "Master candidate")},
    {0x00000800, QT_TRANSLATE_NOOP("NodeRoles", "Ranging")},
    {NodeTools::kRoleBackupClock, QT_TRANSLATE_NOOP("NodeRoles", "Backup clock")},
    {NodeTools::kRoleClockSource, QT_TRANSLATE_NOOP("NodeRoles", "Clock source")},
    {NodeTools::kRoleNetworkUplink, QT_TRANSLATE_NOOP("NodeRoles", "Network uplink")},
    {0x00020000, QT_TRANSLATE_NOOP("NodeRoles", "Offloader")},
    {NodeTools::kRoleDataCollector, QT_TRANSLATE_NOOP("NodeRoles", "Data collector")},
    {NodeTools::kRoleLocationCollector, QT_TRANSLATE_NOOP("NodeRoles", "Location collector")},
    {0x00100000, QT_TRANSLATE_NOOP("NodeRoles", "Collector uplink")},
    {0x01000000, QT_TRANSLATE_NOOP("NodeRoles", "UWB backhaul")},
    {0x80000000, QT_TRANSLATE_NOOP("NodeRoles", "Forced")},
};

const QVector<NodeRoles::Preset> kPresets = {
    {NodeTools::kRolesMasterAuto, QT_TRANSLATE_NOOP("NodeRoles", "Master roles (auto)")},
    {NodeTools::kRolesAnchorAuto, QT_TRANSLATE_NOOP("NodeRoles", "Anchor roles (auto)")},
    {NodeTools::kRolesAnchorUwbForced, QT_TRANSLATE_NOOP("NodeRoles", "Anchor, UWB forced")},
    {NodeTools::kRolesAnchorInetForced, QT_TRANSLATE_NOOP("NodeRoles", "Anchor, network forced")},
    {NodeTools::kRolesAnchorOffloaderForced, QT_TRANSLATE_NOOP("NodeRoles", "Anchor/offloader, forced")},
};

} // namespace

const QVector<NodeRoles::Bit> &NodeRoles::bits()
{
    return kBits;
}

const QVector<NodeRoles::Preset> &NodeRoles::presets()
{
    return kPresets;
}

QStringList NodeRoles::names(uint32_t roles)
{
    QStringList out;
    for (int bit = 0; bit < 32; ++bit) {
        const uint32_t mask = uint32_t(1) << bit;
        if (!(roles & mask))
            continue;
        QString name;
        for (const Bit &b : kBits)
            if (b.mask == mask)
                name = QCoreApplication::translate("NodeRoles", b.name);
        out.append(name.isEmpty() ? QCoreApplication::translate("NodeRoles", "bit %1").arg(bit) : name);
    }
    return out;
}

uint32_t NodeRoles::unnamedBits(uint32_t roles)
{
    for (const Bit &b : kBits)
        roles &= ~b.mask;
    return roles;
}

QString NodeRoles::hex(uint32_t roles)
{
    return Rtls::hexText(roles);
}
