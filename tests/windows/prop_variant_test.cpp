#include <gtest/gtest.h>

#include "windows/PropVariant.h"

using NWindows::NCOM::AllocBstrFromAscii;
using NWindows::NCOM::CPropVariant;
using NWindows::NCOM::PropVarEm_Alloc_Bstr;
using NWindows::NCOM::PropVarEm_Set_Str;
using NWindows::NCOM::PropVariant_Clear;

namespace {

// Past the BSTR size limit, so allocation fails without exhausting memory.
const unsigned kTooManyChars = 0x40000000;

UString ThreeCharsWithZeroInMiddle() {
    UString s;
    s += L'a';
    s += (wchar_t)0;
    s += L'b';
    return s;
}

PROPVARIANT RawBstr(const wchar_t *text) {
    PROPVARIANT p;
    memset(&p, 0, sizeof(p));
    p.vt = VT_BSTR;
    p.bstrVal = SysAllocString(text);
    return p;
}

} // namespace

TEST(PropVariant, DefaultIsEmptyAndAllZero) {
    CPropVariant v;
    PROPVARIANT zero;
    memset(&zero, 0, sizeof(zero));
    EXPECT_EQ(memcmp((PROPVARIANT *)&v, &zero, sizeof(zero)), 0);
}

TEST(PropVariant, TextAssignmentsReplaceAndOwnTheirBstr) {
    // Each assignment frees the text before it; ASan reports any leak or double free.
    CPropVariant v(L"first");
    EXPECT_EQ(v.vt, VT_BSTR);
    EXPECT_STREQ(v.bstrVal, L"first");
    v = UString(L"second");
    EXPECT_STREQ(v.bstrVal, L"second");
    v = "caf\xE9";
    ASSERT_EQ(SysStringLen(v.bstrVal), 4u);
    EXPECT_EQ(v.bstrVal[3], (wchar_t)0xE9); // widened byte, no charset conversion
    v = UString2(L"third");
    EXPECT_STREQ(v.bstrVal, L"third");
    v = (const wchar_t *)nullptr;
    EXPECT_EQ(v.vt, VT_BSTR);
    EXPECT_EQ(v.bstrVal, nullptr);
    v = (const char *)nullptr;
    EXPECT_EQ(v.vt, VT_BSTR);
    EXPECT_EQ(v.bstrVal, nullptr);
}

TEST(PropVariant, UStringWithEmbeddedZeroKeepsItsLength) {
    CPropVariant v;
    v = ThreeCharsWithZeroInMiddle();
    ASSERT_EQ(v.vt, VT_BSTR);
    EXPECT_EQ(SysStringByteLen(v.bstrVal), 12u);
    EXPECT_EQ(v.bstrVal[0], L'a');
    EXPECT_EQ(v.bstrVal[1], 0);
    EXPECT_EQ(v.bstrVal[2], L'b');

    // The copy duplicates by byte length, so it keeps the third character too.
    CPropVariant copy(v);
    EXPECT_NE(copy.bstrVal, v.bstrVal);
    ASSERT_EQ(SysStringByteLen(copy.bstrVal), 12u);
    EXPECT_EQ(copy.bstrVal[2], L'b');
}

