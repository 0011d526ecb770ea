#include "UpdateCallback100.h"

#include "ExtractErrorText.h"
#include "archive/common/StreamUtils.h"
#include "ProgressSync.h"

namespace {

HRESULT CopyToBstr(const UString &s, BSTR *out) {
    *out = ::SysAllocString(s.Ptr());
    return *out ? S_OK : E_OUTOFMEMORY;
}

} // namespace

HRESULT CUpdateCallback100Imp::ShowAskPasswordDialog() {
    RINOK(CUpdateCallbackGUI2::ShowAskPasswordDialog());
    password_asked = true;
    return S_OK;
}

HRESULT CUpdateCallback100Imp::SetTotal(UInt64 size) {
    Sync().Set_NumBytesTotal(size);
    return S_OK;
}

HRESULT CUpdateCallback100Imp::SetCompleted(const UInt64 *completeValue) {
    return Sync().Set_NumBytesCur(completeValue);
}

HRESULT CUpdateCallback100Imp::CompressOperation(const wchar_t *name) {
    return SetOperation_Base(0, name, false);
}

HRESULT CUpdateCallback100Imp::DeleteOperation(const wchar_t *name) {
    return SetOperation_Base(6, name, false);
}

HRESULT CUpdateCallback100Imp::OperationResult(Int32) {
    files_done++;
    Sync().Set_NumFilesCur(files_done);
    return S_OK;
}

HRESULT CUpdateCallback100Imp::UpdateErrorMessage(const wchar_t *message) {
    Sync().AddError_Message(message);
    return S_OK;
}

HRESULT CUpdateCallback100Imp::SetNumFiles(UInt64 numFiles) {
    return Sync().Set_NumFilesTotal(numFiles);
}

HRESULT CUpdateCallback100Imp::SetTotal(const UInt64 *, const UInt64 *) {
    return S_OK;
}

HRESULT CUpdateCallback100Imp::SetCompleted(const UInt64 *, const UInt64 *) {
    return Sync().CheckStop();
}

HRESULT CUpdateCallback100Imp::OpenFileError(const wchar_t *path, HRESULT errorCode) {
    Sync().AddError_Code_Name((DWORD)errorCode, path);
    return S_OK;
}

HRESULT CUpdateCallback100Imp::ReadingFileError(const wchar_t *path, HRESULT errorCode) {
    Sync().AddError_Code_Name((DWORD)errorCode, path);
    return S_OK;
}

HRESULT CUpdateCallback100Imp::ReportExtractResult(Int32 opRes, Int32 isEncrypted, const wchar_t *name) {
    if (opRes == 0) return S_OK;
    UString s;
    SetExtractErrorMessage(nullptr, opRes, isEncrypted, name, s);
    Sync().AddError_Message(s);
    return S_OK;
}

HRESULT CUpdateCallback100Imp::ReportUpdateOperation(UInt32 notifyOp, const wchar_t *name, Int32 isDir) {
    return SetOperation_Base(notifyOp, name, isDir != 0);
}

HRESULT CUpdateCallback100Imp::ScanError(const wchar_t *path, HRESULT errorCode) {
    Sync().AddError_Code_Name((DWORD)errorCode, path);
    return S_OK;
}

HRESULT CUpdateCallback100Imp::ScanProgress(UInt64, UInt64 numFiles, UInt64 totalSize, const wchar_t *path, Int32) {
    return Sync().ScanProgress(numFiles, totalSize, path ? path : L"", false);
}

HRESULT CUpdateCallback100Imp::SetRatioInfo(const UInt64 *inSize, const UInt64 *outSize) {
    Sync().Set_Ratio(inSize, outSize);
    return S_OK;
}

HRESULT CUpdateCallback100Imp::CryptoGetTextPassword(BSTR *out) {
    *out = nullptr;
    if (!password_defined) RINOK(ShowAskPasswordDialog());
    return CopyToBstr(password, out);
}

HRESULT CUpdateCallback100Imp::CryptoGetTextPassword2(Int32 *passwordIsDefined, BSTR *out) {
    *out = nullptr;
    // Never asks; but items must not go unencrypted into an archive whose items are encrypted.
    if (!password_defined && archive_encrypted) return E_ABORT;
    *passwordIsDefined = password_defined ? 1 : 0;
    if (!password_defined) return S_OK;
    return CopyToBstr(password, out);
}
