#pragma once

#include "archive/IStream.h"
#include "common/MyCom.h"
#include "common/MyVector.h"

// One piece of the stream: it starts at Virt in the stream and at Phy in the source.
struct CSeekExtent {
    UInt64 Phy;
    UInt64 Virt;
};

// A stream made of extents of a source; the last extent's Virt is the total size.
class CExtentsStream : public IInStream, public CMyUnknownImp {
    CMyComPtr<IInStream> _stream;
    UInt64 _phyPos;
    UInt64 _virtPos;

public:
    CRecordVector<CSeekExtent> Extents;

    CExtentsStream() : _phyPos(0), _virtPos(0) {}
    void SetStream(IInStream *stream) { _stream = stream; }
    void ReleaseStream() { _stream.Release(); }
    void Init() {
        _virtPos = 0;
        _phyPos = 0;
    }

    COM_UNKNOWN_IMP(ISequentialInStream, IInStream)

    HRESULT Read(void *data, UInt32 size, UInt32 *processedSize) override;
    HRESULT Seek(Int64 offset, UInt32 seekOrigin, UInt64 *newPosition) override;
};
