#include "setting_texts.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <vector>

namespace {

constexpr const char* kWeekdays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr const char* kScheduleDays[] = {"Sundays",   "Mondays", "Tuesdays",  "Wednesdays",
                                         "Thursdays", "Fridays", "Saturdays", "Daily"};

std::vector<std::string> Split(const std::string& text, const std::string& separator) {
    std::vector<std::string> parts;
    size_t at = 0;
    for (size_t next; (next = text.find(separator, at)) != std::string::npos; at = next + separator.size())
        parts.push_back(text.substr(at, next - at));
    parts.push_back(text.substr(at));
    return parts;
}

bool Number(const std::string& text, long long low, long long high, long long* value) {
    if (text.empty() || text.size() > 12)
        return false;
    size_t used = 0;
    try {
        *value = std::stoll(text, &used, 10);
    } catch (...) {
        return false;
    }
    return used == text.size() && *value >= low && *value <= high && (std::isdigit(static_cast<unsigned char>(text[0])) || text[0] == '-');
}

// Appends `item`, after `separator` unless it is the first.
void Join(std::string* text, const char* separator, const std::string& item) {
    if (!text->empty())
        text->append(separator);
    text->append(item);
}

int IndexOf(const char* const* names, int count, const std::string& name) {
    for (int i = 0; i < count; ++i)
        if (name == names[i])
            return i;
    return -1;
}

// A real date with its weekday: the calendar's own walk from a known Sunday.
bool SetDate(DateTimeStamp* s, int year, int month, int day) {
    if (year < 2000 || year > 2255 || month < 0 || month > 11 || day < 1 ||
        day > DateTimeStamp::DaysInMonth(month, year))
        return false;
    s->year = static_cast<WORD>(year);
    s->month = static_cast<BYTE>(month);
    s->day = static_cast<BYTE>(day);
    s->weekday = static_cast<BYTE>((s->DayNumber() + 5) % 7);  // day 1 (1 Jan 2000) was a Saturday
    return true;
}

// "9:05 PM" -> pm, hour, minute.
bool ParseTime(const std::string& text, DateTimeStamp* s) {
    unsigned hour = 0, minute = 0;
    char meridiem[3] = {};
    int used = 0;
    if (std::sscanf(text.c_str(), "%u:%u %2s%n", &hour, &minute, meridiem, &used) != 3 ||
        used != static_cast<int>(text.size()) || hour < 1 || hour > 12 || minute > 59)
        return false;
    const std::string m = meridiem;
    if (m != "AM" && m != "PM")
        return false;
    s->pm = m == "PM";
    s->hour = static_cast<BYTE>(hour);
    s->minute = static_cast<BYTE>(minute);
    return true;
}

std::string TimeText(const DateTimeStamp& s) {
    // ScheduleText without its day: "9:05 PM".
    DateTimeStamp t = s;
    t.weekday = 8;
    return t.ScheduleText();
}

// "Sun Jan 5, 2003 9:07:03 AM" or "None".
bool ParseLong(const std::string& text, DateTimeStamp* s) {
    if (text == "None") {
        *s = DateTimeStamp::Zero();
        return true;
    }
    char weekday[4] = {}, month[4] = {}, meridiem[3] = {};
    unsigned day, year, hour, minute, second;
    int used = 0;
    if (std::sscanf(text.c_str(), "%3s %3s %u, %u %u:%u:%u %2s%n", weekday, month, &day, &year, &hour, &minute,
                    &second, meridiem, &used) != 8 ||
        used != static_cast<int>(text.size()))
        return false;
    DateTimeStamp parsed = DateTimeStamp::Zero();
    if (!SetDate(&parsed, static_cast<int>(year), IndexOf(kMonths, 12, month), static_cast<int>(day)) ||
        IndexOf(kWeekdays, 7, weekday) != parsed.weekday || second > 59 ||
        !ParseTime(std::to_string(hour) + ":" + std::to_string(minute) + " " + meridiem, &parsed))
        return false;
    parsed.second = static_cast<BYTE>(second);
    *s = parsed;
    return true;
}

// "03/07/03 9:05 PM" or "None".
bool ParseShort(const std::string& text, DateTimeStamp* s) {
    if (text == "None") {
        *s = DateTimeStamp::Zero();
        return true;
    }
    unsigned month, day, year;
    int used = 0;
    if (std::sscanf(text.c_str(), "%2u/%2u/%2u %n", &month, &day, &year, &used) != 3 || used == 0)
        return false;
    DateTimeStamp parsed = DateTimeStamp::Zero();
    if (!SetDate(&parsed, 2000 + static_cast<int>(year), static_cast<int>(month) - 1, static_cast<int>(day)) ||
        !ParseTime(text.substr(static_cast<size_t>(used)), &parsed))
        return false;
    *s = parsed;
    return true;
}

std::string OptionsText(const OptionSet& o) {
    std::string text;
    for (int i = 0; i < 32; ++i)
        if (o.IsSet(i))
            Join(&text, " ", std::to_string(i));
    return text.empty() ? "none" : text;
}

bool ParseOptions(const std::string& text, OptionSet* o) {
    DWORD mask = 0;
    if (text != "none")
        for (const std::string& part : Split(text, " ")) {
            long long bit;
            if (!Number(part, 0, 31, &bit))
                return false;
            mask |= 1u << bit;
        }
    o->UnpackOptions(mask);
    return true;
}

std::string RecordsText(const ProductSettings& s) {
    std::string text;
    for (int i = 0; i < s.driveRecordCount && i < ProductSettings::kMaxDriveRecords; ++i) {
        const DriveCleanRecord& r = s.driveRecords[i];
        Join(&text, "; ",
             std::string(1, r.drive) + ": deep " + r.deepCleanedAt.ShortText() + ", quick " +
                 r.quickCleanedAt.ShortText() + ", setting " + std::to_string(r.driveSetting));
    }
    return text.empty() ? "none" : text;
}

// The deep-clean flags and the seconds are not shown; a record keeps those of
// the drive's stored record.
bool ParseRecords(const std::string& text, ProductSettings* s) {
    ProductSettings parsed = *s;
    parsed.driveRecordCount = 0;
    if (text != "none")
        for (const std::string& part : Split(text, "; ")) {
            const size_t deep = part.find(": deep "), quick = part.find(", quick "), setting = part.find(", setting ");
            long long value;
            DriveCleanRecord r;
            if (deep != 1 || quick == std::string::npos || setting == std::string::npos || quick > setting ||
                !ParseShort(part.substr(8, quick - 8), &r.deepCleanedAt) ||
                !ParseShort(part.substr(quick + 8, setting - quick - 8), &r.quickCleanedAt) ||
                !Number(part.substr(setting + 10), 0, 255, &value) || parsed.driveRecordCount >= 32)
                return false;
            r.drive = part[0];
            r.driveSetting = static_cast<BYTE>(value);
            if (const DriveCleanRecord* old = s->FindDriveRecord(r.drive)) {
                r.deepFlag13 = old->deepFlag13;
                r.deepFlag15 = old->deepFlag15;
                // A date shown as stored keeps its seconds.
                if (r.deepCleanedAt.ShortText() == old->deepCleanedAt.ShortText())
                    r.deepCleanedAt = old->deepCleanedAt;
                if (r.quickCleanedAt.ShortText() == old->quickCleanedAt.ShortText())
                    r.quickCleanedAt = old->quickCleanedAt;
            }
            parsed.driveRecords[parsed.driveRecordCount++] = r;
        }
    for (int i = 0; i < parsed.driveRecordCount; ++i)
        s->driveRecords[i] = parsed.driveRecords[i];
    s->driveRecordCount = parsed.driveRecordCount;
    return true;
}

std::string SpaceListText(const DriveSpaceList& list) {
    std::string text;
    for (int i = 0; i < list.Count() && i < DriveSpaceList::kMaxEntries; ++i)
        Join(&text, " ",
             std::string(1, DriveSpaceList::Letter(list.Entry(i))) + ":" +
                 std::to_string(DriveSpaceList::SpaceClass(list.Entry(i))));
    return text.empty() ? "none" : text;
}

bool ParseSpaceList(const std::string& text, DriveSpaceList* list) {
    DriveSpaceList parsed;
    if (text != "none")
        for (const std::string& part : Split(text, " ")) {
            long long spaceClass;
            if (part.size() < 3 || part[1] != ':' || !Number(part.substr(2), 0, 255, &spaceClass) ||
                parsed.Count() >= DriveSpaceList::kMaxEntries)
                return false;
            parsed.words[1 + parsed.Count()] = static_cast<WORD>(static_cast<BYTE>(part[0]) << 8 | spaceClass);
            ++parsed.words[0];
        }
    *list = parsed;
    return true;
}

std::string ScheduleListText(const std::vector<DateTimeStamp>& times) {
    std::string text;
    for (const DateTimeStamp& t : times)
        Join(&text, "; ", t.ScheduleText());
    return text.empty() ? "none" : text;
}

bool ParseScheduleList(const std::string& text, std::vector<DateTimeStamp>* times) {
    std::vector<DateTimeStamp> parsed;
    if (text != "none")
        for (const std::string& part : Split(text, "; ")) {
            const size_t at = part.find(" at ");
            const int weekday = at == std::string::npos ? -1 : IndexOf(kScheduleDays, 8, part.substr(0, at));
            DateTimeStamp entry = DateTimeStamp::MakeWeeklyTime(static_cast<BYTE>(weekday), 0, 0, 0);
            if (weekday < 0 || !ParseTime(part.substr(at + 4), &entry))
                return false;
            parsed.push_back(entry);
        }
    *times = parsed;
    return true;
}

// The interval: its days as a duration, then the time of the run.
std::string IntervalText(const DateTimeStamp& dcsi) {
    DateTimeStamp days = DateTimeStamp::Zero();
    days.year = 0;
    days.day = dcsi.day;
    return days.DurationText() + " at " + TimeText(dcsi);
}

bool ParseInterval(const std::string& text, DateTimeStamp* dcsi) {
    const size_t at = text.find(" at ");
    if (at == std::string::npos)
        return false;
    const std::string duration = text.substr(0, at);
    long long days = 0;
    if (duration != "0 seconds") {
        const size_t blank = duration.find(' ');
        if (blank == std::string::npos || !Number(duration.substr(0, blank), 1, 255, &days) ||
            duration.substr(blank) != (days == 1 ? " day, 0 seconds" : " days, 0 seconds"))
            return false;
    }
    DateTimeStamp parsed = DateTimeStamp::MakeMonthlyTime(static_cast<BYTE>(days), 0, 0, 0);
    if (!ParseTime(text.substr(at + 4), &parsed))
        return false;
    *dcsi = parsed;
    return true;
}

std::string FlagsText(const std::vector<NamedFlag>& list) {
    std::string text;
    for (const NamedFlag& f : list)
        Join(&text, ", ", f.name + ":" + std::to_string(f.flag));
    return text.empty() ? "none" : text;
}

enum class Form { Options, Records, Byte, Dclc, Schedule, Interval, SpaceList, SmallNumber, Text, Stamp, Signed, Dword, Flags };

struct Row {
    SettingId id;
    Form form;
    const char* expected;
};

constexpr Row kRows[] = {
    {SettingId::ADM, Form::Options, "bit numbers 0-31 separated by blanks, or none"},
    {SettingId::DCCDA, Form::Records, "records like \"C: deep 03/07/03 9:05 PM, quick None, setting 1\" separated by \"; \", or none"},
    {SettingId::DCE, Form::Flags, "nothing: DCE is a subkey list"},
    {SettingId::DCLC, Form::Dclc, "\"N days, on\" or \"N days, off\" with N 0-127"},
    {SettingId::DCG, Form::Options, "bit numbers 0-31 separated by blanks, or none"},
    {SettingId::DCO, Form::Byte, "a number 0-255"},
    {SettingId::DCSL, Form::Schedule, "times like \"Mondays at 9:05 PM\" or \"Daily at 6:00 AM\" separated by \"; \", or none"},
    {SettingId::DCSI, Form::Interval, "an interval like \"3 days, 0 seconds at 9:30 PM\""},
    {SettingId::DCT, Form::Flags, "nothing: DCT is a subkey list"},
    {SettingId::DCU, Form::Byte, "a number 0-255"},
    {SettingId::DSL, Form::SpaceList, "letter:class pairs like \"C:5 D:1\" separated by blanks, or none"},
    {SettingId::DSP, Form::SmallNumber, "a number 0-255"},
    {SettingId::DSC, Form::SmallNumber, "a number 0-255"},
    {SettingId::ECD, Form::Text, "any text"},
    {SettingId::EFR, Form::Byte, "a number 0-255"},
    {SettingId::EGP, Form::Byte, "a number 0-255"},
    {SettingId::EGPL, Form::Byte, "a number 0-255"},
    {SettingId::EHU, Form::Byte, "a number 0-255"},
    {SettingId::ELCC, Form::SmallNumber, "a number 0-255"},
    {SettingId::ENST, Form::Stamp, "a date like \"Sun Jan 5, 2003 9:07:03 AM\" (2000-2255), or None"},
    {SettingId::BaseTop, Form::Signed, "a number -2147483648 to 2147483647"},
    {SettingId::BaseLeft, Form::Signed, "a number -2147483648 to 2147483647"},
    {SettingId::AgentTop, Form::Signed, "a number -2147483648 to 2147483647"},
    {SettingId::AgentLeft, Form::Signed, "a number -2147483648 to 2147483647"},
    {SettingId::PG, Form::Options, "bit numbers 0-31 separated by blanks, or none"},
    {SettingId::PP, Form::Dword, "a number 0-4294967295"},
    {SettingId::PPH, Form::Text, "any text"},
    {SettingId::LLC, Form::Stamp, "a date like \"Sun Jan 5, 2003 9:07:03 AM\" (2000-2255), or None"},
};

const Row* RowOf(SettingId id) {
    for (const Row& row : kRows)
        if (row.id == id)
            return &row;
    return nullptr;
}

// The fields behind the forms that several settings share.
BYTE* ByteField(ProductSettings* s, SettingId id) {
    switch (id) {
    case SettingId::DCO: return &s->dco;
    case SettingId::DCU: return &s->dcu;
    case SettingId::EFR: return &s->efr;
    case SettingId::EGP: return &s->egp;
    case SettingId::EGPL: return &s->egpl;
    case SettingId::EHU: return &s->ehu;
    default: return nullptr;
    }
}
DWORD* DwordField(ProductSettings* s, SettingId id) {
    switch (id) {
    case SettingId::DSP: return &s->dsp;
    case SettingId::DSC: return &s->dsc;
    case SettingId::ELCC: return &s->elcc;
    case SettingId::PP: return &s->pp;
    default: return nullptr;
    }
}
LONG* SignedField(ProductSettings* s, SettingId id) {
    switch (id) {
    case SettingId::BaseTop: return &s->baseTop;
    case SettingId::BaseLeft: return &s->baseLeft;
    case SettingId::AgentTop: return &s->agentTop;
    case SettingId::AgentLeft: return &s->agentLeft;
    default: return nullptr;
    }
}
OptionSet* OptionsField(ProductSettings* s, SettingId id) {
    switch (id) {
    case SettingId::ADM: return &s->admOptions;
    case SettingId::DCG: return &s->dcgOptions;
    case SettingId::PG: return &s->pgOptions;
    default: return nullptr;
    }
}
DateTimeStamp* StampField(ProductSettings* s, SettingId id) {
    return id == SettingId::ENST ? &s->enstStamp : &s->llcStamp;
}
std::string* TextField(ProductSettings* s, SettingId id) { return id == SettingId::ECD ? &s->ecd : &s->pph; }

}  // namespace

