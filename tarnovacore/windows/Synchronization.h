#pragma once

#include "base/Threads.h"

namespace NWindows {
namespace NSynchronization {

class CBaseEvent {
protected:
    CEventRecord _object;

public:
    CBaseEvent() = default;
    CBaseEvent(const CBaseEvent &) = delete;
    CBaseEvent &operator=(const CBaseEvent &) = delete;
    ~CBaseEvent() { Close(); }

    bool IsCreated() const { return Event_IsCreated(&_object); }
    WRes Create(bool manualReset, bool initiallyOwn) { return Event_Create(&_object, manualReset, initiallyOwn); }
    WRes Set() { return Event_Set(&_object); }
    WRes Reset() { return Event_Reset(&_object); }
    WRes Lock() { return Event_Wait(&_object); }
    WRes Close() { return Event_Close(&_object); }
};

class CManualResetEvent : public CBaseEvent {
public:
    WRes Create(bool initiallyOwn = false) { return ManualResetEvent_Create(&_object, initiallyOwn); }
    WRes CreateIfNotCreated() { return IsCreated() ? 0 : ManualResetEvent_CreateNotSignaled(&_object); }
};

class CAutoResetEvent : public CBaseEvent {
public:
    WRes Create() { return AutoResetEvent_CreateNotSignaled(&_object); }
    WRes CreateIfNotCreated() { return IsCreated() ? 0 : AutoResetEvent_CreateNotSignaled(&_object); }
};

class CSemaphore {
    CSemaphoreRecord _object;

public:
    CSemaphore() = default;
    CSemaphore(const CSemaphore &) = delete;
    CSemaphore &operator=(const CSemaphore &) = delete;
    ~CSemaphore() { Close(); }

    bool IsCreated() const { return Semaphore_IsCreated(&_object); }
    WRes Create(UInt32 initCount, UInt32 maxCount) { return Semaphore_Create(&_object, initCount, maxCount); }
    WRes Release(UInt32 releaseCount = 1) { return Semaphore_ReleaseN(&_object, releaseCount); }
    WRes Lock() { return Semaphore_Wait(&_object); }
    WRes Close() { return Semaphore_Close(&_object); }
};

// A plain non-recursive mutex that lives as long as its owner.
class CCriticalSection {
    pthread_mutex_t _object;

public:
    CCriticalSection() { CriticalSection_Init(&_object); }
    CCriticalSection(const CCriticalSection &) = delete;
    CCriticalSection &operator=(const CCriticalSection &) = delete;
    ~CCriticalSection() { CriticalSection_Delete(&_object); }

    void Enter() { CriticalSection_Enter(&_object); }
    void Leave() { CriticalSection_Leave(&_object); }
};

class CCriticalSectionLock {
    CCriticalSection &_object;

public:
    explicit CCriticalSectionLock(CCriticalSection &object) : _object(object) { _object.Enter(); }
    CCriticalSectionLock(const CCriticalSectionLock &) = delete;
    CCriticalSectionLock &operator=(const CCriticalSectionLock &) = delete;
    ~CCriticalSectionLock() { _object.Leave(); }
};

} // namespace NSynchronization
} // namespace NWindows
