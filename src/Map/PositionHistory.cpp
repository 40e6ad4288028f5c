#include "PositionHistory.h"

#include <algorithm>

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
    const float *p = &m_points[size_t(slot) * 3];
    return qglviewer::Vec(p[0], p[1], p[2]);
}

void PositionHistory::push(float x, float y, float z)
{
    if (m_size > 0) {
        const int last = (m_head + slotCount() - 1) % slotCount();
        const float *p = &m_points[size_t(last) * 3];
        if (p[0] == x && p[1] == y && p[2] == z)
            return;
    }
    if (m_size == slotCount() && slotCount() < m_limit)
        grow();
    float *p = &m_points[size_t(m_head) * 3];
    p[0] = x;
    p[1] = y;
    p[2] = z;
    m_head = (m_head + 1) % slotCount();
    if (m_size < slotCount())
        ++m_size;
}

void PositionHistory::grow()
{
    const int wanted = std::min(m_limit, std::max(kFirstSlots, slotCount() * 2));
    // Sized exactly, so that a full history holds no spare capacity.
    std::vector<float> grown(size_t(wanted) * 3);
    Run runs[2];
    const int count = newest(m_size, runs);
    float *out = grown.data();
    for (int r = 0; r < count; ++r)
        out = std::copy_n(runs[r].data, size_t(runs[r].count) * 3, out);
    m_points.swap(grown);
    m_head = m_size % wanted;
}

void PositionHistory::clear()
{
    std::vector<float>().swap(m_points);
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
