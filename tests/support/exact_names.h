// Entries whose names the narrow calls cannot make (characters outside the
// code page, a trailing dot or blank), made with their exact UTF-16 names:
// on the host straight into the drive's folder, under Windows through the
// wide calls.
#pragma once

#include <string>

#include "support/scratch_folder.h"

namespace nmtest {

// A folder, or a file holding `content`, named `name` inside `folder`.
bool MakeExactEntry(const std::string& folder, const std::u16string& name, bool directory,
                    const std::string& content = "");

// Removes the folder and everything in it, whatever the names (the narrow
// calls cannot reach a name they render).
void RemoveExactTree(const std::string& folder);

// A scratch folder that may hold such names: emptied before and after.
class ExactScratchFolder : public ScratchFolder {
public:
    explicit ExactScratchFolder(const std::string& name) : ScratchFolder(name) {
        RemoveExactTree(path());
        CreateDirectoryA(path().c_str(), nullptr);
    }
    ~ExactScratchFolder() { RemoveExactTree(path()); }
};

}  // namespace nmtest
