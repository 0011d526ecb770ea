// The folder trees built over an opened archive: from item paths (real tar and zip archives) and
// from parent links (an in-memory handler, as no format of the plug-in reports them).
#include <gtest/gtest.h>

#include <malloc.h>

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer's allocator keeps its own books; its header is not always installed.
extern "C" size_t __sanitizer_get_current_allocated_bytes(void);
#endif

#include "archive/agent_fixture.h"
#include "archive/ui-common/OpenArchive.h"
#include "common/Wildcard.h"

using namespace agentfx;

namespace {

class ProxyTree : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_EQ(LoadRegistry(), S_OK); }
    TempDir dir;
};

std::string DirName(const CProxyArc &p, unsigned d) {
    return A(p.Dirs[d].Name);
}

size_t AllocatedBytes() {
#if defined(__SANITIZE_ADDRESS__)
    return __sanitizer_get_current_allocated_bytes();
#else
    return mallinfo2().uordblks;
#endif
}

} // namespace

TEST_F(ProxyTree, PathsMakeFoldersAndAFolderItemJoinsItsFolder) {
    const std::string arc = dir / "t.tar";
    ASSERT_TRUE(MakeTar(arc, {{"a/b/c.txt", "hello"}, {"a/", ""}, {"top.txt", "x"}}));
    COpened o = OpenArchive(arc);
    ASSERT_EQ(o.result, S_OK);
    const CProxyArc *p = o.agent->_proxy.get();
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(o.agent->_proxy2, nullptr);

    const CProxyDir &root = p->Dirs[0];
    ASSERT_EQ(root.SubDirs.Size(), 1u);
    const CProxyDir &a = p->Dirs[root.SubDirs[0]];
    EXPECT_EQ(DirName(*p, root.SubDirs[0]), "a");
    EXPECT_EQ(a.ArcIndex, 1); // the folder item of a
    ASSERT_EQ(a.SubDirs.Size(), 1u);
    const CProxyDir &b = p->Dirs[a.SubDirs[0]];
    EXPECT_EQ(DirName(*p, a.SubDirs[0]), "b");
    EXPECT_EQ(b.ArcIndex, -1);
    ASSERT_EQ(b.SubFiles.Size(), 1u);
    EXPECT_EQ(b.SubFiles[0], 0u);
    EXPECT_EQ(A(p->Files[0].Name, p->Files[0].NameLen), "c.txt");
    ASSERT_EQ(root.SubFiles.Size(), 1u);
    EXPECT_EQ(root.SubFiles[0], 2u);

    EXPECT_EQ(root.NumSubDirs, 2u);
    EXPECT_EQ(root.NumSubFiles, 2u);
    EXPECT_EQ(root.Size, 6u);
    EXPECT_EQ(A(p->GetDirPath_as_Prefix(a.SubDirs[0])), "a/b/");
    UStringVector parts;
    p->GetDirPathParts(a.SubDirs[0], parts);
    ASSERT_EQ(parts.Size(), 2u);
    EXPECT_EQ(A(parts[0]), "a");
    EXPECT_EQ(A(parts[1]), "b");
    EXPECT_EQ(A(p->GetDirPath_as_Prefix(0)), "");
}

TEST_F(ProxyTree, PathsDeeperThan1024LevelsEndInOneLongPathFolder) {
    std::string path;
    for (int i = 0; i < 1030; i++)
        path += "d/";
    path += "leaf.txt";
    const std::string arc = dir / "deep.tar";
    ASSERT_TRUE(MakeTar(arc, {{path, "z"}}));
    COpened o = OpenArchive(arc);
    ASSERT_EQ(o.result, S_OK);
    const CProxyArc *p = o.agent->_proxy.get();
    unsigned d = 0;
    for (int level = 0; level < 1024; level++) {
        ASSERT_EQ(p->Dirs[d].SubDirs.Size(), 1u) << level;
        d = p->Dirs[d].SubDirs[0];
        ASSERT_EQ(DirName(*p, d), "d");
    }
    ASSERT_EQ(p->Dirs[d].SubDirs.Size(), 1u);
    d = p->Dirs[d].SubDirs[0];
    EXPECT_EQ(DirName(*p, d), "[LONG_PATH]");
    EXPECT_EQ(p->Dirs[d].SubDirs.Size(), 0u);
    ASSERT_EQ(p->Dirs[d].SubFiles.Size(), 1u);
    EXPECT_EQ(A(p->Files[0].Name), "leaf.txt");
}

