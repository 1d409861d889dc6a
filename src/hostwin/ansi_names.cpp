#include "ansi_names.h"

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace hostwin::detail {
namespace {

// Code page 1252 from 0x80 to 0x9F; the five bytes it leaves undefined map
// to the control characters of the same number, as Windows' table does.
constexpr char32_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

char32_t CodePoint(unsigned char byte) {
    return byte >= 0x80 && byte < 0xA0 ? kHighControls[byte - 0x80] : byte;
}

void AppendUtf8(char32_t c, std::string* out) {
    if (c < 0x80) {
        out->push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out->push_back(static_cast<char>(0xC0 | (c >> 6)));
        out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out->push_back(static_cast<char>(0xE0 | (c >> 12)));
        out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

// The next UTF-8 character from text[*i]; 0xFFFFFFFF for a byte that starts none.
char32_t NextUtf8(const std::string& text, size_t* i) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(*i);
    int more = lead < 0x80 ? 0 : (lead & 0xE0) == 0xC0 ? 1 : (lead & 0xF0) == 0xE0 ? 2 : (lead & 0xF8) == 0xF0 ? 3 : -1;
    if (more < 0 || *i + more >= text.size() + (more == 0 ? 1 : 0)) {
        ++*i;
        return 0xFFFFFFFF;
    }
    char32_t c = more == 0 ? lead : lead & (0x3F >> more);
    for (int k = 1; k <= more; ++k) {
        if ((byte(*i + k) & 0xC0) != 0x80) {
            ++*i;
            return 0xFFFFFFFF;
        }
        c = (c << 6) | (byte(*i + k) & 0x3F);
    }
    *i += more + 1;
    return c;
}

int AnsiByte(char32_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return static_cast<int>(c);
    for (int k = 0; k < 32; ++k)
        if (kHighControls[k] == c)
            return 0x80 + k;
    return -1;
}

bool LegalShortChar(unsigned char c) {
    return std::isalnum(c) != 0 || (c != 0 && std::strchr("$%'-_@~`!(){}^#&", c) != nullptr);
}

}  // namespace

std::string AnsiToHost(const std::string& ansi) {
    std::string host;
    for (unsigned char c : ansi)
        AppendUtf8(CodePoint(c), &host);
    return host;
}

std::string HostToAnsi(const std::string& host, bool* exact) {
    std::string ansi;
    bool all = true;
    for (size_t i = 0; i < host.size();) {
        const int b = AnsiByte(NextUtf8(host, &i));
        all = all && b >= 0;
        ansi.push_back(b >= 0 ? static_cast<char>(b) : '?');
    }
    if (exact != nullptr)
        *exact = all;
    return ansi;
}

bool IsShortName(const std::string& ansi) {
    const size_t dot = ansi.find('.');
    const std::string base = ansi.substr(0, dot);
    const std::string ext = dot == std::string::npos ? "" : ansi.substr(dot + 1);
    if (base.empty() || base.size() > 8 || ext.size() > 3 || (dot != std::string::npos && ext.empty()))
        return false;
    for (unsigned char c : base + ext)
        if (!LegalShortChar(c))
            return false;
    return true;
}

std::string ShortNameFor(const std::string& host) {
    bool exact = false;
    const std::string ansi = HostToAnsi(host, &exact);
    if (exact && IsShortName(ansi))
        return "";
    std::uint32_t hash = 2166136261u;  // FNV-1a
    for (unsigned char c : host)
        hash = (hash ^ c) * 16777619u;
    const size_t dot = ansi.find_last_of('.');
    const auto legal = [](const std::string& part, size_t most) {
        std::string kept;
        for (unsigned char c : part)
            if (kept.size() < most && c < 0x80 && LegalShortChar(c))
                kept.push_back(static_cast<char>(std::toupper(c)));
        return kept;
    };
    char digits[8];
    std::snprintf(digits, sizeof digits, "%04X", static_cast<unsigned>((hash ^ (hash >> 16)) & 0xFFFF));
    std::string name = legal(ansi.substr(0, dot == 0 ? std::string::npos : dot), 3) + "~" + digits;
    const std::string ext = dot == std::string::npos || dot == 0 ? "" : legal(ansi.substr(dot + 1), 3);
    return ext.empty() ? name : name + "." + ext;
}

}  // namespace hostwin::detail
