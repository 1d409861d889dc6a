// hostwin internals: names between the narrow calls (code page 1252, as an
// English or Western European Windows) and the host's file names (UTF-8),
// and the short 8.3 names that a drive keeps for the names that need one.
#pragma once

#include <string>

namespace hostwin::detail {

// Code-page bytes to the host's UTF-8.
std::string AnsiToHost(const std::string& ansi);
// A host name as the narrow calls show it: each character outside the code
// page (or byte that is no UTF-8) becomes "?".  *exact is false then.
std::string HostToAnsi(const std::string& host, bool* exact = nullptr);
// True for a legal 8.3 name ("A.TXT", "plain.txt": case is not kept apart).
bool IsShortName(const std::string& ansi);
// The short name of a host name, "" when its own name is already a legal
// 8.3 name.  A few of the name's own letters, "~", and four hexadecimal
// digits from the whole name, then up to three letters of its extension:
// the same for the same name on every run.
std::string ShortNameFor(const std::string& host);

}  // namespace hostwin::detail
