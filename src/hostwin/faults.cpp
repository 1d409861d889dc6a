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
}

void SetApiCallHook(std::function<void(const char* api)> hook) {
    std::lock_guard lock(g_mutex);
    g_callHook = std::move(hook);
}

}  // namespace hostwin::detail
