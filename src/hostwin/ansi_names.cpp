#include "ansi_names.h"

#include <atomic>
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

std::atomic<unsigned> g_codePage{1252};

// Code page 932's double-byte characters that tests name files with (among
// them three whose second byte is "\"); the rest of its table is not
// simulated and shows as "?".
struct DoubleByte {
    char32_t unicode;
    unsigned char lead, trail;
};
constexpr DoubleByte k932[] = {
    {0x8868, 0x95, 0x5C}, {0x80FD, 0x94, 0x5C}, {0x30BD, 0x83, 0x5C}, {0x3000, 0x81, 0x40},
    {0xFF0E, 0x81, 0x44}, {0xFF1A, 0x81, 0x46}, {0xFF0F, 0x81, 0x5E}, {0xFF3C, 0x81, 0x5F},
    {0x30FC, 0x81, 0x5B}, {0x65E5, 0x93, 0xFA}, {0x672C, 0x96, 0x7B}, {0x30C7, 0x83, 0x66},
    {0x30BF, 0x83, 0x5E}, {0xFF5C, 0x81, 0x62}, {0xFF1F, 0x81, 0x48}, {0xFF0A, 0x81, 0x96},
};
// The full-width digits and Latin letters lie in runs.
struct DoubleByteRun {
    char32_t first, last;
    unsigned char lead, firstTrail;
};
constexpr DoubleByteRun k932Runs[] = {
    {0xFF10, 0xFF19, 0x82, 0x4F}, {0xFF21, 0xFF3A, 0x82, 0x60}, {0xFF41, 0xFF5A, 0x82, 0x81}};
constexpr char32_t kHalfWidthKatakana = 0xFF61;  // single bytes 0xA1..0xDF

bool Is932() { return g_codePage.load() == 932; }

// The bytes of `c` in code page 932, "" when it has none.
std::string To932(char32_t c) {
    if (c < 0x80)
        return std::string(1, static_cast<char>(c));
    if (c >= kHalfWidthKatakana && c <= kHalfWidthKatakana + (0xDF - 0xA1))
        return std::string(1, static_cast<char>(0xA1 + (c - kHalfWidthKatakana)));
    for (const DoubleByte& d : k932)
        if (d.unicode == c)
            return {static_cast<char>(d.lead), static_cast<char>(d.trail)};
    for (const DoubleByteRun& r : k932Runs)
        if (c >= r.first && c <= r.last)
            return {static_cast<char>(r.lead), static_cast<char>(r.firstTrail + (c - r.first))};
    return "";
}

char32_t From932(unsigned char lead, unsigned char trail) {
    for (const DoubleByte& d : k932)
        if (d.lead == lead && d.trail == trail)
            return d.unicode;
    for (const DoubleByteRun& r : k932Runs)
        if (r.lead == lead && trail >= r.firstTrail && trail <= r.firstTrail + (r.last - r.first))
            return r.first + (trail - r.firstTrail);
    return U'?';
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

unsigned CodePage() { return g_codePage.load(); }
void SetCodePage(unsigned codePage) { g_codePage.store(codePage == 932 ? 932 : 1252); }

bool IsLeadByte(unsigned char c) { return Is932() && ((c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC)); }

size_t FindSeparator(const std::string& text, size_t from) {
    for (size_t i = from; i < text.size(); ++i) {
        if (text[i] == '\\' || text[i] == '/')
            return i;
        if (IsLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size())
            ++i;  // its second byte may be 0x5C
    }
    return std::string::npos;
}

bool EndsWithSeparator(const std::string& text) {
    size_t last = std::string::npos;
    for (size_t at = FindSeparator(text); at != std::string::npos; at = FindSeparator(text, at + 1))
        last = at;
    return !text.empty() && last == text.size() - 1;
}

std::string AnsiToHost(const std::string& ansi) {
    std::string host;
    for (size_t i = 0; i < ansi.size(); ++i) {
        const auto c = static_cast<unsigned char>(ansi[i]);
        if (!Is932()) {
            AppendUtf8(CodePoint(c), &host);
        } else if (IsLeadByte(c) && i + 1 < ansi.size()) {
            AppendUtf8(From932(c, static_cast<unsigned char>(ansi[++i])), &host);
        } else if (c >= 0xA1 && c <= 0xDF) {
            AppendUtf8(kHalfWidthKatakana + (c - 0xA1), &host);
        } else {
            AppendUtf8(c < 0x80 ? c : U'?', &host);
        }
    }
    return host;
}

std::string HostToAnsi(const std::string& host, bool* exact) {
    std::string ansi;
    bool all = true;
    for (size_t i = 0; i < host.size();) {
        const char32_t c = NextUtf8(host, &i);
        std::string bytes;
        if (Is932()) {
            bytes = To932(c);
        } else if (const int b = AnsiByte(c); b >= 0) {
            bytes.push_back(static_cast<char>(b));
        }
        if (bytes.empty()) {
            all = false;
            // Windows' best fit: a full-width form becomes its ASCII twin.
            bytes.push_back(c >= 0xFF01 && c <= 0xFF5E ? static_cast<char>(c - 0xFEE0) : '?');
        }
        ansi += bytes;
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
