// The four texts in which the product shows stamps.
#include <cstdio>

#include "datetime/date_time_stamp.h"

namespace {

constexpr char kNone[] = "None";
constexpr const char* kWeekdayNames[] = {"Sun ", "Mon ", "Tue ", "Wed ", "Thu ", "Fri ", "Sat "};
constexpr const char* kMonthNames[] = {"Jan ", "Feb ", "Mar ", "Apr ", "May ", "Jun ",
                                       "Jul ", "Aug ", "Sep ", "Oct ", "Nov ", "Dec "};
constexpr const char* kScheduleDays[] = {"Sundays at ",   "Mondays at ", "Tuesdays at ", "Wednesdays at ",
                                         "Thursdays at ", "Fridays at ", "Saturdays at ", "Daily at "};

template <typename... Args>
void Append(std::string* text, const char* format, Args... args) {
    char buffer[64];
    const int n = std::snprintf(buffer, sizeof buffer, format, args...);
    if (n > 0)
        text->append(buffer, static_cast<size_t>(n) < sizeof buffer ? static_cast<size_t>(n) : sizeof buffer - 1);
}

const char* Meridiem(const DateTimeStamp& s) { return s.pm != 0 ? "PM" : "AM"; }

// "9:05 " and "9:15 ": the hour unpadded, the minute with a leading zero below 10.
void AppendShortTime(std::string* text, const DateTimeStamp& s) {
    Append(text, s.minute < 10 ? "%d:0%d " : "%d:%d ", s.hour, s.minute);
    *text += Meridiem(s);
}

// "1 day, " or "3 days, "; the seconds end the text without a comma.
void AppendCount(std::string* text, int count, const char* one, const char* many) {
    if (count == 1)
        *text += one;
    else
        Append(text, many, count);
}

}  // namespace

std::string DateTimeStamp::LongText() const {
    if (!IsValidStamp())
        return kNone;
    std::string text = kWeekdayNames[weekday];
    text += kMonthNames[month];
    Append(&text, "%u, %u %u:", unsigned{day}, unsigned{year}, unsigned{hour});
    Append(&text, minute < 10 ? "0%u:" : "%u:", unsigned{minute});
    Append(&text, second < 10 ? "0%u " : "%u ", unsigned{second});
    text += Meridiem(*this);
    return text;
}

std::string DateTimeStamp::ShortText() const {
    if (!IsValidStamp())
        return kNone;
    std::string text;
    Append(&text, "%02d/", month + 1);
    Append(&text, day < 10 ? "0%d/" : "%d/", day);
    const int shortYear = year % 100;
    Append(&text, shortYear < 10 ? "0%d " : "%d ", shortYear);
    AppendShortTime(&text, *this);
    return text;
}

std::string DateTimeStamp::DurationText() const {
    std::string text;
    const struct {
        int count;
        const char* one;
        const char* many;
    } parts[] = {
        {year, "1 year, ", "%d years, "},   {month, "1 month, ", "%d months, "},
        {day, "1 day, ", "%d days, "},      {hour, "1 hour, ", "%d hours, "},
        {minute, "1 minute, ", "%d minutes, "},
    };
    for (const auto& part : parts)
        if (part.count != 0)
            AppendCount(&text, part.count, part.one, part.many);
    AppendCount(&text, second, "1 second", "%d seconds");
    return text;
}

std::string DateTimeStamp::ScheduleText() const {
    std::string text = weekday < 8 ? kScheduleDays[weekday] : "";
    AppendShortTime(&text, *this);
    return text;
}
