#pragma once

#include <stddef.h>

#include "ByteDynBuffer.h"
#include "archive/IStream.h"
#include "common/Buffer.h"
#include "common/MyCom.h"

// Collects everything written into a growing memory block.
class CDynBufSeqOutStream : public ISequentialOutStream, public CMyUnknownImp {
    CByteDynBuffer _buffer;
    size_t _size;

public:
    CDynBufSeqOutStream() : _size(0) {}
    void Init() { _size = 0; }
    size_t GetSize() const { return _size; }
    const Byte *GetBuffer() const { return _buffer; }
    void CopyToBuffer(CByteBuffer &dest) const;
    // Room for addSize more bytes after the data, or null when it cannot be had.
    Byte *GetBufPtrForWriting(size_t addSize);
    void UpdateSize(size_t addSize) { _size += addSize; }

    COM_UNKNOWN_IMP(ISequentialOutStream)

    HRESULT Write(const void *data, UInt32 size, UInt32 *processedSize) override;
};
