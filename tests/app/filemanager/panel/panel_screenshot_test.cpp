// Pictures of the main window on a real X display (Xvfb), written to TARNOVA_SCREENSHOT_DIR: a
// folder of Chinese file names in the table, the same inside an archive, and the icon view.
#include <QPushButton>

#include "Panel.h"
#include "mainlistview.h"
#include "mainwindow.h"
#include "panel_fixture.h"
#include "test_support.h"

namespace {

using namespace testsupport;

const auto *g_env = ::testing::AddGlobalTestEnvironment(new panelfx::CPanelEnvironment);

void Shoot(mainwindow &window, const char *name) {
    QApplication::processEvents();
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 400)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_TRUE(window.grab().save(apptest::ScreenshotPath(name))) << name;
}

TEST(PanelScreenshots, FolderArchiveAndIcons) {
    TempFolder dir;
    const std::string root = dir / "资料备份";
    Sh("mkdir -p '" + root + "/项目文档/设计稿' '" + root + "/照片'");
    WriteFile(root + "/年度总结报告-最终版（修订）.docx", std::string(123456, 'x'));
    WriteFile(root + "/会议记录.txt", "今天的会议");
    WriteFile(root + "/预算表2024.xlsx", std::string(98765, 'y'));
    WriteFile(root + "/一个名字非常非常长的文件用来检查列宽是否足够显示完整的名称.pdf", std::string(4321, 'z'));
    WriteFile(root + "/项目文档/需求说明.md", "需求");
    WriteFile(root + "/照片/海边.jpg", std::string(2048, 'j'));
    Sh("cd '" + root + "' && zip -qr ../归档.zip . && cp ../归档.zip ./归档.zip");

    mainwindow window;
    ASSERT_TRUE(window.is_ok());
    window.resize(1000, 640);
    window.show();
    CPanel *panel = window.get_panel();
    ASSERT_EQ(panel->BindToPathAndRefresh(U(root)), S_OK);
    Shoot(window, "main_folder");

    ASSERT_EQ(panel->BindToPathAndRefresh(U(dir / "归档.zip/项目文档")), S_OK);
    ASSERT_TRUE(panel->IsArcFolder());
    Shoot(window, "main_archive_folder");
    panel->OpenParentFolder();
    Shoot(window, "main_archive");

    ASSERT_EQ(panel->BindToPathAndRefresh(U(root)), S_OK);
    window.findChild<QPushButton *>("btn_view")->click();
    Shoot(window, "main_icons");
}

// Closing the window with a changed nested archive open: the write-back question over the window.
TEST(PanelScreenshots, CloseAsksAboutAChangedNestedArchive) {
    TempFolder dir;
    Sh("cd '" + dir.Path() + "' && mkdir t && printf 旧 > t/笔记.txt && (cd t && zip -q ../内层.zip 笔记.txt)" +
       " && zip -q 外层.zip 内层.zip && printf 新 > 新增.txt");
    mainwindow window;
    ASSERT_TRUE(window.is_ok());
    window.resize(1000, 640);
    window.show();
    CPanel *panel = window.get_panel();
    ASSERT_EQ(panel->BindToPathAndRefresh(U(dir / "外层.zip")), S_OK);
    QTableWidget *list = window.get_list_view();
    ASSERT_EQ(list->rowCount(), 1);
    panel->OpenItem(panel->GetRealItemIndex(0), true, false, nullptr);
    ASSERT_EQ(panel->parentFolders.Size(), 2u);
    UStringVector paths;
    paths.Add(U("新增.txt"));
    ASSERT_EQ(panel->CopyFrom(false, U(dir.Path() + "/"), paths, true, nullptr), S_OK);
    Shoot(window, "main_nested_changed");
    bool saved = false;
    apptest::ShootAndAnswer("main_close_writeback_question", "pushButton_ok", &saved);
    window.close();
    EXPECT_TRUE(saved);
    EXPECT_TRUE(panel->parentFolders.IsEmpty());
    EXPECT_EQ(Shell("cd '" + dir.Path() + "' && unzip -p 外层.zip 内层.zip > x.zip && unzip -p x.zip 新增.txt"), "新");
}

} // namespace
