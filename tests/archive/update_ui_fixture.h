#pragma once

// An update user interface that answers every call with "go on" and no password; tests override
// what they record.
#include "archive/ui-common/Update.h"

namespace updatetest {

class CQuietUpdateUi : public IOpenCallbackUI, public IUpdateCallbackUI2 {
public:
    HRESULT Open_CheckBreak() override { return S_OK; }
    HRESULT Open_SetTotal(const UInt64 *, const UInt64 *) override { return S_OK; }
    HRESULT Open_SetCompleted(const UInt64 *, const UInt64 *) override { return S_OK; }
    HRESULT Open_Finished() override { return S_OK; }
    HRESULT Open_CryptoGetTextPassword(BSTR *) override { return E_ABORT; }

    HRESULT WriteSfx(const wchar_t *, UInt64) override { return S_OK; }
    HRESULT SetTotal(UInt64) override { return S_OK; }
    HRESULT SetCompleted(const UInt64 *) override { return S_OK; }
    HRESULT SetRatioInfo(const UInt64 *, const UInt64 *) override { return S_OK; }
    HRESULT CheckBreak() override { return S_OK; }
    HRESULT SetNumItems(UInt64) override { return S_OK; }
    HRESULT GetStream(const wchar_t *, bool, bool, UInt32) override { return S_OK; }
    HRESULT OpenFileError(const UString &, DWORD) override { return S_FALSE; }
    HRESULT ReadingFileError(const UString &, DWORD) override { return S_OK; }
    HRESULT SetOperationResult(Int32) override { return S_OK; }
    HRESULT ReportExtractResult(Int32, Int32, const wchar_t *) override { return S_OK; }
    HRESULT ReportUpdateOpeartion(UInt32, const wchar_t *, bool) override { return S_OK; }
    HRESULT CryptoGetTextPassword2(Int32 *defined, BSTR *password) override {
        if (defined) *defined = 0;
        *password = ::SysAllocString(L"");
        return S_OK;
    }
    HRESULT CryptoGetTextPassword(BSTR *password) override { return CryptoGetTextPassword2(nullptr, password); }
    HRESULT ShowDeleteFile(const wchar_t *, bool) override { return S_OK; }

    HRESULT ScanError(const UString &, DWORD) override { return S_OK; }
    HRESULT ScanProgress(const CDirItemsStat &, const UString &, bool) override { return S_OK; }
    HRESULT OpenResult(const CCodecs *, const CArchiveLink &, const wchar_t *, HRESULT) override { return S_OK; }
    HRESULT StartScanning() override { return S_OK; }
    HRESULT FinishScanning(const CDirItemsStat &) override { return S_OK; }
    HRESULT StartOpenArchive(const wchar_t *) override { return S_OK; }
    HRESULT StartArchive(const wchar_t *, bool) override { return S_OK; }
    HRESULT FinishArchive(const CFinishArchiveStat &) override { return S_OK; }
    HRESULT DeletingAfterArchiving(const UString &, bool) override { return S_OK; }
    HRESULT FinishDeletingAfterArchiving() override { return S_OK; }
};

} // namespace updatetest
