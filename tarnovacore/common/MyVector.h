#pragma once

#include <string.h>

#include "MyTypes.h"

// Vector of plain values, copied bitwise. Grows by a quarter of its size plus one.
template <class T> class CRecordVector {
    T *_items;
    unsigned _size;
    unsigned _capacity;

    void MoveItems(unsigned destIndex, unsigned srcIndex)
    {
        memmove((void *)(_items + destIndex), (const void *)(_items + srcIndex),
                (size_t)(_size - srcIndex) * sizeof(T));
    }
    void ReAllocForNewCapacity(unsigned newCapacity)
    {
        T *p = new T[newCapacity];
        if (_size != 0)
            memcpy((void *)p, (const void *)_items, (size_t)_size * sizeof(T));
        delete[] _items;
        _items = p;
        _capacity = newCapacity;
    }
    void ReserveOnePosition()
    {
        if (_size == _capacity) {
            const unsigned add = _capacity / 4 + 1;
            if (_capacity > 0x7FFFFFFF - add)
                throw 2013022;
            ReAllocForNewCapacity(_capacity + add);
        }
    }

public:
    CRecordVector() : _items(nullptr), _size(0), _capacity(0) {}
    CRecordVector(const CRecordVector &v) : _items(nullptr), _size(0), _capacity(0)
    {
        const unsigned size = v.Size();
        if (size != 0) {
            _items = new T[size];
            _size = size;
            _capacity = size;
            memcpy((void *)_items, (const void *)v._items, (size_t)size * sizeof(T));
        }
    }
    CRecordVector(CRecordVector &&v) noexcept : _items(v._items), _size(v._size), _capacity(v._capacity)
    {
        v._items = nullptr;
        v._size = 0;
        v._capacity = 0;
    }
    ~CRecordVector() { delete[] _items; }

    CRecordVector &operator=(const CRecordVector &v)
    {
        if (&v == this)
            return *this;
        const unsigned size = v.Size();
        if (size > _capacity) {
            delete[] _items;
            _capacity = 0;
            _size = 0;
            _items = nullptr;
            _items = new T[size];
            _capacity = size;
        }
        _size = size;
        if (size != 0)
            memcpy((void *)_items, (const void *)v._items, (size_t)size * sizeof(T));
        return *this;
    }
    CRecordVector &operator=(CRecordVector &&v) noexcept
    {
        if (&v != this) {
            delete[] _items;
            _items = v._items;
            _size = v._size;
            _capacity = v._capacity;
            v._items = nullptr;
            v._size = 0;
            v._capacity = 0;
        }
        return *this;
    }
    CRecordVector &operator+=(const CRecordVector &v)
    {
        const unsigned addSize = v.Size();
        if (addSize != 0) {
            Reserve(_size + addSize);
            memcpy((void *)(_items + _size), (const void *)v._items, (size_t)addSize * sizeof(T));
            _size += addSize;
        }
        return *this;
    }

    unsigned Size() const { return _size; }
    unsigned Capacity() const { return _capacity; }
    bool IsEmpty() const { return _size == 0; }

    void Reserve(unsigned newCapacity)
    {
        if (newCapacity > _capacity)
            ReAllocForNewCapacity(newCapacity);
    }
    // Frees a too-small array without copying and allocates exactly the new size.
    void ClearAndReserve(unsigned newCapacity)
    {
        Clear();
        if (newCapacity > _capacity) {
            delete[] _items;
            _items = nullptr;
            _capacity = 0;
            _items = new T[newCapacity];
            _capacity = newCapacity;
        }
    }
    void ClearAndSetSize(unsigned newSize)
    {
        ClearAndReserve(newSize);
        _size = newSize;
    }
    void ChangeSize_KeepData(unsigned newSize)
    {
        Reserve(newSize);
        _size = newSize;
    }

    void Clear() { _size = 0; }
    void DeleteBack() { _size--; }
    void DeleteFrom(unsigned index)
    {
        if (index < _size)
            _size = index;
    }
    void DeleteFrontal(unsigned num)
    {
        if (num != 0) {
            MoveItems(0, num);
            _size -= num;
        }
    }
    void Delete(unsigned index)
    {
        MoveItems(index, index + 1);
        _size -= 1;
    }

    const T *ConstData() const { return _items; }
    T *NonConstData() const { return _items; }
    const T &operator[](unsigned index) const { return _items[index]; }
    T &operator[](unsigned index) { return _items[index]; }
    const T &Front() const { return _items[0]; }
    T &Front() { return _items[0]; }
    const T &Back() const { return _items[(size_t)_size - 1]; }
    T &Back() { return _items[(size_t)_size - 1]; }

    unsigned Add(const T item)
    {
        ReserveOnePosition();
        _items[_size] = item;
        return _size++;
    }
    void AddInReserved(const T item) { _items[_size++] = item; }
    void Insert(unsigned index, const T item)
    {
        ReserveOnePosition();
        MoveItems(index + 1, index);
        _items[index] = item;
        _size++;
    }

    int FindInSorted(const T item) const
    {
        unsigned left = 0, right = _size;
        while (left != right) {
            const unsigned mid = (left + right) / 2;
            const T midVal = (*this)[mid];
            if (item == midVal)
                return (int)mid;
            if (item < midVal)
                right = mid;
            else
                left = mid + 1;
        }
        return -1;
    }
    unsigned AddToUniqueSorted(const T item)
    {
        unsigned left = 0, right = _size;
        while (left != right) {
            const unsigned mid = (left + right) / 2;
            const T midVal = (*this)[mid];
            if (item == midVal)
                return mid;
            if (item < midVal)
                right = mid;
            else
                left = mid + 1;
        }
        Insert(right, item);
        return right;
    }

    static void SortRefDown(T *p, unsigned k, unsigned size, int (*compare)(const T *, const T *, void *), void *param)
    {
        const T temp = p[k];
        for (;;) {
            unsigned s = (k << 1);
            if (s > size)
                break;
            if (s < size && compare(p + s + 1, p + s, param) > 0)
                s++;
            if (compare(&temp, p + s, param) >= 0)
                break;
            p[k] = p[s];
            k = s;
        }
        p[k] = temp;
    }

    // In-place heap sort on 1-based indices; not stable.
    void Sort(int (*compare)(const T *, const T *, void *), void *param)
    {
        unsigned size = _size;
        if (size <= 1)
            return;
        T *p = _items - 1;
        {
            unsigned i = size >> 1;
            do
                SortRefDown(p, i, size, compare, param);
            while (--i != 0);
        }
        do {
            const T temp = p[size];
            p[size--] = p[1];
            p[1] = temp;
            SortRefDown(p, 1, size, compare, param);
        } while (size > 1);
    }

    static int CompareDefault(const T *a, const T *b, void *) { return *a < *b ? -1 : (*b < *a ? 1 : 0); }
    void Sort() { Sort(CompareDefault, nullptr); }
};

