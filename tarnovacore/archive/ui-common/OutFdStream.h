#pragma once

#include "archive/IStream.h"
#include "common/MyCom.h"
#include "common/MyWindows.h"

// An output stream over a descriptor that the extraction opened itself (relative to its output
// folder, without following links). Times and mode go to the descriptor, never to a path.
class COutFdStream : public IOutStream, public CMyUnknownImp {
    int _fd;
    UInt64 _processed;

public:
    explicit COutFdStream(int fd) : _fd(fd), _processed(0) {}
    ~COutFdStream() override { Close(); }

    COM_UNKNOWN_IMP(ISequentialOutStream, IOutStream)

    HRESULT Write(const void *data, UInt32 size, UInt32 *processedSize) override;
    HRESULT Seek(Int64 offset, UInt32 seekOrigin, UInt64 *newPosition) override;
    HRESULT SetSize(UInt64 newSize) override;

    int Fd() const { return _fd; }
    UInt64 ProcessedSize() const { return _processed; }
    // Null times are left as they are; the creation time has no place on Linux.
    bool SetTimes(const FILETIME *aTime, const FILETIME *mTime);
    bool Close();
};
