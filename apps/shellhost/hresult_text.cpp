#include "shellhost/hresult_text.h"

#include <cstdio>

std::string HresultText(HRESULT hr) {
    struct Name {
        HRESULT value;
        const char* text;
    };
    static const Name kNames[] = {
        {S_OK, "S_OK"},
        {S_FALSE, "S_FALSE"},
        {E_NOTIMPL, "E_NOTIMPL"},
        {E_NOINTERFACE, "E_NOINTERFACE"},
        {E_POINTER, "E_POINTER"},
        {E_ABORT, "E_ABORT"},
        {E_FAIL, "E_FAIL"},
        {E_UNEXPECTED, "E_UNEXPECTED"},
        {E_ACCESSDENIED, "E_ACCESSDENIED"},
        {E_HANDLE, "E_HANDLE"},
        {E_OUTOFMEMORY, "E_OUTOFMEMORY"},
        {E_INVALIDARG, "E_INVALIDARG"},
        {CLASS_E_NOAGGREGATION, "CLASS_E_NOAGGREGATION"},
        {CLASS_E_CLASSNOTAVAILABLE, "CLASS_E_CLASSNOTAVAILABLE"},
        {DV_E_FORMATETC, "DV_E_FORMATETC"},
        {REGDB_E_CLASSNOTREG, "REGDB_E_CLASSNOTREG"},
    };
    for (const Name& n : kNames)
        if (n.value == hr)
            return n.text;
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(static_cast<ULONG>(hr)));
    if (SUCCEEDED(hr) && hr <= 0xFFFF)  // a success that carries a count
        std::snprintf(text, sizeof text, "S(%ld)", static_cast<long>(hr));
    return text;
}
