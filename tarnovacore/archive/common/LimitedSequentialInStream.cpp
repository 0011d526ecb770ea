#include "LimitedSequentialInStream.h"

HRESULT CLimitedSequentialInStream::Read(void *data, UInt32 size, UInt32 *processedSize) {
    if (processedSize) *processedSize = 0;
    const UInt64 rem = _size - _pos;
    if (size > rem) size = (UInt32)rem;
    if (size == 0) return S_OK;
    if (!_stream) return E_FAIL;
    UInt32 realProcessed = 0;
    const HRESULT res = _stream->Read(data, size, &realProcessed);
    _pos += realProcessed;
    if (realProcessed == 0) _wasFinished = true;
    if (processedSize) *processedSize = realProcessed;
    return res;
}
