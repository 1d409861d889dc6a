// The cleaning log: when a deep or quick clean of a fixed drive has finished,
// a six-line record goes to the top of "NMCleaningLog.txt" in the
// installation directory, and the drive's settings record takes the
// completion time.  Older records survive up to the 29th line end within the
// file's first 4096 bytes.  A rewrite that fails leaves the old log whole,
// and a rewrite that cannot take the log's place is kept, never dropped.
// Writers in every process take turns (cleaning_log_turn.h).
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "ioutils/file_handle.h"
#include "logs/cleaning_log_turn.h"
#include "settings/product_settings.h"
#include "settings/shell_folders.h"

namespace {

constexpr char kLogName[] = "NMCleaningLog.txt";
constexpr char kRecordFormat[] =
    "Drive: %c\r\nOperation: %s\r\nDate and time operation was started: %s\r\n"
    "Date and time operation was completed: %s\r\nTotal elapsed time (HH:MM:SS): %02d:%02d:%02d\r\n"
    "-------------------------------------------------\r\n";
constexpr char kRecordStart[] = "Drive: ";
constexpr char kDeepClean[] = "Deep Clean";
constexpr char kQuickClean[] = "Quick Clean";
constexpr DWORD kKeptBytes = 4096;
constexpr int kKeptLines = 29;
// The rewritten log, beside the old one until it is whole; it stays there
// when it cannot take the log's place, and the next write starts from it.
constexpr char kNewSuffix[] = ".new";
// Enough for a rewritten log: a record and the kept bytes of the old one.
constexpr DWORD kMaxTextBytes = 2 * kKeptBytes;
// A scanner or an indexer that opened the log lets go within moments.
constexpr int kReplaceAttempts = 5;
constexpr DWORD kReplaceRetryMs = 100;

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

// The start of a file (empty when there is no such file); false when it
// exists but cannot be read.
bool ReadStart(const std::string& path, std::string* text) {
    text->clear();
    FileHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid())
        return GetLastError() == ERROR_FILE_NOT_FOUND;
    std::vector<char> bytes(kMaxTextBytes);
    DWORD read = 0;
    if (!ReadFile(file.get(), bytes.data(), kMaxTextBytes, &read, nullptr))
        return false;
    text->assign(bytes.data(), read);
    return true;
}

// The old log's first lines, as many as are kept.
std::string KeptLines(const std::string& old) {
    const size_t end = std::min<size_t>(old.size(), kKeptBytes);
    size_t at = 0;
    for (int lines = 0; at < end && lines < kKeptLines; ++at)
        if (old[at] == '\n')
            ++lines;
    return old.substr(0, at);
}

// The whole text into a new file; false (and no file) if any of it fails.
// A write that reports success with fewer bytes (a network redirector can)
// is a failure too.
bool WriteWhole(const std::string& path, const std::string& text) {
    bool ok;
    {
        FileHandle file(
            CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.valid())
            return false;
        DWORD done = 0;
        ok = WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &done, nullptr) &&
             done == text.size() && FlushFileBuffers(file.get());
    }
    if (!ok)
        DeleteFileA(path.c_str());
    return ok;
}

// One try at giving the new file the log's name.
bool PutInPlace(const std::string& fresh, const std::string& path) {
    if (MoveFileExA(fresh.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING))
        return true;
    if (GetLastError() != ERROR_CALL_NOT_IMPLEMENTED)
        return false;
    // Windows 95/98/Me have no replacing rename: the old log goes first (if
    // there is one).  Should the rename then fail, the complete text is still
    // in the new file.
    if (!DeleteFileA(path.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND)
        return false;
    return MoveFileA(fresh.c_str(), path.c_str()) != FALSE;
}

bool HeldByAnother(DWORD error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED || error == ERROR_LOCK_VIOLATION;
}

// The text written over the log itself, for a log that another program
// holds open without delete sharing but lets us write.  The file is first
// made long enough for the whole text, so that a full disk changes nothing.
bool RewriteInPlace(const std::string& path, const std::string& text) {
    FileHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid())
        return false;
    const DWORD size = static_cast<DWORD>(text.size());
    const DWORD oldSize = GetFileSize(file.get(), nullptr);
    if (oldSize == INVALID_FILE_SIZE)
        return false;
    if (size > oldSize &&
        (SetFilePointer(file.get(), static_cast<LONG>(size), nullptr, FILE_BEGIN) != size || !SetEndOfFile(file.get())))
        return false;
    if (SetFilePointer(file.get(), 0, nullptr, FILE_BEGIN) != 0)
        return false;
    DWORD done = 0;
    return WriteFile(file.get(), text.data(), size, &done, nullptr) && done == size && SetEndOfFile(file.get()) &&
           FlushFileBuffers(file.get());
}

// The text in the log's place: the whole file beside it first, then the
// replacing rename; a log held by another program is waited for briefly,
// then written in place; failing that the new file stays and the next write
// starts from it (docs: the held cleaning log).  False when not even the new
// file could be written.
bool PutText(const std::string& path, const std::string& fresh, const std::string& text) {
    if (!WriteWhole(fresh, text))
        return false;
    for (int attempt = 1;; ++attempt) {
        if (PutInPlace(fresh, path))
            return true;
        if (!HeldByAnother(GetLastError()) || attempt == kReplaceAttempts)
            break;
        Sleep(kReplaceRetryMs);
    }
    if (RewriteInPlace(path, text))
        DeleteFileA(fresh.c_str());
    return true;
}

// The new record, then the records that waited for a turn, then the first
// lines of the newest text of the log.  A record that cannot get its turn,
// or cannot be written, waits beside the log for the next writer.
void WriteAtTop(const std::string& path, const std::string& record) {
    const CleaningLogTurn turn;
    if (!turn.held()) {
        KeepRecordWaiting(path, record);
        return;
    }
    const WaitingRecords waiting = FindWaitingRecords(path);
    const std::string fresh = path + kNewSuffix;
    // A new file that could not take the log's place is newer than the log;
    // one that does not start with a record is the rest of a broken write.
    std::string pending, old;
    const bool fromPending = ReadStart(fresh, &pending) && pending.rfind(kRecordStart, 0) == 0;
    if (!fromPending && !ReadStart(path, &old)) {
        KeepRecordWaiting(path, record);  // a log that cannot be read is not written over
        return;
    }
    if (PutText(path, fresh, record + waiting.text + KeptLines(fromPending ? pending : old))) {
        DeleteWaitingRecords(waiting);
        return;
    }
    if (fromPending)
        WriteWhole(fresh, pending);  // its records are in no other file
    KeepRecordWaiting(path, record);
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
