// One setting at a time: each getter loads its value first, each setter saves
// it afterwards.  A value that cannot be read leaves the field as it was,
// except where a getter answers a fixed "none" instead.
#include <vector>

#include "settings/product_settings.h"
#include "settings/reg_key.h"
#include "settings/stamp_bytes.h"

namespace {

constexpr char kLluName[] = "LLU";  // last update check; kept outside the record
constexpr DWORD kValueBufferSize = 1024;

// "LLU" may be checked only in these hours of the day: 12:00-12:59 AM,
// 8:00 AM-11:59 AM and 12:00 PM-9:59 PM.
bool InUpdateCheckHours(const DateTimeStamp& now) {
    return (now.hour > 7 && now.pm == 0) || (now.hour < 10 && now.pm == 1) || (now.hour == 12 && now.pm == 1);
}

}  // namespace

LONG ProductSettings::GetBaseTop() { return LoadSetting(SettingId::BaseTop) ? baseTop : -1; }
LONG ProductSettings::GetBaseLeft() { return LoadSetting(SettingId::BaseLeft) ? baseLeft : -1; }
LONG ProductSettings::GetAgentTop() { return LoadSetting(SettingId::AgentTop) ? agentTop : -1; }
LONG ProductSettings::GetAgentLeft() { return LoadSetting(SettingId::AgentLeft) ? agentLeft : -1; }

LONG ProductSettings::SetBaseTop(LONG value) {
    baseTop = value;
    return SaveSetting(SettingId::BaseTop);
}
LONG ProductSettings::SetBaseLeft(LONG value) {
    baseLeft = value;
    return SaveSetting(SettingId::BaseLeft);
}
LONG ProductSettings::SetAgentTop(LONG value) {
    agentTop = value;
    return SaveSetting(SettingId::AgentTop);
}
LONG ProductSettings::SetAgentLeft(LONG value) {
    agentLeft = value;
    return SaveSetting(SettingId::AgentLeft);
}

std::string ProductSettings::GetEcd() {
    LoadSetting(SettingId::ECD);
    return ecd;
}

void ProductSettings::SetEcd(const std::string& value) {
    ecd = value;
    SaveSetting(SettingId::ECD);
}

bool ProductSettings::GetDcu() { return LoadSetting(SettingId::DCU) && dcu != 0; }

LONG ProductSettings::SetDcu(bool on) {
    dcu = on ? 1 : 0;
    return SaveSetting(SettingId::DCU);
}

void ProductSettings::GetDclc(BYTE* days, BYTE* on) {
    LoadSetting(SettingId::DCLC);
    *days = static_cast<BYTE>(dclc >> 1);
    *on = static_cast<BYTE>(dclc & 1);
}

LONG ProductSettings::SetDclc(BYTE days, BYTE on) {
    dclc = static_cast<BYTE>(days * 2 + (on != 0 ? 1 : 0));  // days above 127 lose their top bit
    return SaveSetting(SettingId::DCLC);
}

void ProductSettings::SetElcc(DWORD value) {
    elcc = value;
    SaveSetting(SettingId::ELCC);
    UpdateNextScheduledTime(false);
}

LONG ProductSettings::SetDsc(DWORD value) {
    dsc = value;
    return SaveSetting(SettingId::DSC);
}

DateTimeStamp ProductSettings::GetEnst() {
    return LoadSetting(SettingId::ENST) ? enstStamp : DateTimeStamp::Zero();
}

LONG ProductSettings::TouchLlc() {
    llcStamp.SetToNow();
    return SaveSetting(SettingId::LLC);
}

bool ProductSettings::IsDclcDue() {
    BYTE days, on;
    GetDclc(&days, &on);
    if (on == 0)
        return false;
    if (days == 0)
        return true;
    llcStamp.Reset();
    LoadSetting(SettingId::LLC);
    if (!llcStamp.IsValidStamp())
        return true;
    return DateTimeStamp().DaysBetween(llcStamp) >= days;
}

void ProductSettings::DecrementEgpl() {
    if (LoadSetting(SettingId::EGPL)) {
        if (egpl > 0)
            --egpl;
        SaveSetting(SettingId::EGPL);
    } else if (egpl != 0) {  // missing: the load gave it egp's value
        --egpl;
        SaveSetting(SettingId::EGPL);
    }
}

void ProductSettings::ResetEgpl() {
    if (LoadSetting(SettingId::EGP)) {
        egpl = egp;
        SaveSetting(SettingId::EGPL);
    } else if (egp != 0) {
        egpl = egp;
        SaveSetting(SettingId::EGPL);
        SaveSetting(SettingId::EGP);
    }
}

bool ProductSettings::IsLluDue(bool* missing) {
    if (missing != nullptr)
        *missing = false;
    LoadSetting(SettingId::PG);
    if (!pgOptions.IsSet(3))
        return false;
    RegKey key;
    if (!key.Open(HKEY_LOCAL_MACHINE, kSettingsKey, KEY_READ | kSettingsView))
        return false;
    std::vector<BYTE> buffer(kValueBufferSize, 0);
    DWORD size = kValueBufferSize;
    if (RegQueryValueExA(key.get(), kLluName, nullptr, nullptr, buffer.data(), &size) != ERROR_SUCCESS) {
        if (missing != nullptr)
            *missing = true;
        return true;
    }
    key.Close();
    // A shorter value reads as if padded with zeros.
    const DateTimeStamp lastCheck = DateTimeStamp::Unpack(ReadBigEndianStamp(buffer.data()));
    const DateTimeStamp now;
    return InUpdateCheckHours(now) && now.DaysBetween(lastCheck) > 6;
}

void ProductSettings::TouchLlu() {
    RegKey key;
    if (!key.Create(HKEY_LOCAL_MACHINE, kSettingsKey, KEY_SET_VALUE | kSettingsView))
        return;
    BYTE bytes[8];
    WriteBigEndianStamp(DateTimeStamp().Pack(), bytes);
    RegSetValueExA(key.get(), kLluName, 0, REG_BINARY, bytes, sizeof bytes);
}
