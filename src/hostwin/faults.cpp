#include "faults.h"

#include "errors.h"

#include <map>
#include <mutex>
#include <string>

namespace hostwin::detail {
namespace {

struct Planned {
    DWORD error;
    int remaining;  // < 0: permanent
};

std::mutex g_mutex;
std::function<void(const char*)> g_callHook;  // under g_mutex; run outside it
std::map<std::string, Planned>& Plans() {
    static std::map<std::string, Planned> plans;
    return plans;
}

struct ShortWrite {
    DWORD limit = 0;
    int countdown = 0;  // WriteFile calls until the cut one; 0: none planned
};
ShortWrite g_shortWrite;

}  // namespace

bool TakeInjectedFailure(const char* api, DWORD* error) {
    std::function<void(const char*)> hook;
    {
        std::lock_guard lock(g_mutex);
        hook = g_callHook;
    }
    if (hook)
        hook(api);
    std::lock_guard lock(g_mutex);
    auto it = Plans().find(api);
    if (it == Plans().end())
        return false;
    *error = it->second.error;
    if (it->second.remaining > 0 && --it->second.remaining == 0)
        Plans().erase(it);
    return true;
}

bool FailIfInjected(const char* api) {
    DWORD error;
    if (!TakeInjectedFailure(api, &error))
        return false;
    SetLastError(error);
    return true;
}

void ArmFailure(const char* api, DWORD error, int times) {
    std::lock_guard lock(g_mutex);
    if (times == 0)
        Plans().erase(api);
    else
        Plans()[api] = Planned{error, times};
}

void ClearFailures() {
    std::lock_guard lock(g_mutex);
    Plans().clear();
    g_shortWrite = ShortWrite{};
}

bool TakeShortWrite(DWORD* limit) {
    std::lock_guard lock(g_mutex);
    if (g_shortWrite.countdown == 0 || --g_shortWrite.countdown > 0)
        return false;
    *limit = g_shortWrite.limit;
    return true;
}

void ArmShortWrite(DWORD limit, int nth) {
    std::lock_guard lock(g_mutex);
    g_shortWrite = ShortWrite{limit, nth > 0 ? nth : 0};
}

void SetApiCallHook(std::function<void(const char* api)> hook) {
    std::lock_guard lock(g_mutex);
    g_callHook = std::move(hook);
}

}  // namespace hostwin::detail
