#pragma once

#include <cstddef>

// Strict bounds check of a received DNS message before the multicast DNS
// engine sees it. The engine's parser trusts the counts and lengths in the
// message and reads a fixed-size buffer; this check lets through only
// messages whose every question, record, record data and name lies inside
// the bytes actually received, whose compression pointers lead strictly
// backwards, and whose size keeps the parser far from its own limits.
class DnsWireCheck
{
public:
    // Entries (questions and records together) accepted in one message;
    // a master's answer holds a handful.
    static constexpr int kMaxEntries = 64;
    // Presentation length of a name (RFC 1035: 255 octets on the wire).
    static constexpr int kMaxNameLength = 255;

    static bool isWellFormed(const unsigned char *data, std::size_t size);

private:
    // Reads the name at pos; end receives the position after the bytes it
    // occupies there.
    static bool checkName(const unsigned char *data, std::size_t size, std::size_t pos,
                          std::size_t *end);
    static bool checkRecordData(const unsigned char *data, std::size_t size, unsigned type,
                                std::size_t start, std::size_t length);
};
