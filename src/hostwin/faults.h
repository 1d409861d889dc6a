// hostwin internals: failures that a test arranges for a named API call.
#pragma once

#include <functional>

#include "base.h"

namespace hostwin::detail {

// True when the next call of `api` must fail; `*error` receives the code to
// report.  A planned failure is used up by the call that takes it unless it
// was armed as permanent.
bool TakeInjectedFailure(const char* api, DWORD* error);

// TakeInjectedFailure for the calls that report through GetLastError: sets
// the planned error as the last error and answers true.
bool FailIfInjected(const char* api);

void ArmFailure(const char* api, DWORD error, int times);  // times < 0: until cleared
// Every planned failure, the short write below included.
void ClearFailures();

// True when this WriteFile is the one a test cut short: it writes at most
// `*limit` bytes and still reports success.
bool TakeShortWrite(DWORD* limit);
void ArmShortWrite(DWORD limit, int nth);  // the nth WriteFile from now
// Machine::OnApiCall's hook, run by TakeInjectedFailure before it looks.
void SetApiCallHook(std::function<void(const char* api)> hook);

}  // namespace hostwin::detail
