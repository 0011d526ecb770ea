#include "base/Threads.h"

#include <errno.h>

WRes Thread_Create(CThreadRecord *thread, THREAD_FUNC_TYPE startAddress, void *parameter) {
    thread->_created = 0;
    pthread_attr_t attr;
    int ret = pthread_attr_init(&attr);
    if (ret != 0) return ret;
    ret = pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_JOINABLE);
    if (ret == 0) ret = pthread_create(&thread->_tid, &attr, startAddress, parameter);
    pthread_attr_destroy(&attr);
    if (ret == 0) thread->_created = 1;
    return ret;
}

WRes Thread_Wait(CThreadRecord *thread) {
    if (!thread->_created) return EINVAL;
    void *threadResult = nullptr;
    int ret = pthread_join(thread->_tid, &threadResult);
    thread->_created = 0;
    return ret;
}

WRes Thread_Close(CThreadRecord *thread) {
    if (thread->_created) {
        pthread_detach(thread->_tid);
        thread->_tid = pthread_t{};
        thread->_created = 0;
    }
    return 0;
}

// Shared by events and semaphores: both records own one mutex and one condition variable.
static WRes InitMutexAndCond(pthread_mutex_t *mutex, pthread_cond_t *cond) {
    int ret = pthread_mutex_init(mutex, nullptr);
    if (ret != 0) return ret;
    ret = pthread_cond_init(cond, nullptr);
    if (ret != 0) pthread_mutex_destroy(mutex);
    return ret;
}

WRes Event_Create(CEventRecord *event, int manualReset, int signaled) {
    event->_created = 0;
    WRes ret = InitMutexAndCond(&event->_mutex, &event->_cond);
    if (ret != 0) return ret;
    event->_manual_reset = manualReset;
    event->_state = signaled ? 1 : 0;
    event->_created = 1;
    return 0;
}

WRes ManualResetEvent_Create(CEventRecord *event, int signaled) {
    return Event_Create(event, 1, signaled);
}
WRes ManualResetEvent_CreateNotSignaled(CEventRecord *event) {
    return Event_Create(event, 1, 0);
}
WRes AutoResetEvent_Create(CEventRecord *event, int signaled) {
    return Event_Create(event, 0, signaled);
}
WRes AutoResetEvent_CreateNotSignaled(CEventRecord *event) {
    return Event_Create(event, 0, 0);
}

WRes Event_Set(CEventRecord *event) {
    pthread_mutex_lock(&event->_mutex);
    event->_state = 1;
    pthread_cond_broadcast(&event->_cond);
    pthread_mutex_unlock(&event->_mutex);
    return 0;
}

WRes Event_Reset(CEventRecord *event) {
    pthread_mutex_lock(&event->_mutex);
    event->_state = 0;
    pthread_mutex_unlock(&event->_mutex);
    return 0;
}

WRes Event_Wait(CEventRecord *event) {
    pthread_mutex_lock(&event->_mutex);
    while (event->_state == 0)
        pthread_cond_wait(&event->_cond, &event->_mutex);
    // Set wakes every waiter; the first one through takes the signal of an auto-reset event and
    // the others find the state cleared and wait again.
    if (!event->_manual_reset) event->_state = 0;
    pthread_mutex_unlock(&event->_mutex);
    return 0;
}

WRes Event_Close(CEventRecord *event) {
    if (event->_created) {
        event->_created = 0;
        pthread_mutex_destroy(&event->_mutex);
        pthread_cond_destroy(&event->_cond);
    }
    return 0;
}

WRes Semaphore_Create(CSemaphoreRecord *sem, UInt32 initCount, UInt32 maxCount) {
    sem->_created = 0;
    WRes ret = InitMutexAndCond(&sem->_mutex, &sem->_cond);
    if (ret != 0) return ret;
    sem->_count = initCount;
    sem->_maxCount = maxCount;
    sem->_created = 1;
    return 0;
}

WRes Semaphore_ReleaseN(CSemaphoreRecord *sem, UInt32 num) {
    if (num == 0) return EINVAL;
    pthread_mutex_lock(&sem->_mutex);
    // Summed in 64 bits so that a huge release cannot wrap below the maximum.
    UInt64 newCount = (UInt64)sem->_count + num;
    WRes ret = EINVAL;
    if (newCount <= sem->_maxCount) {
        sem->_count = (UInt32)newCount;
        pthread_cond_broadcast(&sem->_cond);
        ret = 0;
    }
    pthread_mutex_unlock(&sem->_mutex);
    return ret;
}

WRes Semaphore_Wait(CSemaphoreRecord *sem) {
    pthread_mutex_lock(&sem->_mutex);
    while (sem->_count == 0)
        pthread_cond_wait(&sem->_cond, &sem->_mutex);
    sem->_count--;
    pthread_mutex_unlock(&sem->_mutex);
    return 0;
}

WRes Semaphore_Close(CSemaphoreRecord *sem) {
    if (sem->_created) {
        sem->_created = 0;
        pthread_mutex_destroy(&sem->_mutex);
        pthread_cond_destroy(&sem->_cond);
    }
    return 0;
}

WRes CriticalSection_Init(pthread_mutex_t *cs) {
    return pthread_mutex_init(cs, nullptr);
}
