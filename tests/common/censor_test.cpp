#include <gtest/gtest.h>
#include <locale.h>

#include <memory>
#include <string>

#include "common/Wildcard.h"
#include "test_support.h"

using namespace NWildcard;
using testsupport::Join;

static UStringVector Parts(const wchar_t *path) {
    UStringVector v;
    SplitPathToParts(UString(path), v);
    return v;
}

class Censor : public ::testing::Test {
protected:
    void SetUp() override {
        setlocale(LC_ALL, "C.UTF-8");
        g_CaseSensitive = true;
    }
    void TearDown() override { g_CaseSensitive = true; }
};

TEST_F(Censor, PathSplitting) {
    struct {
        const wchar_t *path, *parts, *prefix2, *name2, *prefixSmart, *nameSmart;
    } cases[] = {
        {L"", L"", L"", L"", L"", L""},
        {L"a", L"a", L"", L"a", L"", L"a"},
        {L"a/b", L"a|b", L"a/", L"b", L"a/", L"b"},
        {L"a/b/", L"a|b|", L"a/b/", L"", L"a/", L"b/"},
        {L"/a", L"|a", L"/", L"a", L"/", L"a"},
        {L"/", L"|", L"/", L"", L"", L"/"},
        {L"a//", L"a||", L"a//", L"", L"a/", L"/"},
        {L"//", L"||", L"//", L"", L"/", L"/"},
        {L"a//b", L"a||b", L"a//", L"b", L"a//", L"b"},
    };
    for (auto &c : cases) {
        EXPECT_EQ(Join(Parts(c.path)), c.parts) << c.path;
        UString prefix(L"x"), name(L"y");
        SplitPathToParts_2(UString(c.path), prefix, name);
        EXPECT_EQ(prefix, c.prefix2) << c.path;
        EXPECT_EQ(name, c.name2) << c.path;
        EXPECT_EQ(ExtractDirPrefixFromPath(UString(c.path)), c.prefix2) << c.path;
        EXPECT_EQ(ExtractFileNameFromPath(UString(c.path)), c.name2) << c.path;
        SplitPathToParts_Smart(UString(c.path), prefix, name);
        EXPECT_EQ(prefix, c.prefixSmart) << c.path;
        EXPECT_EQ(name, c.nameSmart) << c.path;
    }
}

TEST_F(Censor, DrivePrefixes) {
    EXPECT_TRUE(IsDriveColonName(L"c:"));
    EXPECT_TRUE(IsDriveColonName(L"Z:"));
    EXPECT_FALSE(IsDriveColonName(L"1:"));
    EXPECT_FALSE(IsDriveColonName(L"c:x"));
    EXPECT_FALSE(IsDriveColonName(L""));
    EXPECT_EQ(GetNumPrefixParts_if_DrivePath(Parts(L"c:/x")), 1u);
    EXPECT_EQ(GetNumPrefixParts_if_DrivePath(Parts(L"//?/d:/x")), 4u);
    EXPECT_EQ(GetNumPrefixParts_if_DrivePath(Parts(L"//?/x")), 0u);
    EXPECT_EQ(GetNumPrefixParts_if_DrivePath(Parts(L"")), 0u);
}

