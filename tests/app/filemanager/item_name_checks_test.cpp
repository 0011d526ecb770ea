// The checks on names made before an item is opened: disguised names and the extensions that are
// started with their program.
#include <gtest/gtest.h>

#include <string>

#include "ItemNameChecks.h"

namespace {

const wchar_t kFull[] = L"此文件似乎是病毒文件(文件名中包含多个空格)。\n";
const wchar_t kMarkOnly[] = L"此文件似乎是病毒文件。\n";

UString Expected(const wchar_t *head, const wchar_t *cleaned, const wchar_t *shown) {
    UString s(head);
    s += cleaned;
    s += L'\n';
    s += shown;
    return s;
}

} // namespace

TEST(SuspiciousName, OrdinaryNamesPass) {
    for (const wchar_t *name : {L"report.pdf", L"a b c.txt", L"four    spaces.txt", L"", L"\x202D.txt"}) {
        UString message(L"untouched");
        EXPECT_FALSE(GetSuspiciousNameMessage(name, message)) << UString(name).Len();
        EXPECT_EQ(std::wstring(message.Ptr()), L"untouched");
    }
}

TEST(SuspiciousName, MarksAndRunsOfSpacesAreShownCleaned) {
    struct CCase {
        const wchar_t *name, *head, *cleaned, *shown;
    } cases[] = {
        {L"photo\x202Egpj.exe", kMarkOnly, L"photo[RLO]gpj.exe", L"photo\x202Egpj.exe"},
        {L"a.txt     .exe", kFull, L"a.txt .exe", L"a.txt     .exe"},
        // Nine spaces: five become one, which leaves five, which become one again.
        {L"a.txt         .exe", kFull, L"a.txt .exe", L"a.txt         .exe"},
        {L"x\x202E      y", kFull, L"x[RLO]  y", L"x\x202E      y"},
        {L"line\nbreak     .exe", kFull, L"line_break .exe", L"line_break     .exe"},
    };
    for (const CCase &c : cases) {
        UString message;
        ASSERT_TRUE(GetSuspiciousNameMessage(c.name, message));
        EXPECT_EQ(std::wstring(message.Ptr()), std::wstring(Expected(c.head, c.cleaned, c.shown).Ptr()));
    }
}

TEST(StartExtensions, MatchWholeExtensionsWithoutRegardToCase) {
    struct CCase {
        const wchar_t *name;
        bool found;
    } cases[] = {
        {L"setup.exe", true}, {L"REPORT.PDF", true},  {L"a.b.docx", true},    {L"x.wb3", true},
        {L"a.zip", false},    {L"a.ex", false},       {L"a.doc x", false},    {L"a.", false},
        {L"exe", false},      {L"a.\x00E9xe", false}, {L"a.Do\x0441", false},
    };
    for (const CCase &c : cases)
        EXPECT_EQ(FindExt(kStartExtensions, c.name), c.found) << (int)c.found;
    // A list without the outer blanks still matches its first and last words.
    EXPECT_TRUE(FindExt("zip tar", L"a.zip"));
    EXPECT_TRUE(FindExt("zip tar", L"a.TAR"));
}
