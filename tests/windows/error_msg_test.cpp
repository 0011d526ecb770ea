#include <errno.h>
#include <gtest/gtest.h>
#include <locale.h>

#include "common/StringConvert.h"
#include "windows/ErrorMsg.h"

using NWindows::NError::MyFormatMessage;

namespace {

struct ErrorTexts : ::testing::Test {
    int savedConversion = global_use_utf16_conversion;
    void SetUp() override {
        ASSERT_NE(setlocale(LC_ALL, "C.UTF-8"), nullptr);
        global_use_utf16_conversion = 1;
    }
    void TearDown() override { global_use_utf16_conversion = savedConversion; }
};

} // namespace

TEST_F(ErrorTexts, FixedTextsAndSystemMessages) {
    const struct {
        UInt32 code;
        const wchar_t *text;
    } cases[] = {
        {267, L"\u9519\u8BEF\u7684\u76EE\u5F55"},
        {0x100018, L"\u6CA1\u6709\u66F4\u591A\u7684\u6587\u4EF6"},
        {0x80004001, L"\u5C1A\u672A\u5B9E\u73B0"},
        {0x80004002, L"E_NOINTERFACE"},
        {0x80004004, L"E_ABORT"},
        {0x80004005, L"E_FAIL"},
        {0x80030001, L"STG_E_INVALIDFUNCTION"},
        {0x8007000E, L"E_OUTOFMEMORY"},
        {0x80070057, L"E_INVALIDARG"},
        {ENOENT, L"No such file or directory"},
        {ENOSPC, L"No space left on device"},
        {EACCES, L"Permission denied"},
        // An errno carried as 0x8007xxxx reads as the errno itself.
        {0x8007001C, L"No space left on device"},
        {0x80070002, L"No such file or directory"},
        {0x8007010B, L"\u9519\u8BEF\u7684\u76EE\u5F55"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(MyFormatMessage(c.code), UString(c.text)) << std::hex << c.code;
}

TEST_F(ErrorTexts, UnknownCodeStillGivesText) {
    EXPECT_FALSE(MyFormatMessage(0x80040111).IsEmpty());
    EXPECT_FALSE(MyFormatMessage(0x80070000).IsEmpty());
}

TEST_F(ErrorTexts, WithoutConversionEachByteIsOneCharacter) {
    global_use_utf16_conversion = 0;
    const UString s = MyFormatMessage(267);
    // Five characters of three UTF-8 bytes each.
    ASSERT_EQ(s.Len(), 15u);
    EXPECT_EQ(s[0], (wchar_t)0xE9);
}