TEST_F(Censor, ItemCheckPathWindows) {
    struct {
        const wchar_t *item;
        bool recursive, forFile, forDir, wildcard;
        const wchar_t *path;
        bool isFile, match;
    } cases[] = {
        // Not recursive, for files and folders: the whole path, or a folder prefix of it.
        {L"x.txt", false, true, true, false, L"x.txt", true, true},
        {L"x.txt", false, true, true, false, L"d/x.txt", true, false},
        {L"d", false, true, true, false, L"d/x.txt", true, true},
        {L"d", false, true, true, false, L"d/e", false, true},
        // Recursive: any window, the last one included for files.
        {L"x.txt", true, true, true, false, L"d/x.txt", true, true},
        {L"x.txt", true, true, true, false, L"a/x.txt/b", false, true},
        {L"d/e", true, true, true, false, L"a/d/e/f", true, true},
        // Folder-only item: the files inside, never a file of that name.
        {L"docs", false, false, true, false, L"docs/a.txt", true, true},
        {L"docs", false, false, true, false, L"docs", true, false},
        {L"docs", false, false, true, false, L"docs", false, true},
        {L"docs", true, false, true, false, L"a/docs/b", true, true},
        {L"docs", true, false, true, false, L"a/docs", true, false},
        // File-only item: the whole path, or the end of it when recursive.
        {L"x", false, true, false, false, L"x", true, true},
        {L"x", false, true, false, false, L"x", false, false},
        {L"x", false, true, false, false, L"x/y", true, false},
        {L"x", true, true, false, false, L"a/b/x", true, true},
        {L"x", true, true, false, false, L"x/b", true, false},
        // Wildcards only with wildcard matching.
        {L"*.txt", false, true, true, true, L"a.txt", true, true},
        {L"*.txt", false, true, true, false, L"a.txt", true, false},
        {L"*.txt", false, true, true, false, L"*.txt", true, true},
        {L"a/b/c", false, true, true, false, L"a/b", true, false},
    };
    for (auto &c : cases) {
        CItem item;
        SplitPathToParts(UString(c.item), item.PathParts);
        item.Recursive = c.recursive;
        item.ForFile = c.forFile;
        item.ForDir = c.forDir;
        item.WildcardMatching = c.wildcard;
        EXPECT_EQ(item.CheckPath(Parts(c.path), c.isFile), c.match)
            << c.item << " r" << c.recursive << " f" << c.forFile << " d" << c.forDir << " w" << c.wildcard << " "
            << c.path << (c.isFile ? " file" : " folder");
    }
}

// "name{...}" per sub-node, "+parts:flags" / "-parts:flags" per item; flags F file, D folder,
// R recursive, W wildcard matching.
static std::wstring DescribeItem(const CItem &item, wchar_t sign) {
    std::wstring s(1, sign);
    s += Join(item.PathParts, L"/") + L":";
    if (item.ForFile) s += L'F';
    if (item.ForDir) s += L'D';
    if (item.Recursive) s += L'R';
    if (item.WildcardMatching) s += L'W';
    return s;
}

static std::wstring DescribeNode(const CCensorNode &node) {
    std::wstring s;
    auto add = [&s](const std::wstring &t) {
        if (!s.empty()) s += L' ';
        s += t;
    };
    FOR_VECTOR(i, node.IncludeItems)
    add(DescribeItem(node.IncludeItems[i], L'+'));
    FOR_VECTOR(i, node.ExcludeItems)
    add(DescribeItem(node.ExcludeItems[i], L'-'));
    FOR_VECTOR(i, node.SubNodes) {
        const CCensorNode &sub = node.SubNodes[i];
        EXPECT_EQ(sub.GetParent(), &node);
        add(std::wstring(sub.Name.Ptr()) + L"{" + DescribeNode(sub) + L"}");
    }
    return s;
}

static std::wstring DescribeCensor(const CCensor &censor) {
    std::wstring s;
    FOR_VECTOR(i, censor.Pairs) {
        if (i != 0) s += L" ; ";
        s += L"[" + std::wstring(censor.Pairs[i].Prefix.Ptr()) + L"] " + DescribeNode(censor.Pairs[i].Head);
    }
    return s;
}

