// Names in the removal: the narrow paths callers give, split where the ANSI
// code page puts a "\" or "/" (a double-byte character's second byte may be
// 0x5C, which is no separator), and the conversions between those paths and
// the exact UTF-16 names the NT family keeps.
#pragma once

#include <string>
#include <vector>

#include "platform/win32.h"

using WideName = std::basic_string<WCHAR>;

// The names between separators, in order; an empty name where two
// separators meet or where the path begins or ends with one.
std::vector<std::string> SplitPathNames(const std::string& path);
// Where the last name of path begins: after its last separator, or 0.
size_t LastNameStart(const std::string& path);

// The narrow path in UTF-16, through the ANSI code page.
WideName WideFromAnsi(const std::string& text);
// An exact name as a person reads it in the ANSI code page; only ever
// shown, never used to reach a file.
std::string AnsiFromWide(const WideName& name);

// Whether a listed name is one name of its folder: not empty, not "." or
// "..", and holding no separator or NUL that would make it a path of several
// names (Wine lists Unix names such as "lnk\victim.txt" as they are).
bool IsOneName(const WideName& name);
// Whether two names are the same without regard to case, as the file
// systems compare them for the letters a person types: ASCII, Latin-1, the
// full-width Latin letters, Greek and Cyrillic.  A letter outside those only
// ever makes two names differ, which keeps an entry rather than removing it.
bool SameNameIgnoringCase(const WCHAR* a, const WCHAR* b, size_t length);
// The name without the dots and spaces it ends in, as a path's last name
// loses them (Wine also reports a handle's own name so).
WideName WithoutTrailingDotsAndSpaces(const WideName& name);
// Whether a path a handle reports is `expected`: the folders' names as the
// system reported them for the folders themselves, so exactly (a folder's
// case twin is another folder), the last name, the entry's own, without
// regard to case; any name is taken as the same when the reported one lacks
// some or all of the trailing dots and spaces of the expected one (Wine
// reports names so), but never when nothing of it is left.
// *lastInexact says whether the last name matched only in one of those ways.
bool IsReportedPathOf(const WideName& reported, const WideName& expected, bool* lastInexact);
