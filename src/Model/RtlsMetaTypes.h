#pragma once

// Registers the fixed-width integer names (uint64_t, uint32_t, int32_t,
// int64_t, uint16_t, uint8_t) with Qt's meta-type system, so they can be used
// in queued signals, slots and properties by those names. Safe to call often.
void registerRtlsMetaTypes();
