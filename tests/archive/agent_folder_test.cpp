// Folders of an opened archive as the panel sees them: listings (plain and flat), cells, columns,
// folder properties, sorting, binding, alternate streams and extraction of selected rows.
#include <gtest/gtest.h>

#include "archive/agent_fixture.h"
#include "common/Wildcard.h"

using namespace agentfx;
using NWindows::NCOM::CPropVariant;

namespace {

class AgentFolder : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_EQ(LoadRegistry(), S_OK); }
    TempDir dir;

    COpened Tar(const std::vector<CEntry> &entries) {
        const std::string arc = dir / "t.tar";
        EXPECT_TRUE(MakeTar(arc, entries));
        COpened o = OpenArchive(arc);
        EXPECT_EQ(o.result, S_OK);
        return o;
    }
};

std::vector<std::string> Prefixes(IFolderFolder *folder) {
    std::vector<std::string> v;
    UInt32 n = 0;
    folder->GetNumberOfItems(&n);
    for (UInt32 i = 0; i < n; i++)
        v.push_back(StrProp(folder, i, kpidPrefix));
    return v;
}

UInt64 Num(IFolderFolder *folder, UInt32 index, PROPID propID) {
    CPropVariant prop;
    folder->GetProperty(index, propID, &prop);
    if (prop.vt == VT_UI4) return prop.ulVal;
    if (prop.vt == VT_UI8) return prop.uhVal.QuadPart;
    return 999999;
}

std::string FolderText(IFolderFolder *folder, PROPID propID) {
    CPropVariant prop;
    if (folder->GetFolderProperty(propID, &prop) != S_OK) return "<fail>";
    if (prop.vt == VT_EMPTY) return "<empty>";
    if (prop.vt != VT_BSTR) return "<type>";
    return A(prop.bstrVal);
}

Int32 Compare(IFolderFolder *folder, UInt32 a, UInt32 b, PROPID propID, Int32 raw = 0) {
    CMyComPtr<IFolderCompare> cmp;
    folder->QueryInterface(IID_IFolderCompare, (void **)&cmp);
    const Int32 r = cmp->CompareItems(a, b, propID, raw);
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

CMemItem PathItem(const wchar_t *path, UInt64 size, bool isDir = false) {
    CMemItem it;
    it.path = path;
    it.size = size;
    it.isDir = isDir;
    return it;
}

CMemItem TreeItem(const wchar_t *name, int parent, bool isDir = false, UInt64 size = 0, bool isAlt = false) {
    CMemItem it;
    it.name = name;
    it.parent = parent;
    it.isDir = isDir;
    it.size = size;
    it.isAlt = isAlt;
    return it;
}

} // namespace

TEST_F(AgentFolder, ListingShowsSubFoldersByNameThenFilesInArchiveOrder) {
    COpened o = Tar({{"zeta.txt", "1"}, {"b/in", "12"}, {"alpha.txt", "123"}, {"A/deep/x", "1234"}});
    EXPECT_EQ(Listing(o.root), (std::vector<std::string>{"A/", "b/", "zeta.txt", "alpha.txt"}));

    // Folder cells are the tree's sums; file cells come from the handler.
    EXPECT_EQ(Num(o.root, 0, kpidSize), 4u);
    EXPECT_EQ(Num(o.root, 0, kpidNumSubDirs), 1u);
    EXPECT_EQ(Num(o.root, 0, kpidNumSubFiles), 1u);
    EXPECT_EQ(Num(o.root, 3, kpidSize), 3u);
    CPropVariant subDirs;
    o.root->GetProperty(0, kpidNumSubDirs, &subDirs);
    EXPECT_EQ(subDirs.vt, VT_UI4);

    CMyComPtr<IFolderGetItemName> names;
    ASSERT_EQ(o.root->QueryInterface(IID_IFolderGetItemName, (void **)&names), S_OK);
    const wchar_t *name = nullptr;
    unsigned len = 0;
    ASSERT_EQ(names->GetItemName(3, &name, &len), S_OK);
    EXPECT_EQ(A(name, len), "alpha.txt");
    ASSERT_EQ(names->GetItemPrefix(3, &name, &len), S_OK);
    EXPECT_EQ(name, nullptr);
    EXPECT_EQ(names->GetItemSize(0), 4u);
    EXPECT_EQ(names->GetItemSize(3), 3u);
}

