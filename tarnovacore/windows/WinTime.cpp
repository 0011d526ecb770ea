#include "windows/WinTime.h"

#include <sys/time.h>
#include <time.h>

#include "windows/TimeUtils.h"

using NWindows::NTime::FileTimeToUInt64;
using NWindows::NTime::kNumTimeQuantumsInSecond;
using NWindows::NTime::kUnixTimeOffset;
using NWindows::NTime::UInt64ToFileTime;

namespace {

const UInt64 kQuantumsInDay = (UInt64)kNumTimeQuantumsInSecond * 24 * 60 * 60;

// Seconds to add to local time to get UTC (-28800 eight hours east of Greenwich), taken at the
// current moment. The reentrant calls matter: this runs on worker threads.
int TIME_GetBias() {
    const time_t now = time(nullptr);
    struct tm local;
    if (!localtime_r(&now, &local)) return 0;
    struct tm utc;
    if (!gmtime_r(&now, &utc)) return 0;
    utc.tm_isdst = local.tm_isdst;
    const time_t utcReadAsLocal = mktime(&utc);
    return (int)(utcReadAsLocal - now);
}

UInt64 BiasInQuantums(int bias) {
    return (UInt64)((Int64)bias * kNumTimeQuantumsInSecond);
}

} // namespace

void GetSystemTimeAsFileTime(FILETIME *ft) {
    struct timeval tv;
    gettimeofday(&tv, nullptr);
    const UInt64 t = (UInt64)tv.tv_sec * kNumTimeQuantumsInSecond + (UInt64)tv.tv_usec * 10 +
                     kUnixTimeOffset * kNumTimeQuantumsInSecond;
    UInt64ToFileTime(t, *ft);
}

DWORD GetTickCount() {
    struct timeval tv;
    if (gettimeofday(&tv, nullptr) == 0) return (DWORD)((UInt64)tv.tv_sec * 1000 + (UInt64)tv.tv_usec / 1000);
    return (DWORD)((UInt64)time(nullptr) * 1000);
}

void RtlSecondsSince1970ToFileTime(DWORD seconds, FILETIME *ft) {
    UInt64ToFileTime(((UInt64)seconds + kUnixTimeOffset) * kNumTimeQuantumsInSecond, *ft);
}

BOOL RtlTimeToSecondsSince1970(const LARGE_INTEGER *time, DWORD *seconds) {
    const Int64 s = time->QuadPart / (Int64)kNumTimeQuantumsInSecond - (Int64)kUnixTimeOffset;
    if (s < 0 || s > (Int64)0xFFFFFFFF) return FALSE;
    *seconds = (DWORD)s;
    return TRUE;
}

BOOL FileTimeToLocalFileTime(const FILETIME *fileTime, FILETIME *localFileTime) {
    UInt64ToFileTime(FileTimeToUInt64(*fileTime) - BiasInQuantums(TIME_GetBias()), *localFileTime);
    return TRUE;
}

BOOL LocalFileTimeToFileTime(const FILETIME *localFileTime, FILETIME *fileTime) {
    UInt64ToFileTime(FileTimeToUInt64(*localFileTime) + BiasInQuantums(TIME_GetBias()), *fileTime);
    return TRUE;
}

BOOL FileTimeToSystemTime(const FILETIME *fileTime, SYSTEMTIME *st) {
    const UInt64 t = FileTimeToUInt64(*fileTime);
    const UInt32 days = (UInt32)(t / kQuantumsInDay);
    const UInt64 rest = t % kQuantumsInDay;
    const UInt32 secondsOfDay = (UInt32)(rest / kNumTimeQuantumsInSecond);
    unsigned year, month, day;
    NWindows::NTime::GetDateFromDaysSince1601(days, year, month, day);
    st->wYear = (WORD)year;
    st->wMonth = (WORD)month;
    st->wDay = (WORD)day;
    st->wDayOfWeek = (WORD)((days + 1) % 7); // 1601-01-01 was a Monday
    st->wHour = (WORD)(secondsOfDay / 3600);
    st->wMinute = (WORD)(secondsOfDay / 60 % 60);
    st->wSecond = (WORD)(secondsOfDay % 60);
    st->wMilliseconds = (WORD)(t % kNumTimeQuantumsInSecond / 10000);
    return TRUE;
}

void GetSystemTime(SYSTEMTIME *systemTime) {
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    FileTimeToSystemTime(&ft, systemTime);
}

BOOL SystemTimeToFileTime(const SYSTEMTIME *st, FILETIME *fileTime) {
    static const Byte kMonthLengths[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (st->wMilliseconds > 999 || st->wMonth < 1 || st->wMonth > 12 || st->wDay < 1) return FALSE;
    unsigned monthLength = kMonthLengths[st->wMonth - 1];
    const unsigned year = st->wYear;
    if (st->wMonth == 2 && year % 4 == 0 && (year % 100 != 0 || year % 400 == 0)) monthLength = 29;
    if (st->wDay > monthLength) return FALSE;
    UInt64 seconds;
    if (!NWindows::NTime::GetSecondsSince1601(year, st->wMonth, st->wDay, st->wHour, st->wMinute, st->wSecond, seconds))
        return FALSE;
    UInt64ToFileTime(seconds * kNumTimeQuantumsInSecond + (UInt64)st->wMilliseconds * 10000, *fileTime);
    return TRUE;
}

BOOL DosDateTimeToFileTime(WORD fatDate, WORD fatTime, FILETIME *fileTime) {
    struct tm t = {};
    t.tm_sec = (fatTime & 0x1F) * 2;
    t.tm_min = (fatTime >> 5) & 0x3F;
    t.tm_hour = (fatTime >> 11) & 0x1F;
    t.tm_mday = fatDate & 0x1F;
    t.tm_mon = ((fatDate >> 5) & 0xF) - 1;
    t.tm_year = (fatDate >> 9) + 80;
    t.tm_isdst = -1;
    const time_t seconds = timegm(&t);
    RtlSecondsSince1970ToFileTime((DWORD)seconds, fileTime);
    return TRUE;
}

BOOL FileTimeToDosDateTime(const FILETIME *fileTime, WORD *fatDate, WORD *fatTime) {
    LARGE_INTEGER li;
    li.QuadPart = (Int64)FileTimeToUInt64(*fileTime);
    DWORD seconds;
    if (!RtlTimeToSecondsSince1970(&li, &seconds)) return FALSE;
    const time_t tt = (time_t)seconds;
    struct tm t;
    if (!gmtime_r(&tt, &t)) return FALSE;
    if (fatTime) *fatTime = (WORD)(t.tm_hour * 2048 + t.tm_min * 32 + t.tm_sec / 2);
    if (fatDate) *fatDate = (WORD)((t.tm_year + 1900 - 1980) * 512 + (t.tm_mon + 1) * 32 + t.tm_mday);
    return TRUE;
}
