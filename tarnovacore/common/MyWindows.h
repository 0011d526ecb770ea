#pragma once

// Win32-style base types shared with the codec plug-in. Self-contained: this is part of the
// binary contract, so it includes nothing of the core besides MyTypes.h (and the C library).
#include "MyTypes.h"

#include <string.h>
#include <wchar.h>

typedef Int32 HRESULT;
typedef UInt32 DWORD;
typedef UInt16 WORD;
typedef int BOOL;
#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif

typedef char CHAR;
typedef unsigned char UCHAR;
typedef Int16 SHORT;
typedef UInt16 USHORT;
typedef int INT;
typedef unsigned int UINT;
// LONG/ULONG are 32-bit here on purpose: the plug-in contract counts references in 32 bits.
typedef Int32 LONG;
typedef UInt32 ULONG;
typedef HRESULT SCODE;

#define S_OK ((HRESULT)0x00000000L)
#define S_FALSE ((HRESULT)0x00000001L)
#define E_NOTIMPL ((HRESULT)0x80004001L)
#define E_NOINTERFACE ((HRESULT)0x80004002L)
#define E_ABORT ((HRESULT)0x80004004L)
#define E_FAIL ((HRESULT)0x80004005L)
#define STG_E_INVALIDFUNCTION ((HRESULT)0x80030001L)
#define CLASS_E_CLASSNOTAVAILABLE ((HRESULT)0x80040111L)
#define E_OUTOFMEMORY ((HRESULT)0x8007000EL)
#define E_INVALIDARG ((HRESULT)0x80070057L)
// A seek to a position before 0. The contract's value: the digits of the Windows error 131 put into
// the low word as written, not HRESULT_FROM_WIN32(131) (which would be 0x80070083).
#define HRESULT_WIN32_ERROR_NEGATIVE_SEEK ((HRESULT)0x80070131L)

#define SUCCEEDED(hr) ((HRESULT)(hr) >= 0)
#define FAILED(hr) ((HRESULT)(hr) < 0)

// Numbers that the Win32-style file layer leaves in errno besides the POSIX ones.
#ifndef ERROR_DIRECTORY
#define ERROR_DIRECTORY 267
#endif
#ifndef ERROR_NO_MORE_FILES
#define ERROR_NO_MORE_FILES 0x100018
#endif

#define FACILITY_WIN32 7
// Windows semantics: 0 and negative values pass unchanged, a positive n becomes 0x8007xxxx.
#define HRESULT_FROM_WIN32(x)                                                                                          \
    ((HRESULT)(x) <= 0 ? (HRESULT)(x) : (HRESULT)(((UInt32)(x)&0x0000FFFFu) | (FACILITY_WIN32 << 16) | 0x80000000u))

// A system error number (errno) reported as a failure: 0 says nothing, so it becomes E_FAIL;
// a positive n becomes 0x80070000 | (n & 0xFFFF); a negative value is already an HRESULT.
// The file layer's "nothing matches" does not fit in 16 bits (its low word reads as EMFILE):
// it becomes ENOENT, which is what it means to the caller.
inline HRESULT HRESULT_FROM_ERRNO(Int32 e) {
    if (e == 0) return E_FAIL;
    if (e == ERROR_NO_MORE_FILES) e = 2; // ENOENT
    return HRESULT_FROM_WIN32(e);
}

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

// 16 bytes: a 32-bit value, two 16-bit values and 8 bytes, numbers little-endian.
typedef struct {
    UInt32 Data1;
    UInt16 Data2;
    UInt16 Data3;
    Byte Data4[8];
} GUID;

typedef GUID IID;
typedef GUID CLSID;
typedef const GUID &REFGUID;
typedef const IID &REFIID;
typedef const CLSID &REFCLSID;

// Ids compare as 16 raw bytes, as QueryInterface does.
inline bool operator==(REFGUID a, REFGUID b) {
    return memcmp(&a, &b, sizeof(GUID)) == 0;
}
inline bool operator!=(REFGUID a, REFGUID b) {
    return !(a == b);
}

// BSTR: 4-byte wchar_t characters preceded by a UInt32 byte length and followed by a 0 character.
typedef wchar_t OLECHAR;
typedef OLECHAR *LPOLESTR;
typedef const OLECHAR *LPCOLESTR;
typedef OLECHAR *BSTR;
typedef const OLECHAR *LPCWSTR;
typedef const char *LPCSTR;

