// Opening the panel's items: a disk file as a new archive level or with its program; an item of
// an archive as a nested level or, copied out into a temporary folder, with its program, whose
// end is watched; and writing a changed copy back into its archive through every level up to
// the archive on disk.
#include <QApplication>
#include <QTimer>

#include <memory>

#include "CellText.h"
#include "Panel.h"
#include "PanelCopy.h"
#include "ProgressThreadVirt.h"
#include "archive/PropID.h"
#include "archive/common/BufInStream.h"
#include "archive/ui-common/ExtractingFilePath.h"
#include "ErrorText.h"
#include "dialogcodes.h"
#include "ArchiveWriteBack.h"
#include "ItemNameChecks.h"
#include "OutsidePrograms.h"
#include "TempFolders.h"
#include "TmpProcessWatcher.h"
#include "UpdateCallback100.h"
#include "VirtFileSystem.h"
#include "ZipRegistry.h"
#include "PanelHost.h"
#include "messagebox.h"
#include "module.h"
#include "progresswindow.h"
#include "windows/FileDir.h"
#include "windows/FileFind.h"
#include "windows/FileName.h"
#include "windows/PropVariant.h"

using namespace NWindows;

// An item handed to an outside program, as the panel found it: where to write it back.
struct COpenedItem {
    UString FilePath;   // the temporary copy
    UString FolderPath; // its temporary folder
    CFileStamp Stamp;   // the copy right after extraction
    UString RelPath;
    UString ItemName;
    bool UsePassword = false;
    UString Password;
    UInt32 ItemIndex = 0;
    unsigned Level = 0; // its archive level in parentFolders
    CMyComPtr<IFolderFolder> Folder;
    // A folder of every level from the outermost to the item's, held so that the levels can be
    // recognised later (a level closed and opened again is another archive object).
    std::vector<CMyComPtr<IFolderFolder>> LevelFolders;
};

namespace {

const int kWatcherStartFailed = 271824;

// A folder of archive level j as the panel holds it now.
IFolderFolder *LevelFolderNow(const CPanel &panel, unsigned j) {
    if (j + 1 < panel.parentFolders.Size()) return panel.parentFolders[j + 1].ParentFolder;
    return panel.currentFolder;
}

UString LastPart(const UString &path) {
    const int slash = path.ReverseFind_PathSepar();
    return slash < 0 ? path : UString(path.Ptr((unsigned)slash + 1));
}

UString ItemNameOf(IFolderFolder *folder, UInt32 index) {
    NCOM::CPropVariant prop;
    if (folder->GetProperty(index, kpidName, &prop) == S_OK && prop.vt == VT_BSTR) return UString(prop.bstrVal);
    return UString();
}

// The item's index now: an edit of the folder reopens its archive and may reorder the rows.
UInt32 FindItem(IFolderFolder *folder, const UString &name, UInt32 known) {
    UInt32 num = 0;
    if (!folder || folder->GetNumberOfItems(&num) != S_OK) return known;
    if (known < num && ItemNameOf(folder, known) == name) return known;
    for (UInt32 i = 0; i < num; i++)
        if (ItemNameOf(folder, i) == name) return i;
    return known;
}

std::shared_ptr<CFileStamp> *FindStamp(CPanel &panel, const UString &path) {
    for (auto &entry : panel.linkStamps)
        if (entry.first == path) return &entry.second;
    return nullptr;
}

void RecordStamp(CPanel &panel, const UString &path) {
    auto stamp = std::make_shared<CFileStamp>();
    stamp->Read(path);
    std::shared_ptr<CFileStamp> *known = FindStamp(panel, path);
    if (known)
        *known = stamp;
    else
        panel.linkStamps.emplace_back(path, stamp);
}

void ForgetStamp(CPanel &panel, const UString &path) {
    for (size_t i = 0; i < panel.linkStamps.size(); i++)
        if (panel.linkStamps[i].first == path) {
            panel.linkStamps.erase(panel.linkStamps.begin() + (std::ptrdiff_t)i);
            return;
        }
}

class CThreadCopyFrom : public CProgressThreadVirt {
public:
    CObjectVector<CWriteBackLevel> levels;
    unsigned numWritten = 0;
    HRESULT writeResult = E_FAIL;

