// Drag and drop of local files: a drag offers the selected items as file URLs; a drop copies or
// moves the files into the shown disk folder, or adds them to the shown archive folder. Both
// drop operations run on a worker behind the progress window, with the panel marked busy so the
// list is reloaded only when they are done.
#include <QAbstractItemView>
#include <QApplication>
#include <QDrag>
#include <QMimeData>
#include <QUrl>

#include <map>
#include <memory>

#include "Panel.h"
#include "ProgressThreadVirt.h"
#include "archive/IPassword.h"
#include "dialogcodes.h"
#include "filemanager/FSFolder.h"
#include "mainwindow.h"
#include "overwritewindow.h"
#include "progresswindow.h"
#include "windows/FileDir.h"
#include "windows/FileFind.h"
#include "windows/FileName.h"

using namespace NWindows;

namespace {

QString ToQ(const UString &s) {
    return QString::fromWCharArray(s.Ptr(), (int)s.Len());
}

// Groups full paths by their folder: folder -> names in it.
std::map<std::wstring, UStringVector> GroupByFolder(const UStringVector &paths) {
    std::map<std::wstring, UStringVector> groups;
    FOR_VECTOR(i, paths) {
        UString path = paths[i];
        while (path.Len() > 1 && path.Back() == L'/')
            path.DeleteBack();
        UString dir, name;
        NFile::NDir::GetFullPathAndSplit(path, dir, name);
        if (name.IsEmpty()) continue;
        groups[std::wstring(dir.Ptr())].Add(name);
    }
    return groups;
}

// What both drop callbacks report to the progress window, and its stop flag.
struct CWindowProgress {
    progresswindow *window = nullptr;

    HRESULT Check() { return window ? window->sync.CheckStop() : S_OK; }
    HRESULT Total(UInt64 total) {
        if (window) window->sync.Set_NumBytesTotal(total);
        return Check();
    }
    HRESULT Completed(const UInt64 *value) {
        if (window && value) return window->sync.Set_NumBytesCur(value);
        return Check();
    }
    HRESULT Path(const wchar_t *path) {
        if (window) window->sync.Set_FilePath(path);
        return Check();
    }
    HRESULT Message(const wchar_t *message) {
        if (window) window->sync.AddError_Message(message);
        return Check();
    }
    HRESULT NumFiles(UInt64 numFiles) {
        if (window) window->sync.Set_NumFilesTotal(numFiles);
        return Check();
    }
};

// Progress, stop flag and the overwrite question of a copy or move into a disk folder.
class CDropCopyCallback : public IFolderOperationsExtractCallback, public CWindowProgress, public CMyUnknownImp {
public:
    COM_UNKNOWN_IMP(IFolderOperationsExtractCallback)

    int answerAll = 0; // 0 ask, 1 replace all, 2 skip all

