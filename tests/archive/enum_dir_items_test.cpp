#include "archive/ui-common/EnumDirItems.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <set>
#include <string>
#include <vector>

using testsupport::A;
using testsupport::TempFolder;
using testsupport::W;
using testsupport::WriteFile;

namespace {

struct CRecordingCallback : public IDirItemsCallback {
    std::vector<std::pair<std::string, DWORD>> errors;
    unsigned progressCalls = 0;
    HRESULT errorResult = S_OK;

    HRESULT ScanError(const UString &path, DWORD systemError) override {
        errors.emplace_back(A(path), systemError);
        return errorResult;
    }
    HRESULT ScanProgress(const CDirItemsStat &, const UString &, bool) override {
        progressCalls++;
        return S_OK;
    }
};

// logical path -> physical path, '/' appended to folders
std::map<std::string, std::string> Listing(const CDirItems &items) {
    std::map<std::string, std::string> m;
    for (unsigned i = 0; i < items.Size(); i++) {
        const std::string dirMark = items.IsDir(i) ? "/" : "";
        m[A(items.GetLogPath(i)) + dirMark] = A(items.GetPhyPath(i)) + dirMark;
    }
    return m;
}

// tree/
//   a/b.txt  a/c.bin  a/empty/  a/deep/d.txt
//   top.txt  link-to-dir -> a  dangling -> nowhere  outside -> /etc
class DirScan : public ::testing::Test {
protected:
    TempFolder tmp;
    std::string root;

    void SetUp() override {
        ASSERT_TRUE(tmp.Ok());
        root = tmp / "tree";
        ASSERT_EQ(0, mkdir(root.c_str(), 0755));
        ASSERT_EQ(0, mkdir((root + "/a").c_str(), 0755));
        ASSERT_EQ(0, mkdir((root + "/a/empty").c_str(), 0755));
        ASSERT_EQ(0, mkdir((root + "/a/deep").c_str(), 0755));
        ASSERT_TRUE(WriteFile(root + "/a/b.txt", "bbb"));
        ASSERT_TRUE(WriteFile(root + "/a/c.bin", "cc"));
        ASSERT_TRUE(WriteFile(root + "/a/deep/d.txt", "dddd"));
        ASSERT_TRUE(WriteFile(root + "/top.txt", "t"));
        ASSERT_EQ(0, symlink("a", (root + "/link-to-dir").c_str()));
        ASSERT_EQ(0, symlink("nowhere", (root + "/dangling").c_str()));
        ASSERT_EQ(0, symlink("/etc", (root + "/outside").c_str()));
    }

    HRESULT Scan(const std::vector<std::string> &paths, NWildcard::ECensorPathMode mode, CDirItems &items,
                 bool recursive = true) {
        NWildcard::CCensor censor;
        for (const std::string &p : paths)
            censor.AddItem(mode, true, W(p), recursive, true);
        return EnumerateItems(censor, mode, UString(), items);
    }
};

} // namespace

TEST_F(DirScan, RecursiveScanListsEverythingAndNeverEntersLinks) {
    CDirItems items;
    CRecordingCallback cb;
    items.Callback = &cb;
    ASSERT_EQ(S_OK, Scan({root + "/*"}, NWildcard::k_RelatPath, items));
    const std::map<std::string, std::string> expected = {
        {"a/", root + "/a/"},
        {"a/b.txt", root + "/a/b.txt"},
        {"a/c.bin", root + "/a/c.bin"},
        {"a/empty/", root + "/a/empty/"},
        {"a/deep/", root + "/a/deep/"},
        {"a/deep/d.txt", root + "/a/deep/d.txt"},
        {"top.txt", root + "/top.txt"},
        {"link-to-dir", root + "/link-to-dir"},
        {"dangling", root + "/dangling"},
        {"outside", root + "/outside"},
    };
    EXPECT_EQ(expected, Listing(items));
    EXPECT_TRUE(cb.errors.empty());
    EXPECT_EQ(3u, items.Stat.NumDirs);
    EXPECT_EQ(7u, items.Stat.NumFiles);
    EXPECT_EQ(3u + 2 + 4 + 1 + 1 + 7 + 4, items.Stat.FilesSize); // link sizes are their target lengths
    EXPECT_GT(cb.progressCalls, 0u);
}

