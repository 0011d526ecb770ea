#include "UpdateCallbackGUI.h"

#include <memory>

#include "ExtractErrorText.h"
#include "ProgressSync.h"
#include "dialogcodes.h"
#include "passwordwindow.h"
#include "progresswindow.h"

namespace {

const wchar_t *const kOperationTexts[] = {L"正在添加", L"正在更新", L"正在分析", L"正在复制",
                                          L"正在打包", L"正在跳过", L"正在删除", L"正在创建文件头"};

} // namespace

void CUpdateCallbackGUI2::Init() {
    files_done = 0;
    removing_text = L"正在移除";
    operation_texts.Clear();
    for (const wchar_t *text : kOperationTexts)
        operation_texts.Add(UString(text));
}

CProgressSync &CUpdateCallbackGUI2::Sync() {
    if (progress) return progress->sync;
    thread_local CProgressSync detached;
    return detached;
}

HRESULT CUpdateCallbackGUI2::SetOperation_Base(UInt32 op, const wchar_t *name, bool isDir) {
    const UString &text = op < operation_texts.Size() ? operation_texts[op] : empty_text;
    return Sync().Set_Status2(text, name, isDir);
}

HRESULT CUpdateCallbackGUI2::ShowAskPasswordDialog() {
    auto info = std::make_shared<password_info>();
    info->parent = progress;
    info->show_password = false;
    if (show_passwordwindow(info) != dialog_result::ok) return E_ABORT;
    password = info->password;
    password_defined = true;
    return S_OK;
}

void CUpdateCallbackGUI::Init() {
    CUpdateCallbackGUI2::Init();
    failed_files.Clear();
}

HRESULT CUpdateCallbackGUI::Open_CheckBreak() {
    return Sync().CheckStop();
}

HRESULT CUpdateCallbackGUI::Open_SetTotal(const UInt64 *, const UInt64 *) {
    return S_OK;
}

HRESULT CUpdateCallbackGUI::Open_SetCompleted(const UInt64 *, const UInt64 *) {
    return Sync().CheckStop();
}

HRESULT CUpdateCallbackGUI::Open_Finished() {
    return S_OK;
}

HRESULT CUpdateCallbackGUI::Open_CryptoGetTextPassword(BSTR *pw) {
    password_asked = true;
    // An archive that cannot be read without its password is asked for it, whatever the way in:
    // without one it would only fail to open.
    if (!password_defined) {
        *pw = nullptr;
        const HRESULT res = ShowAskPasswordDialog();
        if (res != S_OK) return res;
    }
    return CryptoGetTextPassword2(nullptr, pw);
}

HRESULT CUpdateCallbackGUI::WriteSfx(const wchar_t *, UInt64) {
    Sync().Set_Status(UString(L"WriteSfx"));
    return S_OK;
}

HRESULT CUpdateCallbackGUI::SetTotal(UInt64 size) {
    Sync().Set_NumBytesTotal(size);
    return S_OK;
}

HRESULT CUpdateCallbackGUI::SetCompleted(const UInt64 *completeValue) {
    return Sync().Set_NumBytesCur(completeValue);
}

HRESULT CUpdateCallbackGUI::SetRatioInfo(const UInt64 *inSize, const UInt64 *outSize) {
    Sync().Set_Ratio(inSize, outSize);
    return CheckBreak();
}

HRESULT CUpdateCallbackGUI::CheckBreak() {
    return Sync().CheckStop();
}

HRESULT CUpdateCallbackGUI::SetNumItems(UInt64 numItems) {
    Sync().Set_NumFilesTotal(numItems);
    return S_OK;
}

HRESULT CUpdateCallbackGUI::GetStream(const wchar_t *name, bool isDir, bool, UInt32 mode) {
    current_file = name ? name : L"";
    return SetOperation_Base(mode, name, isDir);
}

HRESULT CUpdateCallbackGUI::OpenFileError(const UString &path, DWORD systemError) {
    ScanError(path, systemError);
    return S_FALSE;
}

HRESULT CUpdateCallbackGUI::ReadingFileError(const UString &path, DWORD systemError) {
    return ScanError(path, systemError);
}

