#include "ProgressThreadVirt.h"

#include "ErrorText.h"
#include "module.h"
#include "progresswindow.h"

CProgressThreadVirt::CProgressThreadVirt() : progressWindow(get_progresswindow()) {}

CProgressThreadVirt::~CProgressThreadVirt() {
    progresswindow::release(progressWindow);
}

int CProgressThreadVirt::Create(const UString &title, QWidget *parent) {
    if (!progressWindow) return E_FAIL;
    NWindows::CThread thread;
    const WRes res = _module.start_thread(&thread, MyThreadFunction, this);
    if (res != 0) return res;
    progressWindow->Create(title, thread, parent);
    thread.Close();
    return 0;
}

THREAD_FUNC_DECL CProgressThreadVirt::MyThreadFunction(void *param) {
    CProgressThreadVirt *worker = static_cast<CProgressThreadVirt *>(param);
    try {
        worker->Process();
        worker->finishedOk = true;
    } catch (...) {
        worker->result = E_FAIL;
    }
    return 0;
}

static void AddLine(UString &m, const UString &line) {
    if (!m.IsEmpty()) m.Add_LF();
    m += line;
}

void CProgressThreadVirt::Process() {
    progresswindow *window = progressWindow;
    UString m;
    try {
        result = ProcessVirt();
    } catch (...) {
        m = CurrentExceptionText();
    }
    try {
        if (result != E_ABORT && m.IsEmpty() && result != S_OK) m = HResultToMessage(result);
        if (!finalError.message.IsEmpty()) AddLine(m, EngineMessageText(finalError.message));
        for (unsigned i = 0; i < errorPaths.Size() && i < 32; i++)
            if (!errorPaths[i].IsEmpty()) AddLine(m, errorPaths[i]);
        CProgressSync &sync = window->sync;
        std::lock_guard<std::mutex> lock(sync.mutex);
        if (!m.IsEmpty()) {
            sync.finalError.message = m;
            if (result == S_OK) result = E_FAIL;
        } else if (!finalOk.message.IsEmpty()) {
            sync.finalOk = finalOk;
        }
    } catch (...) {
        window->ProcessWasFinished();
        throw;
    }
    window->ProcessWasFinished();
}
