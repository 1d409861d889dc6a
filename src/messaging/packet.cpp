// TransferData: the packet's bytes and the names by which identities and
// operations are printed.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>

#include "messaging/transfer_data.h"

namespace {

constexpr DWORD kHeaderSize = 7;
constexpr DWORD kFirstBytesShown = 50;

constexpr const char* kCallerNames[] = {
    "NMVuz",   "NMBase",       "NMScanner", "NMTray",    "NMShellExt", "NMDragDrop", "NMWatch",
    "NMIEClean", "NMAgent", "NMRegManager", "Launcher", "Uninstall", "NMService",
};

// Indexed by code; null where a code has no name.  14 and 15 are reserved:
// nothing sends them, and they print like the other unnamed codes.
constexpr const char* kOperationNames[] = {
    "ZOVU_DEFAULT_MESSAGE",
    "ZOVU_STOP_TRAY",
    "ZOVU_STOP_WATCH",
    "ZOVU_STOP_REGMAN",
    "ZOVU_RUN_VUZ",
    "ZOVU_RUN_NMBASE",
    "ZOVU_RUN_NULLSCAN",
    "ZOVU_RUN_TRAY",
    nullptr,
    "ZOVU_RUN_IECLEAN",
    "ZOVU_RUN_NMAGENT",
    "ZOVU_RUN_REGMANAGER",
    "ZOVU_RUN_SPACE",
    "ZOVU_RUN_EXPLORER",
    nullptr,
    nullptr,
    "ZOVU_SHOW_TRAYICON",
    "ZOVU_HIDE_TRAYICON",
    "ZOVU_REQUEST_REGSCAN",
    "ZOVU_REPLY_REGSCAN",
    nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
    "ZOVU_REQUEST_INTERNETREGSCAN",
    "ZOVU_REPLY_INTERNETREGSCAN",
    "ZOVU_REQUEST_REGCLEAN",
    "ZOVU_REPLY_REGCLEAN",
    "ZOVU_REQUEST_INTERNETREGCLEAN",
    "ZOVU_REPLY_INTERNETREGCLEAN",
    "ZOVU_REQUEST_WINTEMP",
    "ZOVU_REPLY_WINTEMP",
    "ZOVU_CLEAN_LOGIN",
    "ZOVU_CLEAN_BINS",
    "ZOVU_REQUEST_REG_HTML",
    "ZOVU_REPLY_REG_HTML",
    "ZOVU_EXECUTE_FILE",
    nullptr,
    "ZOVU_QUERY_CLEAN",
    "ZOVU_REPLY_CLEAN",
};
static_assert(std::size(kOperationNames) == 44, "codes 0 to 43");

constexpr char kDumpFile[] = "c:\\RARA.txt";
constexpr char kSizeMismatch[] = "Packet Error!  The packet received was not as large as the packet sent.";

void WriteHeader(BYTE* buffer, BYTE caller, BYTE destination, BYTE operation, DWORD length) {
    buffer[0] = caller;
    buffer[1] = destination;
    buffer[2] = operation;
    buffer[3] = static_cast<BYTE>(length >> 24);
    buffer[4] = static_cast<BYTE>(length >> 16);
    buffer[5] = static_cast<BYTE>(length >> 8);
    buffer[6] = static_cast<BYTE>(length);
}

// Sizes are computed in 64 bits so that a 32-bit build cannot wrap them.
BYTE* AllocatePacket(unsigned long long size) {
    if (size > SIZE_MAX)
        throw std::bad_alloc();
    return new BYTE[static_cast<size_t>(size)];
}

void WriteText(HANDLE file, const char* text, DWORD length) {
    DWORD written = 0;
    WriteFile(file, text, length, &written, nullptr);
}

}  // namespace

std::string TransferData::CallerName(BYTE id) {
    return id < std::size(kCallerNames) ? kCallerNames[id] : "Invalid Caller";
}

std::string TransferData::OperationName(BYTE code) {
    if (code < std::size(kOperationNames) && kOperationNames[code] != nullptr)
        return kOperationNames[code];
    return "UNDEFINED_MESSAGE";
}

