// A data object that offers a list of paths as CF_HDROP in global memory, the
// way the shell hands a selection to a context-menu extension.
#pragma once

#include <string>
#include <vector>

#include "platform/win32.h"

class DropDataObject final : public IDataObject {
public:
    // The object starts with one reference, owned by the creator.
    static DropDataObject* Create(const std::vector<std::string>& paths);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT STDMETHODCALLTYPE GetData(FORMATETC* format, STGMEDIUM* medium) override;
    HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* format) override;
    HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) override;
    HRESULT STDMETHODCALLTYPE SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override {
        return OLE_E_ADVISENOTSUPPORTED;
    }
    HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
    HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA**) override { return OLE_E_ADVISENOTSUPPORTED; }

    // Test controls: refuse CF_HDROP, or hand out a medium without a handle.
    void RefuseDrop(bool refuse) { refuseDrop_ = refuse; }
    void GiveEmptyMedium(bool empty) { emptyMedium_ = empty; }
    ULONG RefCount() const { return refCount_; }

    // The CF_HDROP block for `paths`, caller owns it (GlobalFree).
    static HGLOBAL BuildDropList(const std::vector<std::string>& paths);

private:
    explicit DropDataObject(std::vector<std::string> paths) : paths_(std::move(paths)) {}
    ~DropDataObject() = default;

    ULONG refCount_ = 1;
    std::vector<std::string> paths_;
    bool refuseDrop_ = false;
    bool emptyMedium_ = false;
};
