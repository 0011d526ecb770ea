#include <gtest/gtest.h>

#include "windows/TimeUtils.h"

#include "filetime_fixtures.h"

using namespace NWindows::NTime;

using namespace filetimetest;

namespace {

const UInt64 kAllOnes = 0xFFFFFFFFFFFFFFFFULL;
const Int64 k1980 = 315532800;        // 1980-01-01 00:00:00
const Int64 k2107Last = 4354819198;   // 2107-12-31 23:59:58
const Int64 k2108 = 4354819200;       // 2108-01-01 00:00:00

} // namespace

TEST(NTime, FileTimeToDosTimeRoundsUpToEvenSecondsAndClampsTheRange) {
    struct Case {
        const char *name;
        UInt64 units;
        UInt32 dos;
        bool ok;
    };
    const Case cases[] = {
        {"2000-01-01 00:00:00 exactly", Units(k2000), 0x28210000, true},
        {"2000-01-01 00:00:00.0000001", Units(k2000, 1), 0x28210001, true},
        {"2000-01-01 00:00:01", Units(k2000 + 1), 0x28210001, true},
        {"2000-01-01 00:00:02", Units(k2000 + 2), 0x28210001, true},
        {"2000-02-29 12:34:56", Units(kLeapDay2000), 0x285D645C, true},
        {"1979-12-31 23:59:58", Units(k1980 - 2), 0x00210000, false},
        {"1979-12-31 23:59:59 moves up to 1980", Units(k1980 - 1), 0x00210000, true},
        {"1980-01-01 00:00:00", Units(k1980), 0x00210000, true},
        {"2107-12-31 23:59:58", Units(k2107Last), 0xFF9FBF7D, true},
        {"2107-12-31 23:59:59 moves up to 2108", Units(k2107Last + 1), 0xFF9FBF7D, false},
        {"2108-01-01 00:00:00", Units(k2108), 0xFF9FBF7D, false},
        {"zero (1601)", 0, 0x00210000, false},
        {"the largest FILETIME", kAllOnes, 0xFF9FBF7D, false},
    };
    for (const Case &c : cases) {
        UInt32 dos = 0x12345678;
        EXPECT_EQ(FileTimeToDosTime(Ft(c.units), dos), c.ok) << c.name;
        EXPECT_EQ(dos, c.dos) << c.name;
    }
}

TEST(NTime, DosTimeToFileTimeTakesTheFieldsAsUtc) {
    struct Case {
        const char *name;
        UInt32 dos;
        UInt64 units;
        bool ok;
    };
    const Case cases[] = {
        {"zero: month 0, day 0", 0, 0, false},
        {"2000-01-01 00:00:00", 0x28210000, Units(k2000), true},
        {"2000-01-01 00:00:02", 0x28210001, Units(k2000 + 2), true},
        {"1980-01-01 00:00:00", 0x00210000, Units(k1980), true},
        {"2107-12-31 23:59:58", 0xFF9FBF7D, Units(k2107Last), true},
        {"2000-02-29 12:34:56", 0x285D645C, Units(kLeapDay2000), true},
        {"2001-02-31 is 2001-03-03", 0x2A5F0000, Units(983577600), true},
        {"hour 24", 0x2821C000, 0, false},
        {"second 60", 0x2821001E, 0, false},
        {"month 13", 0x29A10000, 0, false},
    };
    for (const Case &c : cases) {
        FILETIME ft = Ft(0x1111111111111111ULL);
        EXPECT_EQ(DosTimeToFileTime(c.dos, ft), c.ok) << c.name;
        EXPECT_EQ(V(ft), c.units) << c.name;
    }
}

TEST(NTime, UnixTimeToFileTime) {
    FILETIME ft;
    UnixTimeToFileTime(0, ft);
    EXPECT_EQ(V(ft), kEpochOffsetUnits);
    UnixTimeToFileTime(0xFFFFFFFF, ft);
    EXPECT_EQ(V(ft), Units(0xFFFFFFFF));
}

