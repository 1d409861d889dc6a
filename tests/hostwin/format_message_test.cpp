// FormatMessageA from the system table: the texts the raw-volume boxes show.
#include <gtest/gtest.h>

#include <string>

#include "platform/win32.h"

namespace {

// The wording is the system's own (Windows and Wine word some differently,
// "Access is denied." and "Access denied."); what holds on both is its shape.
TEST(FormatMessageTest, GivesOneLineOfSystemTextForAnErrorCode) {
    for (DWORD code : {ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_INVALID_HANDLE, ERROR_WRITE_PROTECT,
                       ERROR_NOT_READY, ERROR_SHARING_VIOLATION, ERROR_NOT_SUPPORTED, ERROR_INVALID_PARAMETER}) {
        SCOPED_TRACE(code);
        char text[512] = {};
        const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                                            MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), text, sizeof text, nullptr);
        const std::string s = text;
        EXPECT_EQ(length, s.size());
        ASSERT_GT(s.size(), 4u);
        EXPECT_EQ(s.substr(s.size() - 3), ".\r\n");
        EXPECT_EQ(s.find('\n'), s.size() - 1);
    }
}

TEST(FormatMessageTest, RefusesUnknownCodesAndShortBuffers) {
    char text[8] = "unset";
    SetLastError(0);
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, 0x2FFFFFFF, 0, text,
                             sizeof text, nullptr),
              0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MR_MID_NOT_FOUND));

    SetLastError(0);
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, ERROR_ACCESS_DENIED,
                             0, text, 5, nullptr),
              0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

}  // namespace
