#include "windows/TimeUtils.h"

#include <sys/stat.h>

#include "windows/WinTime.h"

namespace NWindows {
namespace NTime {

namespace {

const unsigned kFileTimeStartYear = 1601;
const unsigned kDosTimeStartYear = 1980;
const unsigned kDosTimeLastYear = kDosTimeStartYear + 127;
const UInt32 kLowDosTime = 0x00210000;        // 1980-01-01 00:00:00
const UInt32 kHighDosTime = 0xFF9FBF7D;       // 2107-12-31 23:59:58
const UInt64 kUnixTimeMax = 1833029933770ULL; // the largest count whose FILETIME fits in 64 bits

const UInt32 kPeriod4 = 4 * 365 + 1;
const UInt32 kPeriod100 = kPeriod4 * 25 - 1;
const UInt32 kPeriod400 = kPeriod100 * 4 + 1;

bool IsLeapYear(unsigned year) {
    return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

unsigned MonthLength(unsigned year, unsigned month) {
    static const Byte kMonthLengths[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return (month == 2 && IsLeapYear(year)) ? 29 : kMonthLengths[month - 1];
}

// Splits a day count since 1601 into the year and the day within that year. Capping the
// centuries at 3 and the single years at 3 keeps the last (leap) day of each cycle in place.
void SplitDays(UInt32 days, unsigned &year, UInt32 &dayOfYear) {
    year = kFileTimeStartYear + days / kPeriod400 * 400;
    days %= kPeriod400;
    UInt32 temp = days / kPeriod100;
    if (temp == 4) temp = 3;
    year += temp * 100;
    days -= temp * kPeriod100;
    temp = days / kPeriod4;
    if (temp == 25) temp = 24;
    year += temp * 4;
    days -= temp * kPeriod4;
    temp = days / 365;
    if (temp == 4) temp = 3;
    year += temp;
    days -= temp * 365;
    dayOfYear = days;
}

void SplitDayOfYear(unsigned year, UInt32 dayOfYear, unsigned &month, unsigned &day) {
    for (month = 1; month < 12; month++) {
        unsigned len = MonthLength(year, month);
        if (dayOfYear < len) break;
        dayOfYear -= len;
    }
    day = dayOfYear + 1;
}

} // namespace

void GetDateFromDaysSince1601(UInt32 days, unsigned &year, unsigned &month, unsigned &day) {
    UInt32 dayOfYear;
    SplitDays(days, year, dayOfYear);
    SplitDayOfYear(year, dayOfYear, month, day);
}

bool FileTimeToDosTime(const FILETIME &ft, UInt32 &dosTime) {
    const UInt64 ft64 = FileTimeToUInt64(ft);
    // Just under two seconds: anything past an even second rounds up to the next one.
    UInt64 v64 = ft64 + (kNumTimeQuantumsInSecond * 2 - 1);
    if (v64 < ft64) {
        // The rounding wrapped: the time is at the very end of the FILETIME range.
        dosTime = kHighDosTime;
        return false;
    }
    v64 /= kNumTimeQuantumsInSecond;
    const unsigned sec = (unsigned)(v64 % 60);
    v64 /= 60;
    const unsigned min = (unsigned)(v64 % 60);
    v64 /= 60;
    const unsigned hour = (unsigned)(v64 % 24);
    v64 /= 24;

    unsigned year;
    UInt32 dayOfYear;
    SplitDays((UInt32)v64, year, dayOfYear);
    if (year < kDosTimeStartYear) {
        dosTime = kLowDosTime;
        return false;
    }
    if (year > kDosTimeLastYear) {
        dosTime = kHighDosTime;
        return false;
    }
    unsigned month, day;
    SplitDayOfYear(year, dayOfYear, month, day);
    dosTime = (sec / 2) | ((UInt32)min << 5) | ((UInt32)hour << 11) | ((UInt32)day << 16) | ((UInt32)month << 21) |
              ((UInt32)(year - kDosTimeStartYear) << 25);
    return true;
}

bool DosTimeToFileTime(UInt32 dosTime, FILETIME &ft) {
    UInt64 seconds;
    const bool ok =
        GetSecondsSince1601((dosTime >> 25) + kDosTimeStartYear, (dosTime >> 21) & 0xF, (dosTime >> 16) & 0x1F,
                            (dosTime >> 11) & 0x1F, (dosTime >> 5) & 0x3F, (dosTime & 0x1F) * 2, seconds);
    UInt64ToFileTime(ok ? seconds * kNumTimeQuantumsInSecond : 0, ft);
    return ok;
}

void UnixTimeToFileTime(UInt32 unixTime, FILETIME &ft) {
    UInt64ToFileTime((kUnixTimeOffset + unixTime) * kNumTimeQuantumsInSecond, ft);
}

bool UnixTime64ToFileTime(Int64 unixTime, FILETIME &ft) {
    // Taken as unsigned, every negative time is above the limit and fails too.
    if ((UInt64)unixTime > kUnixTimeMax) {
        UInt64ToFileTime((UInt64)(Int64)-1, ft);
        return false;
    }
    UInt64ToFileTime(((UInt64)unixTime + kUnixTimeOffset) * kNumTimeQuantumsInSecond, ft);
    return true;
}

bool FileTimeToUnixTime(const FILETIME &ft, UInt32 &unixTime) {
    const UInt64 winTime = FileTimeToUInt64(ft);
    const UInt64 startTime = kUnixTimeOffset * kNumTimeQuantumsInSecond;
    if (winTime < startTime) {
        unixTime = 0;
        return false;
    }
    const UInt64 seconds = (winTime - startTime) / kNumTimeQuantumsInSecond;
    if (seconds > 0xFFFFFFFF) {
        unixTime = 0xFFFFFFFF;
        return false;
    }
    unixTime = (UInt32)seconds;
    return true;
}

Int64 FileTimeToUnixTime64(const FILETIME &ft) {
    return (Int64)(FileTimeToUInt64(ft) / kNumTimeQuantumsInSecond) - (Int64)kUnixTimeOffset;
}

bool GetSecondsSince1601(unsigned year, unsigned month, unsigned day, unsigned hour, unsigned min, unsigned sec,
                         UInt64 &resSeconds) {
    resSeconds = 0;
    if (year - kFileTimeStartYear > 8398 || month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || min > 59 ||
        sec > 59)
        return false;
    const UInt32 y = year - kFileTimeStartYear;
    UInt32 days = y * 365 + y / 4 - y / 100 + y / 400;
    for (unsigned m = 1; m < month; m++)
        days += MonthLength(year, m);
    days += day - 1;
    resSeconds = (((UInt64)days * 24 + hour) * 60 + min) * 60 + sec;
    return true;
}

void GetCurUtcFileTime(FILETIME &ft) {
    GetSystemTimeAsFileTime(&ft);
}

void FileTimesToTimespecs(const FILETIME *aTime, const FILETIME *mTime, struct timespec ts[2]) {
    ts[0].tv_sec = aTime ? (time_t)FileTimeToUnixTime64(*aTime) : 0;
    ts[0].tv_nsec = aTime ? 0 : UTIME_OMIT;
    ts[1].tv_sec = mTime ? (time_t)FileTimeToUnixTime64(*mTime) : 0;
    ts[1].tv_nsec = mTime ? 0 : UTIME_OMIT;
}

} // namespace NTime
} // namespace NWindows
