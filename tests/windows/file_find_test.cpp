#include <gtest/gtest.h>

#include <errno.h>
#include <locale.h>

#include <set>
#include <string>

#include "windows/file_layer_fixture.h"
#include "common/StringConvert.h"
#include "windows/FileFind.h"
#include "windows/TimeUtils.h"

using namespace NWindows::NFile;
using namespace testsupport;

namespace {

using FileFindTest = FileLayerTest;

std::set<std::string> Enumerate(const UString &wildcard) {
    std::set<std::string> names;
    NFind::CEnumerator e(wildcard);
    NFind::CFileInfo fi;
    bool found;
    while (e.Next(fi, found) && found)
        names.insert((const char *)UnicodeStringToMultiByte(fi.Name));
    return names;
}

} // namespace

TEST_F(FileFindTest, AttributeWordCarriesTypeAndPosixMode) {
    ASSERT_EQ(mkdir((tmp / "d").c_str(), 0700), 0);
    ASSERT_EQ(chmod((tmp / "d").c_str(), 0755), 0);
    ASSERT_TRUE(WriteFile(tmp / "ro", "abc"));
    ASSERT_EQ(chmod((tmp / "ro").c_str(), 0444), 0);
    ASSERT_TRUE(WriteFile(tmp / "rw", "abcde"));
    ASSERT_EQ(chmod((tmp / "rw").c_str(), 0644), 0);

    NFind::CFileInfo fi;
    ASSERT_TRUE(fi.Find(P("d")));
    EXPECT_EQ(fi.Attrib, 0x41ED8010u);
    EXPECT_TRUE(fi.IsDir());
    EXPECT_EQ(fi.Size, 0u);
    ASSERT_TRUE(fi.Find(P("ro")));
    EXPECT_EQ(fi.Attrib, 0x81248021u);
    EXPECT_EQ(fi.Size, 3u);
    ASSERT_TRUE(fi.Find(P("rw")));
    EXPECT_EQ(fi.Attrib, 0x81A48020u);
    EXPECT_STREQ(fi.Name.Ptr(), L"rw");
}

TEST_F(FileFindTest, ExactLookupsOfRootsAndDrivePrefixes) {
    NFind::CFileInfo fi;
    errno = 0;
    EXPECT_FALSE(fi.Find(L"/"));
    EXPECT_EQ(errno, ERROR_NO_MORE_FILES);

    ASSERT_TRUE(fi.Find(L"/tmp/"));
    EXPECT_STREQ(fi.Name.Ptr(), L"tmp");
    EXPECT_TRUE(fi.IsDir());

    ASSERT_TRUE(WriteFile(tmp / "f", "12345"));
    NFind::CFileInfo a, b, c;
    ASSERT_TRUE(a.Find(W("c:" + tmp.Path() + "/f")));
    ASSERT_TRUE(b.Find(P("f")));
    EXPECT_EQ(a.Attrib, b.Attrib);
    EXPECT_EQ(a.Size, b.Size);
    EXPECT_EQ(NWindows::NTime::FileTimeToUInt64(a.MTime), NWindows::NTime::FileTimeToUInt64(b.MTime));
    EXPECT_FALSE(c.Find(W("C:" + tmp.Path() + "/f")));

    // Missing entry of an existing folder, and a missing folder.
    errno = 0;
    EXPECT_FALSE(fi.Find(P("nothing")));
    EXPECT_EQ(errno, ERROR_NO_MORE_FILES);
    errno = 0;
    EXPECT_FALSE(fi.Find(P("nodir/x")));
    EXPECT_EQ(errno, ENOENT);
    errno = 0;
    EXPECT_FALSE(fi.Find(L""));
    EXPECT_EQ(errno, ENOENT);
}

