#pragma once

#include <stddef.h>

#include "common/MyTypes.h"

// A growing byte block; growth is geometric above 64 bytes so that appends stay cheap.
class CByteDynBuffer {
    size_t _capacity;
    Byte *_buf;

public:
    CByteDynBuffer() : _capacity(0), _buf(nullptr) {}
    CByteDynBuffer(const CByteDynBuffer &) = delete;
    CByteDynBuffer &operator=(const CByteDynBuffer &) = delete;
    ~CByteDynBuffer() { Free(); }

    void Free();
    size_t GetCapacity() const { return _capacity; }
    operator Byte *() const { return _buf; }
    // False when the memory cannot be had; the old block is then kept.
    bool EnsureCapacity(size_t capacity);
};