TEST_F(Censor, PathModesPlacePatterns) {
    struct {
        ECensorPathMode mode;
        const wchar_t *path;
        bool recursive, wildcard;
        const wchar_t *tree;
    } cases[] = {
        {k_RelatPath, L"dir/sub/*.txt", false, true, L"[] dir{sub{+*.txt:FDW}}"},
        {k_RelatPath, L"/home/u/x.txt", false, true, L"[/home/u/] +x.txt:FD"},
        {k_FullPath, L"/home/u/x.txt", false, true, L"[/] home{u{+x.txt:FD}}"},
        {k_AbsPath, L"/home/u/x.txt", false, true, L"[] {home{u{+x.txt:FD}}}"},
        {k_FullPath, L"home/u/x.txt", false, true, L"[] home{u{+x.txt:FD}}"},
        {k_RelatPath, L"../a*/b.txt", false, true, L"[../] +a*/b.txt:FDW"},
        {k_RelatPath, L"../a*/b.txt", false, false, L"[../a*/] +b.txt:FD"},
        {k_RelatPath, L"/a*/b/c", false, true, L"[/] +a*/b/c:FDW"},
        {k_RelatPath, L"docs/", false, true, L"[] +docs:D"},
        {k_RelatPath, L"x", true, true, L"[] +x:FDR"},
        {k_RelatPath, L"/", true, false, L"[/] +*:FDW"},
        {k_RelatPath, L"//", false, false, L"[/] +*:FDW"},
        {k_RelatPath, L"a/..", true, false, L"[a/../] +*:FDW"},
        {k_RelatPath, L"a/./b/c", false, false, L"[a/./b/] +c:FD"},
        {k_FullPath, L"/x/../y", false, false, L"[/x/../] +y:FD"},
        // The '?' of "//?/" names a node instead of keeping the item whole.
        {k_AbsPath, L"//?/c:/x*", false, true, L"[] {{?{c:{+x*:FDW}}}}"},
        {k_RelatPath, L"//?/c:/x*", false, true, L"[//] +?/c:/x*:FDW"},
    };
    for (auto &c : cases) {
        CCensor censor;
        censor.AddItem(c.mode, true, UString(c.path), c.recursive, c.wildcard);
        EXPECT_EQ(DescribeCensor(censor), c.tree) << c.mode << " " << c.path;
    }
}

TEST_F(Censor, EmptyPathThrows) {
    CCensor censor;
    try {
        censor.AddItem(k_RelatPath, true, UString(), false, true);
        FAIL() << "no exception";
    } catch (const char *s) {
        EXPECT_STREQ(s, "Empty file path");
    }
}

TEST_F(Censor, QueuedPathsArriveInOrderAndPairsShareAPrefix) {
    g_CaseSensitive = false;
    CCensor censor;
    censor.AddPreItem(true, UString(L"/A/x"), false, true);
    censor.AddPreItem(false, UString(L"/a/y*"), true, true);
    censor.AddPreItem(true, UString(L"z"), false, true);
    censor.AddPathsToCensor(k_RelatPath);
    EXPECT_TRUE(censor.CensorPaths.IsEmpty());
    EXPECT_EQ(DescribeCensor(censor), L"[/A/] +x:FD -y*:FDRW ; [] +z:FD");
    EXPECT_EQ(censor.FindPrefix(UString(L"/a/")), 0);
    EXPECT_EQ(censor.FindPrefix(UString(L"/b/")), -1);
    EXPECT_FALSE(censor.AllAreRelative());
}

