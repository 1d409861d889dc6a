// The two byte orders in which the registry holds a PackedStamp: stand-alone
// stamps ("DCSI", "ENST", "LLC", "LLU", each "DCSL" entry) most significant
// byte first, the stamps inside a "DCCDA" record least significant byte first.
#pragma once

#include "datetime/date_time_stamp.h"

inline PackedStamp ReadBigEndianStamp(const BYTE* bytes) {
    PackedStamp packed = 0;
    for (int i = 0; i < 8; ++i)
        packed = packed << 8 | bytes[i];
    return packed;
}

inline PackedStamp ReadLittleEndianStamp(const BYTE* bytes) {
    PackedStamp packed = 0;
    for (int i = 8; i > 0; --i)
        packed = packed << 8 | bytes[i - 1];
    return packed;
}

inline void WriteBigEndianStamp(PackedStamp packed, BYTE* bytes) {
    for (int i = 0; i < 8; ++i)
        bytes[i] = static_cast<BYTE>(packed >> (56 - 8 * i));
}

inline void WriteLittleEndianStamp(PackedStamp packed, BYTE* bytes) {
    for (int i = 0; i < 8; ++i)
        bytes[i] = static_cast<BYTE>(packed >> (8 * i));
}
