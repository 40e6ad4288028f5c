#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

#include <cstdint>

// The names of a node's role bits and the role presets, shared by the node
// details (which decodes them) and the node settings dialog (which edits
// them bit by bit or from a preset).
class NodeRoles
{
public:
    struct Bit
    {
        uint32_t mask;
        const char *name;
    };
    struct Preset
    {
        uint32_t roles;
        const char *name;
    };

    // Every named bit, lowest first.
    static const QVector<Bit> &bits();
    // The presets the node list's menu offers, in its order.
    static const QVector<Preset> &presets();
    // The names of the bits set in roles, lowest first; a bit without a name
    // is given as "bit N".
    static QStringList names(uint32_t roles);
    // The bits of roles that have no name.
    static uint32_t unnamedBits(uint32_t roles);
    // "0x" + at least 4 upper-case hexadecimal digits.
    static QString hex(uint32_t roles);
};
