#include "module.h"

#include <QCoreApplication>
#include <QThread>

#include <stdlib.h>

#include <chrono>

#include "ExtDatabase.h"
#include "dialogcodes.h"
#include "archive/agent/Agent.h"
#include "common/MyCommandLine.h"
#include "windows/System.h"

UInt64 g_RAM_Size = 0;
bool g_RAM_Size_Defined = false;

module _module;

int module::global_init(int argc, char **argv) {
    mySplitCommandLine(argc, argv, command_strings);
    g_RAM_Size_Defined = NWindows::NSystem::GetRamSize(g_RAM_Size);
    thread.store(pthread_self());
    shutting_down.store(false);

    const QByteArray home = (QCoreApplication::applicationDirPath() + "/").toUtf8();
    setenv("TARNOVA_HOME_DIR", home.constData(), 1);

    LoadGlobalCodecs(); // a missing plug-in must not stop the start: the windows report it later
    associate_file_types();
    return 0;
}

void module::associate_file_types() {
    // Registers the default associations on the first start only; later starts just read them.
    CExtDatabase::cmd_associate();
}

void module::global_uninit() {
    thread.store(0);
    unsetenv("TARNOVA_HOME_DIR");
    FreeGlobalCodecs();
}

void module::set_mainwindow(QWidget *window) {
    main_window.store(window);
}

QWidget *module::get_mainwindow() const {
    return main_window.load();
}

bool module::is_main_thread() const {
    const pthread_t gui = thread.load();
    return gui != 0 && pthread_equal(gui, pthread_self());
}

void module::get_command_strings(CObjectVector<UString> &out) const {
    if (&out == &command_strings) return;
    out.Clear();
    for (unsigned i = 0; i < command_strings.Size(); i++)
        out.Add(command_strings[i]);
}

int module::call_dialog(const char *slot, QGenericArgument a0, QGenericArgument a1, QGenericArgument a2,
                        QGenericArgument a3) {
    int result = dialog_result::cancel;
    call_slot(slot, Q_RETURN_ARG(int, result), a0, a1, a2, a3);
    return result;
}

bool module::call_slot(const char *slot, QGenericReturnArgument ret, QGenericArgument a0, QGenericArgument a1,
                       QGenericArgument a2, QGenericArgument a3) {
    QWidget *window = get_mainwindow();
    if (!window || shutting_down.load()) return false;
    Qt::ConnectionType type = Qt::BlockingQueuedConnection;
    if (is_main_thread())
        type = Qt::DirectConnection;
    else if (QThread::currentThread() == window->thread())
        return false; // the window's own thread, no longer the GUI thread: a blocking call would wait forever
    return QMetaObject::invokeMethod(window, slot, type, ret, a0, a1, a2, a3);
}

namespace {

struct CThreadStart {
    THREAD_FUNC_TYPE function;
    void *parameter;
};

THREAD_FUNC_DECL RegisteredThread(void *p) {
    const CThreadStart start = *static_cast<CThreadStart *>(p);
    delete static_cast<CThreadStart *>(p);
    THREAD_FUNC_RET_TYPE res = nullptr;
    try {
        res = start.function(start.parameter);
    } catch (...) {
        // Exceptions never leave a thread entry; the function reports its own failures.
    }
    _module.thread_end();
    return res;
}

} // namespace

WRes module::start_thread(CThreadRecord *record, THREAD_FUNC_TYPE function, void *parameter) {
    CThreadStart *start = new CThreadStart{function, parameter};
    thread_begin();
    const WRes res = Thread_Create(record, RegisteredThread, start);
    if (res != 0) {
        delete start;
        thread_end();
    }
    return res;
}

void module::thread_begin() {
    std::lock_guard<std::mutex> lock(threads_mutex);
    threads_running++;
}

void module::thread_end() {
    std::lock_guard<std::mutex> lock(threads_mutex);
    threads_running--;
    threads_changed.notify_all();
}

int module::running_threads() const {
    std::lock_guard<std::mutex> lock(threads_mutex);
    return threads_running;
}

void module::wait_for_threads() {
    shutting_down.store(true);
    for (;;) {
        // Workers may be blocked in a dialog call queued to this thread: serve it (it answers
        // cancel now) so that they can end.
        if (QCoreApplication::instance()) QCoreApplication::processEvents(QEventLoop::AllEvents);
        std::unique_lock<std::mutex> lock(threads_mutex);
        if (threads_running == 0) return;
        threads_changed.wait_for(lock, std::chrono::milliseconds(20));
        if (threads_running == 0) return;
    }
}