    HRESULT ProcessVirt() override {
        writeResult = WriteBackThroughLevels(levels, numWritten);
        // The panel tells what failed, with the file that keeps the change.
        return writeResult == E_ABORT ? E_ABORT : S_OK;
    }
};

// Writes filePath as item index of folder, a folder of archive level `level`, and then the file
// of each level into the level above, up to the archive on disk. Nothing is written unless every
// level can take it.
HRESULT WriteBack(CPanel &panel, IFolderFolder *folder, unsigned level, UInt32 index, const UString &filePath,
                  bool usePassword, const UString &password, const UString &title) {
    if (!folder || level >= panel.parentFolders.Size()) return E_FAIL;
    CThreadCopyFrom worker;
    if (!worker.progressWindow) return E_FAIL;
    std::vector<CUpdateCallback100Imp *> callbacks;
    auto add = [&](IFolderFolder *f, UInt32 item, const UString &path, bool usePw, const UString &pw) {
        CWriteBackLevel &l = worker.levels.AddNew();
        f->QueryInterface(IID_IFolderOperations, reinterpret_cast<void **>(&l.Folder));
        l.ItemIndex = item;
        l.FilePath = path;
        CUpdateCallback100Imp *cb = new CUpdateCallback100Imp;
        l.Progress = static_cast<IFolderArchiveUpdateCallback *>(cb);
        cb->progress = worker.progressWindow;
        cb->Init();
        cb->password_defined = usePw;
        cb->password = pw;
        callbacks.push_back(cb);
    };
    add(folder, index, filePath, usePassword, password);
    for (unsigned j = level; j >= 1; j--) {
        const CFolderLink &link = panel.parentFolders[j];
        // A level read straight from the archive above (or from memory) has no file to carry up.
        if (link.IsVirtual || !link.ParentFolder) return E_NOTIMPL;
        const CFolderLink &outer = panel.parentFolders[j - 1];
        add(link.ParentFolder, FindItem(link.ParentFolder, LastPart(link.RelPath), link.FileIndex), link.FilePath,
            outer.UsePassword, outer.Password);
    }
    worker.progressWindow->compress_mode = true;
    worker.progressWindow->sync.Set_TitleFileName(title);
    {
        CPanelBusyGuard busy(panel);
        if (worker.Create(UString(L"正在更新... "), nullptr) != 0) return E_FAIL;
    }
    if (worker.result == E_ABORT && worker.writeResult == E_FAIL) worker.writeResult = E_ABORT;
    // Entry k > 0 carried the file of level (level - k + 1) into the level above it: that file is
    // in step with its archive again.
    for (unsigned k = 0; k < worker.numWritten; k++) {
        const unsigned passwordLevel = level - k;
        if (callbacks[k]->password_asked) {
            panel.parentFolders[passwordLevel].UsePassword = true;
            panel.parentFolders[passwordLevel].Password = callbacks[k]->password;
        }
        if (k > 0) RecordStamp(panel, panel.parentFolders[level - k + 1].FilePath);
    }
    return worker.writeResult;
}

UString WriteBackFailure(const UString &filePath, HRESULT res) {
    UString m = MyFormatNew(UString(L"无法更新文件\n{0}。"), filePath);
    m += L"\n";
    m += res == E_NOTIMPL ? UString(L"不支持当前操作") : HResultToMessage(res);
    return m;
}

// Whether a change of an item of folder (a folder of archive level `level`) can go back into the
// archive on disk: every level from there up is written in turn.
bool CanWriteBackAt(const CPanel &panel, IFolderFolder *folder, unsigned level) {
    if (level >= panel.parentFolders.Size() || !CanWriteIntoFolder(folder)) return false;
    for (unsigned j = level; j >= 1; j--) {
        const CFolderLink &link = panel.parentFolders[j];
        if (link.IsVirtual || !CanWriteIntoFolder(link.ParentFolder)) return false;
    }
    return true;
}

// A changed copy that does not go back into its archive stays, and the user learns where.
void TellKeptCopy(CPanel &panel, const UString &relPath, const UString &filePath, bool declined) {
    UString m = MyFormatNew(
        UString(declined ? L"文件{0}的修改没有更新到压缩文件中。" : L"文件{0}已修改，但无法在压缩文件中更新。"),
        relPath);
    m += L"\n修改后的文件保留在：\n";
    m += filePath;
    panel.MessageBoxMyError(m);
}

void DeleteCopy(const COpenedItem &item) {
    NFile::NDir::DeleteFileAlways(item.FilePath);
    // Only an empty folder goes: anything the program saved beside the copy stays.
    NFile::NDir::RemoveDir(item.FolderPath);
}

bool IsCopyUnchanged(const COpenedItem &item) {
    CFileStamp now;
    return item.Stamp.Valid && now.Read(item.FilePath) && now == item.Stamp;
}

bool SameLevels(const CPanel &panel, const COpenedItem &item) {
    if (panel.parentFolders.Size() <= item.Level || item.LevelFolders.size() != item.Level + 1) return false;
    for (unsigned j = 0; j <= item.Level; j++) {
        IFolderFolder *now = LevelFolderNow(panel, j);
        if (!now || ArchiveIdentity(now) != ArchiveIdentity(item.LevelFolders[j])) return false;
    }
    return true;
}

// Runs on the watcher's thread: the rest happens on the GUI thread, with whichever panel is
// there then (none when the program is ending).
void PostWatchEnd(EWatchEnd end, std::unique_ptr<CTmpProcessInfo> done) {
    std::shared_ptr<CTmpProcessInfo> info(done.release());
    QCoreApplication *app = QCoreApplication::instance();
    if (!app || end == EWatchEnd::KeptStopped) return;
    QMetaObject::invokeMethod(
        app,
        [end, info] {
            CPanelHost *w = dynamic_cast<CPanelHost *>(_module.get_mainwindow());
            if (w && w->get_panel()) w->get_panel()->OnOpenedItemWatchEnded((int)end, info);
        },
        Qt::QueuedConnection);
}

} // namespace

