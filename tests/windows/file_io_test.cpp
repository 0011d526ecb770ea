#include <gtest/gtest.h>

#include <errno.h>
#include <locale.h>

#include <string>

#include "windows/file_layer_fixture.h"
#include "common/StringConvert.h"
#include "windows/FileFind.h"
#include "windows/FileIO.h"
#include "windows/TimeUtils.h"

using namespace NWindows::NFile;
using namespace testsupport;

namespace {

using FileIOTest = FileLayerTest;

std::string ReadAll(NIO::CInFile &f) {
    std::string res;
    char buf[7]; // small on purpose: several reads per file
    for (;;) {
        UInt32 n = 0;
        if (!f.Read(buf, sizeof(buf), n)) return "<error>";
        if (n == 0) return res;
        res.append(buf, n);
    }
}

FILETIME FromUnix(Int64 seconds) {
    FILETIME ft;
    NWindows::NTime::UInt64ToFileTime((UInt64)(seconds + 11644473600LL) * 10000000u, ft);
    return ft;
}

} // namespace

TEST_F(FileIOTest, WriteReadSeekAndLength) {
    NIO::COutFile out;
    ASSERT_TRUE(out.Create(P("f"), false));
    UInt32 n = 0;
    ASSERT_TRUE(out.Write("hello world", 11, n));
    EXPECT_EQ(n, 11u);
    UInt64 len = 0, pos = 0;
    ASSERT_TRUE(out.GetLength(len));
    EXPECT_EQ(len, 11u);
    ASSERT_TRUE(out.SetLength(5));
    ASSERT_TRUE(out.Close());
    EXPECT_EQ(ReadFile(tmp / "f"), "hello");

    NIO::CInFile in;
    ASSERT_TRUE(in.Open(P("f")));
    ASSERT_TRUE(in.Seek(-2, 2, pos));
    EXPECT_EQ(pos, 3u);
    EXPECT_EQ(ReadAll(in), "lo");
    ASSERT_TRUE(in.Seek((UInt64)0, pos));
    EXPECT_EQ(ReadAll(in), "hello");
    EXPECT_TRUE(in.Read(nullptr, 0, n));
    EXPECT_EQ(n, 0u);
}

TEST_F(FileIOTest, ClosedHandleReportsBadDescriptor) {
    NIO::COutFile out;
    UInt32 n = 1;
    UInt64 v;
    errno = 0;
    EXPECT_FALSE(out.Write("x", 1, n));
    EXPECT_EQ(errno, EBADF);
    EXPECT_EQ(n, 0u);
    errno = 0;
    EXPECT_FALSE(out.GetLength(v));
    EXPECT_EQ(errno, EBADF);
    errno = 0;
    EXPECT_FALSE(out.SetMTime(nullptr));
    EXPECT_EQ(errno, EBADF);
    EXPECT_TRUE(out.Close());
    NIO::CInFile in;
    errno = 0;
    EXPECT_FALSE(in.Read(&v, 1, n));
    EXPECT_EQ(errno, EBADF);
    errno = 0;
    EXPECT_FALSE(in.Open(P("missing")));
    EXPECT_EQ(errno, ENOENT);
    EXPECT_FALSE(in.IsOpen());
}

// A close that fails still releases the handle: the number may already belong to another file.
TEST_F(FileIOTest, FailedCloseStillReleasesTheDescriptor) {
    struct PeekFile : NIO::COutFile {
        int Fd() const { return _fd; }
    } out;
    ASSERT_TRUE(out.Create(P("a"), false));
    const int fd = out.Fd();
    ASSERT_EQ(close(fd), 0); // the descriptor goes behind the handle's back
    errno = 0;
    EXPECT_FALSE(out.Close());
    EXPECT_EQ(errno, EBADF);
    EXPECT_FALSE(out.IsOpen());

    const int other = open((tmp / "a").c_str(), O_RDONLY);
    ASSERT_EQ(other, fd); // the lowest free number comes back
    EXPECT_TRUE(out.Close());
    EXPECT_EQ(fcntl(other, F_GETFD), 0) << "the other file's descriptor was closed";
    close(other);
}

