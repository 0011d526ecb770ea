// The main window: registration with the module, its frame buttons and its custom events.
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

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
    EXPECT_EQ(window->findChild<QLabel *>("label_title")->text(), QString("Tarnova"));
    EXPECT_FALSE(window->findChild<QWidget *>("widget_state")->isVisible());
    delete window;
    EXPECT_EQ(_module.get_mainwindow(), nullptr);
}

TEST(MainWindow, EscapeDoesNotCloseIt) {
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

} // namespace
