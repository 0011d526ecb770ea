#include "LimitedCachedInStream.h"

#include <string.h>

#include "StreamUtils.h"

HRESULT CLimitedCachedInStream::InitAndSeek(UInt64 startOffset, UInt64 size) {
    _startOffset = startOffset;
    _physPos = startOffset;
    _virtPos = 0;
    _size = size;
    if (!_stream) return E_FAIL;
    return _stream->Seek((Int64)startOffset, STREAM_SEEK_SET, nullptr);
}

HRESULT CLimitedCachedInStream::Read(void *data, UInt32 size, UInt32 *processedSize) {
    if (processedSize) *processedSize = 0;
    if (_virtPos >= _size) return S_OK;
    {
        const UInt64 rem = _size - _virtPos;
        if (size > rem) size = (UInt32)rem;
    }
    if (size == 0) return S_OK;

    const UInt64 newPos = _startOffset + _virtPos;
    if (_cache && newPos >= _cachePhyPos && newPos - _cachePhyPos <= _cacheSize &&
        size <= _cacheSize - (size_t)(newPos - _cachePhyPos)) {
        memcpy(data, _cache + (size_t)(newPos - _cachePhyPos), size);
        _virtPos += size;
        if (processedSize) *processedSize = size;
        return S_OK;
    }

    if (!_stream) return E_FAIL;
    // Seek every time: the source is shared with the code that fills the cache.
    _physPos = newPos;
    RINOK(_stream->Seek((Int64)_physPos, STREAM_SEEK_SET, nullptr));
    UInt32 realProcessed = 0;
    const HRESULT res = _stream->Read(data, size, &realProcessed);
    _physPos += realProcessed;
    _virtPos += realProcessed;
    if (processedSize) *processedSize = realProcessed;
    return res;
}

HRESULT CLimitedCachedInStream::Seek(Int64 offset, UInt32 seekOrigin, UInt64 *newPosition) {
    RINOK(ComputeSeekPosition(offset, seekOrigin, _virtPos, _size, _virtPos));
    if (newPosition) *newPosition = _virtPos;
    return S_OK;
}
