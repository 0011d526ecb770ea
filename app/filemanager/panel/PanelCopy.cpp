// Copy and move between the shown folder and the disk, in both directions: out of a disk or
// archive folder to a destination folder, and from disk into the shown archive folder.
#include <errno.h>
#include <sys/stat.h>

#include <cstdio>
#include <memory>

#include "Panel.h"
#include "PanelCopy.h"
#include "PanelRunner.h"
#include "ProgressThreadVirt.h"
#include "copywindow.h"
#include "overwritewindow.h"
#include "dialogcodes.h"
#include "PanelHost.h"
#include "messagebox.h"
#include "archive/agent/Agent.h"
#include "ExtractCallback.h"
#include "HashGUI.h"
#include "UpdateCallback100.h"
#include "ViewSettings.h"
#include "ZipRegistry.h"
#include "FolderOperations.h"
#include "progresswindow.h"
#include "archive/common/StreamUtils.h"
#include "windows/FileDir.h"
#include "windows/FileFind.h"
#include "windows/FileName.h"
#include "windows/PropVariant.h"
#include "windows/PropVariantConv.h"

using namespace NWindows;

namespace {

class CPanelCopyThread : public CProgressThreadVirt {
public:
    const CCopyToOptions *copyOptions = nullptr;
    CMyComPtr<IFolderOperations> folderOperations;
    CMyComPtr<IFolderFolder> folder;
    CRecordVector<UInt32> indices;
    CExtractCallbackImp *extractCallbackSpec = nullptr;
    CMyComPtr<IFolderOperationsExtractCallback> extractCallback;
    CHashBundle hash;
    UString firstFilePath;

