#pragma once

// A worker at a known pace for the progress window's tests, and helpers that find the windows of
// a run and start a run from another thread the way extraction does.
#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <functional>
#include <thread>

#include "ProgressThreadVirt.h"
#include "app_test_support.h"
#include "progresswindow.h"

namespace progresstest {

// Reports `steps` equal steps of files and bytes, one every stepMs, with a 2:1 coder ratio.
class CPacedWorker : public CProgressThreadVirt {
public:
    UInt64 totalBytes = 1000000;
    // Read at every step, so a test can end a long run at a point of its choosing.
    std::atomic<unsigned> steps{10};
    int stepMs = 50;
    // Runs instead of the steps when set.
    std::function<HRESULT(CPacedWorker &)> body;
    // Called on the worker after each step of RunSteps.
    std::function<void(unsigned)> afterStep;

    std::atomic<unsigned> stepsDone{0};
    std::atomic<bool> sawAbort{false};
    std::atomic<bool> started{false};

    HRESULT ProcessVirt() override {
        started = true;
        if (body) return body(*this);
        return RunSteps();
    }

    HRESULT Step(unsigned i) {
        CProgressSync &sync = progressWindow->sync;
        sync.Set_NumFilesCur(i);
        const UInt64 in = totalBytes / steps.load() * i, out = in / 2;
        sync.Set_Ratio(&in, &out);
        const HRESULT res = sync.Set_NumBytesCur(in);
        if (res == E_ABORT) sawAbort = true;
        if (res == S_OK) stepsDone = i;
        return res;
    }

    HRESULT RunSteps() {
        CProgressSync &sync = progressWindow->sync;
        sync.Set_NumBytesTotal(totalBytes);
        if (sync.Set_NumFilesTotal(steps.load()) != S_OK) return E_ABORT;
        sync.Set_Status(L"正在测试");
        for (unsigned i = 1; i <= steps; i++) {
            std::this_thread::sleep_for(std::chrono::milliseconds(stepMs));
            sync.Set_FilePath(L"/tmp/folder/file.bin");
            const HRESULT res = Step(i);
            if (res != S_OK) return res;
            if (afterStep) afterStep(i);
        }
        return S_OK;
    }
};

// The visible top-level window of the class, or null.
template <typename T> T *FindVisible(const char *className = nullptr) {
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (!w->isVisible()) continue;
        if (className ? w->inherits(className) : qobject_cast<T *>(w) != nullptr) return qobject_cast<T *>(w);
    }
    return nullptr;
}

inline QString Text(QWidget *window, const char *labelName) {
    QLabel *label = window->findChild<QLabel *>(labelName);
    return label ? label->text() : QString("<no %1>").arg(labelName);
}

// Starts the run on a thread of its own (as the extraction front-end does) and keeps the GUI
// thread's events running until it returns.
inline bool CreateFromOtherThread(CProgressThreadVirt &worker, const UString &title, int timeoutMs = 20000) {
    std::atomic<bool> done{false};
    std::thread starter([&] {
        worker.Create(title, nullptr);
        done = true;
    });
    const bool ok = apptest::RunUntil([&] { return done.load(); }, timeoutMs);
    if (!ok) {
        // Stop the run so that the thread can be joined and the failure reported.
        if (worker.progressWindow) worker.progressWindow->sync.Set_Stopped();
        apptest::RunUntil([&] { return done.load(); }, 60000);
    }
    starter.join();
    return ok;
}

// Deletes the windows released by finished runs.
inline void FlushReleasedWindows() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace progresstest

namespace progresstest {

// Aborts the test program when a scope takes far too long: a deadlock fails loudly instead of
// hanging the suite.
class CWatchdog {
public:
    explicit CWatchdog(int seconds)
        : thread([this, seconds] {
              std::unique_lock<std::mutex> lock(mutex);
              if (!cv.wait_for(lock, std::chrono::seconds(seconds), [this] { return done; })) {
                  fprintf(stderr, "watchdog: no progress for %d s, presumably a deadlock\n", seconds);
                  // Where every thread stands, for the report.
                  char command[128];
                  snprintf(command, sizeof(command), "gdb -p %d -batch -ex 'thread apply all bt' >&2 2>/dev/null",
                           (int)getpid());
                  if (system(command) != 0) fprintf(stderr, "watchdog: no stacks (gdb missing)\n");
                  abort();
              }
          }) {}
    ~CWatchdog() {
        {
            std::lock_guard<std::mutex> lock(mutex);
            done = true;
        }
        cv.notify_all();
        thread.join();
    }

private:
    std::mutex mutex;
    std::condition_variable cv;
    bool done = false;
    std::thread thread;
};

} // namespace progresstest

namespace progresstest {

// Answers every message box that opens while it lives with one button, after an optional delay,
// and keeps their texts (the tool tip holds the full text) in order.
class CBoxAnswerer {
public:
    explicit CBoxAnswerer(const char *button = "pushButton_ok", int delayMs = 0) : button(button), delayMs(delayMs) {
        QObject::connect(&timer, &QTimer::timeout, [this] { Poll(); });
        timer.start(10);
    }

    std::vector<QString> texts;
    std::vector<QString> captions;
    // Called when a box is found, before the answer.
    std::function<void(QWidget *)> onBox;
    // When set: the button for the first, second, ... box (the last one for any further box).
    std::vector<std::string> sequence;

private:
    void Poll() {
        QWidget *box = QApplication::activeModalWidget();
        if (!box || !box->inherits("messagebox") || !box->isVisible() || box == last.data()) return;
        last = box;
        QLabel *message = box->findChild<QLabel *>("label_message");
        QLabel *caption = box->findChild<QLabel *>("label_title");
        texts.push_back(message ? message->toolTip() : QString());
        captions.push_back(caption ? caption->text() : QString());
        if (onBox) onBox(box);
        QPointer<QWidget> guard(box);
        const std::string name = sequence.empty() ? button : sequence[std::min(texts.size(), sequence.size()) - 1];
        QTimer::singleShot(delayMs, [guard, name] {
            if (guard && guard->isVisible()) apptest::Click(guard, name.c_str());
        });
    }

    std::string button;
    int delayMs;
    QTimer timer;
    QPointer<QWidget> last;
};

// Runs the action once on the GUI thread when pred first holds (polled every 10 ms); gives up
// after timeoutMs, or when the owner goes.
inline void When(const std::function<bool()> &pred, const std::function<void()> &action, QObject *owner = nullptr,
                 int timeoutMs = 60000) {
    QTimer *timer = new QTimer(owner);
    auto started = std::make_shared<QElapsedTimer>();
    started->start();
    QObject::connect(timer, &QTimer::timeout, [timer, pred, action, started, timeoutMs] {
        const bool ready = pred();
        if (!ready && started->elapsed() < timeoutMs) return;
        timer->stop();
        timer->deleteLater();
        if (ready) action();
    });
    timer->start(10);
}

} // namespace progresstest
