#pragma once

#include <QGLViewer/vec.h>

#include <cstdint>
#include <vector>

// The positions a node has been seen at, newest first, up to a limit: a ring
// of whole centimetres (three 16-bit numbers, 6 bytes a point) from an
// origin set by the first point, that grows as it fills, so that a tag seen
// a few times costs little and a full history exactly its limit. Positions
// more than 327 m from the origin are held at that distance.
class PositionHistory
{
public:
    // A run of points that lie one after the other in memory, oldest first.
    struct Run
    {
        const int16_t *data = nullptr;
        int count = 0;
    };

    explicit PositionHistory(int limit);

    int size() const { return m_size; }
    bool isEmpty() const { return m_size == 0; }
    int limit() const { return m_limit; }
    // Point i, 0 being the newest.
    qglviewer::Vec at(int i) const;
    // Metres of a stored coordinate: origin[axis] + value * kMetresPerUnit.
    const float *origin() const { return m_origin; }
    static constexpr float kMetresPerUnit = 0.01f;

    // Adds the newest point, dropping the oldest beyond the limit. A point
    // equal to the newest one (to the centimetre) adds nothing: a node
    // standing still leaves one point, not thousands. A point that is not a
    // number is not stored.
    void push(double x, double y, double z);
    // Forgets every point and gives the memory back.
    void clear();

    // The newest count points (at most size()) as at most two runs, oldest
    // first; returns the number of runs.
    int newest(int count, Run runs[2]) const;

    // Bytes held for points.
    size_t bytes() const { return m_points.capacity() * sizeof(int16_t); }

private:
    void grow();
    int slotCount() const { return int(m_points.size() / 3); }

    std::vector<int16_t> m_points;
    float m_origin[3] = {0, 0, 0};
    int m_head = 0; // slot of the next point
    int m_size = 0;
    int m_limit;
};
