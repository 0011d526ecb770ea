#pragma once

#include "archive/IStream.h"
#include "common/MyCom.h"

// The source without its first Offset bytes.
class CTailInStream : public IInStream, public CMyUnknownImp {
    UInt64 _virtPos;

public:
    CMyComPtr<IInStream> Stream;
    UInt64 Offset;

    CTailInStream() : _virtPos(0), Offset(0) {}
    void Init() { _virtPos = 0; }
    HRESULT SeekToStart() { return Stream->Seek((Int64)Offset, STREAM_SEEK_SET, nullptr); }

    COM_UNKNOWN_IMP(ISequentialInStream, IInStream)

    HRESULT Read(void *data, UInt32 size, UInt32 *processedSize) override;
    HRESULT Seek(Int64 offset, UInt32 seekOrigin, UInt64 *newPosition) override;
};
