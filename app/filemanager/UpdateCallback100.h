#pragma once

// The callback the panel hands to a folder that changes its contents (new folder, delete, files
// added into an archive): progress, per-item status and errors go to the run's progress window,
// and the archive's password is asked for at most once per run.
#include "archive/IArchive.h"
#include "archive/ICoder.h"
#include "archive/IFolder.h"
#include "archive/IPassword.h"
#include "common/MyCom.h"
#include "common/MyString.h"
#include "UpdateCallbackGUI.h"

class CUpdateCallback100Imp : public IFolderArchiveUpdateCallback,
                              public IFolderArchiveUpdateCallback2,
                              public IFolderScanProgress,
                              public ICryptoGetTextPassword2,
                              public ICryptoGetTextPassword,
                              public IArchiveOpenCallback,
                              public ICompressProgressInfo,
                              public CUpdateCallbackGUI2,
                              public CMyUnknownImp {
public:
    COM_UNKNOWN_IMP(IFolderArchiveUpdateCallback, IFolderArchiveUpdateCallback2, IFolderScanProgress,
                    ICryptoGetTextPassword2, ICryptoGetTextPassword, IArchiveOpenCallback, ICompressProgressInfo)

    // The archive already holds encrypted items: a write that finds no password is refused
    // rather than adding items without encryption (the panel asks and checks the password first).
    bool archive_encrypted = false;

    // IProgress / IFolderArchiveUpdateCallback
    HRESULT SetTotal(UInt64 size) override;
    HRESULT SetCompleted(const UInt64 *completeValue) override;
    HRESULT CompressOperation(const wchar_t *name) override;
    HRESULT DeleteOperation(const wchar_t *name) override;
    HRESULT OperationResult(Int32 opRes) override;
    HRESULT UpdateErrorMessage(const wchar_t *message) override;
    HRESULT SetNumFiles(UInt64 numFiles) override;
    // IArchiveOpenCallback
    HRESULT SetTotal(const UInt64 *files, const UInt64 *bytes) override;
    HRESULT SetCompleted(const UInt64 *files, const UInt64 *bytes) override;
    // IFolderArchiveUpdateCallback2
    HRESULT OpenFileError(const wchar_t *path, HRESULT errorCode) override;
    HRESULT ReadingFileError(const wchar_t *path, HRESULT errorCode) override;
    HRESULT ReportExtractResult(Int32 opRes, Int32 isEncrypted, const wchar_t *name) override;
    HRESULT ReportUpdateOperation(UInt32 notifyOp, const wchar_t *name, Int32 isDir) override;
    // IFolderScanProgress
    HRESULT ScanError(const wchar_t *path, HRESULT errorCode) override;
    HRESULT ScanProgress(UInt64 numFolders, UInt64 numFiles, UInt64 totalSize, const wchar_t *path,
                         Int32 isDir) override;
    // ICompressProgressInfo
    HRESULT SetRatioInfo(const UInt64 *inSize, const UInt64 *outSize) override;
    // ICryptoGetTextPassword(2)
    HRESULT CryptoGetTextPassword(BSTR *password) override;
    HRESULT CryptoGetTextPassword2(Int32 *passwordIsDefined, BSTR *password) override;

    virtual ~CUpdateCallback100Imp() = default;

    // The password question on the progress window: S_OK with the answer stored (and marked as
    // asked during this run), else E_ABORT.
    HRESULT ShowAskPasswordDialog();
};
