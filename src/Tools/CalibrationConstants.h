#pragma once

#include <QtGlobal>

#include <cmath>

// The numbers of antenna-delay calibration, kept in one place.
namespace Calib {

// Distance that one device time unit of antenna delay adds to a range.
constexpr double kMetresPerDeviceUnit = 0.0046917519677;

// Delays a radio can plausibly hold. Nothing outside this window is ever
// written to a node: a value there comes from a bad measurement, not from a
// real antenna.
constexpr int kMinDelay = 15500;
constexpr int kMaxDelay = 17500;
// Delay boxes show any delay a node can report (16 bits), and this below
// it when the chosen node's delays were not read yet.
constexpr int kMaxReportedDelay = 0xFFFF;
constexpr int kDelayNotRead = -1;

// An anchor counts as on the line when the cosine of the angle between the
// two ends, seen from it, is this close to -1; the looser band is shown
// yellow and needs the installer's confirmation.
constexpr double kOnLineCosBand = 0.1;
constexpr double kNearLineCosBand = 0.2;

// Tag calibration: samples per anchor before its mean counts, and the most
// one Apply may change a tag's delays.
constexpr int kTagMinSamples = 50;
constexpr int kTagMaxStep = 100;

// Read-back of a checked write: how long a node has to answer.
constexpr int kWriteCheckTimeoutMs = 8000;
// How long an anchor has to answer a distance request after an Apply before
// it is left out of the next computation.
constexpr int kDistanceAnswerTimeoutMs = 10000;

inline bool isPlausibleDelay(double value)
{
    return std::isfinite(value) && value >= kMinDelay && value <= kMaxDelay;
}

// Metres of range error as device units of delay (positive: the ranges are
// too long, so the configured delays are too low).
inline double unitsFor(double metres)
{
    return metres / kMetresPerDeviceUnit;
}

} // namespace Calib
