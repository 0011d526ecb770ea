#pragma once

// The one callback through which every extraction, test and copy out of an archive reaches the
// user: it feeds the progress window's state, asks the overwrite and password questions on the
// GUI thread and turns results into the texts of the window's error list.
//
// Threads: called on the worker thread of the run only (one worker at a time); the questions
// block that worker in a cross-thread call. The reference count is atomic because the agent and
// the plug-in may hold references from their own threads.
#include "VirtFileSystem.h"
#include "archive/IFolder.h"
#include "archive/IPassword.h"
#include "archive/ICoder.h"
#include "archive/ui-common/ArchiveOpenCallback.h"
#include "archive/ui-common/HashCalc.h"
#include "archive/ui-common/IFileExtractCallback.h"
#include "archive/ui-common/OutStreamWithHash.h"
#include "common/MyCom.h"
#include "common/MyString.h"

class progresswindow;
class CProgressSync;

class CExtractCallbackImp : public IExtractCallbackUI,
                            public IOpenCallbackUI,
                            public IFolderArchiveExtractCallback2,
                            public IFolderOperationsExtractCallback,
                            public IFolderExtractToStreamCallback,
                            public ICompressProgressInfo,
                            public ICryptoGetTextPassword,
                            public CMyUnknownImp {
public:
    COM_QI_BEGIN
    COM_QI_ENTRY_UNKNOWN(IFolderArchiveExtractCallback)
    COM_QI_ENTRY(IFolderArchiveExtractCallback)
    COM_QI_ENTRY(IFolderArchiveExtractCallback2)
    COM_QI_ENTRY(IFolderOperationsExtractCallback)
    COM_QI_ENTRY(IFolderExtractToStreamCallback)
    COM_QI_ENTRY(ICompressProgressInfo)
    COM_QI_ENTRY(ICryptoGetTextPassword)
    COM_QI_END
    COM_ADDREF_RELEASE

    // IProgress (of both folder callbacks)
    HRESULT SetTotal(UInt64 total) override;
    HRESULT SetCompleted(const UInt64 *completeValue) override;

    // IFolderArchiveExtractCallback
    HRESULT AskOverwrite(const wchar_t *existName, const FILETIME *existTime, const UInt64 *existSize,
                         const wchar_t *newName, const FILETIME *newTime, const UInt64 *newSize,
                         Int32 *answer) override;
    HRESULT PrepareOperation(const wchar_t *name, Int32 isFolder, Int32 askExtractMode,
                             const UInt64 *position) override;
    HRESULT MessageError(const wchar_t *message) override;
    HRESULT SetOperationResult(Int32 opRes, Int32 encrypted) override;

    // IExtractCallbackUI
    HRESULT BeforeOpen(const wchar_t *name, bool testMode) override;
    HRESULT OpenResult(const CCodecs *codecs, const CArchiveLink &arcLink, const wchar_t *name,
                       HRESULT result) override;
    HRESULT ThereAreNoFiles() override;
    HRESULT ExtractResult(HRESULT result) override;
    HRESULT SetPassword(const UString &password) override;

    // IOpenCallbackUI
    HRESULT Open_CheckBreak() override;
    HRESULT Open_SetTotal(const UInt64 *files, const UInt64 *bytes) override;
    HRESULT Open_SetCompleted(const UInt64 *files, const UInt64 *bytes) override;
    HRESULT Open_Finished() override;
    HRESULT Open_CryptoGetTextPassword(BSTR *password) override;

    // IFolderArchiveExtractCallback2
    HRESULT ReportExtractResult(Int32 opRes, Int32 encrypted, const wchar_t *name) override;

    // IFolderOperationsExtractCallback
    HRESULT AskWrite(const wchar_t *srcPath, Int32 srcIsFolder, const FILETIME *srcTime, const UInt64 *srcSize,
                     const wchar_t *destPathRequest, BSTR *destPathResult, Int32 *writeAnswer) override;
    HRESULT ShowMessage(const wchar_t *message) override;
    HRESULT SetCurrentFilePath(const wchar_t *filePath) override;
    HRESULT SetNumFiles(UInt64 numFiles) override;

    // IFolderExtractToStreamCallback
    HRESULT UseExtractToStream(Int32 *res) override;
    HRESULT GetStream7(const wchar_t *name, Int32 isDir, ISequentialOutStream **outStream, Int32 askExtractMode,
                       IGetProp *getProp) override;
    HRESULT PrepareOperation7(Int32 askExtractMode) override;
    HRESULT SetOperationResult7(Int32 opRes, Int32 encrypted) override;

    // ICompressProgressInfo
    HRESULT SetRatioInfo(const UInt64 *inSize, const UInt64 *outSize) override;

    // ICryptoGetTextPassword
    HRESULT CryptoGetTextPassword(BSTR *password) override;

    UString CurrentArchivePath;
    bool NeedWriteArchivePath = false;
    UString CurrentFilePath;
    bool IsFolder = false;
    bool IsAltStream = false;
    UInt64 CurSize = 0;
    bool CurSizeDefined = false;
    UString StreamFilePath;
    bool NewVirtFileWasAdded = false;
    bool NeedUpdateStat = false;
    bool HashStreamWasUsed = false;
    COutStreamWithHash *HashStreamSpec = nullptr;
    CMyComPtr<ISequentialOutStream> HashStream;
    IHashCalc *HashCalcSink = nullptr;
    CVirtFileSystem *VirtFileSystemSpec = nullptr;
    CMyComPtr<ISequentialOutStream> VirtFileSystem;
    bool ProcessAltStreams = true;
    bool StreamMode = false;
    progresswindow *ProgressDialog = nullptr;
    UInt64 NumFolders = 0;
    UInt64 NumFiles = 0;
    bool NeedAddFile = false;
    UInt32 NumArchiveErrors = 0;
    UInt64 NumItemErrors = 0; // items that failed (CRC, data, password, method); the run went on
    bool ThereAreMessageErrors = false;
    int OverwriteMode = 0; // NExtract::NOverwriteMode
    bool PasswordIsDefined = false;
    bool PasswordWasAsked = false;
    UString Password;
    UString StatusExtracting;
    UString StatusTesting;
    UString StatusSkipping;
    UString StatusEmpty;
    bool TotalFilesDefined = false;
    bool TotalBytesDefined = false;
    bool MultiArcMode = false;

    CExtractCallbackImp() = default;
    ~CExtractCallbackImp() override = default;

    void Init();
    // A hashing pass-through for every item of GetStream7, feeding the bundle.
    void SetHashBundle(CHashBundle *bundle);
    // The in-memory target of GetStream7.
    void SetVirtFileSystem(CVirtFileSystem *fs);

    bool IsOK() const { return NumArchiveErrors == 0 && !ThereAreMessageErrors; }
    // The closing line of a run that had failed items: how many there were.
    void AddFailedItemsSummary();

private:
    CProgressSync &Sync();
    void AddError_Message(const wchar_t *message);
    HRESULT MessageError(const char *message, const UString &path);
    void Add_ArchiveName_Error();
};