TEST_F(AgentFolder, FlatModeListsFoldersBeforeTheirFilesWithPrefixes) {
    COpened o = Tar({{"a/y", "1"}, {"a/b/x", "2"}});
    CMyComPtr<IFolderSetFlatMode> flat;
    ASSERT_EQ(o.root->QueryInterface(IID_IFolderSetFlatMode, (void **)&flat), S_OK);
    EXPECT_EQ(Prefixes(o.root), (std::vector<std::string>{"<empty>"}));

    UInt32 columns = 0, flatColumns = 0;
    o.root->GetNumberOfProperties(&columns);
    ASSERT_EQ(flat->SetFlatMode(1), S_OK);
    ASSERT_EQ(o.root->LoadItems(), S_OK);
    o.root->GetNumberOfProperties(&flatColumns);
    EXPECT_EQ(flatColumns, columns + 1);

    EXPECT_EQ(Listing(o.root), (std::vector<std::string>{"a/", "b/", "x", "y"}));
    EXPECT_EQ(Prefixes(o.root), (std::vector<std::string>{"", "a/", "a/b/", "a/"}));
    // Folders are sized 0 in flat mode, files keep their size.
    EXPECT_EQ(Compare(o.root, 0, 2, kpidSize), -1);
    CMyComPtr<IFolderGetItemName> names;
    o.root->QueryInterface(IID_IFolderGetItemName, (void **)&names);
    EXPECT_EQ(names->GetItemSize(0), 0u);

    // A folder bound from a flat listing is a plain one.
    CMyComPtr<IFolderFolder> b;
    ASSERT_EQ(o.root->BindToFolder(1, &b), S_OK);
    EXPECT_EQ(Listing(b), std::vector<std::string>{"x"});
    EXPECT_EQ(FolderText(b, kpidPath), "a/b/");

    // The same listing from below the root: prefixes are relative to the listed folder.
    CMyComPtr<IFolderFolder> a = Bind(o.root, "a");
    CMyComPtr<IFolderSetFlatMode> flatA;
    a->QueryInterface(IID_IFolderSetFlatMode, (void **)&flatA);
    flatA->SetFlatMode(1);
    EXPECT_EQ(Listing(a), (std::vector<std::string>{"b/", "x", "y"}));
    EXPECT_EQ(Prefixes(a), (std::vector<std::string>{"", "b/", ""}));
}