TEST_F(FileFindTest, WildcardsInTheLastNamePreferTheExactEntryThenTheFirstMatch) {
    ASSERT_TRUE(WriteFile(tmp / "axb", "1"));
    ASSERT_TRUE(WriteFile(tmp / "a?b", "22"));
    ASSERT_TRUE(WriteFile(tmp / "a*b", "333"));

    NFind::CFileInfo fi;
    ASSERT_TRUE(fi.Find(P("a?b")));
    EXPECT_STREQ(fi.Name.Ptr(), L"a?b");
    EXPECT_EQ(fi.Size, 2u);
    ASSERT_TRUE(fi.Find(P("a*b")));
    EXPECT_STREQ(fi.Name.Ptr(), L"a*b");
    EXPECT_EQ(fi.Size, 3u);

    // Without an entry of that exact name, the mask finds the first match.
    ASSERT_EQ(unlink((tmp / "a?b").c_str()), 0);
    ASSERT_TRUE(fi.Find(P("a?b")));
    EXPECT_TRUE(fi.Name == L"axb" || fi.Name == L"a*b");
    EXPECT_TRUE(NFind::DoesFileExist(P("a?b")));
    EXPECT_TRUE(NFind::DoesFileOrDirExist(P("a*")));
    EXPECT_FALSE(NFind::DoesDirExist(P("a*")));
    errno = 0;
    EXPECT_FALSE(fi.Find(P("b*")));
    EXPECT_EQ(errno, ERROR_NO_MORE_FILES);

    // A folder found through a mask, also with a trailing slash; masks before the last name stay literal.
    ASSERT_EQ(mkdir((tmp / "sub").c_str(), 0755), 0);
    ASSERT_TRUE(WriteFile(tmp / "sub/in", "x"));
    EXPECT_TRUE(NFind::DoesDirExist(P("s?b")));
    ASSERT_TRUE(fi.Find(P("su*/")));
    EXPECT_STREQ(fi.Name.Ptr(), L"sub");
    EXPECT_FALSE(NFind::DoesFileExist(P("s*/in")));
    EXPECT_TRUE(NFind::DoesFileExist(P("sub/i?")));

    // A search pattern still matches masks.
    EXPECT_EQ(Enumerate(P("a*")), (std::set<std::string>{"axb", "a*b"}));
    EXPECT_EQ(Enumerate(P("a?b")), (std::set<std::string>{"axb", "a*b"}));
    EXPECT_EQ(Enumerate(P("*")), (std::set<std::string>{"axb", "a*b", "sub"}));
    EXPECT_EQ(Enumerate(P("b*")), std::set<std::string>{});
}

TEST_F(FileFindTest, ManyStarsDoNotBacktrackExponentially) {
    const std::string name(200, 'a');
    ASSERT_TRUE(WriteFile(tmp / name, ""));
    std::string mask;
    for (int i = 0; i < 40; i++)
        mask += "*a";
    mask += "*b";
    NFind::CFindFile ff;
    NFind::CFileInfo fi;
    errno = 0;
    EXPECT_FALSE(ff.FindFirst(P(mask), fi));
    EXPECT_EQ(errno, ERROR_NO_MORE_FILES);
}

TEST_F(FileFindTest, SymbolicLinksAreDescribedAsLinksUnlessFollowed) {
    ASSERT_EQ(mkdir((tmp / "dir").c_str(), 0755), 0);
    ASSERT_TRUE(WriteFile(tmp / "dir/inner", "inner"));
    ASSERT_EQ(symlink("dir", (tmp / "dirlink").c_str()), 0);
    ASSERT_EQ(symlink("missing-target", (tmp / "dangling").c_str()), 0);

    // A link to a folder is an existing non-folder.
    EXPECT_FALSE(NFind::DoesDirExist(P("dirlink")));
    EXPECT_TRUE(NFind::DoesFileExist(P("dirlink")));
    NFind::CFileInfo fi;
    ASSERT_TRUE(fi.Find(P("dirlink")));
    EXPECT_EQ(fi.Attrib & 0xF0000000u, 0xA0000000u);
    EXPECT_EQ(fi.Attrib & 0xFFFFu, 0x8020u);
    EXPECT_EQ(fi.Size, 3u); // the length of "dir"
    ASSERT_TRUE(fi.Find(P("dirlink"), true));
    EXPECT_TRUE(fi.IsDir());

    // Dangling: present as a link, absent when followed.
    EXPECT_TRUE(NFind::DoesFileExist(P("dangling")));
    EXPECT_FALSE(fi.Find(P("dangling"), true));

    // A link inside a path is simply walked through.
    ASSERT_TRUE(fi.Find(P("dirlink/inner")));
    EXPECT_EQ(fi.Size, 5u);
    EXPECT_EQ(Enumerate(P("dirlink/*")), std::set<std::string>{"inner"});

    // With look-ups told to follow, the global flag off makes links look like their targets.
    global_use_lstat = 0;
    EXPECT_TRUE(NFind::DoesDirExist(P("dirlink")));
    EXPECT_FALSE(NFind::DoesFileOrDirExist(P("dangling")));
}

TEST_F(FileFindTest, EnumeratorSkipsDotsAndEndsCleanly) {
    ASSERT_EQ(mkdir((tmp / "empty").c_str(), 0755), 0);
    NFind::CEnumerator e(P("empty/*"));
    NFind::CFileInfo fi;
    bool found = true;
    EXPECT_TRUE(e.Next(fi, found));
    EXPECT_FALSE(found);

    NFind::CEnumerator missing(P("nope/*"));
    errno = 0;
    EXPECT_FALSE(missing.Next(fi, found));
    EXPECT_EQ(errno, ENOENT);

    NFind::CFindFile ff;
    errno = 0;
    EXPECT_FALSE(ff.FindNext(fi));
    EXPECT_EQ(errno, EBADF);

    // FindFirst sees the dots, the enumerator never does.
    ASSERT_TRUE(ff.FindFirst(P("empty/.*"), fi));
    EXPECT_TRUE(fi.IsDots());
}

