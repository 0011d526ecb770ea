// Which folder the panel shows and how it gets there: binding to a full path (through archive
// files), one level up, into an item, the root and drives levels, and the folder history.
#include <QDir>
#include <QFileDialog>

#include "Panel.h"
#include "FSDrives.h"
#include "RootFolder.h"
#include "PanelHost.h"
#include "windows/FileDir.h"
#include "windows/FileName.h"
#include "windows/PropVariant.h"

using namespace NWindows;

static const unsigned kHistoryMax = 10;

UString GetFolderPath(IFolderFolder *folder) {
    if (!folder) return UString();
    NCOM::CPropVariant prop;
    if (folder->GetFolderProperty(kpidPath, &prop) == S_OK && prop.vt == VT_BSTR) return UString(prop.bstrVal);
    return UString();
}

void CTempFileInfo::DeleteDirAndFile() const {
    if (!FilePath.IsEmpty()) NFile::NDir::DeleteFileAlways(FilePath);
    if (!FolderPath.IsEmpty()) NFile::NDir::RemoveDir(FolderPath);
}

CFolderLink::~CFolderLink() {
    if (NeedDelete) DeleteDirAndFile();
}

HRESULT CPanel::SetNewFolder(IFolderFolder *folder) {
    ReleaseFolder();
    if (!folder) return S_OK;
    currentFolder = folder;
    currentFolder.QueryInterface(IID_IFolderCompare, &folderCompare);
    currentFolder.QueryInterface(IID_IFolderGetItemName, &folderGetItemName);
    currentFolder.QueryInterface(IID_IArchiveGetRawProps, &folderRawProps);
    currentFolder.QueryInterface(IID_IFolderAltStreams, &folderAltStreams);
    return currentFolder.QueryInterface(IID_IFolderOperations, &folderOperations);
}

void CPanel::ReleaseFolder() {
    folderCompare.Release();
    folderGetItemName.Release();
    folderRawProps.Release();
    folderAltStreams.Release();
    folderOperations.Release();
    currentFolder.Release();
    hasDeletedItems = false;
}

void CPanel::SetToRootFolder() {
    ReleaseFolder();
    CRootFolder *root = new CRootFolder;
    CMyComPtr<IFolderFolder> folder = root;
    root->Init();
    SetNewFolder(folder);
}

void CPanel::LoadFullPath() {
    if (!mainWin) return;
    currentFolderPrefix.Empty();
    FOR_VECTOR(i, parentFolders) {
        const CFolderLink &link = parentFolders[i];
        currentFolderPrefix += link.ParentFolderPath;
        currentFolderPrefix += link.RelPath;
        currentFolderPrefix += L'/';
    }
    currentFolderPrefix += GetFolderPath(currentFolder);
    mainWin->set_up_enabled(currentFolderPrefix != L"/");
}

void CPanel::LoadFullPathAndShow() {
    LoadFullPath();
    if (!currentFolderPrefix.IsEmpty()) {
        NSynchronization::CCriticalSectionLock lock(historyLock);
        for (unsigned i = folderHistory.Size(); i != 0;) {
            i--;
            if (folderHistory[i].IsEqualTo_NoCase(currentFolderPrefix)) folderHistory.Delete(i);
        }
        folderHistory.Insert(0, currentFolderPrefix);
        while (folderHistory.Size() > kHistoryMax)
            folderHistory.DeleteBack();
    }
    RefreshTitle(false);
}

void CPanel::FoldersHistory(UStringVector &list) {
    NSynchronization::CCriticalSectionLock lock(historyLock);
    list = folderHistory;
}

void CPanel::ClearFoldersHistory() {
    NSynchronization::CCriticalSectionLock lock(historyLock);
    folderHistory.Clear();
}

void CPanel::CloseOneLevel() {
    ReleaseFolder();
    if (parentFolders.IsEmpty()) return;
    {
        CFolderLink &link = parentFolders.Back();
        if (link.ParentFolder) {
            SetNewFolder(link.ParentFolder);
            if (parentFolders.Size() > 1) OpenParentArchiveFolder();
        } else if (parentFolders.Size() >= 2) {
            OpenParentArchiveFolder();
        }
    }
    parentFolders.DeleteBack();
    if (parentFolders.IsEmpty()) flatMode = flatModeForFs;
}

void CPanel::CloseOpenFolders() {
    while (!parentFolders.IsEmpty())
        CloseOneLevel();
    flatMode = flatModeForFs;
    ReleaseFolder();
}

