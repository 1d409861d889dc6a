// The "\\?\" form keeps a trailing dot or blank that the ordinary form drops.
#include "platform/win32.h"
#include "support/exact_names.h"

namespace nmtest {

bool MakeExactEntry(const std::string& folder, const std::u16string& name, bool directory, const std::string& content) {
    std::wstring path = L"\\\\?\\";
    for (char c : folder)  // the scratch folders' paths are plain ASCII
        path.push_back(static_cast<wchar_t>(static_cast<unsigned char>(c)));
    path += L"\\";
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
