#include "ioutils/extended_space_query.h"

namespace {

constexpr char kKernelDll[] = "Kernel32.dll";
constexpr char kFreeSpaceExport[] = "GetDiskFreeSpaceExA";
constexpr char kLoadFailedText[] = "Failed to load DLL Kernel32.dll.";
constexpr char kLoadFailedTitle[] = "DLL Error";

using GetDiskFreeSpaceExFn = BOOL(WINAPI*)(LPCSTR, PULARGE_INTEGER, PULARGE_INTEGER, PULARGE_INTEGER);

}  // namespace

ExtendedSpaceResult QueryExtendedSpace(const char* root, ExtendedSpace* space) {
    HMODULE kernel = LoadLibraryA(kKernelDll);
    if (kernel == nullptr) {
        MessageBoxA(nullptr, kLoadFailedText, kLoadFailedTitle, MB_OK | MB_ICONERROR);
        return ExtendedSpaceResult::kNoKernel;
    }
    ExtendedSpaceResult result;
    // Through void(*)() so that the compiler accepts the change of signature.
    const auto query = reinterpret_cast<GetDiskFreeSpaceExFn>(
        reinterpret_cast<void (*)()>(GetProcAddress(kernel, kFreeSpaceExport)));
    ULARGE_INTEGER freeToCaller{}, total{}, totalFree{};
    if (query == nullptr) {
        result = ExtendedSpaceResult::kNoExtendedCall;
    } else if (query(root, &freeToCaller, &total, &totalFree)) {
        space->freeToCaller = freeToCaller.QuadPart;
        space->total = total.QuadPart;
        result = ExtendedSpaceResult::kOk;
    } else {
        space->error = GetLastError();
        result = ExtendedSpaceResult::kCallFailed;
    }
    if (reinterpret_cast<UINT_PTR>(kernel) > 32)
        FreeLibrary(kernel);
    return result;
}
