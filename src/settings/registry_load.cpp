// The registry load: fills a ProductSettings from the values under
// HKEY_LOCAL_MACHINE "software\Greyfell\VI4\Settings".  A value that is
// missing leaves its field as it was.  Registry types are not checked: the
// bytes of a value are decoded by the rule of its setting, whatever its type.
//
// Every value is read into one zeroed buffer of kValueBufferSize bytes, and
// every rule decodes from that buffer only, so no stored value can make the
// load read or write past the buffer or past the record:
// - a fixed-size value stored shorter than its form reads as if padded with
//   zero bytes at its end, and the bytes of a longer one past its form are
//   ignored (the same rule for every number, mask and stamp);
// - "DCCDA" keeps its first 32 whole records (the record table's slots) and
//   ignores the rest;
// - "DSL" keeps at most 26 entries (one per drive letter), and never more
//   entries than the value's bytes hold: its count word is lowered to fit.
#include <algorithm>
#include <cstring>
#include <string>

#include "ioutils/free_space.h"
#include "ioutils/secured_space.h"
#include "settings/product_settings.h"
#include "settings/reg_key.h"
#include "settings/stamp_bytes.h"

namespace {

constexpr DWORD kValueBufferSize = 1024;
constexpr DWORD kNameBufferSize = 260;
constexpr DWORD kDriveRecordSize = 20;

// A value's bytes: `data` is the whole buffer, zero past `size`.
struct ValueBytes {
    const BYTE* data;
    DWORD size;

