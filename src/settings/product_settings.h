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

    // Registry save (registry_save.cpp): each setting in its registry form.
    // Statuses are RegSetValueExA's; 0 when nothing was written.
    LONG SaveValue(SettingId id, const char* name);
    LONG SaveSetting(SettingId id);
    void SaveAll();

    // One setting at a time (setting_accessors.cpp).
    LONG GetBaseTop();
    LONG GetBaseLeft();
    LONG GetAgentTop();
    LONG GetAgentLeft();
    LONG SetBaseTop(LONG value);
    LONG SetBaseLeft(LONG value);
    LONG SetAgentTop(LONG value);
    LONG SetAgentLeft(LONG value);
    std::string GetEcd();
    void SetEcd(const std::string& value);
    bool GetDcu();
    LONG SetDcu(bool on);
    void GetDclc(BYTE* days, BYTE* on);
    LONG SetDclc(BYTE days, BYTE on);
    void SetElcc(DWORD value);
    LONG SetDsc(DWORD value);
    DateTimeStamp GetEnst();
    LONG TouchLlc();
    bool IsDclcDue();
    void DecrementEgpl();
    void ResetEgpl();
    bool IsLluDue(bool* missing = nullptr);
    void TouchLlu();

    // The drive records and the drive-space list (drive_records.cpp).  They
    // work in memory; the caller saves "DCCDA" or "DSL".  Appending to a full
    // table or list adds nothing.
    void GetDriveCleanStamps(char drive, DateTimeStamp* deep, DateTimeStamp* quick);
    DateTimeStamp GetDeepCleanedAt(char drive);
    DateTimeStamp GetQuickCleanedAt(char drive);
    BYTE AreDeepFlagsSet(char drive) const;
    BYTE GetDriveSetting(char drive);
    void SetDriveSetting(char drive, BYTE value);
    std::string GetDriveSettingLetters() const;
    BYTE GetDriveSpaceClass(char drive) const;
    void SetDriveSpaceClass(char drive, BYTE spaceClass);
    DriveCleanRecord* FindDriveRecord(char drive);
    const DriveCleanRecord* FindDriveRecord(char drive) const;
    DriveCleanRecord* AppendDriveRecord(char drive);  // null when all slots are in use

    // The next scheduled run, recomputed and saved as "ENST" (schedule.cpp).
    void UpdateNextScheduledTime(bool advance);
    // The run that UpdateNextScheduledTime would save, with nothing written.
    DateTimeStamp NextScheduledTime(bool advance) const;

    // The cleaning log (logs/cleaning_log.cpp): a record at the top of
    // "NMCleaningLog.txt" and in the drive's record, for fixed drives only.
    void WriteDeepCleanLog(char drive, const DateTimeStamp& started);
    void WriteQuickCleanLog(char drive, const DateTimeStamp& started);

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

private:
    void RecomputeNextRun(bool advance, bool save);
    void ClearElccAndRecompute(bool save);
    void NextRunFromInterval(bool advance);
    void NextRunFromList(bool advance);
};

// The earliest deep clean of the drives whose records have a drive setting;
// the zero stamp when there are none or one of them is not a valid stamp.
DateTimeStamp GetEarliestDeepCleanedAt();
