#include <gtest/gtest.h>
#include <locale.h>

#include "common/MyString.h"

TEST(StringGrowth, DefaultCapacityThenGrowsByHalfOrFifteen)
{
    AString s;
    EXPECT_EQ(s.Capacity(), 3u);
    s.Add_Space();
    s.Add_Space();
    s.Add_Space();
    EXPECT_EQ(s.Capacity(), 3u);
    s.Add_Space();
    EXPECT_EQ(s.Capacity(), 15u);

    UString u;
    for (int i = 0; i < 100; i++)
        u += L'x';
    const unsigned cap = u.Capacity();
    u.GetBuf(100); // no shrink
    UString w(u); // copy: exact
    EXPECT_EQ(w.Capacity(), 100u);
    w += L"0123456789"; // (110 + 55) | 15
    EXPECT_EQ(w.Capacity(), 175u);
    EXPECT_GE(cap, 100u);
}

TEST(StringGrowth, AssignmentReusesOrReallocatesExactly)
{
    UString s(L"abcdefgh");
    s = L"ab";
    EXPECT_EQ(s.Capacity(), 8u);
    EXPECT_EQ(s, L"ab");
    s = L"0123456789abc";
    EXPECT_EQ(s.Capacity(), 13u);
    s = s; // self-assignment
    EXPECT_EQ(s, L"0123456789abc");
    UString sum = UString(L"abc") + L"de";
    EXPECT_EQ(sum.Capacity(), 5u);
}

TEST(StringGrowth, CapacityLimitThrowsItsCode)
{
    AString a("x");
    try {
        a.GetBuf(0x40000000);
        FAIL();
    } catch (UInt32 e) {
        EXPECT_EQ(e, 20130220u);
    }
    UString u(L"x");
    try {
        u.GetBuf(0x40000000);
        FAIL();
    } catch (UInt32 e) {
        EXPECT_EQ(e, 20130221u);
    }
}

TEST(StringEdit, ReplaceNeverRescansInsertedText)
{
    UString s(L"aaa");
    s.Replace(UString(L"a"), UString(L"aa"));
    EXPECT_EQ(s, L"aaaaaa");
    UString t(L"a.b.c");
    t.Replace(UString(L"."), UString(L""));
    EXPECT_EQ(t, L"abc");
    t.Replace(UString(L""), UString(L"x"));
    EXPECT_EQ(t, L"abc");
}

TEST(StringEdit, TrimDeleteInsertRemove)
{
    struct {
        const wchar_t *in, *left;
    } trims[] = {{L"\r\n x", L"\r\n x"}, {L"\t\n x", L"x"}, {L"   ", L""}};
    for (auto &c : trims) {
        UString s(c.in);
        s.TrimLeft();
        EXPECT_EQ(s, c.left) << (const wchar_t *)c.in;
    }
    UString r(L"x \t\n\r \n");
    r.TrimRight();
    EXPECT_EQ(r, L"x \t\n\r");

    AString d("abcdef");
    d.Delete(2, 100);
    EXPECT_EQ(d, "ab");
    d.Delete(5, 1);
    EXPECT_EQ(d, "ab");

    UString ins(L"ad");
    ins.Insert(1, L"bc");
    ins.InsertAtFront(L'_');
    ins.Insert(0, L"");
    EXPECT_EQ(ins, L"_abcd");
    ins.RemoveChar(L'b');
    EXPECT_EQ(ins, L"_acd");
    ins += ins; // appending itself
    EXPECT_EQ(ins, L"_acd_acd");
    ins.DeleteFrontal(4);
    EXPECT_EQ(ins, L"_acd");
}

TEST(StringSearch, FindAndReverseFind)
{
    EXPECT_EQ(FindCharPosInString("abc", '\0'), 3);
    EXPECT_EQ(FindCharPosInString(L"abc", L'c'), 2);
    EXPECT_EQ(FindCharPosInString(L"abc", L'z'), -1);
    UString s(L"a/b/c");
    EXPECT_EQ(s.ReverseFind_PathSepar(), 3);
    EXPECT_EQ(UString().ReverseFind(L'a'), -1);
    EXPECT_EQ(s.Find(L"b/"), 2);
    EXPECT_EQ(s.Find(L"/", 2), 3);
    EXPECT_EQ(s.Find(L"x"), -1);
    EXPECT_TRUE(UString(L"TarNova").IsPrefixedBy_Ascii_NoCase("tarn"));
    EXPECT_FALSE(UString(L"Ta").IsPrefixedBy_Ascii_NoCase("tar"));
}

TEST(StringConversionsInPlace, FromAsciiBstrAndWideIfAscii)
{
    AString a("keep");
    a.SetFromWStr_if_Ascii(L"caf\u00e9");
    EXPECT_EQ(a, "keep");
    a.SetFromWStr_if_Ascii(L"cafe");
    EXPECT_EQ(a, "cafe");

    UString u;
    u.SetFromAscii("\xe9x");
    EXPECT_EQ(u[0], 0xE9);
    EXPECT_EQ(u.Len(), 2u);
    u.AddAscii("\xff");
    EXPECT_EQ(u[2], 0xFF);

    AString c;
    c.SetFrom_CalcLen("ab\0cd", 5);
    EXPECT_EQ(c.Len(), 2u);

    // A BSTR carries its byte length in front of the text.
    struct {
        UInt32 len;
        wchar_t text[4];
    } bstr = {8, {L'h', L'i', L'!', 0}};
    u.SetFromBstr(bstr.text);
    EXPECT_EQ(u, L"hi");
    u.SetFromBstr(nullptr);
    EXPECT_TRUE(u.IsEmpty());
}

