#include "TailOutStream.h"

#include "StreamUtils.h"

HRESULT CTailOutStream::Write(const void *data, UInt32 size, UInt32 *processedSize) {
    if (processedSize) *processedSize = 0;
    if (!Stream) return E_FAIL;
    UInt32 realProcessed = 0;
    const HRESULT res = Stream->Write(data, size, &realProcessed);
    _virtPos += realProcessed;
    if (_virtSize < _virtPos) _virtSize = _virtPos;
    if (processedSize) *processedSize = realProcessed;
    return res;
}

HRESULT CTailOutStream::Seek(Int64 offset, UInt32 seekOrigin, UInt64 *newPosition) {
    if (!Stream) return E_FAIL;
    RINOK(ComputeSeekPosition(offset, seekOrigin, _virtPos, _virtSize, _virtPos));
    if (newPosition) *newPosition = _virtPos;
    return Stream->Seek((Int64)(Offset + _virtPos), STREAM_SEEK_SET, nullptr);
}

HRESULT CTailOutStream::SetSize(UInt64 newSize) {
    if (!Stream) return E_FAIL;
    _virtSize = newSize;
    return Stream->SetSize(Offset + newSize);
}
