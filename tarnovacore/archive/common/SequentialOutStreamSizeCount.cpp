#include "SequentialOutStreamSizeCount.h"

HRESULT CSequentialOutStreamSizeCount::Write(const void *data, UInt32 size, UInt32 *processedSize) {
    UInt32 realProcessed = 0;
    const HRESULT res = _stream ? _stream->Write(data, size, &realProcessed) : E_FAIL;
    _size += realProcessed;
    if (processedSize) *processedSize = realProcessed;
    return res;
}
