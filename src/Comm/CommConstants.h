#pragma once

#include <QtGlobal>

// The numbers of the service channel, kept in one place.
namespace Comm {

constexpr quint16 kServicePort = 8784;
constexpr int kSendIntervalMs = 50;
constexpr int kKeepAliveIntervalMs = 10000;
constexpr int kConnectTimeoutMs = 1000;
constexpr int kWriteTimeoutMs = 1000;
// A master never sends a line anywhere near this long; a peer that does is
// broken or hostile, and the receive buffer must not grow without bound.
constexpr int kMaxLineBytes = 1024 * 1024;
// Lines a master's send queue holds at most (at one line per send tick,
// more than eight minutes of traffic); further lines are not queued.
constexpr int kMaxQueuedLines = 10000;
// Re-query of node configurations and auto positions after a change.
constexpr int kRequeryDelayMs = 2000;

constexpr char kLineDelimiter = '\n';
constexpr char kPingMessage[] = "{\"command\":\"ping\"}";
constexpr char kPingResponse[] = "\"response\":\"ping\"";
constexpr char kCloseMessage[] = "Connection closed on request";
constexpr int kCloseCode = -1;

// Bit of RtlsObject::flags(): the node asks for its stored position.
constexpr quint32 kFlagPushPosition = 0x40000000;
// Node ids in service responses are reduced to these bits before lookup.
constexpr quint64 kServiceIdMask = 0xFFFF;

constexpr quint16 kDefaultAntennaDelay = 16515;

// A master named on the command line is greeted again this long after its
// link broke (there is no discovery to find it).
constexpr int kFixedMasterRetryMs = 2000;

// Tag inactivity: checked every 250 ms, a tag silent for 10 s is inactive.
constexpr int kActivityCheckMs = 250;
constexpr qint64 kInactiveAfterMs = 10000;
// Last-update time of a tag already reported inactive.
constexpr quint64 kReportedInactive = ~quint64(0);
// Console lines of one activity check; more tags gone inactive at once are
// counted in one line after them.
constexpr int kInactiveLinesPerCheck = 10;

} // namespace Comm