    HRESULT ProcessVirt() override {
        const HRESULT res = Run();
        extractCallbackSpec->AddFailedItemsSummary();
        const CCopyToOptions &o = *copyOptions;
        if (res == S_OK && !extractCallbackSpec->ThereAreMessageErrors && (!o.hashMethods.IsEmpty() || o.testMode))
            AddHashBundleRes(finalOk.message, hash, firstFilePath);
        return res;
    }

private:
    HRESULT Run() {
        const CCopyToOptions &o = *copyOptions;
        const UInt32 *items = indices.IsEmpty() ? nullptr : &indices[0];
        if (o.testMode) {
            CMyComPtr<IArchiveFolder> archiveFolder;
            folder.QueryInterface(IID_IArchiveFolder, &archiveFolder);
            if (!archiveFolder) return E_NOTIMPL;
            CMyComPtr<IFolderArchiveExtractCallback> callback;
            const HRESULT res = extractCallback.QueryInterface(IID_IFolderArchiveExtractCallback, &callback);
            if (res != S_OK) return res;
            return archiveFolder->Extract(items, indices.Size(), o.includeAltStreams, o.replaceAltStreamChars,
                                          NExtract::NPathMode::kCurPaths, NExtract::NOverwriteMode::kAsk, o.destFolder,
                                          1, callback);
        }
        return folderOperations->CopyTo(o.moveMode, items, indices.Size(), o.includeAltStreams, o.replaceAltStreamChars,
                                        o.destFolder, extractCallback);
    }
};

// The smallest encrypted file of an archive level: the item a password is checked on.
struct CEncryptedItem {
    CMyComPtr<IFolderFolder> folder;
    UInt32 index = 0;
    UInt64 size = 0;
    bool found = false;
};

bool GetBoolProp(IFolderFolder *folder, UInt32 index, PROPID id) {
    NCOM::CPropVariant prop;
    return folder->GetProperty(index, id, &prop) == S_OK && prop.vt == VT_BOOL && prop.boolVal != VARIANT_FALSE;
}

// One pass over the tree below the folder; abort stops it (the run was cancelled).
HRESULT FindSmallestEncryptedItem(IFolderFolder *folder, CEncryptedItem &best, CProgressSync &sync, int depth = 0) {
    if (!folder || depth > 256) return S_OK;
    UInt32 num = 0;
    if (folder->GetNumberOfItems(&num) != S_OK) return S_OK;
    for (UInt32 i = 0; i < num; i++) {
        if (GetBoolProp(folder, i, kpidIsDir)) {
            RINOK(sync.CheckStop());
            CMyComPtr<IFolderFolder> sub;
            if (folder->BindToFolder(i, &sub) != S_OK || !sub) continue;
            if (sub->LoadItems() != S_OK) continue;
            RINOK(FindSmallestEncryptedItem(sub, best, sync, depth + 1));
            continue;
        }
        if (!GetBoolProp(folder, i, kpidEncrypted)) continue;
        UInt64 size = 0;
        NCOM::CPropVariant prop;
        if (folder->GetProperty(i, kpidSize, &prop) != S_OK || !ConvertPropVariantToUInt64(prop, size))
            size = (UInt64)(Int64)-1;
        if (!best.found || size < best.size) {
            best.folder = folder;
            best.index = i;
            best.size = size;
            best.found = true;
        }
    }
    return S_OK;
}

// The root folder of the archive level the folder belongs to.
CMyComPtr<IFolderFolder> ArchiveRoot(IFolderFolder *folder) {
    CMyComPtr<IFolderFolder> cur = folder;
    for (unsigned i = 0; i < 4096 && cur; i++) {
        CMyComPtr<IFolderFolder> parent;
        if (cur->BindToParentFolder(&parent) != S_OK || !parent) break;
        cur = parent;
    }
    return cur;
}

// Tests one item with the password: only a clean decode counts as the right password.
class CPasswordCheckCallback : public IFolderArchiveExtractCallback,
                               public ICryptoGetTextPassword,
                               public CMyUnknownImp {
public:
    COM_UNKNOWN_IMP(IFolderArchiveExtractCallback, ICryptoGetTextPassword)

    UString password;
    CProgressSync *sync = nullptr;
    bool tested = false;
    bool failed = false;

    HRESULT SetTotal(UInt64) override { return S_OK; }
    HRESULT SetCompleted(const UInt64 *) override { return sync ? sync->CheckStop() : S_OK; }
    HRESULT AskOverwrite(const wchar_t *, const FILETIME *, const UInt64 *, const wchar_t *, const FILETIME *,
                         const UInt64 *, Int32 *answer) override {
        *answer = NOverwriteAnswer::kNo;
        return S_OK;
    }
    HRESULT PrepareOperation(const wchar_t *, Int32, Int32, const UInt64 *) override { return S_OK; }
    HRESULT MessageError(const wchar_t *) override {
        failed = true;
        return S_OK;
    }
    HRESULT SetOperationResult(Int32 opRes, Int32) override {
        tested = true;
        if (opRes != NArchive::NExtract::NOperationResult::kOK) failed = true;
        return S_OK;
    }
    HRESULT CryptoGetTextPassword(BSTR *out) override {
        *out = ::SysAllocString(password.Ptr());
        return *out ? S_OK : E_OUTOFMEMORY;
    }
    virtual ~CPasswordCheckCallback() = default;
};

// S_OK: the password decodes the item; S_FALSE: it does not; E_ABORT: cancelled.
HRESULT CheckPassword(const CEncryptedItem &item, const UString &password, CProgressSync &sync) {
    CMyComPtr<IArchiveFolder> archiveFolder;
    item.folder.QueryInterface(IID_IArchiveFolder, &archiveFolder);
    if (!archiveFolder) return S_FALSE;
    CPasswordCheckCallback *checker = new CPasswordCheckCallback;
    CMyComPtr<IFolderArchiveExtractCallback> callback = checker;
    checker->password = password;
    checker->sync = &sync;
    const HRESULT res = archiveFolder->Extract(&item.index, 1, 0, 0, NExtract::NPathMode::kCurPaths,
                                               NExtract::NOverwriteMode::kSkip, nullptr, 1, callback);
    if (res == E_ABORT || sync.Get_Stopped()) return E_ABORT;
    return res == S_OK && checker->tested && !checker->failed ? S_OK : S_FALSE;
}

class CPanelCopyFromThread : public CProgressThreadVirt {
public:
    CMyComPtr<IFolderOperations> folderOperations;
    UString folderPrefix;
    UStringVector fileNames;
    CMyComPtr<IFolderArchiveUpdateCallback> updateCallback;
    CUpdateCallback100Imp *updateSpec = nullptr;
    bool moveMode = false;
    // Set when the archive level was opened without a password: its encrypted items decide
    // whether the new ones need one.
    CMyComPtr<IFolderFolder> archiveRoot;
    UString archivePath;
    bool notSupported = false; // the folder cannot take files: the panel says so, once

