#pragma once

#include <cstddef>
#include <cstdint>

// The model's numbers: the msgflags bits that tell what the last update of a
// node carried, the position's validity bits and the limits of averaging and
// statistics history. Other subsystems use these names rather than literals.
namespace Rtls {

// msgflags bits of RtlsObject.
constexpr uint32_t kMsgCoordinates = 0x1;          // last JSON update carried "coordinates"
constexpr uint32_t kMsgMeasurements = 0x4;         // last update carried measurements
constexpr uint32_t kMsgPosX = 0x20;                // position update set x
constexpr uint32_t kMsgPosY = 0x40;                // position update set y
constexpr uint32_t kMsgPosZ = 0x80;                // position update set z
constexpr uint32_t kMsgPressure = 0x100;           // "sensors" carried "pressure"
constexpr uint32_t kMsgTemperature = 0x200;        // "sensors" carried "temperature"; every position result
constexpr uint32_t kMsgSensorsPending = 0x800;     // cleared by a JSON update that carries "sensors"
constexpr uint32_t kMsgNodeOptions = 0x01000000;   // node options were received
constexpr uint32_t kMsgDetailsPending = 0x02000000; // node details were requested
constexpr uint32_t kMsgHeardOnce = 0x04000000;      // made by one location report, not heard again yet

// Position flags of RtlsPos.
constexpr uint32_t kPosX = 0x20;
constexpr uint32_t kPosY = 0x40;
constexpr uint32_t kPosZ = 0x80;
constexpr uint32_t kPosXYZ = kPosX | kPosY | kPosZ;
// The flag of axis 0 (x), 1 (y) or 2 (z).
constexpr uint32_t kPosAxis[3] = {kPosX, kPosY, kPosZ};
constexpr uint32_t kPosResult = 0x200;             // always part of a position result
constexpr uint8_t kInitialPqf = 100;

// Averaging depth of RtlsPos.
constexpr uint8_t kAvgRaised = 40;                  // incrAvg never gives less
constexpr uint8_t kAvgLowered = 4;                  // decrAvg toggles between this and 0

// Node option bits that decide the mode.
constexpr uint32_t kOptionMaster = 0x4;
constexpr uint32_t kOptionAnchor = 0x2;

// IMU io bit that raises the averaging depth (button held / moving slowly).
constexpr uint8_t kIoRaiseAvg = 0x02;

// Measurement kinds of RtlsMeasEntry.
constexpr int32_t kMeasEmpty = 0;
constexpr int32_t kMeasDistance = 1;
constexpr int32_t kMeasToa = 2;

// A measurement table larger than this is searched through an index.
constexpr int kMeasLinearSearchLimit = 32;
// Storage a measurement table keeps between reports; a rare larger report's
// storage is given back.
constexpr size_t kMeasKeptCapacity = 64;

// Statistics histories keep at most this many values.
constexpr int kStatsHistoryLimit = 1001;

// JSON ids from the service path are matched on their low 16 bits.
constexpr uint64_t kJsonIdMask = 0xFFFF;

// Nested TLV element types of a position run.
constexpr uint8_t kTlvPosX = 0x50;
constexpr uint8_t kTlvPosY = 0x51;
constexpr uint8_t kTlvPosZ = 0x52;
constexpr uint8_t kTlvPosHeading = 0x53;
constexpr uint8_t kTlvPosPqf = 0x54;

// Nested TLV element types of a measurement run.
constexpr uint8_t kTlvMeasAnchor = 0x28;
constexpr uint8_t kTlvMeasValue = 0x29;
constexpr uint8_t kTlvMeasTqf = 0x2A;
constexpr uint8_t kTlvMeasRssi = 0x2B;
constexpr uint8_t kTlvMeasExtra = 0x2C;

// Nested TLV element types of an IMU run.
constexpr uint8_t kTlvImuAm = 0x3C;
constexpr uint8_t kTlvImuVBat = 0x3F;
constexpr uint8_t kTlvImuQ0 = 0x40;
constexpr uint8_t kTlvImuQ1 = 0x41;
constexpr uint8_t kTlvImuQ2 = 0x42;
constexpr uint8_t kTlvImuQ3 = 0x43;
constexpr uint8_t kTlvImuTemperature = 0x44;

} // namespace Rtls
