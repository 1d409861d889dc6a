#include "shellhost/drop_data_object.h"

#include <cstring>
#include <new>

DropDataObject* DropDataObject::Create(const std::vector<std::string>& paths) {
    return new (std::nothrow) DropDataObject(paths);
}

HRESULT DropDataObject::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr)
        return E_POINTER;
    *ppv = nullptr;
    if (riid != IID_IUnknown && riid != IID_IDataObject)
        return E_NOINTERFACE;
    *ppv = static_cast<IDataObject*>(this);
    AddRef();
    return S_OK;
}

ULONG DropDataObject::AddRef() { return ++refCount_; }

ULONG DropDataObject::Release() {
    if (--refCount_ == 0) {
        delete this;
        return 0;
    }
    return refCount_;
}

HGLOBAL DropDataObject::BuildDropList(const std::vector<std::string>& paths) {
    // Each name and its terminator, then the empty name that ends the list;
    // an empty list is two zero bytes, as the shell writes it.
    SIZE_T size = sizeof(DROPFILES) + 2;
    for (const auto& p : paths)
        size += p.size() + 1;
    HGLOBAL mem = GlobalAlloc(GHND, size);
    if (mem == nullptr)
        return nullptr;
    auto* bytes = static_cast<BYTE*>(GlobalLock(mem));
    DROPFILES header{};
    header.pFiles = sizeof(DROPFILES);
    header.fWide = FALSE;
    std::memcpy(bytes, &header, sizeof header);
    SIZE_T pos = sizeof(DROPFILES);
    for (const auto& p : paths) {
        std::memcpy(bytes + pos, p.c_str(), p.size() + 1);
        pos += p.size() + 1;
    }
    GlobalUnlock(mem);  // the closing zero bytes came zeroed from GHND
    return mem;
}

HRESULT DropDataObject::QueryGetData(FORMATETC* format) {
    if (format == nullptr)
        return E_INVALIDARG;
    if (refuseDrop_ || format->cfFormat != CF_HDROP)
        return DV_E_FORMATETC;
    return (format->tymed & TYMED_HGLOBAL) ? S_OK : DV_E_TYMED;
}

HRESULT DropDataObject::GetData(FORMATETC* format, STGMEDIUM* medium) {
    if (format == nullptr || medium == nullptr)
        return E_INVALIDARG;
    if (HRESULT hr = QueryGetData(format); FAILED(hr))
        return hr;
    medium->tymed = TYMED_HGLOBAL;
    medium->pUnkForRelease = nullptr;
    medium->hGlobal = emptyMedium_ ? nullptr : BuildDropList(paths_);
    if (!emptyMedium_ && medium->hGlobal == nullptr)
        return E_OUTOFMEMORY;
    return S_OK;
}

HRESULT DropDataObject::GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) {
    if (out != nullptr)
        out->ptd = nullptr;
    return E_NOTIMPL;
}
