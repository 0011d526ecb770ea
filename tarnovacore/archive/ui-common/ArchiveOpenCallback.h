#pragma once

// Answers a format handler's questions while it opens an archive: progress, the other volumes of
// a multi-volume archive, the name and attributes of the file, and the password.
#include "archive/IArchive.h"
#include "archive/IPassword.h"
#include "archive/common/FileStreams.h"
#include "common/MyCom.h"
#include "common/MyString.h"
#include "windows/FileFind.h"

// What the user interface is told while an archive opens. Not reference counted.
class IOpenCallbackUI {
public:
    virtual ~IOpenCallbackUI() {}
    virtual HRESULT Open_CheckBreak() = 0;
    virtual HRESULT Open_SetTotal(const UInt64 *files, const UInt64 *bytes) = 0;
    virtual HRESULT Open_SetCompleted(const UInt64 *files, const UInt64 *bytes) = 0;
    virtual HRESULT Open_Finished() = 0;
    virtual HRESULT Open_CryptoGetTextPassword(BSTR *password) = 0;
};

class COpenCallbackImp : public IArchiveOpenCallback,
                         public IArchiveOpenVolumeCallback,
                         public IArchiveOpenSetSubArchiveName,
                         public ICryptoGetTextPassword,
                         public CMyUnknownImp {
public:
    UString archiveFolder;
    NWindows::NFile::NFind::CFileInfo lastFileInfo;
    bool nestedMode;
    UString nestedName;
    UStringVector volumeNames;
    CBoolVector volumeInUse;
    CRecordVector<UInt64> volumeSizes;
    bool passwordAsked;
    IOpenCallbackUI *ui;

    COpenCallbackImp() : nestedMode(false), passwordAsked(false), ui(nullptr) {}

    COM_QI_BEGIN
    COM_QI_ENTRY_UNKNOWN(IArchiveOpenVolumeCallback)
    COM_QI_ENTRY(IArchiveOpenVolumeCallback)
    COM_QI_ENTRY(IArchiveOpenSetSubArchiveName)
    COM_QI_ENTRY(ICryptoGetTextPassword)
    COM_QI_END
    COM_ADDREF_RELEASE

    // Throws 20121118 when folder + name does not exist.
    void Init(const UString &folder, const UString &name);

    HRESULT SetTotal(const UInt64 *files, const UInt64 *bytes) override;
    HRESULT SetCompleted(const UInt64 *files, const UInt64 *bytes) override;
    HRESULT GetProperty(PROPID propID, PROPVARIANT *value) override;
    HRESULT GetStream(const wchar_t *name, IInStream **inStream) override;
    HRESULT SetSubArchiveName(const wchar_t *name) override;
    HRESULT CryptoGetTextPassword(BSTR *password) override;
};

// A volume file handed to a handler; its entry in the callback stays in use while it lives.
class CInFileStreamVol : public CInFileStream {
public:
    Int32 volumeIndex;
    COpenCallbackImp *openCallbackImp;
    CMyComPtr<IArchiveOpenCallback> openCallbackRef;

    CInFileStreamVol() : CInFileStream(true), volumeIndex(-1), openCallbackImp(nullptr) {}
    ~CInFileStreamVol() override;
};
