// The registry save: every setting written back in the form that the load
// reads (names, types and sizes in registry_load.cpp's table order).  Numbers
// are little-endian; stand-alone stamps are stored most significant byte
// first, the stamps inside a "DCCDA" record least significant byte first.
#include <algorithm>
#include <string>
#include <vector>

#include "settings/product_settings.h"
#include "settings/reg_key.h"
#include "settings/shell_folders.h"
#include "settings/stamp_bytes.h"

namespace {

struct Encoded {
    DWORD type = REG_BINARY;
    std::vector<BYTE> bytes;

    void U8(BYTE b) { bytes.push_back(b); }
    void U16(WORD w) { bytes.insert(bytes.end(), {static_cast<BYTE>(w), static_cast<BYTE>(w >> 8)}); }
    void U32(DWORD d) {
        for (int shift = 0; shift < 32; shift += 8)
            bytes.push_back(static_cast<BYTE>(d >> shift));
    }
    void BigEndianStamp(const DateTimeStamp& s) {
        bytes.resize(bytes.size() + 8);
        WriteBigEndianStamp(s.Pack(), &bytes[bytes.size() - 8]);
    }
    void LittleEndianStamp(const DateTimeStamp& s) {
        bytes.resize(bytes.size() + 8);
        WriteLittleEndianStamp(s.Pack(), &bytes[bytes.size() - 8]);
    }
    void Text(const std::string& s) {
        type = REG_SZ;
        bytes.assign(s.begin(), s.end());
        bytes.push_back(0);
    }
};

// The registry form of one setting; false when the setting writes nothing.
bool Encode(const ProductSettings& s, SettingId id, Encoded* v) {
    using S = SettingId;
    switch (id) {
    case S::ADM: v->U32(s.admOptions.PackOptions()); return true;
    case S::DCG: v->U32(s.dcgOptions.PackOptions()); return true;
    case S::PG: v->U32(s.pgOptions.PackOptions()); return true;
    case S::DCCDA: {
        // Never more records than the table has slots, whatever the count says.
        const int count = std::min<int>(s.driveRecordCount, ProductSettings::kMaxDriveRecords);
        if (count == 0)
            return false;  // the stored records stay as they are
        for (int i = 0; i < count; ++i) {
            const DriveCleanRecord& r = s.driveRecords[i];
            v->U8(static_cast<BYTE>(r.drive));
            v->U8(r.driveSetting);
            v->U8(r.deepFlag13);
            v->U8(r.deepFlag15);
            v->LittleEndianStamp(r.deepCleanedAt);
            v->LittleEndianStamp(r.quickCleanedAt);
        }
        return true;
    }
    case S::DCSL:
        for (const DateTimeStamp& t : s.scheduleTimes)
            v->BigEndianStamp(t);
        return true;  // an empty list is a value of size 0
    case S::DCSI: v->BigEndianStamp(s.dcsiStamp); return true;
    case S::ENST: v->BigEndianStamp(s.enstStamp); return true;
    case S::LLC: v->BigEndianStamp(s.llcStamp); return true;
    case S::DSL: {
        const int count = std::min<int>(s.driveSpaceList.Count(), DriveSpaceList::kMaxEntries);
        v->U16(static_cast<WORD>(count));
        for (int i = 0; i < count; ++i)
            v->U16(s.driveSpaceList.Entry(i));
        return true;
    }
    case S::DSP: v->U32(s.dsp); return true;
    case S::DSC: v->U32(s.dsc); return true;
    case S::ELCC: v->U32(s.elcc); return true;
    case S::BaseTop: v->U32(static_cast<DWORD>(s.baseTop)); return true;
    case S::BaseLeft: v->U32(static_cast<DWORD>(s.baseLeft)); return true;
    case S::AgentTop: v->U32(static_cast<DWORD>(s.agentTop)); return true;
    case S::AgentLeft: v->U32(static_cast<DWORD>(s.agentLeft)); return true;
    case S::PP:
        v->type = REG_DWORD;  // the only REG_DWORD among the settings
        v->U32(s.pp);
        return true;
    case S::DCLC: v->U8(s.dclc); return true;
    case S::DCO: v->U8(s.dco); return true;
    case S::DCU: v->U8(s.dcu); return true;
    case S::EFR: v->U8(s.efr); return true;
    case S::EGP: v->U8(s.egp); return true;
    case S::EGPL: v->U8(s.egpl); return true;
    case S::EHU: v->U8(s.ehu); return true;
    case S::ECD: v->Text(s.ecd); return true;
    case S::PPH: v->Text(s.pph); return true;
    case S::DCE:
    case S::DCT:
    case S::Unused27: return false;
    }
    return false;  // identifiers above 28 are no settings
}

// "DCT" and "DCE": the subkey is written afresh, one one-byte value per entry.
LONG SaveNamedFlags(const char* name, const std::vector<NamedFlag>& entries, bool keepEmpty) {
    const std::string path = std::string(kSettingsKey) + "\\" + name;
    if (entries.empty() && !keepEmpty)
        return 0;
    RegKey subkey;
    if (!subkey.Create(HKEY_LOCAL_MACHINE, path.c_str(), KEY_SET_VALUE | kSettingsView))
        return 0;
    LONG status = 0;
    for (const NamedFlag& entry : entries) {
        const BYTE flag = static_cast<BYTE>(entry.flag);
        status = RegSetValueExA(subkey.get(), entry.name.c_str(), 0, REG_BINARY, &flag, 1);
    }
    RegFlushKey(subkey.get());
    return status;
}

}  // namespace

LONG ProductSettings::SaveValue(SettingId id, const char* name) {
    RegKey key;
    if (name == nullptr || !key.Create(HKEY_LOCAL_MACHINE, kSettingsKey, KEY_SET_VALUE | kSettingsView))
        return 0;

    if (id == SettingId::DCT || id == SettingId::DCE) {
        RegDeleteKeyA(key.get(), name);
        key.Close();
        // An empty "DCT" leaves no subkey; "DCE" is kept as an empty subkey.
        return id == SettingId::DCT ? SaveNamedFlags(name, dctEntries, false)
                                    : SaveNamedFlags(name, dceEntries, true);
    }

    Encoded value;
    if (!Encode(*this, id, &value))
        return 0;
    if (id == SettingId::DCG)
        SetClearPageFileAtShutdown(dcgOptions.IsSet(14));
    const LONG status = RegSetValueExA(key.get(), name, 0, value.type, value.bytes.data(),
                                       static_cast<DWORD>(value.bytes.size()));
    RegFlushKey(key.get());
    key.Close();

    // The schedule's inputs changed: the next run follows them.
    if ((id == SettingId::DCSI && GetDcu()) || (id == SettingId::DCSL && !GetDcu()))
        UpdateNextScheduledTime(false);
    return status;
}

LONG ProductSettings::SaveSetting(SettingId id) {
    const char* name = SettingName(id);
    return name != nullptr ? SaveValue(id, name) : 0;
}

void ProductSettings::SaveAll() {
    using S = SettingId;
    // "ECD", "EGP", "EGPL", "EHU" and "ELCC" are written by their own
    // operations; "LLC" is read back instead.
    for (S id : {S::ADM, S::DCCDA, S::DCE, S::DCLC, S::DCG, S::DCO, S::DCSL, S::DCSI, S::DCT, S::DCU, S::DSL,
                 S::DSP, S::DSC, S::EFR, S::ENST, S::BaseTop, S::BaseLeft, S::AgentTop, S::AgentLeft, S::PG, S::PP,
                 S::PPH})
        SaveSetting(id);
    LoadSetting(S::LLC);
}
