// Lists a folder's tree as a program of this bitness sees it, for the Wine
// suite's removal checks, which first make sure that their program sees the
// tree it is about to remove, where it works:
//   nm_list_tree FOLDER
// prints one line per entry below FOLDER: "d PATH" for a folder, "f PATH" for
// a file, "l PATH" for a reparse point (not entered), PATH relative to FOLDER
// with "/" between names, in UTF-8, each name as the wide listing gives it
// (the "\\?\" form keeps trailing dots and blanks).  The lines read like
// find's "%y %P" (FOLDER itself, ASCII or the code page's, is not listed).  Exit status 1 when a folder cannot be listed.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

std::string Utf8(const std::wstring& text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
    return out;
}

// Lists FOLDER\RELATIVE, whose entries are shown below SHOWN; false when a
// folder cannot be listed.
bool List(const std::wstring& folder, const std::wstring& relative, const std::string& shown) {
    const std::wstring path = relative.empty() ? folder : folder + L"\\" + relative;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        std::printf("cannot list %s: error %lu\n", Utf8(path).c_str(), GetLastError());
        return false;
    }
    bool listed = true;
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..")
            continue;
        const std::wstring child = relative.empty() ? name : relative + L"\\" + name;
        const std::string child_shown = shown.empty() ? Utf8(name) : shown + "/" + Utf8(name);
        const DWORD attributes = found.dwFileAttributes;
        const char kind = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? 'l'
                          : (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0   ? 'd'
                                                                           : 'f';
        std::printf("%c %s\n", kind, child_shown.c_str());
        if (kind == 'd')
            listed = List(folder, child, child_shown) && listed;
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return listed;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: nm_list_tree FOLDER\n", stderr);
        return 2;
    }
    std::wstring folder(MAX_PATH, L'\0');
    folder.resize(static_cast<size_t>(MultiByteToWideChar(CP_ACP, 0, argv[1], -1, folder.data(), MAX_PATH)));
    while (!folder.empty() && (folder.back() == L'\0' || folder.back() == L'\\'))
        folder.pop_back();
    return List(L"\\\\?\\" + folder, L"", "") ? 0 : 1;
}
