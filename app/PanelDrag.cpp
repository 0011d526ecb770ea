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
#include "archive/ui-common/ExtractingFilePath.h"
#include "PanelCopy.h"
#include "filemanager/TempFolders.h"
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

QMimeData *CPanel::PrepareDragData(const CRecordVector<UInt32> &indices) {
    if (indices.IsEmpty()) return nullptr;
    QList<QUrl> urls;
    if (IsFSFolder()) {
        const UString prefix = GetFsPath();
        FOR_VECTOR(i, indices)
        urls << QUrl::fromLocalFile(ToQ(prefix + GetItemRelPath((int)indices[i])));
    } else {
        // Items of an archive are offered only as files that exist: they are extracted first.
        UStringVector names;
        FOR_VECTOR(i, indices)
        names.Add(Get_Correct_FsFile_Name(GetItemName((int)indices[i])));
        auto dir = std::make_shared<NFile::NDir::CTempDir>();
        if (!dir->Create(kTempFolderPrefix_Drag)) {
            MessageBoxMyError(L"创建临时目录失败");
            return nullptr;
        }
        g_temp_dirs_.push_back(dir);
        UString prefix = dir->GetPath();
        NFile::NName::NormalizeDirPathPrefix(prefix);
        CCopyToOptions options;
        options.includeAltStreams = true;
        options.destFolder = prefix;
        bool usePassword = false;
        UString password;
        if (!parentFolders.IsEmpty()) {
            usePassword = parentFolders.Back().UsePassword;
            password = parentFolders.Back().Password;
        }
        UStringVector messages;
        const HRESULT res = CopyTo(options, indices, &messages, usePassword, password);
        if (res == S_OK && !parentFolders.IsEmpty()) {
            parentFolders.Back().UsePassword = usePassword;
            parentFolders.Back().Password = password;
        }
        if (res != S_OK) {
            if (res != E_ABORT && messages.IsEmpty()) MessageBoxError(res);
            return nullptr;
        }
        FOR_VECTOR(i, names) {
            const UString path = prefix + names[i];
            // An item the extraction skipped is not offered.
            if (NFile::NFind::DoesFileOrDirExist(path)) urls << QUrl::fromLocalFile(ToQ(path));
        }
    }
    if (urls.isEmpty()) return nullptr;
    QMimeData *data = new QMimeData;
    data->setUrls(urls);
    return data;
}

void CPanel::OnDrag() {
    if (!folderOperations || !mainWin) return;
    CRecordVector<UInt32> indices;
    GetOperatedItemIndices(indices);
    if (indices.IsEmpty()) return;
    const bool timer = timerEnabled;
    timerEnabled = false;
    QMimeData *data = nullptr;
    try {
        data = PrepareDragData(indices);
    } catch (...) {
        timerEnabled = timer;
        throw;
    }
    QWidget *view = mainWin->get_view_widget();
    if (data) {
        QDrag *drag = new QDrag(view);
        drag->setMimeData(data);
        drag->exec(Qt::CopyAction);
    }
    if (auto *itemView = qobject_cast<QAbstractItemView *>(view)) itemView->clearSelection();
    timerEnabled = timer;
}
