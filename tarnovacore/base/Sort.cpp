#include "base/Sort.h"

namespace {

// The heap is 1-based: element k lives at p[k - 1], its children at 2k and 2k + 1.
template <typename T> void SiftDown(T *p, size_t k, size_t size, T value) {
    for (;;) {
        size_t child = k * 2;
        if (child > size) break;
        if (child < size && p[child] > p[child - 1]) child++;
        if (value >= p[child - 1]) break;
        p[k - 1] = p[child - 1];
        k = child;
    }
    p[k - 1] = value;
}

template <typename T> void HeapSortT(T *p, size_t size) {
    if (size < 2) return;
    for (size_t i = size / 2; i >= 1; i--)
        SiftDown(p, i, size, p[i - 1]);
    while (size > 1) {
        T last = p[size - 1];
        p[size - 1] = p[0];
        size--;
        SiftDown(p, 1, size, last);
    }
}

} // namespace

void HeapSort(UInt32 *p, size_t size) {
    HeapSortT(p, size);
}
void HeapSort64(UInt64 *p, size_t size) {
    HeapSortT(p, size);
}
