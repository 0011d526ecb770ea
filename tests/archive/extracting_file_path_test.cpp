#include <gtest/gtest.h>

#include "archive/ui-common/ExtractingFilePath.h"
#include "common/Wildcard.h"
#include "test_support.h"

using testsupport::Bracketed;

namespace {

UStringVector Parts(std::initializer_list<const wchar_t *> list) {
    UStringVector v;
    for (const wchar_t *s : list)
        v.Add(UString(s));
    return v;
}

TEST(ExtractingFilePath, FileNameCorrectionMakesOneUsableName) {
    const struct {
        const wchar_t *in, *out;
    } cases[] = {
        {L"", L"_"},
        {L".", L"_"},
        {L"..", L"_"},
        {L"...", L"..."},
        {L"a.txt", L"a.txt"},
        // A name from an archive never names another folder.
        {L"../x", L".._x"},
        {L"/etc/passwd", L"_etc_passwd"},
    };
    for (const auto &c : cases)
        EXPECT_STREQ(Get_Correct_FsFile_Name(c.in).Ptr(), c.out) << c.in;
}

TEST(ExtractingFilePath, AltStreamNameKeepsDataSuffixOnly) {
    const struct {
        const wchar_t *in, *out;
    } cases[] = {
        {L"a:b", L"a_b"},      {L"Zone:$DATA", L"Zone:$DATA"}, {L":$DATA", L":$DATA"},       {L"", L"_"},
        {L"a/b\\c", L"a_b_c"}, {L"x\x202Etxt", L"x_txt"},      {L"a:b:$data", L"a_b:$data"},
    };
    for (const auto &c : cases) {
        UString s(c.in);
        Correct_AltStream_Name(s);
        EXPECT_STREQ(s.Ptr(), c.out) << c.in;
    }
}

TEST(ExtractingFilePath, FsPathCorrectionDropsDotsAndEmptyParts) {
    const struct {
        std::initializer_list<const wchar_t *> in;
        bool absAllowed, isDir;
        const wchar_t *out;
    } cases[] = {
        {{L"", L"etc", L"x"}, true, false, L"[][etc][x]"},
        {{L"", L"etc", L"x"}, false, false, L"[etc][x]"},
        {{L"..", L"x"}, false, false, L"[x]"},
        {{L"a", L".."}, false, false, L"[a][_]"},
        {{L"a", L".."}, false, true, L"[a]"},
        {{}, false, false, L"[_]"},
        {{}, false, true, L""},
        {{L"a", L"", L".", L"b"}, false, false, L"[a][b]"},
    };
    for (const auto &c : cases) {
        UStringVector parts = Parts(c.in);
        Correct_FsPath(c.absAllowed, parts, c.isDir);
        EXPECT_EQ(Bracketed(parts), c.out);
    }
}

TEST(ExtractingFilePath, MakePathFromPartsJoinsWithSlashes) {
    EXPECT_STREQ(MakePathFromParts(Parts({})).Ptr(), L"");
    EXPECT_STREQ(MakePathFromParts(Parts({L"a"})).Ptr(), L"a");
    EXPECT_STREQ(MakePathFromParts(Parts({L"", L"a", L"b"})).Ptr(), L"/a/b");
}

TEST(ExtractingFilePath, SafePathStaysStrictlyBelowItsFolder) {
    const struct {
        const wchar_t *path;
        bool safe;
    } cases[] = {
        {L"a/b", true},
        {L"a/../b", true},
        {L"a//b/./", true},
        {L"a/..", false},
        {L"../a", false},
        {L"/a", false},
        {L"", false},
        {L"./", false},
        {L"a/../..", false},
        // The path layer resolves a drive form from the root.
        {L"c:/etc/passwd", false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(IsSafePath(c.path), c.safe) << c.path;
}

} // namespace
