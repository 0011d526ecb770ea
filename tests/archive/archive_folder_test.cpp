// Editing an opened archive through its folders: the real plug-in writes real archives made at test time, and the
// results are read back with python's own archive modules.
#include <gtest/gtest.h>

#include <errno.h>
#include <locale.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "archive/agent/AgentFolder.h"
#include "archive/agent_update_fixture.h"
#include "archive/ui-common/WorkDirInfo.h"
#include "test_support.h"
#include "windows/PropVariant.h"

using agenttest::CFolderUpdateRecorder;
using agenttest::FolderPath;
using agenttest::IndexOf;
using agenttest::ListArchive;
using agenttest::MakeArchive;
using testsupport::DirEntries;
using testsupport::Exists;
using testsupport::ReadFile;
using testsupport::TempFolder;
using testsupport::W;
using testsupport::WriteFile;

// Temporary archives go to a folder of the test's own, so that leftovers can be seen.
bool NWorkDir::CInfo::Load() {
    SetDefault();
    WorkDirType = kWorkDirSpecified;
    WorkDirPath = agenttest::WorkDirSetting();
    return true;
}

namespace {

using ArchiveFolderEdit = agenttest::CAgentEditTest;

// The panel's copy-out callback: answers the extraction questions, optionally without the
// extraction interface.
class CCopyOutCallback : public IFolderOperationsExtractCallback,
                         public IFolderArchiveExtractCallback,
                         public CMyUnknownImp {
public:
    bool WithExtractCallback = true;

    HRESULT QueryInterface(REFGUID iid, void **outObject) override {
        *outObject = nullptr;
        if (iid == IID_IUnknown || iid == IID_IFolderOperationsExtractCallback)
            *outObject = static_cast<IFolderOperationsExtractCallback *>(this);
        else if (iid == IID_IFolderArchiveExtractCallback && WithExtractCallback)
            *outObject = static_cast<IFolderArchiveExtractCallback *>(this);
        else
            return E_NOINTERFACE;
        ++_m_RefCount;
        return S_OK;
    }
    COM_ADDREF_RELEASE

    HRESULT SetTotal(UInt64) override { return S_OK; }
    HRESULT SetCompleted(const UInt64 *) override { return S_OK; }
    HRESULT AskWrite(const wchar_t *, Int32, const FILETIME *, const UInt64 *, const wchar_t *, BSTR *,
                     Int32 *) override {
        return E_NOTIMPL;
    }
    HRESULT ShowMessage(const wchar_t *) override { return S_OK; }
    HRESULT SetCurrentFilePath(const wchar_t *) override { return S_OK; }
    HRESULT SetNumFiles(UInt64) override { return S_OK; }
    HRESULT AskOverwrite(const wchar_t *, const FILETIME *, const UInt64 *, const wchar_t *, const FILETIME *,
                         const UInt64 *, Int32 *answer) override {
        *answer = NOverwriteAnswer::kYes;
        return S_OK;
    }
    HRESULT PrepareOperation(const wchar_t *, Int32, Int32, const UInt64 *) override { return S_OK; }
    HRESULT MessageError(const wchar_t *) override { return S_OK; }
    HRESULT SetOperationResult(Int32, Int32) override { return S_OK; }
};

// Copying out of a sub-folder writes paths relative to it; moving out is not offered.
TEST_F(ArchiveFolderEdit, CopyToWritesPathsFromTheShownFolder) {
    Make("zip", {"a/", "a/b.txt=bee", "a/c/", "a/c/d.txt=dee", "top.txt=top"});
    Open(Arc("zip"));
    CMyComPtr<IFolderFolder> a = Bind(Root, L"a");
    TempFolder out;
    ASSERT_TRUE(out.Ok());
    CCopyOutCallback *callbackImpl = new CCopyOutCallback;
    CMyComPtr<IFolderOperationsExtractCallback> callback = callbackImpl;
    const int b = IndexOf(a, "b.txt");
    const int c = IndexOf(a, "c");
    ASSERT_GE(b, 0);
    ASSERT_GE(c, 0);
    const UInt32 sel[] = {(UInt32)b, (UInt32)c};
    const UString dest = W(out.Path() + "/");
    EXPECT_EQ(Ops(a)->CopyTo(1, sel, 2, 0, 0, dest, callback), E_NOTIMPL);
    EXPECT_TRUE(DirEntries(out.Path()).empty());
    ASSERT_EQ(Ops(a)->CopyTo(0, sel, 2, 0, 0, dest, callback), S_OK);
    EXPECT_EQ(testsupport::Tree(out.Path()),
              (std::map<std::string, std::string>{{"b.txt", "f:bee"}, {"c", "d"}, {"c/d.txt", "f:dee"}}));

    callbackImpl->WithExtractCallback = false;
    EXPECT_EQ(Ops(a)->CopyTo(0, sel, 2, 0, 0, dest, callback), E_NOINTERFACE);
}

class ArchiveFolderEditByFormat : public ArchiveFolderEdit, public ::testing::WithParamInterface<const char *> {};

// Add, delete, new folder and rename inside a sub-folder: each edit replaces the archive, keeps its permissions, leaves
// nothing in the work folder and returns the panel to the same folder.
TEST_P(ArchiveFolderEditByFormat, EditsInSubFolderReplaceArchiveAndStayInFolder) {
    const std::string kind = GetParam();
    Make(kind, {"a/", "a/b.txt=bee", "a/c.txt=sea", "top.txt=top"});
    ASSERT_EQ(chmod(Arc(kind).c_str(), 0640), 0);
    Open(Arc(kind));
    CMyComPtr<IFolderFolder> a = Bind(Root, L"a");
    ASSERT_TRUE(a);
    CMyComPtr<IFolderOperations> ops = Ops(a);
    ASSERT_TRUE(ops);

    ASSERT_TRUE(WriteFile(Dir / "new.txt", "new"));
    const UString from = W(Dir.Path());
    const wchar_t *names[] = {L"new.txt"};
    ASSERT_EQ(ops->CopyFrom(0, from, names, 1, Progress), S_OK);
    EXPECT_EQ(FolderPath(a), "a/");
    EXPECT_EQ(List(kind), "a/\na/b.txt=bee\na/c.txt=sea\na/new.txt=new\ntop.txt=top");
    EXPECT_TRUE(Exists(Dir / "new.txt"));

    ASSERT_EQ(a->LoadItems(), S_OK);
    const int b = IndexOf(a, "b.txt");
    ASSERT_GE(b, 0);
    const UInt32 del[] = {(UInt32)b};
    ASSERT_EQ(ops->Delete(del, 1, Progress), S_OK);
    EXPECT_NE(std::find(Recorder->Events.begin(), Recorder->Events.end(), "Delete a/b.txt"), Recorder->Events.end());

    ASSERT_EQ(ops->CreateFolder(L"sub", Progress), S_OK);
    ASSERT_EQ(a->LoadItems(), S_OK);
    const int c = IndexOf(a, "c.txt");
    ASSERT_GE(c, 0);
    ASSERT_EQ(ops->Rename((UInt32)c, L"d.txt", Progress), S_OK);

    EXPECT_EQ(FolderPath(a), "a/");
    ASSERT_EQ(a->LoadItems(), S_OK);
    EXPECT_GE(IndexOf(a, "sub"), 0);
    EXPECT_GE(IndexOf(a, "d.txt"), 0);
    EXPECT_EQ(List(kind), "a/\na/d.txt=sea\na/new.txt=new\na/sub/\ntop.txt=top");
    EXPECT_EQ(testsupport::ModeOf(Arc(kind)) & 07777, 0640u);
    EXPECT_TRUE(DirEntries(Work.Path()).empty());
    EXPECT_TRUE(Recorder->Messages.empty());
}

INSTANTIATE_TEST_SUITE_P(Formats, ArchiveFolderEditByFormat, ::testing::Values("zip", "7z", "tar"));

TEST_F(ArchiveFolderEdit, RenamedFolderTakesEverythingBelowAlong) {
    Make("zip", {"a/", "a/x=ex", "a/y/", "a/y/z=zed", "ab=other"});
    Open(Arc("zip"));
    const int a = IndexOf(Root, "a");
    ASSERT_GE(a, 0);
    ASSERT_EQ(Ops(Root)->Rename((UInt32)a, L"b", Progress), S_OK);
    EXPECT_EQ(List("zip"), "ab=other\nb/\nb/x=ex\nb/y/\nb/y/z=zed");
}

TEST_F(ArchiveFolderEdit, CopyFromFileReplacesDataAndKeepsTheName) {
    Make("zip", {"a/", "a/b.txt=bee", "top.txt=top"});
    Open(Arc("zip"));
    CMyComPtr<IFolderFolder> a = Bind(Root, L"a");
    ASSERT_TRUE(WriteFile(Dir / "other.bin", "replacement"));
    const int b = IndexOf(a, "b.txt");
    ASSERT_GE(b, 0);
    ASSERT_EQ(Ops(a)->CopyFromFile((UInt32)b, W(Dir / "other.bin"), Progress), S_OK);
    EXPECT_EQ(List("zip"), "a/\na/b.txt=replacement\ntop.txt=top");
}

// An archive found behind other data (a stub in front of it) is edited in place: the bytes in front
// stay as they were and the new archive follows them. The level is reopened after each edit the
// way the archive was first opened, whether its type was given or found.
TEST_F(ArchiveFolderEdit, BytesInFrontOfTheArchiveStayInFront) {
    for (const std::string kind : {"7z", "zip"}) {
        for (bool typed : {true, false}) {
            // A zip is read from its end, so a *.zip opens whatever lies in front of it.
            if (!typed && kind != "zip") continue;
            SCOPED_TRACE(kind + (typed ? " typed" : " found"));
            Make(kind, {"a.txt=aaa", "b.txt=bee"});
            const std::string stub(3000, 'S');
            ASSERT_TRUE(WriteFile(Arc(kind), stub + ReadFile(Arc(kind))));
            Open(Arc(kind), typed ? W(kind).Ptr() : L"");
            const int b = IndexOf(Root, "b.txt");
            ASSERT_GE(b, 0);
            const UInt32 del[] = {(UInt32)b};
            ASSERT_EQ(Ops(Root)->Delete(del, 1, Progress), S_OK);
            ASSERT_EQ(Ops(Root)->CreateFolder(L"fresh", Progress), S_OK);
            const std::string after = ReadFile(Arc(kind));
            ASSERT_GT(after.size(), stub.size());
            EXPECT_EQ(after.substr(0, stub.size()), stub);
            ASSERT_TRUE(WriteFile(Dir / ("tail." + kind), after.substr(stub.size())));
            EXPECT_EQ(ListArchive(Dir / ("tail." + kind), kind, Scratch.Path()), "a.txt=aaa\nfresh/");
            EXPECT_GE(IndexOf(Root, "a.txt"), 0);
            EXPECT_GE(IndexOf(Root, "fresh"), 0);
            EXPECT_LT(IndexOf(Root, "b.txt"), 0);
            // Closed and opened again, it reads the same.
            Open(Arc(kind), typed ? W(kind).Ptr() : L"");
            EXPECT_GE(IndexOf(Root, "a.txt"), 0);
            EXPECT_GE(IndexOf(Root, "fresh"), 0);
        }
    }
}

// In flat mode a listed folder is deleted as one row: the files listed beside it stay.
TEST_F(ArchiveFolderEdit, FlatModeDeletesAListedFolderWithoutTheRowsBesideIt) {
    Make("zip", {"a/", "a/x.txt=ex", "top.txt=top"});
    Open(Arc("zip"));
    CMyComPtr<IFolderSetFlatMode> flat;
    ASSERT_EQ(Root->QueryInterface(IID_IFolderSetFlatMode, reinterpret_cast<void **>(&flat)), S_OK);
    ASSERT_EQ(flat->SetFlatMode(1), S_OK);
    ASSERT_EQ(Root->LoadItems(), S_OK);
    const int a = IndexOf(Root, "a");
    ASSERT_GE(a, 0);
    const UInt32 del[] = {(UInt32)a};
    ASSERT_EQ(Ops(Root)->Delete(del, 1, Progress), S_OK);
    EXPECT_EQ(List("zip"), "a/x.txt=ex\ntop.txt=top");
}

// A new folder gets the time of its making.
TEST_F(ArchiveFolderEdit, NewFolderIsStampedWithTheCurrentTime) {
    Make("tar", {"top.txt=top"});
    Open(Arc("tar"));
    const time_t before = time(nullptr);
    ASSERT_EQ(Ops(Root)->CreateFolder(L"fresh", Progress), S_OK);
    const time_t after = time(nullptr);
    EXPECT_EQ(List("tar"), "fresh/\ntop.txt=top");
    const std::string out = testsupport::Shell(
        "/usr/bin/python3 -c \"import tarfile,sys; print(tarfile.open(sys.argv[1]).getmember('fresh').mtime)\" '" +
        Arc("tar") + "'");
    const long long mtime = atoll(out.c_str());
    EXPECT_GE(mtime, (long long)before - 1) << out;
    EXPECT_LE(mtime, (long long)after + 1) << out;
}

// A user's name is one component: anything that would make a path of its own is refused, the archive stays as it was
// and nothing is left in the work folder.
TEST_F(ArchiveFolderEdit, NamesThatWouldMakePathsAreRefused) {
    Make("zip", {"a/", "a/b.txt=bee"});
    const std::string before = ReadFile(Arc("zip"));
    Open(Arc("zip"));
    CMyComPtr<IFolderFolder> a = Bind(Root, L"a");
    CMyComPtr<IFolderOperations> ops = Ops(a);
    const int b = IndexOf(a, "b.txt");
    ASSERT_GE(b, 0);
    for (const wchar_t *name : {L"x/y", L"../up", L"..", L".", L"", L"/abs"}) {
        SCOPED_TRACE(agenttest::Narrow(name));
        Recorder->Messages.clear();
        EXPECT_EQ(ops->CreateFolder(name, Progress), E_INVALIDARG);
        EXPECT_EQ(ops->Rename((UInt32)b, name, Progress), E_INVALIDARG);
        ASSERT_EQ(Recorder->Messages.size(), 2u);
        EXPECT_NE(Recorder->Messages[0].find("name cannot be used"), std::string::npos) << Recorder->Messages[0];
    }
    EXPECT_EQ(ReadFile(Arc("zip")), before);
    EXPECT_TRUE(DirEntries(Work.Path()).empty());
    EXPECT_EQ(FolderPath(a), "a/");
}

// A rename or a new folder onto a name that an item already has (a file, a folder, or a folder that only the paths
// below it imply) is refused with EEXIST and a message, and the archive stays as it was; free names go through.
TEST_P(ArchiveFolderEditByFormat, TakenNamesAreRefusedAndChangeNothing) {
    const std::string kind = GetParam();
    Make(kind, {"a.txt=aa", "b.txt=bb", "d/", "d/e.txt=ee", "f=ff", "g/h.txt=hh"});
    const std::string before = ReadFile(Arc(kind));
    Open(Arc(kind));
    CMyComPtr<IFolderOperations> ops = Ops(Root);
    const struct {
        const char *Item; // renamed, or nullptr for a new folder
        const wchar_t *Name;
    } refused[] = {{"a.txt", L"b.txt"}, {"a.txt", L"d"}, {"d", L"f"},    {"a.txt", L"g"},
                   {nullptr, L"f"},     {nullptr, L"d"}, {nullptr, L"g"}};
    for (const auto &c : refused) {
        SCOPED_TRACE(std::string(c.Item ? c.Item : "new folder") + " -> " + agenttest::Narrow(c.Name));
        Recorder->Messages.clear();
        if (c.Item) {
            const int index = IndexOf(Root, c.Item);
            ASSERT_GE(index, 0);
            EXPECT_EQ(ops->Rename((UInt32)index, c.Name, Progress), (HRESULT)EEXIST);
        } else {
            EXPECT_EQ(ops->CreateFolder(c.Name, Progress), (HRESULT)EEXIST);
        }
        ASSERT_EQ(Recorder->Messages.size(), 1u);
        EXPECT_EQ(Recorder->Messages[0],
                  "An item of this name is already in the archive; choose another name: " + agenttest::Narrow(c.Name));
        EXPECT_TRUE(ReadFile(Arc(kind)) == before);
    }
    CMyComPtr<IFolderFolder> d = Bind(Root, L"d");
    EXPECT_EQ(Ops(d)->CreateFolder(L"e.txt", Progress), (HRESULT)EEXIST);
    EXPECT_TRUE(ReadFile(Arc(kind)) == before);
    EXPECT_TRUE(DirEntries(Work.Path()).empty());

    const int a = IndexOf(Root, "a.txt");
    ASSERT_GE(a, 0);
    ASSERT_EQ(ops->Rename((UInt32)a, L"c.txt", Progress), S_OK);
    ASSERT_EQ(ops->CreateFolder(L"n", Progress), S_OK);
    EXPECT_EQ(List(kind), "b.txt=bb\nc.txt=aa\nd/\nd/e.txt=ee\nf=ff\ng/h.txt=hh\nn/");
}

// A writer stopped half-way leaves the archive open and unchanged, and no temporary file.
TEST_F(ArchiveFolderEdit, FailedWriteLeavesArchiveUnchangedAndNoTemporaryFile) {
    Make("7z", {"a/", "a/b.txt=bee", "top.txt=top"});
    const std::string before = ReadFile(Arc("7z"));
    Open(Arc("7z"));
    CMyComPtr<IFolderFolder> a = Bind(Root, L"a");
    ASSERT_TRUE(WriteFile(Dir / "one.txt", "1"));
    ASSERT_TRUE(WriteFile(Dir / "two.txt", "2"));
    Recorder->OnItem = [] { return E_ABORT; };
    const wchar_t *names[] = {L"one.txt", L"two.txt"};
    EXPECT_EQ(Ops(a)->CopyFrom(1, W(Dir.Path()), names, 2, Progress), E_ABORT);
    EXPECT_EQ(ReadFile(Arc("7z")), before);
    EXPECT_TRUE(DirEntries(Work.Path()).empty());
    // Move mode deletes nothing when the archive was not replaced.
    EXPECT_TRUE(Exists(Dir / "one.txt") && Exists(Dir / "two.txt"));

    // The archive is still open at the same place, and the next edit works.
    Recorder->OnItem = nullptr;
    EXPECT_EQ(FolderPath(a), "a/");
    const int b = IndexOf(a, "b.txt");
    ASSERT_GE(b, 0);
    const UInt32 del[] = {(UInt32)b};
    ASSERT_EQ(Ops(a)->Delete(del, 1, Progress), S_OK);
    EXPECT_EQ(List("7z"), "a/\ntop.txt=top");
}

TEST_F(ArchiveFolderEdit, DeletingTheLastItemOfTheShownFolderGoesBackToTheDeepestLevelLeft) {
    Make("zip", {"top.txt=top", "a/x.txt=ex", "a/b/c.txt=sea"});
    Open(Arc("zip"));
    CMyComPtr<IFolderFolder> a = Bind(Root, L"a");
    CMyComPtr<IFolderFolder> b = Bind(a, L"b");
    ASSERT_EQ(FolderPath(b), "a/b/");
    const int c = IndexOf(b, "c.txt");
    ASSERT_GE(c, 0);
    const UInt32 del[] = {(UInt32)c};
    ASSERT_EQ(Ops(b)->Delete(del, 1, Progress), S_OK);
    EXPECT_EQ(FolderPath(b), "a/");
    ASSERT_EQ(b->LoadItems(), S_OK);
    EXPECT_GE(IndexOf(b, "x.txt"), 0);
    EXPECT_EQ(List("zip"), "a/x.txt=ex\ntop.txt=top");
}

// Move mode: sources go once the new archive is in place; emptied folders go with them, a folder that still holds a
// file (here one made while the archive was written) stays.
TEST_F(ArchiveFolderEdit, MoveModeDeletesStoredSourcesAndEmptiedFolders) {
    Make("zip", {"top.txt=top"});
    Open(Arc("zip"));
    TempFolder src;
    ASSERT_TRUE(src.Ok());
    ASSERT_EQ(mkdir((src / "dir").c_str(), 0755), 0);
    ASSERT_EQ(mkdir((src / "dir/empty").c_str(), 0755), 0);
    ASSERT_EQ(mkdir((src / "keep").c_str(), 0755), 0);
    ASSERT_TRUE(WriteFile(src / "one.txt", "1"));
    ASSERT_TRUE(WriteFile(src / "dir/two.txt", "2"));
    ASSERT_TRUE(WriteFile(src / "keep/three.txt", "3"));
    const std::string late = src / "keep/late.txt";
    Recorder->OnItem = [late] {
        if (!Exists(late)) WriteFile(late, "late");
        return S_OK;
    };
    const wchar_t *names[] = {L"one.txt", L"dir", L"keep"};
    ASSERT_EQ(Ops(Root)->CopyFrom(1, W(src.Path()), names, 3, Progress), S_OK);
    EXPECT_EQ(List("zip"), "dir/\ndir/empty/\ndir/two.txt=2\nkeep/\nkeep/"
                           "three.txt=3\none.txt=1\ntop.txt=top");
    EXPECT_EQ(DirEntries(src.Path()), (std::set<std::string>{"keep"}));
    EXPECT_EQ(DirEntries(src / "keep"), (std::set<std::string>{"late.txt"}));
}

// The pairing's text exceptions (two sources with one name) reach the panel as a message line.
TEST_F(ArchiveFolderEdit, PairingErrorReachesTheCallbackAsErrorLine) {
    Make("zip", {"top.txt=top"});
    const std::string before = ReadFile(Arc("zip"));
    Open(Arc("zip"));
    TempFolder other;
    ASSERT_TRUE(other.Ok());
    ASSERT_TRUE(WriteFile(Dir / "same.txt", "1"));
    ASSERT_TRUE(WriteFile(other / "same.txt", "2"));
    const UString p1 = W(Dir / "same.txt");
    const UString p2 = W(other / "same.txt");
    const wchar_t *names[] = {p1, p2};
    EXPECT_EQ(Ops(Root)->CopyFrom(0, L"", names, 2, Progress), E_FAIL);
    ASSERT_EQ(Recorder->Messages.size(), 1u);
    EXPECT_EQ(Recorder->Messages[0].rfind("Error: ", 0), 0u) << Recorder->Messages[0];
    EXPECT_EQ(ReadFile(Arc("zip")), before);
    EXPECT_TRUE(DirEntries(Work.Path()).empty());
}

// The panel holds several folders of one archive: an edit through one of them must leave the others usable. Each moves
// to its own path in the reopened archive (or the deepest part of it that is left) on its next call.
TEST_F(ArchiveFolderEdit, FoldersBoundBeforeAnEditFollowTheReopenedArchive) {
    Make("zip", {"a/x.txt=ex", "a/y.txt=why", "a/z.txt=zed", "c.txt=sea", "d.txt=dee"});
    Open(Arc("zip"));
    CMyComPtr<IFolderFolder> a = Bind(Root, L"a");
    CMyComPtr<IFolderFolder> root2;
    ASSERT_EQ(Agent->BindToRootFolder(&root2), S_OK);
    CMyComPtr<IFolderFolder> flat;
    ASSERT_EQ(Agent->BindToRootFolder(&flat), S_OK);
    CMyComPtr<IFolderSetFlatMode> setFlat;
    ASSERT_EQ(flat->QueryInterface(IID_IFolderSetFlatMode, reinterpret_cast<void **>(&setFlat)), S_OK);
    setFlat->SetFlatMode(1);
    ASSERT_EQ(flat->LoadItems(), S_OK);
    UInt32 num = 0;
    ASSERT_EQ(flat->GetNumberOfItems(&num), S_OK);
    ASSERT_EQ(num, 6u); // a/, its three files, c.txt, d.txt

    const int c = IndexOf(Root, "c.txt");
    ASSERT_GE(c, 0);
    const UInt32 delC[] = {(UInt32)c};
    ASSERT_EQ(Ops(Root)->Delete(delC, 1, Progress), S_OK);

    // No reload by the panel: the sub-folder answers from the new archive, and a row past its end is refused.
    ASSERT_EQ(a->GetNumberOfItems(&num), S_OK);
    EXPECT_EQ(num, 3u);
    EXPECT_EQ(FolderPath(a), "a/");
    EXPECT_GE(IndexOf(a, "z.txt"), 0);
    NWindows::NCOM::CPropVariant prop;
    EXPECT_EQ(a->GetProperty(3, kpidName, &prop), E_INVALIDARG);
    EXPECT_EQ(flat->GetNumberOfItems(&num), S_OK);
    EXPECT_EQ(num, 5u);
    EXPECT_EQ(IndexOf(root2, "c.txt"), -1);
    EXPECT_GE(IndexOf(root2, "d.txt"), 0);

    // An edit through the sub-folder that another folder saw as the root: both views hold.
    const int x = IndexOf(a, "x.txt");
    ASSERT_GE(x, 0);
    const UInt32 delX[] = {(UInt32)x};
    ASSERT_EQ(Ops(a)->Delete(delX, 1, Progress), S_OK);
    EXPECT_EQ(List("zip"), "a/y.txt=why\na/z.txt=zed\nd.txt=dee");

    // The other root deletes the whole folder: the sub-folder falls back to the root, and its old rows, still held by
    // the panel, are refused instead of read from the gone tree.
    const int aRow = IndexOf(root2, "a");
    ASSERT_GE(aRow, 0);
    const UInt32 delA[] = {(UInt32)aRow};
    ASSERT_EQ(Ops(root2)->Delete(delA, 1, Progress), S_OK);
    EXPECT_EQ(FolderPath(a), "");
    ASSERT_EQ(a->GetNumberOfItems(&num), S_OK);
    EXPECT_EQ(num, 1u);
    const UInt32 stale[] = {1};
    EXPECT_EQ(Ops(a)->Delete(stale, 1, Progress), E_INVALIDARG);
    EXPECT_EQ(IndexOf(a, "d.txt"), 0);
    EXPECT_EQ(List("zip"), "d.txt=dee");
    EXPECT_TRUE(Recorder->Messages.empty());
}

// A handler whose reopen succeeds while it can no longer list its items (here: every size read fails), until healed.
class CListingFailsAfterReopen : public IInArchive, public IOutArchive, public CMyUnknownImp {
public:
    COM_UNKNOWN_IMP(IInArchive, IOutArchive)

