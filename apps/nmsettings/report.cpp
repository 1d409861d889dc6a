#include "report.h"

#include <string>

#include "ioutils/deep_clean_age.h"
#include "setting_texts.h"
#include "settings/product_settings.h"
#include "settings/reg_key.h"

namespace {

bool SubkeyStored(const char* name) {
    RegKey key;
    return key.Open(HKEY_LOCAL_MACHINE, (std::string(kSettingsKey) + "\\" + name).c_str(), KEY_READ | kSettingsView);
}

const char* YesNo(bool b) { return b ? "yes" : "no"; }

}  // namespace

void ShowSettings(std::ostream& out, int overdueDays) {
    // Each value on its own: the drive-space list is shown as stored, not
    // checked against the drives (that check may build a list and prune the
    // secured-space folders).
    ProductSettings s;
    for (int i = 0; i <= 28; ++i) {
        const auto id = static_cast<SettingId>(i);
        const char* name = SettingName(id);
        if (name == nullptr)
            continue;
        const bool subkey = id == SettingId::DCT || id == SettingId::DCE;
        const bool stored = subkey ? (s.LoadSetting(id), SubkeyStored(name)) : s.LoadSetting(id);
        out << name << " = " << (stored ? FormatSetting(s, id) : "(missing)") << "\n";
    }
    out << "next run = " << s.NextScheduledTime(false).LongText() << "\n";
    out << "deep clean due = " << YesNo(s.IsDclcDue()) << "\n";
    out << "earliest deep clean = " << GetEarliestDeepCleanedAt().LongText() << "\n";
    DWORD age = 0;
    const bool overdue = IsDeepCleanOverdue(overdueDays, &age);
    out << "deep clean overdue = " << YesNo(overdue) << " (" << age << " days)\n";
    out << "update check due = " << YesNo(s.IsLluDue()) << "\n";
}

int SetSetting(const std::string& name, const std::string& value, std::ostream& out, std::string* error) {
    SettingId id;
    if (!FindSetting(name, &id)) {
        *error = "unknown setting " + name + ": expected one of the names that show prints";
        return 2;
    }
    ProductSettings s;
    s.LoadSetting(id);  // what the text does not show (a record's flags) stays as stored
    std::string expected;
    if (!ParseSetting(&s, id, value, &expected)) {
        *error = "cannot set " + std::string(SettingName(id)) + " to \"" + value + "\": expected " + expected;
        return 2;
    }
    const LONG status = s.SaveSetting(id);
    out << SettingName(id) << " = " << FormatSetting(s, id) << "\n";
    out << "status = " << status << "\n";
    return status == ERROR_SUCCESS ? 0 : 1;
}
