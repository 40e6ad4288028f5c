#include "VersionMatrix.h"

#include <algorithm>

int VersionMatrix::indexOf(uint64_t id) const
{
    const auto it = std::lower_bound(m_rows.cbegin(), m_rows.cend(), id,
                                     [](const Row &row, uint64_t key) { return row.id < key; });
    return it != m_rows.cend() && it->id == id ? int(it - m_rows.cbegin()) : -1;
}

int VersionMatrix::set(uint64_t id, const QString &name, const QString &mode, uint32_t hardware, uint32_t loader,
                       uint32_t firmware)
{
    const auto it = std::lower_bound(m_rows.begin(), m_rows.end(), id,
                                     [](const Row &row, uint64_t key) { return row.id < key; });
    const int index = int(it - m_rows.begin());
    if (it == m_rows.end() || it->id != id) {
        Row row;
        row.id = id;
        m_rows.insert(index, row);
    }
    Row &row = m_rows[index];
    if (!name.isEmpty())
        row.name = name;
    if (!mode.isEmpty())
        row.mode = mode;
    // A later answer without a version does not forget the one known.
    const std::array<uint32_t, ColumnCount> versions{hardware, loader, firmware};
    for (int c = 0; c < ColumnCount; ++c)
        if (versions[c] != 0)
            row.versions[c] = versions[c];
    return index;
}

uint32_t VersionMatrix::newest(Column column) const
{
    uint32_t best = 0;
    for (const Row &row : m_rows)
        best = std::max(best, row.versions[column]);
    return best;
}

bool VersionMatrix::isOutdated(int row, Column column) const
{
    const uint32_t v = m_rows.at(row).versions[column];
    return v != 0 && v < newest(column);
}

QString VersionMatrix::text(uint32_t version)
{
    if (version == 0)
        return QStringLiteral("—");
    return QStringLiteral("0x") + QString::number(version, 16).toUpper().rightJustified(4, QLatin1Char('0'));
}
