// ActionLog: "NMActionLog.txt" in the current directory, where the drive and
// file routines record what failed.  The first record of a process starts the
// file anew under a header; later records are appended.
#pragma once

#include <string>
#include <vector>

#include "platform/win32.h"

class ActionLog {
public:
    static constexpr char kFileName[] = "NMActionLog.txt";

    ActionLog() = default;
    ActionLog(const ActionLog&) = delete;
    ActionLog& operator=(const ActionLog&) = delete;

    // One record: separator, "Drive: ", "Action: ", "Problem: " lines, then,
    // when there are any, an empty line and the detail lines.  A record that
    // cannot be written is dropped without a word.
    void AddEntry(const char* drive, const char* action, const char* problem,
                  const std::vector<std::string>* details = nullptr);
    void WriteToFile(const char* record);
    // False once a record of this process reached the file.
    bool HeaderPending() const { return m_bHeaderPending; }

    // The header and record texts, as written.
    static std::string FormatRecord(const char* drive, const char* action, const char* problem,
                                    const std::vector<std::string>* details);
    static std::string FormatHeader();

private:
    HANDLE m_hFile = INVALID_HANDLE_VALUE;  // open only while a record is written
    // True until a record reaches the file: until then every record tries to
    // start the file anew with its header.  The process has one ActionLog
    // (g_ActionLog), so this is the process's flag.
    bool m_bHeaderPending = true;
};

// The process's action log.
extern ActionLog g_ActionLog;
