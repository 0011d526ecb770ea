#pragma once

// FILETIME values worked out here independently of the code under test.
#include "common/MyWindows.h"

namespace filetimetest {

const UInt64 kEpochOffsetUnits = 116444736000000000ULL; // 1970-01-01 as a FILETIME

inline UInt64 Units(Int64 unixSeconds, UInt64 extraUnits = 0) {
    return (UInt64)(unixSeconds * 10000000 + (Int64)kEpochOffsetUnits) + extraUnits;
}

inline FILETIME Ft(UInt64 v) {
    FILETIME ft;
    ft.dwLowDateTime = (DWORD)v;
    ft.dwHighDateTime = (DWORD)(v >> 32);
    return ft;
}

inline UInt64 V(const FILETIME &ft) { return ((UInt64)ft.dwHighDateTime << 32) | ft.dwLowDateTime; }

const Int64 k2000 = 946684800;        // 2000-01-01 00:00:00
const Int64 kLeapDay2000 = 951827696; // 2000-02-29 12:34:56

} // namespace filetimetest
