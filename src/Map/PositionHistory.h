#pragma once

#include <QGLViewer/vec.h>

#include <algorithm>
#include <cstdint>
#include <vector>

// The positions a node has been seen at, newest first, up to a limit: a ring
// of whole centimetres (three 16-bit numbers, 6 bytes a point) that grows as
// it fills, so that a tag seen a few times costs little and a full history
// exactly its limit. Centimetres count from the origin of the block a point
// belongs to: the first point opens a block at its whole metres, and a point
// more than 327 m from the current block's origin opens the next, so every
// point is kept to the centimetre however far it is from the others (a
// large yard, a wild first fix). A block costs 32 bytes; a track opens one
// every few hundred metres of travel.
class PositionHistory
{
public:
    // A run of points that lie one after the other in memory, oldest first,
    // and count from one origin: point k is origin + data[3k..3k+2] units.
    struct Run
    {
        const int16_t *data = nullptr;
        int count = 0;
        const double *origin = nullptr;
    };

    explicit PositionHistory(int limit);

    int size() const { return m_size; }
    bool isEmpty() const { return m_size == 0; }
    int limit() const { return m_limit; }
    // Point i, 0 being the newest.
    qglviewer::Vec at(int i) const;
    static constexpr double kMetresPerUnit = 0.01;

    // Adds the newest point, dropping the oldest beyond the limit. A point
    // equal to the newest one (to the centimetre) adds nothing: a node
    // standing still leaves one point, not thousands. A point that is not a
    // number is not stored.
    void push(double x, double y, double z);
    // Forgets every point and gives the memory back.
    void clear();

    // Calls run(const Run &) for the newest count points (at most size()),
    // oldest first, split where the ring wraps and where a block begins;
    // returns the number of runs.
    template<typename Visit>
    int forEachRun(int count, Visit &&run) const;

    // Bytes held for points and their blocks.
    size_t bytes() const { return m_points.capacity() * sizeof(int16_t) + m_blocks.capacity() * sizeof(Block); }

private:
    struct Block
    {
        uint64_t first; // sequence number of its first point
        double origin[3];
    };

    void grow();
    void dropDeadBlocks();
    int slotCount() const { return int(m_points.size() / 3); }
    // Slot of the point with sequence number seq (one of the held ones).
    int slotOf(uint64_t seq) const;
    // Index in m_blocks of the block holding sequence number seq.
    size_t blockOf(uint64_t seq) const;

    std::vector<int16_t> m_points;
    // Live blocks from m_firstBlock on, oldest first.
    std::vector<Block> m_blocks;
    size_t m_firstBlock = 0;
    uint64_t m_pushed = 0; // points ever stored; the next one's sequence number
    int m_head = 0;        // slot of the next point
    int m_size = 0;
    int m_limit;
};

template<typename Visit>
int PositionHistory::forEachRun(int count, Visit &&run) const
{
    count = std::min(count, m_size);
    if (count <= 0)
        return 0;
    const int n = slotCount();
    uint64_t seq = m_pushed - uint64_t(count);
    size_t block = blockOf(seq);
    int runs = 0;
    while (seq < m_pushed) {
        const uint64_t end = block + 1 < m_blocks.size() ? m_blocks[block + 1].first : m_pushed;
        const int slot = slotOf(seq);
        const int length = int(std::min<uint64_t>(end - seq, uint64_t(n - slot)));
        run(Run{&m_points[size_t(slot) * 3], length, m_blocks[block].origin});
        ++runs;
        seq += uint64_t(length);
        if (seq == end)
            ++block;
    }
    return runs;
}
