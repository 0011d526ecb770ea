#include <gtest/gtest.h>

#include <errno.h>
#include <locale.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "windows/file_layer_fixture.h"
#include "common/StringConvert.h"
#include "windows/FileDir.h"
#include "windows/FileFind.h"
#include "windows/TempDir.h"
#include "windows/TempFile.h"
#include "windows/TimeUtils.h"

using namespace NWindows::NFile;
using namespace testsupport;

namespace {

using FileDirTest = FileLayerTest;

std::string Narrow(const UString &u) {
    return std::string((const char *)UnicodeStringToMultiByte(u));
}

size_t CountEntries(const std::string &dir) {
    return DirEntries(dir).size();
}

bool OnDifferentFileSystems(const std::string &a, const std::string &b) {
    struct stat sa, sb;
    return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev != sb.st_dev;
}

} // namespace

TEST_F(FileDirTest, CreateComplexDirMakesEveryMissingLevel) {
    ASSERT_TRUE(NDir::CreateComplexDir(P("a/b/c/")));
    for (const char *d : {"a", "a/b", "a/b/c"}) {
        EXPECT_TRUE(S_ISDIR(ModeOf(tmp / d))) << d;
        EXPECT_EQ(ModeOf(tmp / d) & 0777, (mode_t)(0777 & ~gbl_umask.current_umask)) << d;
    }
    EXPECT_TRUE(NDir::CreateComplexDir(P("a/b/c")));
    EXPECT_TRUE(NDir::CreateComplexDir(L"c:/"));

    // A file in the way fails, at the end or in the middle of the path.
    ASSERT_TRUE(WriteFile(tmp / "file", "x"));
    EXPECT_FALSE(NDir::CreateComplexDir(P("file")));
    EXPECT_FALSE(NDir::CreateComplexDir(P("file/sub")));
    EXPECT_FALSE(NDir::CreateComplexDir(L""));

    errno = 0;
    EXPECT_FALSE(NDir::CreateDir(L""));
    EXPECT_EQ(errno, ENOENT);
    EXPECT_FALSE(NDir::DeleteFileAlways(nullptr));
    EXPECT_TRUE(NDir::RemoveDir(P("a/b/c")));
    EXPECT_FALSE(Exists(tmp / "a/b/c"));
}

TEST_F(FileDirTest, MoveWithinOneFileSystemReplacesTheTarget) {
    ASSERT_TRUE(WriteFile(tmp / "src", "short"));
    ASSERT_TRUE(WriteFile(tmp / "dst", "a much longer old content"));
    ASSERT_TRUE(NDir::MyMoveFile(P("src"), P("dst")));
    EXPECT_EQ(ReadFile(tmp / "dst"), "short");
    EXPECT_FALSE(Exists(tmp / "src"));
    EXPECT_FALSE(NDir::MyMoveFile(P("src"), P("dst2")));
    EXPECT_EQ(errno, ENOENT);
}

TEST_F(FileDirTest, MoveAcrossFileSystemsCopiesSafely) {
    TempFolder shm("/dev/shm");
    if (!shm.Ok() || !OnDifferentFileSystems(tmp.Path(), shm.Path()))
        GTEST_SKIP() << "/tmp and /dev/shm are not two file systems here";

    // To a new name: content and (masked) permission bits travel, the source goes.
    ASSERT_TRUE(WriteFile(tmp / "a", "payload", 0600));
    ASSERT_EQ(chmod((tmp / "a").c_str(), 0640), 0);
    ASSERT_TRUE(NDir::MyMoveFile(P("a"), W(shm / "a")));
    EXPECT_EQ(ReadFile(shm / "a"), "payload");
    EXPECT_EQ(ModeOf(shm / "a") & 0777, (mode_t)(0640 & gbl_umask.mask));
    EXPECT_FALSE(Exists(tmp / "a"));

    // Over a longer existing target: replaced whole, and no temporary file left beside it.
    ASSERT_TRUE(WriteFile(shm / "big", std::string(100000, 'o')));
    ASSERT_TRUE(WriteFile(tmp / "small", "new"));
    ASSERT_TRUE(NDir::MyMoveFile(P("small"), W(shm / "big")));
    EXPECT_EQ(ReadFile(shm / "big"), "new");
    EXPECT_FALSE(Exists(tmp / "small"));
    EXPECT_EQ(CountEntries(shm.Path()), 2u);

    // A target that cannot be replaced (a folder): the source stays, nothing partial remains.
    ASSERT_EQ(mkdir((shm / "folder").c_str(), 0755), 0);
    ASSERT_TRUE(WriteFile(tmp / "keep", "keep"));
    EXPECT_FALSE(NDir::MyMoveFile(P("keep"), W(shm / "folder")));
    EXPECT_EQ(ReadFile(tmp / "keep"), "keep");
    EXPECT_EQ(CountEntries(shm.Path()), 3u);
    EXPECT_EQ(CountEntries(shm / "folder"), 0u);
}