TEST_F(AgentFolder, FolderPropertiesDescribeTheListedFolder) {
    COpened o = Tar({{"a/b/x", "12"}, {"a/y", "3"}});
    EXPECT_EQ(FolderText(o.root, kpidType), "7-Dud.tar");
    EXPECT_EQ(FolderText(o.root, kpidPath), "");
    CPropVariant rootName;
    ASSERT_EQ(o.root->GetFolderProperty(kpidName, &rootName), S_OK);
    EXPECT_EQ(rootName.vt, VT_BSTR);
    EXPECT_EQ(rootName.bstrVal, nullptr);

    CMyComPtr<IFolderFolder> a = Bind(o.root, "a");
    CMyComPtr<IFolderFolder> b = Bind(a, "b");
    EXPECT_EQ(FolderText(b, kpidPath), "a/b/");
    EXPECT_EQ(FolderText(b, kpidName), "b");
    CPropVariant size, subFiles, readOnly;
    a->GetFolderProperty(kpidSize, &size);
    EXPECT_EQ(size.uhVal.QuadPart, 3u);
    a->GetFolderProperty(kpidNumSubFiles, &subFiles);
    ASSERT_EQ(subFiles.vt, VT_UI4);
    EXPECT_EQ(subFiles.ulVal, 2u);
    a->GetFolderProperty(kpidReadOnly, &readOnly);
    ASSERT_EQ(readOnly.vt, VT_BOOL);
    EXPECT_FALSE(readOnly.boolVal);

    CMyComPtr<IFolderProperties> props;
    ASSERT_EQ(a->QueryInterface(IID_IFolderProperties, (void **)&props), S_OK);
    UInt32 n = 0;
    props->GetNumberOfFolderProperties(&n);
    EXPECT_EQ(n, 5u);
    const PROPID expected[] = {kpidSize, kpidPackSize, kpidNumSubDirs, kpidNumSubFiles, kpidCRC};
    for (UInt32 i = 0; i < 5; i++) {
        BSTR name = (BSTR)1;
        PROPID id = 0;
        VARTYPE vt = 0;
        ASSERT_EQ(props->GetFolderPropertyInfo(i, &name, &id, &vt), S_OK);
        EXPECT_EQ(name, nullptr);
        EXPECT_EQ(id, expected[i]);
        EXPECT_EQ(vt, k7z_PROPID_To_VARTYPE[id]);
    }
    BSTR name = nullptr;
    PROPID id = 0;
    VARTYPE vt = 0;
    EXPECT_EQ(props->GetFolderPropertyInfo(5, &name, &id, &vt), E_INVALIDARG);

    CMyComPtr<IGetFolderArcProps> getArcProps;
    ASSERT_EQ(a->QueryInterface(IID_IGetFolderArcProps, (void **)&getArcProps), S_OK);
    CMyComPtr<IFolderArcProps> arcProps;
    ASSERT_EQ(getArcProps->GetFolderArcProps(&arcProps), S_OK);
    UInt32 levels = 0;
    arcProps->GetArcNumLevels(&levels);
    EXPECT_EQ(levels, 1u);
}

TEST_F(AgentFolder, BindingToWhatIsNoFolderIsRefused) {
    COpened o = Tar({{"d/f", "1"}, {"file", "2"}});
    CMyComPtr<IFolderFolder> result;
    EXPECT_EQ(o.root->BindToFolder(1, &result), E_INVALIDARG);
    EXPECT_EQ(o.root->BindToFolder(7, &result), E_INVALIDARG);
    EXPECT_EQ(o.root->BindToFolder(L"file", &result), E_INVALIDARG);
    EXPECT_EQ(o.root->BindToFolder(L"nothing", &result), E_INVALIDARG);
    EXPECT_EQ(result, nullptr);
    EXPECT_EQ(o.root->BindToParentFolder(&result), S_OK);
    EXPECT_EQ(result, nullptr);
    // Names are compared by the file-name rule.
    const bool caseSensitive = g_CaseSensitive;
    g_CaseSensitive = false;
    EXPECT_EQ(o.root->BindToFolder(L"D", &result), S_OK);
    g_CaseSensitive = caseSensitive;
    EXPECT_NE(result, nullptr);
    // A path tree has no alternate streams.
    CMyComPtr<IFolderAltStreams> alt;
    ASSERT_EQ(o.root->QueryInterface(IID_IFolderAltStreams, (void **)&alt), S_OK);
    Int32 supported = 1;
    alt->AreAltStreamsSupported(0xFFFFFFFF, &supported);
    EXPECT_EQ(supported, 0);
    CMyComPtr<IFolderFolder> streams;
    EXPECT_EQ(alt->BindToAltStreams(0xFFFFFFFF, &streams), S_OK);
    EXPECT_EQ(streams, nullptr);
}

