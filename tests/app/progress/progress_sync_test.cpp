// The progress state shared by a worker and its window: pause and stop reach a worker only
// through it, so waits must end on resume or cancel and cost nothing while they last.
#include <gtest/gtest.h>

#include <time.h>

#include <atomic>
#include <functional>
#include <thread>

#include "ErrorText.h"
#include "ProgressSync.h"
#include "test_support.h"

using testsupport::WaitFor;

namespace {

struct SetterCase {
    const char *name;
    bool checksStop; // honours pause and stop
    std::function<HRESULT(CProgressSync &)> call;
};

const UString kPath(L"/tmp/a");

std::vector<SetterCase> SetterCases() {
    return {
        {"ScanProgress", true, [](CProgressSync &s) { return s.ScanProgress(1, 2, kPath, false); }},
        {"Set_NumFilesTotal", true, [](CProgressSync &s) { return s.Set_NumFilesTotal(3); }},
        {"Set_NumBytesCur(ptr)", true,
         [](CProgressSync &s) {
             UInt64 v = 4;
             return s.Set_NumBytesCur(&v);
         }},
        {"Set_NumBytesCur(null)", true, [](CProgressSync &s) { return s.Set_NumBytesCur(nullptr); }},
        {"Set_NumBytesCur", true, [](CProgressSync &s) { return s.Set_NumBytesCur((UInt64)5); }},
        {"Set_Status2", true, [](CProgressSync &s) { return s.Set_Status2(L"st", L"/p", true); }},
        {"CheckStop", true, [](CProgressSync &s) { return s.CheckStop(); }},
        {"Set_NumBytesTotal", false,
         [](CProgressSync &s) {
             s.Set_NumBytesTotal(6);
             return S_OK;
         }},
        {"Set_NumFilesCur", false,
         [](CProgressSync &s) {
             s.Set_NumFilesCur(7);
             return S_OK;
         }},
        {"Set_Ratio", false,
         [](CProgressSync &s) {
             UInt64 a = 1, b = 2;
             s.Set_Ratio(&a, &b);
             return S_OK;
         }},
        {"Set_Status", false,
         [](CProgressSync &s) {
             s.Set_Status(L"x");
             return S_OK;
         }},
        {"Set_FilePath", false,
         [](CProgressSync &s) {
             s.Set_FilePath(L"/x", false);
             return S_OK;
         }},
    };
}

// Runs the call on its own thread while the state is paused; then ends the pause with the given
// action and returns the call's result.
HRESULT CallWhilePaused(const SetterCase &c, bool stopInsteadOfResume, bool &heldWhilePaused) {
    CProgressSync sync;
    sync.Set_Paused(true);
    std::atomic<bool> returned{false};
    HRESULT res = E_FAIL;
    std::thread worker([&] {
        res = c.call(sync);
        returned = true;
    });
    // Long enough for a non-waiting setter to return many times over.
    WaitFor([&] { return returned.load(); }, std::chrono::milliseconds(150));
    heldWhilePaused = !returned;
    if (stopInsteadOfResume)
        sync.Set_Stopped();
    else
        sync.Set_Paused(false);
    EXPECT_TRUE(WaitFor([&] { return returned.load(); })) << c.name;
    worker.join();
    return res;
}

TEST(ProgressSyncTest, PauseHoldsOnlyTheSettersThatCheckStop) {
    for (const SetterCase &c : SetterCases()) {
        bool held = false;
        HRESULT resumed = CallWhilePaused(c, false, held);
        EXPECT_EQ(held, c.checksStop) << c.name;
        EXPECT_EQ(resumed, S_OK) << c.name;

        HRESULT stopped = CallWhilePaused(c, true, held);
        EXPECT_EQ(held, c.checksStop) << c.name;
        EXPECT_EQ(stopped, c.checksStop ? E_ABORT : S_OK) << c.name;
    }
}

TEST(ProgressSyncTest, StoppedStateAbortsAtOnceEvenWhilePaused) {
    CProgressSync sync;
    sync.Set_Paused(true);
    sync.Set_Stopped();
    for (const SetterCase &c : SetterCases())
        EXPECT_EQ(c.call(sync), c.checksStop ? E_ABORT : S_OK) << c.name;
}

double ThreadCpuMs() {
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
}

TEST(ProgressSyncTest, PausedWorkerSleepsInsteadOfPolling) {
    CProgressSync sync;
    sync.Set_Paused(true);
    std::atomic<bool> waiting{false};
    double cpuMs = -1;
    std::thread worker([&] {
        const double start = ThreadCpuMs();
        waiting = true;
        sync.CheckStop();
        cpuMs = ThreadCpuMs() - start;
    });
    ASSERT_TRUE(WaitFor([&] { return waiting.load(); }));
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    sync.Set_Paused(false);
    worker.join();
    // Waking every 0.1 ms for 400 ms costs tens of milliseconds of processor time.
    EXPECT_LT(cpuMs, 5.0);
}

TEST(ProgressSyncTest, SettersStoreTheirFields) {
    CProgressSync sync;
    EXPECT_EQ(sync.numBytesTotal, (UInt64)(Int64)-1);
    EXPECT_EQ(sync.inSize, (UInt64)(Int64)-1);
    EXPECT_TRUE(sync.bytesProgressMode);

    UInt64 in = 10;
    sync.Set_Ratio(&in, nullptr);
    EXPECT_EQ(sync.inSize, 10u);
    EXPECT_EQ(sync.outSize, (UInt64)(Int64)-1);

    EXPECT_EQ(sync.ScanProgress(3, 300, UString(L"/dir"), true), S_OK);
    EXPECT_EQ(sync.numFilesTotal, 3u);
    EXPECT_EQ(sync.numBytesTotal, 300u);
    EXPECT_TRUE(sync.isDir);

    sync.Set_NumBytesCur((UInt64)77);
    EXPECT_EQ(sync.Set_NumBytesCur(nullptr), S_OK);
    EXPECT_EQ(sync.numBytesCur, 77u);

    sync.Set_Status2(L"s", nullptr, false);
    EXPECT_TRUE(sync.filePath.IsEmpty());
    EXPECT_FALSE(sync.isDir);
}

TEST(ProgressSyncTest, ErrorLinesByTable) {
    struct Case {
        const wchar_t *message;
        const wchar_t *name;
        const wchar_t *line;
    } cases[] = {
        {L"bad data\n", L"a.txt", L"a.txt\nbad data"},
        {L"bad data", L"", L"bad data"},
        {L"bad data", nullptr, L"bad data"},
        {L"", L"a.txt", L"a.txt"},
        {nullptr, nullptr, L""},
        {L"", L"", L""},
        {L"two\nlines\n\n", L"n", L"n\ntwo\nlines\n"},
    };
    CProgressSync sync;
    for (const Case &c : cases)
        sync.AddError_Message_Name(c.message, c.name);
    ASSERT_EQ(sync.messages.Size(), sizeof(cases) / sizeof(cases[0]));
    for (unsigned i = 0; i < sync.messages.Size(); i++)
        EXPECT_EQ(testsupport::S(sync.messages[i]), testsupport::S(UString(cases[i].line))) << i;

    sync.AddError_Code_Name(0, L"x");
    EXPECT_EQ(testsupport::S(sync.messages.Back()), "x\nError");
    sync.AddError_Code_Name(2, L"x");
    EXPECT_NE(testsupport::S(sync.messages.Back()), "x\nError");
}

TEST(ErrorTextTest, ResultsAndExceptionsBecomeTexts) {
    EXPECT_EQ(testsupport::S(HResultToMessage(E_OUTOFMEMORY)), "系统无法分配所需内存");
    EXPECT_FALSE(HResultToMessage(E_FAIL).IsEmpty());

    struct Case {
        std::function<void()> thrower;
        std::string text;
    } cases[] = {
        {[] { throw L"wide text"; }, "wide text"},        {[] { throw UString(L"ustring"); }, "ustring"},
        {[] { throw "narrow text"; }, "narrow text"},     {[] { throw 151199; }, "Error #151199"},
        {[] { throw -1; }, "Error #4294967295"},          {[] { throw 2.5; }, "Error"},
        {[] { throw std::runtime_error("x"); }, "Error"},
    };
    for (const Case &c : cases) {
        UString text;
        try {
            c.thrower();
        } catch (...) {
            text = CurrentExceptionText();
        }
        EXPECT_EQ(testsupport::S(text), c.text);
    }
}

// The engine's English refusals reach the window in Chinese, with the name after them kept; a
// text the table does not know passes unchanged.
TEST(ErrorTextTest, EngineRefusalsInChinese) {
    const struct {
        const char *engine;
        const char *shown;
    } cases[] = {
        {"An item of the new name is already in the archive; choose another name:a/b.txt",
         "压缩包中已有同名项目，请换一个名称：a/b.txt"},
        {"Error: An item of this name is already in the archive; choose another name: 新.txt",
         "错误：压缩包中已有同名项目，请换一个名称：新.txt"},
        {"A compressed tar (gzip) cannot be updated: extract it, change the files and compress them into a new "
         "archive",
         "压缩的 tar 包（gzip）不能更新：请先解压，修改文件后再压缩成新的压缩包"},
        {"The archive is a tar compressed with xz, which cannot be updated in place: update the tar archive first, "
         "then compress it into xz",
         "该压缩包是用 xz 压缩的 tar，不能直接更新：请先更新 tar 压缩包，再把它压缩成 xz"},
        {"A gzip file holds one file only, not folders or several files: create a .tar archive first, then compress "
         "the .tar file into gzip",
         "gzip 文件只能容纳一个文件，不能容纳文件夹或多个文件：请先创建 .tar 压缩包，再把 .tar 文件压缩成 gzip"},
        {"There is some data block after the end of the archive", "压缩包结尾之后还有数据"},
        {"Can not create output directory: /x/y", "无法创建输出文件夹：/x/y"},
        {"WARNING: 权限不够: /x/a", "警告：权限不够: /x/a"},
        // Not the engine's, or not the whole text: left alone.
        {"/home/u/a.zip", "/home/u/a.zip"},
        {"The archive is a tar", "The archive is a tar"},
        {"", ""},
    };
    for (const auto &c : cases)
        EXPECT_EQ(testsupport::S(EngineMessageText(testsupport::U(c.engine))), c.shown) << c.engine;
}

// The error count names failed items: notes that go with them (the archive's name, a summary)
// are listed but not counted.
TEST(ProgressSyncTest, NotesAreListedButNotCountedAsFailures) {
    CProgressSync sync;
    sync.AddNote_Message(L"/tmp/a.zip");
    sync.AddError_Message(L"CRC 校验失败 : f3");
    sync.AddNote_Message(L"1 个项目失败");
    EXPECT_EQ(sync.messages.Size(), 3u);
    EXPECT_EQ(sync.numFailures, 1u);
    sync.AddError_Code_Name(2, L"/tmp/gone");
    EXPECT_EQ(sync.numFailures, 2u);
}

} // namespace