bool CPanel::IsVirus_Message(const UString &name) {
    UString message;
    if (!GetSuspiciousNameMessage(name, message)) return false;
    MessageBoxMyError(message);
    return true;
}

void CPanel::OpenItem(int index, bool tryInternal, bool tryExternal, const wchar_t *type) {
    CSwitchesSaver switches(*this);
    const UString relPath = GetItemRelPath(index);
    if (IsVirus_Message(relPath)) return;
    if (!parentFolders.IsEmpty()) {
        OpenItemInArchive(index, tryInternal, tryExternal, false, false, type);
        return;
    }
    const UString fullPath = GetFsPath() + relPath;
    if (tryInternal) {
        if (tryExternal && FindExt(kStartExtensions, relPath)) {
            StartApplication(fullPath, GetParent());
            return;
        }
        // Every failure but "no archive" has been reported by now; a file that is no archive goes
        // to the desktop.
        const HRESULT res = OpenItemAsArchive(index, type);
        if (res == S_FALSE && tryExternal) StartApplication(fullPath, GetParent());
        return;
    }
    if (tryExternal) StartApplication(fullPath, GetParent());
}

void CPanel::OpenItemInArchive(int index, bool tryInternal, bool tryExternal, bool editMode, bool,
                               const wchar_t *type) {
    const UString name = GetItemName(index);
    const UString relPath = GetItemRelPath(index);
    if (IsVirus_Message(name)) return;
    if (!folderOperations) {
        MessageBoxErrorLang(L"不支持当前操作");
        return;
    }
    // Documents that are zip files inside go to their program.
    if (tryInternal && tryExternal && FindExt(kStartExtensions, name)) tryInternal = false;
    const UString virtualPath = currentFolderPrefix + relPath;
    const UString arcType(type ? type : L"");

    std::unique_ptr<NFile::NDir::CTempDir> tempDir(new NFile::NDir::CTempDir);
    if (!tempDir->Create(kTempFolderPrefix_Open)) {
        MessageBoxLastError();
        return;
    }
    UString tempFolder = tempDir->GetPath();
    CTempFileInfo info;
    info.FileIndex = (UInt32)index;
    info.RelPath = relPath;
    info.FolderPath = tempFolder;
    info.FilePath = tempFolder + L"/" + Get_Correct_FsFile_Name(name);
    info.NeedDelete = true;
    NFile::NName::NormalizeDirPathPrefix(tempFolder);

    // A nested archive of a level that can be written is opened from a file of its own, so that
    // changes made inside it can be carried back up; otherwise straight from the archive or from
    // memory.
    const bool levelWritable = CanWriteIntoFolder(currentFolder);

    auto openedAsLevel = [&](HRESULT res, bool encrypted) {
        if (res == S_OK) {
            tempDir->DisableDeleting(); // the new level owns the folder now
            RefreshListCtrl();
            return true;
        }
        if (res == E_ABORT) return true;
        if (res != S_FALSE || encrypted) {
            if (res == S_FALSE)
                MessageBoxMyError(MyFormatNew(UString(L"无法打开加密压缩包{0}。密码错误？"), virtualPath));
            else
                MessageBoxError(res);
            return true;
        }
        return false;
    };

    if (tryInternal && !levelWritable) {
        CMyComPtr<IInArchiveGetStream> getStream;
        currentFolder.QueryInterface(IID_IInArchiveGetStream, &getStream);
        if (getStream) {
            CMyComPtr<ISequentialInStream> subSeqStream;
            getStream->GetStream((UInt32)index, &subSeqStream);
            CMyComPtr<IInStream> subStream;
            if (subSeqStream) subSeqStream.QueryInterface(IID_IInStream, &subStream);
            if (subStream) {
                bool encrypted = false;
                const HRESULT res = OpenItemAsArchive(subStream, info, virtualPath, arcType, encrypted);
                if (res == S_OK || res == E_ABORT) {
                    openedAsLevel(res, encrypted);
                    return;
                }
            }
        }
    }

    CCopyToOptions options;
    options.includeAltStreams = true;
    options.replaceAltStreamChars = IsItem_AltStream(index);
    options.showErrorMessages = true;
    options.destFolder = tempFolder;

    CVirtFileSystem *memorySpec = nullptr;
    CMyComPtr<ISequentialOutStream> memory;
    if (tryInternal && !levelWritable) {
        const UInt64 limit = g_RAM_Size / 4;
        // An unknown size counts as the limit.
        NCOM::CPropVariant sizeProp;
        currentFolder->GetProperty((UInt32)index, kpidSize, &sizeProp);
        const UInt64 size = sizeProp.vt == VT_EMPTY ? limit : GetItemSize(index);
        if (size != 0 && size <= limit) {
            memorySpec = new CVirtFileSystem;
            memory = memorySpec;
            memorySpec->MaxTotalAllocSize = limit + 1024;
            memorySpec->DirPrefix = tempFolder;
            memorySpec->Init();
            options.streamMode = true;
            options.memoryTargetSpec = memorySpec;
            options.memoryTarget = memory;
        }
    }

    CRecordVector<UInt32> indices;
    indices.Add((UInt32)index);
    UStringVector messages;
    const HRESULT copyResult = CopyToWithLevelPassword(options, indices, &messages, true);
    if (!messages.IsEmpty()) return;
    if (copyResult != S_OK) {
        if (copyResult != E_ABORT && !options.failureShown) MessageBoxError(copyResult);
        return;
    }

    if (memorySpec) {
        if (!memorySpec->IsFileMode() && memorySpec->Files.Size() > 0 && !memorySpec->Files[0].IsDir) {
            const CVirtFile &file = memorySpec->Files[0];
            CBufInStream *bufSpec = new CBufInStream;
            CMyComPtr<IInStream> buf = bufSpec;
            bufSpec->Init(file.Data, (size_t)file.WrittenSize, memory);
            bool encrypted = false;
            // Any failure here is tried again, and reported, from the file on disk.
            const HRESULT res = OpenItemAsArchive(buf, info, virtualPath, arcType, encrypted);
            if (res == S_OK || res == E_ABORT) {
                openedAsLevel(res, encrypted);
                return;
            }
        }
        if (memorySpec->FlushToDisk(true) != S_OK) return;
    }

    if (tryInternal) {
        bool encrypted = false;
        if (openedAsLevel(OpenItemAsArchive(nullptr, info, virtualPath, arcType, encrypted), encrypted)) return;
    }

    if (!NFile::NFind::DoesFileExist(info.FilePath) || !tryExternal) return; // the folder goes with tempDir

    std::unique_ptr<CTmpProcessInfo> process(new CTmpProcessInfo);
    process->FileIndex = (UInt32)index;
    process->RelPath = relPath;
    process->FolderPath = info.FolderPath;
    process->FilePath = info.FilePath;
    process->FileInfo.Find(info.FilePath);
    process->Stamp.Read(info.FilePath);
    process->NeedDelete = true;
    process->FullPathFolderPrefix = currentFolderPrefix;
    if (!parentFolders.IsEmpty()) {
        process->UsePassword = parentFolders.Back().UsePassword;
        process->Password = parentFolders.Back().Password;
    }

    auto record = std::make_shared<COpenedItem>();
    record->FilePath = info.FilePath;
    record->FolderPath = info.FolderPath;
    record->Stamp = process->Stamp;
    record->RelPath = relPath;
    record->UsePassword = process->UsePassword;
    record->Password = process->Password;
    record->ItemName = name;
    record->ItemIndex = (UInt32)index;
    record->Level = parentFolders.Size() - 1;
    record->Folder = currentFolder;
    for (unsigned j = 0; j < parentFolders.Size(); j++)
        record->LevelFolders.push_back(CMyComPtr<IFolderFolder>(LevelFolderNow(*this, j)));

    const bool started =
        editMode ? StartEditApplication(info.FilePath, GetParent()) : StartApplication(info.FilePath, GetParent());
    if (!started) return;
    // From here on the program may have the file: it is never deleted behind its back.
    tempDir->DisableDeleting();
    openedItems.push_back(record);
    if (!watchTiming) watchTiming = std::make_shared<CWatchTiming>();
    if (StartTmpProcessWatcher(process, *watchTiming, PostWatchEnd) != 0) {
        openedItems.pop_back();
        throw kWatcherStartFailed;
    }
}

