#include "ioutils/removal_records.h"

#include <vector>

#include "logs/action_log.h"

namespace removal {

void LogFailure(const std::string& shownPath, const char* problem) {
    const std::vector<std::string> details{shownPath};
    g_ActionLog.AddEntry(shownPath.substr(0, 1).c_str(), kAction, problem, &details);
}

void LogRootRefused(const std::string& given) { g_ActionLog.AddEntry(given.c_str(), kAction, kRootRefused); }

}  // namespace removal
