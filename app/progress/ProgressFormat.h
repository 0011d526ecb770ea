#pragma once

// The texts and numbers of the progress window, kept apart from the window so that the rules
// (units, overflow, bounds) can be checked without one.
#include "common/MyString.h"

const UInt64 kProgressUnknown = (UInt64)(Int64)-1;

// "hh:mm:ss"; the hours in full above 99.
UString GetTimeString(UInt64 seconds);

// A size with a coarse unit: the plain number below 100000, then K, M and G steps; empty when unknown.
UString GetSizeText(UInt64 value);

// Bytes per second: "9999 B/s", "9 KB/s", "9 MB/s".
UString GetSpeedText(UInt64 bytesPerSecond);

// Keeps the first n/2 and the last characters of a text longer than n, with " ... " between.
UString ReduceString(const UString &s, unsigned n);

// a * b / c without overflow: both factors are cut to fit 64 bits together, and c with them.
UInt64 MulDivNoOverflow(UInt64 a, UInt64 b, UInt64 c);

// 0..100: 0 while the total is unknown or 0, never above 100.
UInt64 ProgressPercent(UInt64 done, UInt64 total);