std::string TransferData::RouterName(BYTE id) {
    char name[16];
    std::snprintf(name, sizeof name, "Router%i", static_cast<int>(id));
    return name;
}

std::string TransferData::PipeName(BYTE id) { return "\\\\.\\pipe\\" + RouterName(id); }

std::string TransferData::FirstBytesText(DWORD length, const BYTE* data) {
    if (length == 0 || data == nullptr)
        return "(no data)";
    const DWORD shown = std::min(length, kFirstBytesShown);
    const auto* begin = reinterpret_cast<const char*>(data);
    return std::string(begin, strnlen(begin, shown));
}

DWORD TransferData::ReadBigEndian32(const BYTE* bytes, DWORD offset) {
    return (static_cast<DWORD>(bytes[offset]) << 24) + (static_cast<DWORD>(bytes[offset + 1]) << 16) +
           (static_cast<DWORD>(bytes[offset + 2]) << 8) + bytes[offset + 3];
}

void TransferData::PackStrings(Outgoing* packet, const std::vector<std::string>& strings) {
    // Sized in 64 bits first: a list whose packet would not fit the 32-bit
    // length field cannot be sent, and is cut to an empty packet rather than
    // to a wrapped length that would contradict its data.
    unsigned long long size = kHeaderSize;
    for (const auto& s : strings)
        size += s.size();
    if (size > kHeaderSize)
        size += strings.size() + 1;
    if (size - kHeaderSize > 0xFFFFFFFFull - kHeaderSize)
        size = kHeaderSize;

    packet->dataLength = static_cast<DWORD>(size - kHeaderSize);
    packet->buffer.reset(AllocatePacket(size));
    BYTE* buffer = packet->buffer.get();
    WriteHeader(buffer, packet->caller, packet->destination, packet->operation, packet->dataLength);
    if (size > kHeaderSize) {
        BYTE* out = buffer + kHeaderSize;
        for (const auto& s : strings) {
            std::memcpy(out, s.data(), s.size());
            out += s.size();
            *out++ = 0;
        }
        *out = 0;
    }
}

// `packet->dataLength` bytes of `data`; no data is an empty packet.
void TransferData::PackData(Outgoing* packet, const void* data) {
    if (data == nullptr)
        packet->dataLength = 0;
    const unsigned long long size = static_cast<unsigned long long>(kHeaderSize) + packet->dataLength;
    packet->buffer.reset(AllocatePacket(size));
    WriteHeader(packet->buffer.get(), packet->caller, packet->destination, packet->operation, packet->dataLength);
    if (packet->dataLength > 0)
        std::memcpy(packet->buffer.get() + kHeaderSize, data, packet->dataLength);
}

void TransferData::UnpackStrings(const TransferPacket& packet, std::vector<std::string>* strings, bool dump) {
    strings->clear();
    HANDLE file = INVALID_HANDLE_VALUE;
    if (dump) {
        file = CreateFileA(kDumpFile, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            char line[64];
            const int n = std::snprintf(line, sizeof line, "There are %d bytes in this packet",
                                        static_cast<int>(packet.dataLength));
            WriteText(file, line, static_cast<DWORD>(n));
        }
    }

    // Never past the block: a list whose closing zero is missing ends at the
    // end of the data, its last text cut there.
    const DWORD length = packet.data != nullptr ? packet.dataLength : 0;
    const auto* data = reinterpret_cast<const char*>(packet.data);
    DWORD consumed = 0;
    while (consumed < length && data[consumed] != 0) {
        const DWORD textLength = static_cast<DWORD>(strnlen(data + consumed, length - consumed));
        strings->emplace_back(data + consumed, textLength);
        if (file != INVALID_HANDLE_VALUE) {
            WriteText(file, data + consumed, textLength);
            WriteText(file, "\r\n", 2);
        }
        consumed += textLength + 1;
    }

    if (static_cast<unsigned long long>(consumed) + 1 != packet.dataLength)
        Trace(kSizeMismatch);
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
}

void TransferData::FreePacketData(TransferPacket* packet) {
    delete[] packet->data;
    packet->data = nullptr;
    packet->dataLength = 0;
}