TEST_F(ProxyTree, SubFoldersAreSortedWhateverTheArchiveOrder) {
    // Reverse order and mixed case: every folder is found again by name.
    std::vector<CEntry> entries;
    for (int i = 3000; i > 0; i--)
        entries.push_back({(i % 2 ? "D" : "d") + std::to_string(i) + "/f", "x"});
    const std::string arc = dir / "many.tar";
    ASSERT_TRUE(MakeTar(arc, entries));
    COpened o = OpenArchive(arc);
    ASSERT_EQ(o.result, S_OK);
    const CProxyArc *p = o.agent->_proxy.get();
    const CProxyDir &root = p->Dirs[0];
    ASSERT_EQ(root.SubDirs.Size(), 3000u);
    for (unsigned i = 1; i < root.SubDirs.Size(); i++)
        ASSERT_LT(CompareFileNames(p->Dirs[root.SubDirs[i - 1]].Name, p->Dirs[root.SubDirs[i]].Name), 0);
    for (int i = 1; i <= 3000; i++) {
        const std::string name = (i % 2 ? "D" : "d") + std::to_string(i);
        const int found = p->FindSubDir(0, W(name));
        ASSERT_GE(found, 0) << name;
        EXPECT_EQ(DirName(*p, (unsigned)found), name);
    }
    EXPECT_EQ(p->FindSubDir(0, L"nothing"), -1);
}

TEST_F(ProxyTree, FolderCrcSumNeedsEveryNonEmptyFileToCarryACrc) {
    // The plug-in's handlers give no CRCs: an empty file needs none, any other file clears the sum.
    const std::string emptyOnly = dir / "e.tar";
    ASSERT_TRUE(MakeTar(emptyOnly, {{"d/empty", ""}}));
    COpened e = OpenArchive(emptyOnly);
    ASSERT_EQ(e.result, S_OK);
    EXPECT_TRUE(e.agent->_proxy->Dirs[0].CrcIsDefined);

    const std::string withData = dir / "f.tar";
    ASSERT_TRUE(MakeTar(withData, {{"d/empty", ""}, {"d/e/five", "12345"}, {"g/other", ""}}));
    COpened f = OpenArchive(withData);
    ASSERT_EQ(f.result, S_OK);
    const CProxyArc *p = f.agent->_proxy.get();
    const unsigned d = p->Dirs[0].SubDirs[0];
    EXPECT_FALSE(p->Dirs[p->Dirs[d].SubDirs[0]].CrcIsDefined);
    EXPECT_FALSE(p->Dirs[d].CrcIsDefined);
    EXPECT_FALSE(p->Dirs[0].CrcIsDefined);
    EXPECT_TRUE(p->Dirs[p->Dirs[0].SubDirs[1]].CrcIsDefined);

    // CRCs that are there add up, wrapping.
    CMemHandler *h = new CMemHandler;
    CMyComPtr<IInArchive> holder = h;
    for (UInt32 crc : {0xF0000000u, 0x20000001u}) {
        CMemItem it;
        it.path = crc == 0xF0000000u ? L"d/one" : L"d/two";
        it.size = 1;
        it.crcDefined = true;
        it.crc = crc;
        h->items.push_back(it);
    }
    CArc arc;
    FillArc(arc, h, false);
    CProxyArc sums;
    ASSERT_EQ(sums.Load(arc, nullptr), S_OK);
    EXPECT_TRUE(sums.Dirs[0].CrcIsDefined);
    EXPECT_EQ(sums.Dirs[0].Crc, 0x10000001u);
}

