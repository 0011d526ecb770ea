#include <gtest/gtest.h>

#include <errno.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "base/Threads.h"

#include "test_support.h"

using testsupport::WaitFor;

namespace {

using namespace std::chrono_literals;


// Shared with the waiting threads; leaked on purpose if they cannot be released, so that a
// failing test never frees memory that a stuck thread still uses.
struct WaitGroup {
    CEventRecord event;
    CSemaphoreRecord sem;
    std::atomic<int> started{0};
    std::atomic<int> passed{0};
    CThreadRecord threads[2];
};

THREAD_FUNC_DECL EventWaiter(void *param) {
    WaitGroup *g = static_cast<WaitGroup *>(param);
    g->started++;
    Event_Wait(&g->event);
    g->passed++;
    return nullptr;
}

THREAD_FUNC_DECL SemaphoreWaiter(void *param) {
    WaitGroup *g = static_cast<WaitGroup *>(param);
    g->started++;
    Semaphore_Wait(&g->sem);
    g->passed++;
    return nullptr;
}

void StartTwo(WaitGroup *g, THREAD_FUNC_TYPE func) {
    for (CThreadRecord &t : g->threads)
        ASSERT_EQ(Thread_Create(&t, func, g), 0);
    ASSERT_TRUE(WaitFor([g] { return g->started == 2; }));
    // Give both time to reach their wait before anything is signalled.
    std::this_thread::sleep_for(50ms);
}

// Releases whatever still waits, joins both threads and frees the group; leaks it when a
// thread cannot be released.
template <typename Release> void Finish(WaitGroup *g, Release release) {
    const bool allPassed = WaitFor([&] {
        if (g->passed == 2) return true;
        release();
        return false;
    });
    if (!allPassed) {
        ADD_FAILURE() << "waiting threads could not be released";
        for (CThreadRecord &t : g->threads)
            Thread_Close(&t);
        return;
    }
    for (CThreadRecord &t : g->threads)
        EXPECT_EQ(Thread_Wait(&t), 0);
    delete g;
}

UInt32 SemaphoreCount(CSemaphoreRecord *sem) {
    pthread_mutex_lock(&sem->_mutex);
    UInt32 count = sem->_count;
    pthread_mutex_unlock(&sem->_mutex);
    return count;
}

THREAD_FUNC_DECL StoreSeven(void *param) {
    *static_cast<int *>(param) = 7;
    return nullptr;
}

} // namespace

TEST(Thread, WaitOnNeverCreatedRecordGivesEinval) {
    CThreadRecord thread;
    EXPECT_EQ(Thread_Wait(&thread), 22);
    Thread_Construct(&thread);
    EXPECT_EQ(Thread_Wait(&thread), 22);
    EXPECT_EQ(Thread_Close(&thread), 0);
}

TEST(Thread, WaitJoinsAndCloseAfterwardsDoesNothing) {
    CThreadRecord thread;
    int value = 0;
    ASSERT_EQ(Thread_Create(&thread, StoreSeven, &value), 0);
    EXPECT_TRUE(Thread_WasCreated(&thread));
    EXPECT_EQ(Thread_Wait(&thread), 0);
    EXPECT_EQ(value, 7);
    EXPECT_FALSE(Thread_WasCreated(&thread));
    EXPECT_EQ(Thread_Close(&thread), 0);
    EXPECT_EQ(Thread_Wait(&thread), 22);
}

TEST(Thread, CloseLetsARunningThreadGo) {
    // Static: the detached thread may still be returning from its function when the test ends.
    static WaitGroup group;
    WaitGroup *g = &group;
    g->started = 0; // for repeated runs: an earlier thread has passed and no longer counts
    g->passed = 0;
    ASSERT_EQ(ManualResetEvent_CreateNotSignaled(&g->event), 0);
    ASSERT_EQ(Thread_Create(&g->threads[0], EventWaiter, g), 0);
    EXPECT_EQ(Thread_Close(&g->threads[0]), 0);
    EXPECT_FALSE(Thread_WasCreated(&g->threads[0]));
    Event_Set(&g->event);
    ASSERT_TRUE(WaitFor([g] { return g->passed == 1; }));
    Event_Close(&g->event);
}

TEST(Event, AutoResetReleasesExactlyOneOfTwoWaiters) {
    WaitGroup *g = new WaitGroup;
    ASSERT_EQ(AutoResetEvent_CreateNotSignaled(&g->event), 0);
    StartTwo(g, EventWaiter);
    EXPECT_EQ(g->passed, 0);
    EXPECT_EQ(Event_Set(&g->event), 0);
    EXPECT_TRUE(WaitFor([g] { return g->passed >= 1; }));
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(g->passed, 1);
    EXPECT_EQ(Event_Set(&g->event), 0);
    EXPECT_TRUE(WaitFor([g] { return g->passed == 2; }));
    Finish(g, [g] { Event_Set(&g->event); });
}

