#pragma once

#include "HashCalc.h"
#include "archive/IStream.h"
#include "common/MyCom.h"

// Passes data on to an optional inner stream and feeds it to a hash calculation on the way.
class COutStreamWithHash : public ISequentialOutStream, public CMyUnknownImp {
    CMyComPtr<ISequentialOutStream> _stream;
    UInt64 _size;
    bool _calculate;

public:
    IHashCalc *_hash;

    COutStreamWithHash() : _size(0), _calculate(true), _hash(nullptr) {}

    COM_UNKNOWN_IMP_0(ISequentialOutStream)

    HRESULT Write(const void *data, UInt32 size, UInt32 *processedSize) override;

    void SetStream(ISequentialOutStream *stream) { _stream = stream; }
    void ReleaseStream() { _stream.Release(); }
    void Init(bool calculate = true) {
        InitCRC();
        _size = 0;
        _calculate = calculate;
    }
    void EnableCalc(bool calculate) { _calculate = calculate; }
    void InitCRC() { _hash->InitForNewFile(); }
    UInt64 GetSize() const { return _size; }
};
