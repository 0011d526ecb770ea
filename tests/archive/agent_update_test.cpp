// The agent's update operations driven directly: writers made without an open archive, stored method properties, the
// processed-path list and the reports that reach the panel.
#include <gtest/gtest.h>
#include <pthread.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "archive/agent/AgentFolder.h"
#include "archive/agent_fixture.h"
#include "archive/agent_update_fixture.h"
#include "archive/common/FileStreams.h"
#include "archive/ui-common/UpdateAction.h"
#include "archive/ui-common/WorkDirInfo.h"
#include "test_support.h"

using agenttest::CFolderUpdateRecorder;
using agenttest::IndexOf;
using agenttest::ListArchive;
using testsupport::DirEntries;
using testsupport::Exists;
using testsupport::Shell;
using testsupport::TempFolder;
using testsupport::W;
using testsupport::WriteFile;

bool NWorkDir::CInfo::Load() {
    SetDefault();
    WorkDirType = kWorkDirSpecified;
    WorkDirPath = agenttest::WorkDirSetting();
    return true;
}

namespace {

using AgentUpdate = agenttest::CAgentEditTest;

const Byte *AddActions() {
    static Byte actions[NUpdateArchive::kNumPairStates];
    for (unsigned i = 0; i < NUpdateArchive::kNumPairStates; i++)
        actions[i] = (Byte)NUpdateArchive::k_ActionSet_Add.StateActions[i];
    return actions;
}

CMyComPtr<IOutStream> CreateOut(const std::string &path) {
    COutFileStream *impl = new COutFileStream;
    CMyComPtr<IOutStream> stream = impl;
    if (!impl->Create(W(path), true)) stream.Release();
    return stream;
}

// The coder names of a 7z archive, read by py7zr.
std::string MethodsOf7z(const std::string &path) {
    std::string out = Shell("/usr/bin/python3 -c \"import py7zr,sys; "
                            "print(py7zr.SevenZipFile(sys.argv[1]).archiveinfo().method_names)\" '" +
                            path + "' 2>&1");
    while (!out.empty() && out.back() == '\n')
        out.pop_back();
    return out;
}

TEST_F(AgentUpdate, WithoutAnOpenArchiveTheFormatIndexChoosesTheWriter) {
    ASSERT_EQ(LoadGlobalCodecs(), S_OK);
    CAgent *agentImpl = new CAgent;
    CMyComPtr<IInFolderArchive> agent = agentImpl;
    ASSERT_TRUE(WriteFile(Dir / "x.txt", "ex"));
    const wchar_t *names[] = {L"x.txt"};
    ASSERT_EQ(agentImpl->SetFolder(nullptr), S_OK);
    ASSERT_EQ(agentImpl->SetFiles(W(Dir.Path()), names, 1), S_OK);
    CMyComPtr<IOutStream> out = CreateOut(Dir / "new.zip");
    ASSERT_TRUE(out);
    // No archive and no format: nothing can write.
    EXPECT_EQ(agentImpl->DoOperation2(nullptr, nullptr, out, AddActions(), nullptr, nullptr), E_FAIL);

    const int zipIndex = g_CodecsObj->FindFormatForArchiveType(L"zip");
    ASSERT_GE(zipIndex, 0);
    ASSERT_EQ(agentImpl->DoOperation(nullptr, nullptr, g_CodecsObj, zipIndex, out, AddActions(), nullptr, Recorder),
              S_OK);
    out.Release();
    EXPECT_EQ(ListArchive(Dir / "new.zip", "zip", Scratch.Path()), "x.txt=ex");
    EXPECT_NE(std::find(Recorder->Events.begin(), Recorder->Events.end(), "NumFiles 1"), Recorder->Events.end());
    EXPECT_NE(std::find(Recorder->Events.begin(), Recorder->Events.end(), "Compress x.txt"), Recorder->Events.end());
}

// A stub module goes in front of the new archive; one that cannot be read stops the run.
TEST_F(AgentUpdate, StubModuleIsWrittenInFrontOfTheArchive) {
    ASSERT_EQ(LoadGlobalCodecs(), S_OK);
    CAgent *agentImpl = new CAgent;
    CMyComPtr<IInFolderArchive> agent = agentImpl;
    ASSERT_TRUE(WriteFile(Dir / "x.txt", "ex"));
    ASSERT_TRUE(WriteFile(Dir / "stub.bin", "STUB-BYTES"));
    const wchar_t *names[] = {L"x.txt"};
    ASSERT_EQ(agentImpl->SetFolder(nullptr), S_OK);
    ASSERT_EQ(agentImpl->SetFiles(W(Dir.Path()), names, 1), S_OK);
    const int zipIndex = g_CodecsObj->FindFormatForArchiveType(L"zip");
    ASSERT_GE(zipIndex, 0);
    {
        CMyComPtr<IOutStream> out = CreateOut(Dir / "bad.zip");
        EXPECT_EQ(agentImpl->DoOperation(nullptr, nullptr, g_CodecsObj, zipIndex, out, AddActions(),
                                         W(Dir / "missing.bin"), nullptr),
                  E_FAIL);
    }
    CMyComPtr<IOutStream> out = CreateOut(Dir / "sfx.zip");
    ASSERT_EQ(agentImpl->DoOperation(nullptr, nullptr, g_CodecsObj, zipIndex, out, AddActions(), W(Dir / "stub.bin"),
                                     nullptr),
              S_OK);
    out.Release();
    EXPECT_EQ(testsupport::ReadFile(Dir / "sfx.zip").substr(0, 10), "STUB-BYTES");
    EXPECT_EQ(ListArchive(Dir / "sfx.zip", "zip", Scratch.Path()), "x.txt=ex");
}

// Even a writer that reports nothing for an empty file has stored it: it counts as processed, so move mode deletes it.
TEST_F(AgentUpdate, EmptyFileIsListedAsProcessed) {
    Make("zip", {"top.txt=top"});
    Open(Arc("zip"));
    CAgent *agentImpl = static_cast<CAgent *>(static_cast<IInFolderArchive *>(Agent));
    ASSERT_TRUE(WriteFile(Dir / "empty.txt", ""));
    const wchar_t *names[] = {L"empty.txt"};
    ASSERT_EQ(agentImpl->SetFolder(Root), S_OK);
    ASSERT_EQ(agentImpl->SetFiles(W(Dir.Path()), names, 1), S_OK);
    CMyComPtr<IOutStream> out = CreateOut(Dir / "out.zip");
    UStringVector requested, processed;
    ASSERT_EQ(agentImpl->DoOperation2(&requested, &processed, out, AddActions(), nullptr, nullptr), S_OK);
    out.Release();
    ASSERT_EQ(processed.Size(), 1u);
    EXPECT_EQ(testsupport::A(processed[0]), Dir / "empty.txt");
    EXPECT_EQ(ListArchive(Dir / "out.zip", "zip", Scratch.Path()), "empty.txt=\ntop.txt=top");
}

// Stored method properties apply to the next update only; when the writer refuses them they stay for the next try.
TEST_F(AgentUpdate, StoredMethodPropertiesApplyToTheNextUpdateOnly) {
    Make("7z", {"top.txt=top"});
    Open(Arc("7z"));
    CMyComPtr<ISetProperties> setProps;
    ASSERT_EQ(Agent->QueryInterface(IID_ISetProperties, reinterpret_cast<void **>(&setProps)), S_OK);
    ASSERT_TRUE(WriteFile(Dir / "one.txt", "one"));
    ASSERT_TRUE(WriteFile(Dir / "two.txt", "two"));
    const UString from = W(Dir.Path());

    const wchar_t *badNames[] = {L"nosuchoption"};
    NWindows::NCOM::CPropVariant badValue(L"1");
    ASSERT_EQ(setProps->SetProperties(badNames, &badValue, 1), S_OK);
    const wchar_t *one[] = {L"one.txt"};
    EXPECT_NE(Ops(Root)->CopyFrom(0, from, one, 1, Progress), S_OK);
    EXPECT_NE(Ops(Root)->CopyFrom(0, from, one, 1, Progress), S_OK);
    EXPECT_TRUE(DirEntries(Work.Path()).empty());

    const wchar_t *names[] = {L"m"};
    NWindows::NCOM::CPropVariant value(L"copy");
    ASSERT_EQ(setProps->SetProperties(names, &value, 1), S_OK);
    ASSERT_EQ(Ops(Root)->CopyFrom(0, from, one, 1, Progress), S_OK);
    // The new item is stored; the kept block is copied as it was packed.
    EXPECT_NE(MethodsOf7z(Arc("7z")).find("COPY"), std::string::npos);
    const wchar_t *two[] = {L"two.txt"};
    ASSERT_EQ(Ops(Root)->CopyFrom(0, from, two, 1, Progress), S_OK);
    EXPECT_NE(MethodsOf7z(Arc("7z")), "COPY");
    EXPECT_EQ(List("7z"), "one.txt=one\ntop.txt=top\ntwo.txt=two");
}

// A panel that speaks the second callback interface gets structured reports of every item written.
TEST_F(AgentUpdate, SecondCallbackGetsAReportForEachWrittenItem) {
    Make("7z", {"a/", "a/b.txt=bee"});
    Open(Arc("7z"));
    Recorder->WithCallback2 = true;
    CMyComPtr<IFolderFolder> a = Bind(Root, L"a");
    ASSERT_TRUE(WriteFile(Dir / "n.txt", "en"));
    const wchar_t *names[] = {L"n.txt"};
    ASSERT_EQ(Ops(a)->CopyFrom(0, W(Dir.Path()), names, 1, Progress), S_OK);
    bool reported = false;
    for (const std::string &e : Recorder->Events) {
        EXPECT_EQ(e.rfind("Compress ", 0), std::string::npos) << e;
        if (e.rfind("Report ", 0) == 0 && e.find("a/n.txt") != std::string::npos) reported = true;
    }
    EXPECT_TRUE(reported);
    EXPECT_EQ(List("7z"), "a/\na/b.txt=bee\na/n.txt=en");
}

// Old items reach the panel's reports by the handler's index, whatever order the agent lists them in: folders first in
// the tree, and an item the tree folds into another (a second entry of one folder) has no place in that list at all.
TEST_F(AgentUpdate, ReportsNameEachKeptItemByItsOwnIndex) {
    struct CCase {
        const char *kind;
        std::vector<std::string> files;
        std::vector<std::string> reported; // names of old items in the writer's reports, in report order
    };
    const CCase cases[] = {
        {"zip", {"a/b.txt=bee", "z.txt=zed"}, {"a/b.txt", "z.txt"}},
        {"tar", {"a/b.txt=bee", "z.txt=zed"}, {"a/b.txt", "z.txt"}},
        {"zip", {"a/", "a/", "x.txt=ex"}, {"a/", "x.txt"}}, // "a/": reported with the folder flag
    };
    ASSERT_TRUE(WriteFile(Dir / "n.txt", "en"));
    const wchar_t *names[] = {L"n.txt"};
    for (const CCase &c : cases) {
        SCOPED_TRACE(std::string(c.kind) + " " + c.files[0]);
        Make(c.kind, c.files);
        Open(Arc(c.kind));
        Recorder->WithCallback2 = true;
        Recorder->Events.clear();
        ASSERT_EQ(Ops(Root)->CopyFrom(0, W(Dir.Path()), names, 1, Progress), S_OK);
        std::vector<std::string> reported;
        for (const std::string &e : Recorder->Events) {
            if (e.rfind("Report ", 0) != 0) continue;
            const std::string name = e.substr(e.find(' ', 7) + 1);
            if (name != "n.txt") reported.push_back(name);
        }
        EXPECT_EQ(reported, c.reported);
    }
}

// An in-memory parent-link archive whose writer only records what it is asked to write.
class CRecordingWriter : public agentfx::CMemHandler, public IOutArchive {
public:
    COM_UNKNOWN_IMP(IInArchive, IArchiveGetRawProps, IOutArchive)

