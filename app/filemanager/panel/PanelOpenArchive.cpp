// Opening a file as a new archive level of the panel. The archive is opened by the agent on a
// worker behind the progress window, so a large archive never blocks the window; without a main
// window (no progress window can be had) it opens on the calling thread.
#include <QCoreApplication>

#include <memory>

#include "Panel.h"
#include "ProgressThreadVirt.h"
#include "archive/IPassword.h"
#include "archive/common/StreamUtils.h"
#include "archive/PropID.h"
#include "archive/common/InFileStream.h"
#include "archive/agent/Agent.h"
#include "archive/agent/ArchiveFolderOpen.h"
#include "TmpProcessWatcher.h"
#include "ZipRegistry.h"
#include "PanelHost.h"
#include "dialogcodes.h"
#include "module.h"
#include "messagebox.h"
#include "passwordwindow.h"
#include "progresswindow.h"
#include "windows/FileFind.h"
#include "windows/FileName.h"
#include "windows/PropVariant.h"

#include <errno.h>

using namespace NWindows;

namespace {

// The open callback: counts for the progress window, the stop flag, the other volumes of a
// multi-volume archive, and the password question (asked at most once per opening).
class COpenArchiveCallback : public IArchiveOpenCallback,
                             public IArchiveOpenVolumeCallback,
                             public IArchiveOpenSetSubArchiveName,
                             public IProgress,
                             public ICryptoGetTextPassword,
                             public CMyUnknownImp {
public:
    COM_UNKNOWN_IMP(IArchiveOpenCallback, IArchiveOpenVolumeCallback, IArchiveOpenSetSubArchiveName, IProgress,
                    ICryptoGetTextPassword)

    UString FolderPrefix; // folder of the archive file, with its trailing separator
    NFile::NFind::CFileInfo FileInfo;
    bool SubArchiveMode = false;
    UString SubArchiveName;
    bool PasswordIsDefined = false;
    bool PasswordWasAsked = false;
    UString Password;
    progresswindow *ProgressDialog = nullptr;

    // IArchiveOpenCallback
    HRESULT SetTotal(const UInt64 *files, const UInt64 *bytes) override {
        if (!ProgressDialog) return S_OK;
        CProgressSync &sync = ProgressDialog->sync;
        RINOK(sync.CheckStop());
        sync.Set_NumFilesTotal(files ? *files : (UInt64)(Int64)-1);
        sync.Set_BytesProgressMode(files == nullptr);
        if (bytes) sync.Set_NumBytesTotal(*bytes);
        return S_OK;
    }
    HRESULT SetCompleted(const UInt64 *files, const UInt64 *bytes) override {
        if (!ProgressDialog) return S_OK;
        CProgressSync &sync = ProgressDialog->sync;
        if (files) sync.Set_NumFilesCur(*files);
        if (bytes) sync.Set_NumBytesCur(*bytes);
        return sync.CheckStop();
    }
    // IProgress
    HRESULT SetTotal(UInt64 total) override {
        if (!ProgressDialog) return S_OK;
        RINOK(ProgressDialog->sync.CheckStop());
        ProgressDialog->sync.Set_NumBytesTotal(total);
        return S_OK;
    }
    HRESULT SetCompleted(const UInt64 *value) override {
        if (!ProgressDialog || !value) return S_OK;
        return ProgressDialog->sync.Set_NumBytesCur(*value);
    }

    // IArchiveOpenVolumeCallback
    HRESULT GetProperty(PROPID propID, PROPVARIANT *value) override {
        COM_TRY_BEGIN
        NCOM::CPropVariant prop;
        if (SubArchiveMode) {
            if (propID == kpidName) prop = SubArchiveName;
        } else {
            switch (propID) {
            case kpidName:
                prop = FileInfo.Name;
                break;
            case kpidIsDir:
                prop = FileInfo.IsDir();
                break;
            case kpidSize:
                prop = FileInfo.Size;
                break;
            case kpidAttrib:
                prop = (UInt32)FileInfo.Attrib;
                break;
            case kpidCTime:
                prop = FileInfo.CTime;
                break;
            case kpidATime:
                prop = FileInfo.ATime;
                break;
            case kpidMTime:
                prop = FileInfo.MTime;
                break;
            }
        }
        prop.Detach(value);
        return S_OK;
        COM_TRY_END
    }
    HRESULT GetStream(const wchar_t *name, IInStream **inStream) override {
        try {
            *inStream = nullptr;
            // A nested archive has no neighbours on disk.
            if (SubArchiveMode) return S_FALSE;
            UString fullPath;
            if (!NFile::NName::GetFullPath(FolderPrefix, name, fullPath)) return S_FALSE;
            if (!FileInfo.Find(fullPath, true)) return S_FALSE;
            if (FileInfo.IsDir()) return S_FALSE;
            CInFileStream *fileSpec = new CInFileStream(true);
            CMyComPtr<IInStream> stream(fileSpec);
            if (!fileSpec->Open(fullPath)) return HRESULT_FROM_ERRNO(errno);
            *inStream = stream.Detach();
            return S_OK;
        } catch (...) {
            return E_OUTOFMEMORY;
        }
    }
    // IArchiveOpenSetSubArchiveName
    HRESULT SetSubArchiveName(const wchar_t *name) override {
        SubArchiveMode = true;
        SubArchiveName = name;
        return S_OK;
    }

    HRESULT CryptoGetTextPassword(BSTR *result) override {
        *result = nullptr;
        PasswordWasAsked = true;
        if (!PasswordIsDefined) {
            try {
                auto info = std::make_shared<password_info>();
                info->parent = ProgressDialog;
                info->show_password = NExtract::Read_ShowPassword();
                const bool shown = info->show_password;
                if (show_passwordwindow(info) != 5100) return E_ABORT;
                Password = info->password;
                PasswordIsDefined = true;
                if (info->show_password != shown) NExtract::Save_ShowPassword(info->show_password);
            } catch (...) {
                return E_OUTOFMEMORY;
            }
        }
        *result = ::SysAllocString(Password);
        return *result ? S_OK : E_OUTOFMEMORY;
    }
};

class CThreadArchiveOpen : public CProgressThreadVirt {
public:
    CMyComPtr<IInStream> stream;
    UString path, format;
    CMyComPtr<IFolderFolder> folder;
    COpenArchiveCallback *callbackSpec = nullptr;
    CMyComPtr<IProgress> callback;
    HRESULT openResult = E_FAIL;

