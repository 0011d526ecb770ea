#include <gtest/gtest.h>
#include <locale.h>

#include "common/IntToString.h"
#include "common/StringConvert.h"
#include "common/StringToInt.h"
#include "common/UTFConvert.h"

namespace {

struct UtfLocale : ::testing::Test {
    void SetUp() override { ASSERT_NE(setlocale(LC_ALL, "C.UTF-8"), nullptr); }
    void TearDown() override { global_use_utf16_conversion = 0; }
};

AString Bytes(std::initializer_list<int> b)
{
    AString s;
    for (int c : b)
        s += (char)c;
    return s;
}

} // namespace

TEST(Utf8, RoundTripOverAllCodePoints)
{
    // Every scalar value, with the planes above the BMP as surrogate pairs.
    UString all;
    for (UInt32 c = 1; c <= 0x10FFFF; c++) {
        if (c >= 0xD800 && c < 0xE000)
            continue;
        if (c < 0x10000)
            all += (wchar_t)c;
        else {
            all += (wchar_t)(0xD800 + ((c - 0x10000) >> 10));
            all += (wchar_t)(0xDC00 + ((c - 0x10000) & 0x3FF));
        }
    }
    AString utf8;
    ConvertUnicodeToUTF8(all, utf8);
    EXPECT_TRUE(CheckUTF8(utf8));
    UString back;
    EXPECT_TRUE(ConvertUTF8ToUnicode(utf8, back));
    EXPECT_TRUE(back == all);
    // U+1F600 as a pair is one 4-byte sequence.
    UString pair;
    pair += (wchar_t)0xD83D;
    pair += (wchar_t)0xDE00;
    ConvertUnicodeToUTF8(pair, utf8);
    EXPECT_EQ(utf8, Bytes({0xF0, 0x9F, 0x98, 0x80}));
}

TEST(Utf8, MalformedInputBecomesReplacementAndFalse)
{
    struct {
        AString in;
        std::vector<UInt32> out;
    } cases[] = {
        {Bytes({0xC3, 0x28}), {0xFFFD, '('}},
        {Bytes({0xF4, 0x90, 0x80, 0x80}), {0xFFFD}},
        {Bytes({0x80, 'a'}), {0xFFFD, 'a'}},
        {Bytes({0xFF}), {0xFFFD}},
        {Bytes({'a', 0xE4, 0xB8}), {'a', 0xFFFD}},
        {Bytes({0xE4, 0xB8, 'x'}), {0xFFFD, 'x'}},
    };
    for (auto &c : cases) {
        UString u;
        EXPECT_FALSE(ConvertUTF8ToUnicode(c.in, u));
        ASSERT_EQ(u.Len(), c.out.size());
        for (unsigned i = 0; i < u.Len(); i++)
            EXPECT_EQ((UInt32)u[i], c.out[i]);
    }
    EXPECT_FALSE(CheckUTF8(Bytes({0xF4, 0x90, 0x80, 0x80})));
    EXPECT_TRUE(CheckUTF8(Bytes({'a', 0xE4, 0xB8}), true));
    EXPECT_FALSE(CheckUTF8(Bytes({'a', 0xE4, 0xB8}), false));
}

TEST(Utf8, EncodesUnpairedSurrogatesAndWideValues)
{
    struct {
        UInt32 c;
        AString bytes;
    } cases[] = {
        {0xD800, Bytes({0xED, 0xA0, 0x80})},
        {0x4E2D, Bytes({0xE4, 0xB8, 0xAD})},
        {0x7FF, Bytes({0xDF, 0xBF})},
        {0x200000, Bytes({0xF8, 0x88, 0x80, 0x80, 0x80})},
        {0x7FFFFFFF, Bytes({0xFD, 0xBF, 0xBF, 0xBF, 0xBF, 0xBF})},
        {0x80000000, Bytes({0xFE, 0x82, 0x80, 0x80, 0x80, 0x80, 0x80})},
    };
    for (auto &c : cases) {
        UString u;
        u += (wchar_t)c.c;
        AString a;
        ConvertUnicodeToUTF8(u, a);
        EXPECT_EQ(a, c.bytes) << std::hex << c.c;
    }
}

