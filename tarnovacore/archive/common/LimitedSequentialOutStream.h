#pragma once

#include "archive/IStream.h"
#include "common/MyCom.h"

// Passes on at most a given number of bytes. Past the limit it either fails or, when overflow is
// allowed, swallows the bytes; either way the overflow flag records it.
class CLimitedSequentialOutStream : public ISequentialOutStream, public CMyUnknownImp {
    CMyComPtr<ISequentialOutStream> _stream;
    UInt64 _size;
    bool _overflow;
    bool _overflowIsAllowed;

public:
    CLimitedSequentialOutStream() : _size(0), _overflow(false), _overflowIsAllowed(false) {}
    void SetStream(ISequentialOutStream *stream) { _stream = stream; }
    void ReleaseStream() { _stream.Release(); }
    void Init(UInt64 size, bool overflowIsAllowed = false) {
        _size = size;
        _overflow = false;
        _overflowIsAllowed = overflowIsAllowed;
    }
    bool IsFinishedOK() const { return _size == 0 && !_overflow; }
    bool GetOverflowStatus() const { return _overflow; }
    UInt64 GetRem() const { return _size; }

    COM_UNKNOWN_IMP(ISequentialOutStream)

    HRESULT Write(const void *data, UInt32 size, UInt32 *processedSize) override;
};