    HRESULT SetTotal(UInt64 total) override { return Total(total); }
    HRESULT SetCompleted(const UInt64 *value) override { return Completed(value); }
    HRESULT AskWrite(const wchar_t *srcPath, Int32, const FILETIME *srcTime, const UInt64 *srcSize,
                     const wchar_t *destPathRequest, BSTR *destPathResult, Int32 *writeAnswer) override {
        *destPathResult = nullptr;
        *writeAnswer = 1;
        NFile::NFind::CFileInfo existing;
        if (!existing.Find(destPathRequest)) return S_OK;
        if (answerAll == 1) return S_OK;
        if (answerAll == 2) {
            *writeAnswer = 0;
            return S_OK;
        }
        auto info = std::make_shared<overwrite_info>();
        info->parent = window;
        info->old_file.name = destPathRequest;
        info->old_file.sizeDefined = true;
        info->old_file.size = existing.Size;
        info->old_file.timeDefined = true;
        info->old_file.time = existing.MTime;
        info->new_file.name = srcPath;
        info->new_file.sizeDefined = srcSize != nullptr;
        if (srcSize) info->new_file.size = *srcSize;
        info->new_file.timeDefined = srcTime != nullptr;
        if (srcTime) info->new_file.time = *srcTime;
        switch (show_overwritewindow(info)) {
        case dialog_result::yes:
            return S_OK;
        case dialog_result::yes_to_all:
            answerAll = 1;
            return S_OK;
        case dialog_result::no:
            *writeAnswer = 0;
            return S_OK;
        case dialog_result::no_to_all:
            answerAll = 2;
            *writeAnswer = 0;
            return S_OK;
        case dialog_result::auto_rename: {
            UString path = destPathRequest;
            if (!AutoRenamePath(path)) return E_ABORT;
            *destPathResult = ::SysAllocString(path);
            return S_OK;
        }
        default:
            return E_ABORT;
        }
    }
    HRESULT ShowMessage(const wchar_t *message) override { return Message(message); }
    HRESULT SetCurrentFilePath(const wchar_t *path) override { return Path(path); }
    HRESULT SetNumFiles(UInt64 numFiles) override { return NumFiles(numFiles); }
};

// Progress and messages of an addition to an archive, and the password of its level.
class CDropUpdateCallback : public IFolderArchiveUpdateCallback,
                            public ICryptoGetTextPassword2,
                            public CWindowProgress,
                            public CMyUnknownImp {
public:
    COM_UNKNOWN_IMP(IFolderArchiveUpdateCallback, ICryptoGetTextPassword2)

    bool usePassword = false;
    UString password;

    HRESULT SetTotal(UInt64 total) override { return Total(total); }
    HRESULT SetCompleted(const UInt64 *value) override { return Completed(value); }
    HRESULT CompressOperation(const wchar_t *name) override { return Path(name); }
    HRESULT DeleteOperation(const wchar_t *name) override { return Path(name); }
    HRESULT OperationResult(Int32) override { return Check(); }
    HRESULT UpdateErrorMessage(const wchar_t *message) override { return Message(message); }
    HRESULT SetNumFiles(UInt64 numFiles) override { return NumFiles(numFiles); }
    HRESULT CryptoGetTextPassword2(Int32 *defined, BSTR *result) override {
        *defined = usePassword ? 1 : 0;
        *result = ::SysAllocString(usePassword ? password.Ptr() : L"");
        return *result ? S_OK : E_OUTOFMEMORY;
    }
};

class CDropWorker : public CProgressThreadVirt {
public:
    bool toArchive = false;
    bool moveMode = false;
    UString destFolder; // disk destination, ending in "/"
    CMyComPtr<IFolderOperations> archiveOps;
    std::map<std::wstring, UStringVector> groups;
    bool usePassword = false;
    UString password;

    HRESULT ProcessVirt() override {
        for (const auto &group : groups) {
            const UString dir(group.first.c_str());
            const UStringVector &names = group.second;
            if (toArchive) {
                CDropUpdateCallback *callbackImpl = new CDropUpdateCallback;
                CMyComPtr<IFolderArchiveUpdateCallback> callback = callbackImpl;
                callbackImpl->window = progressWindow;
                callbackImpl->usePassword = usePassword;
                callbackImpl->password = password;
                std::vector<const wchar_t *> ptrs;
                FOR_VECTOR(i, names)
                ptrs.push_back(names[i]);
                RINOK(archiveOps->CopyFrom(moveMode ? 1 : 0, dir, ptrs.data(), (UInt32)ptrs.size(), callback));
            } else {
                if (dir == destFolder) continue; // already there
                CMyComPtr<IFolderFolder> source;
                RINOK(NFsFolder::CreateFsFolder(dir, &source));
                RINOK(source->LoadItems());
                CMyComPtr<IFolderGetItemName> getName;
                source.QueryInterface(IID_IFolderGetItemName, &getName);
                CMyComPtr<IFolderOperations> ops;
                source.QueryInterface(IID_IFolderOperations, &ops);
                if (!ops || !getName) return E_NOTIMPL;
                UInt32 num = 0;
                source->GetNumberOfItems(&num);
                CRecordVector<UInt32> indices;
                for (UInt32 i = 0; i < num; i++) {
                    const wchar_t *name = nullptr;
                    unsigned len = 0;
                    getName->GetItemName(i, &name, &len);
                    if (!name) continue;
                    FOR_VECTOR(k, names)
                    if (names[k] == name) {
                        indices.Add(i);
                        break;
                    }
                }
                if (indices.IsEmpty()) continue;
                CDropCopyCallback *callbackImpl = new CDropCopyCallback;
                CMyComPtr<IFolderOperationsExtractCallback> callback = callbackImpl;
                callbackImpl->window = progressWindow;
                RINOK(ops->CopyTo(moveMode ? 1 : 0, &indices[0], indices.Size(), 0, 0, destFolder, callback));
            }
        }
        return S_OK;
    }
};

HRESULT RunDropWorker(CPanel &panel, CDropWorker &worker, const UString &title) {
    CPanelBusyGuard busy(panel);
    if (!worker.progressWindow) return worker.ProcessVirt();
    worker.progressWindow->sync.Set_TitleFileName(title);
    const int res = worker.Create(title, nullptr);
    if (res != 0) return E_FAIL;
    return worker.result == E_ABORT ? E_ABORT : S_OK; // errors were shown by the progress window
}

} // namespace