TEST(NTime, UnixTime64ToFileTimeFailsWithAllOnesOutsideTheRange) {
    struct Case {
        Int64 unixTime;
        UInt64 units;
        bool ok;
    };
    const Case cases[] = {
        {0, 116444736000000000ULL, true},
        {k2000, Units(k2000), true},
        {-1, kAllOnes, false},
        {INT64_MIN, kAllOnes, false},
        {1833029933770LL, 18446744073700000000ULL, true},
        {1833029933771LL, kAllOnes, false},
        {INT64_MAX, kAllOnes, false},
    };
    for (const Case &c : cases) {
        FILETIME ft = Ft(0);
        EXPECT_EQ(UnixTime64ToFileTime(c.unixTime, ft), c.ok) << c.unixTime;
        EXPECT_EQ(V(ft), c.units) << c.unixTime;
    }
}

TEST(NTime, FileTimeToUnixTimeClampsTo32Bits) {
    struct Case {
        UInt64 units;
        UInt32 unixTime;
        bool ok;
    };
    const Case cases[] = {
        {kEpochOffsetUnits, 0, true},
        {kEpochOffsetUnits - 1, 0, false},
        {0, 0, false},
        {Units(k2000, 9999999), (UInt32)k2000, true}, // the fraction is dropped
        {Units(0xFFFFFFFF, 9999999), 0xFFFFFFFF, true},
        {Units(0x100000000LL), 0xFFFFFFFF, false},
        {kAllOnes, 0xFFFFFFFF, false},
    };
    for (const Case &c : cases) {
        UInt32 unixTime = 12345;
        EXPECT_EQ(FileTimeToUnixTime(Ft(c.units), unixTime), c.ok) << c.units;
        EXPECT_EQ(unixTime, c.unixTime) << c.units;
    }
}

TEST(NTime, FileTimeToUnixTime64IsNegativeBefore1970) {
    EXPECT_EQ(FileTimeToUnixTime64(Ft(0)), -11644473600LL);
    EXPECT_EQ(FileTimeToUnixTime64(Ft(kEpochOffsetUnits)), 0);
    EXPECT_EQ(FileTimeToUnixTime64(Ft(kEpochOffsetUnits - 1)), -1);
    EXPECT_EQ(FileTimeToUnixTime64(Ft(Units(k2108))), k2108);
    EXPECT_EQ(FileTimeToUnixTime64(Ft(kAllOnes)), 1844674407370LL - 11644473600LL);
}

TEST(NTime, GetSecondsSince1601ChecksFieldRangesButNotMonthLengths) {
    struct Case {
        unsigned year, month, day, hour, min, sec;
        UInt64 seconds;
        bool ok;
    };
    const UInt64 kOffset = 11644473600ULL;
    const Case cases[] = {
        {1601, 1, 1, 0, 0, 0, 0, true},
        {1970, 1, 1, 0, 0, 0, kOffset, true},
        {2000, 2, 29, 12, 34, 56, kOffset + kLeapDay2000, true},
        {2001, 2, 31, 0, 0, 0, kOffset + 983577600, true}, // March 3
        {2000, 2, 31, 0, 0, 0, kOffset + 951955200, true}, // March 2
        {9999, 12, 31, 23, 59, 59, 265046774399ULL, true},
        {1600, 12, 31, 23, 59, 59, 0, false},
        {10000, 1, 1, 0, 0, 0, 0, false},
        {2000, 0, 1, 0, 0, 0, 0, false},
        {2000, 13, 1, 0, 0, 0, 0, false},
        {2000, 1, 0, 0, 0, 0, 0, false},
        {2000, 1, 32, 0, 0, 0, 0, false},
        {2000, 1, 1, 24, 0, 0, 0, false},
        {2000, 1, 1, 0, 60, 0, 0, false},
        {2000, 1, 1, 0, 0, 60, 0, false},
    };
    for (const Case &c : cases) {
        UInt64 seconds = 777;
        EXPECT_EQ(GetSecondsSince1601(c.year, c.month, c.day, c.hour, c.min, c.sec, seconds), c.ok)
            << c.year << "-" << c.month << "-" << c.day;
        EXPECT_EQ(seconds, c.seconds) << c.year << "-" << c.month << "-" << c.day;
    }
}

TEST(NTime, CurUtcFileTimeIsNow) {
    FILETIME ft;
    GetCurUtcFileTime(ft);
    const Int64 now = (Int64)time(nullptr);
    EXPECT_NEAR((double)FileTimeToUnixTime64(ft), (double)now, 2.0);
}
