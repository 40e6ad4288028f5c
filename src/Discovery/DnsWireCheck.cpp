#include "DnsWireCheck.h"

#include "DiscoveryConstants.h"

namespace {

constexpr unsigned kTypeNs = 2;
constexpr unsigned kTypeCname = 5;
constexpr unsigned kTypeAaaa = 28;
constexpr std::size_t kSrvFixedSize = 6;
constexpr std::size_t kQuestionFixedSize = 4;

unsigned read16(const unsigned char *data, std::size_t pos)
{
    return (static_cast<unsigned>(data[pos]) << 8) | data[pos + 1];
}

} // namespace

bool DnsWireCheck::isWellFormed(const unsigned char *data, std::size_t size)
{
    using namespace Discovery;
    if (!data || size < static_cast<std::size_t>(kDnsHeaderSize)
        || size > static_cast<std::size_t>(kMaxDatagram))
        return false;
    const unsigned questions = read16(data, 4);
    const unsigned records = read16(data, 6) + read16(data, 8) + read16(data, 10);
    if (questions + records > static_cast<unsigned>(kMaxEntries))
        return false;

    std::size_t pos = kDnsHeaderSize;
    for (unsigned i = 0; i < questions; ++i) {
        std::size_t end = 0;
        if (!checkName(data, size, pos, &end) || end + kQuestionFixedSize > size)
            return false;
        pos = end + kQuestionFixedSize;
    }
    for (unsigned i = 0; i < records; ++i) {
        std::size_t end = 0;
        if (!checkName(data, size, pos, &end) || end + kRecordFixedSize > size)
            return false;
        const unsigned type = read16(data, end);
        const std::size_t length = read16(data, end + 8);
        const std::size_t start = end + kRecordFixedSize;
        if (start + length > size || !checkRecordData(data, size, type, start, length))
            return false;
        pos = start + length;
    }
    return true;
}

bool DnsWireCheck::checkName(const unsigned char *data, std::size_t size, std::size_t pos,
                             std::size_t *end)
{
    using namespace Discovery;
    std::size_t p = pos;
    std::size_t segmentStart = pos;
    std::size_t length = 0;
    bool jumped = false;
    while (true) {
        if (p >= size)
            return false;
        const unsigned char label = data[p];
        if (label == 0) {
            if (!jumped)
                *end = p + 1;
            return true;
        }
        if (label >= kPointerMark) {
            if (p + 1 >= size)
                return false;
            const std::size_t target = (static_cast<std::size_t>(label & ~kPointerMark) << 8) | data[p + 1];
            if (target >= segmentStart || target < static_cast<std::size_t>(kDnsHeaderSize))
                return false;
            if (!jumped)
                *end = p + 2;
            jumped = true;
            p = segmentStart = target;
            continue;
        }
        if (label > kMaxLabelLength || p + 1 + label > size)
            return false;
        length += label + 1;
        if (length > static_cast<std::size_t>(kMaxNameLength))
            return false;
        p += 1 + label;
    }
}

bool DnsWireCheck::checkRecordData(const unsigned char *data, std::size_t size, unsigned type,
                                   std::size_t start, std::size_t length)
{
    using namespace Discovery;
    std::size_t nameStart = start;
    switch (type) {
    case kTypeA:
        return length == 4;
    case kTypeAaaa:
        return length == 16;
    case kTypeSrv:
        if (length <= kSrvFixedSize)
            return false;
        nameStart = start + kSrvFixedSize;
        break;
    case kTypePtr:
    case kTypeNs:
    case kTypeCname:
        break;
    default:
        return true;
    }
    std::size_t end = 0;
    return checkName(data, size, nameStart, &end) && end <= start + length;
}
