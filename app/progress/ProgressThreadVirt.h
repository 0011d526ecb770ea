#pragma once

// The base of every worker: starts the thread, runs the progress window until the work is over,
// and turns the worker's result or exception into the final text the window shows.
#include "ProgressSync.h"
#include "common/MyString.h"
#include "windows/Thread.h"

class progresswindow;
class QWidget;

class CProgressThreadVirt {
public:
    UStringVector errorPaths; // the first 32 go into the final error text
    CProgressMessageBoxPair finalError;
    CProgressMessageBoxPair finalOk;
    HRESULT result = E_FAIL;
    bool finishedOk = false;
    // Taken from the GUI thread when the worker is built; owned by the worker from then on.
    progresswindow *progressWindow;

    CProgressThreadVirt();
    // Releases the window; the thread has been joined by then.
    virtual ~CProgressThreadVirt();
    CProgressThreadVirt(const CProgressThreadVirt &) = delete;
    CProgressThreadVirt &operator=(const CProgressThreadVirt &) = delete;

    virtual HRESULT ProcessVirt() = 0;

    // 0 once the worker ran and was joined; otherwise the thread could not start (or there is no
    // window) and nothing was shown.
    int Create(const UString &title, QWidget *parent);
    // The worker body, on the new thread.
    void Process();
    static THREAD_FUNC_DECL MyThreadFunction(void *worker);
};