TEST_F(FileFindTest, UndecodableNamesAreFoundUnderTheirByteForm) {
    ASSERT_NE(setlocale(LC_ALL, "C.UTF-8"), nullptr);
    global_use_utf16_conversion = 1;
    // "caf\xE9" is Latin-1, not UTF-8; the folder name is not UTF-8 either.
    ASSERT_EQ(mkdir((tmp / "d\xFF").c_str(), 0755), 0);
    ASSERT_TRUE(WriteFile(tmp / "d\xFF/caf\xE9", "latin"));
    ASSERT_TRUE(WriteFile(tmp / "d\xFF/\xC3\xA9t\xC3\xA9", "utf8"));

    NFind::CEnumerator e(W(tmp.Path()) + L"/d\u00FF/*");
    NFind::CFileInfo fi;
    std::set<std::wstring> names;
    bool found;
    while (e.Next(fi, found) && found)
        names.insert(fi.Name.Ptr());
    EXPECT_EQ(names, (std::set<std::wstring>{L"caf\u00E9", L"\u00E9t\u00E9"}));

    ASSERT_TRUE(fi.Find(W(tmp.Path()) + L"/d\u00FF/caf\u00E9"));
    EXPECT_EQ(fi.Size, 5u);
    EXPECT_STREQ(fi.Name.Ptr(), L"caf\u00E9");
    EXPECT_TRUE(NFind::DoesDirExist(W(tmp.Path()) + L"/d\u00FF"));
    setlocale(LC_ALL, "C");
}

TEST_F(FileFindTest, TimesBefore1970AndAfter2106AreKept) {
    ASSERT_TRUE(WriteFile(tmp / "old", "x"));
    struct timespec ts[2] = {{-14182940, 0}, {-14182940, 0}}; // 1969-07-20 20:17:40 UTC
    ASSERT_EQ(utimensat(AT_FDCWD, (tmp / "old").c_str(), ts, 0), 0);
    NFind::CFileInfo fi;
    ASSERT_TRUE(fi.Find(P("old")));
    EXPECT_EQ(NWindows::NTime::FileTimeToUnixTime64(fi.MTime), -14182940);
    EXPECT_EQ(NWindows::NTime::FileTimeToUnixTime64(fi.ATime), -14182940);

    const Int64 late = ((Int64)1 << 32) + 1000; // 2106-02-07
    ts[0].tv_sec = ts[1].tv_sec = (time_t)late;
    if (utimensat(AT_FDCWD, (tmp / "old").c_str(), ts, 0) == 0) {
        struct stat st;
        ASSERT_EQ(stat((tmp / "old").c_str(), &st), 0);
        if (st.st_mtime == late) { // the file system can hold it
            ASSERT_TRUE(fi.Find(P("old")));
            EXPECT_EQ(NWindows::NTime::FileTimeToUnixTime64(fi.MTime), late);
        }
    }
}

TEST_F(FileFindTest, LongPathsAreFoundAndOverlongOnesFailWithoutThrowing) {
    // 600 levels of "dd": 1,800 characters, well within what the system takes.
    std::string deep;
    for (int i = 0; i < 600; i++)
        deep += i ? "/dd" : "dd";
    ASSERT_EQ(system(("mkdir -p '" + (tmp / deep) + "' && touch '" + (tmp / deep) + "/leaf'").c_str()), 0);
    NFind::CFileInfo fi;
    ASSERT_TRUE(fi.Find(P(deep + "/leaf")));
    EXPECT_STREQ(fi.Name.Ptr(), L"leaf");
    EXPECT_TRUE(NFind::DoesDirExist(P(deep)));
    EXPECT_EQ(Enumerate(P(deep + "/*")), std::set<std::string>{"leaf"});

    const struct {
        const char *name;
        std::string path;
    } overlong[] = {{"name beyond the name limit", std::string(1100, 'n')},
                    {"path beyond the path limit", deep + "/" + deep + "/" + deep + "/leaf"}};
    for (const auto &c : overlong) {
        SCOPED_TRACE(c.name);
        errno = 0;
        EXPECT_FALSE(fi.Find(P(c.path)));
        EXPECT_EQ(errno, ENAMETOOLONG);
    }
}
