#include "MyWindows.h"

#include <stdlib.h>
#include <string.h>
#include <wchar.h>

// BSTR blocks come from the C heap, never from the global allocation operators: the plug-in
// frees what the program allocates and the other way round, each with plain free().

static const size_t kPrefixSize = sizeof(UInt32);

static BSTR BstrFromBlock(void *block, UInt32 byteLen) {
    memcpy(block, &byteLen, kPrefixSize);
    return reinterpret_cast<BSTR>(static_cast<Byte *>(block) + kPrefixSize);
}

BSTR SysAllocString(const OLECHAR *text) {
    if (!text) return nullptr;
    const size_t len = wcslen(text);
    const size_t byteLen = len * sizeof(OLECHAR);
    if (byteLen > 0xFFFFFFFFu - sizeof(OLECHAR)) return nullptr;
    void *block = malloc(kPrefixSize + byteLen + sizeof(OLECHAR));
    if (!block) return nullptr;
    BSTR b = BstrFromBlock(block, static_cast<UInt32>(byteLen));
    memcpy(b, text, byteLen + sizeof(OLECHAR));
    return b;
}

BSTR SysAllocStringLen(const OLECHAR *text, UINT len) {
    const size_t byteLen = static_cast<size_t>(len) * sizeof(OLECHAR);
    if (byteLen > 0xFFFFFFFFu - sizeof(OLECHAR)) return nullptr;
    // Zero-filled, so without a text the characters and the terminator are all 0.
    void *block = calloc(byteLen + kPrefixSize + sizeof(OLECHAR), 1);
    if (!block) return nullptr;
    BSTR b = BstrFromBlock(block, static_cast<UInt32>(byteLen));
    if (text) memcpy(b, text, byteLen);
    return b;
}

BSTR SysAllocStringByteLen(LPCSTR data, UINT len) {
    // 7 zero bytes after the data: whatever len is, the character after the last (partial) one is 0.
    const size_t kTailZeros = 7;
    void *block = malloc(kPrefixSize + static_cast<size_t>(len) + kTailZeros);
    if (!block) return nullptr;
    BSTR b = BstrFromBlock(block, len);
    Byte *bytes = reinterpret_cast<Byte *>(b);
    if (data) memcpy(bytes, data, len);
    memset(bytes + len, 0, kTailZeros);
    return b;
}

void SysFreeString(BSTR bstr) {
    if (bstr) free(reinterpret_cast<Byte *>(bstr) - kPrefixSize);
}

UINT SysStringByteLen(BSTR bstr) {
    if (!bstr) return 0;
    UInt32 byteLen;
    memcpy(&byteLen, reinterpret_cast<const Byte *>(bstr) - kPrefixSize, kPrefixSize);
    return byteLen;
}

UINT SysStringLen(BSTR bstr) {
    return SysStringByteLen(bstr) / sizeof(OLECHAR);
}

HRESULT VariantClear(VARIANTARG *prop) {
    if (prop->vt == VT_BSTR) SysFreeString(prop->bstrVal);
    // The value bytes stay as they are; only the type says the value is gone.
    prop->vt = VT_EMPTY;
    return S_OK;
}

HRESULT VariantCopy(VARIANTARG *dest, const VARIANTARG *src) {
    if (dest == src) return S_OK;
    HRESULT res = VariantClear(dest);
    if (res != S_OK) return res;
    if (src->vt == VT_BSTR) {
        BSTR copy = SysAllocStringByteLen(reinterpret_cast<LPCSTR>(src->bstrVal), SysStringByteLen(src->bstrVal));
        if (!copy) return E_OUTOFMEMORY;
        memcpy(dest, src, sizeof(VARIANTARG));
        dest->bstrVal = copy;
        return S_OK;
    }
    memcpy(dest, src, sizeof(VARIANTARG));
    return S_OK;
}

LONG CompareFileTime(const FILETIME *ft1, const FILETIME *ft2) {
    if (ft1->dwHighDateTime < ft2->dwHighDateTime) return -1;
    if (ft1->dwHighDateTime > ft2->dwHighDateTime) return 1;
    if (ft1->dwLowDateTime < ft2->dwLowDateTime) return -1;
    if (ft1->dwLowDateTime > ft2->dwLowDateTime) return 1;
    return 0;
}
