#pragma once

// What an update run reports to its user interface. Plain interfaces: no reference counting; a
// non-zero result stops the operation that made the call and is returned by it.
#include "DirItem.h"
#include "common/MyString.h"
#include "common/MyWindows.h"

class CCodecs;
class CArchiveLink;
struct CFinishArchiveStat;

struct IUpdateCallbackUI {
    virtual HRESULT WriteSfx(const wchar_t *name, UInt64 size) = 0;
    virtual HRESULT SetTotal(UInt64 size) = 0;
    virtual HRESULT SetCompleted(const UInt64 *completeValue) = 0;
    virtual HRESULT SetRatioInfo(const UInt64 *inSize, const UInt64 *outSize) = 0;
    virtual HRESULT CheckBreak() = 0;
    virtual HRESULT SetNumItems(UInt64 numItems) = 0;
    // mode: the writer's notify operation (0 add, 1 update, ...).
    virtual HRESULT GetStream(const wchar_t *name, bool isDir, bool isAnti, UInt32 mode) = 0;
    // The answer becomes the result of the writer's stream request for that file.
    virtual HRESULT OpenFileError(const UString &path, DWORD systemError) = 0;
    virtual HRESULT ReadingFileError(const UString &path, DWORD systemError) = 0;
    virtual HRESULT SetOperationResult(Int32 opRes) = 0;
    virtual HRESULT ReportExtractResult(Int32 opRes, Int32 isEncrypted, const wchar_t *name) = 0;
    virtual HRESULT ReportUpdateOpeartion(UInt32 op, const wchar_t *name, bool isDir) = 0;
    virtual HRESULT CryptoGetTextPassword2(Int32 *passwordIsDefined, BSTR *password) = 0;
    virtual HRESULT CryptoGetTextPassword(BSTR *password) = 0;
    virtual HRESULT ShowDeleteFile(const wchar_t *name, bool isDir) = 0;

protected:
    ~IUpdateCallbackUI() = default;
};

struct IUpdateCallbackUI2 : public IUpdateCallbackUI, public IDirItemsCallback {
    virtual HRESULT OpenResult(const CCodecs *codecs, const CArchiveLink &arcLink, const wchar_t *name,
                               HRESULT result) = 0;
    virtual HRESULT StartScanning() = 0;
    virtual HRESULT FinishScanning(const CDirItemsStat &st) = 0;
    virtual HRESULT StartOpenArchive(const wchar_t *name) = 0;
    virtual HRESULT StartArchive(const wchar_t *name, bool updating) = 0;
    virtual HRESULT FinishArchive(const CFinishArchiveStat &st) = 0;
    virtual HRESULT DeletingAfterArchiving(const UString &path, bool isDir) = 0;
    virtual HRESULT FinishDeletingAfterArchiving() = 0;

protected:
    ~IUpdateCallbackUI2() = default;
};
