#pragma once

#include <QByteArray>

#include <cstdint>

// Location datagrams shaped like a master's: each node report carries a time
// stamp, a report number, a position and some ranges.
class BenchDatagrams
{
public:
    static constexpr uint64_t kFirstTagId = 0x4000;

    static QByteArray tlv(int nodes, int measurements);
    static QByteArray json(int nodes, int measurements);
};
