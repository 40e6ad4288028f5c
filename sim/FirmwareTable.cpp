#include "FirmwareTable.h"

#include "SimConstants.h"

#include <QJsonObject>

FirmwareTable::FirmwareTable()
{
    m_descs = {
        FwDesc{0, QStringLiteral("sentrova-anchor"), QStringLiteral("2.10.0"), 245760, 0x1C291CA3, true, true},
        FwDesc{1, QStringLiteral("sentrova-tag"), QStringLiteral("2.10.0"), 196608, 0x7A3B45E1, true, false},
    };
    m_saved = m_descs;
}

QJsonArray FirmwareTable::toJson() const
{
    QJsonArray out;
    for (const FwDesc &d : m_descs) {
        QJsonObject o;
        o.insert(QStringLiteral("id"), d.slot);
        o.insert(QStringLiteral("name"), d.name);
        o.insert(QStringLiteral("version"), d.version);
        o.insert(QStringLiteral("size"), double(d.size));
        o.insert(QStringLiteral("crc32"),
                 QStringLiteral("0x") + QString::number(d.crc32, 16).toUpper().rightJustified(8, QLatin1Char('0')));
        o.insert(QStringLiteral("enabled"), d.enabled);
        o.insert(QStringLiteral("boot"), d.boot);
        out.append(o);
    }
    return out;
}

FwDesc *FirmwareTable::find(int slot)
{
    for (FwDesc &d : m_descs)
        if (d.slot == slot)
            return &d;
    return nullptr;
}

bool FirmwareTable::isBoot(int slot) const
{
    for (const FwDesc &d : m_descs)
        if (d.slot == slot)
            return d.boot;
    return false;
}

bool FirmwareTable::enable(int slot, bool on)
{
    FwDesc *d = find(slot);
    if (!d)
        return false;
    d->enabled = on;
    return true;
}

bool FirmwareTable::remove(int slot)
{
    for (int i = 0; i < m_descs.size(); ++i)
        if (m_descs[i].slot == slot) {
            m_descs.remove(i);
            return true;
        }
    return false;
}

bool FirmwareTable::boot(int slot)
{
    FwDesc *d = find(slot);
    if (!d || !d->enabled)
        return false;
    for (FwDesc &o : m_descs)
        o.boot = o.slot == slot;
    return true;
}

int FirmwareTable::install(const FwDesc &desc)
{
    for (FwDesc &d : m_descs)
        if (d.name == desc.name) {
            const int slot = d.slot;
            const bool wasBoot = d.boot;
            d = desc;
            d.slot = slot;
            d.boot = wasBoot;
            return slot;
        }
    for (int slot = 0; slot < SimConst::kFwDescSlots; ++slot)
        if (!find(slot)) {
            FwDesc d = desc;
            d.slot = slot;
            d.boot = false;
            m_descs.append(d);
            return slot;
        }
    return -1;
}
