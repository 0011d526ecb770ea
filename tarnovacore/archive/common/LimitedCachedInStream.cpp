#include "LimitedCachedInStream.h"

#include <string.h>

HRESULT CLimitedCachedInStream::Read(void *data, UInt32 size, UInt32 *processedSize) {
    if (processedSize) *processedSize = 0;
    size = ClampToWindow(size);
    if (size == 0) return S_OK;

    const UInt64 newPos = _startOffset + _virtPos;
    if (_cache && newPos >= _cachePhyPos && newPos - _cachePhyPos <= _cacheSize &&
        size <= _cacheSize - (size_t)(newPos - _cachePhyPos)) {
        memcpy(data, _cache + (size_t)(newPos - _cachePhyPos), size);
        _virtPos += size;
        if (processedSize) *processedSize = size;
        return S_OK;
    }
    // The source is shared with the code that fills the cache; the window seeks it every time.
    return CLimitedInStream::Read(data, size, processedSize);
}
