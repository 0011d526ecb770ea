#include "BufPtrSeqOutStream.h"

#include <string.h>

HRESULT CBufPtrSeqOutStream::Write(const void *data, UInt32 size, UInt32 *processedSize) {
    size_t cur = _size - _pos;
    if (cur > size) cur = size;
    if (cur != 0) {
        memcpy(_buffer + _pos, data, cur);
        _pos += cur;
    }
    if (processedSize) *processedSize = (UInt32)cur;
    return (cur == 0 && size != 0) ? E_FAIL : S_OK;
}
