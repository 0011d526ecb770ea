#pragma once

// Conversions between FILETIME (100 ns units since 1601-01-01 UTC) and the other time forms of
// files and archives. All calendar work is proleptic Gregorian and in UTC.
#include <time.h>

#include "common/MyWindows.h"

namespace NWindows {
namespace NTime {

const UInt32 kNumTimeQuantumsInSecond = 10000000;
const UInt64 kUnixTimeOffset = 11644473600ULL; // seconds from 1601-01-01 to 1970-01-01

inline UInt64 FileTimeToUInt64(const FILETIME &ft) {
    return ((UInt64)ft.dwHighDateTime << 32) | ft.dwLowDateTime;
}
inline void UInt64ToFileTime(UInt64 v, FILETIME &ft) {
    ft.dwLowDateTime = (DWORD)v;
    ft.dwHighDateTime = (DWORD)(v >> 32);
}

// A time not on an even second moves up to the next even second. Before 1980 gives
// 1980-01-01 00:00:00 and false; after 2107 gives 2107-12-31 23:59:58 and false.
bool FileTimeToDosTime(const FILETIME &ft, UInt32 &dosTime);
bool DosTimeToFileTime(UInt32 dosTime, FILETIME &ft);

void UnixTimeToFileTime(UInt32 unixTime, FILETIME &ft);
bool UnixTime64ToFileTime(Int64 unixTime, FILETIME &ft);
bool FileTimeToUnixTime(const FILETIME &ft, UInt32 &unixTime);
Int64 FileTimeToUnixTime64(const FILETIME &ft);

// The day is not checked against the month's length (February 31 counts as early March).
bool GetSecondsSince1601(unsigned year, unsigned month, unsigned day, unsigned hour, unsigned min, unsigned sec,
                         UInt64 &resSeconds);

// The civil date of a count of days since 1601-01-01.
void GetDateFromDaysSince1601(UInt32 days, unsigned &year, unsigned &month, unsigned &day);

void GetCurUtcFileTime(FILETIME &ft);

// Access and modification times in the form futimens and utimensat take, whole seconds; a time
// not given is left as it is on disk.
void FileTimesToTimespecs(const FILETIME *aTime, const FILETIME *mTime, struct timespec ts[2]);

} // namespace NTime
} // namespace NWindows
