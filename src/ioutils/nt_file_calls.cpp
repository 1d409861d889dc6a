#include "ioutils/nt_file_calls.h"

namespace ntfile {

namespace {

template <typename Call>
Call Find(HMODULE module, const char* name) {
    // Through void(*)() so that the compiler accepts the change of signature.
    return reinterpret_cast<Call>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

}  // namespace

Calls FindCalls() {
    Calls calls;
    // ntdll.dll is in every process of the NT family for its whole life.
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    if (ntdll == nullptr)
        return calls;
    calls.createFile = Find<CreateFileCall>(ntdll, "NtCreateFile");
    calls.queryDirectory = Find<QueryDirectoryCall>(ntdll, "NtQueryDirectoryFile");
    calls.queryInformation = Find<InformationCall>(ntdll, "NtQueryInformationFile");
    calls.setInformation = Find<InformationCall>(ntdll, "NtSetInformationFile");
    calls.queryObject = Find<QueryObjectCall>(ntdll, "NtQueryObject");
    if (!calls.present())
        calls = Calls();
    return calls;
}

}  // namespace ntfile
