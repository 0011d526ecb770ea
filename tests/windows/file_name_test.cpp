#include <gtest/gtest.h>

#include <string>

#include "test_support.h"
#include "windows/FileDir.h"
#include "windows/FileName.h"

using namespace NWindows::NFile;
using testsupport::W;

TEST(FullPath, ResolvesDotsByTheRulesOfTheTable) {
    struct {
        const wchar_t *prefix;
        const wchar_t *path;
        bool ok;
        const wchar_t *expected;
    } cases[] = {
        {L"c:/home/u/", L"x/../y", true, L"c:/home/u/y"},
        {L"c:/home/u", L"x/../y", true, L"c:/home/u/y"}, // prefix without its '/'
        {nullptr, L"/a/./b/../c", true, L"/a/c"},
        {nullptr, L"/a/b", true, L"/a/b"},
        {nullptr, L"/a/b/../c/", true, L"/a/c/"},
        {nullptr, L"c:/x/../y", true, L"c:/y"},
        {nullptr, L"/..", true, L"/.."}, // above the root: left as given
        {nullptr, L"/a/../../b", true, L"/a/../../b"},
        {nullptr, L"/a..b/.c", true, L"/a..b/.c"}, // dots inside names are not components
        {L"c:/", L"..", false, nullptr},
        {L"/", L"..", false, nullptr},
        {L"/home/", L"../../x", false, nullptr},
        {L"c:/h/", L"a/b/../../c", true, L"c:/h/c"},
        {L"c:/h/", L"a/b/../../../../c", false, nullptr},
        {L"c:/h/", L"./b", true, L"c:/h/b"},
        {L"c:/h/", L"a/.", true, L"c:/h/a"},
        {L"c:/h/", L"a/..", true, L"c:/h"},
        {L"c:/h/", L"", true, L"c:/h/"},
    };
    for (const auto &c : cases) {
        UString res;
        const bool ok = NName::GetFullPath(c.prefix, c.path, res);
        SCOPED_TRACE(testing::Message() << (c.prefix ? c.prefix : L"(none)") << " + " << c.path);
        EXPECT_EQ(ok, c.ok);
        if (c.ok && ok) {
            EXPECT_STREQ(res.Ptr(), c.expected);
        }
    }
}

TEST(FullPath, RelativePathIsJoinedToTheCurrentFolderWithDrivePrefix) {
    testsupport::TempFolder tmp;
    ASSERT_TRUE(tmp.Ok());
    char old[4096];
    ASSERT_NE(getcwd(old, sizeof(old)), nullptr);
    ASSERT_TRUE(NDir::SetCurrentDir(W(tmp.Path())));

    UString res;
    EXPECT_TRUE(NName::GetFullPath(L"x/../y", res));
    EXPECT_EQ(res, W("c:" + tmp.Path() + "/y"));

    UString cur;
    EXPECT_TRUE(NDir::GetCurrentDir(cur));
    EXPECT_EQ(cur, W("c:" + tmp.Path()));

    UString dirPrefix, name;
    EXPECT_TRUE(NDir::GetFullPathAndSplit(L"sub/file.txt", dirPrefix, name));
    EXPECT_EQ(dirPrefix, W("c:" + tmp.Path() + "/sub/"));
    EXPECT_STREQ(name.Ptr(), L"file.txt");

    wchar_t buf[4096];
    wchar_t *filePart = nullptr;
    const DWORD len = GetFullPathNameW(L"f.txt", 4096, buf, &filePart);
    EXPECT_EQ(UString(buf), W("c:" + tmp.Path() + "/f.txt"));
    EXPECT_EQ(len, UString(buf).Len());
    EXPECT_STREQ(filePart, L"f.txt");
    EXPECT_EQ(GetFullPathNameW(L"/abc", 6, buf, &filePart), 0u); // "c:/abc" and NUL need 7
    EXPECT_EQ(GetFullPathNameW(L"/abc", 7, buf, &filePart), 6u);

    ASSERT_EQ(chdir(old), 0);
}

TEST(FileNames, RootsSeparatorsAndDirPrefixes) {
    EXPECT_TRUE(NName::IsDrivePath(L"c:/x"));
    EXPECT_TRUE(NName::IsDrivePath(L"Z:/"));
    EXPECT_FALSE(NName::IsDrivePath(L"c:x"));
    EXPECT_FALSE(NName::IsAbsolutePath(L"c:/x"));
    EXPECT_TRUE(NName::IsAbsolutePath(L"/x"));
    EXPECT_EQ(NName::GetRootPrefixSize(L"c:/x"), 3u);
    EXPECT_EQ(NName::GetRootPrefixSize(L"/x"), 1u);
    EXPECT_EQ(NName::GetRootPrefixSize(L"x/y"), 0u);
    EXPECT_EQ(NName::FindSepar(L"ab/c"), 2);
    EXPECT_EQ(NName::FindSepar(L"abc"), -1);

    struct {
        const wchar_t *in, *out;
    } dirs[] = {{L"", L""}, {L"/a/", L"/a/"}, {L"/a", L"/a/"}};
    for (const auto &d : dirs) {
        UString s = d.in;
        NName::NormalizeDirPathPrefix(s);
        EXPECT_STREQ(s.Ptr(), d.out);
    }
}

TEST(FileNames, OnlyLowerCaseDrivePrefixIsDroppedForTheSystem) {
    EXPECT_STREQ(NName::GetOsPath(L"c:/etc/hosts").Ptr(), "/etc/hosts");
    EXPECT_STREQ(NName::GetOsPath(L"/etc/hosts").Ptr(), "/etc/hosts");
    EXPECT_STREQ(NName::GetOsPath(L"C:/etc/hosts").Ptr(), "C:/etc/hosts");
    EXPECT_STREQ(NName::GetOsPath(L"d:/x").Ptr(), "d:/x");
    EXPECT_STREQ(NName::GetOsPath(L"a/c:/x").Ptr(), "a/c:/x");
}