// Binds the current folder by name, component by component; stops at the first that fails.
static void WalkDown(CPanel &panel, const UString &path) {
    unsigned pos = 0;
    while (pos < path.Len()) {
        int slash = path.Find(L'/', pos);
        if (slash < 0) slash = (int)path.Len();
        const UString part = path.Mid(pos, (unsigned)slash - pos);
        pos = (unsigned)slash + 1;
        if (part.IsEmpty()) continue;
        CMyComPtr<IFolderFolder> next;
        panel.currentFolder->BindToFolder(part, &next);
        if (!next && panel.folderAltStreams) {
            const int colon = part.Find(L':');
            if (colon >= 0) {
                panel.folderAltStreams->BindToAltStreams(part.Left((unsigned)colon), &next);
                if (next) pos -= part.Len() - (unsigned)colon - 1;
            }
        }
        if (!next) break;
        panel.SetNewFolder(next);
    }
}

HRESULT CPanel::BindToPath(const UString &fullPath, const UString &arcFormat, bool &archiveIsOpened,
                           bool &encrypted) {
    archiveIsOpened = false;
    encrypted = false;
    CSwitchesSaver saver(*this);

    while (!parentFolders.IsEmpty()) {
        const CFolderLink &link = parentFolders.Back();
        // test.zip2 beside test.zip is not inside it: the archive's path must end there or at a separator.
        const unsigned len = link.VirtualPath.Len();
        if (fullPath.IsPrefixedBy(link.VirtualPath) &&
            (fullPath.Len() == len || fullPath[len] == L'/' || (len != 0 && link.VirtualPath[len - 1] == L'/'))) {
            UString rest = fullPath.Ptr(link.VirtualPath.Len());
            if (!rest.IsEmpty() && rest[0] == L'/') rest.DeleteFrontal(1);
            if (!rest.IsEmpty() && rest.Back() != L'/') rest += L'/';
            for (;;) {
                const UString path = GetFolderPath(currentFolder);
                if (path == rest || rest.IsPrefixedBy(path)) break;
                CMyComPtr<IFolderFolder> parent;
                if (!currentFolder || currentFolder->BindToParentFolder(&parent) != S_OK || !parent)
                    throw panel_error::climb_failed;
                SetNewFolder(parent);
            }
            rest.DeleteFrontal(GetFolderPath(currentFolder).Len());
            WalkDown(*this, rest);
            return S_OK;
        }
        CloseOneLevel();
    }

    CloseOpenFolders();
    UString sysPath = fullPath;
    if (sysPath.IsEmpty() || sysPath[0] != L'/' || sysPath.Len() == 1) sysPath.Empty();

    NFile::NFind::CFileInfo fileInfo;
    while (!sysPath.IsEmpty()) {
        if (fileInfo.Find(sysPath)) {
            UString dir, name;
            NFile::NDir::GetFullPathAndSplit(sysPath, dir, name);
            if (!name.IsEmpty()) break;
        }
        const int slash = sysPath.ReverseFind_PathSepar();
        if (slash < 0)
            sysPath.Empty();
        else
            sysPath.DeleteFrom((unsigned)slash);
    }

    SetToRootFolder();
    CMyComPtr<IFolderFolder> newFolder;
    UString rest;
    if (sysPath.IsEmpty()) {
        currentFolder->BindToFolder(fullPath, &newFolder);
    } else if (fileInfo.IsDir()) {
        NFile::NName::NormalizeDirPathPrefix(sysPath);
        currentFolder->BindToFolder(sysPath, &newFolder);
    } else {
        UString dir, name;
        NFile::NDir::GetFullPathAndSplit(sysPath, dir, name);
        CTempFileInfo info;
        info.RelPath = name;
        info.FolderPath = dir;
        info.FilePath = sysPath;
        const HRESULT res = OpenItemAsArchive(nullptr, info, sysPath, arcFormat, encrypted);
        if (res == S_FALSE) {
            currentFolder->BindToFolder(dir, &newFolder);
        } else if (res != S_OK) {
            return res;
        } else {
            archiveIsOpened = true;
            parentFolders.Back().ParentFolderPath = dir;
            rest = fullPath.Ptr(sysPath.Len());
            if (!rest.IsEmpty() && rest[0] == L'/') rest.DeleteFrontal(1);
        }
    }
    if (newFolder) {
        SetNewFolder(newFolder);
        LoadFullPath();
        return S_OK;
    }
    WalkDown(*this, rest);
    return S_OK;
}

