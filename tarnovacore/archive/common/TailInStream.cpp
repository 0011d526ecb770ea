#include "TailInStream.h"

#include "StreamUtils.h"

HRESULT CTailInStream::Read(void *data, UInt32 size, UInt32 *processedSize) {
    if (processedSize) *processedSize = 0;
    if (size == 0) return S_OK;
    if (!Stream) return E_FAIL;
    // The source may be shared with others that move it, so put it back where this stream is.
    RINOK(Stream->Seek((Int64)(Offset + _virtPos), STREAM_SEEK_SET, nullptr));
    UInt32 realProcessed = 0;
    const HRESULT res = Stream->Read(data, size, &realProcessed);
    _virtPos += realProcessed;
    if (processedSize) *processedSize = realProcessed;
    return res;
}

HRESULT CTailInStream::Seek(Int64 offset, UInt32 seekOrigin, UInt64 *newPosition) {
    if (!Stream) return E_FAIL;
    if (seekOrigin == STREAM_SEEK_END) {
        UInt64 pos = 0;
        RINOK(Stream->Seek(offset, STREAM_SEEK_END, &pos));
        if (pos < Offset) return HRESULT_WIN32_ERROR_NEGATIVE_SEEK;
        _virtPos = pos - Offset;
        if (newPosition) *newPosition = _virtPos;
        return S_OK;
    }
    UInt64 pos = _virtPos;
    RINOK(ComputeSeekPosition(offset, seekOrigin, _virtPos, 0, pos));
    _virtPos = pos;
    if (newPosition) *newPosition = _virtPos;
    return Stream->Seek((Int64)(Offset + _virtPos), STREAM_SEEK_SET, nullptr);
}
