#pragma once

// The Win32 time functions that the file layer emulates over POSIX.
#include "common/MyWindows.h"

typedef struct {
    WORD wYear;
    WORD wMonth;     // 1-12
    WORD wDayOfWeek; // 0 Sunday to 6 Saturday
    WORD wDay;       // 1-31
    WORD wHour;
    WORD wMinute;
    WORD wSecond;
    WORD wMilliseconds;
} SYSTEMTIME;

void GetSystemTimeAsFileTime(FILETIME *ft);
// A 32-bit millisecond clock that wraps.
DWORD GetTickCount();

void RtlSecondsSince1970ToFileTime(DWORD seconds, FILETIME *ft);
// False, leaving *seconds untouched, when the time lies outside 1970 to 2106.
BOOL RtlTimeToSecondsSince1970(const LARGE_INTEGER *time, DWORD *seconds);

// Local time is UTC minus the bias of the current moment, whatever time is converted.
BOOL FileTimeToLocalFileTime(const FILETIME *fileTime, FILETIME *localFileTime);
BOOL LocalFileTimeToFileTime(const FILETIME *localFileTime, FILETIME *fileTime);

BOOL FileTimeToSystemTime(const FILETIME *fileTime, SYSTEMTIME *systemTime);
void GetSystemTime(SYSTEMTIME *systemTime);
// False for fields outside their ranges (the day checked against its month, year from 1601).
BOOL SystemTimeToFileTime(const SYSTEMTIME *systemTime, FILETIME *fileTime);

BOOL DosDateTimeToFileTime(WORD fatDate, WORD fatTime, FILETIME *fileTime);
// False, leaving the words untouched, for a time outside the 32-bit seconds range since 1970.
// Either pointer may be null.
BOOL FileTimeToDosDateTime(const FILETIME *fileTime, WORD *fatDate, WORD *fatTime);
