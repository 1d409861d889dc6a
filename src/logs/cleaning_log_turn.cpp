// Turns among the cleaning log's writers, and the records that wait for one.
#include "logs/cleaning_log_turn.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <functional>

#include "ioutils/file_handle.h"
#include "ioutils/find_handle.h"

namespace {

// Machine-wide where the system has session namespaces: the service and a
// user's components write the same log.  Systems without them may refuse
// the prefix; there the plain name is the whole machine's.
constexpr char kWritersMutex[] = "Global\\NMCleaningLog.txt";
constexpr char kWritersMutexPlain[] = "NMCleaningLog.txt";

// "NMCleaningLog.txt.<UTC time, 16 hex digits>-<nn>.wait": names that sort
// by the time their record was kept.
constexpr char kWaitingSuffix[] = ".wait";
constexpr int kWaitingNamesPerMoment = 100;
constexpr char kRecordStart[] = "Drive: ";
constexpr char kRecordEnd[] = "-------------------------------------------------\r\n";
constexpr DWORD kLargestRecord = 1024;

// Open to every account, as the log's writers may run under several (the
// service's, a user's).  Windows 95 has no security descriptors: there the
// defaults serve.
HANDLE OpenWritersMutex() {
    SECURITY_DESCRIPTOR descriptor;
    SECURITY_ATTRIBUTES security{};
    security.nLength = sizeof security;
    security.lpSecurityDescriptor = &descriptor;
    const bool open = InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) &&
                      SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE);
    SECURITY_ATTRIBUTES* attributes = open ? &security : nullptr;
    HANDLE mutex = CreateMutexA(attributes, FALSE, kWritersMutex);
    if (mutex == nullptr)
        mutex = CreateMutexA(attributes, FALSE, kWritersMutexPlain);
    return mutex;
}

std::string FolderOf(const std::string& path) {
    const size_t slash = path.find_last_of('\\');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// The name of a file KeepRecordWaiting made: the log's name, a dot, 16 hex
// digits, a dash, 2 digits, ".wait".  Anything else that matches the search
// is not ours, and its order among ours would be whatever its name says.
bool IsWaitingName(const std::string& name, const std::string& logName) {
    constexpr size_t kStamp = 1 + 16 + 1 + 2;
    constexpr size_t kSuffix = sizeof kWaitingSuffix - 1;
    if (name.size() != logName.size() + kStamp + kSuffix || name.compare(0, logName.size(), logName) != 0 ||
        name.compare(name.size() - kSuffix, kSuffix, kWaitingSuffix) != 0)
        return false;
    const char* stamp = name.c_str() + logName.size();
    if (stamp[0] != '.' || stamp[17] != '-')
        return false;
    for (int i = 1; i <= 16; ++i)  // as "%08lX%08lX" writes them
        if (!std::isdigit(static_cast<unsigned char>(stamp[i])) && (stamp[i] < 'A' || stamp[i] > 'F'))
            return false;
    return std::isdigit(static_cast<unsigned char>(stamp[18])) && std::isdigit(static_cast<unsigned char>(stamp[19]));
}

enum class Waiting { kRecord, kBroken, kBusy };

// A waiting file holds one whole record, or it is the rest of a write that
// broke off.  One that cannot be opened is still being written (its writer
// holds it alone until the record is whole) and is left for a later turn.
Waiting ReadRecord(const std::string& path, std::string* record) {
    FileHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid())
        return Waiting::kBusy;
    char bytes[kLargestRecord + 1];
    DWORD read = 0;
    if (!ReadFile(file.get(), bytes, sizeof bytes, &read, nullptr))
        return Waiting::kBusy;
    record->assign(bytes, read);
    // Longer than any record, or cut inside one: taken in, it would break
    // a line of the log.
    constexpr size_t kEnd = sizeof kRecordEnd - 1;
    const bool whole = read <= kLargestRecord && record->rfind(kRecordStart, 0) == 0 && record->size() > kEnd &&
                       record->compare(record->size() - kEnd, kEnd, kRecordEnd) == 0;
    return whole ? Waiting::kRecord : Waiting::kBroken;
}

}  // namespace

CleaningLogTurn::CleaningLogTurn() : mutex_(OpenWritersMutex()) {
    if (mutex_ == nullptr)
        return;
    // A writer that died during its turn leaves the mutex abandoned; every
    // write is whole or absent, so there is nothing to repair.
    const DWORD result = WaitForSingleObject(mutex_, kTurnWaitMs);
    held_ = result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
}

CleaningLogTurn::~CleaningLogTurn() {
    if (held_)
        ReleaseMutex(mutex_);
    if (mutex_ != nullptr)
        CloseHandle(mutex_);
}

WaitingRecords FindWaitingRecords(const std::string& logPath) {
    WaitingRecords waiting;
    const std::string folder = FolderOf(logPath);
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    FindHandle search(FindFirstFileA((logPath + ".*" + kWaitingSuffix).c_str(), &found));
    for (bool more = search.valid(); more; more = FindNextFileA(search.get(), &found))
        names.push_back(found.cFileName);
    std::sort(names.begin(), names.end(), std::greater<>());  // newest first
    const std::string logName = logPath.substr(folder.size());
    for (const auto& name : names) {
        if (!IsWaitingName(name, logName))
            continue;
        std::string record;
        const Waiting kind = ReadRecord(folder + name, &record);
        if (kind == Waiting::kBusy)
            continue;
        // A broken one: nothing to take in, and nothing to keep.
        if (kind == Waiting::kRecord)
            waiting.text += record;
        waiting.files.push_back(folder + name);
    }
    return waiting;
}

void DeleteWaitingRecords(const WaitingRecords& waiting) {
    for (const auto& file : waiting.files)
        DeleteFileA(file.c_str());
}

void KeepRecordWaiting(const std::string& logPath, const std::string& record) {
    SYSTEMTIME now;
    GetSystemTime(&now);
    FILETIME stamp{};
    SystemTimeToFileTime(&now, &stamp);
    for (int n = 0; n < kWaitingNamesPerMoment; ++n) {
        char name[40];
        std::snprintf(name, sizeof name, ".%08lX%08lX-%02d%s", static_cast<unsigned long>(stamp.dwHighDateTime),
                      static_cast<unsigned long>(stamp.dwLowDateTime), n, kWaitingSuffix);
        const std::string path = logPath + name;
        FileHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.valid()) {
            if (GetLastError() == ERROR_FILE_EXISTS)
                continue;  // another writer's, kept at the same moment
            return;
        }
        DWORD done = 0;
        const bool whole = WriteFile(file.get(), record.data(), static_cast<DWORD>(record.size()), &done, nullptr) &&
                           done == record.size() && FlushFileBuffers(file.get());
        file.reset();
        if (!whole)
            DeleteFileA(path.c_str());
        return;
    }
}
