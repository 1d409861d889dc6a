// nmsend: sends one request and says how it went.
//   nmsend [--as NAME] --to NAME --op ZOVU_NAME [--trace] [STRING... | --raw HEX]
// Names are component names (NMWatch) or numbers; operations ZOVU_ names or
// numbers.  Prints "sent"/"failed" and the last-error text.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "component.h"

namespace {

bool ParseOperation(const std::string& text, BYTE* code) {
    for (int i = 0; i < 256; ++i)
        if (TransferData::OperationName(static_cast<BYTE>(i)) == text && text != "UNDEFINED_MESSAGE") {
            *code = static_cast<BYTE>(i);
            return true;
        }
    return ParseNumber(text, code);
}

bool ParseHex(const std::string& text, std::vector<BYTE>* bytes) {
    std::string digits;
    for (const char c : text)
        if (c != ' ' && c != ':')
            digits += c;
    if (digits.size() % 2 != 0)
        return false;
    for (size_t i = 0; i < digits.size(); i += 2) {
        char* end = nullptr;
        const std::string pair = digits.substr(i, 2);
        const unsigned long b = std::strtoul(pair.c_str(), &end, 16);
        if (*end != '\0')
            return false;
        bytes->push_back(static_cast<BYTE>(b));
    }
    return true;
}

int Usage() {
    std::fprintf(stderr, "usage: nmsend [--as NAME] --to NAME --op ZOVU_NAME [--trace] [STRING... | --raw HEX]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    BYTE self = NMShellExt, destination = 0, operation = 0;
    bool haveDestination = false, haveOperation = false, raw = false, trace = false;
    std::vector<std::string> strings;
    std::vector<BYTE> bytes;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--as" && hasValue) {
            if (!ParseCaller(argv[++i], &self))
                return Usage();
        } else if (arg == "--to" && hasValue) {
            if (!ParseCaller(argv[++i], &destination))
                return Usage();
            haveDestination = true;
        } else if (arg == "--op" && hasValue) {
            if (!ParseOperation(argv[++i], &operation))
                return Usage();
            haveOperation = true;
        } else if (arg == "--raw" && hasValue) {
            if (!ParseHex(argv[++i], &bytes))
                return Usage();
            raw = true;
        } else if (arg == "--trace") {
            trace = true;
        } else {
            strings.push_back(arg);
        }
    }
    if (!haveDestination || !haveOperation || (raw && !strings.empty()))
        return Usage();
    if (trace)
        TransferData::SetTraceSink([](const std::string& line) {
            std::printf("trace: %s\n", OneLine(line).c_str());
            std::fflush(stdout);
        });

    bool sent = false;
    {
        TransferData sender;
        sender.Initialize(self, GetModuleHandleA(nullptr));
        sent = raw ? sender.SendPacket(destination, operation, static_cast<DWORD>(bytes.size()),
                                       bytes.empty() ? nullptr : bytes.data())
                   : sender.SendPacket(destination, operation, strings);
        std::printf("nmsend: %s -> %s %s: %s\n", TransferData::CallerName(self).c_str(),
                    TransferData::CallerName(destination).c_str(), TransferData::OperationName(operation).c_str(),
                    sent ? "sent" : "failed");
        std::printf("last error: %s\n", OneLine(TransferData::GetLastErrorText()).c_str());
        std::fflush(stdout);
    }
    return sent ? 0 : 1;
}
