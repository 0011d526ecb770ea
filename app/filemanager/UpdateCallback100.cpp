#include "UpdateCallback100.h"

#include <memory>

#include "ExtractErrorText.h"
#include "passwordwindow.h"
#include "progresswindow.h"

namespace {

const wchar_t *const kOperationTexts[] = {L"正在添加", L"正在更新", L"正在分析",       L"正在复制",
                                          L"正在打包", L"正在跳过", L"正在删除", L"正在创建文件头"};

HRESULT CopyToBstr(const UString &s, BSTR *out) {
    *out = ::SysAllocString(s.Ptr());
    return *out ? S_OK : E_OUTOFMEMORY;
}

} // namespace

void CUpdateCallback100Imp::Init() {
    files_done = 0;
}

HRESULT CUpdateCallback100Imp::SetOperation_Base(UInt32 op, const wchar_t *name, bool isDir) {
    if (!progress) return S_OK;
    const UString text = op < sizeof(kOperationTexts) / sizeof(kOperationTexts[0]) ? kOperationTexts[op] : L"";
    return progress->sync.Set_Status2(text, name ? name : L"", isDir);
}

HRESULT CUpdateCallback100Imp::ShowAskPasswordDialog() {
    auto info = std::make_shared<password_info>();
    info->parent = progress;
    if (show_passwordwindow(info) != 5100) return E_ABORT;
    password = info->password;
    password_defined = true;
    password_asked = true;
    return S_OK;
}

HRESULT CUpdateCallback100Imp::SetTotal(UInt64 size) {
    if (progress) progress->sync.Set_NumBytesTotal(size);
    return S_OK;
}

HRESULT CUpdateCallback100Imp::SetCompleted(const UInt64 *completeValue) {
    return progress ? progress->sync.Set_NumBytesCur(completeValue) : S_OK;
}

HRESULT CUpdateCallback100Imp::CompressOperation(const wchar_t *name) {
    return SetOperation_Base(0, name, false);
}

HRESULT CUpdateCallback100Imp::DeleteOperation(const wchar_t *name) {
    return SetOperation_Base(6, name, false);
}

HRESULT CUpdateCallback100Imp::OperationResult(Int32) {
    files_done++;
    if (progress) progress->sync.Set_NumFilesCur(files_done);
    return S_OK;
}

HRESULT CUpdateCallback100Imp::UpdateErrorMessage(const wchar_t *message) {
    if (progress) progress->sync.AddError_Message(message);
    return S_OK;
}

HRESULT CUpdateCallback100Imp::SetNumFiles(UInt64 numFiles) {
    return progress ? progress->sync.Set_NumFilesTotal(numFiles) : S_OK;
}

HRESULT CUpdateCallback100Imp::SetTotal(const UInt64 *, const UInt64 *) {
    return S_OK;
}

HRESULT CUpdateCallback100Imp::SetCompleted(const UInt64 *, const UInt64 *) {
    return progress ? progress->sync.CheckStop() : S_OK;
}

HRESULT CUpdateCallback100Imp::OpenFileError(const wchar_t *path, HRESULT errorCode) {
    if (progress) progress->sync.AddError_Code_Name((DWORD)errorCode, path);
    return S_OK;
}

HRESULT CUpdateCallback100Imp::ReadingFileError(const wchar_t *path, HRESULT errorCode) {
    if (progress) progress->sync.AddError_Code_Name((DWORD)errorCode, path);
    return S_OK;
}

HRESULT CUpdateCallback100Imp::ReportExtractResult(Int32 opRes, Int32 isEncrypted, const wchar_t *name) {
    if (opRes == 0) return S_OK;
    UString s;
    SetExtractErrorMessage(nullptr, opRes, isEncrypted, name, s);
    if (progress) progress->sync.AddError_Message(s);
    return S_OK;
}

HRESULT CUpdateCallback100Imp::ReportUpdateOperation(UInt32 notifyOp, const wchar_t *name, Int32 isDir) {
    return SetOperation_Base(notifyOp, name, isDir != 0);
}

HRESULT CUpdateCallback100Imp::ScanError(const wchar_t *path, HRESULT errorCode) {
    if (progress) progress->sync.AddError_Code_Name((DWORD)errorCode, path);
    return S_OK;
}

HRESULT CUpdateCallback100Imp::ScanProgress(UInt64, UInt64 numFiles, UInt64 totalSize, const wchar_t *path, Int32) {
    return progress ? progress->sync.ScanProgress(numFiles, totalSize, path ? path : L"", false) : S_OK;
}

HRESULT CUpdateCallback100Imp::SetRatioInfo(const UInt64 *inSize, const UInt64 *outSize) {
    if (progress) progress->sync.Set_Ratio(inSize, outSize);
    return S_OK;
}

HRESULT CUpdateCallback100Imp::CryptoGetTextPassword(BSTR *out) {
    *out = nullptr;
    if (!password_defined) {
        const HRESULT res = ShowAskPasswordDialog();
        if (res != S_OK) return res;
    }
    return CopyToBstr(password, out);
}

HRESULT CUpdateCallback100Imp::CryptoGetTextPassword2(Int32 *passwordIsDefined, BSTR *out) {
    *out = nullptr;
    // Items added to an archive that is encrypted must not go in unencrypted because the archive
    // was opened without its password: ask now (a cancel ends the write, the archive unchanged).
    if (!password_defined && archive_encrypted) {
        const HRESULT res = ShowAskPasswordDialog();
        if (res != S_OK) return res;
    }
    *passwordIsDefined = password_defined ? 1 : 0;
    if (!password_defined) return S_OK;
    return CopyToBstr(password, out);
}