TEST_F(FileDirTest, SetFileAttribAppliesModesButNeverThroughALink) {
    ASSERT_TRUE(WriteFile(tmp / "f", "x", 0600));
    ASSERT_TRUE(NDir::SetFileAttrib(P("f"), 0x81A48020));
    EXPECT_EQ(ModeOf(tmp / "f") & 07777, (mode_t)(0644 & gbl_umask.mask));

    ASSERT_EQ(mkdir((tmp / "d").c_str(), 0700), 0);
    ASSERT_TRUE(NDir::SetFileAttrib(P("d"), 0x41ED8010));
    EXPECT_EQ(ModeOf(tmp / "d") & 07777, (mode_t)(0755 & gbl_umask.mask));
    ASSERT_TRUE(NDir::SetFileAttrib(P("d"), 0x40008010)); // owner bits always kept on a folder
    EXPECT_EQ(ModeOf(tmp / "d") & 07777, (mode_t)0700);

    // Without a POSIX mode, the read-only bit clears the write bits of a file.
    ASSERT_EQ(chmod((tmp / "f").c_str(), 0666), 0);
    ASSERT_TRUE(NDir::SetFileAttrib(P("f"), FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(ModeOf(tmp / "f") & 0222, 0u);

    ASSERT_TRUE(WriteFile(tmp / "target", "t", 0600));
    ASSERT_EQ(symlink("target", (tmp / "link").c_str()), 0);
    for (int lstatFlag : {1, 0}) {
        global_use_lstat = lstatFlag;
        EXPECT_TRUE(NDir::SetFileAttrib(P("link"), 0x81FF8020));
        EXPECT_TRUE(NDir::SetFileAttrib(P("link"), 0x20));
        EXPECT_EQ(ModeOf(tmp / "target") & 0777, 0600u) << lstatFlag;
    }
    global_use_lstat = 1;
    errno = 0;
    EXPECT_FALSE(NDir::SetFileAttrib(P("missing"), 0x81A48020));
    EXPECT_EQ(errno, ENOENT);
}

TEST_F(FileDirTest, PlaceholdersBecomeLinksNowOrLater) {
    const std::string longTarget = "dir/" + std::string(2000, 't') + "\nline2";
    ASSERT_TRUE(WriteFile(tmp / "now", longTarget));
    ASSERT_TRUE(NDir::SetFileAttrib(P("now"), 0xA1FF8020));
    char buf[4096];
    ssize_t n = readlink((tmp / "now").c_str(), buf, sizeof(buf));
    ASSERT_GT(n, 0);
    EXPECT_EQ(std::string(buf, (size_t)n), longTarget);

    CObjectVector<NDir::CDelayedSymLink> delayed;
    ASSERT_TRUE(WriteFile(tmp / "later", "target-a"));
    ASSERT_TRUE(WriteFile(tmp / "swapped", "target-b"));
    ASSERT_TRUE(NDir::SetFileAttrib(P("later"), 0xA1FF8020, &delayed));
    ASSERT_TRUE(NDir::SetFileAttrib(P("swapped"), 0xA1FF8020, &delayed));
    ASSERT_EQ(delayed.Size(), 2u);
    EXPECT_TRUE(S_ISREG(ModeOf(tmp / "later"))); // nothing happens yet

    // A placeholder replaced by another file in between is refused.
    // Renamed over it while the placeholder still exists, so the new file cannot reuse its inode.
    ASSERT_TRUE(WriteFile(tmp / "evil", "evil"));
    ASSERT_EQ(rename((tmp / "evil").c_str(), (tmp / "swapped").c_str()), 0);
    EXPECT_TRUE(delayed[0].Create());
    errno = 0;
    EXPECT_FALSE(delayed[1].Create());
    EXPECT_EQ(errno, EPERM);
    n = readlink((tmp / "later").c_str(), buf, sizeof(buf));
    EXPECT_EQ(std::string(buf, n > 0 ? (size_t)n : 0), "target-a");
    EXPECT_TRUE(S_ISREG(ModeOf(tmp / "swapped")));

    ASSERT_TRUE(WriteFile(tmp / "empty", ""));
    EXPECT_FALSE(NDir::SetFileAttrib(P("empty"), 0xA1FF8020));
}

TEST_F(FileDirTest, RecursiveDeleteRemovesLinksButNotWhatTheyPointTo) {
    TempFolder outside;
    ASSERT_TRUE(WriteFile(outside / "precious", "keep"));
    ASSERT_EQ(mkdir((outside / "sub").c_str(), 0755), 0);
    ASSERT_TRUE(WriteFile(outside / "sub/deep", "keep too"));

    for (int lstatFlag : {1, 0}) {
        global_use_lstat = lstatFlag;
        ASSERT_TRUE(NDir::CreateComplexDir(P("tree/a/b")));
        ASSERT_TRUE(WriteFile(tmp / "tree/a/b/file", "x"));
        ASSERT_TRUE(WriteFile(tmp / "tree/top", "y"));
        ASSERT_EQ(symlink(outside.Path().c_str(), (tmp / "tree/dirlink").c_str()), 0);
        ASSERT_EQ(symlink((outside / "precious").c_str(), (tmp / "tree/a/filelink").c_str()), 0);
        ASSERT_EQ(symlink("nowhere", (tmp / "tree/a/b/dangling").c_str()), 0);
        ASSERT_EQ(mkdir((tmp / "tree/a/ro").c_str(), 0500), 0);

        EXPECT_TRUE(NDir::RemoveDirWithSubItems(P("tree"))) << lstatFlag;
        EXPECT_FALSE(Exists(tmp / "tree"));
        EXPECT_EQ(ReadFile(outside / "precious"), "keep");
        EXPECT_EQ(ReadFile(outside / "sub/deep"), "keep too");
    }

    // A link to a folder, or a file, is not a folder to delete.
    ASSERT_EQ(symlink(outside.Path().c_str(), (tmp / "toplink").c_str()), 0);
    for (int lstatFlag : {1, 0}) {
        global_use_lstat = lstatFlag;
        errno = 0;
        EXPECT_FALSE(NDir::RemoveDirWithSubItems(P("toplink")));
        EXPECT_EQ(errno, ERROR_DIRECTORY);
        EXPECT_FALSE(NDir::RemoveDirectoryWithSubItems(P("toplink")));
    }
    EXPECT_EQ(ReadFile(outside / "precious"), "keep");
    EXPECT_FALSE(NDir::RemoveDirWithSubItems(P("missing")));
}

TEST_F(FileDirTest, RecursiveDeleteHandlesUndecodableNames) {
    ASSERT_NE(setlocale(LC_ALL, "C.UTF-8"), nullptr);
    global_use_utf16_conversion = 1;
    ASSERT_EQ(mkdir((tmp / "t\xE9").c_str(), 0755), 0);
    ASSERT_EQ(mkdir((tmp / "t\xE9/s\xFF").c_str(), 0755), 0);
    ASSERT_TRUE(WriteFile(tmp / "t\xE9/s\xFF/f\xE9", "x"));
    ASSERT_TRUE(WriteFile(tmp / "x\xE9", "x"));
    EXPECT_TRUE(NDir::RemoveDirWithSubItems(W(tmp.Path()) + L"/t\u00E9"));
    EXPECT_TRUE(NDir::DeleteFileAlways(W(tmp.Path()) + L"/x\u00E9"));
    EXPECT_EQ(CountEntries(tmp.Path()), 0u);
    setlocale(LC_ALL, "C");
}

TEST_F(FileDirTest, TemporaryNamesFollowTheirPatternAndNeverCollide) {
    NDir::CTempDir dir;
    ASSERT_TRUE(dir.Create(L"x"));
    const std::string dirPath = Narrow(dir.GetPath());
    ASSERT_EQ(dirPath.size(), 5u + 1 + 8);
    EXPECT_EQ(dirPath.substr(0, 6), "/tmp/x");
    EXPECT_EQ(dirPath.find_first_not_of("0123456789ABCDEF", 6), std::string::npos);
    EXPECT_EQ(ModeOf(dirPath) & 0777, (mode_t)(0700 & ~gbl_umask.current_umask));
    ASSERT_TRUE(WriteFile(dirPath + "/inside", "x"));

    NDir::CTempFile first, second;
    NIO::COutFile f1, f2;
    const UString prefix = W(dirPath + "/arc");
    ASSERT_TRUE(first.Create(prefix, &f1));
    EXPECT_EQ(Narrow(first.GetPath()), dirPath + "/arc.tmp");
    ASSERT_TRUE(second.Create(prefix, &f2));
    const std::string p2 = Narrow(second.GetPath());
    ASSERT_EQ(p2.size(), dirPath.size() + 4 + 1 + 8 + 4);
    EXPECT_EQ(p2.substr(p2.size() - 4), ".tmp");
    UInt32 n;
    ASSERT_TRUE(f2.Write("data", 4, n));
    ASSERT_TRUE(f2.Close());

    // Moving over an existing file, then the owner no longer deletes it.
    ASSERT_TRUE(WriteFile(dirPath + "/final", "old"));
    ASSERT_TRUE(second.MoveTo(W(dirPath + "/final"), true));
    EXPECT_EQ(ReadFile(dirPath + "/final"), "data");
    EXPECT_TRUE(second.Remove());
    EXPECT_TRUE(Exists(dirPath + "/final"));
    f1.Close();
    EXPECT_TRUE(first.Remove());
    EXPECT_FALSE(Exists(dirPath + "/arc.tmp"));

    // Threads asking at once all get names of their own.
    std::mutex m;
    std::set<std::string> names;
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; t++)
        threads.emplace_back([&] {
            for (int i = 0; i < 25; i++) {
                UString path;
                NIO::COutFile out;
                if (NDir::CreateTempName(W(dirPath + "/p"), true, path, &out)) {
                    std::lock_guard<std::mutex> lock(m);
                    names.insert(Narrow(path));
                }
            }
        });
    for (auto &t : threads)
        t.join();
    EXPECT_EQ(names.size(), 200u);

    EXPECT_TRUE(dir.Remove());
    EXPECT_FALSE(Exists(dirPath));
}

TEST_F(FileDirTest, AutoRenameFindsTheFirstFreeNumber) {
    struct {
        std::vector<std::string> existing;
        std::string path, expected;
    } cases[] = {
        {{}, "a.txt", "a_1.txt"},       {{"a_1.txt", "a_2.txt", "a_3.txt", "a_4.txt", "a_5.txt"}, "a.txt", "a_6.txt"},
        {{}, ".profile", ".profile_1"}, {{"noext_1"}, "noext", "noext_2"},
        {{}, "d.x/name", "d.x/name_1"},
    };
    ASSERT_EQ(mkdir((tmp / "d.x").c_str(), 0755), 0);
    for (const auto &c : cases) {
        for (const auto &e : c.existing)
            ASSERT_TRUE(WriteFile(tmp / e, ""));
        UString path = P(c.path);
        EXPECT_TRUE(AutoRenamePath(path));
        EXPECT_EQ(Narrow(path), tmp / c.expected);
        for (const auto &e : c.existing)
            unlink((tmp / e).c_str());
    }
}

TEST_F(FileDirTest, DirTimesIncludingBefore1970) {
    ASSERT_EQ(mkdir((tmp / "d").c_str(), 0755), 0);
    FILETIME m;
    NWindows::NTime::UInt64ToFileTime((UInt64)(11644473600LL - 100000000LL) * 10000000u, m); // 1966
    ASSERT_TRUE(NDir::SetDirTime(P("d"), nullptr, nullptr, &m));
    struct stat st;
    ASSERT_EQ(stat((tmp / "d").c_str(), &st), 0);
    EXPECT_EQ((Int64)st.st_mtime, -100000000);
}

// Runs as an unprivileged user through setpriv (below); skipped when started directly.
TEST(UnprivilegedChild, OperationsFailWithPermissionErrors) {
    const char *root = getenv("TARNOVA_UNPRIV_ROOT");
    const char *shm = getenv("TARNOVA_UNPRIV_SHM");
    if (!root) GTEST_SKIP() << "run by PermissionFailures";
    ASSERT_NE(getuid(), 0u);
    const std::string r = root;
    UInt32 n;

    NIO::COutFile out;
    errno = 0;
    EXPECT_FALSE(out.Create(W(r + "/new"), false));
    EXPECT_EQ(errno, EACCES);
    EXPECT_FALSE(out.Create(W(r + "/file"), true));
    EXPECT_EQ(errno, EACCES);
    NIO::CInFile in;
    EXPECT_FALSE(in.Open(W(r + "/secret")));
    EXPECT_EQ(errno, EACCES);

    EXPECT_FALSE(NDir::CreateDir(W(r + "/d")));
    EXPECT_EQ(errno, EACCES);
    EXPECT_FALSE(NDir::CreateComplexDir(W(r + "/d/e/f")));
    EXPECT_EQ(errno, EACCES);
    EXPECT_FALSE(NDir::DeleteFileAlways(W(r + "/file")));
    EXPECT_EQ(errno, EACCES);
    EXPECT_FALSE(NDir::RemoveDirWithSubItems(W(r + "/tree")));
    EXPECT_EQ(errno, EACCES);

    NDir::CTempFile temp;
    EXPECT_FALSE(temp.Create(W(r + "/t"), &out));
    EXPECT_TRUE(temp.GetPath().IsEmpty());

    NFind::CEnumerator e(W(r + "/closed/*"));
    NFind::CFileInfo fi;
    bool found;
    EXPECT_FALSE(e.Next(fi, found));
    EXPECT_EQ(errno, EACCES);

    // Across file systems into a folder that is not ours: the source stays.
    if (shm) {
        const std::string src = std::string(shm) + "/mine";
        ASSERT_TRUE(WriteFile(src, "mine"));
        EXPECT_FALSE(NDir::MyMoveFile(W(src), W(r + "/file")));
        EXPECT_EQ(ReadFile(src), "mine");
        EXPECT_EQ(ReadFile(r + "/file"), "root's");
    }
    (void)n;
}

TEST(PermissionFailures, AsAnUnprivilegedUser) {
    if (getuid() != 0) GTEST_SKIP() << "needs root to switch to an unprivileged user";
    if (system("command -v setpriv >/dev/null 2>&1") != 0) GTEST_SKIP() << "no setpriv";
    char self[4096];
    const ssize_t len = readlink("/proc/self/exe", self, sizeof(self) - 1);
    ASSERT_GT(len, 0);
    self[len] = 0;

    TempFolder root;
    ASSERT_TRUE(root.Ok());
    ASSERT_EQ(chmod(root.Path().c_str(), 0755), 0); // traversable, not writable, for others
    ASSERT_TRUE(WriteFile(root / "file", "root's", 0644));
    ASSERT_TRUE(WriteFile(root / "secret", "s", 0600));
    ASSERT_EQ(mkdir((root / "closed").c_str(), 0700), 0);
    ASSERT_EQ(mkdir((root / "tree").c_str(), 0755), 0);
    ASSERT_TRUE(WriteFile(root / "tree/f", "f", 0644));

    TempFolder shm("/dev/shm");
    std::string shmArg;
    if (shm.Ok() && OnDifferentFileSystems(root.Path(), shm.Path())) {
        ASSERT_EQ(chown(shm.Path().c_str(), 65534, 65534), 0);
        shmArg = " TARNOVA_UNPRIV_SHM=" + shm.Path();
    }
    const std::string cmd = "env TARNOVA_UNPRIV_ROOT=" + root.Path() + shmArg +
                            " setpriv --reuid=65534 --regid=65534 --clear-groups " + self +
                            " --gtest_filter=UnprivilegedChild.* 2>&1";
    FILE *p = popen(cmd.c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string output;
    char buf[512];
    while (fgets(buf, sizeof(buf), p))
        output += buf;
    const int status = pclose(p);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << output;
    EXPECT_NE(output.find("[  PASSED  ] 1 test"), std::string::npos) << output;
    EXPECT_EQ(ReadFile(root / "file"), "root's");
    EXPECT_TRUE(Exists(root / "tree/f"));
}