TEST_F(AgentFolder, AnswersItsInterfacesAndNotTheDiskFolderOnes) {
    COpened o = Tar({{"f", "1"}});
    void *p = nullptr;
    for (const GUID *iid :
         {&IID_IFolderWasChanged, &IID_IFolderClone, &IID_IFolderCalcItemFullSize, &IID_IFolderGetSystemIconIndex}) {
        EXPECT_EQ(o.root->QueryInterface(*iid, &p), E_NOINTERFACE);
        EXPECT_EQ(p, nullptr);
    }
    for (const GUID *iid :
         {&IID_IUnknown, &IID_IFolderFolder, &IID_IFolderAltStreams, &IID_IFolderProperties, &IID_IArchiveGetRawProps,
          &IID_IGetFolderArcProps, &IID_IFolderCompare, &IID_IFolderGetItemName, &IID_IArchiveFolder,
          &IID_IArchiveFolderInternal, &IID_IInArchiveGetStream, &IID_IFolderOperations, &IID_IFolderSetFlatMode}) {
        ASSERT_EQ(o.root->QueryInterface(*iid, &p), S_OK);
        static_cast<IUnknown *>(p)->Release();
    }
    // Without raw properties in the handler.
    CMyComPtr<IArchiveGetRawProps> raw;
    o.root->QueryInterface(IID_IArchiveGetRawProps, (void **)&raw);
    UInt32 numRaw = 9, parent, parentType;
    EXPECT_EQ(raw->GetNumRawProps(&numRaw), S_OK);
    EXPECT_EQ(numRaw, 0u);
    const void *data = (const void *)1;
    UInt32 size = 1, type = 1;
    EXPECT_EQ(raw->GetRawProp(0, kpidName, &data, &size, &type), S_OK);
    EXPECT_EQ(data, nullptr);
    BSTR name = nullptr;
    PROPID id;
    EXPECT_EQ(raw->GetRawPropInfo(0, &name, &id), E_FAIL);
    EXPECT_EQ(raw->GetParent(0, &parent, &parentType), E_FAIL);
}

TEST_F(AgentFolder, ColumnsAddFolderCountsAndANameColumnWhenThereIsNoPath) {
    // The real tar handler lists kpidPath: it is shown as kpidName.
    COpened o = Tar({{"f", "1"}});
    UInt32 handlerProps = 0, columns = 0;
    o.archive->GetNumberOfProperties(&handlerProps);
    o.root->GetNumberOfProperties(&columns);
    EXPECT_EQ(columns, handlerProps + 2);
    for (UInt32 i = 0; i < columns; i++) {
        BSTR name = (BSTR)1;
        PROPID id = 0;
        VARTYPE vt = 0;
        ASSERT_EQ(o.root->GetPropertyInfo(i, &name, &id, &vt), S_OK);
        EXPECT_EQ(name, nullptr);
        EXPECT_NE(id, (PROPID)kpidPath);
    }

    // The in-memory handler has two properties and no path: 2 + 1 + 2, and one more in flat mode.
    CMemHandler *h = new CMemHandler;
    CMyComPtr<IInArchive> holder = h;
    h->items.push_back(PathItem(L"x", 1));
    COpened m = OpenMem(h, false);
    ASSERT_EQ(m.result, S_OK);
    m.root->GetNumberOfProperties(&columns);
    EXPECT_EQ(columns, 5u);
    const PROPID ids[] = {kpidName, kpidSize, kpidCRC, kpidNumSubDirs, kpidNumSubFiles};
    const VARTYPE types[] = {VT_BSTR, VT_UI8, VT_UI4, VT_UI8, VT_UI8};
    for (UInt32 i = 0; i < 5; i++) {
        BSTR name = nullptr;
        PROPID id = 0;
        VARTYPE vt = 0;
        ASSERT_EQ(m.root->GetPropertyInfo(i, &name, &id, &vt), S_OK);
        EXPECT_EQ(id, ids[i]) << i;
        EXPECT_EQ(vt, types[i]) << i;
    }
    CMyComPtr<IFolderSetFlatMode> flat;
    m.root->QueryInterface(IID_IFolderSetFlatMode, (void **)&flat);
    flat->SetFlatMode(1);
    m.root->GetNumberOfProperties(&columns);
    EXPECT_EQ(columns, 6u);
    BSTR name = nullptr;
    PROPID id = 0;
    VARTYPE vt = 0;
    ASSERT_EQ(m.root->GetPropertyInfo(5, &name, &id, &vt), S_OK);
    EXPECT_EQ(id, (PROPID)kpidPrefix);
}

