// The adapter between the update engine's reports and the panel's folder callbacks.
#include <gtest/gtest.h>

#include <locale.h>

#include "archive/agent/UpdateCallbackAgent.h"
#include "archive/agent_update_fixture.h"
#include "windows/ErrorMsg.h"

using agenttest::CFolderUpdateRecorder;
using agenttest::Narrow;

namespace {

class AgentUpdateCallback : public ::testing::Test {
protected:
    void SetUp() override { setlocale(LC_ALL, "C.UTF-8"); }
};

TEST_F(AgentUpdateCallback, PlainCallbackGetsCompressOperationsAndMessageLines) {
    CFolderUpdateRecorder *impl = new CFolderUpdateRecorder;
    CMyComPtr<IFolderArchiveUpdateCallback> callback = impl;
    CUpdateCallbackAgent agent;
    agent.SetCallback(callback);

    EXPECT_EQ(agent.GetStream(L"a/b.txt", false, false, 0), S_OK);
    EXPECT_EQ(agent.ShowDeleteFile(L"gone.txt", false), S_OK);
    EXPECT_EQ(agent.SetNumItems(3), S_OK);
    // A reported open error skips the file; a reading error always ends the run with its code.
    EXPECT_EQ(agent.OpenFileError(UString(L"/x/missing"), 2), S_FALSE);
    EXPECT_EQ(agent.ReadingFileError(UString(L"/x/bad"), 5), (HRESULT)0x80070005);
    EXPECT_EQ(impl->Events, (std::vector<std::string>{"Compress a/b.txt", "Delete gone.txt", "NumFiles 3"}));
    const std::string text2 = Narrow(NWindows::NError::MyFormatMessage(2));
    const std::string text5 = Narrow(NWindows::NError::MyFormatMessage(5));
    EXPECT_EQ(impl->Messages,
              (std::vector<std::string>{"WARNING: " + text2 + ": /x/missing", "ERROR: " + text5 + ": /x/bad"}));

    // The panel's own failure stops the writer, whatever the report was.
    impl->MessageAnswer = E_ABORT;
    EXPECT_EQ(agent.OpenFileError(UString(L"/x/missing"), 2), E_ABORT);
    EXPECT_EQ(agent.ReadingFileError(UString(L"/x/bad"), 5), E_ABORT);

    // Ratio reports reach the callback's own progress interface.
    const UInt64 in = 10, out = 5;
    EXPECT_EQ(agent.SetRatioInfo(&in, &out), S_OK);
    EXPECT_EQ(impl->NumRatioReports, 1);
}

TEST_F(AgentUpdateCallback, SecondCallbackGetsStructuredReportsInsteadOfMessageLines) {
    CFolderUpdateRecorder *impl = new CFolderUpdateRecorder;
    impl->WithCallback2 = true;
    CMyComPtr<IFolderArchiveUpdateCallback> callback = impl;
    CUpdateCallbackAgent agent;
    agent.SetCallback(callback);

    EXPECT_EQ(agent.GetStream(L"new.txt", false, false, 1), S_OK);
    EXPECT_EQ(agent.GetStream(L"dir", true, false, 0), S_OK);
    EXPECT_EQ(agent.ReportUpdateOpeartion(4, L"kept.txt", false), S_OK);
    EXPECT_EQ(agent.OpenFileError(UString(L"/x/missing"), 2), S_FALSE);
    EXPECT_EQ(agent.ReadingFileError(UString(L"/x/bad"), 2), (HRESULT)0x80070002);
    EXPECT_EQ(impl->Events, (std::vector<std::string>{"Report 1 new.txt", "Report 0 dir/", "Report 4 kept.txt",
                                                      "OpenFileError /x/missing " + std::to_string(0x80070002u),
                                                      "ReadingFileError /x/bad " + std::to_string(0x80070002u)}));
    EXPECT_TRUE(impl->Messages.empty());
}

TEST_F(AgentUpdateCallback, WithoutCallbackReportsPassAndErrorsComeBack) {
    CUpdateCallbackAgent agent;
    agent.SetCallback(nullptr);
    const UInt64 done = 1;
    EXPECT_EQ(agent.SetTotal(5), S_OK);
    EXPECT_EQ(agent.SetCompleted(&done), S_OK);
    EXPECT_EQ(agent.SetRatioInfo(&done, &done), S_OK);
    EXPECT_EQ(agent.GetStream(L"a", false, false, 0), S_OK);
    EXPECT_EQ(agent.SetOperationResult(0), S_OK);
    EXPECT_EQ(agent.ShowDeleteFile(L"a", false), S_OK);
    EXPECT_EQ(agent.OpenFileError(UString(L"/x"), 2), (HRESULT)0x80070002);
    EXPECT_EQ(agent.ReadingFileError(UString(L"/x"), 2), (HRESULT)0x80070002);
    // An error without a number is still an error, never a usable stream.
    EXPECT_EQ(agent.OpenFileError(UString(L"/x"), 0), E_FAIL);

    Int32 defined = 7;
    BSTR password = ::SysAllocString(L"stale");
    BSTR stale = password;
    EXPECT_EQ(agent.CryptoGetTextPassword2(&defined, &password), S_OK);
    EXPECT_EQ(defined, 0);
    EXPECT_EQ(password, nullptr);
    ::SysFreeString(stale);
    EXPECT_EQ(agent.CryptoGetTextPassword(&password), E_NOTIMPL);
    EXPECT_EQ(password, nullptr);
}

TEST_F(AgentUpdateCallback, PasswordsComeFromTheCallbackWhenItAnswers) {
    CFolderUpdateRecorder *impl = new CFolderUpdateRecorder;
    CMyComPtr<IFolderArchiveUpdateCallback> callback = impl;
    CUpdateCallbackAgent agent;
    agent.SetCallback(callback);
    Int32 defined = 1;
    BSTR password = nullptr;
    EXPECT_EQ(agent.CryptoGetTextPassword2(&defined, &password), S_OK);
    EXPECT_EQ(defined, 0);
    EXPECT_EQ(agent.CryptoGetTextPassword(&password), E_NOTIMPL);

    impl->WithPassword = true;
    impl->Password = L"secret";
    CUpdateCallbackAgent agent2;
    agent2.SetCallback(callback);
    EXPECT_EQ(agent2.CryptoGetTextPassword2(&defined, &password), S_OK);
    EXPECT_EQ(defined, 1);
    EXPECT_EQ(Narrow(password), "secret");
    ::SysFreeString(password);
    password = nullptr;
    EXPECT_EQ(agent2.CryptoGetTextPassword(&password), S_OK);
    EXPECT_EQ(Narrow(password), "secret");
    ::SysFreeString(password);
}

} // namespace
