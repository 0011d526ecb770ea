#pragma once

// The user-interface side of a compress run: the engine's UpdateArchive reports scanning,
// progress, each item's operation and errors here on the worker thread, and asks for the
// password; everything goes to the progress window's shared state.
#include "archive/ui-common/ArchiveOpenCallback.h"
#include "archive/ui-common/UpdateCallbackUI.h"
#include "common/MyString.h"
#include "common/MyWindows.h"

class progresswindow;
class CProgressSync;

// The part shared with the panel's archive-update callback: password state, operation texts and
// the progress window.
class CUpdateCallbackGUI2 {
public:
    UStringVector operation_texts;
    UString empty_text;
    UString password;
    bool password_defined = false;
    bool password_asked = false;
    UInt64 files_done = 0;
    UString removing_text;
    progresswindow *progress = nullptr;

    void Init();
    // The status of an update operation number (0..7) with the item's name.
    HRESULT SetOperation_Base(UInt32 op, const wchar_t *name, bool isDir);
    // The progress state of the window; a private one while there is no window.
    CProgressSync &Sync();
    // S_OK with the answer kept, or E_ABORT with the state unchanged.
    HRESULT ShowAskPasswordDialog();
};

class CUpdateCallbackGUI : public IOpenCallbackUI, public IUpdateCallbackUI2, public CUpdateCallbackGUI2 {
public:
    bool ask_password = false;
    UStringVector failed_files;
    UString current_file; // whose data the writer is reading, for the warning of SetOperationResult

    void Init();

    // IOpenCallbackUI
    HRESULT Open_CheckBreak() override;
    HRESULT Open_SetTotal(const UInt64 *files, const UInt64 *bytes) override;
    HRESULT Open_SetCompleted(const UInt64 *files, const UInt64 *bytes) override;
    HRESULT Open_Finished() override;
    HRESULT Open_CryptoGetTextPassword(BSTR *password) override;

    // IUpdateCallbackUI
    HRESULT WriteSfx(const wchar_t *name, UInt64 size) override;
    HRESULT SetTotal(UInt64 size) override;
    HRESULT SetCompleted(const UInt64 *completeValue) override;
    HRESULT SetRatioInfo(const UInt64 *inSize, const UInt64 *outSize) override;
    HRESULT CheckBreak() override;
    HRESULT SetNumItems(UInt64 numItems) override;
    HRESULT GetStream(const wchar_t *name, bool isDir, bool isAnti, UInt32 mode) override;
    HRESULT OpenFileError(const UString &path, DWORD systemError) override;
    HRESULT ReadingFileError(const UString &path, DWORD systemError) override;
    HRESULT SetOperationResult(Int32 opRes) override;
    HRESULT ReportExtractResult(Int32 opRes, Int32 isEncrypted, const wchar_t *name) override;
    HRESULT ReportUpdateOpeartion(UInt32 op, const wchar_t *name, bool isDir) override;
    HRESULT CryptoGetTextPassword2(Int32 *passwordIsDefined, BSTR *password) override;
    HRESULT CryptoGetTextPassword(BSTR *password) override;
    HRESULT ShowDeleteFile(const wchar_t *name, bool isDir) override;

    // IDirItemsCallback
    HRESULT ScanError(const UString &path, DWORD systemError) override;
    HRESULT ScanProgress(const CDirItemsStat &st, const UString &path, bool isDir) override;

    // IUpdateCallbackUI2
    HRESULT OpenResult(const CCodecs *codecs, const CArchiveLink &arcLink, const wchar_t *name,
                       HRESULT result) override;
    HRESULT StartScanning() override;
    HRESULT FinishScanning(const CDirItemsStat &st) override;
    HRESULT StartOpenArchive(const wchar_t *name) override;
    HRESULT StartArchive(const wchar_t *name, bool updating) override;
    HRESULT FinishArchive(const CFinishArchiveStat &st) override;
    HRESULT DeletingAfterArchiving(const UString &path, bool isDir) override;
    HRESULT FinishDeletingAfterArchiving() override;

    virtual ~CUpdateCallbackGUI() = default;
};
