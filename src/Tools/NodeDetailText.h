#pragma once

#include <QString>

#include <cstdint>

// How the node details write a node's values: plain functions, so that the
// texts can be checked without a window.
namespace NodeDetailText {

// Shown for a value the node has not reported.
QString unknown();
// "0x0103"; unknown() for 0 (never reported).
QString version(uint32_t version);
// "0x2000 (Clock source)"; "0x0000" when no role is set.
QString roles(uint32_t roles);
// The number, or unknown() for -1 (none).
QString seatOrGroup(int32_t value);
// Metres with 3 decimals; empty when the coordinate is not known.
QString coordinate(float value, bool known);
// A coordinate typed by the user, in the C locale or the user's ("4.25" or
// "4,25"); false when it is not a number a node can hold. The one reading
// of typed coordinates: the setup table, the details and the settings
// dialog all go through it.
bool parseCoordinate(const QString &text, double *value);
// Yaw, pitch and roll in degrees from the quaternion (q0 the scalar part);
// unknown() for the zero quaternion.
QString orientation(float q0, float q1, float q2, float q3);
// "0x02".
QString io(uint8_t io);
// Volts with 2 decimals.
QString volts(float vbat);
// Degrees Celsius with 1 decimal.
QString celsius(float temperature);
// How long ago the last report came: "0.4 s", "12 s", "3 min 5 s",
// "inactive" for a node the hub declared inactive, unknown() before any.
QString age(uint64_t lastUpdateMs, int64_t nowMs);
// Seconds as "2 d 03:04:05" or "03:04:05".
QString uptime(uint32_t seconds);

} // namespace NodeDetailText
