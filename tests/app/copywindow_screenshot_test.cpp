// A picture of the copy-to dialog on a real X display (Xvfb), written to TARNOVA_SCREENSHOT_DIR.
#include "app_test_support.h"
#include "copywindow.h"
#include "dialogcodes.h"
#include "mainwindow.h"

namespace {

const ::testing::Environment *const g_env = ::testing::AddGlobalTestEnvironment(new apptest::CAppEnvironment);

TEST(CopyWindowScreenshot, CopyToDialog) {
    mainwindow main;
    auto info = std::make_shared<copy_info>();
    info->title = L"复制文件";
    info->prompt = L"复制到：";
    info->value = L"/home/用户/下载/资料备份-2024年度/";
    info->info = L"3 个文件, 2 个文件夹";
    info->history.Add(UString(L"/home/用户/文档/"));
    bool saved = false;
    apptest::ShootAndAnswer("copy_dialog", "pushButton_ok", &saved);
    EXPECT_EQ(show_copywindow(info), dialog_result::ok);
    EXPECT_TRUE(saved);
}

} // namespace
