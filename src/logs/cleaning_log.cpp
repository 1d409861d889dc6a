// The cleaning log: when a deep or quick clean of a fixed drive has finished,
// a six-line record goes to the top of "NMCleaningLog.txt" in the
// installation directory, and the drive's settings record takes the
// completion time.  Older records survive up to the 29th line end within the
// file's first 4096 bytes.  A rewrite that fails leaves the old log whole.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "settings/product_settings.h"
#include "settings/shell_folders.h"

namespace {

constexpr char kLogName[] = "NMCleaningLog.txt";
constexpr char kRecordFormat[] =
    "Drive: %c\r\nOperation: %s\r\nDate and time operation was started: %s\r\n"
    "Date and time operation was completed: %s\r\nTotal elapsed time (HH:MM:SS): %02d:%02d:%02d\r\n"
    "-------------------------------------------------\r\n";
constexpr char kDeepClean[] = "Deep Clean";
constexpr char kQuickClean[] = "Quick Clean";
constexpr DWORD kKeptBytes = 4096;
constexpr int kKeptLines = 29;
constexpr char kNewSuffix[] = ".new";  // the rewritten log, beside the old one until it is whole

class FileHandle {
public:
    explicit FileHandle(HANDLE h) : h_(h) {}
    ~FileHandle() {
        if (ok())
            CloseHandle(h_);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    bool ok() const { return h_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return h_; }

private:
    HANDLE h_;
};

std::string FormatRecord(char drive, const char* operation, const DateTimeStamp& started, const DateTimeStamp& now) {
    const DateTimeStamp elapsed = now.Elapsed(started);
    const std::string startedText = started.ShortText();
    const std::string completedText = now.ShortText();
    // Both date texts are at most 17 characters ("None" or "12/31/99 12:59 PM").
    char record[sizeof kRecordFormat + 64];
    const int n = std::snprintf(record, sizeof record, kRecordFormat, drive, operation, startedText.c_str(),
                                completedText.c_str(), elapsed.hour, elapsed.minute, elapsed.second);
    return std::string(record, n > 0 ? std::min(static_cast<size_t>(n), sizeof record - 1) : 0);
}

std::string LogPath() {
    const std::string location = GetProgramLocation();
    // An empty location gives "\NMCleaningLog.txt", the root of the current drive.
    return location + (location.empty() || location.back() != '\\' ? "\\" : "") + kLogName;
}

bool IsFixedDrive(char drive) {
    const char root[] = {drive, ':', '\\', '\0'};
    return GetDriveTypeA(root) == DRIVE_FIXED;
}

// The old log's first lines, as many as are kept; false when there is a log
// that cannot be read (so that nothing is written over it).
bool ReadKeptLines(const std::string& path, std::string* kept) {
    FileHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.ok())
        return GetLastError() == ERROR_FILE_NOT_FOUND;
    std::vector<char> old(kKeptBytes);
    DWORD read = 0;
    if (!ReadFile(file.get(), old.data(), kKeptBytes, &read, nullptr))
        return false;
    int lines = 0;
    for (DWORD i = 0; i < read && lines < kKeptLines; ++i) {
        *kept += old[i];
        if (old[i] == '\n')
            ++lines;
    }
    return true;
}

// The whole text into a new file; false (and no file) if any of it fails.
bool WriteWhole(const std::string& path, const std::string& text) {
    bool ok;
    {
        FileHandle file(
            CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.ok())
            return false;
        DWORD done = 0;
        ok = WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &done, nullptr) &&
             done == text.size() && FlushFileBuffers(file.get());
    }
    if (!ok)
        DeleteFileA(path.c_str());
    return ok;
}

// The new record, then the old log's first lines.  The text is written
// whole beside the log and only then takes the log's place, so that a full
// disk or a crash leaves the old log as it was.
void WriteAtTop(const std::string& path, std::string text) {
    if (!ReadKeptLines(path, &text))
        return;
    const std::string fresh = path + kNewSuffix;
    if (!WriteWhole(fresh, text))
        return;
    if (MoveFileExA(fresh.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING))
        return;
    // Windows 95/98/Me have no replacing rename: the old log goes first.
    // Should the rename then fail, the complete text stays in the new file.
    if (GetLastError() == ERROR_CALL_NOT_IMPLEMENTED && DeleteFileA(path.c_str()) &&
        MoveFileA(fresh.c_str(), path.c_str()))
        return;
    if (GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES)
        DeleteFileA(fresh.c_str());
}

}  // namespace

void ProductSettings::WriteDeepCleanLog(char drive, const DateTimeStamp& started) {
    const DateTimeStamp now;
    const std::string record = FormatRecord(drive, kDeepClean, started, now);
    if (!IsFixedDrive(drive))
        return;
    WriteAtTop(LogPath(), record);

    LoadSetting(SettingId::DCG);
    DriveCleanRecord* r = FindDriveRecord(drive);
    if (r == nullptr)
        r = AppendDriveRecord(drive);  // a full table keeps its records: the log alone has this clean
    if (r == nullptr)
        return;
    r->deepCleanedAt = now;
    r->deepFlag13 = dcgOptions.IsSet(13) ? 1 : 0;
    r->deepFlag15 = dcgOptions.IsSet(15) ? 1 : 0;
}

void ProductSettings::WriteQuickCleanLog(char drive, const DateTimeStamp& started) {
    const DateTimeStamp now;
    const std::string record = FormatRecord(drive, kQuickClean, started, now);
    if (!IsFixedDrive(drive))
        return;
    WriteAtTop(LogPath(), record);

    DriveCleanRecord* r = FindDriveRecord(drive);
    if (r == nullptr)
        r = AppendDriveRecord(drive);
    if (r != nullptr)
        r->quickCleanedAt = now;
}
