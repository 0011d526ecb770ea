#pragma once

#include <stddef.h>
#include <string.h>

#include "common/MyTypes.h"

// A heap array of plain values with its size; reallocating forgets the old contents.
template <class T> class CBuffer {
    T *_items;
    size_t _size;

public:
    CBuffer() : _items(nullptr), _size(0) {}
    explicit CBuffer(size_t size) : _items(nullptr), _size(0) { Alloc(size); }
    CBuffer(const CBuffer &other) : _items(nullptr), _size(0) { CopyFrom(other._items, other._size); }
    CBuffer(CBuffer &&other) noexcept : _items(other._items), _size(other._size) {
        other._items = nullptr;
        other._size = 0;
    }
    ~CBuffer() { delete[] _items; }

    CBuffer &operator=(const CBuffer &other) {
        if (this != &other) CopyFrom(other._items, other._size);
        return *this;
    }
    CBuffer &operator=(CBuffer &&other) noexcept {
        if (this != &other) {
            delete[] _items;
            _items = other._items;
            _size = other._size;
            other._items = nullptr;
            other._size = 0;
        }
        return *this;
    }

    void Free() {
        delete[] _items;
        _items = nullptr;
        _size = 0;
    }

    size_t Size() const { return _size; }
    operator T *() { return _items; }
    operator const T *() const { return _items; }

    // Reallocates only when the size changes.
    void Alloc(size_t size) {
        if (size == _size) return;
        T *p = size == 0 ? nullptr : new T[size];
        delete[] _items;
        _items = p;
        _size = size;
    }

    void CopyFrom(const T *data, size_t size) {
        Alloc(size);
        if (size != 0) memcpy((void *)_items, (const void *)data, size * sizeof(T));
    }
};

typedef CBuffer<Byte> CByteBuffer;
