#pragma once

#include "common/MyTypes.h"

// In-place ascending heap sorts of unsigned values; fewer than two values are left alone.
void HeapSort(UInt32 *p, size_t size);
void HeapSort64(UInt64 *p, size_t size);