bool FindSetting(const std::string& name, SettingId* id) {
    for (const Row& row : kRows) {
        const char* n = SettingName(row.id);
        if (n != nullptr && name.size() == std::strlen(n) &&
            std::equal(name.begin(), name.end(), n, [](char a, char b) { return std::tolower(a) == std::tolower(b); })) {
            *id = row.id;
            return true;
        }
    }
    return false;
}

std::string FormatSetting(const ProductSettings& cs, SettingId id) {
    ProductSettings s = cs;  // a copy, so that the field lookups serve both directions
    const Row* row = RowOf(id);
    if (row == nullptr)
        return "";
    switch (row->form) {
    case Form::Options: return OptionsText(*OptionsField(&s, id));
    case Form::Records: return RecordsText(s);
    case Form::Byte: return std::to_string(*ByteField(&s, id));
    case Form::Dclc: return std::to_string(s.dclc >> 1) + " days, " + ((s.dclc & 1) != 0 ? "on" : "off");
    case Form::Schedule: return ScheduleListText(s.scheduleTimes);
    case Form::Interval: return IntervalText(s.dcsiStamp);
    case Form::SpaceList: return SpaceListText(s.driveSpaceList);
    case Form::SmallNumber:
    case Form::Dword: return std::to_string(*DwordField(&s, id));
    case Form::Text: return *TextField(&s, id);
    case Form::Stamp: return StampField(&s, id)->LongText();
    case Form::Signed: return std::to_string(*SignedField(&s, id));
    case Form::Flags: return FlagsText(id == SettingId::DCT ? s.dctEntries : s.dceEntries);
    }
    return "";
}

