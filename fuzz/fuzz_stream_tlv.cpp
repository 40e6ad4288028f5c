// Feeds arbitrary bytes to the TLV location datagram decoder, with the
// console echo on, against a hub that holds the nodes it is given.
#include "../tests/Stream/FakeHubLink.h"
#include "TlvReportDecoder.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 65536)
        return 0;
    FakeHubLink hub;
    // A known tag, so both the update and the creation paths are reached.
    hub.addTag(1);
    TlvReportDecoder decoder(&hub);
    decoder.setEchoEnabled(true);
    decoder.decode(reinterpret_cast<const char *>(data), static_cast<int>(size));
    // The same datagram again meets the nodes it created.
    decoder.decode(reinterpret_cast<const char *>(data), static_cast<int>(size));
    return 0;
}
