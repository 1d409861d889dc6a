// hostwin internals: names between the narrow calls (the ANSI code page:
// 1252, as an English or Western European Windows, or 932, as a Japanese one)
// and the host's file names (UTF-8), and the short 8.3 names that a drive
// keeps for the names that need one.
#pragma once

#include <string>

namespace hostwin::detail {

// The ANSI code page: 1252 unless Machine::SetCodePage chose 932.
unsigned CodePage();
void SetCodePage(unsigned codePage);
// True for the first byte of a double-byte character of the code page.
bool IsLeadByte(unsigned char c);
// The position of the first "" or "/" at or after `from` that is no second
// byte of a double-byte character; npos when there is none.
size_t FindSeparator(const std::string& text, size_t from = 0);
bool EndsWithSeparator(const std::string& text);

// Code-page bytes to the host's UTF-8.
std::string AnsiToHost(const std::string& ansi);
// A host name as the narrow calls show it, through the best-fit rendering
// Windows uses: a full-width form (U+FF01..U+FF5E) outside the code page
// becomes its ASCII twin, every other character outside it (or byte that is
// no UTF-8) "?".  *exact is false when anything was rendered.
std::string HostToAnsi(const std::string& host, bool* exact = nullptr);
// True for a legal 8.3 name ("A.TXT", "plain.txt": case is not kept apart).
bool IsShortName(const std::string& ansi);
// The short name of a host name, "" when its own name is already a legal
// 8.3 name.  A few of the name's own letters, "~", and four hexadecimal
// digits from the whole name, then up to three letters of its extension:
// the same for the same name on every run.
std::string ShortNameFor(const std::string& host);

}  // namespace hostwin::detail