TEST(PropVariant, NumberAssignmentFreesTextOrKeepsSameType) {
    CPropVariant v(L"text");
    v = (UInt32)5;
    EXPECT_EQ(v.vt, VT_UI4);
    EXPECT_EQ(v.ulVal, 5u);

    v.wReserved1 = 0x1234;
    v = (UInt32)7;
    EXPECT_EQ(v.vt, VT_UI4);
    EXPECT_EQ(v.ulVal, 7u);
    EXPECT_EQ(v.wReserved1, 0x1234); // same type: only the value is written

    v = true;
    EXPECT_EQ(v.vt, VT_BOOL);
    EXPECT_EQ(v.boolVal, VARIANT_TRUE);
    v = false;
    EXPECT_EQ(v.boolVal, VARIANT_FALSE);
    v = (Byte)200;
    EXPECT_EQ(v.vt, VT_UI1);
    EXPECT_EQ(v.bVal, 200);
    v = (Int32)-3;
    EXPECT_EQ(v.vt, VT_I4);
    EXPECT_EQ(v.lVal, -3);
    v = (Int64)-1;
    EXPECT_EQ(v.vt, VT_I8);
    EXPECT_EQ(v.hVal.QuadPart, -1);
    v = (UInt64)1 << 40;
    EXPECT_EQ(v.vt, VT_UI8);
    EXPECT_EQ(v.uhVal.QuadPart, (UInt64)1 << 40);
    FILETIME ft = {1, 2};
    v = ft;
    EXPECT_EQ(v.vt, VT_FILETIME);
    EXPECT_EQ(v.filetime.dwLowDateTime, 1u);
    EXPECT_EQ(v.filetime.dwHighDateTime, 2u);
}

TEST(PropVariant, CopyDuplicatesTextAndSurvivesSelfAssignment) {
    CPropVariant a(L"shared");
    CPropVariant b;
    b = (UInt32)9;
    b = a;
    EXPECT_NE(b.bstrVal, a.bstrVal);
    EXPECT_STREQ(b.bstrVal, L"shared");

    b = b;
    EXPECT_STREQ(b.bstrVal, L"shared");

    PROPVARIANT raw = RawBstr(L"raw");
    CPropVariant c(raw);
    EXPECT_NE(c.bstrVal, raw.bstrVal);
    EXPECT_STREQ(c.bstrVal, L"raw");
    c = raw;
    EXPECT_STREQ(c.bstrVal, L"raw");
    PropVariant_Clear(&raw);

    // A null text stays null rather than turning into an empty one.
    CPropVariant n;
    n = (const wchar_t *)nullptr;
    CPropVariant nCopy(n);
    EXPECT_EQ(nCopy.vt, VT_BSTR);
    EXPECT_EQ(nCopy.bstrVal, nullptr);

    CPropVariant num;
    num = (UInt64)42;
    c = num;
    EXPECT_EQ(c.vt, VT_UI8);
    EXPECT_EQ(c.uhVal.QuadPart, 42u);
}

TEST(PropVariant, DetachFreesDestinationTextAndEmptiesSource) {
    CPropVariant src(L"new");
    PROPVARIANT dest = RawBstr(L"old");
    ASSERT_EQ(src.Detach(&dest), S_OK);
    EXPECT_EQ(src.vt, VT_EMPTY);
    EXPECT_EQ(dest.vt, VT_BSTR);
    EXPECT_STREQ(dest.bstrVal, L"new");
    PropVariant_Clear(&dest);
}

TEST(PropVariant, AttachTakesOverAndEmptiesSource) {
    CPropVariant v(L"mine");
    PROPVARIANT raw = RawBstr(L"theirs");
    const BSTR taken = raw.bstrVal;
    ASSERT_EQ(v.Attach(&raw), S_OK);
    EXPECT_EQ(raw.vt, VT_EMPTY);
    EXPECT_EQ(v.bstrVal, taken);
}

TEST(PropVariant, ClearZeroesPlainTypesAndFreesText) {
    PROPVARIANT p;
    memset(&p, 0xAB, sizeof(p));
    p.vt = VT_UI4;
    EXPECT_EQ(PropVariant_Clear(&p), S_OK);
    PROPVARIANT zero;
    memset(&zero, 0, sizeof(zero));
    EXPECT_EQ(memcmp(&p, &zero, sizeof(p)), 0);

    PROPVARIANT t = RawBstr(L"text");
    EXPECT_EQ(PropVariant_Clear(&t), S_OK);
    EXPECT_EQ(t.vt, VT_EMPTY);

    CPropVariant v(L"x");
    EXPECT_EQ(v.Clear(), S_OK);
    EXPECT_EQ(v.vt, VT_EMPTY);
    EXPECT_EQ(v.Clear(), S_OK);
}

