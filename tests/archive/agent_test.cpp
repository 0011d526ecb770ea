// An archive opened as a browsable object: open errors, the levels of nested archives and their
// properties, the column list, extracting everything, reopening, and the process-wide registry.
#include <gtest/gtest.h>

#include "archive/agent_fixture.h"
#include "archive/common/InFileStream.h"

using namespace agentfx;
using NWindows::NCOM::CPropVariant;

namespace {

class AgentOpen : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_EQ(LoadRegistry(), S_OK); }
    TempDir dir;

    std::string ArcText(CAgent *agent, UInt32 level, PROPID propID) {
        CPropVariant prop;
        const HRESULT res = agent->GetArcProp(level, propID, &prop);
        if (res != S_OK) return "<fail>";
        if (prop.vt == VT_EMPTY) return "<empty>";
        return prop.vt == VT_BSTR ? A(prop.bstrVal) : "<type>";
    }
};

} // namespace

TEST_F(AgentOpen, MissingPathGivesNoSuchFileAndAFolderGivesEFail) {
    CMyComPtr<IInFolderArchive> agent = new CAgent;
    // No such folder and no such entry in a folder are both a failure, never a positive number.
    EXPECT_EQ(agent->Open(nullptr, W(dir / "nodir/none.tar"), nullptr, nullptr, nullptr), HRESULT_FROM_ERRNO(ENOENT));
    EXPECT_EQ(agent->Open(nullptr, W(dir / "none.tar"), nullptr, nullptr, nullptr), HRESULT_FROM_ERRNO(ENOENT));
    EXPECT_EQ(agent->Open(nullptr, W(dir.Path()), nullptr, nullptr, nullptr), E_FAIL);
}

TEST_F(AgentOpen, FormatListIsParsedAndAnUnknownNameGivesSFalse) {
    const std::string arc = dir / "t.tar";
    ASSERT_TRUE(MakeTar(arc, {{"x", "1"}}));
    CMyComPtr<IInFolderArchive> agent = new CAgent;
    EXPECT_EQ(agent->Open(nullptr, W(arc), L"nosuchformat", nullptr, nullptr), S_FALSE);

    // A named format, and no format at all (detection), both open the archive.
    for (const wchar_t *format : {L"tar", L"", (const wchar_t *)nullptr}) {
        CMyComPtr<IInFolderArchive> a = new CAgent;
        CMyComBSTR type;
        ASSERT_EQ(a->Open(nullptr, W(arc), format, &type, nullptr), S_OK);
        EXPECT_EQ(A(type), "tar");
    }
}

TEST_F(AgentOpen, StreamGivenByTheCallerIsOpenedWithoutLookingAtThePath) {
    const std::string arc = dir / "s.tar";
    ASSERT_TRUE(MakeTar(arc, {{"in/x", "1"}}));
    CInFileStream *streamSpec = new CInFileStream;
    CMyComPtr<IInStream> stream = streamSpec;
    ASSERT_TRUE(streamSpec->Open(W(arc)));
    CAgent *agent = new CAgent;
    CMyComPtr<IInFolderArchive> holder = agent;
    ASSERT_EQ(holder->Open(stream, W(dir / "not-on-disk.tar"), nullptr, nullptr, nullptr), S_OK);
    EXPECT_FALSE(agent->GetArc().itemTimeDefined);
    EXPECT_EQ(A(agent->_archiveFilePath), dir / "not-on-disk.tar");
    CMyComPtr<IFolderFolder> root;
    ASSERT_EQ(holder->BindToRootFolder(&root), S_OK);
    EXPECT_EQ(Listing(root), std::vector<std::string>{"in/"});
}