    HRESULT ProcessVirt() override {
        try {
            CMyComPtr<IFolderManager> manager = new CArchiveFolderManager;
            openResult =
                manager->OpenFolderFile(stream, path, format.IsEmpty() ? nullptr : format.Ptr(), &folder, callback);
        } catch (...) {
            openResult = E_FAIL;
        }
        // The panel reports open failures itself; "not an archive" is no error at all.
        return openResult == E_ABORT ? E_ABORT : S_OK;
    }
};

} // namespace

// Opens an archive file or stream as a folder. S_FALSE when no format opened it. encrypted and
// password carry a known password in and the password state out (untouched on a cancel).
static HRESULT OpenFileFolderPlugin(IInStream *stream, const UString &path, const UString &format,
                                    CMyComPtr<IFolderFolder> &folder, bool &encrypted, UString &password) {
    UString prefix, name = path;
    {
        const int slash = path.ReverseFind_PathSepar();
        if (slash >= 0) {
            prefix = path.Left((unsigned)slash + 1);
            name.DeleteFrontal((unsigned)slash + 1);
        }
    }
    CThreadArchiveOpen worker;
    worker.stream = stream;
    worker.path = path;
    worker.format = format;
    worker.callbackSpec = new COpenArchiveCallback;
    worker.callback = static_cast<IProgress *>(worker.callbackSpec);
    COpenArchiveCallback &cb = *worker.callbackSpec;
    cb.ProgressDialog = worker.progressWindow;
    cb.PasswordIsDefined = encrypted;
    cb.Password = password;
    if (stream) {
        cb.SetSubArchiveName(name);
    } else {
        cb.FolderPrefix = prefix;
        if (!cb.FileInfo.Find(path)) return HRESULT_FROM_ERRNO(errno);
    }
    if (worker.progressWindow) {
        worker.progressWindow->sync.Set_BytesProgressMode(false);
        worker.progressWindow->sync.Set_TitleFileName(name);
        if (worker.Create(UString(L"正在打开..."), nullptr) != 0) return E_FAIL;
    } else {
        worker.ProcessVirt();
    }
    if (worker.openResult == E_ABORT) return E_ABORT;
    encrypted = cb.PasswordIsDefined;
    if (worker.openResult == S_OK) {
        password = cb.Password;
        folder = worker.folder;
        // The end of the open's progress window asks the main window to list its folder again; the
        // panel lists the opened archive next anyway, and a second listing of a large one doubles
        // the time it takes to show. A window that closes at the end of its operation keeps it.
        CPanelHost *host = dynamic_cast<CPanelHost *>(_module.get_mainwindow());
        if (worker.progressWindow && host && !host->get_msg_mode())
            QCoreApplication::removePostedEvents(host->host_widget(), custom_event::operation_ended);
    }
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

    // Inside an archive the path within it (empty at its root); the full prefix only without a folder.
    const UString parentPath = currentFolder ? GetFolderPath(currentFolder) : currentFolderPrefix;
    CMyComPtr<IFolderFolder> parentFolder;
    if (!parentFolders.IsEmpty()) parentFolder = currentFolder;
    // A nested level's file as it came out of the level above: leaving the level compares with it.
    if (!stream && !parentFolders.IsEmpty()) {
        auto stamp = std::make_shared<CFileStamp>();
        stamp->Read(item.FilePath);
        bool known = false;
        for (auto &entry : linkStamps)
            if (entry.first == item.FilePath) {
                entry.second = stamp;
                known = true;
            }
        if (!known) linkStamps.emplace_back(item.FilePath, stamp);
    }

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
        // An archive that does not open (wrong password, damaged) is reported here and goes to no
        // other program; only a file that is no archive at all is left to the desktop.
        if (encrypted) {
            MessageBoxMyError(MyFormatNew(L"无法打开加密压缩包{0}。密码错误？", info.FilePath));
            return E_FAIL;
        }
        if (g_CodecsObj && g_CodecsObj->FindFormatForArchiveName(name) >= 0) {
            MessageBoxMyError(MyFormatNew(L"无法作为压缩包打开文件{0}", info.FilePath));
            return E_FAIL;
        }
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
