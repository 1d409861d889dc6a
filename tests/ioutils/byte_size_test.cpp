// FormatByteSize's texts, with this platform's C runtime doing the rounding.
#include <gtest/gtest.h>

#include <cstring>

#include "ioutils/drive_list.h"

namespace {

TEST(ByteSize, EachRangeHasItsUnit) {
    struct Case {
        LONGLONG count;
        const char* text;
    } cases[] = {
        {0, "None"},
        {1, "1 Bytes"},
        {1023, "1023 Bytes"},
        {1024, "1.00 KB"},
        {1535, "1.50 KB"},
        {1048575, "1024.00 KB"},
        {1048576, "1.00 MB"},
        {1572864, "1.50 MB"},
        {1073741823, "1024.00 MB"},
        {1073741824, "1.00 GB"},
        {5LL << 40, "5120.00 GB"},
        {0x7FFFFFFFFFFFFFFFLL, "8589934592.00 GB"},
        {-1, "-1 Bytes"},
        {-1024, "-1024 Bytes"},
        {static_cast<LONGLONG>(0x80000000ull) * -1, "-2147483648 Bytes"},
        {-(1LL << 40) - 5, "-5 Bytes"},  // only the low 32 bits are printed
    };
    for (const auto& c : cases) {
        char text[kByteSizeTextSize];
        const int length = FormatByteSize(text, c.count);
        EXPECT_STREQ(text, c.text) << c.count;
        EXPECT_EQ(length, static_cast<int>(std::strlen(c.text))) << c.count;
    }
}

}  // namespace