bool ParseSetting(ProductSettings* s, SettingId id, const std::string& text, std::string* expected) {
    const Row* row = RowOf(id);
    if (row == nullptr)
        return false;
    *expected = row->expected;
    long long n;
    switch (row->form) {
    case Form::Options: return ParseOptions(text, OptionsField(s, id));
    case Form::Records: return ParseRecords(text, s);
    case Form::Byte:
        if (!Number(text, 0, 255, &n))
            return false;
        *ByteField(s, id) = static_cast<BYTE>(n);
        return true;
    case Form::Dclc: {
        const size_t comma = text.find(" days, ");
        if (comma == std::string::npos || !Number(text.substr(0, comma), 0, 127, &n))
            return false;
        const std::string on = text.substr(comma + 7);
        if (on != "on" && on != "off")
            return false;
        s->dclc = static_cast<BYTE>(n * 2 + (on == "on" ? 1 : 0));
        return true;
    }
    case Form::Schedule: return ParseScheduleList(text, &s->scheduleTimes);
    case Form::Interval: return ParseInterval(text, &s->dcsiStamp);
    case Form::SpaceList: return ParseSpaceList(text, &s->driveSpaceList);
    case Form::SmallNumber:
    case Form::Dword:
        // "DSP", "DSC" and "ELCC" are read back from their first byte only.
        if (!Number(text, 0, row->form == Form::SmallNumber ? 255 : 0xFFFFFFFFll, &n))
            return false;
        *DwordField(s, id) = static_cast<DWORD>(n);
        return true;
    case Form::Text: *TextField(s, id) = text; return true;
    case Form::Stamp: return ParseLong(text, StampField(s, id));
    case Form::Signed:
        if (!Number(text, -2147483648ll, 2147483647ll, &n))
            return false;
        *SignedField(s, id) = static_cast<LONG>(n);
        return true;
    case Form::Flags: return false;
    }
    return false;
}
