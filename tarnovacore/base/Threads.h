#pragma once

// Win32-like threads, events, semaphores and mutexes over POSIX threads. Results are 0 on
// success, else a POSIX error number (22, EINVAL, for misuse).
#include <pthread.h>

#include "common/MyTypes.h"

typedef int WRes;

// The record types carry "Record" in their names so that they never clash with the classes of
// NWindows and NWindows::NSynchronization when a file opens those namespaces.
struct CThreadRecord {
    pthread_t _tid{};
    Int32 _created = 0;
};

typedef void *THREAD_FUNC_RET_TYPE;
#define THREAD_FUNC_CALL_TYPE
#define THREAD_FUNC_DECL THREAD_FUNC_RET_TYPE THREAD_FUNC_CALL_TYPE
typedef THREAD_FUNC_RET_TYPE(THREAD_FUNC_CALL_TYPE *THREAD_FUNC_TYPE)(void *);

inline void Thread_Construct(CThreadRecord *thread) {
    thread->_created = 0;
}
inline bool Thread_WasCreated(const CThreadRecord *thread) {
    return thread->_created != 0;
}

WRes Thread_Create(CThreadRecord *thread, THREAD_FUNC_TYPE startAddress, void *parameter);
WRes Thread_Wait(CThreadRecord *thread);
WRes Thread_Close(CThreadRecord *thread);

struct CEventRecord {
    int _created = 0;
    int _manual_reset = 0;
    int _state = 0;
    pthread_mutex_t _mutex;
    pthread_cond_t _cond;
};

inline void Event_Construct(CEventRecord *event) {
    event->_created = 0;
}
inline bool Event_IsCreated(const CEventRecord *event) {
    return event->_created != 0;
}

WRes Event_Create(CEventRecord *event, int manualReset, int signaled);
WRes ManualResetEvent_Create(CEventRecord *event, int signaled);
WRes ManualResetEvent_CreateNotSignaled(CEventRecord *event);
WRes AutoResetEvent_Create(CEventRecord *event, int signaled);
WRes AutoResetEvent_CreateNotSignaled(CEventRecord *event);
WRes Event_Set(CEventRecord *event);
WRes Event_Reset(CEventRecord *event);
WRes Event_Wait(CEventRecord *event);
WRes Event_Close(CEventRecord *event);

struct CSemaphoreRecord {
    int _created = 0;
    UInt32 _count = 0;
    UInt32 _maxCount = 0;
    pthread_mutex_t _mutex;
    pthread_cond_t _cond;
};

inline void Semaphore_Construct(CSemaphoreRecord *sem) {
    sem->_created = 0;
}
inline bool Semaphore_IsCreated(const CSemaphoreRecord *sem) {
    return sem->_created != 0;
}

WRes Semaphore_Create(CSemaphoreRecord *sem, UInt32 initCount, UInt32 maxCount);
WRes Semaphore_ReleaseN(CSemaphoreRecord *sem, UInt32 num);
inline WRes Semaphore_Release1(CSemaphoreRecord *sem) {
    return Semaphore_ReleaseN(sem, 1);
}
WRes Semaphore_Wait(CSemaphoreRecord *sem);
WRes Semaphore_Close(CSemaphoreRecord *sem);

// A critical section is a plain POSIX mutex with default (non-recursive) attributes.
WRes CriticalSection_Init(pthread_mutex_t *cs);
inline void CriticalSection_Delete(pthread_mutex_t *cs) {
    pthread_mutex_destroy(cs);
}
inline void CriticalSection_Enter(pthread_mutex_t *cs) {
    pthread_mutex_lock(cs);
}
inline void CriticalSection_Leave(pthread_mutex_t *cs) {
    pthread_mutex_unlock(cs);
}
