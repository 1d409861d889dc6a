// The per-drive parts of the settings: the "DCCDA" records and the "DSL"
// drive-space list.  Letters match without regard to case.  Both tables have
// a fixed room (32 records, 26 entries); an append to a full one adds
// nothing, so no write ever lands past the record.
#include <algorithm>

#include "settings/product_settings.h"

namespace {

char UpperLetter(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool SameDrive(char a, char b) { return UpperLetter(a) == UpperLetter(b); }

int RecordsInUse(const ProductSettings& s) {
    return std::min<int>(s.driveRecordCount, ProductSettings::kMaxDriveRecords);
}

int EntriesInUse(const DriveSpaceList& list) { return std::min<int>(list.Count(), DriveSpaceList::kMaxEntries); }

}  // namespace

const DriveCleanRecord* ProductSettings::FindDriveRecord(char drive) const {
    for (int i = 0; i < RecordsInUse(*this); ++i)
        if (SameDrive(driveRecords[i].drive, drive))
            return &driveRecords[i];
    return nullptr;
}

DriveCleanRecord* ProductSettings::FindDriveRecord(char drive) {
    return const_cast<DriveCleanRecord*>(static_cast<const ProductSettings*>(this)->FindDriveRecord(drive));
}

DriveCleanRecord* ProductSettings::AppendDriveRecord(char drive) {
    const int slot = RecordsInUse(*this);
    if (slot >= kMaxDriveRecords)
        return nullptr;
    DriveCleanRecord& r = driveRecords[slot];
    r.drive = drive;
    r.driveSetting = 0;
    r.deepCleanedAt.Reset();
    r.quickCleanedAt.Reset();
    r.deepFlag13 = 0;
    r.deepFlag15 = 0;
    driveRecordCount = static_cast<BYTE>(slot + 1);
    return &r;
}

void ProductSettings::GetDriveCleanStamps(char drive, DateTimeStamp* deep, DateTimeStamp* quick) {
    LoadSetting(SettingId::DCCDA);
    const DriveCleanRecord* r = FindDriveRecord(drive);
    *deep = r != nullptr ? r->deepCleanedAt : DateTimeStamp::Zero();
    *quick = r != nullptr ? r->quickCleanedAt : DateTimeStamp::Zero();
}

DateTimeStamp ProductSettings::GetDeepCleanedAt(char drive) {
    DateTimeStamp deep = DateTimeStamp::Zero(), quick = DateTimeStamp::Zero();
    GetDriveCleanStamps(drive, &deep, &quick);
    return deep;
}

DateTimeStamp ProductSettings::GetQuickCleanedAt(char drive) {
    DateTimeStamp deep = DateTimeStamp::Zero(), quick = DateTimeStamp::Zero();
    GetDriveCleanStamps(drive, &deep, &quick);
    return quick;
}

BYTE ProductSettings::AreDeepFlagsSet(char drive) const {
    const DriveCleanRecord* r = FindDriveRecord(drive);
    return r != nullptr && r->deepFlag13 != 0 && r->deepFlag15 != 0 ? 1 : 0;
}

BYTE ProductSettings::GetDriveSetting(char drive) {
    if (const DriveCleanRecord* r = FindDriveRecord(drive))
        return r->driveSetting;
    AppendDriveRecord(UpperLetter(drive));
    return 0;
}

void ProductSettings::SetDriveSetting(char drive, BYTE value) {
    DriveCleanRecord* r = FindDriveRecord(drive);
    if (r == nullptr)
        r = AppendDriveRecord(drive);
    if (r != nullptr)
        r->driveSetting = value;
}

std::string ProductSettings::GetDriveSettingLetters() const {
    std::string letters;
    for (int i = 0; i < RecordsInUse(*this); ++i)
        if (driveRecords[i].driveSetting != 0)
            letters += driveRecords[i].drive;
    return letters;
}

BYTE ProductSettings::GetDriveSpaceClass(char drive) const {
    for (int i = 0; i < EntriesInUse(driveSpaceList); ++i)
        if (SameDrive(DriveSpaceList::Letter(driveSpaceList.Entry(i)), drive))
            return DriveSpaceList::SpaceClass(driveSpaceList.Entry(i));
    return 0;
}

void ProductSettings::SetDriveSpaceClass(char drive, BYTE spaceClass) {
    const int count = EntriesInUse(driveSpaceList);
    for (int i = 0; i < count; ++i)
        if (SameDrive(DriveSpaceList::Letter(driveSpaceList.Entry(i)), drive)) {
            driveSpaceList.words[1 + i] = static_cast<WORD>(static_cast<BYTE>(drive) << 8 | spaceClass);
            return;
        }
    if (count >= DriveSpaceList::kMaxEntries)
        return;
    driveSpaceList.words[1 + count] = static_cast<WORD>(static_cast<BYTE>(UpperLetter(drive)) << 8 | spaceClass);
    driveSpaceList.words[0] = static_cast<WORD>(count + 1);
}

DateTimeStamp GetEarliestDeepCleanedAt() {
    ProductSettings settings;
    settings.LoadSetting(SettingId::DCCDA);
    const std::string letters = settings.GetDriveSettingLetters();
    if (letters.empty())
        return DateTimeStamp::Zero();
    DateTimeStamp earliest = DateTimeStamp::Zero();
    for (size_t i = 0; i < letters.size(); ++i) {
        const DateTimeStamp deep = settings.GetDeepCleanedAt(letters[i]);
        if (!deep.IsValidStamp())
            return DateTimeStamp::Zero();
        if (i == 0 || earliest.IsLaterThan(deep))
            earliest = deep;
    }
    return earliest;
}