TEST(StringCompare, FoldsAsciiAndLocaleAbove127)
{
    ASSERT_NE(setlocale(LC_ALL, "C.UTF-8"), nullptr);
    EXPECT_EQ(MyStringCompareNoCase(L"abc", L"ABD"), -1);
    EXPECT_EQ(MyStringCompareNoCase(L"ab", L"AB"), 0);
    EXPECT_EQ(MyStringCompareNoCase(L"[", L"a"), 1);
    EXPECT_EQ(MyStringCompareNoCase(L"ab", L"abc"), -1);
    // Above 127 the locale's towupper decides: e-acute and Cyrillic fold, CJK compares exactly.
    EXPECT_TRUE(StringsAreEqualNoCase(L"caf\u00e9", L"CAF\u00c9"));
    EXPECT_TRUE(StringsAreEqualNoCase(L"\u0434\u043e\u043c", L"\u0414\u041e\u041c"));
    EXPECT_TRUE(IsString1PrefixedByString2_NoCase(L"\u00e9t\u00e9", L"\u00c9T"));
    EXPECT_FALSE(StringsAreEqualNoCase(L"\u4e2d", L"\u4e2e"));
    // The ASCII-only fold never folds above 127.
    EXPECT_FALSE(StringsAreEqualNoCase_Ascii(L"\u00e9", L"\u00c9"));
    EXPECT_FALSE(StringsAreEqualNoCase_Ascii(L"\u00e9", "\xc9"));
    EXPECT_TRUE(StringsAreEqualNoCase_Ascii(L"ReadMe", "README"));
    EXPECT_TRUE(StringsAreEqualNoCase_Ascii("ReadMe", "readme"));
    EXPECT_TRUE(StringsAreEqual_Ascii(L"\u00e9", "\xe9"));
    wchar_t low[] = L"AbC\u00c9";
    MyStringLower_Ascii(low);
    EXPECT_STREQ(low, L"abc\u00c9");
}

TEST(UString2, CompactStringWithoutBufferUntilAssigned)
{
    UString2 empty;
    EXPECT_EQ(empty.GetRawPtr(), nullptr);
    UString2 copy(empty);
    EXPECT_EQ(copy.GetRawPtr(), nullptr);
    EXPECT_TRUE(empty == L"");
    UString2 s(L"abc");
    EXPECT_TRUE(s == L"abc");
    EXPECT_FALSE(s == L"ab");
    s = L"x";
    EXPECT_TRUE(s == UString2(L"x"));
    s.SetFromAscii("\xe9");
    EXPECT_EQ(((const wchar_t *)s)[0], 0xE9);
}

static int CompareInts(const int *a, const int *b, void *ctx)
{
    ++*(int *)ctx;
    return *a < *b ? -1 : (*a > *b ? 1 : 0);
}

TEST(Vectors, GrowthCopyAndSort)
{
    CRecordVector<int> v;
    v.Reserve(4);
    for (int i = 0; i < 4; i++)
        v.Add(4 - i);
    EXPECT_EQ(v.Capacity(), 4u);
    v.Add(0);
    EXPECT_EQ(v.Capacity(), 6u);
    CRecordVector<int> copy(v);
    EXPECT_EQ(copy.Capacity(), 5u);
    int calls = 0;
    v.Sort(CompareInts, &calls);
    EXPECT_GT(calls, 0);
    for (unsigned i = 0; i < v.Size(); i++)
        EXPECT_EQ(v[i], (int)i);
    v.Insert(0, 7);
    v.Delete(1);
    v.DeleteFrontal(1);
    EXPECT_EQ(v.Size(), 4u);
    EXPECT_EQ(v[0], 1);
    v.ClearAndSetSize(10);
    EXPECT_EQ(v.Size(), 10u);
    EXPECT_EQ(v.Capacity(), 10u);
}

struct CCounted {
    static int alive;
    int value;
    CCounted(int v = 0) : value(v) { alive++; }
    CCounted(const CCounted &o) : value(o.value) { alive++; }
    ~CCounted() { alive--; }
    int Compare(const CCounted &o) const { return value < o.value ? -1 : (value > o.value ? 1 : 0); }
};
int CCounted::alive = 0;

TEST(Vectors, ObjectVectorOwnsDeepCopies)
{
    {
        CObjectVector<CCounted> v;
        for (int i = 5; i > 0; i--)
            v.Add(CCounted(i));
        EXPECT_EQ(CCounted::alive, 5);
        CObjectVector<CCounted> w(v);
        EXPECT_EQ(CCounted::alive, 10);
        w[0].value = 100;
        EXPECT_EQ(v[0].value, 5);
        w = w;
        EXPECT_EQ(w.Size(), 5u);
        v.Sort();
        EXPECT_EQ(v[0].value, 1);
        EXPECT_EQ(v.Back().value, 5);
        v.Delete(0);
        v.DeleteFrom(2);
        EXPECT_EQ(CCounted::alive, 7);
        UStringVector names;
        names.Add(UString(L"b"));
        names.Add(UString(L"a"));
        names.Sort();
        EXPECT_EQ(names[0], L"a");
    }
    EXPECT_EQ(CCounted::alive, 0);
}