// Sizes come in whatever unsigned width the handler chooses; the panel's size column reads them all.
TEST_F(AgentFolder, ItemSizeTakesEveryUnsignedWidth) {
    struct CCase {
        const wchar_t *name;
        VARTYPE type;
        UInt64 size;
    };
    const CCase cases[] = {
        {L"a", VT_UI1, 200}, {L"b", VT_UI2, 60000}, {L"c", VT_UI4, 4000000000u}, {L"d", VT_UI8, 5000000000u}};
    CMemHandler *h = new CMemHandler;
    CMyComPtr<IInArchive> holder = h;
    for (const CCase &c : cases) {
        h->items.push_back(PathItem(c.name, c.size));
        h->items.back().sizeType = c.type;
    }
    h->items.push_back(PathItem(L"e", 0));
    h->items.back().sizeDefined = false;
    COpened o = OpenMem(h, false);
    ASSERT_EQ(o.result, S_OK);
    CMyComPtr<IFolderGetItemName> names;
    ASSERT_EQ(o.root->QueryInterface(IID_IFolderGetItemName, (void **)&names), S_OK);
    for (UInt32 i = 0; i < 4; i++)
        EXPECT_EQ(names->GetItemSize(i), cases[i].size) << i;
    EXPECT_EQ(names->GetItemSize(4), 0u);
    EXPECT_EQ(names->GetItemSize(5), 0u); // past the end
}

TEST_F(AgentFolder, SortingByNameIsNaturalAndFoldersComeFirst) {
    COpened o = Tar({{"file10.txt", "1"}, {"file2.txt", "1"}, {"File11.c", "1"}, {"d/x", "123456"}});
    // Rows: d/, file10.txt, file2.txt, File11.c
    EXPECT_EQ(Compare(o.root, 2, 1, kpidName), -1);
    EXPECT_EQ(Compare(o.root, 1, 3, kpidName), -1);
    EXPECT_EQ(Compare(o.root, 1, 1, kpidName), 0);
    EXPECT_EQ(Compare(o.root, 3, 1, kpidExtension), -1);
    EXPECT_EQ(Compare(o.root, 0, 1, kpidIsDir), -1);
    EXPECT_EQ(Compare(o.root, 1, 2, kpidIsDir), 0);
    // Outside flat mode a folder sorts by the size of what it holds.
    EXPECT_EQ(Compare(o.root, 1, 0, kpidSize), -1);
    EXPECT_EQ(Compare(o.root, 1, 0, kpidNumSubFiles), -1);
    EXPECT_EQ(Compare(o.root, 0, 1, kpidPrefix), 0);
}

TEST_F(AgentFolder, FailingSizeReadMakesRowsCompareEqual) {
    CMemHandler *h = new CMemHandler;
    CMyComPtr<IInArchive> holder = h;
    h->items.push_back(PathItem(L"a", 1));
    h->items.push_back(PathItem(L"b", 2));
    COpened o = OpenMem(h, false);
    ASSERT_EQ(o.result, S_OK);
    EXPECT_EQ(Compare(o.root, 0, 1, kpidSize), -1);
    h->items[1].sizeFails = true;
    EXPECT_EQ(Compare(o.root, 0, 1, kpidSize), 0);
    EXPECT_EQ(Compare(o.root, 1, 0, kpidSize), 0);
}

TEST_F(AgentFolder, FolderCrcIsItsOwnOrTheSumBelowWhenAllAreKnown) {
    CMemHandler *h = new CMemHandler;
    CMyComPtr<IInArchive> holder = h;
    CMemItem one = PathItem(L"sum/one", 1), two = PathItem(L"sum/two", 1);
    one.crcDefined = two.crcDefined = true;
    one.crc = 0x100;
    two.crc = 0x23;
    h->items.push_back(one);
    h->items.push_back(two);
    CMemItem own = PathItem(L"own", 0, true);
    own.crcDefined = true;
    own.crc = 0xABCD;
    h->items.push_back(own);
    h->items.push_back(PathItem(L"own/nocrc", 5));
    h->items.push_back(PathItem(L"unknown/nocrc", 5));
    COpened o = OpenMem(h, false);
    ASSERT_EQ(o.result, S_OK);
    EXPECT_EQ(Listing(o.root), (std::vector<std::string>{"own/", "sum/", "unknown/"}));
    EXPECT_EQ(Num(o.root, 0, kpidCRC), 0xABCDu);
    EXPECT_EQ(Num(o.root, 1, kpidCRC), 0x123u);
    CPropVariant none;
    o.root->GetProperty(2, kpidCRC, &none);
    EXPECT_EQ(none.vt, VT_EMPTY);
    CPropVariant rootCrc;
    o.root->GetFolderProperty(kpidCRC, &rootCrc);
    EXPECT_EQ(rootCrc.vt, VT_EMPTY);
}