void CPanel::OnOpenedItemWatchEnded(int end, const std::shared_ptr<CTmpProcessInfo> &info) {
    if (!info) return;
    // Not in the middle of another operation or question: come back when it is over.
    if (busyOperations > 0 || QApplication::activeModalWidget()) {
        if (mainWin)
            QTimer::singleShot(300, mainWin->host_widget(), [this, end, info] { OnOpenedItemWatchEnded(end, info); });
        return;
    }
    std::shared_ptr<COpenedItem> record;
    for (size_t i = 0; i < openedItems.size(); i++)
        if (openedItems[i]->FilePath == info->FilePath) {
            record = openedItems[i];
            openedItems.erase(openedItems.begin() + (std::ptrdiff_t)i);
            break;
        }
    // Without its record the copy was dealt with already (the window was closed meanwhile).
    if (!record) return;
    // Only a copy that the program changed and that is gone from no archive yet needs the user.
    if ((EWatchEnd)end != EWatchEnd::KeptChanged) return;
    OfferChangedCopy(record);
}

void CPanel::OfferChangedCopy(const std::shared_ptr<COpenedItem> &record) {
    // A level that cannot be written (a read-only format, an archive read from a stream, an
    // archive closed meanwhile) gets no question that could only fail.
    if (!SameLevels(*this, *record) || !CanWriteBackAt(*this, record->Folder, record->Level)) {
        TellKeptCopy(*this, record->RelPath, record->FilePath, false);
        return;
    }
    const UString question =
        MyFormatNew(UString(L"文件{0}已修改。\n你想在压缩文件中更新它？"), MaskedItemName(record->RelPath));
    if (::MessageBoxW(GetParent(), question, L"Tarnova", 1044) != dialog_result::ok) {
        TellKeptCopy(*this, record->RelPath, record->FilePath, true);
        return;
    }
    HRESULT res;
    {
        CSwitchesSaver switches(*this);
        res = WriteBack(*this, record->Folder, record->Level,
                        FindItem(record->Folder, record->ItemName, record->ItemIndex), record->FilePath,
                        record->UsePassword, record->Password, record->ItemName);
    }
    if (res == S_OK)
        DeleteCopy(*record);
    else if (res != E_ABORT)
        MessageBoxMyError(WriteBackFailure(record->FilePath, res));
    RefreshListCtrlSaveFocused();
}