HRESULT CUpdateCallbackGUI::SetOperationResult(Int32 opRes) {
    if (opRes != NArchive::NUpdate::NOperationResult::kOK && !current_file.IsEmpty()) {
        // The writer stored the file as it read it, but not as it was listed: the run ends with a
        // warning naming it.
        failed_files.Add(current_file);
        Sync().AddError_Message_Name(L"文件在读取时被更改", current_file);
    }
    current_file.Empty();
    files_done++;
    Sync().Set_NumFilesCur(files_done);
    return S_OK;
}

HRESULT CUpdateCallbackGUI::ReportExtractResult(Int32 opRes, Int32 isEncrypted, const wchar_t *name) {
    if (opRes != 0) {
        UString s;
        SetExtractErrorMessage(nullptr, opRes, isEncrypted, name, s);
        Sync().AddError_Message(s);
    }
    return S_OK;
}

HRESULT CUpdateCallbackGUI::ReportUpdateOpeartion(UInt32 op, const wchar_t *name, bool isDir) {
    return SetOperation_Base(op, name, isDir);
}

HRESULT CUpdateCallbackGUI::CryptoGetTextPassword2(Int32 *passwordIsDefined, BSTR *pw) {
    *pw = nullptr;
    if (!password_defined && ask_password) {
        const HRESULT res = ShowAskPasswordDialog();
        if (res != S_OK) return res;
    }
    if (passwordIsDefined) *passwordIsDefined = password_defined ? 1 : 0;
    *pw = SysAllocString(password_defined ? password.Ptr() : L"");
    return *pw ? S_OK : E_OUTOFMEMORY;
}

HRESULT CUpdateCallbackGUI::CryptoGetTextPassword(BSTR *pw) {
    return CryptoGetTextPassword2(nullptr, pw);
}

HRESULT CUpdateCallbackGUI::ShowDeleteFile(const wchar_t *name, bool isDir) {
    return SetOperation_Base(6, name, isDir);
}

HRESULT CUpdateCallbackGUI::ScanError(const UString &path, DWORD systemError) {
    failed_files.Add(path);
    Sync().AddError_Code_Name(systemError, path);
    return S_OK;
}

HRESULT CUpdateCallbackGUI::ScanProgress(const CDirItemsStat &st, const UString &path, bool isDir) {
    return Sync().ScanProgress(st.NumFiles + st.NumAltStreams, st.GetTotalBytes(), path, isDir);
}

HRESULT CUpdateCallbackGUI::OpenResult(const CCodecs *codecs, const CArchiveLink &arcLink, const wchar_t *name,
                                       HRESULT result) {
    UString s;
    OpenResult_GUI(s, codecs, arcLink, name, result);
    if (!s.IsEmpty()) Sync().AddError_Message(s);
    return S_OK;
}

HRESULT CUpdateCallbackGUI::StartScanning() {
    Sync().Set_Status(UString(L"正在搜索..."));
    return S_OK;
}

HRESULT CUpdateCallbackGUI::FinishScanning(const CDirItemsStat &st) {
    const HRESULT res = Sync().ScanProgress(st.NumFiles + st.NumAltStreams, st.GetTotalBytes(), UString(), true);
    if (res == S_OK) Sync().Set_Status(UString());
    return res;
}

HRESULT CUpdateCallbackGUI::StartOpenArchive(const wchar_t *) {
    return S_OK;
}

HRESULT CUpdateCallbackGUI::StartArchive(const wchar_t *name, bool) {
    Sync().Set_Status(UString(L"正在压缩"));
    Sync().Set_TitleFileName(UString(name));
    return S_OK;
}

HRESULT CUpdateCallbackGUI::FinishArchive(const CFinishArchiveStat &) {
    Sync().Set_Status(UString());
    return S_OK;
}

HRESULT CUpdateCallbackGUI::DeletingAfterArchiving(const UString &path, bool isDir) {
    return Sync().Set_Status2(removing_text, path, isDir);
}

HRESULT CUpdateCallbackGUI::FinishDeletingAfterArchiving() {
    return S_OK;
}
