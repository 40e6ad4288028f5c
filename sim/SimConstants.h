#pragma once

#include <QtGlobal>

// Protocol and model constants of the simulated site, in one place.
namespace SimConst {

constexpr quint16 kServicePort = 8784;
constexpr quint16 kStreamPort = 8786;
constexpr quint16 kAnnouncePort = 8783;
constexpr quint16 kMdnsPort = 5353;
constexpr const char *kMdnsGroup = "224.0.0.251";
constexpr const char *kMdnsTcpService = "_svc_sentrova._tcp.local.";
constexpr const char *kMdnsUdpService = "_svc_sentrova._udp.local.";
constexpr quint32 kMdnsTtl = 120;

// Device time unit of the radio, expressed as a distance.
constexpr double kMetresPerDeviceUnit = 0.0046917519677;
constexpr quint16 kNominalAntennaDelay = 16515;
constexpr double kSpeedOfLight = 299792458.0;

constexpr double kDefaultNoise = 0.05;
constexpr double kOutlierProbability = 0.01;
constexpr double kOutlierMaxExcess = 2.0;
constexpr double kMaxRange = 40.0;

constexpr int kMaxDatagramBytes = 1400;
constexpr int kMaxLineBytes = 64 * 1024;
constexpr int kStreamTickMs = 10;
constexpr int kAnnounceIntervalMs = 5000;

// Generated tags are numbered from 0x4000 and must stay 16-bit ids.
constexpr int kMaxLoadTags = 0xBFFF;

constexpr int kAutoPosSamples = 32;
constexpr int kTdmaSchemeCount = 14;

constexpr int kFwMaxBlock = 4096;
constexpr int kFwMaxImage = 16 * 1024 * 1024;
constexpr int kFwDescSlots = 8;

} // namespace SimConst
