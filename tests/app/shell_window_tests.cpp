// The main window and its dialog slots.
#include <QLabel>
#include <QPushButton>

#include "app_test_support.h"
#include "dialogcodes.h"
#include "mainwindow.h"
#include "messagebox.h"

namespace {

const ::testing::Environment *const g_env = ::testing::AddGlobalTestEnvironment(new apptest::CAppEnvironment);

TEST(MainWindow, ShowsWithItsTitleBarAndRegistersItself) {
    mainwindow *window = new mainwindow(nullptr);
    EXPECT_TRUE(window->is_ok());
    EXPECT_EQ(_module.get_mainwindow(), window);
    window->show();
    EXPECT_TRUE(apptest::RunUntil([&] { return window->isVisible(); }));
    for (const char *name : {"btn_min", "btn_max_normal", "btn_close"})
        EXPECT_NE(window->findChild<QPushButton *>(name), nullptr) << name;
    EXPECT_EQ(window->findChild<QLabel *>("label_title")->text(), QString("Tarnova"));
    delete window;
    EXPECT_EQ(_module.get_mainwindow(), nullptr);
}

TEST(MainWindow, MessageBoxSlotRunsOnTheGuiThread) {
    mainwindow window;
    apptest::AnswerModal(apptest::Answer("pushButton_ok"));
    EXPECT_EQ(MessageBoxW(&window, L"text", L"caption", 0), dialog_result::ok);
}

} // namespace