TEST_F(AgentOpen, NestedArchiveHasTwoLevelsAndCannotBeUpdated) {
    const std::string tar = dir / "n.tar";
    ASSERT_TRUE(MakeTar(tar, {{"in/x.txt", "abc"}}));
    ASSERT_EQ(Sh("gzip -k -n '" + tar + "'"), 0);
    COpened o = OpenArchive(tar + ".gz");
    ASSERT_EQ(o.result, S_OK);

    CMyComPtr<IFolderArcProps> props;
    ASSERT_EQ(o.archive->QueryInterface(IID_IFolderArcProps, (void **)&props), S_OK);
    UInt32 levels = 0;
    props->GetArcNumLevels(&levels);
    ASSERT_EQ(levels, 2u);
    EXPECT_EQ(ArcText(o.agent, 0, kpidType), "gzip");
    EXPECT_EQ(ArcText(o.agent, 1, kpidType), "tar");
    EXPECT_EQ(ArcText(o.agent, 0, kpidPath), tar + ".gz");
    EXPECT_EQ(ArcText(o.agent, 2, kpidPath), "<empty>");
    CPropVariant prop;
    EXPECT_EQ(o.agent->GetArcProp(3, kpidPath, &prop), E_INVALIDARG);
    EXPECT_FALSE(o.agent->CanUpdate());
    EXPECT_EQ(A(o.agent->ArchiveType), "tar");
    EXPECT_EQ(Listing(o.root), std::vector<std::string>{"in/"});

    // The nested archive's own entry, as an item of the outer level.
    CPropVariant size;
    ASSERT_EQ(props->GetArcProp2(1, kpidSize, &size), S_OK);
    EXPECT_EQ(size.vt, VT_UI8);
    UInt32 itemProps = 0, outerItemProps = 0;
    ASSERT_EQ(props->GetArcNumProps2(1, &itemProps), S_OK);
    o.agent->_archiveLink.levels[0].handler->GetNumberOfProperties(&outerItemProps);
    EXPECT_EQ(itemProps, outerItemProps);

    // Other ids go to the level's handler.
    CPropVariant phySize;
    ASSERT_EQ(props->GetArcProp(1, kpidPhySize, &phySize), S_OK);
    EXPECT_EQ(phySize.vt, VT_UI8);
    UInt32 arcProps = 0;
    ASSERT_EQ(props->GetArcNumProps(1, &arcProps), S_OK);
    EXPECT_GT(arcProps, 0u);
    CMyComBSTR name;
    PROPID id = 0;
    VARTYPE vt = 0;
    EXPECT_EQ(props->GetArcPropInfo(1, 0, &name, &id, &vt), S_OK);
    // Levels that do not exist are refused rather than read.
    EXPECT_EQ(props->GetArcNumProps(2, &arcProps), E_INVALIDARG);
    EXPECT_EQ(props->GetArcNumProps2(0, &itemProps), E_INVALIDARG);
}

TEST_F(AgentOpen, ItemThatFailsToOpenAsFurtherLevelIsReportedOneLevelPastTheLast) {
    const std::string gz = dir / "plain.tar.gz";
    ASSERT_TRUE(WriteText(dir / "plain.tar", "not an archive at all\n"));
    ASSERT_EQ(Sh("gzip -n '" + dir / "plain.tar" + "'"), 0);
    COpened o = OpenArchive(gz);
    ASSERT_EQ(o.result, S_OK);
    UInt32 levels = 0;
    o.agent->GetArcNumLevels(&levels);
    ASSERT_EQ(levels, 1u);
    EXPECT_EQ(ArcText(o.agent, 1, kpidPath), "plain.tar");
    EXPECT_EQ(ArcText(o.agent, 0, kpidType), "gzip");
    CPropVariant prop;
    EXPECT_EQ(o.agent->GetArcProp(2, kpidPath, &prop), E_INVALIDARG);
}

TEST_F(AgentOpen, DataAfterTheArchiveSetsTheWarningAndForbidsUpdates) {
    // The plug-in's handlers take the whole file as the archive: the tail is set by hand here.
    CMemHandler *h = new CMemHandler;
    CMyComPtr<IInArchive> holder = h;
    COpened o = OpenMem(h, false);
    ASSERT_EQ(o.result, S_OK);
    EXPECT_TRUE(o.agent->CanUpdate());
    CPropVariant none;
    ASSERT_EQ(o.agent->GetArcProp(0, kpidWarningFlags, &none), S_OK);
    EXPECT_EQ(none.vt, VT_EMPTY);

    CArcErrorInfo &errors = o.agent->_archiveLink.levels[0].openErrors;
    errors.hasTail = true;
    errors.tailLength = 16;
    CPropVariant flags, tail;
    ASSERT_EQ(o.agent->GetArcProp(0, kpidWarningFlags, &flags), S_OK);
    ASSERT_EQ(flags.vt, VT_UI4);
    EXPECT_EQ(flags.ulVal, kpv_ErrorFlags_DataAfterEnd);
    ASSERT_EQ(o.agent->GetArcProp(0, kpidTailSize, &tail), S_OK);
    ASSERT_EQ(tail.vt, VT_UI8);
    EXPECT_EQ(tail.uhVal.QuadPart, 16u);
    EXPECT_FALSE(o.agent->CanUpdate());

    // A tail of zeros is no warning, but still no place to write after.
    errors.tailIsZeros = true;
    CPropVariant zeros;
    ASSERT_EQ(o.agent->GetArcProp(0, kpidWarningFlags, &zeros), S_OK);
    EXPECT_EQ(zeros.vt, VT_EMPTY);
    EXPECT_FALSE(o.agent->CanUpdate());

    errors.endBeyondData = true;
    CPropVariant errorFlags;
    ASSERT_EQ(o.agent->GetArcProp(0, kpidErrorFlags, &errorFlags), S_OK);
    ASSERT_EQ(errorFlags.vt, VT_UI4);
    EXPECT_EQ(errorFlags.ulVal, kpv_ErrorFlags_UnexpectedEnd);
}

