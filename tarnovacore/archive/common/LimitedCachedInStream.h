#pragma once

#include <stddef.h>

#include "LimitedInStream.h"
#include "common/Buffer.h"

// A window of a source whose reads inside a cached piece of the source (the head of an archive
// being scanned) come from memory.
class CLimitedCachedInStream : public CLimitedInStream {
    const Byte *_cache;
    size_t _cacheSize;
    UInt64 _cachePhyPos;

public:
    // Owned memory that may serve as the cache (SetCache(size, pos) points the cache at it).
    CByteBuffer Buffer;

    CLimitedCachedInStream() : _cache(nullptr), _cacheSize(0), _cachePhyPos(0) {}
    // cacheSize bytes of Buffer hold the source from source position cachePhyPos on.
    void SetCache(size_t cacheSize, UInt64 cachePhyPos) { SetCache(Buffer, cacheSize, cachePhyPos); }
    void SetCache(const Byte *cache, size_t cacheSize, UInt64 cachePhyPos) {
        _cache = cache;
        _cacheSize = cacheSize;
        _cachePhyPos = cachePhyPos;
    }

    HRESULT Read(void *data, UInt32 size, UInt32 *processedSize) override;
};
