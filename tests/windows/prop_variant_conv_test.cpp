#include <gtest/gtest.h>
#include <stdlib.h>
#include <time.h>

#include "windows/PropVariant.h"
#include "windows/PropVariantConv.h"

using NWindows::NCOM::CPropVariant;

namespace {

FILETIME MakeFileTime(UInt64 v) {
    FILETIME ft;
    ft.dwLowDateTime = (DWORD)v;
    ft.dwHighDateTime = (DWORD)(v >> 32);
    return ft;
}

// 2024-02-29 13:05:09 UTC.
const UInt64 kLeapDay = 133536855090000000ULL;

// The texts are UTC: a zone far from UTC must not shift them.
struct FarTimeZone : ::testing::Test {
    void SetUp() override {
        setenv("TZ", "XST-9", 1);
        tzset();
    }
    void TearDown() override {
        unsetenv("TZ");
        tzset();
    }
};

} // namespace

TEST_F(FarTimeZone, FileTimeTextHasDateTimeAndSecondsInUtc) {
    char s[kTimeStringSize];
    const FILETIME ft = MakeFileTime(kLeapDay);
    EXPECT_TRUE(ConvertFileTimeToString(ft, s, true, true));
    EXPECT_STREQ(s, "2024-02-29 13:05:09");
    EXPECT_TRUE(ConvertFileTimeToString(ft, s, true, false));
    EXPECT_STREQ(s, "2024-02-29 13:05");
    EXPECT_TRUE(ConvertFileTimeToString(ft, s, false, true));
    EXPECT_STREQ(s, "2024-02-29");

    wchar_t w[kTimeStringSize];
    EXPECT_TRUE(ConvertFileTimeToString(ft, w, true, true));
    EXPECT_STREQ(w, L"2024-02-29 13:05:09");

    EXPECT_TRUE(ConvertFileTimeToString(MakeFileTime(0), s, true, true));
    EXPECT_STREQ(s, "1601-01-01 00:00:00");
}

TEST_F(FarTimeZone, FileTimeTextPutsTenThousandsDigitOfYearInFront) {
    char s[kTimeStringSize];
    EXPECT_TRUE(ConvertFileTimeToString(MakeFileTime(0x7FFFFFFFFFFFFFFFULL), s, true, true));
    EXPECT_STREQ(s, "30828-09-14 02:48:05");
}

TEST_F(FarTimeZone, ShortTextOfEachType) {
    auto make = [](auto value) {
        CPropVariant v;
        v = value;
        return v;
    };
    CPropVariant r8, i2, ui2, unknown;
    r8.vt = VT_R8;
    r8.dblVal = 1.5;
    i2.vt = VT_I2;
    i2.iVal = -32768;
    ui2.vt = VT_UI2;
    ui2.uiVal = 65535;
    unknown.vt = 0x1234;
    struct Case {
        CPropVariant value;
        const char *text;
    } cases[] = {
        {CPropVariant(), ""},
        {make((UInt64) ~(UInt64)0), "18446744073709551615"},
        {make((Int64)INT64_MIN), "-9223372036854775808"},
        {make((Int32)-7), "-7"},
        {make((UInt32)4294967295u), "4294967295"},
        {make((Byte)255), "255"},
        {i2, "-32768"},
        {ui2, "65535"},
        {make(true), "+"},
        {make(false), "-"},
        {CPropVariant(L"text"), "?"},
        {r8, "?:5"},
        {unknown, "?:4660"},
        {make(MakeFileTime(kLeapDay)), "2024-02-29 13:05:09"},
    };
    for (const Case &c : cases) {
        char s[kPropVariantShortStringSize];
        memset(s, 'x', sizeof(s));
        ConvertPropVariantToShortString(c.value, s);
        EXPECT_STREQ(s, c.text) << "type " << c.value.vt;

        wchar_t w[kPropVariantShortStringSize];
        ConvertPropVariantToShortString(c.value, w);
        UString expected;
        expected.SetFromAscii(c.text);
        EXPECT_EQ(UString(w), expected);
    }
}