TEST_F(AgentFolder, ExtractingAFolderRowTakesItsItemAndEverythingBelowSorted) {
    CMemHandler *h = new CMemHandler;
    CMyComPtr<IInArchive> holder = h;
    h->items.push_back(PathItem(L"a/z", 1));     // 0
    h->items.push_back(PathItem(L"b", 1));       // 1
    h->items.push_back(PathItem(L"a/s/y", 1));   // 2
    h->items.push_back(PathItem(L"a", 0, true)); // 3
    h->items.push_back(PathItem(L"c/a", 1));     // 4
    COpened o = OpenMem(h, false);
    ASSERT_EQ(o.result, S_OK);
    CMyComPtr<IArchiveFolder> arcFolder;
    ASSERT_EQ(o.root->QueryInterface(IID_IArchiveFolder, (void **)&arcFolder), S_OK);
    CExtractRecorder *rec = new CExtractRecorder;
    CMyComPtr<IFolderArchiveExtractCallback> recHolder = rec;
    const UInt32 rows[] = {0}; // folder a
    ASSERT_EQ(arcFolder->Extract(rows, 1, 0, 0, NExtract::NPathMode::kCurPaths, NExtract::NOverwriteMode::kOverwrite,
                                 W(dir / "out"), 1, rec),
              S_OK);
    EXPECT_EQ(h->extracted, (std::vector<UInt32>{0, 2, 3}));
    EXPECT_EQ(rec->totals.size(), 1u);
}

TEST_F(AgentFolder, ExtractingFromASubFolderWritesPathsRelativeToIt) {
    COpened o = Tar({{"top/sub/deeper/x.txt", "X"}, {"top/sub/y.txt", "Y"}, {"top/other.txt", "O"}});
    CMyComPtr<IFolderFolder> top = Bind(o.root, "top");
    CMyComPtr<IFolderFolder> sub = Bind(top, "sub");
    ASSERT_TRUE(sub);
    Listing(sub);
    CMyComPtr<IArchiveFolder> arcFolder;
    sub->QueryInterface(IID_IArchiveFolder, (void **)&arcFolder);
    CExtractRecorder *rec = new CExtractRecorder;
    CMyComPtr<IFolderArchiveExtractCallback> recHolder = rec;
    const UInt32 rows[] = {0, 1}; // deeper/, y.txt
    const std::string out = dir / "out/new";
    ASSERT_EQ(arcFolder->Extract(rows, 2, 0, 0, NExtract::NPathMode::kCurPaths, NExtract::NOverwriteMode::kOverwrite,
                                 W(out), 0, rec),
              S_OK);
    EXPECT_EQ(ReadText(out + "/deeper/x.txt"), "X");
    EXPECT_EQ(ReadText(out + "/y.txt"), "Y");
    EXPECT_EQ(ReadText(out + "/other.txt"), "<missing>");
    EXPECT_EQ(ReadText(out + "/top/sub/y.txt"), "<missing>");
}

