#pragma once

#include <stddef.h>

#include "archive/IStream.h"
#include "common/MyCom.h"

// A stream read in aligned blocks through a direct-mapped cache; a derived class supplies the blocks.
class CCachedInStream : public IInStream, public CMyUnknownImp {
    UInt64 *_tags;
    Byte *_data;
    size_t _dataSize;
    unsigned _blockSizeLog;
    unsigned _numBlocksLog;
    UInt64 _size;
    UInt64 _pos;

protected:
    virtual HRESULT ReadBlock(UInt64 blockIndex, Byte *dest, size_t blockSize) = 0;

public:
    CCachedInStream()
        : _tags(nullptr), _data(nullptr), _dataSize(0), _blockSizeLog(0), _numBlocksLog(0), _size(0), _pos(0) {}
    CCachedInStream(const CCachedInStream &) = delete;
    CCachedInStream &operator=(const CCachedInStream &) = delete;
    virtual ~CCachedInStream() { Free(); }

    void Free();
    bool Alloc(unsigned blockSizeLog, unsigned numBlocksLog);
    void Init(UInt64 size);

    COM_UNKNOWN_IMP(ISequentialInStream, IInStream)

    HRESULT Read(void *data, UInt32 size, UInt32 *processedSize) override;
    HRESULT Seek(Int64 offset, UInt32 seekOrigin, UInt64 *newPosition) override;
};