HRESULT CPanel::CopyDropFilesToDisk(const UStringVector &fileNames, bool moveMode) {
    CDropWorker worker;
    worker.moveMode = moveMode;
    worker.destFolder = GetFsPath();
    NFile::NName::NormalizeDirPathPrefix(worker.destFolder);
    worker.groups = GroupByFolder(fileNames);
    return RunDropWorker(*this, worker, moveMode ? UString(L"移动") : UString(L"复制"));
}

HRESULT CPanel::AddDropFilesToArchive(const UStringVector &fileNames) {
    CDropWorker worker;
    worker.toArchive = true;
    worker.archiveOps = folderOperations;
    worker.groups = GroupByFolder(fileNames);
    if (!parentFolders.IsEmpty()) {
        worker.usePassword = parentFolders.Back().UsePassword;
        worker.password = parentFolders.Back().Password;
    }
    return RunDropWorker(*this, worker, UString(L"添加"));
}

void CPanel::CompressDropFiles(const UStringVector &fileNames, const UString &folderPath, bool moveMode) {
    if (fileNames.IsEmpty() || !currentFolder) return;
    HRESULT res;
    if (IsFSFolder() && folderPath.IsEmpty())
        res = CopyDropFilesToDisk(fileNames, moveMode);
    else if (folderOperations && !IsFSFolder() && !IsRootFolder())
        res = AddDropFilesToArchive(fileNames);
    else {
        MessageBoxMyError(L"不支持当前操作");
        return;
    }
    if (res != S_OK && res != E_ABORT) MessageBoxError(res);
}

void CPanel::OnDrag() {
    if (!folderOperations || !mainWin) return;
    CRecordVector<UInt32> indices;
    GetOperatedItemIndices(indices);
    if (indices.IsEmpty()) return;
    // Items inside an archive are offered once the area that copies out of archives exists.
    if (!IsFSFolder()) return;
    const bool timer = timerEnabled;
    timerEnabled = false;
    QList<QUrl> urls;
    const UString prefix = GetFsPath();
    FOR_VECTOR(i, indices)
    urls << QUrl::fromLocalFile(ToQ(prefix + GetItemRelPath((int)indices[i])));
    QMimeData *data = new QMimeData;
    data->setUrls(urls);
    QWidget *view = mainWin->get_view_widget();
    QDrag *drag = new QDrag(view);
    drag->setMimeData(data);
    drag->exec(Qt::CopyAction);
    if (auto *itemView = qobject_cast<QAbstractItemView *>(view)) itemView->clearSelection();
    timerEnabled = timer;
}

// The command runner, the folder operations and the menus bring the real bodies; these stand in
// until then.
__attribute__((weak)) void CPanel::CreateFileMenu(QMenu *) {}
__attribute__((weak)) void CPanel::OnFileMenu(int) {}
__attribute__((weak)) bool CPanel::IsThereReadOnlyFolder() {
    return false;
}
