#pragma once

#include "base/Threads.h"

namespace NWindows {

// The thread record itself, so that both thread.Create(...) and Thread_Create(&thread, ...) work.
// Not copyable: two copies would join or detach the same thread twice.
class CThread : public CThreadRecord {
public:
    CThread() = default;
    CThread(const CThread &) = delete;
    CThread &operator=(const CThread &) = delete;
    // A thread still running when its record goes is let go, not waited for.
    ~CThread() { Close(); }

    WRes Create(THREAD_FUNC_TYPE startAddress, void *parameter) { return Thread_Create(this, startAddress, parameter); }
    WRes Wait() { return Thread_Wait(this); }
    WRes Close() { return Thread_Close(this); }
    bool IsCreated() const { return Thread_WasCreated(this); }
};

} // namespace NWindows
