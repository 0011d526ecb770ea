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

// Every text reaches a Chinese window: the common system errors have Chinese texts, the rest keep
// the system's own.
TEST_F(ErrorTexts, FixedTextsAndSystemMessages) {
    const struct {
        UInt32 code;
        const char *text;
    } cases[] = {
        {267, "错误的目录"},
        // The file layer's "nothing of that name" reads as the file not being there.
        {0x100018, "没有那个文件或目录"},
        {0x80004001, "尚未实现"},
        {0x80004002, "不支持此操作"},
        {0x80004004, "操作已取消"},
        {0x80004005, "操作失败"},
        {0x80030001, "无效的操作"},
        {0x8007000E, "内存不足"},
        {0x80070057, "参数错误"},
        {ENOENT, "没有那个文件或目录"},
        {ENOSPC, "设备上没有空间"},
        {EACCES, "权限不够"},
        {EEXIST, "文件已存在"},
        {ENOTDIR, "不是目录"},
        {EISDIR, "是一个目录"},
        {ENAMETOOLONG, "文件名过长"},
        {ENOTEMPTY, "目录非空"},
        {EROFS, "只读文件系统"},
        {ELOOP, "符号链接的层数过多"},
        {EXDEV, "无效的跨设备链接"},
        // An errno carried as 0x8007xxxx reads as the errno itself.
        {0x8007001C, "设备上没有空间"},
        {0x80070002, "没有那个文件或目录"},
        {0x80070014, "不是目录"},
        {0x8007010B, "错误的目录"},
        // Not in the table: the system's text.
        {ENOTBLK, "Block device required"},
        {0x8007000F, "Block device required"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(MyFormatMessage(c.code), MultiByteToUnicodeString(AString(c.text))) << std::hex << c.code;
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