TEST(Event, ManualResetReleasesBothWaitersAndStaysSet) {
    WaitGroup *g = new WaitGroup;
    ASSERT_EQ(ManualResetEvent_CreateNotSignaled(&g->event), 0);
    StartTwo(g, EventWaiter);
    EXPECT_EQ(g->passed, 0);
    EXPECT_EQ(Event_Set(&g->event), 0);
    EXPECT_TRUE(WaitFor([g] { return g->passed == 2; }));
    EXPECT_EQ(g->event._state, 1); // both waiters are past their wait: nothing else touches it
    Finish(g, [g] { Event_Set(&g->event); });
}

TEST(Event, ManualResetStaysSetAfterAWait) {
    CEventRecord event;
    ASSERT_EQ(ManualResetEvent_Create(&event, 1), 0);
    EXPECT_EQ(Event_Wait(&event), 0);
    EXPECT_EQ(event._state, 1);
    EXPECT_EQ(Event_Wait(&event), 0);
    EXPECT_EQ(Event_Close(&event), 0);
}

TEST(Event, AutoResetCreatedSignalledPassesOneWaitAndClears) {
    CEventRecord event;
    ASSERT_EQ(AutoResetEvent_Create(&event, 1), 0);
    EXPECT_EQ(Event_Wait(&event), 0);
    EXPECT_EQ(event._state, 0);
    EXPECT_EQ(Event_Close(&event), 0);
}

TEST(Event, ResetBlocksWaitersUntilTheNextSet) {
    WaitGroup *g = new WaitGroup;
    ASSERT_EQ(ManualResetEvent_Create(&g->event, 1), 0);
    EXPECT_EQ(Event_Reset(&g->event), 0);
    StartTwo(g, EventWaiter);
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(g->passed, 0);
    Event_Set(&g->event);
    EXPECT_TRUE(WaitFor([g] { return g->passed == 2; }));
    Finish(g, [g] { Event_Set(&g->event); });
}

TEST(Event, CloseOfNeverCreatedRecordDoesNothing) {
    CEventRecord event;
    EXPECT_EQ(Event_Close(&event), 0);
    CSemaphoreRecord sem;
    EXPECT_EQ(Semaphore_Close(&sem), 0);
}

TEST(Semaphore, ReleaseBeyondMaximumGivesEinvalAndKeepsTheCount) {
    WaitGroup *g = new WaitGroup;
    ASSERT_EQ(Semaphore_Create(&g->sem, 0, 2), 0);
    StartTwo(g, SemaphoreWaiter);
    EXPECT_EQ(Semaphore_ReleaseN(&g->sem, 3), 22);
    EXPECT_EQ(Semaphore_ReleaseN(&g->sem, 0), 22);
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(g->passed, 0);
    EXPECT_EQ(SemaphoreCount(&g->sem), 0u);
    EXPECT_EQ(Semaphore_ReleaseN(&g->sem, 2), 0);
    EXPECT_TRUE(WaitFor([g] { return g->passed == 2; }));
    EXPECT_EQ(SemaphoreCount(&g->sem), 0u);
    Finish(g, [g] { Semaphore_ReleaseN(&g->sem, 1); });
}

TEST(Semaphore, ReleaseCountsAgainstTheCurrentCount) {
    CSemaphoreRecord sem;
    ASSERT_EQ(Semaphore_Create(&sem, 1, 2), 0);
    EXPECT_EQ(Semaphore_Release1(&sem), 0);
    EXPECT_EQ(Semaphore_Release1(&sem), 22);
    EXPECT_EQ(sem._count, 2u);
    EXPECT_EQ(Semaphore_ReleaseN(&sem, 0xFFFFFFFF), 22); // must not wrap below the maximum
    EXPECT_EQ(sem._count, 2u);
    EXPECT_EQ(Semaphore_Wait(&sem), 0);
    EXPECT_EQ(Semaphore_Wait(&sem), 0);
    EXPECT_EQ(sem._count, 0u);
    EXPECT_EQ(Semaphore_Close(&sem), 0);
}

TEST(CriticalSection, InitEnterLeaveDelete) {
    pthread_mutex_t cs;
    ASSERT_EQ(CriticalSection_Init(&cs), 0);
    CriticalSection_Enter(&cs);
    EXPECT_EQ(pthread_mutex_trylock(&cs), EBUSY);
    CriticalSection_Leave(&cs);
    EXPECT_EQ(pthread_mutex_trylock(&cs), 0);
    CriticalSection_Leave(&cs);
    CriticalSection_Delete(&cs);
}