HRESULT CPanel::BindToPathAndRefresh(const UString &path) {
    CSwitchesSaver saver(*this);
    bool archiveIsOpened = false, encrypted = false;
    const HRESULT res = BindToPath(path, UString(), archiveIsOpened, encrypted);
    if (res == S_OK) RefreshListCtrl(UString(), -1, true, UStringVector());
    return res;
}

void CPanel::OpenRootFolder() {
    CSwitchesSaver saver(*this);
    // Level by level, so a nested archive changed since it was opened is offered for write-back
    // instead of being dropped with its temporary copy.
    CloseOpenFolders();
    SetToRootFolder();
}

void CPanel::OpenDrivesFolder() {
    CloseOpenFolders();
    CFSDrives *drives = new CFSDrives;
    CMyComPtr<IFolderFolder> folder = drives;
    SetNewFolder(folder);
    RefreshListCtrl();
}

void CPanel::OpenAltStreams() {
    CRecordVector<UInt32> indices;
    GetOperatedItemIndices(indices);
    if (indices.Size() > 1 || !folderAltStreams) return;
    CMyComPtr<IFolderFolder> newFolder;
    folderAltStreams->BindToAltStreams(indices.IsEmpty() ? (UInt32)(Int32)-1 : indices[0], &newFolder);
    if (newFolder) {
        CSwitchesSaver saver(*this);
        SetNewFolder(newFolder);
    }
}

void CPanel::OpenFolder(int index) {
    if (index == -1) {
        OpenParentFolder();
        return;
    }
    CMyComPtr<IFolderFolder> newFolder;
    currentFolder->BindToFolder((UInt32)index, &newFolder);
    if (!newFolder) return;
    SetNewFolder(newFolder);
    LoadFullPath();
    RefreshListCtrl();
}

void CPanel::OpenParentFolder() {
    LoadFullPath();
    UString focusName, parentPath;
    if (!currentFolderPrefix.IsEmpty() && (currentFolderPrefix.Back() == L'/' || currentFolderPrefix.Back() == L':')) {
        focusName = currentFolderPrefix;
        focusName.DeleteBack();
        if (focusName != L"\\\\." && focusName != L"\\\\?") {
            const int slash = focusName.ReverseFind_PathSepar();
            if (slash >= 0) {
                parentPath = focusName.Left((unsigned)slash + 1);
                focusName.DeleteFrontal((unsigned)slash + 1);
            }
        }
    }
    if (parentPath.IsEmpty()) return;

    {
        CSwitchesSaver saver(*this);
        CMyComPtr<IFolderFolder> parent;
        if (currentFolder) currentFolder->BindToParentFolder(&parent);
        if (parent) {
            SetNewFolder(parent);
        } else {
            const bool linkWasOpen = !parentFolders.IsEmpty();
            if (linkWasOpen) {
                const CFolderLink &link = parentFolders.Back();
                parentPath = link.ParentFolderPath;
                focusName = link.RelPath;
                CloseOneLevel();
            }
            if (!currentFolder || !linkWasOpen) {
                bool archiveIsOpened = false, encrypted = false;
                BindToPath(parentPath, UString(), archiveIsOpened, encrypted);
            }
        }
    }
    LoadFullPath();
    UStringVector selected;
    if (!focusName.IsEmpty()) selected.Add(focusName);
    RefreshListCtrl(focusName, -1, true, selected);
}

void CPanel::OpenFileName() {
    const QString file = QFileDialog::getOpenFileName(GetParent(), QObject::tr("打开文件"), QDir::homePath(),
                                                      QObject::tr("所有文件 (*.*)"));
    if (!file.isEmpty()) BindToPathAndRefresh(UString(file.toStdWString().c_str()));
}

void CPanel::SetBookmark(unsigned i) {
    NSynchronization::CCriticalSectionLock lock(fastFoldersLock);
    while (fastFolders.Size() <= i)
        fastFolders.Add(UString());
    fastFolders[i] = currentFolderPrefix;
}

void CPanel::OpenBookmark(unsigned i) {
    UString path;
    {
        NSynchronization::CCriticalSectionLock lock(fastFoldersLock);
        if (i < fastFolders.Size()) path = fastFolders[i];
    }
    BindToPathAndRefresh(path);
}