TEST(PropVariant, AllocBstrGivesZeroedBufferToFill) {
    CPropVariant v(L"before");
    BSTR buf = v.AllocBstr(3);
    ASSERT_NE(buf, nullptr);
    EXPECT_EQ(v.vt, VT_BSTR);
    EXPECT_EQ(SysStringLen(buf), 3u);
    EXPECT_EQ(buf[0], 0);
    EXPECT_EQ(buf[3], 0);
    buf[0] = L'o';
    buf[1] = L'k';
    EXPECT_STREQ(v.bstrVal, L"ok");
}

TEST(PropVariant, AllocationFailureThrowsOrLeavesOutOfMemoryError) {
    CPropVariant v(L"before");
    try {
        v.AllocBstr(kTooManyChars);
        FAIL() << "no exception";
    } catch (const char *e) {
        EXPECT_STREQ(e, "out of memory");
    }
    EXPECT_EQ(v.vt, VT_ERROR);
    EXPECT_EQ(v.scode, E_OUTOFMEMORY);

    PROPVARIANT p;
    memset(&p, 0, sizeof(p));
    EXPECT_EQ(PropVarEm_Alloc_Bstr(&p, kTooManyChars), E_OUTOFMEMORY);
    EXPECT_EQ(p.vt, VT_ERROR);
    EXPECT_EQ(p.scode, E_OUTOFMEMORY);
}

TEST(PropVariant, RawHelpersMakeBstrValues) {
    PROPVARIANT p;
    memset(&p, 0, sizeof(p));
    ASSERT_EQ(PropVarEm_Alloc_Bstr(&p, 2), S_OK);
    EXPECT_EQ(p.vt, VT_BSTR);
    EXPECT_EQ(SysStringLen(p.bstrVal), 2u);
    EXPECT_EQ(p.bstrVal[0], 0);
    PropVariant_Clear(&p);

    ASSERT_EQ(PropVarEm_Set_Str(&p, "7z\xFF"), S_OK);
    ASSERT_EQ(SysStringLen(p.bstrVal), 3u);
    EXPECT_EQ(p.bstrVal[2], (wchar_t)0xFF);
    PropVariant_Clear(&p);

    EXPECT_EQ(AllocBstrFromAscii(nullptr), nullptr);
    BSTR empty = AllocBstrFromAscii("");
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(SysStringLen(empty), 0u);
    SysFreeString(empty);
}

TEST(PropVariant, CompareOrdersByTypeThenValue) {
    auto make = [](auto value) {
        CPropVariant v;
        v = value;
        return v;
    };
    FILETIME early = {5, 1}, late = {0, 2};
    struct Case {
        CPropVariant a, b;
        int expected;
    } cases[] = {
        {make((UInt32)1), make((UInt64)0), -1}, // VT_UI4 19 sorts before VT_UI8 21
        {make((UInt64)0), make((UInt32)1), 1},
        {make((Int32)-1), make((Int32)1), -1},
        {make((Int64)-5), make((Int64)-5), 0},
        {make((UInt64) ~(UInt64)0), make((UInt64)1), 1},
        {make((Byte)255), make((Byte)1), 1},
        {make(true), make(false), 1},
        {make(false), make(true), -1},
        {make(early), make(late), -1},
        {CPropVariant(L"a"), CPropVariant(L"b"), 0},
        {CPropVariant(), CPropVariant(), 0},
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.a.Compare(c.b), c.expected) << "types " << c.a.vt << " and " << c.b.vt;

    CPropVariant i2a, i2b;
    i2a.vt = i2b.vt = VT_I2;
    i2a.iVal = -2;
    i2b.iVal = 3;
    EXPECT_EQ(i2a.Compare(i2b), -1);
}
