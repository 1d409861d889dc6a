// Names, first-bytes text and string-list reading.
#include <gtest/gtest.h>

#include "messaging/messaging_support.h"
#include "support/system_drive.h"

namespace {

constexpr char kMismatch[] = "Packet Error!  The packet received was not as large as the packet sent.";

TEST(TransferNames, CallersOperationsAndRouters) {
    struct Case { BYTE value; const char* caller; const char* operation; };
    constexpr Case kCases[] = {
        {0, "NMVuz", "ZOVU_DEFAULT_MESSAGE"},      {4, "NMShellExt", "ZOVU_RUN_VUZ"},
        {6, "NMWatch", "ZOVU_RUN_NULLSCAN"},        {8, "NMAgent", "UNDEFINED_MESSAGE"},
        {12, "NMService", "ZOVU_RUN_SPACE"},        {13, "Invalid Caller", "ZOVU_RUN_EXPLORER"},
        {14, "Invalid Caller", "UNDEFINED_MESSAGE"}, {16, "Invalid Caller", "ZOVU_SHOW_TRAYICON"},
        {19, "Invalid Caller", "ZOVU_REPLY_REGSCAN"}, {27, "Invalid Caller", "UNDEFINED_MESSAGE"},
        {28, "Invalid Caller", "ZOVU_REQUEST_INTERNETREGSCAN"}, {41, "Invalid Caller", "UNDEFINED_MESSAGE"},
        {42, "Invalid Caller", "ZOVU_QUERY_CLEAN"}, {43, "Invalid Caller", "ZOVU_REPLY_CLEAN"},
        {44, "Invalid Caller", "UNDEFINED_MESSAGE"}, {200, "Invalid Caller", "UNDEFINED_MESSAGE"},
        {255, "Invalid Caller", "UNDEFINED_MESSAGE"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(testing::Message() << "value=" << int(c.value));
        EXPECT_EQ(TransferData::CallerName(c.value), c.caller);
        EXPECT_EQ(TransferData::OperationName(c.value), c.operation);
        EXPECT_EQ(TransferData::RouterName(c.value), "Router" + std::to_string(c.value));
    }
    EXPECT_EQ(nmtest::PipeName(NMVuz), "\\\\.\\pipe\\Router0");
}

TEST(TransferPacketText, FirstBytesAndBigEndianLength) {
    const std::string letters(80, 'q');
    const auto example = nmtest::ExamplePacket();
    EXPECT_EQ(TransferData::FirstBytesText(80, reinterpret_cast<const BYTE*>(letters.data())), std::string(50, 'q'));
    EXPECT_EQ(TransferData::FirstBytesText(18, example.data() + 7), "CONFIRM");
    EXPECT_EQ(TransferData::FirstBytesText(0, nullptr), "(no data)");
    EXPECT_EQ(TransferData::FirstBytesText(3, reinterpret_cast<const BYTE*>("abc")), "abc");  // no zero in range

    const BYTE length[] = {0x00, 0x00, 0x01, 0x02, 0xFF, 0xFE, 0xFD, 0xFC};
    EXPECT_EQ(TransferData::ReadBigEndian32(length, 0), 258u);
    EXPECT_EQ(TransferData::ReadBigEndian32(length, 4), 0xFFFEFDFCu);
    EXPECT_EQ(TransferData::ReadBigEndian32(example.data(), 3), 18u);
}

struct UnpackCase {
    const char* name;
    std::string data;
    std::vector<std::string> strings;
    bool mismatch;
};

TEST(UnpackStrings, ReadsListsAndReportsSizeMismatches) {
    const UnpackCase kCases[] = {
        {"example", std::string("CONFIRM\0C:\\a.txt\0\0", 18), {"CONFIRM", "C:\\a.txt"}, false},
        {"one string", std::string("CONFIRM\0\0", 9), {"CONFIRM"}, false},
        {"no data", "", {}, true},
        {"first string empty", std::string("\0x\0\0", 4), {}, true},
        {"empty string in the middle", std::string("a\0\0b\0\0", 6), {"a"}, true},
        {"closing zero missing", std::string("ab\0cd", 5), {"ab", "cd"}, true},
        {"no zero at all", "abc", {"abc"}, true},
        {"bytes after the list", std::string("a\0\0zz", 5), {"a"}, true},
    };
    nmtest::TraceRecorder traces;
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        traces.Clear();
        std::vector<BYTE> data(c.data.begin(), c.data.end());
        const TransferPacket packet{NMShellExt, NMVuz, ZOVU_DEFAULT_MESSAGE, static_cast<DWORD>(data.size()),
                                    data.empty() ? nullptr : data.data()};
        std::vector<std::string> strings = {"left over"};
        TransferData::UnpackStrings(packet, &strings, false);
        EXPECT_EQ(strings, c.strings);
        EXPECT_EQ(traces.Count(kMismatch), c.mismatch ? 1 : 0);
    }
}

TEST(UnpackStrings, DumpsTheListToTheDebugFile) {
    nmtest::EnsureSystemDrive();
    auto example = nmtest::ExamplePacket();
    const TransferPacket packet{NMShellExt, NMVuz, ZOVU_DEFAULT_MESSAGE, 18, example.data() + 7};
    std::vector<std::string> strings;
    TransferData::UnpackStrings(packet, &strings, true);
    EXPECT_EQ(strings.size(), 2u);

    HANDLE file = CreateFileA("c:\\RARA.txt", GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    char buffer[256];
    DWORD read = 0;
    ReadFile(file, buffer, sizeof buffer, &read, nullptr);
    CloseHandle(file);
    DeleteFileA("c:\\RARA.txt");
    EXPECT_EQ(std::string(buffer, read), "There are 18 bytes in this packet" "CONFIRM\r\nC:\\a.txt\r\n");
}

}  // namespace
