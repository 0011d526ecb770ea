#pragma once

#include "archive/IStream.h"
#include "archive/IStreamFileDescriptor.h"
#include "common/MyCom.h"
#include "windows/FileIO.h"

// A file opened for writing. The owner creates File and resets ProcessedSize, which counts the bytes
// that came through Write (not those a plug-in copied through the descriptor).
class COutFileStream : public IOutStream, public IStreamFileDescriptor, public CMyUnknownImp {
public:
    NWindows::NFile::NIO::COutFile File;
    UInt64 ProcessedSize;

    COutFileStream() : ProcessedSize(0) {}

    bool Create(CFSTR fileName, bool createAlways) { return File.Create(fileName, createAlways); }
    bool Open(CFSTR fileName, DWORD creationDisposition) { return File.Open(fileName, creationDisposition); }
    bool SetTime(const FILETIME *cTime, const FILETIME *aTime, const FILETIME *mTime) {
        return File.SetTime(cTime, aTime, mTime);
    }
    bool SetMTime(const FILETIME *mTime) { return File.SetMTime(mTime); }
    // Closing applies the times set before.
    HRESULT Close();
    HRESULT GetSize(UInt64 *size);

    COM_UNKNOWN_IMP(IOutStream, IStreamFileDescriptor)

    HRESULT Write(const void *data, UInt32 size, UInt32 *processedSize) override;
    HRESULT Seek(Int64 offset, UInt32 seekOrigin, UInt64 *newPosition) override;
    HRESULT SetSize(UInt64 newSize) override;
    HRESULT GetFileDescriptor(int *fd) override;
};
