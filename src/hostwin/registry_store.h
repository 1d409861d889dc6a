// hostwin internals: the registry's tree, shared by the API functions, the
// .reg reader and writer, and the control panel.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "base.h"

namespace hostwin::detail {

struct RegValue {
    std::string name;  // "" is the key's default value
    DWORD type = 0;
    std::vector<BYTE> data;
};

struct RegNode {
    std::string name;
    std::vector<RegValue> values;  // in the order they were first written
    std::vector<std::unique_ptr<RegNode>> subkeys;
    LONGLONG lastWrite = 0;

    RegNode* FindSubkey(std::string_view n) const;
    RegNode* AddSubkey(std::string_view n);
    bool RemoveSubkey(std::string_view n);
    RegValue* FindValue(std::string_view n);
    void SetValue(std::string_view n, DWORD type, std::vector<BYTE> data);
    bool RemoveValue(std::string_view n);
};

bool SameName(std::string_view a, std::string_view b);
std::vector<std::string> SplitKeyPath(std::string_view path);

enum class RegRoot { ClassesRoot, CurrentUser, LocalMachine, Users };

// The whole registry of the machine.  Every access holds `mutex`.  When the
// machine is shared between processes the tree is kept in the machine
// folder's "registry.reg": re-read when another process changed it, written
// back after every change.
class RegistryStore {
public:
    static RegistryStore& Get();

    std::recursive_mutex mutex;

    RegNode* Root(RegRoot root);
    // The node at `path` below `root`; creates the missing levels when asked.
    RegNode* Resolve(RegRoot root, const std::vector<std::string>& path, bool create = false, bool* created = nullptr);
    void Clear();
    void SyncFromDisk();  // re-read when shared and changed elsewhere
    void Changed();       // after every change: write back when shared

private:
    RegNode roots_[4];
    std::string loadedFrom_;
    long long loadedStamp_ = -1;
};

// REGEDIT4 text.
bool ImportRegText(std::string_view text, std::string* error);
std::string ExportRegText(RegRoot root, const std::vector<std::string>& path);
bool ParseRootName(std::string_view name, RegRoot* root, std::vector<std::string>* path);
const char* RootName(RegRoot root);

}  // namespace hostwin::detail