TEST_F(AgentFolder, ParentLinkFoldersBindStreamsAndListFlat) {
    CMemHandler *h = new CMemHandler;
    CMyComPtr<IInArchive> holder = h;
    h->items.push_back(TreeItem(L"dir", -1, true));          // 0
    h->items.push_back(TreeItem(L"f", 0, false, 5));         // 1
    h->items.push_back(TreeItem(L"ads", 1, false, 7, true)); // 2: stream of f
    h->items.push_back(TreeItem(L"top", -1, false, 3));      // 3
    h->items.push_back(TreeItem(L"inner", 0, true));         // 4
    h->items.push_back(TreeItem(L"g", 4, false, 1));         // 5
    COpened o = OpenMem(h, true);
    ASSERT_EQ(o.result, S_OK);
    ASSERT_NE(o.agent->_proxy2, nullptr);

    EXPECT_EQ(Listing(o.root), (std::vector<std::string>{"dir/", "top"}));
    EXPECT_EQ(Num(o.root, 0, kpidSize), 6u);
    CMyComPtr<IFolderFolder> d = Bind(o.root, "dir");
    ASSERT_TRUE(d);
    EXPECT_EQ(Listing(d), (std::vector<std::string>{"f", "inner/"}));
    EXPECT_EQ(FolderText(d, kpidPath), "dir/");
    EXPECT_EQ(FolderText(d, kpidName), "dir");
    CMyComPtr<IFolderFolder> inner;
    ASSERT_EQ(d->BindToFolder(1, &inner), S_OK);
    CMyComPtr<IFolderFolder> up;
    ASSERT_EQ(inner->BindToParentFolder(&up), S_OK);
    EXPECT_EQ(FolderText(up, kpidPath), "dir/");

    CMyComPtr<IFolderAltStreams> alt;
    d->QueryInterface(IID_IFolderAltStreams, (void **)&alt);
    Int32 supported = 0;
    alt->AreAltStreamsSupported(0, &supported);
    EXPECT_EQ(supported, 1);
    alt->AreAltStreamsSupported(1, &supported);
    EXPECT_EQ(supported, 0);
    CMyComPtr<IFolderFolder> streams;
    ASSERT_EQ(alt->BindToAltStreams(L"F", &streams), g_CaseSensitive ? E_INVALIDARG : S_OK);
    streams.Release();
    ASSERT_EQ(alt->BindToAltStreams(0u, &streams), S_OK);
    ASSERT_TRUE(streams);
    EXPECT_EQ(Listing(streams), std::vector<std::string>{"ads"});
    EXPECT_EQ(FolderText(streams, kpidPath), "dir/f:");
    // No streams of streams.
    CMyComPtr<IFolderAltStreams> alt2;
    streams->QueryInterface(IID_IFolderAltStreams, (void **)&alt2);
    alt2->AreAltStreamsSupported(0xFFFFFFFF, &supported);
    EXPECT_EQ(supported, 0);
    CMyComPtr<IFolderFolder> none;
    EXPECT_EQ(alt->BindToAltStreams(L"inner", &none), E_INVALIDARG);

    // Flat from the root: parents first; the prefix is the folder path below the listed folder.
    CMyComPtr<IFolderSetFlatMode> flat;
    o.root->QueryInterface(IID_IFolderSetFlatMode, (void **)&flat);
    flat->SetFlatMode(1);
    EXPECT_EQ(Listing(o.root), (std::vector<std::string>{"dir/", "f", "inner/", "g", "top"}));
    EXPECT_EQ(Prefixes(o.root), (std::vector<std::string>{"", "dir/", "dir/", "dir/inner/", ""}));
    CMyComPtr<IFolderGetItemName> names;
    o.root->QueryInterface(IID_IFolderGetItemName, (void **)&names);
    const wchar_t *prefix = nullptr;
    unsigned len = 0;
    ASSERT_EQ(names->GetItemPrefix(3, &prefix, &len), S_OK);
    EXPECT_EQ(A(prefix, len), "dir/inner/");

    // Selecting a folder and a row below it extracts each item once, in order.
    CMyComPtr<IArchiveFolder> arcFolder;
    o.root->QueryInterface(IID_IArchiveFolder, (void **)&arcFolder);
    const UInt32 rows[] = {3, 0};
    ASSERT_EQ(arcFolder->Extract(rows, 2, 0, 0, NExtract::NPathMode::kNoPaths, NExtract::NOverwriteMode::kOverwrite,
                                 W(dir / "out"), 1, nullptr),
              S_OK);
    EXPECT_EQ(h->extracted, (std::vector<UInt32>{0, 1, 4, 5}));
}