TEST_F(ProxyTree, RealIndicesOfAFolderCoverItsItemAndSubtreeInAscendingOrder) {
    const std::string arc = dir / "r.tar";
    ASSERT_TRUE(MakeTar(arc, {{"z/late", "1"}, {"a/x", "2"}, {"a/", ""}, {"a/s/y", "3"}, {"other", "4"}}));
    COpened o = OpenArchive(arc);
    ASSERT_EQ(o.result, S_OK);
    const CProxyArc *p = o.agent->_proxy.get();
    // Root listing: a, z (sub-folders by name), then other.
    const UInt32 positions[] = {0};
    CRecordVector<UInt32> real;
    p->GetRealIndices(0, positions, 1, real);
    ASSERT_EQ(real.Size(), 3u);
    EXPECT_EQ(real[0], 1u);
    EXPECT_EQ(real[1], 2u);
    EXPECT_EQ(real[2], 3u);
    EXPECT_EQ(p->GetRealIndex(0, 0), 2);  // folder a's own item
    EXPECT_EQ(p->GetRealIndex(0, 1), -1); // z has no item
    EXPECT_EQ(p->GetRealIndex(0, 2), 4);
}

TEST_F(ProxyTree, PathOfAnotherTypeThanTextEndsTheBuild) {
    CMemHandler *h = new CMemHandler;
    CMyComPtr<IInArchive> holder = h;
    h->items.resize(1);
    h->pathIsNumber = true;
    CArc arc;
    FillArc(arc, h, false);
    CProxyArc p;
    EXPECT_EQ(p.Load(arc, nullptr), E_FAIL);
}

// ---------- parent links ----------

namespace {

CMemItem Item(const wchar_t *name, int parent, bool isDir = false, UInt64 size = 0) {
    CMemItem it;
    it.name = name;
    it.parent = parent;
    it.isDir = isDir;
    it.size = size;
    return it;
}

} // namespace

TEST(ProxyTree2, ParentLinksMakeFoldersStreamsAndNames) {
    CMemHandler *h = new CMemHandler;
    CMyComPtr<IInArchive> holder = h;
    h->items.push_back(Item(L"dir", -1, true));  // 0
    h->items.push_back(Item(L"f", 0, false, 5)); // 1
    h->items.push_back(Item(L"", 0, false, 1));  // 2: no name
    CMemItem s = Item(L"ads", 0, false, 7);      // 3: stream of dir
    s.isAlt = true;
    h->items.push_back(s);
    CMemItem loose = Item(L"loose", -1, false, 2); // 4: stream without host
    loose.isAlt = true;
    h->items.push_back(loose);
    h->items.push_back(Item(L"top", -1, false, 3)); // 5

    CArc arc;
    FillArc(arc, h, true);
    CProxyArc2 p;
    ASSERT_EQ(p.Load(arc, nullptr), S_OK);

    ASSERT_EQ(p.Dirs[0].Items.Size(), 2u);
    EXPECT_EQ(p.Dirs[0].Items[0], 0u);
    EXPECT_EQ(p.Dirs[0].Items[1], 5u);
    ASSERT_EQ(p.Dirs[1].Items.Size(), 1u);
    EXPECT_EQ(p.Dirs[1].Items[0], 4u);
    bool isAlt = false;
    EXPECT_EQ(A(p.GetDirPath_as_Prefix(1, isAlt)), ":");
    EXPECT_TRUE(isAlt);

    const int dirFolder = p.Files[0].DirIndex;
    ASSERT_GE(dirFolder, 2);
    EXPECT_EQ(A(p.GetDirPath_as_Prefix((unsigned)dirFolder, isAlt)), "dir/");
    EXPECT_FALSE(isAlt);
    ASSERT_EQ(p.Dirs[(unsigned)dirFolder].Items.Size(), 2u);
    EXPECT_EQ(A(p.Files[2].Name), "[Content]");
    // A wide raw name is borrowed from the handler, not copied.
    EXPECT_EQ(p.Files[1].Name, h->items[1].name.c_str());

    const int altFolder = p.Files[0].AltDirIndex;
    ASSERT_GE(altFolder, 2);
    EXPECT_EQ(A(p.GetDirPath_as_Prefix((unsigned)altFolder, isAlt)), "dir:");
    EXPECT_TRUE(p.IsAltDir((unsigned)altFolder));
    EXPECT_FALSE(p.IsAltDir((unsigned)dirFolder));
    EXPECT_TRUE(p.IsAltDir(1));

    // Sums: folder dir holds f and the nameless item; its stream is not counted there.
    EXPECT_EQ(p.Dirs[(unsigned)dirFolder].Size, 6u);
    EXPECT_EQ(p.Dirs[0].Size, 9u);
    EXPECT_EQ(p.Dirs[0].NumSubDirs, 1u);
    EXPECT_EQ(p.Dirs[0].NumSubFiles, 3u);

    isAlt = false;
    UStringVector parts;
    p.GetDirPathParts((unsigned)altFolder, parts, isAlt);
    EXPECT_TRUE(isAlt);
    ASSERT_EQ(parts.Size(), 1u);
    EXPECT_EQ(A(parts[0]), "dir");

    // The item, its children and, when asked, its streams.
    const UInt32 pos[] = {0};
    CRecordVector<UInt32> real;
    p.GetRealIndices(0, pos, 1, false, real);
    EXPECT_EQ(real.Size(), 3u);
    p.GetRealIndices(0, pos, 1, true, real);
    ASSERT_EQ(real.Size(), 4u);
    EXPECT_EQ(real[3], 3u);

    EXPECT_EQ(p.FindItem(0, L"DIR", true), g_CaseSensitive ? -1 : 0);
    EXPECT_EQ(p.FindItem(0, L"top", true), -1);
    EXPECT_EQ(p.FindItem(0, L"top", false), 1);
}

