#pragma once

// An extraction user interface for benchmark programs: it answers every overwrite question with
// "yes", asks for no password and counts failures.
#include "archive/ui-common/Extract.h"
#include "common/MyCom.h"

namespace benchsupport {

// A user interface that answers nothing and counts failures.
class CQuietCallback : public IExtractCallbackUI, public IOpenCallbackUI, public CMyUnknownImp {
public:
    unsigned failures = 0;

    COM_QI_BEGIN
    COM_QI_ENTRY_UNKNOWN(IFolderArchiveExtractCallback)
    COM_QI_END
    COM_ADDREF_RELEASE

    HRESULT SetTotal(UInt64) override { return S_OK; }
    HRESULT SetCompleted(const UInt64 *) override { return S_OK; }
    HRESULT AskOverwrite(const wchar_t *, const FILETIME *, const UInt64 *, const wchar_t *, const FILETIME *,
                         const UInt64 *, Int32 *answer) override {
        *answer = NOverwriteAnswer::kYes;
        return S_OK;
    }
    HRESULT PrepareOperation(const wchar_t *, Int32, Int32, const UInt64 *) override { return S_OK; }
    HRESULT MessageError(const wchar_t *) override {
        failures++;
        return S_OK;
    }
    HRESULT SetOperationResult(Int32 opRes, Int32) override {
        if (opRes != 0) failures++;
        return S_OK;
    }
    HRESULT BeforeOpen(const wchar_t *, bool) override { return S_OK; }
    HRESULT OpenResult(const CCodecs *, const CArchiveLink &, const wchar_t *, HRESULT result) override {
        if (result != S_OK) failures++;
        return S_OK;
    }
    HRESULT ThereAreNoFiles() override { return S_OK; }
    HRESULT ExtractResult(HRESULT result) override {
        if (result != S_OK) failures++;
        return S_OK;
    }
    HRESULT SetPassword(const UString &) override { return S_OK; }
    HRESULT Open_CheckBreak() override { return S_OK; }
    HRESULT Open_SetTotal(const UInt64 *, const UInt64 *) override { return S_OK; }
    HRESULT Open_SetCompleted(const UInt64 *, const UInt64 *) override { return S_OK; }
    HRESULT Open_Finished() override { return S_OK; }
    HRESULT Open_CryptoGetTextPassword(BSTR *) override { return E_ABORT; }
};

} // namespace benchsupport
