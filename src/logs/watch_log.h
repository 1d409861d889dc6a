// The watch log, "nmwatchlog.txt": the product's components append one line
// per event to a log that something else created.
#pragma once

#include <string>

// Appends text and "\r\n" to folder\nmwatchlog.txt.  False when the folder is
// empty, the log does not exist (it is never created here), or the line
// could not be written whole.
bool AppendWatchLog(std::string text, std::string folder);
