#pragma once

// Helpers for tests of the program's windows: one application object per test program with the
// program's start-up run, and a driver that answers modal dialogs by clicking buttons by name.
#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QPointer>
#include <QTimer>

#include <gtest/gtest.h>

#include <stdlib.h>

#include <atomic>
#include <functional>
#include <string>

#include "module.h"
#include "temporary_home.h"

// Leaks inside Qt's platform plugins (never our code) are known; tests/lsan.supp lists them for
// scripts/test.sh, and this default keeps a bare ctest run quiet about them too.
extern "C" __attribute__((weak, used)) const char *__lsan_default_suppressions() {
    return "leak:libqoffscreen.so\n";
}

namespace apptest {

// The application object and global_init for the whole test program; global_uninit at its end.
class CAppEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "tarnova-test";
        static char *argv[] = {name, nullptr};
        // Offscreen unless a test program asks for a real display (the screenshots under Xvfb).
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        UseTemporaryHome();
        app = new QApplication(argc, argv);
        _module.global_init(argc, argv);
    }
    void TearDown() override {
        _module.global_uninit();
        delete app;
        app = nullptr;
    }

private:
    QApplication *app = nullptr;
};

// Runs the GUI thread's events until pred holds or the time is up; every wait of a window test
// is bounded here, so a fault fails the test instead of hanging it.
inline bool RunUntil(const std::function<bool()> &pred, int timeoutMs = 5000) {
    QElapsedTimer timer;
    timer.start();
    while (!pred()) {
        if (timer.elapsed() > timeoutMs) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

// Waits on the GUI thread for the next modal dialog and runs the action on it. If none comes in
// time, nothing happens; if the action leaves the dialog open, it is rejected a little later so
// that the test fails instead of hanging. With a button name, only a dialog that has that button
// counts: between two prompts the window under them is the active modal one for a moment.
inline void AnswerModal(const std::function<void(QWidget *)> &action, int timeoutMs = 5000,
                        const char *withButton = nullptr) {
    QTimer *timer = new QTimer;
    auto started = std::make_shared<QElapsedTimer>();
    started->start();
    QObject::connect(timer, &QTimer::timeout, [timer, started, action, timeoutMs, withButton]() {
        QWidget *dialog = QApplication::activeModalWidget();
        if (dialog && withButton && !dialog->findChild<QAbstractButton *>(withButton)) dialog = nullptr;
        if (dialog && dialog->isVisible()) {
            timer->stop();
            timer->deleteLater();
            QPointer<QWidget> guard(dialog);
            action(dialog);
            QTimer::singleShot(2000, [guard]() {
                if (guard && guard->isVisible()) guard->close();
            });
            return;
        }
        if (started->elapsed() > timeoutMs) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start(10);
}

inline void Click(QWidget *dialog, const char *buttonName) {
    QAbstractButton *button = dialog->findChild<QAbstractButton *>(buttonName);
    ASSERT_NE(button, nullptr) << buttonName;
    ASSERT_TRUE(button->isVisible()) << buttonName;
    button->click();
}

inline void PressEscape(QWidget *dialog) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(dialog, &press);
}

// An answer by button name; "escape" presses Escape instead.
inline std::function<void(QWidget *)> Answer(const std::string &button) {
    return [button](QWidget *dialog) {
        if (button == "escape")
            PressEscape(dialog);
        else
            Click(dialog, button.c_str());
    };
}

// Where a screenshot test writes its pictures: TARNOVA_SCREENSHOT_DIR (set by the test's
// ENVIRONMENT to the build folder), else ./screenshots.
inline QString ScreenshotPath(const char *name) {
    const char *dir = getenv("TARNOVA_SCREENSHOT_DIR");
    const QString folder = dir ? QString::fromLocal8Bit(dir) : QDir::currentPath() + "/screenshots";
    QDir().mkpath(folder);
    return folder + "/" + name + ".png";
}

// Answers the next dialog after it has been on screen a moment: first its picture, then the button.
inline void ShootAndAnswer(const char *name, const char *button, bool *saved) {
    AnswerModal([=](QWidget *dialog) {
        QPointer<QWidget> guard(dialog);
        QTimer::singleShot(400, [=] {
            if (!guard) return;
            *saved = guard->grab().save(ScreenshotPath(name));
            Click(guard, button);
        });
    });
}

} // namespace apptest
