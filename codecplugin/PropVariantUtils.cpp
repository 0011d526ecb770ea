#include "PropVariantUtils.h"

#include <stdint.h>

namespace NPlugin {

HRESULT PropSetString(PROPVARIANT *value, const wchar_t *text) {
    BSTR b = SysAllocString(text ? text : L"");
    if (!b) return E_OUTOFMEMORY;
    value->vt = VT_BSTR;
    value->bstrVal = b;
    return S_OK;
}

HRESULT PropSetBinary(PROPVARIANT *value, const void *data, UInt32 size) {
    BSTR b = SysAllocStringByteLen(static_cast<LPCSTR>(data), size);
    if (!b) return E_OUTOFMEMORY;
    value->vt = VT_BSTR;
    value->bstrVal = b;
    return S_OK;
}

void PropSetBool(PROPVARIANT *value, bool b) {
    value->vt = VT_BOOL;
    value->boolVal = b ? VARIANT_TRUE : VARIANT_FALSE;
}

void PropSetUInt32(PROPVARIANT *value, UInt32 v) {
    value->vt = VT_UI4;
    value->ulVal = v;
}

void PropSetUInt64(PROPVARIANT *value, UInt64 v) {
    value->vt = VT_UI8;
    value->uhVal.QuadPart = v;
}

void PropSetFileTime(PROPVARIANT *value, const FILETIME &ft) {
    value->vt = VT_FILETIME;
    value->filetime = ft;
}

FILETIME UnixTimeToFileTime(Int64 sec, long nsec) {
    const Int64 kUnixToFileTimeSeconds = 11644473600LL;
    const Int64 kTicksPerSecond = 10000000LL;
    // Archive headers can hold any number: times outside the FILETIME range are clamped to it.
    const Int64 kMaxSeconds = INT64_MAX / kTicksPerSecond - kUnixToFileTimeSeconds - 1;
    Int64 ticks;
    if (sec < -kUnixToFileTimeSeconds)
        ticks = 0;
    else if (sec > kMaxSeconds)
        ticks = INT64_MAX;
    else {
        const long sub = (nsec >= 0 && nsec < 1000000000L) ? nsec / 100 : 0;
        ticks = (sec + kUnixToFileTimeSeconds) * kTicksPerSecond + sub;
    }
    FILETIME ft;
    ft.dwLowDateTime = static_cast<DWORD>(static_cast<UInt64>(ticks));
    ft.dwHighDateTime = static_cast<DWORD>(static_cast<UInt64>(ticks) >> 32);
    return ft;
}

} // namespace NPlugin
