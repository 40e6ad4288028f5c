#include "PositionHistory.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr int kFirstSlots = 16;

} // namespace

PositionHistory::PositionHistory(int limit) : m_limit(std::max(1, limit)) {}

qglviewer::Vec PositionHistory::at(int i) const
{
    if (i < 0 || i >= m_size)
        return qglviewer::Vec();
    const int n = slotCount();
    const int slot = ((m_head - 1 - i) % n + n) % n;
    const int16_t *p = &m_points[size_t(slot) * 3];
    return qglviewer::Vec(m_origin[0] + p[0] * kMetresPerUnit, m_origin[1] + p[1] * kMetresPerUnit,
                          m_origin[2] + p[2] * kMetresPerUnit);
}

void PositionHistory::push(double x, double y, double z)
{
    if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(z))
        return;
    const double point[3] = {x, y, z};
    if (m_size == 0) {
        // Whole metres, so that the stored centimetres are those of the site.
        for (int i = 0; i < 3; ++i)
            m_origin[i] = float(std::round(point[i]));
    }
    int16_t units[3];
    for (int i = 0; i < 3; ++i) {
        const double u = std::round((point[i] - m_origin[i]) / kMetresPerUnit);
        units[i] = int16_t(std::max<double>(std::numeric_limits<int16_t>::min(),
                                            std::min<double>(std::numeric_limits<int16_t>::max(), u)));
    }
    if (m_size > 0) {
        const int last = (m_head + slotCount() - 1) % slotCount();
        const int16_t *p = &m_points[size_t(last) * 3];
        if (p[0] == units[0] && p[1] == units[1] && p[2] == units[2])
            return;
    }
    if (m_size == slotCount() && slotCount() < m_limit)
        grow();
    int16_t *p = &m_points[size_t(m_head) * 3];
    p[0] = units[0];
    p[1] = units[1];
    p[2] = units[2];
    m_head = (m_head + 1) % slotCount();
    if (m_size < slotCount())
        ++m_size;
}

void PositionHistory::grow()
{
    const int wanted = std::min(m_limit, std::max(kFirstSlots, slotCount() * 2));
    // Sized exactly, so that a full history holds no spare capacity.
    std::vector<int16_t> grown(size_t(wanted) * 3);
    Run runs[2];
    const int count = newest(m_size, runs);
    int16_t *out = grown.data();
    for (int r = 0; r < count; ++r)
        out = std::copy_n(runs[r].data, size_t(runs[r].count) * 3, out);
    m_points.swap(grown);
    m_head = m_size % wanted;
}

void PositionHistory::clear()
{
    std::vector<int16_t>().swap(m_points);
    m_head = 0;
    m_size = 0;
}

int PositionHistory::newest(int count, Run runs[2]) const
{
    count = std::min(count, m_size);
    if (count <= 0)
        return 0;
    const int n = slotCount();
    const int start = m_head - count;
    if (start >= 0) {
        runs[0] = {&m_points[size_t(start) * 3], count};
        return 1;
    }
    runs[0] = {&m_points[size_t(start + n) * 3], -start};
    if (m_head == 0)
        return 1;
    runs[1] = {m_points.data(), m_head};
    return 2;
}
