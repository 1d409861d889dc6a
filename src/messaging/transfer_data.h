// TransferData: the product's request protocol between its components.
//
// A packet names its sender, its destination and an operation, followed by
// an opaque block of data:
//
//   offset 0  1 byte   sender (CallerId)
//          1  1 byte   destination (CallerId)
//          2  1 byte   operation (TransferOperation)
//          3  4 bytes  data length N, most significant byte first
//          7  N bytes  data
//
// On the Windows NT family a packet goes to the destination's named pipe
// "\\.\pipe\Router<id>"; on Windows 9x to its hidden "Messenger" window in a
// WM_COPYDATA message.  All state except the module handle is class-wide: a
// process is one messaging endpoint however many objects it creates.
#pragma once

#include <string>
#include <vector>

#include "platform/win32.h"

// Component identities.
using CallerId = BYTE;
enum : CallerId {
    NMVuz = 0,
    NMBase = 1,
    NMScanner = 2,
    NMTray = 3,
    NMShellExt = 4,
    NMDragDrop = 5,
    NMWatch = 6,
    NMIEClean = 7,
    NMAgent = 8,
    NMRegManager = 9,
    Launcher = 10,
    Uninstall = 11,
    NMService = 12,
};

// Operation codes; the numbers are fixed, gaps included.
using TransferOperation = BYTE;
enum : TransferOperation {
    ZOVU_DEFAULT_MESSAGE = 0,
    ZOVU_STOP_TRAY = 1,
    ZOVU_STOP_WATCH = 2,
    ZOVU_STOP_REGMAN = 3,
    ZOVU_RUN_VUZ = 4,
    ZOVU_RUN_NMBASE = 5,
    ZOVU_RUN_NULLSCAN = 6,
    ZOVU_RUN_TRAY = 7,
    ZOVU_RUN_IECLEAN = 9,
    ZOVU_RUN_NMAGENT = 10,
    ZOVU_RUN_REGMANAGER = 11,
    ZOVU_RUN_SPACE = 12,
    ZOVU_RUN_EXPLORER = 13,
    ZOVU_SHOW_TRAYICON = 16,
    ZOVU_HIDE_TRAYICON = 17,
    ZOVU_REQUEST_REGSCAN = 18,
    ZOVU_REPLY_REGSCAN = 19,
    ZOVU_REQUEST_INTERNETREGSCAN = 28,
    ZOVU_REPLY_INTERNETREGSCAN = 29,
    ZOVU_REQUEST_REGCLEAN = 30,
    ZOVU_REPLY_REGCLEAN = 31,
    ZOVU_REQUEST_INTERNETREGCLEAN = 32,
    ZOVU_REPLY_INTERNETREGCLEAN = 33,
    ZOVU_REQUEST_WINTEMP = 34,
    ZOVU_REPLY_WINTEMP = 35,
    ZOVU_CLEAN_LOGIN = 36,
    ZOVU_CLEAN_BINS = 37,
    ZOVU_REQUEST_REG_HTML = 38,
    ZOVU_REPLY_REG_HTML = 39,
    ZOVU_EXECUTE_FILE = 40,
    ZOVU_QUERY_CLEAN = 42,
    ZOVU_REPLY_CLEAN = 43,
};

// A received packet as GetPacket hands it over.  `data` (null when the
// length is 0) belongs to whoever took the packet: release it with
// TransferData::FreePacketData.
struct TransferPacket {
    BYTE caller;
    BYTE destination;
    BYTE operation;
    DWORD dataLength;
    BYTE* data;
};
