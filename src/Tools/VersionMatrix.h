#pragma once

#include <QString>
#include <QVector>

#include <array>
#include <cstdint>

// Every known node's hardware, loader and firmware version side by side,
// without widgets: rows in id order, the newest version of each column, and
// which versions are older than it. A version of 0 is unknown: it is neither
// the newest nor outdated.
class VersionMatrix
{
public:
    enum Column { Hardware, Loader, Firmware, ColumnCount };

    struct Row
    {
        uint64_t id = 0;
        QString name;
        QString mode;
        std::array<uint32_t, ColumnCount> versions{};
    };

    // Adds a node or updates its row; returns the row's index.
    int set(uint64_t id, const QString &name, const QString &mode, uint32_t hardware, uint32_t loader,
            uint32_t firmware);
    void clear() { m_rows.clear(); }

    int rowCount() const { return m_rows.size(); }
    const Row &row(int index) const { return m_rows.at(index); }
    // Index of the node's row, or -1.
    int indexOf(uint64_t id) const;

    // The highest known version in a column; 0 when none is known.
    uint32_t newest(Column column) const;
    bool isOutdated(int row, Column column) const;

    // "0x020A" (at least four hexadecimal digits), or "—" when unknown.
    static QString text(uint32_t version);

private:
    QVector<Row> m_rows;
};
