#pragma once

#include <QGLViewer/vec.h>

#include <vector>

// The positions a node has been seen at, newest first, up to a limit: a ring
// of float triples (12 bytes a point) that grows as it fills, so that a tag
// seen a few times costs little and a full history costs exactly its limit.
class PositionHistory
{
public:
    // A run of points that lie one after the other in memory, oldest first:
    // x, y, z floats, ready for a GL vertex array.
    struct Run
    {
        const float *data = nullptr;
        int count = 0;
    };

    explicit PositionHistory(int limit);

    int size() const { return m_size; }
    bool isEmpty() const { return m_size == 0; }
    int limit() const { return m_limit; }
    // Point i, 0 being the newest.
    qglviewer::Vec at(int i) const;

    // Adds the newest point, dropping the oldest beyond the limit. A point
    // equal to the newest one adds nothing: a node standing still leaves one
    // point, not thousands.
    void push(float x, float y, float z);
    // Forgets every point and gives the memory back.
    void clear();

    // The newest count points (at most size()) as at most two runs, oldest
    // first; returns the number of runs.
    int newest(int count, Run runs[2]) const;

    // Bytes held for points.
    size_t bytes() const { return m_points.capacity() * sizeof(float); }

private:
    void grow();
    int slotCount() const { return int(m_points.size() / 3); }

    std::vector<float> m_points;
    int m_head = 0; // slot of the next point
    int m_size = 0;
    int m_limit;
};
