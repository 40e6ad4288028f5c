#pragma once

#include <QByteArray>

struct TagReport;

// The simulator's own encoders for the location stream: one JSON line per
// report, or one run of TLV elements per report (several runs may share a
// datagram). Written by hand so that encoding stays cheap under load.
class ReportEncoder
{
public:
    static void appendJson(QByteArray *out, const TagReport &r);
    static void appendTlv(QByteArray *out, const TagReport &r);

    // TLV element types of a report.
    static constexpr quint8 kTypeId = 1;
    static constexpr quint8 kTypeTime = 2;
    static constexpr quint8 kTypeSeq = 3;
    static constexpr quint8 kTypeMeas = 4;
    static constexpr quint8 kTypeImu = 6;
    static constexpr quint8 kTypePos = 8;
    static constexpr quint8 kTypeIo = 62;
    static constexpr quint8 kTypeVbat = 63;
    static constexpr quint8 kMeasAnchor = 0x28;
    static constexpr quint8 kMeasValue = 0x29;
    static constexpr quint8 kMeasTqf = 0x2A;
    static constexpr quint8 kMeasRssi = 0x2B;
    static constexpr quint8 kPosX = 0x50;
    static constexpr quint8 kPosY = 0x51;
    static constexpr quint8 kPosZ = 0x52;
    static constexpr quint8 kPosPqf = 0x54;
    static constexpr quint8 kImuVbat = 0x3F;
    static constexpr quint8 kImuQ0 = 0x40;
    static constexpr quint8 kImuTemp = 0x44;
};
