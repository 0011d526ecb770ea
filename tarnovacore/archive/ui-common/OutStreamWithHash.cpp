#include "OutStreamWithHash.h"

HRESULT COutStreamWithHash::Write(const void *data, UInt32 size, UInt32 *processedSize) {
    HRESULT result = S_OK;
    if (_stream) result = _stream->Write(data, size, &size);
    if (_calculate) _hash->Update(data, size);
    _size += size;
    if (processedSize) *processedSize = size;
    return result;
}
