// The whole run of the program: a start whose request fails ends with status 0 after its error
// box, without showing the main window or entering the event loop, and still tears down. Qt's
// Chinese translations are loaded by then.
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>
#include <stdlib.h>

#include "mainwindow.h"
#include "module.h"
#include "tarnovamain.h"
#include "temporary_home.h"
#include "test_support.h"

// Qt's offscreen plugin keeps its screen objects past the application object.
extern "C" const char *__lsan_default_suppressions() {
    return "leak:libqoffscreen.so\n";
}

namespace {

QString g_errorText;
QString g_qtCancelText;
bool g_mainWindowShown = false;
bool g_eventLoopRan = false;

class CWatcher : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject *object, QEvent *event) override {
        if (event->type() == QEvent::Show && qobject_cast<mainwindow *>(object)) g_mainWindowShown = true;
        return false;
    }
};

// Runs as soon as tarnova_main has created its application object.
void InstallWatchers() {
    qApp->installEventFilter(new CWatcher(qApp));
    QTimer *clicker = new QTimer(qApp);
    QObject::connect(clicker, &QTimer::timeout, [] {
        QWidget *box = QApplication::activeModalWidget();
        if (!box) return;
        g_qtCancelText = QCoreApplication::translate("QPlatformTheme", "Cancel");
        g_errorText = box->findChild<QLabel *>("label_message")->toolTip();
        box->findChild<QPushButton *>("pushButton_ok")->click();
    });
    clicker->start(10);
    // Fires only if an event loop runs without a dialog: then end it so the test fails, not hangs.
    // The start reads the settings (slow under the sanitizers) before its box: allow for that.
    QTimer::singleShot(30000, qApp, [] {
        if (!QApplication::activeModalWidget()) {
            g_eventLoopRan = true;
            qApp->quit();
        }
    });
}

TEST(StartUp, FailingRequestEndsAsAFailureWithoutWindowOrEventLoop) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    apptest::UseTemporaryHome();
    qAddPreRoutine(InstallWatchers);
    // A plain folder given as the archive to open.
    testsupport::TempFolder folder;
    ASSERT_TRUE(folder.Ok());
    std::string path = folder.Path();
    char program[] = "tarnova";
    char *argv[] = {program, &path[0], nullptr};

    // The box has said why; the process still ends as a failure.
    EXPECT_EQ(tarnova_main(2, argv), 2);
    EXPECT_TRUE(g_errorText.contains(QString::fromStdString(folder.Path()))) << g_errorText.toStdString();
    EXPECT_FALSE(g_mainWindowShown);
    EXPECT_FALSE(g_eventLoopRan);
    // Qt's own texts (buttons of its dialogs) are Chinese like the program's.
    EXPECT_EQ(g_qtCancelText.toStdString(), "取消");
    // Torn down all the same.
    EXPECT_EQ(_module.get_mainwindow(), nullptr);
    EXPECT_FALSE(_module.is_main_thread());
    EXPECT_EQ(getenv("TARNOVA_HOME_DIR"), nullptr);
}

} // namespace
