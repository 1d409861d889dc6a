#include "settings/shell_folders.h"

#include "settings/reg_key.h"

#include <cstring>

namespace {

constexpr char kShellFoldersKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr char kMemoryManagementKey[] = "System\\CurrentControlSet\\Control\\Session Manager\\Memory Management";

// Every text value is read through a buffer of this size; a longer value
// cannot be read and counts as missing.
constexpr DWORD kValueBufferSize = 256;

// The value's bytes taken as a narrow string, whatever its registry type.
// A stored value need not end in a NUL: the text stops at the first NUL or
// at the end of the bytes read, never past the buffer.
bool QueryText(const RegKey& key, const char* name, std::string* text) {
    char buffer[kValueBufferSize];
    DWORD size = sizeof buffer;
    if (RegQueryValueExA(key.get(), name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS)
        return false;
    text->assign(buffer, strnlen(buffer, size));
    return true;
}

std::string ReadSetting(const char* name) {
    RegKey key;
    std::string text;
    if (!key.Open(HKEY_LOCAL_MACHINE, kSettingsKey, KEY_QUERY_VALUE | kSettingsView) || !QueryText(key, name, &text))
        return std::string();
    return text;
}

// The first of two shell-folder values that can be read, or empty.
std::string ReadShellFolder(HKEY root, const char* preferred, const char* fallback) {
    RegKey key;
    std::string folder;
    if (key.Open(root, kShellFoldersKey, KEY_QUERY_VALUE) && !QueryText(key, preferred, &folder) &&
        !QueryText(key, fallback, &folder))
        folder.clear();
    return folder;
}

bool EndsWithBackslash(const std::string& s) {
    return !s.empty() && s.back() == '\\';
}

}  // namespace

std::string GetProgramLocation() {
    std::string location = ReadSetting("UIL");
    // Callers append "\name"; "C:\" becomes "C:" so that they never double it.
    if (EndsWithBackslash(location))
        location.pop_back();
    return location;
}

std::string GetUslText() {
    return ReadSetting("USL");
}

std::string GetProgramGroupFolder(HKEY root) {
    std::string folder = ReadShellFolder(root, "Common Programs", "Programs");
    if (folder.empty())
        return folder;
    if (!EndsWithBackslash(folder))
        folder += '\\';

    RegKey key;
    std::string group;
    if (!key.Open(HKEY_LOCAL_MACHINE, kSettingsKey, KEY_QUERY_VALUE | kSettingsView) || !QueryText(key, "PROG", &group))
        return std::string();  // a folder without the group would name the wrong place
    // "PROG" may be stored relative, as ".\Nullmark": the first two
    // characters go, whatever the second one is.
    if (!group.empty() && group[0] == '.')
        folder += group.size() > 2 ? group.substr(2) : std::string();
    else
        folder += group;
    return folder;
}

std::string GetDesktopFolder(HKEY root) {
    return ReadShellFolder(root, "Common Desktop", "Desktop");
}

void SetClearPageFileAtShutdown(bool on) {
    // Only the NT family has a paging file that the system can wipe.
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
    if (!GetVersionExA(&version) || version.dwPlatformId != VER_PLATFORM_WIN32_NT)
        return;
    RegKey key;
    if (!key.Open(HKEY_LOCAL_MACHINE, kMemoryManagementKey, KEY_WRITE))
        return;
    const DWORD value = on ? 1 : 0;
    RegSetValueExA(key.get(), "ClearPageFileAtShutdown", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                   sizeof value);
}