    HRESULT ProcessVirt() override {
        if (archiveRoot) {
            const HRESULT res = AskAndCheckPassword();
            if (res != S_OK) return res == S_FALSE ? S_OK : res; // S_FALSE: finalError says why
        }
        std::vector<const wchar_t *> pointers;
        FOR_VECTOR(i, fileNames)
        pointers.push_back(fileNames[i]);
        const HRESULT res = folderOperations->CopyFrom(moveMode, folderPrefix, pointers.data(), (UInt32)pointers.size(),
                                                       updateCallback);
        if (res != E_NOINTERFACE) return res;
        notSupported = true;
        return E_ABORT;
    }

private:
    // New items of an archive with encrypted items must not go in unencrypted, nor under another
    // password: the password is asked for and tried on the smallest encrypted item first.
    HRESULT AskAndCheckPassword() {
        CProgressSync &sync = progressWindow->sync;
        CEncryptedItem item;
        RINOK(FindSmallestEncryptedItem(archiveRoot, item, sync));
        if (!item.found) return S_OK;
        updateSpec->archive_encrypted = true;
        RINOK(updateSpec->ShowAskPasswordDialog());
        const HRESULT res = CheckPassword(item, updateSpec->password, sync);
        if (res == S_OK || res == E_ABORT) return res;
        updateSpec->password_defined = false;
        updateSpec->password.Empty();
        finalError.message = MyFormatNew(UString(L"无法添加文件到加密压缩包{0}：密码错误"), archivePath);
        return S_FALSE;
    }
};

// Extraction names an item after itself: a single item copied out of an archive under a typed
// name goes into a private folder beside the target first and is renamed to that name from there.
// dest is the full typed path, destFolder the existing folder it lies in.
HRESULT CopyOutUnderName(CPanel &panel, CCopyToOptions &options, UInt32 index, UString &dest,
                         const UString &destFolder) {
    NFile::NFind::CFileInfo existing;
    if (existing.Find(dest)) {
        auto info = std::make_shared<overwrite_info>();
        info->parent = panel.GetParent();
        info->old_file.name = dest;
        info->old_file.sizeDefined = info->old_file.timeDefined = true;
        info->old_file.size = existing.Size;
        info->old_file.time = existing.MTime;
        info->new_file.name = panel.GetItemRelPath((int)index);
        NCOM::CPropVariant prop;
        if (panel.currentFolder->GetProperty(index, kpidSize, &prop) == S_OK &&
            ConvertPropVariantToUInt64(prop, info->new_file.size))
            info->new_file.sizeDefined = true;
        prop.Clear();
        if (panel.currentFolder->GetProperty(index, kpidMTime, &prop) == S_OK && prop.vt == VT_FILETIME) {
            info->new_file.time = prop.filetime;
            info->new_file.timeDefined = true;
        }
        switch (show_overwritewindow(info)) {
        case dialog_result::yes:
        case dialog_result::yes_to_all:
            break;
        case dialog_result::no:
        case dialog_result::no_to_all:
            return S_OK;
        case dialog_result::auto_rename:
            if (!AutoRenamePath(dest)) return HRESULT_FROM_ERRNO(EEXIST);
            break;
        default:
            return E_ABORT;
        }
    }
    UString temp;
    if (!NFile::NDir::CreateTempName(destFolder + L".tarnova", true, temp, nullptr)) return HRESULT_FROM_ERRNO(errno);
    chmod(NFile::NName::GetOsPath(temp), 0700);
    CRecordVector<UInt32> indices;
    indices.Add(index);
    options.destFolder = temp + L"/";
    HRESULT res = panel.CopyToWithLevelPassword(options, indices);
    if (res != E_ABORT) {
        // Whatever the extraction wrote, a damaged item's data included, goes under the typed name.
        UStringVector names;
        {
            NFile::NFind::CEnumerator enumerator(temp + L"/*");
            NFile::NFind::CFileInfo fi;
            while (enumerator.Next(fi))
                names.Add(fi.Name);
        }
        if (names.Size() == 1 &&
            rename(NFile::NName::GetOsPath(temp + L"/" + names[0]), NFile::NName::GetOsPath(dest)) != 0) {
            res = HRESULT_FROM_ERRNO(errno);
            // Shown here: the caller must not show it a second time.
            panel.MessageBoxError2Lines(dest, res);
            options.failureShown = true;
        }
    }
    NFile::NDir::RemoveDirWithSubItems(temp);
    return res;
}

} // namespace