void CPanel::CloseForExit() {
    // Copies still with their programs first: their changes go into levels that are still open.
    std::vector<std::shared_ptr<COpenedItem>> items;
    items.swap(openedItems);
    for (const auto &item : items) {
        if (!NFile::NFind::DoesFileExist(item->FilePath) || IsCopyUnchanged(*item))
            DeleteCopy(*item);
        else
            OfferChangedCopy(item);
    }
    if (parentFolders.IsEmpty()) return;
    // Level by level, each changed one asking as leaving it does; then the folder that holds the
    // archive, so that nothing refers to a closed level.
    const UString outerFolder = parentFolders.Front().ParentFolderPath;
    {
        CSwitchesSaver switches(*this);
        while (!parentFolders.IsEmpty())
            CloseOneLevel();
        bool archiveIsOpened = false, encrypted = false;
        BindToPath(outerFolder, UString(), archiveIsOpened, encrypted);
    }
    RefreshListCtrl();
}

void CPanel::ReleaseOpenedItems() {
    // Nobody can be asked any more: unchanged copies go, changed ones stay where they are.
    for (const auto &item : openedItems)
        if (!NFile::NFind::DoesFileExist(item->FilePath) || IsCopyUnchanged(*item)) DeleteCopy(*item);
    openedItems.clear();
}