typedef CRecordVector<int> CIntVector;
typedef CRecordVector<unsigned> CUIntVector;
typedef CRecordVector<bool> CBoolVector;
typedef CRecordVector<unsigned char> CByteVector;
typedef CRecordVector<void *> CPointerVector;

// Owning vector of individually allocated objects; copies are deep.
template <class T> class CObjectVector {
    CPointerVector _v;

public:
    unsigned Size() const { return _v.Size(); }
    bool IsEmpty() const { return _v.IsEmpty(); }
    void ReserveDown() {}
    void Reserve(unsigned newCapacity) { _v.Reserve(newCapacity); }
    void ClearAndReserve(unsigned newCapacity)
    {
        Clear();
        _v.ClearAndReserve(newCapacity);
    }

    CObjectVector() {}
    CObjectVector(const CObjectVector &v)
    {
        const unsigned size = v.Size();
        _v.ClearAndReserve(size);
        for (unsigned i = 0; i < size; i++)
            AddInReserved(v[i]);
    }
    CObjectVector(CObjectVector &&v) noexcept : _v(static_cast<CPointerVector &&>(v._v)) {}
    CObjectVector &operator=(const CObjectVector &v)
    {
        if (&v == this)
            return *this;
        Clear();
        const unsigned size = v.Size();
        _v.Reserve(size);
        for (unsigned i = 0; i < size; i++)
            AddInReserved(v[i]);
        return *this;
    }
    CObjectVector &operator=(CObjectVector &&v) noexcept
    {
        if (&v != this) {
            Clear();
            _v = static_cast<CPointerVector &&>(v._v);
        }
        return *this;
    }
    CObjectVector &operator+=(const CObjectVector &v)
    {
        const unsigned addSize = v.Size();
        if (addSize != 0) {
            Reserve(Size() + addSize);
            for (unsigned i = 0; i < addSize; i++)
                AddInReserved(v[i]);
        }
        return *this;
    }
    ~CObjectVector() { Clear(); }

    const T &operator[](unsigned index) const { return *((T *)_v[index]); }
    T &operator[](unsigned index) { return *((T *)_v[index]); }
    const T &Front() const { return operator[](0); }
    T &Front() { return operator[](0); }
    const T &Back() const { return *(T *)_v.Back(); }
    T &Back() { return *(T *)_v.Back(); }

    void MoveToFront(unsigned index)
    {
        void *p = _v[index];
        _v.Delete(index);
        _v.Insert(0, p);
    }

    unsigned Add(const T &item)
    {
        T *p = new T(item);
        try {
            return _v.Add(p);
        } catch (...) {
            delete p;
            throw;
        }
    }
    void AddInReserved(const T &item) { _v.AddInReserved(new T(item)); }
    T &AddNew()
    {
        T *p = new T;
        try {
            _v.Add(p);
        } catch (...) {
            delete p;
            throw;
        }
        return *p;
    }
    T &AddNewInReserved()
    {
        T *p = new T;
        _v.AddInReserved(p);
        return *p;
    }
    void Insert(unsigned index, const T &item)
    {
        T *p = new T(item);
        try {
            _v.Insert(index, p);
        } catch (...) {
            delete p;
            throw;
        }
    }
    T &InsertNew(unsigned index)
    {
        T *p = new T;
        try {
            _v.Insert(index, p);
        } catch (...) {
            delete p;
            throw;
        }
        return *p;
    }

    // Destroys from the last element to the first.
    void Clear()
    {
        for (unsigned i = _v.Size(); i != 0;)
            delete (T *)_v[--i];
        _v.Clear();
    }
    void DeleteFrom(unsigned index)
    {
        const unsigned size = _v.Size();
        for (unsigned i = index; i < size; i++)
            delete (T *)_v[i];
        _v.DeleteFrom(index);
    }
    void DeleteFrontal(unsigned num)
    {
        for (unsigned i = 0; i < num; i++)
            delete (T *)_v[i];
        _v.DeleteFrontal(num);
    }
    void DeleteBack()
    {
        delete (T *)_v.Back();
        _v.DeleteBack();
    }
    void Delete(unsigned index)
    {
        delete (T *)_v[index];
        _v.Delete(index);
    }

    int FindInSorted(const T &item) const
    {
        unsigned left = 0, right = Size();
        while (left != right) {
            const unsigned mid = (left + right) / 2;
            const int comp = item.Compare((*this)[mid]);
            if (comp == 0)
                return (int)mid;
            if (comp < 0)
                right = mid;
            else
                left = mid + 1;
        }
        return -1;
    }
    unsigned AddToUniqueSorted(const T &item)
    {
        unsigned left = 0, right = Size();
        while (left != right) {
            const unsigned mid = (left + right) / 2;
            const int comp = item.Compare((*this)[mid]);
            if (comp == 0)
                return mid;
            if (comp < 0)
                right = mid;
            else
                left = mid + 1;
        }
        Insert(right, item);
        return right;
    }

    void Sort(int (*compare)(void *const *, void *const *, void *), void *param) { _v.Sort(compare, param); }

    static int CompareObjectItems(void *const *a1, void *const *a2, void * /* param */)
    {
        return (*(*((const T *const *)a1))).Compare(*(*((const T *const *)a2)));
    }
    void Sort() { _v.Sort(CompareObjectItems, nullptr); }
};

#define FOR_VECTOR(_i_, _v_) for (unsigned _i_ = 0; _i_ < (_v_).Size(); _i_++)