    CMyComPtr<IInArchive> Inner;
    bool FailOnReopen = false;
    bool Failing = false;

    HRESULT Open(IInStream *stream, const UInt64 *limit, IArchiveOpenCallback *callback) override {
        if (FailOnReopen) Failing = true;
        return Inner->Open(stream, limit, callback);
    }
    HRESULT Close() override { return Inner->Close(); }
    HRESULT GetNumberOfItems(UInt32 *numItems) override { return Inner->GetNumberOfItems(numItems); }
    HRESULT GetProperty(UInt32 index, PROPID propID, PROPVARIANT *value) override {
        if (Failing && propID == kpidSize) return E_FAIL;
        return Inner->GetProperty(index, propID, value);
    }
    HRESULT Extract(const UInt32 *indices, UInt32 numItems, Int32 testMode, IArchiveExtractCallback *cb) override {
        return Inner->Extract(indices, numItems, testMode, cb);
    }
    HRESULT GetArchiveProperty(PROPID propID, PROPVARIANT *value) override {
        return Inner->GetArchiveProperty(propID, value);
    }
    HRESULT GetNumberOfProperties(UInt32 *numProps) override { return Inner->GetNumberOfProperties(numProps); }
    HRESULT GetPropertyInfo(UInt32 index, BSTR *name, PROPID *propID, VARTYPE *varType) override {
        return Inner->GetPropertyInfo(index, name, propID, varType);
    }
    HRESULT GetNumberOfArchiveProperties(UInt32 *numProps) override {
        return Inner->GetNumberOfArchiveProperties(numProps);
    }
    HRESULT GetArchivePropertyInfo(UInt32 index, BSTR *name, PROPID *propID, VARTYPE *varType) override {
        return Inner->GetArchivePropertyInfo(index, name, propID, varType);
    }
    HRESULT WriteArchive(ISequentialOutStream *out, UInt32 numItems, IArchiveUpdateCallback *cb) override {
        CMyComPtr<IOutArchive> writer;
        Inner.QueryInterface(IID_IOutArchive, &writer);
        return writer ? writer->WriteArchive(out, numItems, cb) : E_NOINTERFACE;
    }
    HRESULT GetTimeKind(UInt32 *type) override {
        CMyComPtr<IOutArchive> writer;
        Inner.QueryInterface(IID_IOutArchive, &writer);
        return writer ? writer->GetTimeKind(type) : E_NOINTERFACE;
    }
};

// When the archive reopens after an edit but its folder tree cannot be built, no later edit may pair against a tree
// that does not describe the archive: it is refused and the archive stays as it is, until the tree can be built again.
TEST_F(ArchiveFolderEdit, EditAfterAFailedTreeBuildIsRefusedUntilTheTreeIsBuilt) {
    Make("zip", {"a.txt=A", "b/c.txt=C", "d.txt=D"});
    Open(Arc("zip"));
    CAgent *agentImpl = static_cast<CAgent *>(static_cast<IInFolderArchive *>(Agent));
    CListingFailsAfterReopen *handler = new CListingFailsAfterReopen;
    CMyComPtr<IInArchive> handlerHolder = handler;
    handler->Inner = agentImpl->_archiveLink.levels[0].handler;
    agentImpl->_archiveLink.levels[0].handler = handler;

    ASSERT_TRUE(WriteFile(Dir / "n.txt", "N"));
    ASSERT_TRUE(WriteFile(Dir / "m.txt", "M"));
    const UString from = W(Dir.Path());
    const wchar_t *n[] = {L"n.txt"};
    const wchar_t *m[] = {L"m.txt"};
    handler->FailOnReopen = true;
    EXPECT_NE(Ops(Root)->CopyFrom(0, from, n, 1, Progress), S_OK);
    const std::string written = ReadFile(Arc("zip"));
    EXPECT_EQ(List("zip"), "a.txt=A\nb/c.txt=C\nd.txt=D\nn.txt=N");

    EXPECT_NE(Ops(Root)->CopyFrom(0, from, m, 1, Progress), S_OK);
    EXPECT_EQ(ReadFile(Arc("zip")), written);
    EXPECT_NE(Root->LoadItems(), S_OK);
    UInt32 num = 9;
    EXPECT_EQ(Root->GetNumberOfItems(&num), S_OK);
    EXPECT_EQ(num, 0u);

    handler->FailOnReopen = false;
    handler->Failing = false;
    ASSERT_EQ(Root->LoadItems(), S_OK);
    ASSERT_EQ(Root->GetNumberOfItems(&num), S_OK);
    EXPECT_EQ(num, 4u); // b/, a.txt, d.txt, n.txt
    ASSERT_EQ(Ops(Root)->CopyFrom(0, from, m, 1, Progress), S_OK);
    EXPECT_EQ(List("zip"), "a.txt=A\nb/c.txt=C\nd.txt=D\nm.txt=M\nn.txt=N");
    EXPECT_TRUE(DirEntries(Work.Path()).empty());
}

// A reopen that fails after the archive was replaced is reported; the folder then shows an empty listing of a closed
// archive and refuses further edits instead of reading a tree that is gone.
TEST_F(ArchiveFolderEdit, FailedReopenLeavesAFolderThatIsSafeToUse) {
    Make("zip", {"a/", "a/b.txt=bee"});
    Open(Arc("zip"));
    CMyComPtr<IFolderFolder> a = Bind(Root, L"a");
    Recorder->WithOpenCallback = true;
    Recorder->OpenAnswer = E_ABORT;
    ASSERT_TRUE(WriteFile(Dir / "n.txt", "en"));
    const wchar_t *names[] = {L"n.txt"};
    EXPECT_EQ(Ops(a)->CopyFrom(0, W(Dir.Path()), names, 1, Progress), E_ABORT);
    EXPECT_EQ(List("zip"), "a/\na/b.txt=bee\na/n.txt=en");
    EXPECT_TRUE(DirEntries(Work.Path()).empty());

    EXPECT_EQ(a->LoadItems(), E_FAIL);
    UInt32 num = 7;
    EXPECT_EQ(a->GetNumberOfItems(&num), S_OK);
    EXPECT_EQ(num, 0u);
    EXPECT_EQ(FolderPath(a), "");
    EXPECT_EQ(Ops(a)->CreateFolder(L"x", Progress), E_FAIL);
    const UInt32 first[] = {0};
    EXPECT_EQ(Ops(a)->Delete(first, 1, Progress), E_FAIL);
}

// When the new archive cannot be moved into place (here: no right to replace files in the archive's folder) the old
// archive stays, the error says so, and the temporary file is gone.
TEST_F(ArchiveFolderEdit, ArchiveThatCannotBeReplacedStaysAndTheErrorSaysSo) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to drop to another user";
    Make("zip", {"top.txt=top"});
    const std::string before = ReadFile(Arc("zip"));
    ASSERT_EQ(chmod(Dir.Path().c_str(), 0755), 0);
    ASSERT_EQ(chmod(Work.Path().c_str(), 0777), 0);
    ASSERT_EQ(chmod(Arc("zip").c_str(), 0644), 0);
    const std::string added = Work / "added.txt";
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        // Opened before dropping rights: the plug-in's folder (the build tree) may be closed to others.
        CAgent *agentImpl = new CAgent;
        CMyComPtr<IInFolderArchive> agent = agentImpl;
        CMyComPtr<IFolderFolder> root;
        if (agent->Open(nullptr, W(Arc("zip")), L"", nullptr, nullptr) != S_OK) _exit(91);
        if (agent->BindToRootFolder(&root) != S_OK) _exit(92);
        if (setgid(65534) != 0 || setuid(65534) != 0) _exit(90);
        int code = 0;
        if (!WriteFile(added, "x")) _exit(93);
        const UString from = W(Work.Path());
        const wchar_t *names[] = {L"added.txt"};
        const HRESULT res = Ops(root)->CopyFrom(0, from, names, 1, Progress);
        if (res != HRESULT_FROM_ERRNO(EACCES)) code |= 1;
        if (Recorder->Messages.size() != 1 ||
            Recorder->Messages[0].find("Cannot replace the archive; it is unchanged") != 0)
            code |= 2;
        unlink(added.c_str());
        if (!DirEntries(Work.Path()).empty()) code |= 4;
        // Reopened: the folder still lists the old archive.
        if (IndexOf(root, "top.txt") < 0) code |= 8;
        _exit(code);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(ReadFile(Arc("zip")), before);
}

} // namespace

