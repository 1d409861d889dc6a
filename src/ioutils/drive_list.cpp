#include "ioutils/drive_list.h"

#include <cctype>
#include <cstdio>

namespace {

constexpr char kNoDrivesText[] = "Unable to detect logical drives!";
constexpr char kNoDrivesTitle[] = "Greyfell - System Error";
constexpr char kSystemErrorTitle[] = "System Error";
constexpr UINT kQuietErrorMode = SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX;
constexpr DWORD kRootsLength = 150;
constexpr DWORD kLabelLength = 300;
constexpr size_t kRootStep = 4;  // "X:\" and its terminator

// Sets the quiet error mode for its lifetime, so that an empty drive
// answers the caller instead of asking the user for a disk.
class QuietErrorMode {
public:
    QuietErrorMode() : previous_(SetErrorMode(kQuietErrorMode)) {}
    ~QuietErrorMode() { SetErrorMode(previous_); }
    QuietErrorMode(const QuietErrorMode&) = delete;
    QuietErrorMode& operator=(const QuietErrorMode&) = delete;

private:
    UINT previous_;
};

char UpperLetter(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }

int KindOf(char letter, UINT type) {
    if (type == DRIVE_REMOVABLE)
        return UpperLetter(letter) == 'A' ? kDriveFloppyA : kDriveRemovable;
    return type == DRIVE_REMOTE ? kDriveNetwork : kDriveFixed;
}

}  // namespace

void ListDrives(std::vector<std::string>& texts, int* kinds) {
    char roots[kRootsLength] = {};
    if (GetLogicalDriveStringsA(kRootsLength, roots) == 0) {
        MessageBoxA(nullptr, kNoDrivesText, kNoDrivesTitle, MB_ICONERROR);
        return;
    }
    QuietErrorMode quiet;
    size_t listed = 0;
    for (size_t at = 0; at + kRootStep <= kRootsLength && roots[at] != '\0'; at += kRootStep) {
        const char* root = roots + at;
        const UINT type = GetDriveTypeA(root);
        if (type != DRIVE_REMOVABLE && type != DRIVE_FIXED && type != DRIVE_REMOTE)
            continue;
        char label[kLabelLength] = {};
        if (type != DRIVE_REMOVABLE)
            GetVolumeInformationA(root, label, kLabelLength, nullptr, nullptr, nullptr, nullptr, 0);
        kinds[listed++] = KindOf(root[0], type);
        char text[kLabelLength] = {};
        if (label[0] != '\0')
            std::snprintf(text, sizeof text, "%c:  %s", UpperLetter(root[0]), label);
        else
            std::snprintf(text, sizeof text, "%c:", UpperLetter(root[0]));
        texts.emplace_back(text);
    }
}

bool IsDriveReady(char letter) {
    char root[8] = {};
    std::snprintf(root, sizeof root, "%c:\\", letter);
    QuietErrorMode quiet;
    if (GetDriveTypeA(root) != DRIVE_REMOVABLE)
        return true;
    // A failure to read the medium is reported by the result; this code
    // raises no structured exceptions to catch.
    return GetVolumeInformationA(root, nullptr, 0, nullptr, nullptr, nullptr, nullptr, 0) != FALSE;
}

int FormatByteSize(char* buffer, LONGLONG count) {
    const double kb = static_cast<double>(count) / 1024.0;
    const double mb = static_cast<double>(count) / 1048576.0;
    const double gb = static_cast<double>(count) / 1073741824.0;
    if (kb < 1) {
        if (count == 0)
            return std::snprintf(buffer, kByteSizeTextSize, "None");
        // Below one KB only the low 32 bits are printed, as a signed number.
        return std::snprintf(buffer, kByteSizeTextSize, "%d Bytes", static_cast<int>(static_cast<DWORD>(count)));
    }
    if (mb < 1)
        return std::snprintf(buffer, kByteSizeTextSize, "%2.2f KB", kb);
    if (gb < 1)
        return std::snprintf(buffer, kByteSizeTextSize, "%2.2f MB", mb);
    return std::snprintf(buffer, kByteSizeTextSize, "%2.2f GB", gb);
}

void ShowSystemError(DWORD error) {
    if (error == 0xFFFFFFFF)
        error = GetLastError();
    char* text = nullptr;
    FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, nullptr, error, LANG_USER_DEFAULT,
                   reinterpret_cast<LPSTR>(&text), 0, nullptr);
    // A number the system has no text for still gets its box, empty.
    MessageBoxA(nullptr, text != nullptr ? text : "", kSystemErrorTitle, MB_ICONERROR);
    LocalFree(text);
}