TEST_F(UtfLocale, LocaleConversionSwitch)
{
    global_use_utf16_conversion = 0;
    EXPECT_EQ((UInt32)MultiByteToUnicodeString(Bytes({0xE9}))[0], 0xE9u);
    EXPECT_EQ(UnicodeStringToMultiByte(UString(L"\u4e2d")), "?");

    global_use_utf16_conversion = 1;
    const AString emoji = Bytes({0xF0, 0x9F, 0x98, 0x80});
    const UString u = MultiByteToUnicodeString(emoji);
    ASSERT_EQ(u.Len(), 2u);
    EXPECT_EQ((UInt32)u[0], 0xD83Du);
    EXPECT_EQ((UInt32)u[1], 0xDE00u);
    EXPECT_EQ(UnicodeStringToMultiByte(u), emoji);
    EXPECT_EQ(UnicodeStringToMultiByte(UString(L"\u4e2d")), Bytes({0xE4, 0xB8, 0xAD}));
    // Bytes the locale rejects fall back to one character per byte.
    const UString bad = MultiByteToUnicodeString(Bytes({'a', 0xFF}));
    ASSERT_EQ(bad.Len(), 2u);
    EXPECT_EQ((UInt32)bad[1], 0xFFu);
}

TEST(NumberText, Formatting)
{
    char s[32];
    wchar_t w[32];
    ConvertUInt32ToString(4294967295u, s);
    EXPECT_STREQ(s, "4294967295");
    ConvertUInt64ToString(18446744073709551615ull, w);
    EXPECT_STREQ(w, L"18446744073709551615");
    ConvertInt64ToString(INT64_MIN, s);
    EXPECT_STREQ(s, "-9223372036854775808");
    ConvertInt64ToString(-5, w);
    EXPECT_STREQ(w, L"-5");
    ConvertUInt64ToOct(0, s);
    EXPECT_STREQ(s, "0");
    ConvertUInt64ToOct(0755, s);
    EXPECT_STREQ(s, "755");
    ConvertUInt32ToHex(0, s);
    EXPECT_STREQ(s, "0");
    ConvertUInt64ToHex(0xABCDEF0123ull, s);
    EXPECT_STREQ(s, "ABCDEF0123");
    ConvertUInt32ToHex8Digits(26, s);
    EXPECT_STREQ(s, "0000001A");
}

TEST(NumberText, ParsingAndOverflow)
{
    struct {
        const char *text;
        UInt64 value;
        int endOffset;
        bool is64;
    } dec[] = {
        {"4294967295", 4294967295u, 10, false},
        {"4294967296", 0, 0, false},
        {"42x", 42, 2, false},
        {"x", 0, 0, false},
        {"18446744073709551615", 18446744073709551615ull, 20, true},
        {"18446744073709551616", 0, 0, true},
    };
    for (auto &c : dec) {
        const char *end = nullptr;
        const UInt64 v = c.is64 ? ConvertStringToUInt64(c.text, &end) : ConvertStringToUInt32(c.text, &end);
        EXPECT_EQ(v, c.value) << c.text;
        EXPECT_EQ(end - c.text, c.endOffset) << c.text;
    }

    struct {
        const wchar_t *text;
        Int32 value;
        int endOffset;
    } signedCases[] = {
        {L"-2147483648", INT32_MIN, 11}, {L"2147483647", INT32_MAX, 10}, {L"2147483648", 0, 0},
        {L"-2147483649", 0, 0},          {L"-a", 0, 1},                   {L"-", 0, 0},
    };
    for (auto &c : signedCases) {
        const wchar_t *end = nullptr;
        EXPECT_EQ(ConvertStringToInt32(c.text, &end), c.value) << c.text;
        EXPECT_EQ(end - c.text, c.endOffset) << c.text;
    }

    const char *end;
    EXPECT_EQ(ConvertHexStringToUInt32("123456789", &end), 0u);
    EXPECT_EQ(ConvertHexStringToUInt32("fFz", &end), 0xFFu);
    EXPECT_EQ(*end, 'z');
    EXPECT_EQ(ConvertHexStringToUInt64("FFFFFFFFFFFFFFFF", &end), 0xFFFFFFFFFFFFFFFFull);
    EXPECT_EQ(ConvertOctStringToUInt32("37777777777", &end), 0xFFFFFFFFu);
    EXPECT_EQ(ConvertOctStringToUInt32("377777777770", &end), 0u);
    EXPECT_EQ(ConvertOctStringToUInt32("8", &end), 0u);
    EXPECT_EQ(ConvertOctStringToUInt64("17", &end), 15u);
}
