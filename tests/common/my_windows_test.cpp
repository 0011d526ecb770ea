// BSTR, VARIANT and FILETIME functions, HRESULT values and the layouts of the plug-in contract.
#include "common/MyWindows.h"

#include <gtest/gtest.h>

#include <stddef.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

namespace {

// The layouts are pinned in the header; repeating them here makes a change show up as a test edit.
static_assert(sizeof(PROPVARIANT) == 16, "PROPVARIANT is 16 bytes");
static_assert(sizeof(VARIANT) == 16, "VARIANT shares the layout");
static_assert(offsetof(PROPVARIANT, bstrVal) == 8, "value at offset 8");
static_assert(offsetof(PROPVARIANT, wReserved1) == 2 && offsetof(PROPVARIANT, wReserved3) == 6, "three reserved words");
static_assert(sizeof(GUID) == 16, "GUID is 16 bytes");
static_assert(sizeof(HRESULT) == 4, "HRESULT is 4 bytes");
static_assert(sizeof(wchar_t) == 4, "wchar_t is 4 bytes");
static_assert(sizeof(FILETIME) == 8, "FILETIME is 8 bytes");

UInt32 PrefixOf(BSTR b) {
    UInt32 v;
    memcpy(&v, reinterpret_cast<const Byte *>(b) - 4, 4);
    return v;
}

TEST(BstrTest, ByteLenOfSixBytesGivesOneCharacterAndStaysTerminated) {
    const char data[6] = {'A', 0, 0, 0, 'B', 0};
    BSTR b = SysAllocStringByteLen(data, 6);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(SysStringByteLen(b), 6u);
    EXPECT_EQ(SysStringLen(b), 1u);
    EXPECT_EQ(memcmp(b, data, 6), 0);
    // Zero bytes follow the data, so the character after the partial one is 0.
    EXPECT_EQ(b[0], L'A');
    EXPECT_EQ(b[1], L'B');
    EXPECT_EQ(b[2], 0);
    EXPECT_EQ(wcslen(b), 2u);
    SysFreeString(b);
}

TEST(BstrTest, ByteLenWithoutDataStillEndsInZeros) {
    for (UINT n = 0; n < 9; n++) {
        BSTR b = SysAllocStringByteLen(nullptr, n);
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(SysStringByteLen(b), n);
        EXPECT_EQ(b[(n + 3) / 4], 0) << n;
        SysFreeString(b);
    }
}

TEST(BstrTest, AllocStringCopiesTextWithPrefixAndTerminator) {
    BSTR b = SysAllocString(L"h\u00e9llo");
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(PrefixOf(b), 20u);
    EXPECT_EQ(SysStringLen(b), 5u);
    EXPECT_STREQ(b, L"h\u00e9llo");
    EXPECT_EQ(b[5], 0);
    SysFreeString(b);

    BSTR empty = SysAllocString(L"");
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(SysStringLen(empty), 0u);
    EXPECT_EQ(empty[0], 0);
    SysFreeString(empty);
}

TEST(BstrTest, NullTextAndNullBstrAreEmpty) {
    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    EXPECT_EQ(SysStringByteLen(nullptr), 0u);
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    SysFreeString(nullptr); // does nothing
}

TEST(BstrTest, AllocStringLenKeepsEmbeddedZerosAndZeroFillsWithoutText) {
    const wchar_t text[3] = {L'a', 0, L'c'};
    BSTR b = SysAllocStringLen(text, 3);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(SysStringByteLen(b), 12u);
    EXPECT_EQ(b[0], L'a');
    EXPECT_EQ(b[1], 0);
    EXPECT_EQ(b[2], L'c');
    EXPECT_EQ(b[3], 0);
    SysFreeString(b);

    BSTR zeros = SysAllocStringLen(nullptr, 4);
    ASSERT_NE(zeros, nullptr);
    EXPECT_EQ(SysStringLen(zeros), 4u);
    for (int i = 0; i <= 4; i++)
        EXPECT_EQ(zeros[i], 0);
    SysFreeString(zeros);

    // Only the first n characters are taken.
    BSTR part = SysAllocStringLen(L"abcdef", 2);
    EXPECT_STREQ(part, L"ab");
    SysFreeString(part);
}

TEST(BstrTest, BlocksComeFromTheCHeap) {
    // A block made here can be released with free() four bytes before the text, as the plug-in does.
    BSTR b = SysAllocString(L"x");
    free(reinterpret_cast<Byte *>(b) - 4);
}

TEST(VariantTest, CopyOfBstrDuplicatesTheCharacters) {
    PROPVARIANT src;
    memset(&src, 0, sizeof(src));
    src.vt = VT_BSTR;
    src.bstrVal = SysAllocString(L"abc");
    PROPVARIANT dest;
    memset(&dest, 0, sizeof(dest));
    ASSERT_EQ(VariantCopy(&dest, &src), S_OK);
    EXPECT_EQ(dest.vt, VT_BSTR);
    ASSERT_NE(dest.bstrVal, src.bstrVal);
    EXPECT_EQ(SysStringByteLen(dest.bstrVal), 12u);
    dest.bstrVal[0] = L'X';
    EXPECT_STREQ(src.bstrVal, L"abc");
    EXPECT_STREQ(dest.bstrVal, L"Xbc");
    EXPECT_EQ(VariantClear(&dest), S_OK);
    EXPECT_EQ(VariantClear(&src), S_OK);
    EXPECT_EQ(src.vt, VT_EMPTY);
}

TEST(VariantTest, CopyFreesTheOldBstrAndCopiesPlainValuesBitwise) {
    PROPVARIANT dest;
    memset(&dest, 0, sizeof(dest));
    dest.vt = VT_BSTR;
    dest.bstrVal = SysAllocString(L"old"); // freed by the copy; the leak checker would see it otherwise
    PROPVARIANT src;
    memset(&src, 0, sizeof(src));
    src.vt = VT_FILETIME;
    src.wReserved2 = 7;
    src.filetime.dwLowDateTime = 0x11223344;
    src.filetime.dwHighDateTime = 0x55667788;
    ASSERT_EQ(VariantCopy(&dest, &src), S_OK);
    EXPECT_EQ(memcmp(&dest, &src, sizeof(PROPVARIANT)), 0);
}

TEST(VariantTest, CopyOfNullBstrGivesAnEmptyString) {
    PROPVARIANT src;
    memset(&src, 0, sizeof(src));
    src.vt = VT_BSTR;
    src.bstrVal = nullptr;
    PROPVARIANT dest;
    memset(&dest, 0, sizeof(dest));
    ASSERT_EQ(VariantCopy(&dest, &src), S_OK);
    EXPECT_EQ(dest.vt, VT_BSTR);
    EXPECT_EQ(SysStringLen(dest.bstrVal), 0u);
    VariantClear(&dest);
}

TEST(VariantTest, ClearSetsEmptyAndLeavesTheValueBytes) {
    PROPVARIANT v;
    memset(&v, 0, sizeof(v));
    v.vt = VT_UI8;
    v.uhVal.QuadPart = 0x0102030405060708ull;
    EXPECT_EQ(VariantClear(&v), S_OK);
    EXPECT_EQ(v.vt, VT_EMPTY);
    EXPECT_EQ(v.uhVal.QuadPart, 0x0102030405060708ull);
}

TEST(VariantTest, TypeCodesAndBooleans) {
    const struct {
        int code;
        int value;
    } kCodes[] = {{VT_EMPTY, 0}, {VT_I2, 2},   {VT_I4, 3},    {VT_R4, 4},       {VT_R8, 5},
                  {VT_CY, 6},    {VT_DATE, 7}, {VT_BSTR, 8},  {VT_ERROR, 10},   {VT_BOOL, 11},
                  {VT_I1, 16},   {VT_UI1, 17}, {VT_UI2, 18},  {VT_UI4, 19},     {VT_I8, 20},
                  {VT_UI8, 21},  {VT_INT, 22}, {VT_UINT, 23}, {VT_FILETIME, 64}};
    for (const auto &c : kCodes)
        EXPECT_EQ(c.code, c.value);
    EXPECT_EQ(VARIANT_TRUE, -1);
    EXPECT_EQ(VARIANT_FALSE, 0);
}

FILETIME Ft(UInt32 high, UInt32 low) {
    FILETIME ft;
    ft.dwHighDateTime = high;
    ft.dwLowDateTime = low;
    return ft;
}

TEST(FileTimeTest, CompareFileTimeOrdersHighThenLowUnsigned) {
    const struct {
        FILETIME a, b;
        LONG expected;
    } kCases[] = {
        {Ft(1, 0), Ft(0, 0xFFFFFFFF), 1}, {Ft(0, 0xFFFFFFFF), Ft(1, 0), -1},
        {Ft(5, 5), Ft(5, 5), 0},          {Ft(0x80000000, 0), Ft(0x7FFFFFFF, 0xFFFFFFFF), 1},
        {Ft(3, 0x80000000), Ft(3, 1), 1}, {Ft(3, 1), Ft(3, 2), -1},
    };
    for (const auto &c : kCases)
        EXPECT_EQ(CompareFileTime(&c.a, &c.b), c.expected);
}

TEST(HresultTest, ValuesInUse) {
    EXPECT_EQ((UInt32)S_OK, 0u);
    EXPECT_EQ((UInt32)S_FALSE, 1u);
    EXPECT_EQ((UInt32)E_NOTIMPL, 0x80004001u);
    EXPECT_EQ((UInt32)E_NOINTERFACE, 0x80004002u);
    EXPECT_EQ((UInt32)E_ABORT, 0x80004004u);
    EXPECT_EQ((UInt32)E_FAIL, 0x80004005u);
    EXPECT_EQ((UInt32)STG_E_INVALIDFUNCTION, 0x80030001u);
    EXPECT_EQ((UInt32)CLASS_E_CLASSNOTAVAILABLE, 0x80040111u);
    EXPECT_EQ((UInt32)E_OUTOFMEMORY, 0x8007000Eu);
    EXPECT_EQ((UInt32)E_INVALIDARG, 0x80070057u);
    EXPECT_EQ((UInt32)HRESULT_WIN32_ERROR_NEGATIVE_SEEK, 0x80070131u);
    EXPECT_TRUE(FAILED(E_FAIL));
    EXPECT_TRUE(SUCCEEDED(S_FALSE));
}

TEST(HresultTest, SystemErrorNumbersBecome8007Codes) {
    EXPECT_EQ((UInt32)HRESULT_FROM_ERRNO(5), 0x80070005u);
    EXPECT_EQ((UInt32)HRESULT_FROM_ERRNO(28), 0x8007001Cu);
    // The file layer's "nothing matches" means no such file; its low word would read as EMFILE.
    EXPECT_EQ((UInt32)HRESULT_FROM_ERRNO(0x100018), 0x80070002u);
    EXPECT_EQ(HRESULT_FROM_ERRNO(0), E_FAIL);
    EXPECT_EQ(HRESULT_FROM_ERRNO(E_ABORT), E_ABORT);
    EXPECT_EQ((UInt32)HRESULT_FROM_WIN32(2), 0x80070002u);
    EXPECT_EQ(HRESULT_FROM_WIN32(0), S_OK);
}

} // namespace
