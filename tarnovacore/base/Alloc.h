#pragma once

// The C-style block allocators handed to coders and buffers. They return null for size 0 and
// when memory is exhausted; they never throw. The global operator new and delete are left to
// the standard library on purpose (bad_alloc on exhaustion, a unique block for size 0).
#include <stddef.h>

struct ISzAlloc {
    void *(*Alloc)(const ISzAlloc *p, size_t size);
    void (*Free)(const ISzAlloc *p, void *address);
};
typedef const ISzAlloc *ISzAllocPtr;

#define ISzAlloc_Alloc(p, size) (p)->Alloc(p, size)
#define ISzAlloc_Free(p, a) (p)->Free(p, a)

void *MyAlloc(size_t size);
void MyFree(void *address);

void *MidAlloc(size_t size);
void MidFree(void *address);

void *BigAlloc(size_t size);
void BigFree(void *address);

// Large pages stay off unless this is called, and nothing in the program calls it.
extern size_t g_LargePageSize;
size_t SetLargePageSize();

void *SzAlloc(ISzAllocPtr p, size_t size);
void SzFree(ISzAllocPtr p, void *address);
void *SzBigAlloc(ISzAllocPtr p, size_t size);
void SzBigFree(ISzAllocPtr p, void *address);

extern const ISzAlloc g_Alloc;
extern const ISzAlloc g_BigAlloc;
