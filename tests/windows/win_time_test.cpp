#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/time.h>
#include <time.h>

#include <string>

#include "windows/WinTime.h"

#include "filetime_fixtures.h"

using namespace filetimetest;

namespace {


// Local-time results depend on the zone: each test names the one it runs in.
class ZoneScope {
    std::string _saved;
    bool _had;

public:
    explicit ZoneScope(const char *zone) {
        const char *old = getenv("TZ");
        _had = old != nullptr;
        if (_had) _saved = old;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~ZoneScope() {
        if (_had)
            setenv("TZ", _saved.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
};

} // namespace

TEST(WinTime, FileTimeToSystemTimeGivesCalendarFields) {
    struct Case {
        const char *name;
        UInt64 units;
        SYSTEMTIME st; // year, month, day of week, day, hour, minute, second, milliseconds
    };
    const Case cases[] = {
        {"zero", 0, {1601, 1, 1, 1, 0, 0, 0, 0}},
        {"1970", kEpochOffsetUnits, {1970, 1, 4, 1, 0, 0, 0, 0}},
        {"leap day", Units(kLeapDay2000, 7899999), {2000, 2, 2, 29, 12, 34, 56, 789}},
        {"day after leap day", Units(kLeapDay2000 + 86400), {2000, 3, 3, 1, 12, 34, 56, 0}},
        {"1899-12-31, end of a common century", Units(-2208988800LL - 1), {1899, 12, 0, 31, 23, 59, 59, 0}},
        {"9999-12-31", Units(253402300799LL, 9999999), {9999, 12, 5, 31, 23, 59, 59, 999}},
    };
    for (const Case &c : cases) {
        SYSTEMTIME st = {};
        const FILETIME ft = Ft(c.units);
        EXPECT_TRUE(FileTimeToSystemTime(&ft, &st)) << c.name;
        EXPECT_EQ(st.wYear, c.st.wYear) << c.name;
        EXPECT_EQ(st.wMonth, c.st.wMonth) << c.name;
        EXPECT_EQ(st.wDayOfWeek, c.st.wDayOfWeek) << c.name;
        EXPECT_EQ(st.wDay, c.st.wDay) << c.name;
        EXPECT_EQ(st.wHour, c.st.wHour) << c.name;
        EXPECT_EQ(st.wMinute, c.st.wMinute) << c.name;
        EXPECT_EQ(st.wSecond, c.st.wSecond) << c.name;
        EXPECT_EQ(st.wMilliseconds, c.st.wMilliseconds) << c.name;

        FILETIME back;
        EXPECT_TRUE(SystemTimeToFileTime(&st, &back)) << c.name;
        EXPECT_EQ(V(back), c.units / 10000 * 10000) << c.name; // down to milliseconds
    }
}

TEST(WinTime, SystemTimeToFileTimeRejectsInvalidFields) {
    const SYSTEMTIME valid = {2000, 2, 0, 29, 12, 34, 56, 789};
    FILETIME ft;
    ASSERT_TRUE(SystemTimeToFileTime(&valid, &ft));
    EXPECT_EQ(V(ft), Units(kLeapDay2000, 7890000));

    struct Case {
        const char *name;
        SYSTEMTIME st;
    };
    const Case cases[] = {
        {"milliseconds 1000", {2000, 1, 0, 1, 0, 0, 0, 1000}},
        {"second 60", {2000, 1, 0, 1, 0, 0, 60, 0}},
        {"minute 60", {2000, 1, 0, 1, 0, 60, 0, 0}},
        {"hour 24", {2000, 1, 0, 1, 24, 0, 0, 0}},
        {"month 0", {2000, 0, 0, 1, 0, 0, 0, 0}},
        {"month 13", {2000, 13, 0, 1, 0, 0, 0, 0}},
        {"day 0", {2000, 1, 0, 0, 0, 0, 0, 0}},
        {"February 29 of a common year", {2001, 2, 0, 29, 0, 0, 0, 0}},
        {"April 31", {2000, 4, 0, 31, 0, 0, 0, 0}},
        {"year 1600", {1600, 12, 0, 31, 0, 0, 0, 0}},
    };
    for (const Case &c : cases)
        EXPECT_FALSE(SystemTimeToFileTime(&c.st, &ft)) << c.name;
}

TEST(WinTime, SecondsSince1970Conversions) {
    FILETIME ft;
    RtlSecondsSince1970ToFileTime(0, &ft);
    EXPECT_EQ(V(ft), kEpochOffsetUnits);
    RtlSecondsSince1970ToFileTime(0xFFFFFFFF, &ft);
    EXPECT_EQ(V(ft), Units(0xFFFFFFFF));

    struct Case {
        Int64 units;
        DWORD seconds;
        BOOL ok;
    };
    const Case cases[] = {
        {(Int64)kEpochOffsetUnits, 0, TRUE},
        {(Int64)Units(k2000, 9999999), (DWORD)k2000, TRUE},
        {(Int64)Units(0xFFFFFFFF, 9999999), 0xFFFFFFFF, TRUE},
        {(Int64)kEpochOffsetUnits - 10000000, 4242, FALSE},
        {(Int64)Units(0x100000000LL), 4242, FALSE},
        {0, 4242, FALSE},
        {-1, 4242, FALSE},
    };
    for (const Case &c : cases) {
        LARGE_INTEGER li;
        li.QuadPart = c.units;
        DWORD seconds = 4242;
        EXPECT_EQ(RtlTimeToSecondsSince1970(&li, &seconds), c.ok) << c.units;
        EXPECT_EQ(seconds, c.seconds) << c.units;
    }
}

TEST(WinTime, DosDateTimePairIsUtcWhateverTheZone) {
    ZoneScope zone("Asia/Shanghai");
    FILETIME ft;
    EXPECT_TRUE(DosDateTimeToFileTime(0x2821, 0x0001, &ft));
    EXPECT_EQ(V(ft), Units(k2000 + 2));
    EXPECT_TRUE(DosDateTimeToFileTime(0x285D, 0x645C, &ft));
    EXPECT_EQ(V(ft), Units(kLeapDay2000));

    WORD date = 0, time = 0;
    EXPECT_TRUE(FileTimeToDosDateTime(&ft, &date, &time));
    EXPECT_EQ(date, 0x285D);
    EXPECT_EQ(time, 0x645C);
    const FILETIME odd = Ft(Units(k2000 + 3, 5));
    EXPECT_TRUE(FileTimeToDosDateTime(&odd, &date, nullptr)); // seconds are halved down here
    EXPECT_EQ(date, 0x2821);
    EXPECT_TRUE(FileTimeToDosDateTime(&odd, nullptr, &time));
    EXPECT_EQ(time, 0x0001);
    const FILETIME before1970 = Ft(kEpochOffsetUnits - 10000000);
    date = time = 7;
    EXPECT_FALSE(FileTimeToDosDateTime(&before1970, &date, &time));
    EXPECT_EQ(date, 7);
    EXPECT_EQ(time, 7);
}

TEST(WinTime, LocalFileTimeInUtcIsUnchanged) {
    ZoneScope zone("UTC");
    const FILETIME utc = Ft(Units(kLeapDay2000));
    FILETIME local, back;
    EXPECT_TRUE(FileTimeToLocalFileTime(&utc, &local));
    EXPECT_EQ(V(local), V(utc));
    EXPECT_TRUE(LocalFileTimeToFileTime(&local, &back));
    EXPECT_EQ(V(back), V(utc));
}

TEST(WinTime, LocalFileTimeInShanghaiIsEightHoursAhead) {
    ZoneScope zone("Asia/Shanghai"); // bias -28800, no daylight saving
    const FILETIME utc = Ft(Units(kLeapDay2000));
    FILETIME local, back;
    EXPECT_TRUE(FileTimeToLocalFileTime(&utc, &local));
    EXPECT_EQ(V(local), Units(kLeapDay2000 + 28800));
    EXPECT_TRUE(LocalFileTimeToFileTime(&local, &back));
    EXPECT_EQ(V(back), V(utc));
}

TEST(WinTime, ClocksFollowGettimeofday) {
    struct timeval tv;
    ASSERT_EQ(gettimeofday(&tv, nullptr), 0);
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    const UInt64 expected = Units(tv.tv_sec, (UInt64)tv.tv_usec * 10);
    EXPECT_GE(V(ft), expected);
    EXPECT_LT(V(ft) - expected, 20000000u); // within two seconds

    const DWORD expectedTicks = (DWORD)((UInt64)tv.tv_sec * 1000 + (UInt64)tv.tv_usec / 1000);
    const DWORD ticks = GetTickCount();
    EXPECT_LT((DWORD)(ticks - expectedTicks), 2000u); // wraps like the clock itself

    SYSTEMTIME st;
    GetSystemTime(&st);
    EXPECT_GE(st.wYear, 2024);
}
