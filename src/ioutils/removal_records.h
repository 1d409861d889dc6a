// What a removal writes into the action log: one record for each file or
// folder that stays, naming it as a person reads it.
#pragma once

#include <string>

#include "platform/win32.h"

namespace removal {

constexpr char kAction[] = "Cleaning the contents of a directory";
constexpr char kRootRefused[] = "Cleaning the root directory of a drive is not allowed!";
constexpr char kFileProblem[] = "Unable to remove the following file (it may be in use):";
constexpr char kFolderProblem[] = "Unable to remove the following subdirectory (it may not be empty):";
// The file every folder may keep: its look in the shell.
constexpr char kKeptFile[] = "desktop.ini";

// How often, and how long apart, a file held by another program is tried
// again before the last resort.
constexpr int kRetries = 2;
constexpr DWORD kRetryWaitMs = 1000;

void LogFailure(const std::string& shownPath, const char* problem);
void LogRootRefused(const std::string& given);

}  // namespace removal