TEST_F(Censor, CheckPathVectDecides) {
    struct {
        const wchar_t *includes; // ';'-separated, a leading '^' marks a recursive pattern
        const wchar_t *excludes;
        bool caseSensitive;
        const wchar_t *path;
        bool isFile, found, include;
    } cases[] = {
        {L"x.txt", L"", true, L"x.txt", true, true, true},
        {L"x.txt", L"", true, L"d/x.txt", true, false, true},
        {L"^x.txt", L"", true, L"d/x.txt", true, true, true},
        {L"docs/", L"", true, L"docs/a.txt", true, true, true},
        {L"docs/", L"", true, L"docs/sub/b", true, true, true},
        {L"docs/", L"", true, L"docs", true, false, true},
        {L"docs/", L"", true, L"docs", false, true, true},
        {L"dir/sub/*.txt", L"", true, L"dir/sub/a.txt", true, true, true},
        {L"dir/sub/*.txt", L"", true, L"dir/sub/a.doc", true, false, true},
        {L"dir/sub/*.txt", L"", true, L"dir/a.txt", true, false, true},
        {L"^*", L"^*.tmp", true, L"a/b.tmp", true, true, false},
        {L"^*", L"^*.tmp", true, L"a/b.txt", true, true, true},
        {L"*.txt", L"a*", true, L"a.txt", true, true, false},
        {L"^a/*", L"a/b/c", true, L"a/b/c", true, true, false},
        {L"^a/*", L"a/b/c", true, L"a/b/d", true, true, true},
        {L"Dir/X.txt", L"", true, L"dir/x.TXT", true, false, true},
        {L"Dir/X.txt", L"", false, L"dir/x.TXT", true, true, true},
        {L"", L"^*.o", true, L"a.o", true, true, false},
    };
    for (auto &c : cases) {
        g_CaseSensitive = c.caseSensitive;
        CCensor censor;
        for (int pass = 0; pass < 2; pass++) {
            UString list(pass == 0 ? c.includes : c.excludes);
            while (!list.IsEmpty()) {
                int pos = list.Find(L';');
                UString p = pos < 0 ? list : list.Left((unsigned)pos);
                list = pos < 0 ? UString() : UString(list.Ptr((unsigned)pos + 1));
                const bool recursive = p[0] == '^';
                if (recursive) p.Delete(0);
                censor.AddItem(k_RelatPath, pass == 0, p, recursive, true);
            }
        }
        ASSERT_EQ(censor.Pairs.Size(), 1u) << c.includes;
        bool include = !c.include;
        EXPECT_EQ(censor.Pairs[0].Head.CheckPathVect(Parts(c.path), c.isFile, include), c.found)
            << c.includes << " / " << c.excludes << " : " << c.path;
        EXPECT_EQ(include, c.include) << c.includes << " / " << c.excludes << " : " << c.path;
    }
}

TEST_F(Censor, CheckPathToRootWalksUpWithNames) {
    CCensor censor;
    censor.AddItem(k_RelatPath, true, UString(L"*.txt"), true, true);
    censor.AddItem(k_RelatPath, true, UString(L"a/b/x"), false, true);
    const CCensorNode &root = censor.Pairs[0].Head;
    const CCensorNode &b = root.SubNodes[0].SubNodes[0];

    UStringVector parts = Parts(L"y.txt");
    EXPECT_TRUE(b.CheckPathToRoot(true, parts, true));
    EXPECT_EQ(Join(parts), L"a|b|y.txt");

    parts = Parts(L"y.doc");
    EXPECT_FALSE(b.CheckPathToRoot(true, parts, true));
    parts = Parts(L"y.txt");
    EXPECT_FALSE(b.CheckPathToRoot(false, parts, true));
    parts = Parts(L"x");
    EXPECT_TRUE(b.CheckPathToRoot(true, parts, true));
    EXPECT_EQ(Join(parts), L"x");
}

TEST_F(Censor, CopiedTreeOwnsItsParentLinks) {
    auto original = std::make_unique<CCensor>();
    original->AddItem(k_RelatPath, true, UString(L"a/b/x"), false, true);
    original->AddItem(k_RelatPath, true, UString(L"*.txt"), true, true);
    CCensor copy(*original);
    CCensor assigned;
    assigned = *original;
    original.reset();

    for (CCensor *c : {&copy, &assigned}) {
        // DescribeNode checks every sub-node's parent link.
        EXPECT_EQ(DescribeCensor(*c), L"[] +*.txt:FDRW a{b{+x:FD}}");
        UStringVector parts = Parts(L"y.txt");
        EXPECT_TRUE(c->Pairs[0].Head.SubNodes[0].SubNodes[0].CheckPathToRoot(true, parts, true));
    }
}

