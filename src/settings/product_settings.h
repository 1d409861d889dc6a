// ProductSettings: the in-memory form of the product's settings under
// HKEY_LOCAL_MACHINE "software\Greyfell\VI4\Settings".  Construction gives the
// defaults; the registry load overwrites what it finds.
#pragma once

#include <string>
#include <vector>

#include "datetime/date_time_stamp.h"
#include "platform/win32.h"
#include "settings/option_set.h"
#include "settings/setting_id.h"

// One drive's record in the "DCCDA" table.
struct DriveCleanRecord {
    char drive = 0;  // matched without regard to case
    BYTE driveSetting = 0;
    DateTimeStamp deepCleanedAt;   // a slot never used holds its construction time
    DateTimeStamp quickCleanedAt;
    BYTE deepFlag13 = 0;
    BYTE deepFlag15 = 0;
};

// The "DSL" list: word 0 is the count n, words 1..n are
// (drive letter << 8) | space class.  Room for one entry per drive letter.
struct DriveSpaceList {
    static constexpr int kMaxEntries = 26;
    WORD words[1 + kMaxEntries] = {};

    WORD Count() const { return words[0]; }
    WORD Entry(int i) const { return words[1 + i]; }  // i < Count()
    static char Letter(WORD entry) { return static_cast<char>(entry >> 8); }
    static BYTE SpaceClass(WORD entry) { return static_cast<BYTE>(entry & 0xFF); }
};

// One entry of the "DCT" or "DCE" list.
struct NamedFlag {
    DWORD flag = 0;  // 0 or 1
    std::string name;
};

class ProductSettings {
public:
    static constexpr int kMaxDriveRecords = 32;
    static constexpr DWORD kDefaultDcgMask = 0x6CEFF;
    static constexpr DWORD kDefaultPgMask = 11;
    static constexpr DWORD kDefaultAdmMask = 0xFFFFFFFF;

    ProductSettings();

    // Registry load (registry_load.cpp): every value under the settings key
    // with its documented encoding.  Missing values leave fields unchanged.
    void LoadAll();
    bool LoadValue(SettingId id, const char* name);
    bool LoadSetting(SettingId id);
    void CheckDriveSpaceList(bool loaded);

    // Fields in the product's declaration order.
    std::string pph;
    std::string ecd;
    DateTimeStamp dcsiStamp;
    DateTimeStamp enstStamp;
    DateTimeStamp llcStamp;
    DWORD elcc;
    DWORD dsp;
    DWORD dsc;
    BYTE egp;
    BYTE egpl;
    BYTE ehu;
    BYTE dclc;  // bits 1-7: days, bit 0: on
    BYTE efr;
    BYTE driveRecordCount;  // leading slots of driveRecords in use, 0-32
    BYTE dco;
    BYTE dcu;
    DriveCleanRecord driveRecords[kMaxDriveRecords];
    DWORD pp;
    LONG baseTop;
    LONG baseLeft;
    LONG agentTop;
    LONG agentLeft;
    OptionSet dcgOptions;
    OptionSet pgOptions;
    OptionSet admOptions;
    DriveSpaceList driveSpaceList;
    std::vector<DateTimeStamp> scheduleTimes;
    std::vector<NamedFlag> dctEntries;
    std::vector<NamedFlag> dceEntries;
};