    DWORD U32(DWORD offset = 0) const {
        return DWORD{data[offset]} | DWORD{data[offset + 1]} << 8 | DWORD{data[offset + 2]} << 16 |
               DWORD{data[offset + 3]} << 24;
    }
    WORD U16(DWORD offset) const { return static_cast<WORD>(data[offset] | data[offset + 1] << 8); }
    DateTimeStamp BigEndianStamp(DWORD offset = 0) const { return DateTimeStamp::Unpack(ReadBigEndianStamp(data + offset)); }
    DateTimeStamp LittleEndianStamp(DWORD offset) const {
        return DateTimeStamp::Unpack(ReadLittleEndianStamp(data + offset));
    }
    // Up to the value's size, ending at its first zero byte.
    std::string Text() const {
        const void* end = std::memchr(data, 0, size);
        return std::string(reinterpret_cast<const char*>(data),
                           end ? static_cast<const BYTE*>(end) - data : static_cast<ptrdiff_t>(size));
    }
};

void ReadNamedFlags(HKEY subkey, std::vector<NamedFlag>* list) {
    DWORD count = 0;
    const bool counted = RegQueryInfoKeyA(subkey, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count,
                                          nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    list->clear();
    if (!counted)
        return;
    for (DWORD i = 0; i < count; ++i) {
        char name[kNameBufferSize] = {};
        BYTE data[kValueBufferSize] = {};
        DWORD nameSize = kNameBufferSize, dataSize = kValueBufferSize;
        if (RegEnumValueA(subkey, i, name, &nameSize, nullptr, nullptr, data, &dataSize) == ERROR_SUCCESS)
            list->push_back(NamedFlag{data[0] != 0 ? 1u : 0u, name});
    }
}

}  // namespace

bool ProductSettings::LoadValue(SettingId id, const char* name) {
    BYTE buffer[kValueBufferSize] = {};
    DWORD size = kValueBufferSize;

    RegKey key;
    if (!key.Open(HKEY_LOCAL_MACHINE, kSettingsKey, KEY_READ | kSettingsView))
        return false;

    if (id == SettingId::DCT || id == SettingId::DCE) {
        RegKey subkey;
        if (subkey.Open(key.get(), name, KEY_READ | kSettingsView)) {
            ReadNamedFlags(subkey.get(), id == SettingId::DCT ? &dctEntries : &dceEntries);
            return false;  // a list read from a subkey still answers false
        }
        if (id == SettingId::DCE)
            return false;
        // "DCT" without its subkey goes on to look for a value of that name,
        // which decodes to nothing.
    }

    if (RegQueryValueExA(key.get(), name, nullptr, nullptr, buffer, &size) != ERROR_SUCCESS) {
        if (id == SettingId::EGPL)
            egpl = egp;
        return false;
    }

    const ValueBytes v{buffer, size};
    switch (id) {
    case SettingId::ADM: admOptions.UnpackOptions(v.U32()); break;
    case SettingId::DCG: dcgOptions.UnpackOptions(v.U32()); break;
    case SettingId::PG: pgOptions.UnpackOptions(v.U32()); break;
    case SettingId::DCCDA: {
        const DWORD records = std::min<DWORD>(size / kDriveRecordSize, kMaxDriveRecords);
        for (DWORD i = 0; i < records; ++i) {
            const DWORD at = i * kDriveRecordSize;
            DriveCleanRecord& r = driveRecords[i];
            r.drive = static_cast<char>(buffer[at]);
            r.driveSetting = buffer[at + 1];
            r.deepFlag13 = buffer[at + 2] != 0;
            r.deepFlag15 = buffer[at + 3] != 0;
            r.deepCleanedAt = v.LittleEndianStamp(at + 4);
            r.quickCleanedAt = v.LittleEndianStamp(at + 12);
        }
        driveRecordCount = static_cast<BYTE>(records);
        break;
    }
    case SettingId::DCLC: dclc = buffer[0]; break;
    case SettingId::DCO: dco = buffer[0]; break;
    case SettingId::DCU: dcu = buffer[0]; break;
    case SettingId::EFR: efr = buffer[0]; break;
    case SettingId::EGP: egp = buffer[0]; break;
    case SettingId::EGPL: egpl = buffer[0]; break;
    case SettingId::EHU: ehu = buffer[0]; break;
    case SettingId::DSP: dsp = buffer[0]; break;
    case SettingId::DSC: dsc = buffer[0]; break;
    case SettingId::ELCC: elcc = buffer[0]; break;
    case SettingId::DCSL:
        scheduleTimes.clear();
        for (DWORD at = 0; at + 8 <= size; at += 8)
            scheduleTimes.push_back(v.BigEndianStamp(at));
        break;
    case SettingId::DCSI: dcsiStamp = v.BigEndianStamp(); break;
    case SettingId::ENST: enstStamp = v.BigEndianStamp(); break;
    case SettingId::LLC: llcStamp = v.BigEndianStamp(); break;
    case SettingId::DSL: {
        const DWORD stored = size >= 2 ? (size - 2) / 2 : 0;
        const DWORD count = std::min<DWORD>({v.U16(0), stored, DriveSpaceList::kMaxEntries});
        driveSpaceList = DriveSpaceList{};
        driveSpaceList.words[0] = static_cast<WORD>(count);
        for (DWORD i = 0; i < count; ++i)
            driveSpaceList.words[1 + i] = v.U16(2 + 2 * i);
        break;
    }
    case SettingId::BaseTop: baseTop = static_cast<LONG>(v.U32()); break;
    case SettingId::BaseLeft: baseLeft = static_cast<LONG>(v.U32()); break;
    case SettingId::AgentTop: agentTop = static_cast<LONG>(v.U32()); break;
    case SettingId::AgentLeft: agentLeft = static_cast<LONG>(v.U32()); break;
    case SettingId::PP: pp = v.U32(); break;
    case SettingId::ECD: ecd = v.Text(); break;
    case SettingId::PPH: pph = v.Text(); break;
    case SettingId::DCE:
    case SettingId::DCT:
    case SettingId::Unused27:
        break;
    }
    return true;
}

bool ProductSettings::LoadSetting(SettingId id) {
    const char* name = SettingName(id);
    return name != nullptr && LoadValue(id, name);
}

void ProductSettings::LoadAll() {
    using S = SettingId;
    for (S id : {S::ADM, S::DCCDA, S::DCE, S::DCG, S::DCLC, S::DCO, S::DCSL, S::DCSI, S::DCT, S::DCU})
        LoadSetting(id);
    CheckDriveSpaceList(LoadSetting(S::DSL));
    for (S id : {S::DSP, S::DSC, S::EFR, S::EGP, S::EGPL, S::EHU, S::ELCC, S::ENST, S::BaseTop, S::BaseLeft,
                 S::AgentTop, S::AgentLeft, S::PG, S::PP, S::PPH, S::LLC})
        LoadSetting(id);
}

namespace {

// A drive's free-space class: the first threshold that its free bytes exceed.
BYTE SpaceClass(LONGLONG freeBytes) {
    struct Threshold {
        BYTE spaceClass;
        LONGLONG above;
    };
    constexpr Threshold kThresholds[] = {
        {5, 0x80000000LL}, {4, 0x5E000000LL}, {3, 0x3EC00000LL}, {2, 0x2DA00000LL}, {1, 0x1E000000LL},
    };
    for (const Threshold& t : kThresholds)
        if (freeBytes > t.above)
            return t.spaceClass;
    return 0;
}

bool IsFixedDrive(char letter) {
    char root[8] = {letter, ':', '\\', '\0'};
    return GetDriveTypeA(root) == DRIVE_FIXED;
}

}  // namespace

void ProductSettings::CheckDriveSpaceList(bool loaded) {
    DriveSpaceList& list = driveSpaceList;
    if (loaded) {
        // Drives that are no longer fixed disks leave the list; the others keep
        // their order and their stored class.
        const int count = std::min<int>(list.Count(), DriveSpaceList::kMaxEntries);
        int kept = 0;
        for (int i = 0; i < count; ++i)
            if (IsFixedDrive(DriveSpaceList::Letter(list.Entry(i))))
                list.words[1 + kept++] = list.Entry(i);
        list.words[0] = static_cast<WORD>(kept);
        return;
    }
    const DWORD drives = GetLogicalDrives();
    int count = 0;
    for (int i = 0; i < 26; ++i) {
        const char letter = static_cast<char>('A' + i);
        if ((drives & (1u << i)) == 0 || !IsFixedDrive(letter) || GetSecuredSpaceSize(letter) == 0)
            continue;
        const BYTE spaceClass = SpaceClass(static_cast<LONGLONG>(IO_GetFreeSpaceSizeFromCall(letter, nullptr)));
        if (spaceClass != 0)
            list.words[1 + count++] = static_cast<WORD>(letter << 8 | spaceClass);
    }
    list.words[0] = static_cast<WORD>(count);
}
