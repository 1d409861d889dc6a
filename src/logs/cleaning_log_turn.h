// The cleaning log's writers take turns, in whatever process they run (the
// cleaning components, a second copy of one, the service): one named mutex,
// which every Windows version has.  A writer that cannot get its turn in time
// leaves its record waiting beside the log, and the next writer that gets a
// turn takes every waiting record in (docs: the cleaning log's writers).
#pragma once

#include <string>
#include <vector>

#include "platform/win32.h"

class CleaningLogTurn {
public:
    CleaningLogTurn();  // waits for the turn, kTurnWaitMs at most
    ~CleaningLogTurn();
    CleaningLogTurn(const CleaningLogTurn&) = delete;
    CleaningLogTurn& operator=(const CleaningLogTurn&) = delete;

    bool held() const { return held_; }

    static constexpr DWORD kTurnWaitMs = 10000;

private:
    HANDLE mutex_ = nullptr;
    bool held_ = false;
};

// The records waiting beside the log at `logPath`, newest first, and the
// files that hold them.
struct WaitingRecords {
    std::string text;
    std::vector<std::string> files;
};
WaitingRecords FindWaitingRecords(const std::string& logPath);
// Once their records are in the log (or in the text that waits for it).
void DeleteWaitingRecords(const WaitingRecords& waiting);
// A record that could not reach the log, in a file of its own beside it.
void KeepRecordWaiting(const std::string& logPath, const std::string& record);
