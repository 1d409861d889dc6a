// The "\\?\" form keeps a trailing dot or blank that the ordinary form drops.
#include "platform/win32.h"
#include "support/exact_names.h"

namespace nmtest {

namespace {

std::wstring Long(const std::string& folder) {
    std::wstring path = L"\\\\?\\";
    for (char c : folder)  // the scratch folders' paths are plain ASCII
        path.push_back(static_cast<wchar_t>(static_cast<unsigned char>(c)));
    return path;
}

void RemoveWide(const std::wstring& path) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..")
                continue;
            const std::wstring child = path + L"\\" + name;
            SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
            if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
                (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
                RemoveWide(child);
            else if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
                RemoveDirectoryW(child.c_str());
            else
                DeleteFileW(child.c_str());
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(path.c_str());
}

}  // namespace

void RemoveExactTree(const std::string& folder) { RemoveWide(Long(folder)); }

bool MakeExactEntry(const std::string& folder, const std::u16string& name, bool directory, const std::string& content) {
    std::wstring path = Long(folder) + L"\\";
    path.append(name.begin(), name.end());
    if (directory)
        return CreateDirectoryW(path.c_str(), nullptr) != FALSE;
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const BOOL ok = WriteFile(h, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    CloseHandle(h);
    return ok && written == content.size();
}

}  // namespace nmtest
