#pragma once

// Win32-style base types shared with the codec plug-in. Self-contained: this is part of the
// binary contract, so it includes nothing of the core besides MyTypes.h.
#include "MyTypes.h"

typedef Int32 HRESULT;
typedef UInt32 DWORD;
typedef UInt16 WORD;
typedef int BOOL;
#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif

#define S_OK ((HRESULT)0x00000000L)
#define S_FALSE ((HRESULT)0x00000001L)
#define E_NOTIMPL ((HRESULT)0x80004001L)
#define E_NOINTERFACE ((HRESULT)0x80004002L)
#define E_ABORT ((HRESULT)0x80004004L)
#define E_FAIL ((HRESULT)0x80004005L)
#define E_OUTOFMEMORY ((HRESULT)0x8007000EL)
#define E_INVALIDARG ((HRESULT)0x80070057L)

#define SUCCEEDED(hr) ((HRESULT)(hr) >= 0)
#define FAILED(hr) ((HRESULT)(hr) < 0)

typedef struct {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
} FILETIME;

typedef union {
    struct {
        DWORD LowPart;
        Int32 HighPart;
    } u;
    Int64 QuadPart;
} LARGE_INTEGER;

typedef union {
    struct {
        DWORD LowPart;
        DWORD HighPart;
    } u;
    UInt64 QuadPart;
} ULARGE_INTEGER;

static_assert(sizeof(HRESULT) == 4, "HRESULT is a 32-bit integer");
static_assert(sizeof(FILETIME) == 8, "FILETIME is two 32-bit halves");
