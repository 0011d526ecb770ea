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

} // namespace
