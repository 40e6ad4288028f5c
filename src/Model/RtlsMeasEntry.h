#pragma once

#include "RtlsModelConstants.h"

#include <QMetaType>

#include <cstdint>

// One ranging measurement of a node to one anchor.
struct RtlsMeasEntry
{
    int32_t kind = Rtls::kMeasEmpty; // kMeasDistance, kMeasToa or kMeasEmpty
    float value = 0.0f;              // metres (distance) or time of arrival
    float rssi = 0.0f;               // signal strength, or the quality when no rssi came
    int32_t tqf = 0;
    uint64_t extra = 0;
    float stdev = 0.0f;

    bool operator==(const RtlsMeasEntry &o) const
    {
        return kind == o.kind && value == o.value && rssi == o.rssi && tqf == o.tqf
            && extra == o.extra && stdev == o.stdev;
    }
    bool operator!=(const RtlsMeasEntry &o) const { return !(*this == o); }
};

Q_DECLARE_METATYPE(RtlsMeasEntry)
