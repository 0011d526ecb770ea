#pragma once

#include "archive/IStream.h"
#include "common/MyCom.h"

// Reads at most a given number of bytes of the source and notes whether the source ended first.
class CLimitedSequentialInStream : public ISequentialInStream, public CMyUnknownImp {
    CMyComPtr<ISequentialInStream> _stream;
    UInt64 _size;
    UInt64 _pos;
    bool _wasFinished;

public:
    CLimitedSequentialInStream() : _size(0), _pos(0), _wasFinished(false) {}
    void SetStream(ISequentialInStream *stream) { _stream = stream; }
    void ReleaseStream() { _stream.Release(); }
    void Init(UInt64 streamSize) {
        _size = streamSize;
        _pos = 0;
        _wasFinished = false;
    }
    UInt64 GetSize() const { return _pos; }
    UInt64 GetRem() const { return _size - _pos; }
    bool WasFinished() const { return _wasFinished; }

    COM_UNKNOWN_IMP(ISequentialInStream)

    HRESULT Read(void *data, UInt32 size, UInt32 *processedSize) override;
};
