#pragma once

#include <stddef.h>

#include "archive/IStream.h"
#include "common/Buffer.h"
#include "common/MyCom.h"

// A read-only stream over its own copy of the bytes.
class CBufferInStream : public IInStream, public CMyUnknownImp {
    UInt64 _pos;

public:
    CByteBuffer Buf;

    CBufferInStream() : _pos(0) {}
    void Init() { _pos = 0; }

    COM_UNKNOWN_IMP(ISequentialInStream, IInStream)

    HRESULT Read(void *data, UInt32 size, UInt32 *processedSize) override;
    HRESULT Seek(Int64 offset, UInt32 seekOrigin, UInt64 *newPosition) override;
};

void Create_BufInStream_WithNewBuffer(const void *data, size_t size, ISequentialInStream **stream);
