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
#include "archive/ui-common/ArchiveName.h"
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
    bool moveMode = false;
    CMyComPtr<IFolderOperations> archiveOps;
    std::map<std::wstring, UStringVector> groups;
    bool usePassword = false;
    UString password;

    HRESULT ProcessVirt() override {
        for (const auto &group : groups) {
            const UString dir(group.first.c_str());
            const UStringVector &names = group.second;
            CDropUpdateCallback *callbackImpl = new CDropUpdateCallback;
            CMyComPtr<IFolderArchiveUpdateCallback> callback = callbackImpl;
            callbackImpl->window = progressWindow;
            callbackImpl->usePassword = usePassword;
            callbackImpl->password = password;
            std::vector<const wchar_t *> ptrs;
            FOR_VECTOR(i, names)
            ptrs.push_back(names[i]);
            RINOK(archiveOps->CopyFrom(moveMode ? 1 : 0, dir, ptrs.data(), (UInt32)ptrs.size(), callback));
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

HRESULT CPanel::AddDropFilesToArchive(const UStringVector &fileNames) {
    CDropWorker worker;
    worker.archiveOps = folderOperations;
    worker.groups = GroupByFolder(fileNames);
    if (!parentFolders.IsEmpty()) {
        worker.usePassword = parentFolders.Back().UsePassword;
        worker.password = parentFolders.Back().Password;
    }
    return RunDropWorker(*this, worker, UString(L"添加"));
}

void CPanel::CompressDropFiles(const UStringVector &fileNames, const UString &folderPath, bool) {
    if (fileNames.IsEmpty()) return;
    if (!currentFolder || IsFSFolder() || !folderOperations) {
        // A new archive of the dropped files, named after the first, through the compress dialog.
        UString dest = folderPath;
        if (dest.IsEmpty() && currentFolder) dest = GetFsPath();
        if (dest.IsEmpty()) {
            const UString &first = fileNames[0];
            dest = first.Left((unsigned)(first.ReverseFind(L'/') + 1));
        }
        const UString arcName = CreateArchiveName(fileNames[0], fileNames.Size() > 1, false);
        CompressFiles(dest, arcName, UString(), true, fileNames, false, true, false);
        return;
    }
    if (IsRootFolder()) {
        MessageBoxMyError(L"不支持当前操作");
        return;
    }
    const HRESULT res = AddDropFilesToArchive(fileNames);
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
