#pragma once

#include "archive/IStream.h"
#include "common/MyCom.h"

// Passes writes on and counts the bytes that the target took.
class CSequentialOutStreamSizeCount : public ISequentialOutStream, public CMyUnknownImp {
    CMyComPtr<ISequentialOutStream> _stream;
    UInt64 _size;

public:
    CSequentialOutStreamSizeCount() : _size(0) {}
    void SetStream(ISequentialOutStream *stream) { _stream = stream; }
    void Init() { _size = 0; }
    UInt64 GetSize() const { return _size; }

    COM_UNKNOWN_IMP(ISequentialOutStream)

    HRESULT Write(const void *data, UInt32 size, UInt32 *processedSize) override;
};
