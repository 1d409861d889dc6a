#include "ioutils/removal_names.h"

#include <algorithm>

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

}  // namespace

std::vector<std::string> SplitPathNames(const std::string& path) {
    std::vector<std::string> names(1);
    const char* end = path.c_str() + path.size();
    for (const char* at = path.c_str(); at < end;) {
        const char* next = CharNextA(at);
        if (next == at || next > end)
            next = end;  // a lead byte cut off by the end of the text
        if (next - at == 1 && IsSeparator(*at))
            names.emplace_back();
        else
            names.back().append(at, next);
        at = next;
    }
    return names;
}

size_t LastNameStart(const std::string& path) {
    size_t start = 0;
    const char* begin = path.c_str();
    const char* end = begin + path.size();
    for (const char* at = begin; at < end;) {
        const char* next = CharNextA(at);
        if (next == at || next > end)
            next = end;
        if (next - at == 1 && IsSeparator(*at))
            start = static_cast<size_t>(next - begin);
        at = next;
    }
    return start;
}

WideName WideFromAnsi(const std::string& text) {
    if (text.empty())
        return WideName();
    const int length = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (length <= 0)
        return WideName();
    WideName wide(static_cast<size_t>(length), WCHAR{0});
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &wide[0], length);
    return wide;
}

std::string AnsiFromWide(const WideName& name) {
    if (name.empty())
        return std::string();
    const int length =
        WideCharToMultiByte(CP_ACP, 0, name.data(), static_cast<int>(name.size()), nullptr, 0, nullptr, nullptr);
    if (length <= 0)
        return std::string(name.size(), '?');
    std::string text(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_ACP, 0, name.data(), static_cast<int>(name.size()), &text[0], length, nullptr, nullptr);
    return text;
}

bool IsOneName(const WideName& name) {
    if (name.empty() || (name.size() == 1 && name[0] == '.') || (name.size() == 2 && name[0] == '.' && name[1] == '.'))
        return false;
    for (WCHAR c : name)
        if (c == 0 || c == '\\' || c == '/')
            return false;
    return true;
}

namespace {

WCHAR Upper(WCHAR c) {
    if ((c >= 'a' && c <= 'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7) || (c >= 0xFF41 && c <= 0xFF5A) ||
        (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) || (c >= 0x430 && c <= 0x44F))
        return static_cast<WCHAR>(c - 0x20);
    if (c >= 0x450 && c <= 0x45F)
        return static_cast<WCHAR>(c - 0x50);
    return c;
}

}  // namespace

bool SameNameIgnoringCase(const WCHAR* a, const WCHAR* b, size_t length) {
    for (size_t i = 0; i < length; ++i)
        if (a[i] != b[i] && Upper(a[i]) != Upper(b[i]))
            return false;
    return true;
}

WideName WithoutTrailingDotsAndSpaces(const WideName& name) {
    size_t end = name.size();
    while (end > 0 && (name[end - 1] == '.' || name[end - 1] == ' '))
        --end;
    return name.substr(0, end);
}

bool IsReportedPathOf(const WideName& reported, const WideName& expected, bool* lastInexact) {
    *lastInexact = false;
    size_t r = 0, e = 0;
    for (;;) {
        const size_t rEnd = std::min(reported.find('\\', r), reported.size());
        const size_t eEnd = std::min(expected.find('\\', e), expected.size());
        const bool rLast = rEnd == reported.size(), eLast = eEnd == expected.size();
        if (rLast != eLast)
            return false;
        size_t eTrimmed = eEnd;
        while (eTrimmed > e && (expected[eTrimmed - 1] == '.' || expected[eTrimmed - 1] == ' '))
            --eTrimmed;
        const size_t rLength = rEnd - r;
        const auto same = [&](size_t length) {
            return rLast ? SameNameIgnoringCase(&reported[0] + r, &expected[0] + e, length)
                         : reported.compare(r, length, expected, e, length) == 0;
        };
        const bool exact = rLength == eEnd - e && reported.compare(r, rLength, expected, e, rLength) == 0;
        // Wine may drop some or all of the dots and spaces a name ends in,
        // never the whole name.
        const bool trimmed = eTrimmed > e && rLength >= eTrimmed - e && rLength < eEnd - e;
        if (!exact && !((rLength == eEnd - e || trimmed) && same(rLength)))
            return false;
        if (rLast) {
            *lastInexact = !exact;
            return true;
        }
        r = rEnd + 1;
        e = eEnd + 1;
    }
}
