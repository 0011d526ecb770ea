// Opening a file as a new archive level of the panel. The archive is opened by the agent on a
// worker behind the progress window, so a large archive never blocks the window; without a main
// window (no progress window can be had) it opens on the calling thread.
#include <QDesktopServices>
#include <QUrl>

#include <memory>

#include "Panel.h"
#include "ProgressThreadVirt.h"
#include "archive/IPassword.h"
#include "archive/agent/ArchiveFolderOpen.h"
#include "filemanager/ZipRegistry.h"
#include "mainwindow.h"
#include "messagebox.h"
#include "passwordwindow.h"
#include "progresswindow.h"
#include "windows/FileFind.h"

using namespace NWindows;

namespace {

// The open callback: counts for the progress window, the stop flag, and the password question.
class COpenCallback : public IProgress, public IArchiveOpenCallback, public ICryptoGetTextPassword, public CMyUnknownImp {
public:
    COM_UNKNOWN_IMP(IProgress, IArchiveOpenCallback, ICryptoGetTextPassword)

    progresswindow *window = nullptr;
    bool passwordAsked = false;
    UString password;

    HRESULT SetTotal(UInt64) override { return S_OK; }
    HRESULT SetCompleted(const UInt64 *) override { return Check(); }
    HRESULT SetTotal(const UInt64 *files, const UInt64 *) override {
        if (window && files) window->sync.Set_NumFilesTotal(*files);
        return Check();
    }
    HRESULT SetCompleted(const UInt64 *files, const UInt64 *) override {
        if (window && files) window->sync.Set_NumFilesCur(*files);
        return Check();
    }
    HRESULT CryptoGetTextPassword(BSTR *result) override {
        *result = nullptr;
        if (!passwordAsked) {
            auto info = std::make_shared<password_info>();
            info->parent = window;
            if (show_passwordwindow(info) != 5100) return E_ABORT;
            password = info->password;
            passwordAsked = true;
        }
        *result = ::SysAllocString(password);
        return *result ? S_OK : E_OUTOFMEMORY;
    }

private:
    HRESULT Check() { return window ? window->sync.CheckStop() : S_OK; }
};

class COpenWorker : public CProgressThreadVirt {
public:
    CMyComPtr<IInStream> stream;
    UString path, format;
    CMyComPtr<IFolderFolder> folder;
    COpenCallback *callbackSpec = nullptr;
    CMyComPtr<IProgress> callback;
    HRESULT openResult = E_FAIL;

    HRESULT ProcessVirt() override {
        CMyComPtr<IFolderManager> manager = new CArchiveFolderManager;
        openResult = manager->OpenFolderFile(stream, path, format.IsEmpty() ? nullptr : format.Ptr(), &folder, callback);
        // The panel reports open failures itself; "not an archive" is no error at all.
        return openResult == E_ABORT ? E_ABORT : S_OK;
    }
};

} // namespace

// Opens an archive file or stream as a folder. S_FALSE when no format opened it.
static HRESULT OpenFileFolderPlugin(IInStream *stream, const UString &path, const UString &format,
                                    CMyComPtr<IFolderFolder> &folder, bool &encrypted, UString &password) {
    COpenWorker worker;
    worker.stream = stream;
    worker.path = path;
    worker.format = format;
    worker.callbackSpec = new COpenCallback;
    worker.callback = worker.callbackSpec;
    worker.callbackSpec->window = worker.progressWindow;
    if (worker.progressWindow) {
        worker.progressWindow->sync.Set_BytesProgressMode(false);
        UString name = path;
        const int slash = name.ReverseFind_PathSepar();
        if (slash >= 0) name.DeleteFrontal((unsigned)slash + 1);
        worker.progressWindow->sync.Set_TitleFileName(name);
        if (worker.Create(UString(L"正在打开..."), nullptr) != 0) return E_FAIL;
    } else {
        worker.ProcessVirt();
    }
    encrypted = worker.callbackSpec->passwordAsked;
    password = worker.callbackSpec->password;
    if (worker.openResult == S_OK) folder = worker.folder;
    return worker.openResult;
}