TEST_F(AgentOpen, ParserLevelIsTypedParserAndItsFoldersAreReadOnly) {
    // A zip behind some leading bytes, opened by the embedded-archive parser.
    const std::string zip = dir / "in.zip";
    ASSERT_TRUE(MakeZip(zip, {{"a.txt", "hello"}}));
    const std::string blob = dir / "blob.bin";
    ASSERT_TRUE(WriteText(blob, std::string(100, 'Q') + ReadText(zip)));
    COpened o = OpenArchive(blob, L"#");
    ASSERT_EQ(o.result, S_OK);
    EXPECT_EQ(ArcText(o.agent, 0, kpidType), "Parser");
    EXPECT_EQ(StrProp(o.root, 0, kpidName).empty(), false);
    CPropVariant type, readOnly;
    ASSERT_EQ(o.root->GetFolderProperty(kpidType, &type), S_OK);
    EXPECT_EQ(A(type.bstrVal), "7-Dud.Parser");
    ASSERT_EQ(o.root->GetFolderProperty(kpidReadOnly, &readOnly), S_OK);
    ASSERT_EQ(readOnly.vt, VT_BOOL);
    EXPECT_TRUE(readOnly.boolVal);
}

TEST_F(AgentOpen, FailedTreeBuildIsNotHandedOutLater) {
    CMemHandler *h = new CMemHandler;
    CMyComPtr<IInArchive> holder = h;
    CMemItem good, bad;
    good.path = L"d/a";
    bad.path = L"d/b";
    bad.sizeFails = true;
    h->items.push_back(good);
    h->items.push_back(bad);
    COpened o = OpenMem(h, false);
    EXPECT_EQ(o.result, E_OUTOFMEMORY);
    EXPECT_EQ(o.agent->_proxy, nullptr);
    CMyComPtr<IFolderFolder> again;
    EXPECT_EQ(o.archive->BindToRootFolder(&again), E_OUTOFMEMORY);
    EXPECT_EQ(again, nullptr);

    h->items[1].sizeFails = false;
    ASSERT_EQ(o.archive->BindToRootFolder(&again), S_OK);
    EXPECT_EQ(Listing(again), std::vector<std::string>{"d/"});
}

TEST_F(AgentOpen, ColumnListReportsThePathColumnAsName) {
    const std::string arc = dir / "c.tar";
    ASSERT_TRUE(MakeTar(arc, {{"x", "1"}}));
    COpened o = OpenArchive(arc);
    ASSERT_EQ(o.result, S_OK);
    UInt32 n = 0;
    ASSERT_EQ(o.archive->GetNumberOfProperties(&n), S_OK);
    ASSERT_GT(n, 0u);
    bool sawName = false;
    for (UInt32 i = 0; i < n; i++) {
        CMyComBSTR name;
        PROPID id = 0;
        VARTYPE vt = 0;
        ASSERT_EQ(o.archive->GetPropertyInfo(i, &name, &id, &vt), S_OK);
        EXPECT_NE(id, (PROPID)kpidPath);
        if (id == kpidName) sawName = true;
    }
    EXPECT_TRUE(sawName);
    EXPECT_TRUE(o.agent->ThereIsPathProp);
}

