// Entries whose names the narrow calls cannot make (characters outside the
// code page, a trailing dot or blank), made with their exact UTF-16 names:
// on the host straight into the drive's folder, under Windows through the
// wide calls.
#pragma once

#include <string>

namespace nmtest {

// A folder, or a file holding `content`, named `name` inside `folder`.
bool MakeExactEntry(const std::string& folder, const std::u16string& name, bool directory,
                    const std::string& content = "");

}  // namespace nmtest
