#include "StreamUtils.h"

// One call moves at most this much, so the 32-bit counts never overflow.
static const UInt32 kBlockSizeMax = (UInt32)1 << 31;

HRESULT ReadStream(ISequentialInStream *stream, void *data, size_t *size) {
    size_t rem = *size;
    *size = 0;
    Byte *p = static_cast<Byte *>(data);
    while (rem != 0) {
        const UInt32 cur = rem < kBlockSizeMax ? (UInt32)rem : kBlockSizeMax;
        UInt32 processed = 0;
        const HRESULT res = stream->Read(p, cur, &processed);
        // A stream may misreport; never count beyond what was asked.
        if (processed > cur) processed = cur;
        *size += processed;
        p += processed;
        rem -= processed;
        if (res != S_OK) return res;
        if (processed == 0) return S_OK;
    }
    return S_OK;
}

HRESULT ReadStream_FALSE(ISequentialInStream *stream, void *data, size_t size) {
    size_t processed = size;
    RINOK(ReadStream(stream, data, &processed));
    return processed == size ? S_OK : S_FALSE;
}

HRESULT ReadStream_FAIL(ISequentialInStream *stream, void *data, size_t size) {
    size_t processed = size;
    RINOK(ReadStream(stream, data, &processed));
    return processed == size ? S_OK : E_FAIL;
}

HRESULT WriteStream(ISequentialOutStream *stream, const void *data, size_t size) {
    const Byte *p = static_cast<const Byte *>(data);
    while (size != 0) {
        const UInt32 cur = size < kBlockSizeMax ? (UInt32)size : kBlockSizeMax;
        UInt32 processed = 0;
        const HRESULT res = stream->Write(p, cur, &processed);
        if (processed > cur) processed = cur;
        p += processed;
        size -= processed;
        if (res != S_OK) return res;
        if (processed == 0) return E_FAIL;
    }
    return S_OK;
}
