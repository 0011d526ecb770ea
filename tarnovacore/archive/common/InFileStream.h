#pragma once

#include "archive/IStream.h"
#include "archive/IStreamFileDescriptor.h"
#include "common/MyCom.h"
#include "windows/FileIO.h"

// Told about read failures and about the end of a file stream by the one who opened it.
struct IInFileStream_Callback {
    // The result becomes the result of the failed Read.
    virtual HRESULT InFileStream_On_Error(UInt64 val, UInt32 error) = 0;
    virtual void InFileStream_On_Destroy(UInt64 val) = 0;
};

// A file opened for reading. The owner opens File; by default a symbolic link is read as its text.
class CInFileStream : public IInStream, public IStreamGetSize, public IStreamFileDescriptor, public CMyUnknownImp {
    bool _followLinks;

public:
    NWindows::NFile::NIO::CInFile File;
    bool SupportHardLinks;
    IInFileStream_Callback *Callback;
    UInt64 CallbackRef;

    explicit CInFileStream(bool followLinks = false)
        : _followLinks(followLinks), SupportHardLinks(false), Callback(nullptr), CallbackRef(0) {}
    ~CInFileStream() override;

    // False with errno set when the file cannot be opened.
    bool Open(CFSTR fileName) { return File.Open(fileName, _followLinks); }

    COM_UNKNOWN_IMP(IInStream, IStreamGetSize, IStreamFileDescriptor)

    HRESULT Read(void *data, UInt32 size, UInt32 *processedSize) override;
    HRESULT Seek(Int64 offset, UInt32 seekOrigin, UInt64 *newPosition) override;
    HRESULT GetSize(UInt64 *size) override;
    HRESULT GetFileDescriptor(int *fd) override;
};
