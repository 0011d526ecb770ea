// The order of names in the file list: numbers by value, letters without case.
#include <gtest/gtest.h>

#include <locale.h>

#include "common/FolderListCompare.h"

namespace {

struct CCase {
    const wchar_t *a;
    const wchar_t *b;
    int expected;
};

} // namespace

TEST(FolderListCompare, OrdersNamesNaturally) {
    setlocale(LC_ALL, "C.UTF-8");
    const CCase cases[] = {
        {L"file2", L"file10", -1},
        {L"file10", L"file2", 1},
        {L"file007", L"file7", 0}, // leading zeros do not count
        {L"file007", L"file8", -1},
        {L"a99999999999999999999999", L"a100000000000000000000000", -1}, // longer than any integer
        {L"abc", L"ABC", 0},
        {L"abc", L"abd", -1},
        {L"ab", L"abc", -1}, // the end sorts first
        {L"", L"a", -1},
        {L"", L"", 0},
        {L"x1y2", L"x1y10", -1},                 // the walk goes on after a number
        {L"1a", L"a", -1},                       // '1' before 'A'
        {L"\u00e9t\u00e9", L"\u00c9T\u00c9", 0}, // above 127 through towupper
        {L"a_b", L"a-b", 1},
    };
    for (const CCase &c : cases)
        EXPECT_EQ(CompareFileNames_ForFolderList(c.a, c.b), c.expected) << (const void *)c.a;
}
