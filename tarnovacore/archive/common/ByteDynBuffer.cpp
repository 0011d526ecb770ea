#include "ByteDynBuffer.h"

#include <stdlib.h>

void CByteDynBuffer::Free() {
    free(_buf);
    _buf = nullptr;
    _capacity = 0;
}

bool CByteDynBuffer::EnsureCapacity(size_t capacity) {
    if (capacity <= _capacity) return true;
    size_t delta;
    if (_capacity > 64)
        delta = _capacity / 4;
    else if (_capacity > 8)
        delta = 16;
    else
        delta = 4;
    size_t newCap = _capacity + delta;
    if (newCap < capacity || newCap < _capacity) newCap = capacity;
    Byte *p = static_cast<Byte *>(realloc(_buf, newCap));
    if (!p) return false;
    _buf = p;
    _capacity = newCap;
    return true;
}
