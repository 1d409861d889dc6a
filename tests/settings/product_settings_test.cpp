#include "settings/product_settings.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

TEST(ProductSettings, DefaultOptionEntriesAreTheDocumentedBits) {
    const ProductSettings s;
    const int dcgSet[] = {0, 1, 2, 3, 4, 5, 6, 7, 9, 10, 11, 14, 15, 17, 18};
    for (int i = 0; i < 32; ++i) {
        const bool expected = std::find(std::begin(dcgSet), std::end(dcgSet), i) != std::end(dcgSet);
        EXPECT_EQ(s.dcgOptions.IsSet(i), expected) << "DCG entry " << i;
        EXPECT_EQ(s.pgOptions.IsSet(i), i == 0 || i == 1 || i == 3) << "PG entry " << i;
        EXPECT_TRUE(s.admOptions.IsSet(i)) << "ADM entry " << i;
    }
}

TEST(ProductSettings, UnusedDriveRecordSlotsCarryTheConstructionTime) {
    const ProductSettings s;
    const DriveCleanRecord& last = s.driveRecords[ProductSettings::kMaxDriveRecords - 1];
    EXPECT_EQ(last.deepCleanedAt.year, s.llcStamp.year);
    EXPECT_NE(last.quickCleanedAt.day, 0);
    EXPECT_EQ(last.deepFlag13, 0);
    EXPECT_EQ(last.deepFlag15, 0);
}

TEST(OptionSet, PackAfterUnpackGivesTheMaskBack) {
    const DWORD masks[] = {0, 1, 11, 0x6CEFF, 0x80000000u, 0xFFFFFFFFu, 0xA5A5A5A5u, 0x12345678u};
    for (DWORD m : masks) {
        OptionSet o;
        o.UnpackOptions(m);
        EXPECT_EQ(o.PackOptions(), m) << std::hex << m;
        for (int i = 0; i < 32; ++i)
            EXPECT_EQ(o.entry[i], (m >> i) & 1u) << "bit " << i << " of " << std::hex << m;
    }
}

TEST(OptionSet, AnyNonZeroEntryPacksAsASetBit) {
    OptionSet o;
    o.entry[2] = 7;
    o.entry[31] = 0xFF;
    EXPECT_EQ(o.PackOptions(), 0x80000004u);
}

TEST(DriveSpaceList, EntriesCarryTheLetterHighAndTheClassLow) {
    DriveSpaceList list;
    list.words[0] = 1;
    list.words[1] = static_cast<WORD>('C' << 8 | 5);
    EXPECT_EQ(list.Count(), 1);
    EXPECT_EQ(DriveSpaceList::Letter(list.Entry(0)), 'C');
    EXPECT_EQ(DriveSpaceList::SpaceClass(list.Entry(0)), 5);
}

}  // namespace