HRESULT CPanel::CopyToWithLevelPassword(CCopyToOptions &options, const CRecordVector<UInt32> &indices,
                                        UStringVector *messages, bool keepPassword) {
    bool usePassword = false;
    UString password;
    if (!parentFolders.IsEmpty()) {
        usePassword = parentFolders.Back().UsePassword;
        password = parentFolders.Back().Password;
    }
    // CopyTo changes the two only after a run without errors.
    const HRESULT res = CopyTo(options, indices, messages, usePassword, password);
    if (keepPassword && !parentFolders.IsEmpty()) {
        parentFolders.Back().UsePassword = usePassword;
        parentFolders.Back().Password = password;
    }
    return res;
}

HRESULT CPanel::CopyTo(CCopyToOptions &options, const CRecordVector<UInt32> &indices, UStringVector *messages,
                       bool &usePassword, UString &password) {
    if (!folderOperations) {
        const UString text(L"不支持当前操作");
        if (options.showErrorMessages)
            MessageBoxW(text);
        else if (messages)
            messages->Add(text);
        return E_FAIL;
    }
    CPanelCopyThread extracter;
    if (!extracter.progressWindow) return E_FAIL;
    extracter.extractCallbackSpec = new CExtractCallbackImp;
    extracter.extractCallback = extracter.extractCallbackSpec;
    CExtractCallbackImp *cb = extracter.extractCallbackSpec;
    cb->ProgressDialog = extracter.progressWindow;
    extracter.progressWindow->compress_mode = false;
    cb->StreamMode = options.streamMode;
    if (options.memoryTarget) cb->SetVirtFileSystem(options.memoryTargetSpec);
    cb->ProcessAltStreams = options.includeAltStreams;

    if (indices.Size() == 1) extracter.firstFilePath = GetItemRelPath((int)indices[0]);
    if (!options.hashMethods.IsEmpty()) {
        // A hasher that cannot be loaded is a failure, never a run that checks nothing.
        const HRESULT res = extracter.hash.SetMethods(&g_ExternalCodecs_tarnova, options.hashMethods);
        if (res != S_OK || extracter.hash.Hashers.IsEmpty()) return res != S_OK ? res : E_NOTIMPL;
        cb->SetHashBundle(&extracter.hash);
    } else if (options.testMode) {
        cb->HashCalcSink = &extracter.hash;
    }
    extracter.hash.Init();

    // Out of an archive a copy is an extraction: the window says so.
    const bool fromArchive = IsArcFolder();
    UString title = fromArchive ? L"正在提取..." : L"正在复制...";
    progresswindow::work_kind work = fromArchive ? progresswindow::work_kind::extract : progresswindow::work_kind::copy;
    if (options.moveMode)
        title = L"正在移动...";
    else if (!options.hashMethods.IsEmpty() && options.streamMode) {
        title = L"正在校验...";
        work = progresswindow::work_kind::checksum;
        if (options.hashMethods.Size() == 1 && options.hashMethods[0] != L"*") title = options.hashMethods[0];
    } else if (options.testMode) {
        title = L"正在测试";
        work = progresswindow::work_kind::test;
    }
    extracter.progressWindow->work = work;
    extracter.progressWindow->sync.Set_TitleFileName(UString());

    cb->OverwriteMode = NExtract::NOverwriteMode::kAsk;
    cb->Init();
    extracter.indices = indices;
    extracter.folderOperations = folderOperations;
    extracter.folder = currentFolder;
    extracter.copyOptions = &options;
    cb->PasswordIsDefined = usePassword;
    cb->Password = password;

    HRESULT res;
    {
        CPanelBusyGuard busy(*this);
        if (extracter.Create(title + L" ", nullptr) != 0) return E_FAIL;
        res = extracter.result;
    }
    options.failureShown = true;
    if (messages) {
        messages->Clear();
        std::lock_guard<std::mutex> lock(extracter.progressWindow->sync.mutex);
        *messages = extracter.progressWindow->sync.messages;
    }
    if (res == S_OK && cb->IsOK()) {
        usePassword = cb->PasswordIsDefined;
        password = cb->Password;
    }
    RefreshTitle(true);
    return res;
}