TEST(ProxyTree2, ParentThatIsNoFolderOrOutOfRangeEndsTheBuild) {
    {
        CMemHandler *h = new CMemHandler;
        CMyComPtr<IInArchive> holder = h;
        h->items.push_back(Item(L"file", -1));
        h->items.push_back(Item(L"child", 0));
        CArc arc;
        FillArc(arc, h, true);
        CProxyArc2 p;
        EXPECT_EQ(p.Load(arc, nullptr), E_FAIL);
    }
    {
        CMemHandler *h = new CMemHandler;
        CMyComPtr<IInArchive> holder = h;
        h->items.push_back(Item(L"x", -1, true));
        h->parentOverride = 1000;
        CArc arc;
        FillArc(arc, h, true);
        CProxyArc2 p;
        EXPECT_EQ(p.Load(arc, nullptr), E_FAIL);
    }
}

TEST(ProxyTree2, ParentCycleLeavesItemsOutOfTheTreeAndPathWalksEnd) {
    CMemHandler *h = new CMemHandler;
    CMyComPtr<IInArchive> holder = h;
    h->items.push_back(Item(L"a", 1, true));
    h->items.push_back(Item(L"b", 0, true));
    CArc arc;
    FillArc(arc, h, true);
    CProxyArc2 p;
    ASSERT_EQ(p.Load(arc, nullptr), S_OK);
    EXPECT_EQ(p.Dirs[0].Items.Size(), 0u);
    UStringVector parts;
    bool isAlt;
    p.GetDirPathParts((unsigned)p.Files[0].DirIndex, parts, isAlt);
    EXPECT_LE(parts.Size(), 3u);
}

// A chain of folders as deep as the handler likes: the tree grows with the number of folders, not with the square of
// the depth, and the path of the deepest folder is still whole.
TEST(ProxyTree2, DeepChainTakesMemoryInProportionToItsLength) {
    const unsigned kDepth = 10000;
    CMemHandler *h = new CMemHandler;
    CMyComPtr<IInArchive> holder = h;
    for (unsigned i = 0; i < kDepth; i++)
        h->items.push_back(Item(L"d", (int)i - 1, true));
    CArc arc;
    FillArc(arc, h, true);
    CProxyArc2 p;
    const size_t before = AllocatedBytes();
    ASSERT_EQ(p.Load(arc, nullptr), S_OK);
    EXPECT_LT(AllocatedBytes() - before, (size_t)16 << 20);

    const unsigned deepest = (unsigned)p.Files[kDepth - 1].DirIndex;
    bool isAlt = true;
    const UString prefix = p.GetDirPath_as_Prefix(deepest, isAlt);
    EXPECT_FALSE(isAlt);
    ASSERT_EQ(prefix.Len(), 2 * kDepth);
    EXPECT_EQ(A(prefix.Ptr(prefix.Len() - 4)), "d/d/");
    UStringVector parts;
    p.GetDirPathParts(deepest, parts, isAlt);
    EXPECT_EQ(parts.Size(), kDepth);
}
