// Compares two settings records field by field: the names of the fields that
// differ, or an empty string.  Only the drive records in use and the
// drive-space entries counted take part.
#pragma once

#include <string>

#include "settings/product_settings.h"

namespace nmtest {

inline bool SameRecord(const DriveCleanRecord& a, const DriveCleanRecord& b) {
    return a.drive == b.drive && a.driveSetting == b.driveSetting && a.deepCleanedAt == b.deepCleanedAt &&
           a.quickCleanedAt == b.quickCleanedAt && a.deepFlag13 == b.deepFlag13 && a.deepFlag15 == b.deepFlag15;
}

inline bool SameFlags(const std::vector<NamedFlag>& a, const std::vector<NamedFlag>& b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i].flag != b[i].flag || a[i].name != b[i].name)
            return false;
    return true;
}

inline std::string SettingsDifference(const ProductSettings& a, const ProductSettings& b) {
    std::string differs;
    auto check = [&](bool same, const char* name) {
        if (!same)
            differs += std::string(differs.empty() ? "" : " ") + name;
    };
    check(a.pph == b.pph, "pph");
    check(a.ecd == b.ecd, "ecd");
    check(a.dcsiStamp == b.dcsiStamp, "dcsiStamp");
    check(a.enstStamp == b.enstStamp, "enstStamp");
    check(a.llcStamp == b.llcStamp, "llcStamp");
    check(a.elcc == b.elcc, "elcc");
    check(a.dsp == b.dsp, "dsp");
    check(a.dsc == b.dsc, "dsc");
    check(a.egp == b.egp, "egp");
    check(a.egpl == b.egpl, "egpl");
    check(a.ehu == b.ehu, "ehu");
    check(a.dclc == b.dclc, "dclc");
    check(a.efr == b.efr, "efr");
    check(a.driveRecordCount == b.driveRecordCount, "driveRecordCount");
    check(a.dco == b.dco, "dco");
    check(a.dcu == b.dcu, "dcu");
    bool records = true;
    for (int i = 0; i < a.driveRecordCount && i < ProductSettings::kMaxDriveRecords; ++i)
        records = records && SameRecord(a.driveRecords[i], b.driveRecords[i]);
    check(records, "driveRecords");
    check(a.pp == b.pp, "pp");
    check(a.baseTop == b.baseTop && a.baseLeft == b.baseLeft, "base position");
    check(a.agentTop == b.agentTop && a.agentLeft == b.agentLeft, "agent position");
    check(a.dcgOptions.PackOptions() == b.dcgOptions.PackOptions(), "dcgOptions");
    check(a.pgOptions.PackOptions() == b.pgOptions.PackOptions(), "pgOptions");
    check(a.admOptions.PackOptions() == b.admOptions.PackOptions(), "admOptions");
    bool spaces = a.driveSpaceList.Count() == b.driveSpaceList.Count();
    for (int i = 0; spaces && i < a.driveSpaceList.Count() && i < DriveSpaceList::kMaxEntries; ++i)
        spaces = a.driveSpaceList.Entry(i) == b.driveSpaceList.Entry(i);
    check(spaces, "driveSpaceList");
    check(a.scheduleTimes == b.scheduleTimes, "scheduleTimes");
    check(SameFlags(a.dctEntries, b.dctEntries), "dctEntries");
    check(SameFlags(a.dceEntries, b.dceEntries), "dceEntries");
    return differs;
}

}  // namespace nmtest