TEST_F(DirScan, FoldersThatGiveNothingKeepNoPrefix) {
    CDirItems items;
    ASSERT_EQ(S_OK, Scan({root + "/*.txt"}, NWildcard::k_RelatPath, items));
    const std::map<std::string, std::string> expected = {
        {"a/b.txt", root + "/a/b.txt"},
        {"a/deep/d.txt", root + "/a/deep/d.txt"},
        {"top.txt", root + "/top.txt"},
    };
    EXPECT_EQ(expected, Listing(items));
    std::set<std::string> prefixes;
    for (unsigned i = 0; i < items.Prefixes.Size(); i++)
        prefixes.insert(A(items.Prefixes[i]));
    EXPECT_EQ(0u, prefixes.count("empty/"));
    EXPECT_EQ(items.Prefixes.Size(), items.PhyParents.Size());
    EXPECT_EQ(items.Prefixes.Size(), items.LogParents.Size());
}

TEST_F(DirScan, AbsolutePathModeKeepsPhysicalPathsAsLogical) {
    CDirItems items;
    ASSERT_EQ(S_OK, Scan({root + "/a/deep/d.txt", root + "/top.txt"}, NWildcard::k_AbsPath, items, false));
    const std::map<std::string, std::string> expected = {
        {root + "/a/deep/d.txt", root + "/a/deep/d.txt"},
        {root + "/top.txt", root + "/top.txt"},
    };
    EXPECT_EQ(expected, Listing(items));
}

TEST_F(DirScan, NamedItemsMissingOrOfTheWrongKindAreErrors) {
    NWildcard::CCensor censor;
    const int pair = (int)censor.Pairs.Add(NWildcard::CPair(W(root + "/")));
    NWildcard::CCensorNode &head = censor.Pairs[(unsigned)pair].Head;
    head.AddItem(true, L"top.txt", false, true, true, false);
    head.AddItem(true, L"a", false, true, false, false); // files only, but a folder
    head.AddItem(true, L"missing.txt", false, true, true, false);

    CDirItems items;
    CRecordingCallback cb;
    items.Callback = &cb;
    ASSERT_EQ(S_OK, EnumerateItems(censor, NWildcard::k_RelatPath, UString(), items));
    EXPECT_EQ((std::map<std::string, std::string>{{"top.txt", root + "/top.txt"}}), Listing(items));
    ASSERT_EQ(2u, cb.errors.size());
    EXPECT_EQ(root + "/a", cb.errors[0].first);
    EXPECT_EQ((DWORD)E_FAIL, cb.errors[0].second);
    EXPECT_EQ(root + "/missing.txt", cb.errors[1].first);
    EXPECT_NE(0u, cb.errors[1].second);
    EXPECT_EQ(2u, items.Stat.NumErrors);

    // The callback's answer decides: anything but S_OK stops the scan with that result.
    CDirItems stopped;
    CRecordingCallback stopper;
    stopper.errorResult = E_ABORT;
    stopped.Callback = &stopper;
    EXPECT_EQ(E_ABORT, EnumerateItems(censor, NWildcard::k_RelatPath, UString(), stopped));
    EXPECT_EQ(1u, stopper.errors.size());
}