HRESULT CPanel::OpenItemAsArchive(IInStream *stream, const CTempFileInfo &info, const UString &virtualPath,
                                  const UString &arcFormat, bool &encrypted) {
    encrypted = false;
    CTempFileInfo item = info;
    if (!stream) {
        if (!item.FileInfo.Find(item.FilePath)) return HRESULT_FROM_WIN32(errno ? errno : ENOENT);
        if (item.FileInfo.IsDir()) return S_FALSE;
    }
    CMyComPtr<IFolderFolder> newFolder;
    UString password;
    const HRESULT res = OpenFileFolderPlugin(stream, item.FilePath.IsEmpty() ? virtualPath : item.FilePath, arcFormat,
                                             newFolder, encrypted, password);
    // On failure a temporary copy stays with the caller, who still owns it.
    if (res != S_OK) return res;

    UString parentPath = currentFolder ? GetFolderPath(currentFolder) : UString();
    if (parentPath.IsEmpty()) parentPath = currentFolderPrefix;
    CMyComPtr<IFolderFolder> parentFolder;
    if (!parentFolders.IsEmpty()) parentFolder = currentFolder;

    CFolderLink &link = parentFolders.AddNew();
    static_cast<CTempFileInfo &>(link) = item;
    link.IsVirtual = stream != nullptr;
    link.VirtualPath = virtualPath;
    link.Password = password;
    link.ParentFolderPath = parentPath;
    link.UsePassword = encrypted;
    link.ParentFolder = parentFolder;
    ReleaseFolder();
    SetNewFolder(newFolder);
    flatMode = false;
    hasDeletedItems = false;
    return S_OK;
}

HRESULT CPanel::OpenItemAsArchive(const UString &name, const UString &arcFormat, bool &encrypted) {
    CTempFileInfo info;
    info.RelPath = name;
    info.FolderPath = GetFsPath();
    info.FilePath = GetFsPath() + name;
    const HRESULT res = OpenItemAsArchive(nullptr, info, GetFsPath() + name, arcFormat, encrypted);
    if (res == S_OK || res == E_ABORT) return res;
    if (res == S_FALSE) {
        if (encrypted) MessageBoxMyError(MyFormatNew(L"无法打开加密压缩包{0}。密码错误？", info.FilePath));
        return res;
    }
    MessageBoxError(res);
    return res;
}

HRESULT CPanel::OpenItemAsArchive(int index, const wchar_t *type) {
    const bool timer = timerEnabled, notify = notifyEnabled, status = statusBarEnabled;
    timerEnabled = notifyEnabled = statusBarEnabled = false;
    bool encrypted = false;
    HRESULT res = OpenItemAsArchive(GetItemRelPath(index), UString(type ? type : L""), encrypted);
    timerEnabled = timer;
    notifyEnabled = notify;
    statusBarEnabled = status;
    if (res == S_OK)
        RefreshListCtrl();
    else
        RefreshTitle(true);
    return res;
}

// Opening items in outside programs and from inside archives comes with the area that opens
// items; until then a file in a disk folder is tried as an archive and otherwise handed to the
// desktop.
__attribute__((weak)) void CPanel::OpenItem(int index, bool tryInternal, bool tryExternal, const wchar_t *type) {
    if (!parentFolders.IsEmpty()) {
        MessageBoxMyError(L"不支持当前操作");
        return;
    }
    const UString fullPath = GetFsPath() + GetItemRelPath(index);
    if (tryInternal) {
        const HRESULT res = OpenItemAsArchive(index, type);
        if (res == S_OK || res == E_ABORT) return;
        if (res != S_FALSE) {
            MessageBoxError(res);
            return;
        }
    }
    if (tryExternal &&
        !QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromWCharArray(fullPath.Ptr(), (int)fullPath.Len()))))
        MessageBoxW(L"There is no application associated with the given file name extension");
}

// Leaving a nested archive level: the write-back question comes with the area that opens items.
__attribute__((weak)) HRESULT CPanel::OpenParentArchiveFolder() {
    return S_OK;
}
