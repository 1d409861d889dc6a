#include "errors.h"

namespace {
// Each thread has its own last-error value, as on Windows.
thread_local DWORD t_lastError = 0;
}  // namespace

DWORD WINAPI GetLastError() { return t_lastError; }
void WINAPI SetLastError(DWORD code) { t_lastError = code; }