TEST_F(DirScan, ExplicitPathsGetTheirFolderAsPhysicalPrefixOnly) {
    CDirItems items;
    CRecordingCallback cb;
    items.Callback = &cb;
    UStringVector paths;
    paths.Add(L"a/deep/d.txt");
    paths.Add(L"a/deep");
    paths.Add(L"outside");
    paths.Add(L"gone");
    UStringVector requested;
    ASSERT_EQ(S_OK, items.EnumerateItems2(W(root + "/"), L"in/", paths, &requested));
    const std::map<std::string, std::string> expected = {
        {"in/d.txt", root + "/a/deep/d.txt"},
        {"in/deep/", root + "/a/deep/"},
        {"in/deep/d.txt", root + "/a/deep/d.txt"},
        {"in/outside", root + "/outside"},
    };
    EXPECT_EQ(expected, Listing(items));
    ASSERT_EQ(3u, requested.Size());
    EXPECT_EQ(root + "/outside", A(requested[2]));
    ASSERT_EQ(1u, cb.errors.size());
    EXPECT_EQ(root + "/gone", cb.errors[0].first);
}

TEST(DirScanLarge, ManyEntriesReportProgressInBatches) {
    // Thousands of files: on a memory file system when there is one.
    struct stat shm;
    TempFolder tmp(stat("/dev/shm", &shm) == 0 && S_ISDIR(shm.st_mode) ? "/dev/shm" : "/tmp");
    ASSERT_TRUE(tmp.Ok());
    const std::string dir = tmp / "many";
    ASSERT_EQ(0, mkdir(dir.c_str(), 0755));
    for (int i = 0; i < 5000; i++)
        ASSERT_TRUE(WriteFile(dir + "/f" + std::to_string(i), ""));
    CDirItems items;
    CRecordingCallback cb;
    items.Callback = &cb;
    UStringVector paths;
    paths.Add(L"many");
    ASSERT_EQ(S_OK, items.EnumerateItems2(W(tmp.Path() + "/"), UString(), paths, nullptr));
    EXPECT_EQ(5001u, items.Size());
    EXPECT_EQ(2u, cb.progressCalls); // the folder, then once after 4096 entries
}

// A named link is the link itself, as a folder scan finds it; "name/" still goes through it. For a
// format without links the links are then described by their targets, and one pointing nowhere is
// an error and leaves the list, the counts following.
TEST_F(DirScan, NamedLinksAreLinksAndFollowingThemDescribesTheirTargets) {
    CDirItems items;
    CRecordingCallback cb;
    items.Callback = &cb;
    ASSERT_EQ(S_OK,
              Scan({root + "/dangling", root + "/outside", root + "/top.txt"}, NWildcard::k_RelatPath, items, false));
    ASSERT_EQ(3u, items.Size());
    for (unsigned i = 0; i < items.Size(); i++)
        EXPECT_EQ(A(items.GetLogPath(i)) != "top.txt", items.Items[i].IsSymLink()) << A(items.GetLogPath(i));
    EXPECT_TRUE(cb.errors.empty());
    EXPECT_EQ(3u, items.Stat.NumFiles);
    EXPECT_EQ(7u + 4 + 1, items.Stat.FilesSize);

    ASSERT_EQ(S_OK, items.FollowSymLinks());
    ASSERT_EQ(1u, cb.errors.size());
    EXPECT_EQ(root + "/dangling", cb.errors[0].first);
    const std::map<std::string, std::string> expected = {{"outside/", root + "/outside/"},
                                                         {"top.txt", root + "/top.txt"}};
    EXPECT_EQ(expected, Listing(items));
    EXPECT_EQ(1u, items.Stat.NumDirs);
    EXPECT_EQ(1u, items.Stat.NumFiles);
    EXPECT_EQ(1u, items.Stat.FilesSize);
    EXPECT_EQ(1u, items.Stat.NumErrors);

    CDirItems throughLink;
    ASSERT_EQ(S_OK, Scan({root + "/link-to-dir/"}, NWildcard::k_RelatPath, throughLink, false));
    ASSERT_GE(throughLink.Size(), 1u);
    EXPECT_TRUE(throughLink.IsDir(0));
}