    UInt32 NumKept = 0;
    std::vector<std::string> NewPaths;

    HRESULT WriteArchive(ISequentialOutStream *, UInt32 numItems, IArchiveUpdateCallback *callback) override {
        for (UInt32 i = 0; i < numItems; i++) {
            Int32 newData = 0, newProps = 0;
            UInt32 indexInArchive = 0;
            HRESULT res = callback->GetUpdateItemInfo(i, &newData, &newProps, &indexInArchive);
            if (res != S_OK) return res;
            if (!newData) {
                NumKept++;
                continue;
            }
            NWindows::NCOM::CPropVariant path;
            res = callback->GetProperty(i, kpidPath, &path);
            if (res != S_OK) return res;
            NewPaths.push_back(path.vt == VT_BSTR ? agenttest::Narrow(path.bstrVal) : "<none>");
        }
        return S_OK;
    }
    HRESULT GetTimeKind(UInt32 *type) override {
        *type = NFileTimeType::kWindows;
        return S_OK;
    }
};

// Runs work on a thread with a small stack, as a worker thread may have.
void RunOnStackOf(size_t stackSize, const std::function<void()> &work) {
    pthread_attr_t attr;
    ASSERT_EQ(pthread_attr_init(&attr), 0);
    ASSERT_EQ(pthread_attr_setstacksize(&attr, stackSize), 0);
    pthread_t thread;
    auto entry = [](void *arg) -> void * {
        (*static_cast<const std::function<void()> *>(arg))();
        return nullptr;
    };
    ASSERT_EQ(pthread_create(&thread, &attr, entry, const_cast<std::function<void()> *>(&work)), 0);
    pthread_attr_destroy(&attr);
    ASSERT_EQ(pthread_join(thread, nullptr), 0);
}

// Parent links nest as deep as the handler says, deeper than a worker thread's stack would allow a call per level. The
// stack is kept small rather than the chain long: pairing needs every item's full path, which grows with the square of
// the depth.
TEST_F(AgentUpdate, AddToAVeryDeepParentChainRunsOnASmallStack) {
    const unsigned kDepth = 2000;
    CRecordingWriter *writer = new CRecordingWriter;
    CMyComPtr<IInArchive> holder = writer;
    for (unsigned i = 0; i < kDepth; i++) {
        agentfx::CMemItem item;
        item.name = L"d";
        item.isDir = true;
        item.parent = (int)i - 1;
        writer->items.push_back(item);
    }
    agentfx::COpened o = agentfx::OpenMem(writer, true);
    ASSERT_EQ(o.result, S_OK);
    ASSERT_TRUE(WriteFile(Dir / "n.txt", "en"));
    const wchar_t *names[] = {L"n.txt"};
    ASSERT_EQ(o.agent->SetFolder(o.root), S_OK);
    ASSERT_EQ(o.agent->SetFiles(W(Dir.Path()), names, 1), S_OK);
    CMyComPtr<IOutStream> out = CreateOut(Dir / "out.bin");
    HRESULT res = E_FAIL;
    RunOnStackOf(128 << 10,
                 [&] { res = o.agent->DoOperation2(nullptr, nullptr, out, AddActions(), nullptr, nullptr); });
    EXPECT_EQ(res, S_OK);
    EXPECT_EQ(writer->NumKept, kDepth);
    EXPECT_EQ(writer->NewPaths, std::vector<std::string>{"n.txt"});
}

} // namespace

// A folder added where the archive keeps a file of that name is refused, naming both, and the archive stays as it was.
TEST_F(AgentUpdate, AFolderOntoAKeptFileOfItsNameIsRefused) {
    Make("zip", {"d=file"});
    const std::string before = testsupport::ReadFile(Arc("zip"));
    Open(Arc("zip"));
    const std::string from = Dir / "from";
    ASSERT_EQ(Shell("mkdir -p '" + from + "/d' && printf inner > '" + from + "/d/f'"), "");
    const wchar_t *names[] = {L"d"};
    EXPECT_NE(Ops(Root)->CopyFrom(0, W(from), names, 1, Progress), S_OK);
    ASSERT_EQ(Recorder->Messages.size(), 1u);
    EXPECT_NE(Recorder->Messages[0].find("\nd\n" + from + "/d"), std::string::npos) << Recorder->Messages[0];
    EXPECT_EQ(testsupport::ReadFile(Arc("zip")), before);
    EXPECT_TRUE(DirEntries(Work.Path()).empty());
    EXPECT_EQ(List("zip"), "d=file");
}
