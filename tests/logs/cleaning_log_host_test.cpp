// The cleaning log on a frozen clock: the record's text, its place at the
// top of the file, the cut of the older records, and the drive's record.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "hostwin/machine.h"
#include "settings/product_settings.h"
#include "support/settings_registry.h"
#include "support/stamps.h"

namespace {

using hostwin::Machine;
using nmtest::LocalTime;
using nmtest::PutSetting;
using nmtest::Stamp;

// Saturday 8 March 2003, 1:07:10 AM: the completion time.
const SYSTEMTIME kNow = LocalTime(2003, 3, 8, 6, 1, 7, 10);
const DateTimeStamp kStarted = Stamp(2003, 2, 7, 5, 1, 9, 5, 10);  // Friday 9:05:10 PM

std::string Record(char drive, const char* operation, const char* started, const char* elapsed) {
    return std::string("Drive: ") + drive + "\r\nOperation: " + operation +
           "\r\nDate and time operation was started: " + started +
           "\r\nDate and time operation was completed: 03/08/03 1:07 AM\r\nTotal elapsed time (HH:MM:SS): " + elapsed +
           "\r\n-------------------------------------------------\r\n";
}

class CleaningLogTest : public testing::Test {
protected:
    void SetUp() override {
        Machine::Reset();
        Machine::SetLocalTime(kNow);
        for (auto [letter, type] : {std::pair{'C', DRIVE_FIXED}, {'E', DRIVE_CDROM}, {'F', DRIVE_REMOTE}}) {
            Machine::DriveSetup d;
            d.letter = letter;
            d.type = type;
            folders_[letter] = Machine::AddDrive(d);
        }
        std::filesystem::create_directories(folders_['C'] + "/Program Files/Nullmark");
        PutSetting("UIL", nmtest::Bytes{'C', ':', '\\', 'P', 'r', 'o', 'g', 'r', 'a', 'm', ' ', 'F',  'i', 'l',
                                        'e', 's', '\\', 'N', 'u', 'l', 'l', 'm', 'a', 'r', 'k', '\\', 0},
                   REG_SZ);
        log_ = folders_['C'] + "/Program Files/Nullmark/NMCleaningLog.txt";
    }
    void TearDown() override {
        EXPECT_EQ(Machine::OpenFiles(), 0u);
        Machine::Reset();
    }
    static std::string Read(const std::string& hostPath) {
        std::ifstream in(hostPath, std::ios::binary);
        std::stringstream all;
        all << in.rdbuf();
        return all.str();
    }
    std::string Log() const { return Read(log_); }
    // Files in the log's folder other than the log itself.
    int FilesBesideTheLog() const {
        int n = 0;
        for (const auto& entry : std::filesystem::directory_iterator(folders_.at('C') + "/Program Files/Nullmark"))
            n += entry.path() != log_;
        return n;
    }
    void SetLog(const std::string& text) const { std::ofstream(log_, std::ios::binary) << text; }
    // The records waiting beside the log, in the order their names sort.
    std::vector<std::string> WaitingFiles() const {
        std::vector<std::string> files;
        for (const auto& entry : std::filesystem::directory_iterator(folders_.at('C') + "/Program Files/Nullmark"))
            if (entry.path().extension() == ".wait")
                files.push_back(entry.path().string());
        std::sort(files.begin(), files.end());
        return files;
    }

