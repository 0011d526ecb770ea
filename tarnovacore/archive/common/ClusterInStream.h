#pragma once

#include "archive/IStream.h"
#include "common/MyCom.h"
#include "common/MyVector.h"

// A stream made of clusters of a source, in the order of a cluster list. Runs of physically
// consecutive clusters are read with one source read.
class CClusterInStream : public IInStream, public CMyUnknownImp {
    CMyComPtr<IInStream> _stream;
    UInt64 _virtPos;
    UInt64 _physPos;
    UInt32 _curRem;

public:
    unsigned BlockSizeLog;
    UInt64 Size;
    CRecordVector<UInt32> Vector;
    UInt64 StartOffset;

    CClusterInStream() : _virtPos(0), _physPos(0), _curRem(0), BlockSizeLog(0), Size(0), StartOffset(0) {}
    void SetStream(IInStream *stream) { _stream = stream; }
    HRESULT InitAndSeek();

    COM_UNKNOWN_IMP(ISequentialInStream, IInStream)

    HRESULT Read(void *data, UInt32 size, UInt32 *processedSize) override;
    HRESULT Seek(Int64 offset, UInt32 seekOrigin, UInt64 *newPosition) override;
};