// Folders bound before a reopen find their own path in the new tree, even though the names the old tree borrowed from
// the handler went with the handler's old data.
TEST_F(AgentFolder, ParentLinkFoldersFollowAReopenThatDropsTheHandlersData) {
    CMemHandler *h = new CMemHandler;
    CMyComPtr<IInArchive> holder = h;
    h->items.push_back(TreeItem(L"dir", -1, true));        // 0
    h->items.push_back(TreeItem(L"f", 0));                 // 1
    h->items.push_back(TreeItem(L"inner", 0, true));       // 2
    h->items.push_back(TreeItem(L"g", 2));                 // 3
    h->items.push_back(TreeItem(L"s", 1, false, 1, true)); // 4: stream of f
    COpened o = OpenMem(h, true);
    ASSERT_EQ(o.result, S_OK);
    CMyComPtr<IFolderFolder> d = Bind(o.root, "dir");
    CMyComPtr<IFolderFolder> inner = Bind(d, "inner");
    CMyComPtr<IFolderAltStreams> alt;
    d->QueryInterface(IID_IFolderAltStreams, (void **)&alt);
    CMyComPtr<IFolderFolder> streams;
    ASSERT_EQ(alt->BindToAltStreams(L"f", &streams), S_OK);
    ASSERT_TRUE(inner && streams);

    h->itemsOnReopen.push_back(TreeItem(L"top", -1));              // 0
    h->itemsOnReopen.push_back(TreeItem(L"dir", -1, true));        // 1
    h->itemsOnReopen.push_back(TreeItem(L"inner", 1, true));       // 2
    h->itemsOnReopen.push_back(TreeItem(L"h", 2));                 // 3
    h->itemsOnReopen.push_back(TreeItem(L"f", 1));                 // 4
    h->itemsOnReopen.push_back(TreeItem(L"t", 4, false, 1, true)); // 5: stream of f
    ASSERT_TRUE(WriteText(dir / "arc", "x"));
    o.agent->_archiveFilePath = W(dir / "arc");
    ASSERT_EQ(o.archive->ReOpen(nullptr), S_OK);

    EXPECT_EQ(FolderText(inner, kpidPath), "dir/inner/");
    EXPECT_EQ(Listing(inner), std::vector<std::string>{"h"});
    EXPECT_EQ(Listing(d), (std::vector<std::string>{"inner/", "f"}));
    EXPECT_EQ(FolderText(streams, kpidPath), "dir/f:");
    EXPECT_EQ(Listing(streams), std::vector<std::string>{"t"});
    EXPECT_EQ(Listing(o.root), (std::vector<std::string>{"top", "dir/"}));
}

TEST_F(AgentFolder, ItemStreamComesFromTheHandlerWhenItHasOne) {
    ASSERT_TRUE(WriteText(dir / "note.txt", "compressed text"));
    ASSERT_EQ(Sh("gzip -n '" + dir / "note.txt" + "'"), 0);
    COpened o = OpenArchive(dir / "note.txt.gz");
    ASSERT_EQ(o.result, S_OK);
    ASSERT_EQ(Listing(o.root), std::vector<std::string>{"note.txt"});
    CMyComPtr<IInArchiveGetStream> getStream;
    ASSERT_EQ(o.root->QueryInterface(IID_IInArchiveGetStream, (void **)&getStream), S_OK);
    CMyComPtr<ISequentialInStream> stream;
    ASSERT_EQ(getStream->GetStream(0, &stream), S_OK);
    ASSERT_TRUE(stream);
    char buf[64];
    size_t size = sizeof(buf);
    ASSERT_EQ(ReadStream(stream, buf, &size), S_OK);
    EXPECT_EQ(std::string(buf, size), "compressed text");

    // A tar handler gives no item streams: nothing, and no error.
    COpened t = Tar({{"f", "1"}});
    CMyComPtr<IInArchiveGetStream> tarGetStream;
    t.root->QueryInterface(IID_IInArchiveGetStream, (void **)&tarGetStream);
    CMyComPtr<ISequentialInStream> none;
    EXPECT_EQ(tarGetStream->GetStream(0, &none), S_OK);
    EXPECT_EQ(none, nullptr);
}