    std::map<char, std::string> folders_;
    std::string log_;
    ProductSettings s;
};

TEST_F(CleaningLogTest, FirstCleanCreatesTheLogWithOneRecordAndAddsTheDrive) {
    s.WriteDeepCleanLog('c', kStarted);
    EXPECT_EQ(Log(), Record('c', "Deep Clean", "03/07/03 9:05 PM", "04:02:00"));
    ASSERT_EQ(s.driveRecordCount, 1);
    EXPECT_EQ(s.driveRecords[0].drive, 'c') << "the letter as passed";
    EXPECT_EQ(s.driveRecords[0].deepCleanedAt, DateTimeStamp());
    EXPECT_EQ(s.driveRecords[0].quickCleanedAt, DateTimeStamp::Zero());
    EXPECT_EQ(s.driveRecords[0].driveSetting, 0);
}

TEST_F(CleaningLogTest, TheRecordShowsHoursMinutesAndSecondsOfTheElapsedTime) {
    struct Case {
        const char* name;
        DateTimeStamp started;
        const char* startedText;
        const char* elapsed;
    };
    const Case cases[] = {
        {"25 hours", Stamp(2003, 2, 7, 5, 0, 12, 7, 10), "03/07/03 12:07 AM", "01:00:00"},
        {"seconds borrowed", Stamp(2003, 2, 8, 6, 0, 12, 59, 59), "03/08/03 12:59 AM", "00:07:11"},
        {"a start that is no valid stamp", DateTimeStamp::Zero(), "None", "01:07:10"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(log_);
        s.WriteQuickCleanLog('C', c.started);
        EXPECT_EQ(Log(), Record('C', "Quick Clean", c.startedText, c.elapsed));
    }
}

// The new record goes on top of the first 29 lines of the old log; the file
// ends after them.
TEST_F(CleaningLogTest, OlderRecordsAreKeptUpToTheTwentyNinthLine) {
    const std::string fresh = Record('C', "Quick Clean", "03/07/03 9:05 PM", "04:02:00");
    for (int lines : {0, 1, 28, 29, 30, 240}) {
        SCOPED_TRACE(testing::Message() << lines << " lines");
        std::string old, kept;
        for (int i = 0; i < lines; ++i) {
            const std::string line = "old line " + std::to_string(i) + "\r\n";
            old += line;
            if (i < 29)
                kept += line;
        }
        old += lines > 0 ? "tail without a line end" : "";
        if (lines < 29)
            kept = old;
        SetLog(old);
        s.WriteQuickCleanLog('C', kStarted);
        EXPECT_EQ(Log(), fresh + kept);
    }
}

TEST_F(CleaningLogTest, OnlyTheFirst4096BytesOfTheOldLogCount) {
    const std::string longLine(1000, 'x');
    std::string old;
    for (int i = 0; i < 10; ++i) old += longLine + "\n";
    SetLog(old);
    s.WriteDeepCleanLog('C', kStarted);
    EXPECT_EQ(Log(), Record('C', "Deep Clean", "03/07/03 9:05 PM", "04:02:00") + old.substr(0, 4096));
}

TEST_F(CleaningLogTest, DrivesThatAreNotFixedAreLeftAlone) {
    for (char drive : {'E', 'F', 'Q'}) {
        SCOPED_TRACE(drive);
        s.WriteDeepCleanLog(drive, kStarted);
        s.WriteQuickCleanLog(drive, kStarted);
        EXPECT_FALSE(std::filesystem::exists(log_));
        EXPECT_EQ(s.driveRecordCount, 0);
    }
}

TEST_F(CleaningLogTest, ADeepCleanUpdatesOnlyItsStampAndTheFlagsOfTheStoredOptions) {
    const DateTimeStamp quick = Stamp(2003, 0, 2, 4, 0, 10, 0, 0);
    s.SetDriveSetting('C', 3);
    s.driveRecords[0].quickCleanedAt = quick;
    s.dcgOptions.UnpackOptions(0);
    PutSetting("DCG", {0, 0x80, 0, 0});  // entry 15 only: the stored options count
    s.WriteDeepCleanLog('c', kStarted);
    ASSERT_EQ(s.driveRecordCount, 1);
    const DriveCleanRecord& r = s.driveRecords[0];
    EXPECT_EQ(r.deepCleanedAt, DateTimeStamp());
    EXPECT_EQ(r.quickCleanedAt, quick);
    EXPECT_EQ(r.driveSetting, 3);
    EXPECT_EQ(r.deepFlag13, 0);
    EXPECT_EQ(r.deepFlag15, 1);

    s.WriteQuickCleanLog('C', kStarted);
    EXPECT_EQ(r.quickCleanedAt, DateTimeStamp());
    EXPECT_EQ(s.driveRecordCount, 1);
}

TEST_F(CleaningLogTest, AFullTableStillGetsTheLogButNoNewRecord) {
    for (int i = 0; i < ProductSettings::kMaxDriveRecords; ++i) s.SetDriveSetting(static_cast<char>('0' + i), 1);
    s.WriteDeepCleanLog('C', kStarted);  // 'C' is among them: updated
    s.WriteDeepCleanLog('c', kStarted);
    s.driveRecords[19].drive = 'X';  // 'C' gone: no room for it
    s.WriteQuickCleanLog('C', kStarted);
    EXPECT_EQ(s.driveRecordCount, 32);
    EXPECT_EQ(s.FindDriveRecord('C'), nullptr);
    EXPECT_EQ(Log().substr(0, 9), "Drive: C\r");
}

TEST_F(CleaningLogTest, WithoutAProgramLocationTheLogGoesToTheCurrentDrivesRoot) {
    Machine::ClearRegistry();
    Machine::SetCurrentDirectory("C:\\");
    s.WriteQuickCleanLog('C', kStarted);
    EXPECT_TRUE(std::filesystem::exists(folders_['C'] + "/NMCleaningLog.txt"));
}

// Neither the log nor any file beside it can be written: the log stays
// exactly as it was; the drive's record is still updated.
TEST_F(CleaningLogTest, ACleanThatCanWriteNothingLeavesTheOldLogWhole) {
    std::string old;
    for (int i = 0; i < 40; ++i) old += "old line " + std::to_string(i) + "\r\n";
    SetLog(old);
    Machine::FailNext("CreateFileA", ERROR_ACCESS_DENIED, -1);
    s.WriteQuickCleanLog('C', kStarted);
    Machine::ClearFailures();
    EXPECT_EQ(Log(), old);
    EXPECT_EQ(FilesBesideTheLog(), 0);
    EXPECT_EQ(s.FindDriveRecord('C')->quickCleanedAt, DateTimeStamp());
}

// A second writer comes while the first is between writing its new text and
// putting it in the log's place: it must wait for its turn, then build on
// the log that holds the first record.  The first writer is held there until
// the second has finished, or for 2 s if the second waits, as it must.
TEST_F(CleaningLogTest, AWriterThatComesDuringAnothersRewriteWaitsForItsTurn) {
    std::mutex lock;
    std::condition_variable changed;
    bool firstHeld = false, secondDone = false;
    const DWORD firstId = GetCurrentThreadId();
    Machine::OnApiCall([&](const char* api) {
        if (std::string(api) != "MoveFileExA" || GetCurrentThreadId() != firstId)
            return;
        std::unique_lock<std::mutex> guard(lock);
        firstHeld = true;
        changed.notify_all();
        changed.wait_for(guard, std::chrono::seconds(2), [&] { return secondDone; });
    });
    std::thread second([&] {
        {
            std::unique_lock<std::mutex> guard(lock);
            changed.wait_for(guard, std::chrono::seconds(10), [&] { return firstHeld; });
        }
        ProductSettings other;
        other.WriteDeepCleanLog('C', kStarted);
        std::lock_guard<std::mutex> guard(lock);
        secondDone = true;
        changed.notify_all();
    });
    s.WriteQuickCleanLog('C', kStarted);
    second.join();
    Machine::OnApiCall(nullptr);
    EXPECT_EQ(Log(), Record('C', "Deep Clean", "03/07/03 9:05 PM", "04:02:00") +
                         Record('C', "Quick Clean", "03/07/03 9:05 PM", "04:02:00"));
    EXPECT_EQ(FilesBesideTheLog(), 0);
}

// Each row's first clean meets the trouble; the second, after it has passed,
// must find every record: the log then holds both and the old text.
enum class LogAfter { kOld, kNew /* the record on the old text */, kGone, kAny };
enum class Kept { kNothing, kNewText /* beside the log */, kRecord /* waiting in a file of its own */ };
struct TroubleCase {
    const char* name;
    bool windows9x;
    DWORD holderShare;  // 0: nobody holds the log
    void (*plant)();
    LogAfter logAfter;
    Kept kept;
};

class CleaningLogTroubleTest : public CleaningLogTest {
protected:
    void Run(const TroubleCase& c) {
        SCOPED_TRACE(c.name);
        if (c.windows9x)
            Machine::SetWindows9x();
        else
            Machine::SetWindowsNT();
        Machine::UseVirtualSleep(true);  // the retries' waits move the clock: each clean sets it again
        Machine::SetLocalTime(kNow);
        std::filesystem::remove(log_ + ".new");
        const std::string old = "old line\r\n";
        const std::string record = Record('C', "Quick Clean", "03/07/03 9:05 PM", "04:02:00");
        SetLog(old);
        HANDLE holder = INVALID_HANDLE_VALUE;
        if (c.holderShare != 0) {
            holder = CreateFileA(kLogPath, GENERIC_READ, c.holderShare, nullptr, OPEN_EXISTING, 0, nullptr);
            ASSERT_NE(holder, INVALID_HANDLE_VALUE);
        }
        if (c.plant)
            c.plant();
        s.WriteQuickCleanLog('C', kStarted);
        Machine::ClearFailures();
        if (holder != INVALID_HANDLE_VALUE)
            CloseHandle(holder);

        switch (c.logAfter) {
            case LogAfter::kOld: EXPECT_EQ(Log(), old); break;
            case LogAfter::kNew: EXPECT_EQ(Log(), record + old); break;
            case LogAfter::kGone: EXPECT_FALSE(std::filesystem::exists(log_)); break;
            case LogAfter::kAny: break;
        }
        EXPECT_EQ(Read(log_ + ".new"), c.kept == Kept::kNewText ? record + old : "") << "the new text beside the log";
        const auto waiting = WaitingFiles();
        ASSERT_EQ(waiting.size(), c.kept == Kept::kRecord ? 1u : 0u);
        if (!waiting.empty()) {
            EXPECT_EQ(Read(waiting[0]), record);
        }

        Machine::SetLocalTime(kNow);
        s.WriteQuickCleanLog('C', kStarted);
        EXPECT_EQ(Log(), record + record + old) << "the next clean";
        EXPECT_EQ(FilesBesideTheLog(), 0);
    }
    static constexpr char kLogPath[] = "C:\\Program Files\\Nullmark\\NMCleaningLog.txt";
};

// A file beside the log left by a write that broke off (empty, or zeros).
void LeaveBrokenNewFile(DWORD size) {
    HANDLE h = CreateFileA("C:\\Program Files\\Nullmark\\NMCleaningLog.txt.new", GENERIC_WRITE, 0, nullptr,
                           CREATE_ALWAYS, 0, nullptr);
    const std::string zeros(size, '\0');
    DWORD done = 0;
    WriteFile(h, zeros.data(), size, &done, nullptr);
    CloseHandle(h);
}

// Windows 95/98/Me cannot rename over a file: the old log is removed first,
// and should the rename then fail, the new file keeps the whole text.  A log
// held by another program without delete sharing cannot be replaced: it is
// written in place when the holder lets us write and the disk has room,
// otherwise the new text waits beside it for the next clean.  (The portable
// test holds the log on the NT family.)  A new file that does not start with
// a record is the rest of a write that broke off and is passed over.
TEST_F(CleaningLogTroubleTest, NoTroubleLosesARecord) {
    constexpr DWORD kRead = FILE_SHARE_READ, kReadWrite = FILE_SHARE_READ | FILE_SHARE_WRITE;
    const TroubleCase cases[] = {
        {"9x, the log replaced", true, 0, nullptr, LogAfter::kNew, Kept::kNothing},
        {"9x, a rename that fails once is tried again", true, 0,
         [] { Machine::FailNext("MoveFileA", ERROR_ACCESS_DENIED); }, LogAfter::kNew, Kept::kNothing},
        {"9x, the old log removed, the rename failing", true, 0,
         [] { Machine::FailNext("MoveFileA", ERROR_ACCESS_DENIED, -1); }, LogAfter::kGone, Kept::kNewText},
        {"9x, holder shares writing", true, kReadWrite, nullptr, LogAfter::kNew, Kept::kNothing},
        {"9x, holder shares reading only", true, kRead, nullptr, LogAfter::kOld, Kept::kNewText},
        {"no room to write in place", false, kReadWrite,
         [] { Machine::FailNext("SetEndOfFile", 112 /* ERROR_DISK_FULL */); }, LogAfter::kOld, Kept::kNewText},
        {"the write in place reports success with fewer bytes", false, kReadWrite, [] { Machine::ShortenWrite(10, 2); },
         LogAfter::kAny, Kept::kNewText},
        {"a scanner lets go after two tries", false, 0,
         [] {
             Machine::FailNext("MoveFileExA", ERROR_SHARING_VIOLATION, 2);
             Machine::FailNext("SetEndOfFile", 112 /* ERROR_DISK_FULL */, -1);  // no way but the rename
         },
         LogAfter::kNew, Kept::kNothing},
        {"the disk is full", false, 0, [] { Machine::FailNext("WriteFile", 112 /* ERROR_DISK_FULL */); },
         LogAfter::kOld, Kept::kRecord},
        {"a write that reports success with fewer bytes", false, 0, [] { Machine::ShortenWrite(100); }, LogAfter::kOld,
         Kept::kRecord},
        {"no turn to be had", false, 0, [] { Machine::FailNext("CreateMutexA", ERROR_NOT_ENOUGH_MEMORY, -1); },
         LogAfter::kOld, Kept::kRecord},
        {"9x, no turn to be had", true, 0, [] { Machine::FailNext("CreateMutexA", ERROR_NOT_ENOUGH_MEMORY, -1); },
         LogAfter::kOld, Kept::kRecord},
        {"a log held without read sharing", false, FILE_SHARE_WRITE, nullptr, LogAfter::kOld, Kept::kRecord},
        {"an empty new file left beside the log", false, 0, [] { LeaveBrokenNewFile(0); }, LogAfter::kNew, Kept::kNothing},
        {"a new file of zeros left beside the log", false, 0, [] { LeaveBrokenNewFile(300); }, LogAfter::kNew, Kept::kNothing},
    };
    for (const TroubleCase& c : cases) Run(c);
}

TEST_F(CleaningLogTest, OnWindows9xTheFirstCleanCreatesTheLog) {
    Machine::SetWindows9x();
    s.WriteQuickCleanLog('C', kStarted);
    EXPECT_EQ(Log(), Record('C', "Quick Clean", "03/07/03 9:05 PM", "04:02:00"));
    EXPECT_EQ(FilesBesideTheLog(), 0);
}

// A new text kept beside a held log holds the only copy of its record: a
// later clean that cannot write keeps it as it was.
TEST_F(CleaningLogTroubleTest, AKeptNewTextSurvivesAFailedWrite) {
    Machine::UseVirtualSleep(true);
    SetLog("old line\r\n");
    HANDLE holder = CreateFileA(kLogPath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    s.WriteQuickCleanLog('C', kStarted);
    const std::string kept = Read(log_ + ".new");
    Machine::FailNext("WriteFile", 112 /* ERROR_DISK_FULL */);
    s.WriteQuickCleanLog('C', kStarted);
    CloseHandle(holder);
    EXPECT_EQ(Read(log_ + ".new"), kept);
}

// Records that could not get their turn wait beside the log; the next writer
// that gets one puts them below its own record, newest first.
TEST_F(CleaningLogTroubleTest, WaitingRecordsComeInBelowTheNextRecordNewestFirst) {
    const std::string old = "old line\r\n";
    SetLog(old);
    Machine::FailNext("CreateMutexA", ERROR_NOT_ENOUGH_MEMORY, 2);  // the machine-wide name, then the plain one
    s.WriteDeepCleanLog('C', kStarted);
    Machine::FailNext("CreateMutexA", ERROR_NOT_ENOUGH_MEMORY, 2);
    s.WriteQuickCleanLog('C', kStarted);
    EXPECT_EQ(Log(), old);
    EXPECT_EQ(WaitingFiles().size(), 2u);

    s.WriteQuickCleanLog('c', kStarted);
    EXPECT_EQ(Log(), Record('c', "Quick Clean", "03/07/03 9:05 PM", "04:02:00") +
                         Record('C', "Quick Clean", "03/07/03 9:05 PM", "04:02:00") +
                         Record('C', "Deep Clean", "03/07/03 9:05 PM", "04:02:00") + old);
    EXPECT_EQ(FilesBesideTheLog(), 0);
}


// A writer that found no turn is still writing its record (it holds the file
// alone) when the turn's holder looks beside the log; it finishes during that
// turn.  The record must wait for the next turn, not be deleted unread.
TEST_F(CleaningLogTroubleTest, ARecordStillBeingKeptWaitsForTheNextTurn) {
    const std::string old = "old line\r\n";
    const std::string kept = Record('D', "Deep Clean", "03/07/03 9:05 PM", "04:02:00");
    SetLog(old);
    HANDLE writer = CreateFileA("C:\\Program Files\\Nullmark\\NMCleaningLog.txt.01C2E4A1B2C3D4E5-00.wait",
                                GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    DWORD done = 0;
    ASSERT_TRUE(WriteFile(writer, kept.data(), static_cast<DWORD>(kept.size()), &done, nullptr));
    Machine::OnApiCall([&](const char* api) {
        if (writer != INVALID_HANDLE_VALUE && std::string(api) == "MoveFileExA") {
            CloseHandle(writer);
            writer = INVALID_HANDLE_VALUE;
        }
    });
    s.WriteQuickCleanLog('C', kStarted);
    Machine::OnApiCall(nullptr);
    ASSERT_EQ(writer, INVALID_HANDLE_VALUE);
    const std::string record = Record('C', "Quick Clean", "03/07/03 9:05 PM", "04:02:00");
    EXPECT_EQ(Log(), record + old);
    ASSERT_EQ(WaitingFiles().size(), 1u);

    s.WriteQuickCleanLog('C', kStarted);
    EXPECT_EQ(Log(), record + kept + record + old);
    EXPECT_EQ(FilesBesideTheLog(), 0);
}

// Files beside the log that match the waiting records' search but are no
// whole record of ours: none of their text reaches the log.  Broken ones of
// our naming are removed; names that are not ours are left as they are.
TEST_F(CleaningLogTroubleTest, OnlyWholeWaitingRecordsOfOurNamingAreTakenIn) {
    const std::string record = Record('C', "Quick Clean", "03/07/03 9:05 PM", "04:02:00");
    const std::string other = Record('D', "Deep Clean", "03/07/03 9:05 PM", "04:02:00");
    struct Row {
        const char* name;
        std::string text;
        bool left;
    };
    const Row rows[] = {
        {"a record longer than any", "Drive: D\r\n" + std::string(5000, 'x') + "\r\n", false},
        {"a record cut inside a line", other.substr(0, 40), false},
        {"a record cut before its last line end", other.substr(0, other.size() - 1), false},
        {"text that is no record", "hello\r\n", false},
        {"a name in lower case", other, true},
        {"a name of another shape", other, true},
    };
    const char* names[] = {".01C2E4A1B2C3D4E5-00.wait", ".01C2E4A1B2C3D4E5-01.wait", ".01C2E4A1B2C3D4E5-02.wait",
                           ".01C2E4A1B2C3D4E5-03.wait", ".01c2e4a1b2c3d4e5-00.wait", ".zz.wait"};
    for (size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(rows[i].name);
        const std::string path = log_ + names[i];
        SetLog("old line\r\n");
        std::ofstream(path, std::ios::binary) << rows[i].text;
        s.WriteQuickCleanLog('C', kStarted);
        EXPECT_EQ(Log(), record + "old line\r\n");
        EXPECT_EQ(std::filesystem::exists(path), rows[i].left);
        std::filesystem::remove(path);
    }
}

}  // namespace