HRESULT CPanel::OnOpenItemChanged(UInt32 index, const wchar_t *fullFilePath, bool usePassword,
                                  const UString &password) {
    if (!folderOperations || parentFolders.IsEmpty()) {
        MessageBoxErrorLang(L"不支持当前操作");
        return E_FAIL;
    }
    return WriteBack(*this, currentFolder, parentFolders.Size() - 1, index, UString(fullFilePath), usePassword,
                     password, GetItemName((int)index));
}

HRESULT CPanel::OpenParentArchiveFolder() {
    if (parentFolders.Size() < 2) return S_OK;
    CFolderLink &link = parentFolders.Back();
    const unsigned outerLevel = parentFolders.Size() - 2;
    NFile::NFind::CFileInfo fileInfo;
    if (fileInfo.Find(link.FilePath)) {
        bool changed = link.IsVirtual;
        if (!changed) {
            // To the nanosecond, with the change time and the file's identity: a save within the
            // same second, or through a new file, is a change too.
            CFileStamp now;
            now.Read(link.FilePath);
            std::shared_ptr<CFileStamp> *known = FindStamp(*this, link.FilePath);
            changed = !known || !(*known) || !(now == **known);
        }
        if (changed && (_module.is_shutting_down() || !CanWriteBackAt(*this, link.ParentFolder, outerLevel))) {
            // No question that could only fail, or that nobody can answer any more: the level's
            // file is all there is of its changes.
            link.NeedDelete = false;
            if (!_module.is_shutting_down()) TellKeptCopy(*this, link.RelPath, link.FilePath, false);
        } else if (changed) {
            const UString question =
                MyFormatNew(UString(L"文件{0}已修改。\n你想在压缩文件中更新它？"), MaskedItemName(link.RelPath));
            if (::MessageBoxW(GetParent(), question, L"Tarnova", 1044) == dialog_result::ok) {
                const CFolderLink &outer = parentFolders[outerLevel];
                IFolderFolder *folder = link.ParentFolder;
                const HRESULT res =
                    WriteBack(*this, folder, outerLevel, FindItem(folder, LastPart(link.RelPath), link.FileIndex),
                              link.FilePath, outer.UsePassword, outer.Password, LastPart(link.RelPath));
                if (res != S_OK) {
                    // The level's file is all there is of its changes: it stays.
                    link.NeedDelete = false;
                    if (res != E_ABORT)
                        ::MessageBoxW(GetParent(), WriteBackFailure(link.FilePath, res), L"Tarnova", 516);
                    return S_OK;
                }
            }
        }
    }
    ForgetStamp(*this, link.FilePath);
    return S_OK;
}

void CPanel::EditItem(bool useEditor) {
    const int index = GetRealItemIndex(GetCurrentIndex());
    if (index < 0 || IsItem_Folder(index)) return;
    EditItem(index, useEditor);
}

void CPanel::EditItem(int index, bool useEditor) {
    if (!parentFolders.IsEmpty()) {
        OpenItemInArchive(index, false, true, true, useEditor, nullptr);
        return;
    }
    StartEditApplication(GetItemFullPath(index), GetParent());
}

void CPanel::OpenFolderExternal(int index) {
    UString path;
    if (index == -1) {
        path = GetFsPath();
        if (!path.IsEmpty() && path.Back() == L'/') {
            path.DeleteBack();
            const int slash = path.ReverseFind_PathSepar();
            if (slash >= 0) path.DeleteFrom((unsigned)slash + 1);
        }
    } else {
        path = GetFsPath() + GetItemRelPath(index) + L"/";
    }
    StartApplication(path, GetParent());
}
