// Feeds arbitrary bytes to the TLV element reader and to the nested decoders
// of the position, measurement and IMU records.
#include "RtlsIMU.h"
#include "RtlsMeas.h"
#include "RtlsPos.h"
#include "TlvReader.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

void walk(const char *data, int size)
{
    TlvReader reader(data, size);
    while (reader.next() == TlvReader::Result::Element) {
        uint8_t u8;
        int8_t i8;
        uint32_t u32;
        int32_t i32;
        uint64_t u64;
        float f;
        double d;
        reader.readUInt8(u8);
        reader.readInt8(i8);
        reader.readUInt32(u32);
        reader.readInt32(i32);
        reader.readUInt64(u64);
        reader.readFloat(f);
        reader.readDouble(d);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 65536)
        return 0;
    // An exact-size copy, so that any read past the end is caught.
    const std::vector<char> buf(data, data + size);
    const char *p = buf.empty() ? nullptr : buf.data();
    const int n = static_cast<int>(buf.size());

    walk(p, n);
    RtlsPos pos;
    pos.updateFromTlv(p, n);
    pos.toJson(0);
    RtlsMeas meas;
    meas.updateFromTlv(p, n);
    meas.toJson();
    RtlsIMU imu;
    imu.updateFromTlv(p, n);
    return 0;
}
