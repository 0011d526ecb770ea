#pragma once

#include "archive/IStream.h"
#include "common/MyCom.h"

// Standard output as a stream.
class CStdOutFileStream : public ISequentialOutStream, public CMyUnknownImp {
    UInt64 _size;

public:
    CStdOutFileStream() : _size(0) {}
    UInt64 GetSize() const { return _size; }

    COM_UNKNOWN_IMP_0(ISequentialOutStream)

    HRESULT Write(const void *data, UInt32 size, UInt32 *processedSize) override;
};
