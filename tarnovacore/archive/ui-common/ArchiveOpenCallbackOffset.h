#pragma once

#include "archive/IArchive.h"
#include "archive/IPassword.h"
#include "common/MyCom.h"

// Open progress of a handler started inside the data: its byte counts are shifted by where it began.
class CArchiveOpenCallback_Offset : public IArchiveOpenCallback,
                                    public IArchiveOpenVolumeCallback,
                                    public ICryptoGetTextPassword,
                                    public CMyUnknownImp {
public:
    CMyComPtr<IArchiveOpenCallback> target;
    CMyComPtr<IArchiveOpenVolumeCallback> volumeCallback;
    UInt64 fileCount;
    UInt64 startPosition;
    CMyComPtr<ICryptoGetTextPassword> passwordCallback;

    CArchiveOpenCallback_Offset() : fileCount(0), startPosition(0) {}
    void Init(IArchiveOpenCallback *callback);

    COM_UNKNOWN_IMP(IArchiveOpenCallback, IArchiveOpenVolumeCallback, ICryptoGetTextPassword)

    HRESULT SetTotal(const UInt64 *files, const UInt64 *bytes) override;
    HRESULT SetCompleted(const UInt64 *files, const UInt64 *bytes) override;
    HRESULT GetProperty(PROPID propID, PROPVARIANT *value) override;
    HRESULT GetStream(const wchar_t *name, IInStream **inStream) override;
    HRESULT CryptoGetTextPassword(BSTR *password) override;
};
