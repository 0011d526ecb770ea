#include "LimitedInStream.h"

#include "StreamUtils.h"

HRESULT CLimitedInStream::InitAndSeek(UInt64 startOffset, UInt64 size) {
    _startOffset = startOffset;
    _physPos = startOffset;
    _virtPos = 0;
    _size = size;
    if (!_stream) return E_FAIL;
    return _stream->Seek((Int64)startOffset, STREAM_SEEK_SET, nullptr);
}

HRESULT CLimitedInStream::Read(void *data, UInt32 size, UInt32 *processedSize) {
    if (processedSize) *processedSize = 0;
    size = ClampToWindow(size);
    if (size == 0) return S_OK;
    if (!_stream) return E_FAIL;
    // Seek every time: another window or the source's owner may have moved it since.
    _physPos = _startOffset + _virtPos;
    RINOK(_stream->Seek((Int64)_physPos, STREAM_SEEK_SET, nullptr));
    UInt32 realProcessed = 0;
    const HRESULT res = _stream->Read(data, size, &realProcessed);
    _virtPos += realProcessed;
    _physPos += realProcessed;
    if (processedSize) *processedSize = realProcessed;
    return res;
}

HRESULT CLimitedInStream::Seek(Int64 offset, UInt32 seekOrigin, UInt64 *newPosition) {
    RINOK(ComputeSeekPosition(offset, seekOrigin, _virtPos, _size, _virtPos));
    if (newPosition) *newPosition = _virtPos;
    return S_OK;
}

HRESULT CreateLimitedInStream(IInStream *source, UInt64 position, UInt64 size, ISequentialInStream **stream) {
    *stream = nullptr;
    CLimitedInStream *impl = new CLimitedInStream;
    CMyComPtr<ISequentialInStream> holder = impl;
    impl->SetStream(source);
    RINOK(impl->InitAndSeek(position, size));
    *stream = holder.Detach();
    return S_OK;
}
