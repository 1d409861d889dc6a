// OptionSet: 32 booleans kept from a 32-bit registry mask, entry i for bit i.
#pragma once

#include "platform/win32.h"

struct OptionSet {
    BYTE entry[32] = {};  // any non-zero value counts as set

    void UnpackOptions(DWORD mask) {
        for (int i = 0; i < 32; ++i)
            entry[i] = (mask >> i & 1u) != 0 ? 1 : 0;
    }
    DWORD PackOptions() const {
        DWORD mask = 0;
        for (int i = 0; i < 32; ++i)
            if (entry[i] != 0)
                mask |= 1u << i;
        return mask;
    }
    bool IsSet(int i) const { return entry[i] != 0; }
};
