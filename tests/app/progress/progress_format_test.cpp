// The numbers and texts of the progress window: units, overflow and bounds.
#include <gtest/gtest.h>

#include "ProgressFormat.h"
#include "test_support.h"

using testsupport::S;

namespace {

TEST(ProgressFormatTest, TimeTexts) {
    const struct {
        UInt64 seconds;
        const char *text;
    } cases[] = {
        {0, "00:00:00"},      {65, "00:01:05"},      {3600, "01:00:00"},
        {359999, "99:59:59"}, {360000, "100:00:00"}, {442800, "123:00:00"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(S(GetTimeString(c.seconds)), c.text) << c.seconds;
}

TEST(ProgressFormatTest, SizeTexts) {
    const struct {
        UInt64 value;
        const char *text;
    } cases[] = {
        {0, "0"},
        {99999, "99999"},
        {100000, "97 K"},
        {(UInt64)102399999, "99999 K"},
        {(UInt64)102400000, "97 M"},
        {(UInt64)104857599999ULL, "99999 M"},
        {(UInt64)104857600000ULL, "97 G"},
        {kProgressUnknown, ""},
    };
    for (const auto &c : cases)
        EXPECT_EQ(S(GetSizeText(c.value)), c.text) << c.value;
}

TEST(ProgressFormatTest, SpeedTexts) {
    const struct {
        UInt64 value;
        const char *text;
    } cases[] = {
        {0, "0 B/s"}, {9999, "9999 B/s"}, {10000, "9 KB/s"}, {10239999, "9999 KB/s"}, {10240000, "9 MB/s"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(S(GetSpeedText(c.value)), c.text) << c.value;
}

TEST(ProgressFormatTest, ReduceKeepsBothEnds) {
    UString name;
    for (int i = 0; i < 200; i++)
        name += (wchar_t)(L'a' + i % 26);
    const UString reduced = ReduceString(name, 82);
    EXPECT_EQ(S(reduced), S(name.Left(41)) + " ... " + S(name.Ptr(159)));

    UString exact = name.Left(82);
    EXPECT_EQ(S(ReduceString(exact, 82)), S(exact));
    EXPECT_EQ(S(ReduceString(name.Left(37), 36)), S(name.Left(18)) + " ... " + S(name.Mid(19, 18)));
}

TEST(ProgressFormatTest, PercentStaysWithinBounds) {
    const UInt64 big = (UInt64)1 << 62;
    const struct {
        UInt64 done, total, percent;
    } cases[] = {
        {0, 100, 0},
        {50, 100, 50},
        {100, 100, 100},
        {250, 100, 100},          // more done than the total claims
        {5, 0, 0},                // a total of 0 is never divided by
        {5, kProgressUnknown, 0}, // unknown
        {big / 2, big, 50},       // done x 100 would overflow
        {big - 1, big, 99},
        {kProgressUnknown - 1, kProgressUnknown - 1, 100},
    };
    for (const auto &c : cases)
        EXPECT_EQ(ProgressPercent(c.done, c.total), c.percent) << c.done << "/" << c.total;
}

TEST(ProgressFormatTest, MulDivWithoutOverflow) {
    EXPECT_EQ(MulDivNoOverflow(1000, 3000, 1000), 3000u);
    // Remaining time of a long run: elapsed x rest / done where the product needs 80 bits.
    const UInt64 elapsed = (UInt64)1 << 40, rest = (UInt64)1 << 40, done = (UInt64)1 << 30;
    EXPECT_EQ(MulDivNoOverflow(elapsed, rest, done), (UInt64)1 << 50);
    EXPECT_EQ(MulDivNoOverflow(5, 7, 0), 35u);
}

} // namespace
