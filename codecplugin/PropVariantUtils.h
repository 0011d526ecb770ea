#pragma once

// Filling the PROPVARIANTs that cross to the program. Each setter expects an empty value (the
// caller's contract) and reports E_OUTOFMEMORY when a string cannot be made.
#include "common/MyWindows.h"

#include <string>

namespace NPlugin {

HRESULT PropSetString(PROPVARIANT *value, const wchar_t *text);
inline HRESULT PropSetString(PROPVARIANT *value, const std::wstring &text) {
    return PropSetString(value, text.c_str());
}
// A binary string: a BSTR whose byte length is the data size (class ids, signatures).
HRESULT PropSetBinary(PROPVARIANT *value, const void *data, UInt32 size);
void PropSetBool(PROPVARIANT *value, bool b);
void PropSetUInt32(PROPVARIANT *value, UInt32 v);
void PropSetUInt64(PROPVARIANT *value, UInt64 v);
void PropSetFileTime(PROPVARIANT *value, const FILETIME &ft);

// Seconds and nanoseconds since 1970 as a FILETIME (100 ns units since 1601).
FILETIME UnixTimeToFileTime(Int64 sec, long nsec);

} // namespace NPlugin

// Returns a failing result at once.
#define RINOK_PLUGIN(x)                                                                                                \
    do {                                                                                                               \
        const HRESULT res_ = (x);                                                                                      \
        if (res_ != S_OK) return res_;                                                                                 \
    } while (0)
