// A WM_COPYDATA block as another program may send it to a component's window
// (Windows 9x): through RouterWndProc and through ReceiveCopyData.  The first
// input byte chooses the path; the rest is the block.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "hostwin/machine.h"
#include "messaging/transfer_data.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static TransferData endpoint;  // never initialised: the window transport, no thread
    if (size == 0)
        return 0;
    std::vector<BYTE> block(data + 1, data + size);  // exactly the bytes that came, nothing after them
    COPYDATASTRUCT copyData{data[0], static_cast<DWORD>(block.size()), block.empty() ? nullptr : block.data()};
    if (data[0] & 1)
        TransferData::RouterWndProc(nullptr, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&copyData));
    else
        TransferData::ReceiveCopyData(&copyData);
    hostwin::Machine::ClearMessageBoxes();  // the invalid-packet box is recorded, not shown

    TransferPacket packet{};
    if (TransferData::IsPacketWaiting() && endpoint.GetPacket(&packet, 1)) {
        std::vector<std::string> strings;
        TransferData::UnpackStrings(packet, &strings, false);
        TransferData::FreePacketData(&packet);
    }
    return 0;
}