HRESULT CPanel::CopyFrom(bool moveMode, const UString &folderPrefix, const UStringVector &filePaths,
                         bool showErrorMessages, UStringVector *messages, bool *failureShown) {
    if (failureShown) *failureShown = false;
    HRESULT res = E_NOINTERFACE;
    if (folderOperations) {
        CPanelCopyFromThread updater;
        if (!updater.progressWindow) return E_FAIL;
        CUpdateCallback100Imp *updateSpec = new CUpdateCallback100Imp;
        updater.updateCallback = updateSpec;
        updater.updateSpec = updateSpec;
        updateSpec->progress = updater.progressWindow;
        updateSpec->Init();
        if (!parentFolders.IsEmpty()) {
            const CFolderLink &link = parentFolders.Back();
            updateSpec->password_defined = link.UsePassword;
            updateSpec->password = link.Password;
            if (!updateSpec->password_defined) {
                updater.archiveRoot = ArchiveRoot(currentFolder);
                updater.archivePath = link.VirtualPath;
            }
        }
        updater.folderOperations = folderOperations;
        updater.folderPrefix = folderPrefix;
        updater.fileNames = filePaths;
        updater.moveMode = moveMode;
        {
            CPanelBusyGuard busy(*this);
            if (updater.Create(UString(L"正在复制... "), nullptr) != 0) return E_FAIL;
        }
        res = updater.notSupported ? E_NOINTERFACE : updater.result;
        if (failureShown) *failureShown = res != E_NOINTERFACE;
        if (messages) {
            std::lock_guard<std::mutex> lock(updater.progressWindow->sync.mutex);
            *messages = updater.progressWindow->sync.messages;
        }
        // A password given during the run holds for the rest of the session on this level.
        if (res == S_OK && updateSpec->password_asked && !parentFolders.IsEmpty()) {
            parentFolders.Back().UsePassword = true;
            parentFolders.Back().Password = updateSpec->password;
        }
        if (res != E_NOINTERFACE) {
            RefreshTitle(true);
            return res;
        }
    }
    const UString text(L"不支持当前操作");
    if (showErrorMessages)
        MessageBoxW(text);
    else if (messages)
        messages->Add(text);
    return E_ABORT;
}

void CPanel::CopyFromNoAsk(const UStringVector &filePaths) {
    const bool timer = timerEnabled;
    timerEnabled = false;
    CSelectedState state;
    SaveSelectedState(state);
    bool failureShown = false;
    const HRESULT res = CopyFrom(false, UString(), filePaths, true, nullptr, &failureShown);
    {
        CSwitchesSaver off(*this);
        if (res == S_OK) RefreshListCtrl(state);
    }
    SetFocusToList();
    if (res != S_OK && res != E_ABORT && !failureShown) MessageBoxError(res);
    timerEnabled = timer;
}

void CPanel::CopyFromAsk(const UStringVector &filePaths) {
    UString text(L"您确定复制文件到压缩包");
    text.Add_LF();
    text += L'\'';
    text += currentFolderPrefix;
    text += L"\' ?";
    if (::MessageBoxW(GetParent(), text, L"确认文件复制", 1050) != dialog_result::ok) return;
    CopyFromNoAsk(filePaths);
}

void CPanel::TestArchives() {
    CRecordVector<UInt32> indices;
    GetOperatedIndicesSmart(indices);
    CMyComPtr<IArchiveFolder> archiveFolder;
    currentFolder.QueryInterface(IID_IArchiveFolder, &archiveFolder);
    if (archiveFolder) {
        if (indices.IsEmpty()) return;
        CCopyToOptions options;
        options.testMode = true;
        options.streamMode = true; // the tested items are counted through the stream callbacks
        options.includeAltStreams = true;
        options.showErrorMessages = true;
        const HRESULT res = CopyToWithLevelPassword(options, indices);
        if (res != S_OK && res != E_ABORT && !options.failureShown) MessageBoxError(res);
        return;
    }
    if (!IsFSFolder()) {
        MessageBoxErrorLang(L"不支持当前操作");
        return;
    }
    UStringVector paths;
    GetFilePaths(indices, paths, false);
    if (paths.IsEmpty()) return;
    // The test command of the runner, on its own thread like extraction.
    UStringVector words = ExtractCommandWords(paths, UString(), false);
    words[0] = L"t";
    StartRunnerThread(words, mainWin);
}

