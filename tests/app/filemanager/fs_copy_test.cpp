// Copying and moving on disk: trees with links, onto itself by any path, replacing through a
// temporary name, across file systems, on a full disk and without rights.
#include <errno.h>
#include <string.h>

#include "folders_fixture.h"

using namespace foldersfx;

namespace {

class DiskCopy : public ::testing::Test {
protected:
    TempFolder src;
    TempFolder dst;
    CCopyCallback *cb = new CCopyCallback;
    CMyComPtr<IFolderOperationsExtractCallback> hold = cb;

    void SetUp() override {
        ASSERT_TRUE(src.Ok());
        ASSERT_TRUE(dst.Ok());
    }
    void MakeTree(const std::string &root) {
        ASSERT_EQ(mkdir(root.c_str(), 0750), 0);
        ASSERT_EQ(mkdir((root + "/sub").c_str(), 0755), 0);
        ASSERT_TRUE(WriteFile(root + "/a.txt", "alpha"));
        ASSERT_TRUE(WriteFile(root + "/sub/中文.bin", std::string(3000, 'z'), 0751));
        ASSERT_TRUE(WriteFile(root + "/bad\xff", "bytes"));
        ASSERT_EQ(symlink("sub", (root + "/link-to-sub").c_str()), 0);
        ASSERT_EQ(symlink("..", (root + "/sub/loop").c_str()), 0);
        ASSERT_EQ(symlink("/nowhere", (root + "/dangling").c_str()), 0);
    }
};

const std::map<std::string, std::string> kTree = {
    {"a.txt", "f:alpha"},
    {"bad\xff", "f:bytes"},
    {"dangling", "l:/nowhere"},
    {"link-to-sub", "l:sub"},
    {"sub", "d"},
    {"sub/loop", "l:.."},
    {"sub/中文.bin", "f:" + std::string(3000, 'z')},
};

TEST_F(DiskCopy, CopiesTreesWithLinksAsLinks) {
    MakeTree(src / "tree");
    ASSERT_EQ(CopyItems(src.Path(), {"tree"}, dst.Path() + "/", false, cb), S_OK);
    EXPECT_EQ(Tree(dst / "tree"), kTree);
    EXPECT_EQ(Tree(src / "tree"), kTree);
    EXPECT_EQ(ModeOf(dst / "tree/sub/中文.bin") & 0777, 0751u & ~0022u);
    EXPECT_TRUE(cb->messages.empty()) << cb->messages[0];
    ASSERT_FALSE(cb->totals.empty());
    // Files, links counted as files: five entries; their bytes are the total.
    EXPECT_EQ(cb->numFiles, 6u);
    EXPECT_EQ(cb->totals[0], 5u + 5u + 8u + 3u + 2u + 3000u);
    EXPECT_EQ(cb->completed.back(), cb->totals[0]);
    EXPECT_TRUE(TempLeftovers(dst.Path() + "/tree").empty());
}

TEST_F(DiskCopy, SingleItemTakesAnExactNameAndSeveralNeedAFolder) {
    ASSERT_TRUE(WriteFile(src / "one", "1"));
    ASSERT_TRUE(WriteFile(src / "two", "2"));
    ASSERT_EQ(CopyItems(src.Path(), {"one"}, dst / "renamed", false, cb), S_OK);
    EXPECT_EQ(ReadFile(dst / "renamed"), "1");
    EXPECT_EQ(CopyItems(src.Path(), {"one", "two"}, dst / "x", false, cb), E_INVALIDARG);
    EXPECT_TRUE(cb->messages.empty());
    EXPECT_EQ(CopyItems(src.Path(), {"one"}, "", false, cb), E_INVALIDARG);
}

TEST_F(DiskCopy, RefusesCopyOrMoveOntoItselfByAnyPath) {
    MakeTree(src / "tree");
    ASSERT_EQ(symlink((src / "tree").c_str(), (dst / "via-link").c_str()), 0);
    ASSERT_EQ(link((src / "tree/a.txt").c_str(), (src / "tree/hard.txt").c_str()), 0);
    const std::string tree = src / "tree";
    const struct {
        std::string dir;
        std::string item;
        std::string dest;
        const char *message;
    } rows[] = {
        {tree, "a.txt", tree + "/", "file onto itself"},
        {tree, "a.txt", dst / "via-link/", "file onto itself"},
        {tree, "a.txt", tree + "/hard.txt", "file onto itself"},
        {src.Path(), "tree", src.Path() + "/", "folder onto itself"},
        {src.Path(), "tree", tree + "/sub/", "folder onto itself"},
        {src.Path(), "tree", dst / "via-link/sub/", "folder onto itself"},
        {src.Path(), "tree", dst.Path() + "/", "folder onto itself"}, // dst/tree does not exist: allowed
    };
    for (bool move : {false, true}) {
        for (const auto &r : rows) {
            if (r.dest == dst.Path() + "/") continue;
            CCopyCallback *c = new CCopyCallback;
            CMyComPtr<IFolderOperationsExtractCallback> h = c;
            EXPECT_EQ(CopyItems(r.dir, {r.item}, r.dest, move, c), E_ABORT) << r.dest << " move " << move;
            ASSERT_EQ(c->messages.size(), 1u) << r.dest;
            EXPECT_NE(c->messages[0].find(std::string(move ? "move " : "copy ") + r.message), std::string::npos)
                << c->messages[0];
            EXPECT_TRUE(c->asked.empty());
        }
    }
    std::map<std::string, std::string> expected = kTree;
    expected["hard.txt"] = "f:alpha";
    EXPECT_EQ(Tree(tree), expected);
}

TEST_F(DiskCopy, ReplacesAnExistingFileWholeOrNotAtAll) {
    ASSERT_TRUE(WriteFile(src / "f", std::string(20 << 20, 'n')));
    ASSERT_TRUE(WriteFile(dst / "f", "old content"));
    ASSERT_TRUE(WriteFile(dst / "other", "other"));
    ASSERT_EQ(symlink("other", (dst / "g").c_str()), 0);

    // Cancelled in the middle: the old file and nothing else stays.
    cb->stopAfter = 2;
    EXPECT_EQ(CopyItems(src.Path(), {"f"}, dst.Path() + "/", false, cb), E_ABORT);
    EXPECT_EQ(ReadFile(dst / "f"), "old content");
    EXPECT_TRUE(TempLeftovers(dst.Path()).empty());

    // Completed: replaced in one step.
    cb->stopAfter = -1;
    ASSERT_EQ(CopyItems(src.Path(), {"f"}, dst.Path() + "/", false, cb), S_OK);
    EXPECT_EQ(ReadFile(dst / "f").size(), (size_t)20 << 20);
    EXPECT_EQ(ReadFile(src / "f").size(), (size_t)20 << 20);

    // A link at the destination is replaced, never written through.
    ASSERT_TRUE(WriteFile(src / "g", "new"));
    ASSERT_EQ(CopyItems(src.Path(), {"g"}, dst.Path() + "/", false, cb), S_OK);
    EXPECT_EQ(ReadFile(dst / "g"), "new");
    EXPECT_FALSE(S_ISLNK(ModeOf(dst / "g")));
    EXPECT_EQ(ReadFile(dst / "other"), "other");
    EXPECT_TRUE(TempLeftovers(dst.Path()).empty());
}

TEST_F(DiskCopy, SkippedFilesLowerTheTotal) {
    ASSERT_TRUE(WriteFile(src / "a", std::string(100, 'a')));
    ASSERT_TRUE(WriteFile(src / "b", std::string(30, 'b')));
    cb->answer = CCopyCallback::kSkip;
    ASSERT_EQ(CopyItems(src.Path(), {"a", "b"}, dst.Path() + "/", false, cb), S_OK);
    EXPECT_EQ(cb->totals, (std::vector<UInt64>{130, 30, 0}));
    EXPECT_EQ(cb->completed.back(), 0u);
    EXPECT_TRUE(DirEntries(dst.Path()).empty());

    cb->answer = CCopyCallback::kRenameTo;
    cb->renameTo = dst / "chosen";
    ASSERT_EQ(CopyItems(src.Path(), {"a"}, dst.Path() + "/", false, cb), S_OK);
    EXPECT_EQ(ReadFile(dst / "chosen"), std::string(100, 'a'));
}

TEST_F(DiskCopy, MovesWithinOneFileSystemByRenaming) {
    MakeTree(src / "tree");
    struct stat before;
    ASSERT_EQ(lstat((src / "tree").c_str(), &before), 0);
    ASSERT_EQ(CopyItems(src.Path(), {"tree"}, dst.Path() + "/", true, cb), S_OK);
    struct stat after;
    ASSERT_EQ(lstat((dst / "tree").c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_FALSE(Exists(src / "tree"));

    // Into a folder that exists and is not empty the rename fails: the entries move one by
    // one, the existing ones stay, and the emptied source goes.
    MakeTree(src / "tree");
    ASSERT_TRUE(WriteFile(dst / "tree/extra", "e"));
    ASSERT_EQ(unlink((dst / "tree/a.txt").c_str()), 0);
    ASSERT_EQ(CopyItems(src.Path(), {"tree"}, dst.Path() + "/", true, cb), S_OK);
    std::map<std::string, std::string> expected = kTree;
    expected["extra"] = "f:e";
    EXPECT_EQ(Tree(dst / "tree"), expected);
    EXPECT_FALSE(Exists(src / "tree"));
}

TEST_F(DiskCopy, MovesAcrossFileSystems) {
    TempFolder shm("/dev/shm");
    if (!shm.Ok() || !OnDifferentFileSystems(src.Path(), shm.Path())) GTEST_SKIP() << "no second file system";
    MakeTree(src / "tree");
    ASSERT_TRUE(WriteFile(src / "file", "moved"));
    ASSERT_EQ(symlink("tree", (src / "dirlink").c_str()), 0);
    ASSERT_EQ(CopyItems(src.Path(), {"tree", "file", "dirlink"}, shm.Path() + "/", true, cb), S_OK);
    EXPECT_TRUE(cb->messages.empty()) << cb->messages[0];
    EXPECT_EQ(Tree(shm / "tree"), kTree);
    EXPECT_EQ(ReadFile(shm / "file"), "moved");
    EXPECT_TRUE(S_ISLNK(ModeOf(shm / "dirlink")));
    EXPECT_TRUE(DirEntries(src.Path()).empty());

    // And back with a copy, the tree intact on both sides.
    ASSERT_EQ(CopyItems(shm.Path(), {"tree"}, src.Path() + "/", false, cb), S_OK);
    EXPECT_EQ(Tree(src / "tree"), kTree);
    EXPECT_EQ(Tree(shm / "tree"), kTree);
}

TEST_F(DiskCopy, SpecialFilesFailInsteadOfBlocking) {
    ASSERT_EQ(mkfifo((src / "pipe").c_str(), 0644), 0);
    EXPECT_EQ(CopyItems(src.Path(), {"pipe"}, dst.Path() + "/", false, cb), E_ABORT);
    ASSERT_EQ(cb->messages.size(), 1u);
    EXPECT_NE(cb->messages[0].find(dst / "pipe"), std::string::npos);
    EXPECT_FALSE(Exists(dst / "pipe"));
}

// Runs in a child with a private mount namespace and a 256 KiB file system at the given path.
TEST(FullDiskChild, ReplacingOnAFullDiskKeepsBothFiles) {
    const char *full = getenv("TARNOVA_FULL_DIR");
    const char *srcDir = getenv("TARNOVA_FULL_SRC");
    if (!full || !srcDir) GTEST_SKIP() << "run by CopyOntoAFullDisk";
    const std::string f = full, s = srcDir;
    ASSERT_TRUE(WriteFile(f + "/big", "old content"));
    for (bool move : {false, true}) {
        CCopyCallback *cb = new CCopyCallback;
        CMyComPtr<IFolderOperationsExtractCallback> hold = cb;
        EXPECT_EQ(CopyItems(s, {"big"}, f + "/", move, cb), E_ABORT);
        ASSERT_EQ(cb->messages.size(), 1u);
        EXPECT_NE(cb->messages[0].find("设备上没有空间"), std::string::npos) << cb->messages[0];
        EXPECT_EQ(ReadFile(f + "/big"), "old content");
        EXPECT_EQ(ReadFile(s + "/big").size(), (size_t)1 << 20);
        EXPECT_TRUE(TempLeftovers(f).empty());
    }
    // Comments cannot be saved either; the old file stays.
    ASSERT_TRUE(WriteFile(f + "/descript.ion", "big old\r\n"));
    ASSERT_TRUE(WriteFile(f + "/filler", std::string(200 << 10, 'f')));
    NFsFolder::CFSFolder *impl;
    CMyComPtr<IFolderFolder> folder = OpenFolder(f, &impl);
    const CPropVariant c(std::wstring(100000, L'长').c_str());
    EXPECT_EQ(impl->SetProperty((UInt32)IndexOf(impl, "big"), kpidComment, &c, nullptr), S_OK);
    EXPECT_EQ(ReadFile(f + "/descript.ion"), "big old\r\n");
    EXPECT_TRUE(TempLeftovers(f).empty());
}

TEST(DiskCopyLimits, CopyOntoAFullDisk) {
    if (getuid() != 0) GTEST_SKIP() << "needs root for a mount namespace";
    if (Sh("command -v unshare >/dev/null 2>&1") != 0) GTEST_SKIP() << "no unshare";
    TempFolder src, mnt;
    ASSERT_TRUE(src.Ok() && mnt.Ok());
    ASSERT_TRUE(WriteFile(src / "big", std::string(1 << 20, 'b')));
    const std::string cmd = "unshare -m sh -c 'mount --make-rprivate / && mount -t tmpfs -o size=256k tmpfs " +
                            mnt.Path() + " && TARNOVA_FULL_DIR=" + mnt.Path() + " TARNOVA_FULL_SRC=" + src.Path() +
                            " " + Self() + " --gtest_filter=FullDiskChild.*' 2>&1";
    int status = 0;
    const std::string out = Shell(cmd, &status);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << out;
    EXPECT_NE(out.find("[  PASSED  ] 1 test"), std::string::npos) << out;
}

// Runs as an unprivileged user through setpriv (below); skipped when started directly.
TEST(UnprivilegedChild, DiskOperationsReportPermissionFailures) {
    const char *rootEnv = getenv("TARNOVA_UNPRIV_ROOT");
    const char *shmEnv = getenv("TARNOVA_UNPRIV_SHM");
    if (!rootEnv) GTEST_SKIP() << "run by PermissionFailures";
    ASSERT_NE(getuid(), 0u);
    const std::string root = rootEnv;
    const std::string denied = "权限不够"; // the window's text of EACCES

    NFsFolder::CFSFolder *closedImpl;
    CMyComPtr<IFolderFolder> closed = OpenFolder(root + "/closed", &closedImpl);
    EXPECT_EQ(closedImpl->items.Size(), 0u); // listed as empty

    NFsFolder::CFSFolder *impl;
    CMyComPtr<IFolderFolder> folder = OpenFolder(root, &impl);
    EXPECT_EQ(impl->CreateFolder(L"new", nullptr), HRESULT_FROM_ERRNO(EACCES));
    EXPECT_EQ(impl->CreateFolder(L"x/y/z", nullptr), HRESULT_FROM_ERRNO(EACCES));
    EXPECT_EQ(impl->CreateFile(L"new", nullptr), HRESULT_FROM_ERRNO(EACCES));
    EXPECT_EQ(impl->Rename((UInt32)IndexOf(impl, "file"), L"moved", nullptr), HRESULT_FROM_ERRNO(EACCES));
    CRecordingProgress *progressSpec = new CRecordingProgress;
    CMyComPtr<IProgress> progress = progressSpec;
    const UInt32 del[] = {(UInt32)IndexOf(impl, "tree"), (UInt32)IndexOf(impl, "file")};
    EXPECT_EQ(impl->Delete(del, 2, progress), HRESULT_FROM_ERRNO(EACCES));

    // The comment cannot be saved: the old file stays, the call still succeeds.
    const CPropVariant c(L"changed");
    EXPECT_EQ(impl->SetProperty((UInt32)IndexOf(impl, "file"), kpidComment, &c, nullptr), S_OK);

    // Into a folder without write rights; out of an unreadable file and folder.
    const std::string mine = shmEnv ? shmEnv : "/tmp";
    CCopyCallback *cb = new CCopyCallback;
    CMyComPtr<IFolderOperationsExtractCallback> hold = cb;
    EXPECT_EQ(CopyItems(mine, {"own"}, root + "/", false, cb), E_ABORT);
    ASSERT_EQ(cb->messages.size(), 1u);
    EXPECT_NE(cb->messages[0].find(denied + " : " + root + "/own"), std::string::npos) << cb->messages[0];
    cb->messages.clear();
    EXPECT_EQ(CopyItems(root, {"secret"}, mine + "/", false, cb), E_ABORT);
    ASSERT_EQ(cb->messages.size(), 1u);
    EXPECT_NE(cb->messages[0].find(denied), std::string::npos) << cb->messages[0];
    EXPECT_FALSE(Exists(mine + "/secret"));
    cb->messages.clear();
    // A folder that cannot be listed is reported and left out; the run goes on.
    EXPECT_EQ(CopyItems(root, {"closed", "file"}, mine + "/", false, cb), S_OK);
    ASSERT_EQ(cb->messages.size(), 1u);
    EXPECT_NE(cb->messages[0].find(denied + " : " + root + "/closed"), std::string::npos) << cb->messages[0];
    EXPECT_EQ(ReadFile(mine + "/file"), "root's");

    // Moving out of a folder without write rights: the copy lands, the source cannot go.
    cb->messages.clear();
    EXPECT_EQ(CopyItems(root, {"tree"}, mine + "/", true, cb), E_ABORT);
    ASSERT_EQ(cb->messages.size(), 1u);
    EXPECT_NE(cb->messages[0].find(denied + " : " + root + "/tree/f"), std::string::npos) << cb->messages[0];
    EXPECT_TRUE(Exists(root + "/tree/f"));
    EXPECT_EQ(ReadFile(mine + "/tree/f"), "f");
}

TEST(DiskCopyLimits, PermissionFailures) {
    if (getuid() != 0) GTEST_SKIP() << "needs root to switch to an unprivileged user";
    if (Sh("command -v setpriv >/dev/null 2>&1") != 0) GTEST_SKIP() << "no setpriv";
    TempFolder root;
    ASSERT_TRUE(root.Ok());
    ASSERT_EQ(chmod(root.Path().c_str(), 0755), 0);
    ASSERT_TRUE(WriteFile(root / "file", "root's", 0644));
    ASSERT_TRUE(WriteFile(root / "secret", "s", 0600));
    ASSERT_TRUE(WriteFile(root / "descript.ion", "file original\r\n", 0644));
    ASSERT_EQ(mkdir((root / "closed").c_str(), 0700), 0);
    ASSERT_EQ(mkdir((root / "tree").c_str(), 0755), 0);
    ASSERT_TRUE(WriteFile(root / "tree/f", "f", 0644));

    TempFolder mine("/dev/shm");
    ASSERT_TRUE(mine.Ok());
    ASSERT_TRUE(WriteFile(mine / "own", "own"));
    ASSERT_EQ(chown((mine / "own").c_str(), 65534, 65534), 0);
    ASSERT_EQ(chown(mine.Path().c_str(), 65534, 65534), 0);

    const std::string cmd = "env TARNOVA_UNPRIV_ROOT=" + root.Path() + " TARNOVA_UNPRIV_SHM=" + mine.Path() +
                            " setpriv --reuid=65534 --regid=65534 --clear-groups " + Self() +
                            " --gtest_filter=UnprivilegedChild.* 2>&1";
    int status = 0;
    const std::string out = Shell(cmd, &status);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << out;
    EXPECT_NE(out.find("[  PASSED  ] 1 test"), std::string::npos) << out;
    EXPECT_EQ(ReadFile(root / "file"), "root's");
    EXPECT_EQ(ReadFile(root / "descript.ion"), "file original\r\n");
    EXPECT_TRUE(Exists(root / "tree/f"));
    EXPECT_EQ(TempLeftovers(root.Path()).size(), 0u);
}

} // namespace