TEST_F(Censor, NodeSummaries) {
    struct {
        const wchar_t *include;
        bool recursive, wildcard;
        const wchar_t *exclude;
        bool allAllowed, needSubDirs, thereAreIncludes;
    } cases[] = {
        {L"*", false, true, nullptr, true, false, true},    {L"*", true, true, nullptr, true, true, true},
        {L"*", false, false, nullptr, false, false, true},  {L"*", false, true, L"*.tmp", false, false, true},
        {L"*.*", false, true, nullptr, false, false, true}, {L"a*/b", false, true, nullptr, false, true, true},
        {L"a/b", false, true, nullptr, false, false, true}, {L"/", false, false, nullptr, true, false, true},
        {nullptr, false, false, L"x", false, false, false},
    };
    for (auto &c : cases) {
        CCensor censor;
        if (c.include) censor.AddItem(k_RelatPath, true, UString(c.include), c.recursive, c.wildcard);
        if (c.exclude) censor.AddItem(k_RelatPath, false, UString(c.exclude), false, true);
        const CCensorNode &head = censor.Pairs.Back().Head;
        const wchar_t *label = c.include ? c.include : c.exclude;
        EXPECT_EQ(head.AreAllAllowed(), c.allAllowed) << label;
        EXPECT_EQ(head.NeedCheckSubDirs(), c.needSubDirs) << label;
        EXPECT_EQ(head.AreThereIncludeItems(), c.thereAreIncludes) << label;
    }
}

TEST_F(Censor, ExcludesOfTheEmptyPrefixReachEveryPair) {
    CCensor censor;
    censor.AddItem(k_RelatPath, true, UString(L"/a/f"), true, true);
    censor.AddItem(k_RelatPath, true, UString(L"/b/g"), true, true);
    censor.AddItem(k_RelatPath, false, UString(L"*.tmp"), true, true);
    censor.AddItem(k_RelatPath, false, UString(L"x/y.log"), false, true);

    const UStringVector tmp = Parts(L"f/q.tmp");
    bool include = false;
    EXPECT_TRUE(censor.Pairs[0].Head.CheckPathVect(tmp, true, include));
    EXPECT_TRUE(include);

    censor.ExtendExclude();
    EXPECT_EQ(DescribeCensor(censor), L"[/a/] +f:FDR -*.tmp:FDRW x{-y.log:FD} ; [/b/] +g:FDR -*.tmp:FDRW "
                                      L"x{-y.log:FD} ; [] -*.tmp:FDRW x{-y.log:FD}");
    for (unsigned i = 0; i < 2; i++) {
        EXPECT_TRUE(censor.Pairs[i].Head.CheckPathVect(tmp, true, include));
        EXPECT_FALSE(include);
        EXPECT_TRUE(censor.Pairs[i].Head.CheckPathVect(Parts(L"x/y.log"), true, include));
        EXPECT_FALSE(include);
    }

    // Without a pair of the empty prefix nothing moves.
    CCensor noEmpty;
    noEmpty.AddItem(k_RelatPath, true, UString(L"/a/f"), true, true);
    noEmpty.AddItem(k_RelatPath, false, UString(L"/b/*.tmp"), true, true);
    noEmpty.ExtendExclude();
    EXPECT_EQ(DescribeCensor(noEmpty), L"[/a/] +f:FDR ; [/b/] -*.tmp:FDRW");
}

TEST_F(Censor, NodeAddItem2SplitsOffTheFolderMark) {
    CCensorNode node;
    node.AddItem2(true, UString(), false, true);
    node.AddItem2(true, UString(L"docs/"), false, false);
    node.AddItem2(false, UString(L"a/b*"), true, true);
    EXPECT_EQ(DescribeNode(node), L"+docs:D a{-b*:FDRW}");
    EXPECT_EQ(node.FindSubNode(UString(L"a")), 0);
    EXPECT_EQ(node.FindSubNode(UString(L"A")), -1);
}
