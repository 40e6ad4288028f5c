#include "PositionHistory.h"

#include <cmath>
#include <limits>

namespace {

constexpr int kFirstSlots = 16;
constexpr double kMaxUnits = std::numeric_limits<int16_t>::max();

// Centimetres of point from origin on each axis; false when one of them
// does not fit 16 bits.
bool toUnits(const double point[3], const double origin[3], int16_t units[3])
{
    for (int i = 0; i < 3; ++i) {
        const double u = std::round((point[i] - origin[i]) / PositionHistory::kMetresPerUnit);
        if (!(std::fabs(u) <= kMaxUnits))
            return false;
        units[i] = int16_t(u);
    }
    return true;
}

} // namespace

PositionHistory::PositionHistory(int limit) : m_limit(std::max(1, limit)) {}

int PositionHistory::slotOf(uint64_t seq) const
{
    const int n = slotCount();
    const int back = int(m_pushed - seq); // 1 for the newest point
    return ((m_head - back) % n + n) % n;
}

size_t PositionHistory::blockOf(uint64_t seq) const
{
    // The last live block whose first point is not after seq.
    const auto it = std::upper_bound(m_blocks.begin() + std::ptrdiff_t(m_firstBlock), m_blocks.end(), seq,
                                     [](uint64_t s, const Block &b) { return s < b.first; });
    return size_t(it - m_blocks.begin()) - 1;
}

qglviewer::Vec PositionHistory::at(int i) const
{
    if (i < 0 || i >= m_size)
        return qglviewer::Vec();
    const uint64_t seq = m_pushed - 1 - uint64_t(i);
    const double *origin = m_blocks[blockOf(seq)].origin;
    const int16_t *p = &m_points[size_t(slotOf(seq)) * 3];
    return qglviewer::Vec(origin[0] + p[0] * kMetresPerUnit, origin[1] + p[1] * kMetresPerUnit,
                          origin[2] + p[2] * kMetresPerUnit);
}

void PositionHistory::push(double x, double y, double z)
{
    if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(z))
        return;
    const double point[3] = {x, y, z};
    int16_t units[3];
    if (m_size > 0 && toUnits(point, m_blocks.back().origin, units)) {
        const int16_t *p = &m_points[size_t(slotOf(m_pushed - 1)) * 3];
        if (p[0] == units[0] && p[1] == units[1] && p[2] == units[2])
            return;
    } else {
        // Whole metres, so that the stored centimetres are those of the
        // site; the point is then within half a metre of the origin.
        const Block block{m_pushed, {std::round(x), std::round(y), std::round(z)}};
        toUnits(point, block.origin, units);
        m_blocks.push_back(block);
    }
    if (m_size == slotCount() && slotCount() < m_limit)
        grow();
    int16_t *p = &m_points[size_t(m_head) * 3];
    p[0] = units[0];
    p[1] = units[1];
    p[2] = units[2];
    m_head = (m_head + 1) % slotCount();
    ++m_pushed;
    if (m_size < slotCount())
        ++m_size;
    else
        dropDeadBlocks();
}

void PositionHistory::dropDeadBlocks()
{
    // A block is dead once the oldest point held is past its last one.
    const uint64_t oldest = m_pushed - uint64_t(m_size);
    while (m_firstBlock + 1 < m_blocks.size() && m_blocks[m_firstBlock + 1].first <= oldest)
        ++m_firstBlock;
    // Moved down only when half are dead, so that a track opening a block
    // with every point costs no more than a constant per point.
    if (m_firstBlock > 0 && m_firstBlock * 2 >= m_blocks.size()) {
        m_blocks.erase(m_blocks.begin(), m_blocks.begin() + std::ptrdiff_t(m_firstBlock));
        m_firstBlock = 0;
    }
}

void PositionHistory::grow()
{
    const int wanted = std::min(m_limit, std::max(kFirstSlots, slotCount() * 2));
    // Sized exactly, so that a full history holds no spare capacity.
    std::vector<int16_t> grown(size_t(wanted) * 3);
    int16_t *out = grown.data();
    if (m_size > 0) {
        // Oldest first, wherever the ring had its seam.
        const int n = slotCount();
        const int start = slotOf(m_pushed - uint64_t(m_size));
        const int firstPart = std::min(m_size, n - start);
        out = std::copy_n(&m_points[size_t(start) * 3], size_t(firstPart) * 3, out);
        std::copy_n(m_points.data(), size_t(m_size - firstPart) * 3, out);
    }
    m_points.swap(grown);
    m_head = m_size % wanted;
}

void PositionHistory::clear()
{
    std::vector<int16_t>().swap(m_points);
    std::vector<Block>().swap(m_blocks);
    m_firstBlock = 0;
    m_pushed = 0;
    m_head = 0;
    m_size = 0;
}
