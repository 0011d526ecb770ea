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
    info->info = L"文件夹: 2    ( 8 192 字节 )\n文件: 3    ( 1 234 567 字节 )\n大小: 1 242 759 字节\n\n"
                 L"/home/用户/文档/2024年度的项目资料与各部门往来的全部文件及其附件备份/\n  报告.docx\n"
                 L"  a-very-long-file-name-that-does-not-fit-in-the-dialog-at-all-2024-final-version.pdf\n"
                 L"  图片/\n  数据/\n  说明.txt\n";
    info->history.Add(UString(L"/home/用户/文档/"));
    bool saved = false;
    apptest::ShootAndAnswer("copy_dialog", "pushButton_ok", &saved);
    EXPECT_EQ(show_copywindow(info), dialog_result::ok);
    EXPECT_TRUE(saved);
}

} // namespace
