#include "RtlsMetaTypes.h"

#include "RtlsObject.h"

#include <QMetaType>

#include <cstdint>

void registerRtlsMetaTypes()
{
    static const bool registered = [] {
        qRegisterMetaType<uint64_t>("uint64_t");
        qRegisterMetaType<uint32_t>("uint32_t");
        qRegisterMetaType<int32_t>("int32_t");
        qRegisterMetaType<int64_t>("int64_t");
        qRegisterMetaType<uint16_t>("uint16_t");
        qRegisterMetaType<uint8_t>("uint8_t");
        // Node records travel in the hub's signals, also across threads.
        qRegisterMetaType<RtlsObject *>("RtlsObject*");
        return true;
    }();
    Q_UNUSED(registered)
}
