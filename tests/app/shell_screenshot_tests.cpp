// Pictures of the dialogs on a real X display (Xvfb), written to TARNOVA_SCREENSHOT_DIR (the build
// folder) so that their look can be checked by eye: Chinese text that fits, skinned buttons,
// icons, nothing clipped or overlapping.
#include "aboutwindow.h"
#include "app_test_support.h"
#include "combowindow.h"
#include "dialogcodes.h"
#include "mainwindow.h"
#include "messagebox.h"
#include "test_support.h"

namespace {

const ::testing::Environment *const g_env = ::testing::AddGlobalTestEnvironment(new apptest::CAppEnvironment);

class Screenshots : public ::testing::Test {
protected:
    mainwindow window;
};

TEST_F(Screenshots, MessageBoxesWithTheirThreeIcons) {
    struct Case {
        const char *name;
        const wchar_t *text;
        int flags;
    } cases[] = {
        {"messagebox_info", L"压缩文件已创建完成。", 0},
        {"messagebox_question", L"当前有任务正在运行，确定要退出吗？", 1044},
        {"messagebox_error",
         L"无法作为压缩包打开文件/home/user/下载/一个名字非常非常长的文件夹/另一个子文件夹/"
         L"资料备份-2024年度-最终版.zip",
         516},
        {"messagebox_yes_no_cancel", L"文件已存在，是否替换？", 0x41A},
        {"messagebox_path", L"Cannot open /home/user/Downloads/a_folder_with_a_long_name/another.folder-2024/x.zip",
         512},
    };
    for (const Case &c : cases) {
        bool saved = false;
        apptest::ShootAndAnswer(c.name, "pushButton_ok", &saved);
        EXPECT_EQ(MessageBoxW(nullptr, c.text, L"Tarnova", c.flags), dialog_result::ok) << c.name;
        EXPECT_TRUE(saved) << c.name;
    }
}

TEST_F(Screenshots, InputDialog) {
    auto info = std::make_shared<combo_info>();
    info->title = testsupport::U("新建文件夹");
    info->prompt = testsupport::U("请输入新文件夹的名称：");
    info->value = testsupport::U("新建文件夹");
    bool saved = false;
    apptest::ShootAndAnswer("combowindow", "pushButton_ok", &saved);
    EXPECT_EQ(show_combowindow(info), dialog_result::ok);
    EXPECT_TRUE(saved);
}

TEST_F(Screenshots, AboutBox) {
    bool saved = false;
    apptest::ShootAndAnswer("aboutwindow", "pushButton_ok", &saved);
    window.on_sys_menu(1012, QString());
    EXPECT_TRUE(saved);
}

TEST_F(Screenshots, MainWindow) {
    window.show();
    ASSERT_TRUE(apptest::RunUntil([&] { return window.isVisible(); }));
    apptest::RunUntil([] { return false; }, 400);
    EXPECT_TRUE(window.grab().save(apptest::ScreenshotPath("mainwindow")));
}

} // namespace