typedef UInt16 VARTYPE;
typedef Int16 VARIANT_BOOL;
#define VARIANT_TRUE ((VARIANT_BOOL)-1)
#define VARIANT_FALSE ((VARIANT_BOOL)0)

typedef UInt32 PROPID;

enum VARENUM {
    VT_EMPTY = 0,
    VT_NULL = 1,
    VT_I2 = 2,
    VT_I4 = 3,
    VT_R4 = 4,
    VT_R8 = 5,
    VT_CY = 6,
    VT_DATE = 7,
    VT_BSTR = 8,
    VT_DISPATCH = 9,
    VT_ERROR = 10,
    VT_BOOL = 11,
    VT_VARIANT = 12,
    VT_UNKNOWN = 13,
    VT_DECIMAL = 14,
    VT_I1 = 16,
    VT_UI1 = 17,
    VT_UI2 = 18,
    VT_UI4 = 19,
    VT_I8 = 20,
    VT_UI8 = 21,
    VT_INT = 22,
    VT_UINT = 23,
    VT_VOID = 24,
    VT_HRESULT = 25,
    VT_FILETIME = 64
};

// PROPVARIANT and VARIANT share one 16-byte layout: type code, three reserved words, 8-byte value.
typedef struct tagPROPVARIANT {
    VARTYPE vt;
    WORD wReserved1;
    WORD wReserved2;
    WORD wReserved3;
    union {
        CHAR cVal;
        UCHAR bVal;
        SHORT iVal;
        USHORT uiVal;
        LONG lVal;
        ULONG ulVal;
        INT intVal;
        UINT uintVal;
        LARGE_INTEGER hVal;
        ULARGE_INTEGER uhVal;
        float fltVal;
        double dblVal;
        VARIANT_BOOL boolVal;
        SCODE scode;
        FILETIME filetime;
        BSTR bstrVal;
    };
} PROPVARIANT;

typedef PROPVARIANT tagVARIANT;
typedef tagVARIANT VARIANT;
typedef VARIANT VARIANTARG;

static_assert(sizeof(HRESULT) == 4, "HRESULT is a 32-bit integer");
static_assert((HRESULT)0x80004005L < 0, "failure codes are negative");
static_assert(sizeof(FILETIME) == 8, "FILETIME is two 32-bit halves");
static_assert(sizeof(GUID) == 16, "GUID is 16 bytes");
static_assert(sizeof(wchar_t) == 4, "BSTR characters are 4 bytes");
static_assert(sizeof(VARIANT_BOOL) == 2, "VARIANT_BOOL is 16-bit");
static_assert(sizeof(PROPVARIANT) == 16, "PROPVARIANT is 16 bytes");
static_assert(offsetof(PROPVARIANT, vt) == 0, "type code first");
static_assert(offsetof(PROPVARIANT, bstrVal) == 8, "PROPVARIANT value at offset 8");
static_assert(offsetof(PROPVARIANT, filetime) == 8, "PROPVARIANT value at offset 8");
static_assert(offsetof(PROPVARIANT, uhVal) == 8, "PROPVARIANT value at offset 8");
static_assert(offsetof(GUID, Data4) == 8, "GUID bytes after the three numbers");
#if defined(__BYTE_ORDER__) && defined(__ORDER_LITTLE_ENDIAN__)
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "ids and BSTR prefixes are stored little-endian");
#endif

// Win32-style functions. The core implements them in MyWindows.cpp; the plug-in carries its own
// copies (same malloc/free block rules), so a BSTR made on one side can be freed on the other.
extern "C" {
BSTR SysAllocString(const OLECHAR *text);
BSTR SysAllocStringLen(const OLECHAR *text, UINT len);
BSTR SysAllocStringByteLen(LPCSTR data, UINT len);
void SysFreeString(BSTR bstr);
UINT SysStringByteLen(BSTR bstr);
UINT SysStringLen(BSTR bstr);

HRESULT VariantClear(VARIANTARG *prop);
HRESULT VariantCopy(VARIANTARG *dest, const VARIANTARG *src);

LONG CompareFileTime(const FILETIME *ft1, const FILETIME *ft2);
}
