// Bytes arriving on a component's pipe: the header, the data, the close byte,
// in reads of any length.  The first input byte chooses how many bytes each
// read hands over (1 to 256); the rest is what the client wrote.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "messaging/transfer_data.h"

namespace {

class FuzzedPipe : public PacketReader {
public:
    FuzzedPipe(const uint8_t* data, size_t size, size_t chunk) : data_(data), size_(size), chunk_(chunk) {}
    BOOL Read(void* buffer, DWORD size, DWORD* read) override {
        *read = 0;
        if (position_ == size_)
            return FALSE;  // the client has gone: ERROR_BROKEN_PIPE
        size_t n = size < chunk_ ? size : chunk_;
        if (n > size_ - position_)
            n = size_ - position_;
        for (size_t i = 0; i < n; ++i)
            static_cast<BYTE*>(buffer)[i] = data_[position_ + i];
        position_ += n;
        *read = static_cast<DWORD>(n);
        return TRUE;
    }
    bool exhausted() const { return position_ == size_; }

private:
    const uint8_t* data_;
    size_t size_;
    size_t chunk_;
    size_t position_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static TransferData endpoint;  // the mailbox semaphore; no thread is started
    static const bool traced = [] {
        TransferData::SetTraceSink([](const std::string&) {});  // the trace lines are composed all the same
        return true;
    }();
    (void)traced;
    if (size == 0)
        return 0;
    FuzzedPipe pipe(data + 1, size - 1, size_t(data[0]) + 1);
    // One connection after another, as the receiving thread serves them,
    // until one fails or the bytes run out.
    while (!pipe.exhausted()) {
        const int r = TransferData::ReceiveRequest(pipe);
        if (r == 0 || r == TransferData::kReceiveClosed)
            break;
        TransferPacket packet{};
        if (r == 1 && endpoint.GetPacket(&packet, 1)) {
            std::vector<std::string> strings;
            TransferData::UnpackStrings(packet, &strings, false);
            TransferData::FreePacketData(&packet);
        }
    }
    return 0;
}
