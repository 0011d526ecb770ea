#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "windows/Synchronization.h"
#include "windows/Thread.h"

using namespace NWindows;
using namespace NWindows::NSynchronization;

#include "test_support.h"

using testsupport::WaitFor;

namespace {

using namespace std::chrono_literals;

struct Counter {
    CCriticalSection cs;
    long value = 0;
};

const int kIncrements = 20000;

THREAD_FUNC_DECL CountUnderLock(void *param) {
    Counter *c = static_cast<Counter *>(param);
    for (int i = 0; i < kIncrements; i++) {
        CCriticalSectionLock lock(c->cs);
        c->value++;
    }
    return nullptr;
}


struct Handshake {
    CManualResetEvent go;
    CThread thread;
    std::atomic<int> passed{0};
};

THREAD_FUNC_DECL WaitForGo(void *param) {
    Handshake *h = static_cast<Handshake *>(param);
    h->go.Lock();
    h->passed++;
    return nullptr;
}

} // namespace

TEST(CThread, WrapsTheThreadRecordCalls) {
    CThread thread;
    EXPECT_FALSE(thread.IsCreated());
    EXPECT_EQ(thread.Wait(), 22);
    EXPECT_EQ(Thread_Wait(&thread), 22); // the class is the record of the C-style calls
    Counter counter;
    ASSERT_EQ(thread.Create(CountUnderLock, &counter), 0);
    EXPECT_TRUE(thread.IsCreated());
    EXPECT_EQ(thread.Wait(), 0);
    EXPECT_FALSE(thread.IsCreated());
    EXPECT_EQ(thread.Close(), 0);
    EXPECT_EQ(counter.value, kIncrements);
}

TEST(CCriticalSection, LockSerialisesIncrementsFromSeveralThreads) {
    Counter counter;
    CThread threads[4];
    for (CThread &t : threads)
        ASSERT_EQ(Thread_Create(&t, CountUnderLock, &counter), 0);
    for (CThread &t : threads)
        EXPECT_EQ(t.Wait(), 0);
    EXPECT_EQ(counter.value, 4L * kIncrements);
}

TEST(CManualResetEvent, ReleasesAWaitingThread) {
    Handshake *h = new Handshake;
    ASSERT_EQ(h->go.Create(), 0);
    EXPECT_TRUE(h->go.IsCreated());
    EXPECT_EQ(h->go.CreateIfNotCreated(), 0);
    ASSERT_EQ(h->thread.Create(WaitForGo, h), 0);
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(h->passed, 0);
    EXPECT_EQ(h->go.Set(), 0);
    if (!WaitFor([h] { return h->passed == 1; })) {
        // Leaked on purpose: the stuck thread still uses it.
        h->thread.Close();
        FAIL() << "the waiting thread was not released";
    }
    EXPECT_EQ(h->thread.Wait(), 0);
    delete h;
}

TEST(CAutoResetEvent, CreatedNotSignalledAndClearedByItsWait) {
    CAutoResetEvent event;
    EXPECT_FALSE(event.IsCreated());
    ASSERT_EQ(event.CreateIfNotCreated(), 0);
    EXPECT_EQ(event.Set(), 0);
    EXPECT_EQ(event.Lock(), 0);
    EXPECT_EQ(event.Reset(), 0);
    EXPECT_EQ(event.Close(), 0);
    EXPECT_FALSE(event.IsCreated());
}

TEST(CSemaphore, ReleaseAndLockWithinTheMaximum) {
    CSemaphore sem;
    ASSERT_EQ(sem.Create(0, 2), 0);
    EXPECT_EQ(sem.Release(3), 22);
    EXPECT_EQ(sem.Release(2), 0);
    EXPECT_EQ(sem.Lock(), 0);
    EXPECT_EQ(sem.Lock(), 0);
    EXPECT_EQ(sem.Release(), 0);
    EXPECT_EQ(sem.Close(), 0);
    EXPECT_FALSE(sem.IsCreated());
}
