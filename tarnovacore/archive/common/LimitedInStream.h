#pragma once

#include "archive/IStream.h"
#include "common/MyCom.h"

// The window [start, start + size) of a seekable source, with a position of its own. Several
// windows may share one source, so each read puts the source where this window needs it.
class CLimitedInStream : public IInStream, public CMyUnknownImp {
protected:
    CMyComPtr<IInStream> _stream;
    UInt64 _virtPos;
    UInt64 _physPos;
    UInt64 _size;
    UInt64 _startOffset;

    // size cut to what is left of the window.
    UInt32 ClampToWindow(UInt32 size) const {
        const UInt64 rem = _virtPos < _size ? _size - _virtPos : 0;
        return size > rem ? (UInt32)rem : size;
    }

public:
    CLimitedInStream() : _virtPos(0), _physPos(0), _size(0), _startOffset(0) {}
    void SetStream(IInStream *stream) { _stream = stream; }
    HRESULT InitAndSeek(UInt64 startOffset, UInt64 size);
    HRESULT SeekToStart() { return Seek(0, STREAM_SEEK_SET, nullptr); }

    COM_UNKNOWN_IMP(ISequentialInStream, IInStream)

    HRESULT Read(void *data, UInt32 size, UInt32 *processedSize) override;
    HRESULT Seek(Int64 offset, UInt32 seekOrigin, UInt64 *newPosition) override;
};

// A window [position, position + size) of source; fails when the source cannot seek there.
HRESULT CreateLimitedInStream(IInStream *source, UInt64 position, UInt64 size, ISequentialInStream **stream);
