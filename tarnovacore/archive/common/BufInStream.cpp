#include "BufInStream.h"

#include <string.h>

#include "StreamUtils.h"

HRESULT CBufInStream::Read(void *data, UInt32 size, UInt32 *processedSize) {
    if (processedSize) *processedSize = 0;
    if (size == 0 || _pos >= _size) return S_OK;
    const UInt64 rem = _size - _pos;
    if (size > rem) size = (UInt32)rem;
    memcpy(data, _data + (size_t)_pos, size);
    _pos += size;
    if (processedSize) *processedSize = size;
    return S_OK;
}

HRESULT CBufInStream::Seek(Int64 offset, UInt32 seekOrigin, UInt64 *newPosition) {
    RINOK(ComputeSeekPosition(offset, seekOrigin, _pos, _size, _pos));
    if (newPosition) *newPosition = _pos;
    return S_OK;
}

void Create_BufInStream_WithReference(const void *data, size_t size, IUnknown *ref, ISequentialInStream **stream) {
    *stream = nullptr;
    CBufInStream *impl = new CBufInStream;
    CMyComPtr<ISequentialInStream> holder = impl;
    impl->Init(static_cast<const Byte *>(data), size, ref);
    *stream = holder.Detach();
}
