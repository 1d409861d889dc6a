// The receiving loop shared by nmwatch, nmtray and nmzap4.
#include "component.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

struct Options {
    CallerId self = 0;
    std::string logPath;
    UINT timeout = 0;
    bool hex = false;
    bool dump = false;
    bool trace = false;
};

bool ParseOptions(const ComponentProfile& profile, int argc, char** argv, Options* options) {
    options->self = profile.self;
    options->logPath = profile.defaultLog;
    options->timeout = profile.defaultTimeout;
    // The extension starts nmzap4.exe with its bare, unquoted path as the whole
    // command line; the runtime splits "C:\Program Files\..." at the blank.
    // Words before the first option are that path's remainder, not arguments.
    int first = 1;
    while (first < argc && std::strncmp(argv[first], "--", 2) != 0)
        ++first;
    for (int i = first; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--log" && i + 1 < argc)
            options->logPath = argv[++i];
        else if (arg == "--as" && i + 1 < argc) {
            if (!ParseCaller(argv[++i], &options->self))
                return false;
        }
        else if (arg == "--timeout" && i + 1 < argc)
            options->timeout = static_cast<UINT>(std::strtoul(argv[++i], nullptr, 10));
        else if (arg == "--hex")
            options->hex = true;
        else if (arg == "--dump")
            options->dump = true;
        else if (arg == "--trace")
            options->trace = true;
        else
            return false;
    }
    return true;
}

void Emit(const std::string& logPath, const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
    if (FILE* log = std::fopen(logPath.c_str(), "a")) {
        std::fprintf(log, "%s\n", line.c_str());
        std::fclose(log);
    }
}

// A string list is the whole block: texts, each with its zero, and a final zero.
bool IsStringList(const TransferPacket& packet, const std::vector<std::string>& strings) {
    unsigned long long consumed = 0;
    for (const auto& s : strings)
        consumed += s.size() + 1;
    return packet.dataLength > 0 && consumed + 1 == packet.dataLength;
}

}  // namespace

bool ParseNumber(const std::string& text, BYTE* value) {
    char* end = nullptr;
    const unsigned long n = std::strtoul(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || n > 255)
        return false;
    *value = static_cast<BYTE>(n);
    return true;
}

bool ParseCaller(const std::string& text, BYTE* id) {
    for (int i = 0; i < 256; ++i)
        if (_stricmp(TransferData::CallerName(static_cast<BYTE>(i)).c_str(), text.c_str()) == 0 &&
            text != "Invalid Caller") {
            *id = static_cast<BYTE>(i);
            return true;
        }
    return ParseNumber(text, id);
}

std::string OneLine(const std::string& text) {
    std::string out;
    for (const unsigned char c : text) {
        if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else if (c == '\t')
            out += "\\t";
        else if (c < 0x20) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        } else
            out += static_cast<char>(c);
    }
    return out;
}

std::string DescribeRequest(CallerId self, const TransferPacket& packet) {
    std::string line = TransferData::CallerName(self) + " <- " + TransferData::CallerName(packet.caller) + " " +
                       TransferData::OperationName(packet.operation) + " ";
    std::vector<std::string> strings;
    TransferData::UnpackStrings(packet, &strings, false);
    if (IsStringList(packet, strings)) {
        line += "[";
        for (size_t i = 0; i < strings.size(); ++i) {
            line.append(i ? ", \"" : "\"");
            line.append(OneLine(strings[i]));
            line.append("\"");
        }
        line += "]";
    } else {
        char count[32];
        std::snprintf(count, sizeof count, "(%lu bytes)", static_cast<unsigned long>(packet.dataLength));
        line += count;
    }
    if (packet.destination != self)
        line += " addressed to " + TransferData::CallerName(packet.destination);
    return line;
}

std::string PacketHex(const TransferPacket& packet) {
    const DWORD n = packet.dataLength;
    const BYTE header[7] = {packet.caller, packet.destination, packet.operation, static_cast<BYTE>(n >> 24),
                            static_cast<BYTE>(n >> 16), static_cast<BYTE>(n >> 8), static_cast<BYTE>(n)};
    std::string out;
    char hex[4];
    for (const BYTE b : header) {
        std::snprintf(hex, sizeof hex, out.empty() ? "%02X" : " %02X", b);
        out += hex;
    }
    for (DWORD i = 0; i < n && packet.data != nullptr; ++i) {
        std::snprintf(hex, sizeof hex, " %02X", packet.data[i]);
        out += hex;
    }
    return out;
}

int RunComponent(const ComponentProfile& profile, int argc, char** argv) {
    Options options;
    if (!ParseOptions(profile, argc, argv, &options)) {
        std::fprintf(stderr, "usage: %s [--as NAME] [--log PATH] [--timeout SECONDS] [--hex] [--dump] [--trace]\n",
                     argv[0]);
        return 2;
    }
    if (options.trace)
        TransferData::SetTraceSink([](const std::string& line) {
            std::printf("trace: %s\n", OneLine(line).c_str());
            std::fflush(stdout);
        });

    const CallerId self = options.self;
    const std::string name = TransferData::CallerName(self);
    TransferData endpoint;
    endpoint.Initialize(self, GetModuleHandleA(nullptr));
    // Another process may hold the identity's pipe (the component started
    // twice): then this one serves nothing and must not say that it does.
    if (!TransferData::IsReceiving()) {
        Emit(options.logPath, name + " cannot receive on " + TransferData::RouterName(self) + ": " +
                                  OneLine(TransferData::GetLastErrorText()));
        return 1;
    }
    Emit(options.logPath, name + " ready on " + TransferData::RouterName(self));

    for (;;) {
        TransferPacket packet{};
        if (!endpoint.GetPacket(&packet, options.timeout)) {
            Emit(options.logPath, name + " stops: " + OneLine(TransferData::GetLastErrorText()));
            return 1;
        }
        Emit(options.logPath, DescribeRequest(self, packet));
        if (options.hex)
            Emit(options.logPath, "  packet: " + PacketHex(packet));
        if (options.dump) {
            std::vector<std::string> strings;
            TransferData::UnpackStrings(packet, &strings, true);
        }
        const bool stop = profile.oneRequest || packet.operation == profile.stopOperation;
        TransferData::FreePacketData(&packet);
        if (stop)
            break;
    }
    Emit(options.logPath, name + " stops");
    return 0;
}
