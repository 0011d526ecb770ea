// The plug-in's own BSTR and variant functions. They follow the program's block rules (one malloc
// block: a UInt32 byte length, the characters, a 4-byte zero), so either side can free what the
// other made. -fvisibility=hidden keeps them out of the export table.
#include "common/MyWindows.h"

#include <stdlib.h>
#include <string.h>
#include <wchar.h>

extern "C" {

BSTR SysAllocStringByteLen(LPCSTR data, UINT len) {
    Byte *block = static_cast<Byte *>(malloc(static_cast<size_t>(len) + 4 + 7));
    if (!block) return nullptr;
    memcpy(block, &len, 4);
    if (data) memcpy(block + 4, data, len);
    memset(block + 4 + len, 0, 7);
    return reinterpret_cast<BSTR>(block + 4);
}

BSTR SysAllocStringLen(const OLECHAR *text, UINT len) {
    const size_t bytes = static_cast<size_t>(len) * sizeof(OLECHAR);
    Byte *block = static_cast<Byte *>(calloc(bytes + 8, 1));
    if (!block) return nullptr;
    const UINT byteLen = static_cast<UINT>(bytes);
    memcpy(block, &byteLen, 4);
    if (text) memcpy(block + 4, text, bytes);
    return reinterpret_cast<BSTR>(block + 4);
}

BSTR SysAllocString(const OLECHAR *text) {
    if (!text) return nullptr;
    return SysAllocStringLen(text, static_cast<UINT>(wcslen(text)));
}

void SysFreeString(BSTR bstr) {
    if (bstr) free(reinterpret_cast<Byte *>(bstr) - 4);
}

UINT SysStringByteLen(BSTR bstr) {
    if (!bstr) return 0;
    UINT len;
    memcpy(&len, reinterpret_cast<Byte *>(bstr) - 4, 4);
    return len;
}

UINT SysStringLen(BSTR bstr) {
    return SysStringByteLen(bstr) / sizeof(OLECHAR);
}

HRESULT VariantClear(VARIANTARG *prop) {
    if (prop->vt == VT_BSTR) SysFreeString(prop->bstrVal);
    prop->vt = VT_EMPTY;
    return S_OK;
}

HRESULT VariantCopy(VARIANTARG *dest, const VARIANTARG *src) {
    VariantClear(dest);
    if (src->vt == VT_BSTR) {
        BSTR copy = SysAllocStringByteLen(reinterpret_cast<LPCSTR>(src->bstrVal), SysStringByteLen(src->bstrVal));
        if (!copy && src->bstrVal) return E_OUTOFMEMORY;
        dest->bstrVal = copy;
        dest->vt = VT_BSTR;
        return S_OK;
    }
    memcpy(static_cast<void *>(dest), src, sizeof(PROPVARIANT));
    return S_OK;
}

LONG CompareFileTime(const FILETIME *ft1, const FILETIME *ft2) {
    const UInt64 a = (static_cast<UInt64>(ft1->dwHighDateTime) << 32) | ft1->dwLowDateTime;
    const UInt64 b = (static_cast<UInt64>(ft2->dwHighDateTime) << 32) | ft2->dwLowDateTime;
    return a < b ? -1 : (a > b ? 1 : 0);
}
}
