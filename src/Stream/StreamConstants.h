#pragma once

#include <QtGlobal>

#include <cstdint>

// Every fixed number of the location stream in one place.
namespace Stream {

// UDP ports. With an external location engine the reports arrive on 8786;
// with the internal one they arrive on 8787 and 8786 carries the data
// concentrator's stream.
constexpr quint16 kLsPortExternalEngine = 8786;
constexpr quint16 kLsPortInternalEngine = 8787;
constexpr quint16 kDcPort = 8786;

// Capture recording.
constexpr const char *kCaptureFileName = "test.dat";
constexpr int kLiveViewIntervalMs = 500;
constexpr int kRecordingEnded = -1;

// A JSON line longer than this is not a location report; the bytes gathered
// so far are dropped and reading resumes at the next line feed, so a stream
// without line feeds cannot grow memory without bound. Far above the largest
// UDP datagram, so a report split over two datagrams is always joined.
constexpr int kMaxPendingJsonBytes = 1 << 20;

// Top-level TLV element types of a location datagram.
namespace Tlv {
constexpr quint8 kNodeId = 1;
constexpr quint8 kTimeStamp = 2;
constexpr quint8 kReportNumber = 3;
constexpr quint8 kMeasurement = 4;
constexpr quint8 kImu = 6;
constexpr quint8 kPosition = 8;
constexpr quint8 kEndCode = 11;
constexpr quint8 kIo = 62;
constexpr quint8 kBatteryVoltage = 63;

constexpr quint8 kEndCodeDiscard = 2;
constexpr quint8 kIoAveragingBit = 0x02;
// Between two nodes of one datagram, a node is announced only with more
// measurements than this.
constexpr int kMinMeasurementsBetweenNodes = 3;
} // namespace Tlv

constexpr const char *kTagText = "tag";
constexpr const char *kAnchorText = "anchor";

// Console time stamps.
constexpr const char *kTimeFormat = "yyyy-MM-dd HH:mm:ss.zzz";
constexpr const char *kNoTimeText = "....-..-.. --:--:--.---";

// A stream client is disconnected at once; this bounds the wait for the
// peer to acknowledge.
constexpr int kServerDisconnectWaitMs = 30000;
// How often that wait looks whether the server is shutting down.
constexpr int kServerQuitCheckMs = 100;

} // namespace Stream
