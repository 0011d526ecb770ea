// The agent's update operations driven directly: writers made without an open archive, stored method properties, the
// processed-path list and the reports that reach the panel.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "archive/agent/AgentFolder.h"
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
    Mode = kWorkDirSpecified;
    Path = agenttest::WorkDirSetting();
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

} // namespace
