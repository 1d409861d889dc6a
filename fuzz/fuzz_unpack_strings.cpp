// Any TransferPacket handed to UnpackStrings: the data block is exactly the
// input, so a read past its end is caught.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "messaging/transfer_data.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<BYTE> block(data, data + size);
    const TransferPacket packet{NMShellExt, NMVuz, ZOVU_DEFAULT_MESSAGE, static_cast<DWORD>(block.size()),
                                block.empty() ? nullptr : block.data()};
    std::vector<std::string> strings;
    TransferData::UnpackStrings(packet, &strings, false);
    size_t total = 0;
    for (const auto& s : strings)
        total += s.size() + 1;
    if (total > size + 1)
        __builtin_trap();  // more text than bytes: a read beyond the block
    return 0;
}
