#include "DynBufSeqOutStream.h"

#include <string.h>

void CDynBufSeqOutStream::CopyToBuffer(CByteBuffer &dest) const {
    dest.CopyFrom(_buffer, _size);
}

Byte *CDynBufSeqOutStream::GetBufPtrForWriting(size_t addSize) {
    const size_t newSize = _size + addSize;
    if (newSize < _size) return nullptr;
    if (!_buffer.EnsureCapacity(newSize)) return nullptr;
    return (Byte *)_buffer + _size;
}

HRESULT CDynBufSeqOutStream::Write(const void *data, UInt32 size, UInt32 *processedSize) {
    if (processedSize) *processedSize = 0;
    if (size == 0) return S_OK;
    Byte *p = GetBufPtrForWriting(size);
    if (!p) return E_OUTOFMEMORY;
    memcpy(p, data, size);
    UpdateSize(size);
    if (processedSize) *processedSize = size;
    return S_OK;
}
