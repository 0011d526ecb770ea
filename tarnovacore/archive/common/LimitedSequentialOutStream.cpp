#include "LimitedSequentialOutStream.h"

HRESULT CLimitedSequentialOutStream::Write(const void *data, UInt32 size, UInt32 *processedSize) {
    if (processedSize) *processedSize = 0;
    if (size > _size) {
        if (_size == 0) {
            _overflow = true;
            if (!_overflowIsAllowed) return E_FAIL;
            if (processedSize) *processedSize = size;
            return S_OK;
        }
        size = (UInt32)_size;
    }
    HRESULT res = S_OK;
    if (_stream) res = _stream->Write(data, size, &size);
    _size -= size;
    if (processedSize) *processedSize = size;
    return res;
}