TEST_F(FileIOTest, DispositionsCreateReplaceAndRefuse) {
    ASSERT_TRUE(WriteFile(tmp / "long", "0123456789"));
    NIO::COutFile out;
    UInt32 n;
    // Create-always replaces the whole file: no old tail survives.
    ASSERT_TRUE(out.Create(P("long"), true));
    ASSERT_TRUE(out.Write("abc", 3, n));
    ASSERT_TRUE(out.Close());
    EXPECT_EQ(ReadFile(tmp / "long"), "abc");

    // Create-new (under both names) fails on an existing file.
    errno = 0;
    EXPECT_FALSE(out.CreateAlways(P("long"), 0));
    EXPECT_EQ(errno, EEXIST);
    errno = 0;
    EXPECT_FALSE(out.Create(P("long"), false));
    EXPECT_EQ(errno, EEXIST);

    // Open-always keeps the content; open-existing needs the file.
    ASSERT_TRUE(out.Open(P("long"), OPEN_ALWAYS));
    ASSERT_TRUE(out.Write("X", 1, n));
    ASSERT_TRUE(out.Close());
    EXPECT_EQ(ReadFile(tmp / "long"), "Xbc");
    errno = 0;
    EXPECT_FALSE(out.Open(P("none"), OPEN_EXISTING));
    EXPECT_EQ(errno, ENOENT);

    // New files get 0666 less the umask.
    ASSERT_TRUE(out.Create(P("new"), false));
    ASSERT_TRUE(out.Close());
    EXPECT_EQ(ModeOf(tmp / "new") & 0777, (mode_t)(0666 & ~gbl_umask.current_umask));
}

TEST_F(FileIOTest, SymbolicLinkOpenedForReadingIsItsLinkText) {
    ASSERT_TRUE(WriteFile(tmp / "target", "target content"));
    ASSERT_EQ(symlink("target", (tmp / "link").c_str()), 0);

    NIO::CInFile in;
    ASSERT_TRUE(in.Open(P("link")));
    UInt64 len = 0, pos = 0;
    ASSERT_TRUE(in.GetLength(len));
    EXPECT_EQ(len, 6u);
    EXPECT_EQ(ReadAll(in), "target");
    ASSERT_TRUE(in.Seek(2, 0, pos));
    EXPECT_EQ(ReadAll(in), "rget");
    ASSERT_TRUE(in.Seek(100, 1, pos));
    EXPECT_EQ(pos, 6u); // clamped to the text
    errno = 0;
    EXPECT_FALSE(in.Seek(-7, 2, pos));
    EXPECT_EQ(errno, EINVAL);
    errno = 0;
    EXPECT_FALSE(in.Seek(0, 5, pos));
    EXPECT_EQ(errno, EINVAL);
    EXPECT_TRUE(in.Close());

    // Followed, or with the global flag off, the target is read.
    ASSERT_TRUE(in.Open(P("link"), true));
    EXPECT_EQ(ReadAll(in), "target content");
    global_use_lstat = 0;
    ASSERT_TRUE(in.Open(P("link")));
    EXPECT_EQ(ReadAll(in), "target content");
}

