// What the receiving components share: each takes requests on its own
// endpoint and prints one line per request, to stdout and to its log file.
#pragma once

#include <string>

#include "messaging/transfer_data.h"

struct ComponentProfile {
    CallerId self;
    const char* defaultLog;          // in the current directory unless --log PATH
    TransferOperation stopOperation;  // the request that ends the component
    bool oneRequest;                  // ends after the first request
    UINT defaultTimeout;              // seconds; 0 waits for ever
};

// "NMWatch <- NMShellExt ZOVU_RUN_VUZ ["CONFIRM", "C:\a.txt"]", or
// "... (N bytes)" when the data is not a list of strings.
std::string DescribeRequest(CallerId self, const TransferPacket& packet);

// The whole packet as it travelled, in hex: "04 06 04 00 00 00 12 ...".
std::string PacketHex(const TransferPacket& packet);

// Texts with line ends and tabs shown as \n, \r, \t, so that one text is one line.
std::string OneLine(const std::string& text);

// A number from 0 to 255; a component's name (NMWatch, any case) or number.
bool ParseNumber(const std::string& text, BYTE* value);
bool ParseCaller(const std::string& text, BYTE* id);

// Runs a component: [--as NAME] [--log PATH] [--timeout SECONDS] [--hex]
// [--dump] [--trace].  --as takes requests as another identity (a second
// copy of a component, or the extension's own pipe).
int RunComponent(const ComponentProfile& profile, int argc, char** argv);