TEST_F(AgentOpen, ExtractWritesEveryItemAndTestModeWritesNothing) {
    const std::string arc = dir / "all.zip";
    ASSERT_TRUE(MakeZip(arc, {{"d/", ""}, {"d/one.txt", "1"}, {"two.txt", "22"}}));
    COpened o = OpenArchive(arc);
    ASSERT_EQ(o.result, S_OK);

    CExtractRecorder *rec = new CExtractRecorder;
    CMyComPtr<IFolderArchiveExtractCallback> holder = rec;
    const std::string out = dir / "out";
    ASSERT_EQ(o.archive->Extract(NExtract::NPathMode::kFullPaths, NExtract::NOverwriteMode::kOverwrite, W(out), 1, rec),
              S_OK);
    EXPECT_EQ(ReadText(out + "/two.txt"), "<missing>");
    EXPECT_EQ(rec->results.size(), 3u);

    ASSERT_EQ(o.archive->Extract(NExtract::NPathMode::kFullPaths, NExtract::NOverwriteMode::kOverwrite, W(out), 0, rec),
              S_OK);
    EXPECT_EQ(ReadText(out + "/d/one.txt"), "1");
    EXPECT_EQ(ReadText(out + "/two.txt"), "22");
}

TEST_F(AgentOpen, ReopenBuildsANewTreeOfTheChangedFile) {
    const std::string arc = dir / "r.tar";
    ASSERT_TRUE(MakeTar(arc, {{"old.txt", "1"}}));
    COpened o = OpenArchive(arc);
    ASSERT_EQ(o.result, S_OK);
    EXPECT_EQ(Listing(o.root), std::vector<std::string>{"old.txt"});
    ASSERT_EQ(o.archive->Close(), S_OK);
    EXPECT_EQ(o.root->LoadItems(), E_FAIL);
    o.root.Release();

    ASSERT_TRUE(MakeTar(arc, {{"new.txt", "22"}, {"sub/x", "3"}}));
    ASSERT_EQ(o.archive->ReOpen(nullptr), S_OK);
    CMyComPtr<IFolderFolder> root;
    ASSERT_EQ(o.archive->BindToRootFolder(&root), S_OK);
    EXPECT_EQ(Listing(root), (std::vector<std::string>{"sub/", "new.txt"}));
}

TEST_F(AgentOpen, FolderKeepsItsAgentAlive) {
    const std::string arc = dir / "k.tar";
    ASSERT_TRUE(MakeTar(arc, {{"a/b", "1"}}));
    CMyComPtr<IFolderFolder> sub;
    {
        COpened o = OpenArchive(arc);
        ASSERT_EQ(o.result, S_OK);
        sub = Bind(o.root, "a");
        ASSERT_TRUE(sub);
    }
    EXPECT_EQ(Listing(sub), std::vector<std::string>{"b"});
    CMyComPtr<IFolderFolder> parent;
    ASSERT_EQ(sub->BindToParentFolder(&parent), S_OK);
    EXPECT_EQ(Listing(parent), std::vector<std::string>{"a/"});
}

TEST_F(AgentOpen, AgentAnswersItsFourInterfacesOnly) {
    CMyComPtr<IInFolderArchive> agent = new CAgent;
    void *p = nullptr;
    for (const GUID *iid :
         {&IID_IUnknown, &IID_IInFolderArchive, &IID_IFolderArcProps, &IID_IOutFolderArchive, &IID_ISetProperties}) {
        ASSERT_EQ(agent->QueryInterface(*iid, &p), S_OK);
        static_cast<IUnknown *>(p)->Release();
    }
    EXPECT_EQ(agent->QueryInterface(IID_IFolderFolder, &p), E_NOINTERFACE);
    EXPECT_EQ(p, nullptr);
}

TEST_F(AgentOpen, RegistryIsLoadedOnceAndCanBeLoadedAgainAfterFree) {
    CCodecs *first = g_CodecsObj;
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(LoadGlobalCodecs(), S_OK);
    EXPECT_EQ(g_CodecsObj, first);
    EXPECT_FALSE(g_ExternalCodecs_tarnova.Codecs.IsEmpty());

    FreeGlobalCodecs();
    EXPECT_EQ(g_CodecsObj, nullptr);
    EXPECT_TRUE(g_ExternalCodecs_tarnova.Codecs.IsEmpty());
    EXPECT_EQ(LoadGlobalCodecs(), S_OK);
    ASSERT_NE(g_CodecsObj, nullptr);
    EXPECT_FALSE(g_CodecsObj->Formats.IsEmpty());
}