TEST_F(FileIOTest, WritingNeverGoesThroughALink) {
    ASSERT_TRUE(WriteFile(tmp / "target", "keep me"));
    ASSERT_EQ(symlink("target", (tmp / "link").c_str()), 0);
    ASSERT_EQ(symlink("absent", (tmp / "dangling").c_str()), 0);
    NIO::COutFile out;

    // Dispositions that do not replace the file leave the link and its target alone.
    errno = 0;
    EXPECT_FALSE(out.Create(P("link"), false));
    EXPECT_EQ(errno, EEXIST);
    EXPECT_FALSE(out.Open(P("link"), OPEN_EXISTING));
    EXPECT_EQ(errno, ELOOP);
    EXPECT_FALSE(out.Open(P("link"), OPEN_ALWAYS));
    EXPECT_FALSE(out.Create(P("dangling"), false));
    EXPECT_FALSE(out.Open(P("dangling"), OPEN_ALWAYS));
    EXPECT_TRUE(S_ISLNK(ModeOf(tmp / "link")));
    EXPECT_TRUE(S_ISLNK(ModeOf(tmp / "dangling")));
    EXPECT_FALSE(Exists(tmp / "absent"));

    // Create-always replaces the link itself by a regular file.
    UInt32 n;
    ASSERT_TRUE(out.Create(P("link"), true));
    ASSERT_TRUE(out.Write("new", 3, n));
    ASSERT_TRUE(out.Close());
    EXPECT_TRUE(S_ISREG(ModeOf(tmp / "link")));
    EXPECT_EQ(ReadFile(tmp / "link"), "new");
    EXPECT_EQ(ReadFile(tmp / "target"), "keep me");
}

TEST_F(FileIOTest, FullDiskWriteFailsWithNoSpace) {
    if (!Exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    NIO::COutFile out;
    ASSERT_TRUE(out.Open(L"/dev/full", OPEN_EXISTING));
    UInt32 n = 7;
    errno = 0;
    EXPECT_FALSE(out.Write("data", 4, n));
    EXPECT_EQ(errno, 28);
    EXPECT_EQ(n, 0u);
    out.Close();
    EXPECT_FALSE(out.IsOpen());
}

TEST_F(FileIOTest, TimesAreAppliedAtCloseIncludingBefore1970) {
    ASSERT_TRUE(WriteFile(tmp / "t", ""));
    struct timespec ts[2] = {{1000000000, 0}, {1000000000, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, (tmp / "t").c_str(), ts, 0), 0);

    NIO::COutFile out;
    ASSERT_TRUE(out.Open(P("t"), OPEN_EXISTING));
    UInt32 n;
    ASSERT_TRUE(out.Write("abc", 3, n));
    const FILETIME old = FromUnix(-86400 * 365 * 10 - 12345); // 1960
    ASSERT_TRUE(out.SetMTime(&old));
    ASSERT_TRUE(out.Close());
    struct stat st;
    ASSERT_EQ(stat((tmp / "t").c_str(), &st), 0);
    EXPECT_EQ((Int64)st.st_mtime, -86400 * 365 * 10 - 12345);
    EXPECT_EQ((Int64)st.st_atime, 1000000000); // no access time given: untouched

    NFind::CFileInfo fi;
    ASSERT_TRUE(fi.Find(P("t")));
    EXPECT_EQ(NWindows::NTime::FileTimeToUInt64(fi.MTime), NWindows::NTime::FileTimeToUInt64(old));

    const FILETIME a = FromUnix(1234567890);
    const FILETIME m = FromUnix(1500000000);
    ASSERT_TRUE(out.Open(P("t"), OPEN_EXISTING));
    ASSERT_TRUE(out.SetTime(nullptr, &a, &m));
    ASSERT_TRUE(out.Close());
    ASSERT_EQ(stat((tmp / "t").c_str(), &st), 0);
    EXPECT_EQ((Int64)st.st_atime, 1234567890);
    EXPECT_EQ((Int64)st.st_mtime, 1500000000);
}

TEST_F(FileIOTest, UndecodableNameIsOpenedUnderItsByteForm) {
    ASSERT_NE(setlocale(LC_ALL, "C.UTF-8"), nullptr);
    global_use_utf16_conversion = 1;
    ASSERT_TRUE(WriteFile(tmp / "caf\xE9", "latin"));
    NFind::CEnumerator e(W(tmp.Path()) + L"/*");
    NFind::CFileInfo fi;
    ASSERT_TRUE(e.Next(fi));
    EXPECT_STREQ(fi.Name.Ptr(), L"caf\u00E9");
    NIO::CInFile in;
    ASSERT_TRUE(in.Open(W(tmp.Path()) + L"/" + fi.Name));
    EXPECT_EQ(ReadAll(in), "latin");
    setlocale(LC_ALL, "C");
}
