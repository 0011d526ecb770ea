#pragma once

#include "archive/IStream.h"
#include "common/MyCom.h"

// The target without its first Offset bytes: positions and sizes are relative to Offset.
class CTailOutStream : public IOutStream, public CMyUnknownImp {
    UInt64 _virtPos;
    UInt64 _virtSize;

public:
    CMyComPtr<IOutStream> Stream;
    UInt64 Offset;

    CTailOutStream() : _virtPos(0), _virtSize(0), Offset(0) {}
    void Init() {
        _virtPos = 0;
        _virtSize = 0;
    }

    COM_UNKNOWN_IMP(ISequentialOutStream, IOutStream)

    HRESULT Write(const void *data, UInt32 size, UInt32 *processedSize) override;
    HRESULT Seek(Int64 offset, UInt32 seekOrigin, UInt64 *newPosition) override;
    HRESULT SetSize(UInt64 newSize) override;
};
