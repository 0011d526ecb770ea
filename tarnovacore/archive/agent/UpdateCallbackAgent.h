#pragma once

// Carries the reports of an archive edit from the update engine to the panel's folder callbacks.
#include "archive/ICoder.h"
#include "archive/IFolder.h"
#include "archive/IPassword.h"
#include "archive/ui-common/UpdateCallbackUI.h"
#include "common/MyCom.h"

class CUpdateCallbackAgent : public IUpdateCallbackUI {
    CMyComPtr<ICryptoGetTextPassword2> _cryptoGetTextPassword;
    CMyComPtr<IFolderArchiveUpdateCallback> _callback;
    CMyComPtr<IFolderArchiveUpdateCallback2> _callback2;
    CMyComPtr<ICompressProgressInfo> _compressProgress;

public:
    CUpdateCallbackAgent() = default;
    CUpdateCallbackAgent(const CUpdateCallbackAgent &) = delete;
    CUpdateCallbackAgent &operator=(const CUpdateCallbackAgent &) = delete;
    ~CUpdateCallbackAgent() {
        _compressProgress.Release();
        _callback2.Release();
        _callback.Release();
        _cryptoGetTextPassword.Release();
    }

    // callback may be null: every report is then answered without one.
    void SetCallback(IFolderArchiveUpdateCallback *callback);

    HRESULT WriteSfx(const wchar_t *name, UInt64 size) override;
    HRESULT SetTotal(UInt64 size) override;
    HRESULT SetCompleted(const UInt64 *completeValue) override;
    HRESULT SetRatioInfo(const UInt64 *inSize, const UInt64 *outSize) override;
    HRESULT CheckBreak() override;
    HRESULT SetNumItems(UInt64 numItems) override;
    HRESULT GetStream(const wchar_t *name, bool isDir, bool isAnti, UInt32 mode) override;
    HRESULT OpenFileError(const UString &path, DWORD systemError) override;
    HRESULT ReadingFileError(const UString &path, DWORD systemError) override;
    HRESULT SetOperationResult(Int32 opRes) override;
    HRESULT ReportExtractResult(Int32 opRes, Int32 isEncrypted, const wchar_t *name) override;
    HRESULT ReportUpdateOpeartion(UInt32 op, const wchar_t *name, bool isDir) override;
    HRESULT CryptoGetTextPassword2(Int32 *passwordIsDefined, BSTR *password) override;
    HRESULT CryptoGetTextPassword(BSTR *password) override;
    HRESULT ShowDeleteFile(const wchar_t *name, bool isDir) override;
};