namespace {

// Names of a 7z as py7zr reads them with the password, or "<refused>" when it cannot read them.
std::string SevenZipNames(const std::string &path, const std::string &password) {
    int status = 0;
    std::string out = testsupport::Shell("/usr/bin/python3 -c \"import py7zr,sys\nz=py7zr.SevenZipFile(sys.argv[1],"
                                         "password=sys.argv[2] or None)\nprint(' '.join(sorted(z.getnames())))\" '" +
                                             path + "' '" + password + "' 2>/dev/null",
                                         &status);
    if (status != 0) return "<refused>";
    while (!out.empty() && out.back() == '\n')
        out.pop_back();
    return out;
}

} // namespace

// A 7z whose names another tool encrypted keeps them encrypted through every edit made with the password.
TEST_F(ArchiveFolderEdit, EncryptedNamesStayEncryptedThroughEveryEdit) {
    ASSERT_TRUE(WriteFile(Scratch / "a.txt", "aa"));
    ASSERT_TRUE(WriteFile(Scratch / "b.txt", "bb"));
    ASSERT_EQ(testsupport::Sh("cd '" + Scratch.Path() +
                              "' && /usr/bin/python3 -c \"import py7zr\nwith "
                              "py7zr.SevenZipFile('" +
                              Arc("7z") +
                              "', 'w', password='pw', header_encryption=True) as z:\n z.write('a.txt')\n "
                              "z.write('b.txt')\""),
              0);
    ASSERT_EQ(SevenZipNames(Arc("7z"), ""), "<refused>");
    Recorder->WithPassword = true;
    Recorder->WithOpenCallback = true;
    Recorder->Password = L"pw";
    Root.Release();
    CAgent *agentImpl = new CAgent;
    Agent = agentImpl;
    ASSERT_EQ(Agent->Open(nullptr, W(Arc("7z")), L"", nullptr, static_cast<IArchiveOpenCallback *>(Recorder)), S_OK);
    ASSERT_EQ(Agent->BindToRootFolder(&Root), S_OK);
    CMyComPtr<IFolderOperations> ops = Ops(Root);

    ASSERT_TRUE(WriteFile(Dir / "new.txt", "new"));
    const wchar_t *names[] = {L"new.txt"};
    ASSERT_EQ(ops->CopyFrom(0, W(Dir.Path()), names, 1, Progress), S_OK);
    EXPECT_EQ(SevenZipNames(Arc("7z"), ""), "<refused>");
    EXPECT_EQ(SevenZipNames(Arc("7z"), "pw"), "a.txt b.txt new.txt");

    const UInt32 del[] = {(UInt32)IndexOf(Root, "a.txt")};
    ASSERT_EQ(ops->Delete(del, 1, Progress), S_OK);
    EXPECT_EQ(SevenZipNames(Arc("7z"), ""), "<refused>");
    EXPECT_EQ(SevenZipNames(Arc("7z"), "pw"), "b.txt new.txt");

    ASSERT_EQ(ops->Rename((UInt32)IndexOf(Root, "b.txt"), L"c.txt", Progress), S_OK);
    EXPECT_EQ(SevenZipNames(Arc("7z"), ""), "<refused>");
    EXPECT_EQ(SevenZipNames(Arc("7z"), "pw"), "c.txt new.txt");
    EXPECT_TRUE(Recorder->Messages.empty());
}

