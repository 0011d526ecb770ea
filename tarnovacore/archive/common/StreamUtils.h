#pragma once

#include <stddef.h>

#include "archive/IStream.h"

#ifndef RINOK
#define RINOK(x)                                                                                                       \
    {                                                                                                                  \
        const HRESULT rinok_result = (x);                                                                              \
        if (rinok_result != S_OK) return rinok_result;                                                                 \
    }
#endif

// Reads until *size bytes came or the stream ended; *size gets the count. The first failure is
// returned, with the bytes before it counted.
HRESULT ReadStream(ISequentialInStream *stream, void *data, size_t *size);
// The same, with S_FALSE for a stream that ended early.
HRESULT ReadStream_FALSE(ISequentialInStream *stream, void *data, size_t size);
// The same, with E_FAIL for a stream that ended early.
HRESULT ReadStream_FAIL(ISequentialInStream *stream, void *data, size_t size);
// Writes all bytes; a write that accepts nothing is E_FAIL.
HRESULT WriteStream(ISequentialOutStream *stream, const void *data, size_t size);

// The seek rule of the streams that keep a position of their own: base 0, the current position or
// the end; a position below 0 is refused and the caller's position is left alone.
inline HRESULT ComputeSeekPosition(Int64 offset, UInt32 seekOrigin, UInt64 current, UInt64 end, UInt64 &newPos) {
    UInt64 base;
    switch (seekOrigin) {
    case STREAM_SEEK_SET:
        base = 0;
        break;
    case STREAM_SEEK_CUR:
        base = current;
        break;
    case STREAM_SEEK_END:
        base = end;
        break;
    default:
        return STG_E_INVALIDFUNCTION;
    }
    // Unsigned arithmetic: a sum that does not fit a signed position counts as negative.
    const UInt64 pos = base + (UInt64)offset;
    if ((Int64)pos < 0 || (offset < 0 && (UInt64)(-(offset + 1)) >= base)) return HRESULT_WIN32_ERROR_NEGATIVE_SEEK;
    newPos = pos;
    return S_OK;
}