void CPanel::OnCopy(bool move, bool) {
    CSwitchesSaver switches(*this);
    if (move) {
        if (!CheckBeforeUpdate(L"移动")) return;
        // Nothing moves items out of an archive: refused before a folder is made or recorded.
        if (!parentFolders.IsEmpty()) {
            MessageBoxErrorLang(L"不支持当前操作");
            return;
        }
    } else if (!folderOperations) {
        MessageBoxErrorLang(L"不支持当前操作");
        return;
    }
    CRecordVector<UInt32> indices;
    GetOperatedIndicesSmart(indices);
    if (indices.IsEmpty()) return;

    UString proposed = GetFsPath();
    while (!proposed.IsEmpty()) {
        if (proposed.Back() == L'/' && proposed.Len() > 1) proposed.DeleteBack();
        if (NFile::NFind::DoesDirExist(proposed)) break;
        const int slash = proposed.ReverseFind(L'/');
        if (slash <= 0) {
            proposed = L"/";
            break;
        }
        proposed.DeleteFrom((unsigned)slash);
    }
    NFile::NName::NormalizeDirPathPrefix(proposed);

    CObjectVector<UString> history;
    ReadCopyHistory(history);
    auto info = std::make_shared<copy_info>();
    info->title = move ? L"移动文件" : L"复制文件";
    info->prompt = move ? L"移动到：" : L"复制到：";
    info->value = proposed;
    info->info = GetItemsInfoString(indices);
    info->history = history;
    if (show_copywindow(info) != dialog_result::ok) return;

    UString dest = info->value;
    if (dest.IsEmpty()) {
        MessageBoxErrorLang(L"不支持当前操作");
        return;
    }
    {
        UString corrected;
        CorrectFsPath(dest, corrected);
        dest = corrected;
        if (!NFile::NName::IsAbsolutePath(dest)) dest.Insert(0, GetFsPath());
    }
    // A destination typed without a trailing "/" that names an existing folder means that folder.
    if (dest.Back() != L'/' && NFile::NFind::DoesDirExist(dest)) dest += L'/';
    {
        UString shown = GetFsPath();
        if (CompareFileNames(dest, shown) == 0 || (dest + L"/" == shown)) {
            MessageBoxMyError(move ? L"不能移动文件到同一目录中" : L"不能复制文件到同一目录中");
            return;
        }
    }
    UString destFolder = dest;
    const bool underTypedName = indices.Size() == 1 && dest.Back() != L'/';
    if (underTypedName) {
        const int slash = dest.ReverseFind(L'/');
        if (slash < 0) {
            MessageBoxErrorLang(L"不支持当前操作");
            return;
        }
        destFolder.DeleteFrom((unsigned)slash + 1);
    } else {
        NFile::NName::NormalizeDirPathPrefix(dest);
        destFolder = dest;
    }
    if (!NFile::NDir::CreateComplexDir(destFolder)) {
        MessageBoxError2Lines(destFolder, (HRESULT)errno);
        return;
    }
    AddUniqueStringToHeadOfList(history, dest);
    while (history.Size() > 20)
        history.DeleteBack();
    SaveCopyHistory(history);

    CSelectedState state;
    SaveSelectedState(state);
    CCopyToOptions options;
    options.moveMode = move;
    options.includeAltStreams = true;
    options.replaceAltStreamChars = false;
    options.showErrorMessages = true;
    options.destFolder = dest;
    HRESULT res;
    if (underTypedName && !parentFolders.IsEmpty())
        res = CopyOutUnderName(*this, options, indices[0], dest, destFolder);
    else
        res = CopyToWithLevelPassword(options, indices);
    if (res != S_OK && res != E_ABORT && !options.failureShown) MessageBoxError(res, L"错误");
    RefreshTitle(true);
    RefreshListCtrl(state);
}