// The folder that holds the opened archive, added with its temporary file beside it: a copy leaves both out of the
// archive; a move is refused before anything is written or deleted.
TEST_F(ArchiveFolderEdit, TheArchiveAndItsTemporaryFileAreNeverAddedNorMovedIntoItself) {
    Make("zip", {"top.txt=top"});
    ASSERT_TRUE(WriteFile(Dir / "one.txt", "1"));
    agenttest::WorkDirSetting() = W(Dir.Path() + "/");
    Open(Arc("zip"));
    const std::string parent = Dir.Path().substr(0, Dir.Path().rfind('/'));
    const std::string folder = Dir.Path().substr(parent.size() + 1);
    const UString folderName = W(folder);
    const wchar_t *names[] = {folderName};
    const std::string before = ReadFile(Arc("zip"));

    EXPECT_EQ(Ops(Root)->CopyFrom(1, W(parent), names, 1, Progress), E_INVALIDARG);
    ASSERT_EQ(Recorder->Messages.size(), 1u);
    EXPECT_EQ(Recorder->Messages[0], "The archive cannot be moved into itself: " + Arc("zip"));
    EXPECT_TRUE(ReadFile(Arc("zip")) == before);
    EXPECT_EQ(DirEntries(Dir.Path()), (std::set<std::string>{"one.txt", "test.zip"}));

    ASSERT_EQ(Ops(Root)->CopyFrom(0, W(parent), names, 1, Progress), S_OK);
    EXPECT_EQ(List("zip"), folder + "/\n" + folder + "/one.txt=1\ntop.txt=top");
    EXPECT_EQ(DirEntries(Dir.Path()), (std::set<std::string>{"one.txt", "test.zip"}));
}
