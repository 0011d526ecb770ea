#pragma once

#include <stddef.h>

#include "archive/IStream.h"
#include "common/Buffer.h"
#include "common/MyCom.h"

// A window of a source like CLimitedInStream, whose reads inside a cached piece of the source
// (the head of an archive being scanned) come from memory.
class CLimitedCachedInStream : public IInStream, public CMyUnknownImp {
    CMyComPtr<IInStream> _stream;
    UInt64 _virtPos;
    UInt64 _physPos;
    UInt64 _size;
    UInt64 _startOffset;

    const Byte *_cache;
    size_t _cacheSize;
    UInt64 _cachePhyPos;

public:
    // Owned memory that may serve as the cache (SetCache(size, pos) points the cache at it).
    CByteBuffer Buffer;

    CLimitedCachedInStream()
        : _virtPos(0), _physPos(0), _size(0), _startOffset(0), _cache(nullptr), _cacheSize(0), _cachePhyPos(0) {}
    void SetStream(IInStream *stream) { _stream = stream; }
    // cacheSize bytes of Buffer hold the source from source position cachePhyPos on.
    void SetCache(size_t cacheSize, UInt64 cachePhyPos) { SetCache(Buffer, cacheSize, cachePhyPos); }
    void SetCache(const Byte *cache, size_t cacheSize, UInt64 cachePhyPos) {
        _cache = cache;
        _cacheSize = cacheSize;
        _cachePhyPos = cachePhyPos;
    }
    HRESULT InitAndSeek(UInt64 startOffset, UInt64 size);
    HRESULT SeekToStart() { return Seek(0, STREAM_SEEK_SET, nullptr); }

    COM_UNKNOWN_IMP(ISequentialInStream, IInStream)

    HRESULT Read(void *data, UInt32 size, UInt32 *processedSize) override;
    HRESULT Seek(Int64 offset, UInt32 seekOrigin, UInt64 *newPosition) override;
};
