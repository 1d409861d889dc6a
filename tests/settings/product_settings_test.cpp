#include "settings/product_settings.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

TEST(ProductSettings, ConstructionGivesTheProductDefaults) {
    const ProductSettings s;
    EXPECT_TRUE(s.pph.empty());
    EXPECT_TRUE(s.ecd.empty());
    EXPECT_EQ(s.dcsiStamp, DateTimeStamp::Zero());
    EXPECT_EQ(s.enstStamp, DateTimeStamp::Zero());
    EXPECT_NE(s.llcStamp.day, 0) << "llcStamp holds the construction time";
    EXPECT_EQ(s.elcc, 0u);
    EXPECT_EQ(s.dsp, 0u);
    EXPECT_EQ(s.dsc, 0u);
    EXPECT_EQ(s.egp, 4);
    EXPECT_EQ(s.egpl, 4);
    EXPECT_EQ(s.ehu, 1);
    EXPECT_EQ(s.dclc, 14);
    EXPECT_EQ(s.efr, 1);
    EXPECT_EQ(s.driveRecordCount, 0);
    EXPECT_EQ(s.dco, 1);
    EXPECT_EQ(s.dcu, 0);
    EXPECT_EQ(s.pp, 0u);
    EXPECT_EQ(s.baseTop, -1);
    EXPECT_EQ(s.baseLeft, -1);
    EXPECT_EQ(s.agentTop, -1);
    EXPECT_EQ(s.agentLeft, -1);
    EXPECT_EQ(s.dcgOptions.PackOptions(), 0x6CEFFu);
    EXPECT_EQ(s.pgOptions.PackOptions(), 11u);
    EXPECT_EQ(s.admOptions.PackOptions(), 0xFFFFFFFFu);
    EXPECT_EQ(s.driveSpaceList.Count(), 0);
    EXPECT_TRUE(s.scheduleTimes.empty());
    EXPECT_TRUE(s.dctEntries.empty());
    EXPECT_TRUE(s.dceEntries.empty());
}

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
