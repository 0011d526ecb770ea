// The main window: registration with the module, its frame buttons and its custom events.
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

#include "aboutwindow.h"
#include "app_test_support.h"
#include "dialogcodes.h"
#include "mainwindow.h"

namespace {

TEST(MainWindow, ShowsWithItsTitleBarAndRegistersItself) {
    mainwindow *window = new mainwindow(nullptr);
    EXPECT_TRUE(window->is_ok());
    EXPECT_EQ(_module.get_mainwindow(), window);
    window->show();
    EXPECT_TRUE(apptest::RunUntil([&] { return window->isVisible(); }));
    EXPECT_GE(window->width(), 700);
    EXPECT_GE(window->height(), 400);
    for (const char *name : {"btn_min", "btn_max_normal", "btn_close"}) {
        QPushButton *button = window->findChild<QPushButton *>(name);
        ASSERT_NE(button, nullptr) << name;
        EXPECT_TRUE(button->isVisible()) << name;
        EXPECT_TRUE(button->styleSheet().contains(":/image/sys_button_")) << name;
    }
    // The title shows the folder of the panel, the home folder at a bare start.
    EXPECT_EQ(window->findChild<QLabel *>("label_title")->toolTip(), QDir::homePath() + "/");
    EXPECT_FALSE(window->findChild<QWidget *>("widget_state")->isVisible());
    delete window;
    EXPECT_EQ(_module.get_mainwindow(), nullptr);
}

// Escape goes the close button's way: with nothing running the window closes at once.
// The window is a dialog underneath, but Escape must not end the program.
TEST(MainWindow, EscapeLeavesTheWindowOpen) {
    mainwindow window;
    window.show();
    ASSERT_TRUE(apptest::RunUntil([&] { return window.isVisible(); }));
    apptest::PressEscape(&window);
    QApplication::processEvents();
    EXPECT_TRUE(window.isVisible());
}

TEST(MainWindow, CloseButtonWithoutRunningDialogsClosesAtOnce) {
    mainwindow window;
    window.show();
    ASSERT_TRUE(apptest::RunUntil([&] { return window.isVisible(); }));
    window.findChild<QPushButton *>("btn_close")->click();
    EXPECT_FALSE(window.isVisible());
}

TEST(MainWindow, OperationEndedClosesItOnlyInSingleOperationMode) {
    mainwindow window;
    window.show();
    ASSERT_TRUE(apptest::RunUntil([&] { return window.isVisible(); }));
    QCoreApplication::postEvent(&window, new QEvent(custom_event::operation_ended));
    QApplication::processEvents();
    EXPECT_TRUE(window.isVisible());

    window.init_msg_mode();
    EXPECT_EQ(window.size(), QSize(0, 0));
    QCoreApplication::postEvent(&window, new QEvent(custom_event::operation_ended));
    EXPECT_TRUE(apptest::RunUntil([&] { return !window.isVisible(); }));
}

// Closing while dialogs run asks first; on OK every running dialog is closed from outside (5001),
// then the window; on Cancel everything stays.
TEST(MainWindow, CloseButtonAsksThenClosesRunningDialogs) {
    for (bool confirm : {true, false}) {
        mainwindow window;
        window.show();
        ASSERT_TRUE(apptest::RunUntil([&] { return window.isVisible(); }));
        QString question;
        apptest::AnswerModal([&](QWidget *running) {
            EXPECT_EQ(window.modal_window_count(), 1);
            apptest::AnswerModal([&](QWidget *box) {
                question = box->findChild<QLabel *>("label_message")->text();
                apptest::Click(box, confirm ? "pushButton_ok" : "pushButton_cancle");
            });
            window.findChild<QPushButton *>("btn_close")->click();
            if (!confirm) apptest::Click(running, "pushButton_ok");
        });
        const int result = window.run_dialog(new aboutwindow(&window), true);
        EXPECT_EQ(question, QString("当前有任务正在运行，确定要退出吗？"));
        EXPECT_EQ(result, confirm ? dialog_result::closed : dialog_result::ok);
        EXPECT_EQ(window.isVisible(), !confirm);
        EXPECT_EQ(window.modal_window_count(), 0);
    }
}

} // namespace
