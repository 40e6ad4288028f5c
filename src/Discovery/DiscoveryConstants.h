#pragma once

#include <QtGlobal>

// Every number and name of the discovery protocol, in one place.
namespace Discovery {

// The service whose instances are the masters.
constexpr char kServiceName[] = "_svc_sentrova._tcp.local.";
// What the firmware dialog asks QMDns for.
constexpr char kFirmwareServiceName[] = "_svc_sentrova._udp.local";

constexpr char kMdnsGroup[] = "224.0.0.251";
constexpr quint16 kMdnsPort = 5353;
constexpr quint8 kMdnsTtl = 255;

// Masters answer {"command":"version"} on the service port and announce
// themselves on the announcement port.
constexpr quint16 kServicePort = 8784;
constexpr quint16 kAnnouncePort = 8783;
constexpr char kVersionRequest[] = "{\"command\":\"version\"}\n";

constexpr int kMdnsTimeoutMs = 5000;
constexpr int kBroadcastTimeoutMs = 5000;

// Engine set-up: class IN and the frame argument of the engine.
constexpr int kDnsClassIn = 1;
constexpr int kEngineFrame = 1000;

// RFC 6762 caps a multicast DNS message at 9000 bytes; reading less would
// cut a large but valid answer in two.
constexpr int kMaxDatagram = 9000;
// Longest a worker waits before it looks at its flags again, so that the
// owner never waits for it much longer than this when it is destroyed.
constexpr int kWorkerIdleMs = 1000;
constexpr int kReceiveErrorPauseMs = 20;

// DNS record types used here.
constexpr quint16 kTypeA = 1;
constexpr quint16 kTypePtr = 12;
constexpr quint16 kTypeTxt = 16;
constexpr quint16 kTypeSrv = 33;

// Response flags the firmware dialog's parser accepts: response, authoritative.
constexpr quint16 kResponseFlags = 0x8400;
constexpr int kDnsHeaderSize = 12;
// Fixed part of a resource record after its name: type, class, TTL, length.
constexpr int kRecordFixedSize = 10;
constexpr int kMaxLabelLength = 63;
constexpr quint8 kPointerMark = 0xC0;

} // namespace Discovery
