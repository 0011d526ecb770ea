#pragma once

// The one process-wide object of the program: the command-line words, the GUI thread's identity,
// the main window through which every dialog is reached, and the registry of running worker
// threads that tear-down waits for.
#include <QGenericArgument>
#include <QWidget>

#include <pthread.h>

#include <atomic>
#include <condition_variable>
#include <mutex>

#include "base/Threads.h"
#include "common/MyString.h"

// The character type of the texts handed to the main window's dialog slots; queued calls find
// the argument type by this spelling.
typedef wchar_t TCHAR;

// Installed memory, recorded at start-up; the archive side reads it for size limits.
extern UInt64 g_RAM_Size;
extern bool g_RAM_Size_Defined;

class module {
public:
    module() = default;
    ~module() = default; // the words go last entry first
    module(const module &) = delete;
    module &operator=(const module &) = delete;

    // Start-up of the global state; always 0.
    int global_init(int argc, char **argv);
    // Shut-down: afterwards no thread is the GUI thread.
    void global_uninit();

    void set_mainwindow(QWidget *window);
    QWidget *get_mainwindow() const;
    bool is_main_thread() const;
    void get_command_strings(CObjectVector<UString> &out) const;

    // Runs the main window's slot `slot` (returning int) on the GUI thread: directly on the GUI
    // thread, blocking-queued from any other. Cancel (5101) when the call cannot run: no main
    // window, the program is ending, or a thread that is not the GUI thread any more (after
    // global_uninit) would wait on itself.
    int call_dialog(const char *slot, QGenericArgument a0 = QGenericArgument(nullptr),
                    QGenericArgument a1 = QGenericArgument(), QGenericArgument a2 = QGenericArgument(),
                    QGenericArgument a3 = QGenericArgument());
    // The same for a slot of any return type; false when the call did not run (ret then keeps
    // the caller's preset).
    bool call_slot(const char *slot, QGenericReturnArgument ret, QGenericArgument a0 = QGenericArgument(nullptr),
                   QGenericArgument a1 = QGenericArgument(), QGenericArgument a2 = QGenericArgument(),
                   QGenericArgument a3 = QGenericArgument());

    // Worker threads. Every thread of the program that may use the main window, the settings or
    // the codec registry starts through start_thread (joinable: wait or close the record as usual)
    // or brackets its life with thread_begin/thread_end. Tear-down waits for all of them before
    // the main window is deleted and the registry freed.
    WRes start_thread(CThreadRecord *thread, THREAD_FUNC_TYPE function, void *parameter);
    void thread_begin();
    void thread_end();
    int running_threads() const;
    // On the GUI thread after the event loop: from now on dialog calls answer cancel at once;
    // serves the calls already queued and returns when no registered thread runs any more.
    void wait_for_threads();
    bool is_shutting_down() const { return shutting_down.load(); }

    // The exit status of a process started for one operation: the runner's exit value of that
    // operation (0 only when it succeeded without errors). Any thread.
    void set_start_status(int status) { start_status_.store(status); }
    int start_status() const { return start_status_.load(); }

private:
    // Merges the plug-in's archive extensions into the stored file-type associations.
    void associate_file_types();

    std::atomic<QWidget *> main_window{nullptr};
    std::atomic<pthread_t> thread{0};
    CObjectVector<UString> command_strings;

    mutable std::mutex threads_mutex;
    std::condition_variable threads_changed;
    int threads_running = 0;
    std::atomic<bool> shutting_down{false};
    std::atomic<int> start_status_{0};
};

extern module _module;
