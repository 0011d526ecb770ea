#include "UpdateCallbackAgent.h"

#include "archive/common/StreamUtils.h"
#include "windows/ErrorMsg.h"

void CUpdateCallbackAgent::SetCallback(IFolderArchiveUpdateCallback *callback) {
    _callback = callback;
    _compressProgress.Release();
    _callback2.Release();
    if (callback) {
        callback->QueryInterface(IID_ICompressProgressInfo, reinterpret_cast<void **>(&_compressProgress));
        callback->QueryInterface(IID_IFolderArchiveUpdateCallback2, reinterpret_cast<void **>(&_callback2));
    }
}

HRESULT CUpdateCallbackAgent::WriteSfx(const wchar_t *, UInt64) {
    return S_OK;
}

HRESULT CUpdateCallbackAgent::SetTotal(UInt64 size) {
    return _callback ? _callback->SetTotal(size) : S_OK;
}

HRESULT CUpdateCallbackAgent::SetCompleted(const UInt64 *completeValue) {
    return _callback ? _callback->SetCompleted(completeValue) : S_OK;
}

HRESULT CUpdateCallbackAgent::SetRatioInfo(const UInt64 *inSize, const UInt64 *outSize) {
    return _compressProgress ? _compressProgress->SetRatioInfo(inSize, outSize) : S_OK;
}

HRESULT CUpdateCallbackAgent::CheckBreak() {
    return S_OK;
}

HRESULT CUpdateCallbackAgent::SetNumItems(UInt64 numItems) {
    return _callback ? _callback->SetNumFiles(numItems) : S_OK;
}

HRESULT CUpdateCallbackAgent::GetStream(const wchar_t *name, bool isDir, bool, UInt32 mode) {
    if (_callback2) return _callback2->ReportUpdateOperation(mode, name, isDir ? 1 : 0);
    if (_callback) return _callback->CompressOperation(name);
    return S_OK;
}

// The writer must never take a failed open for a usable stream, so a missing error number
// still reads as a failure.
static HRESULT ErrorToHResult(DWORD systemError) {
    const HRESULT hres = HRESULT_FROM_WIN32(systemError);
    return hres == S_OK ? E_FAIL : hres;
}

static UString MakeMessage(const wchar_t *head, DWORD systemError, const UString &path) {
    UString s(head);
    s += NWindows::NError::MyFormatMessage(systemError);
    s += L": ";
    s += path;
    return s;
}

HRESULT CUpdateCallbackAgent::OpenFileError(const UString &path, DWORD systemError) {
    const HRESULT hres = ErrorToHResult(systemError);
    // A reported file is skipped (S_FALSE); the run goes on without it.
    if (_callback2) {
        RINOK(_callback2->OpenFileError(path, hres));
        return S_FALSE;
    }
    if (_callback) {
        const UString s = MakeMessage(L"WARNING: ", systemError, path);
        RINOK(_callback->UpdateErrorMessage(s));
        return S_FALSE;
    }
    return hres;
}

HRESULT CUpdateCallbackAgent::ReadingFileError(const UString &path, DWORD systemError) {
    const HRESULT hres = ErrorToHResult(systemError);
    // Data already given to the writer cannot be taken back: a reading error always ends the run.
    if (_callback2) {
        RINOK(_callback2->ReadingFileError(path, hres));
        return hres;
    }
    if (_callback) {
        const UString s = MakeMessage(L"ERROR: ", systemError, path);
        RINOK(_callback->UpdateErrorMessage(s));
        return hres;
    }
    return hres;
}

HRESULT CUpdateCallbackAgent::SetOperationResult(Int32 opRes) {
    return _callback ? _callback->OperationResult(opRes) : S_OK;
}

HRESULT CUpdateCallbackAgent::ReportExtractResult(Int32 opRes, Int32 isEncrypted, const wchar_t *name) {
    return _callback2 ? _callback2->ReportExtractResult(opRes, isEncrypted, name) : S_OK;
}

HRESULT CUpdateCallbackAgent::ReportUpdateOpeartion(UInt32 op, const wchar_t *name, bool isDir) {
    return _callback2 ? _callback2->ReportUpdateOperation(op, name, isDir ? 1 : 0) : S_OK;
}

HRESULT CUpdateCallbackAgent::CryptoGetTextPassword2(Int32 *passwordIsDefined, BSTR *password) {
    *passwordIsDefined = 0;
    *password = nullptr;
    if (!_cryptoGetTextPassword) {
        if (!_callback) return S_OK;
        _callback->QueryInterface(IID_ICryptoGetTextPassword2, reinterpret_cast<void **>(&_cryptoGetTextPassword));
        if (!_cryptoGetTextPassword) return S_OK;
    }
    return _cryptoGetTextPassword->CryptoGetTextPassword2(passwordIsDefined, password);
}

HRESULT CUpdateCallbackAgent::CryptoGetTextPassword(BSTR *password) {
    *password = nullptr;
    if (!_callback) return E_NOTIMPL;
    CMyComPtr<ICryptoGetTextPassword> getTextPassword;
    _callback->QueryInterface(IID_ICryptoGetTextPassword, reinterpret_cast<void **>(&getTextPassword));
    if (!getTextPassword) return E_NOTIMPL;
    return getTextPassword->CryptoGetTextPassword(password);
}

HRESULT CUpdateCallbackAgent::ShowDeleteFile(const wchar_t *name, bool) {
    return _callback ? _callback->DeleteOperation(name) : S_OK;
}
