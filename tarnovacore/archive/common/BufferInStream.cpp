#include "BufferInStream.h"

#include <string.h>

#include "StreamUtils.h"

HRESULT CBufferInStream::Read(void *data, UInt32 size, UInt32 *processedSize) {
    if (processedSize) *processedSize = 0;
    const UInt64 total = Buf.Size();
    if (size == 0 || _pos >= total) return S_OK;
    const UInt64 rem = total - _pos;
    if (size > rem) size = (UInt32)rem;
    memcpy(data, (const Byte *)Buf + (size_t)_pos, size);
    _pos += size;
    if (processedSize) *processedSize = size;
    return S_OK;
}

HRESULT CBufferInStream::Seek(Int64 offset, UInt32 seekOrigin, UInt64 *newPosition) {
    RINOK(ComputeSeekPosition(offset, seekOrigin, _pos, Buf.Size(), _pos));
    if (newPosition) *newPosition = _pos;
    return S_OK;
}

void Create_BufInStream_WithNewBuffer(const void *data, size_t size, ISequentialInStream **stream) {
    *stream = nullptr;
    CBufferInStream *impl = new CBufferInStream;
    CMyComPtr<ISequentialInStream> holder = impl;
    impl->Buf.CopyFrom(static_cast<const Byte *>(data), size);
    impl->Init();
    *stream = holder.Detach();
}
