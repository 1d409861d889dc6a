#include "registry_store.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "clock_state.h"
#include "machine_state.h"

namespace hostwin::detail {

bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

std::vector<std::string> SplitKeyPath(std::string_view path) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('\\', start);
        if (end == std::string_view::npos)
            end = path.size();
        if (end > start)
            parts.emplace_back(path.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

RegNode* RegNode::FindSubkey(std::string_view n) const {
    for (const auto& k : subkeys)
        if (SameName(k->name, n))
            return k.get();
    return nullptr;
}

RegNode* RegNode::AddSubkey(std::string_view n) {
    subkeys.push_back(std::make_unique<RegNode>());
    subkeys.back()->name = std::string(n);
    subkeys.back()->lastWrite = NowUtcTicks();
    return subkeys.back().get();
}

bool RegNode::RemoveSubkey(std::string_view n) {
    auto it = std::find_if(subkeys.begin(), subkeys.end(), [&](const auto& k) { return SameName(k->name, n); });
    if (it == subkeys.end())
        return false;
    subkeys.erase(it);
    return true;
}

RegValue* RegNode::FindValue(std::string_view n) {
    for (auto& v : values)
        if (SameName(v.name, n))
            return &v;
    return nullptr;
}

void RegNode::SetValue(std::string_view n, DWORD type, std::vector<BYTE> data) {
    RegValue* v = FindValue(n);
    if (v == nullptr) {
        values.push_back(RegValue{std::string(n), type, {}});
        v = &values.back();
    }
    v->type = type;
    v->data = std::move(data);
    lastWrite = NowUtcTicks();
}

bool RegNode::RemoveValue(std::string_view n) {
    auto it = std::find_if(values.begin(), values.end(), [&](const RegValue& v) { return SameName(v.name, n); });
    if (it == values.end())
        return false;
    values.erase(it);
    return true;
}

RegistryStore& RegistryStore::Get() {
    static RegistryStore store;
    return store;
}

RegNode* RegistryStore::Root(RegRoot root) { return &roots_[static_cast<int>(root)]; }

RegNode* RegistryStore::Resolve(RegRoot root, const std::vector<std::string>& path, bool create, bool* created) {
    // HKEY_CLASSES_ROOT is the machine's Software\Classes.
    std::vector<std::string> full;
    if (root == RegRoot::ClassesRoot) {
        root = RegRoot::LocalMachine;
        full = {"Software", "Classes"};
    }
    full.insert(full.end(), path.begin(), path.end());
    if (created)
        *created = false;
    RegNode* node = Root(root);
    for (const auto& part : full) {
        RegNode* next = node->FindSubkey(part);
        if (next == nullptr) {
            if (!create)
                return nullptr;
            next = node->AddSubkey(part);
            if (created)
                *created = true;
        }
        node = next;
    }
    return node;
}

void RegistryStore::Clear() {
    for (auto& r : roots_) {
        r.values.clear();
        r.subkeys.clear();
    }
}

namespace {

std::string SharedFile() {
    const std::string folder = MachineFolder();
    return folder.empty() ? std::string() : folder + "/registry.reg";
}

long long FileStamp(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0)
        return -1;
    return static_cast<long long>(st.st_mtim.tv_sec) * 1'000'000'000LL + st.st_mtim.tv_nsec + st.st_size * 7919LL;
}

}  // namespace

void RegistryStore::SyncFromDisk() {
    const std::string file = SharedFile();
    if (file.empty())
        return;
    const long long stamp = FileStamp(file);
    if (file == loadedFrom_ && stamp == loadedStamp_)
        return;
    Clear();
    loadedFrom_ = file;
    loadedStamp_ = stamp;
    if (stamp < 0)
        return;
    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    std::string error;
    ImportRegText(text.str(), &error);
}

void RegistryStore::Changed() {
    const std::string file = SharedFile();
    if (file.empty())
        return;
    std::string text = "REGEDIT4\r\n\r\n";
    for (RegRoot r : {RegRoot::LocalMachine, RegRoot::CurrentUser, RegRoot::Users}) {
        std::string part = ExportRegText(r, {});
        text += part.substr(part.find("\r\n\r\n") + 4);  // drop the repeated first line
    }
    const std::string temp = file + ".tmp" + std::to_string(::getpid());
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out << text;
    }
    std::rename(temp.c_str(), file.c_str());
    loadedFrom_ = file;
    loadedStamp_ = FileStamp(file);
}

}  // namespace hostwin::detail
