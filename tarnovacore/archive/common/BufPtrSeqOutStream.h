#pragma once

#include <stddef.h>

#include "archive/IStream.h"
#include "common/MyCom.h"

// Writes into a fixed block that the caller owns; full means E_FAIL.
class CBufPtrSeqOutStream : public ISequentialOutStream, public CMyUnknownImp {
    Byte *_buffer;
    size_t _size;
    size_t _pos;

public:
    CBufPtrSeqOutStream() : _buffer(nullptr), _size(0), _pos(0) {}
    void Init(Byte *buffer, size_t size) {
        _buffer = buffer;
        _size = size;
        _pos = 0;
    }
    size_t GetPos() const { return _pos; }

    COM_UNKNOWN_IMP(ISequentialOutStream)

    HRESULT Write(const void *data, UInt32 size, UInt32 *processedSize) override;
};
