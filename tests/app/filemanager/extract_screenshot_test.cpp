// Pictures of the extract dialog (collapsed and with its options) and of the checksum result box
// on a real X display (Xvfb), written to TARNOVA_SCREENSHOT_DIR to be looked at.
#include <QComboBox>
#include <QLineEdit>

#include <stdlib.h>

#include "dialogcodes.h"
#include "extract_test_support.h"
#include "mainwindow.h"
#include "unzipwindow.h"

namespace {

const ::testing::Environment *const g_env = ::testing::AddGlobalTestEnvironment(new apptest::CAppEnvironment);

class ExtractScreenshots : public ::testing::Test {
protected:
    void TearDown() override { progresstest::FlushReleasedWindows(); }
    mainwindow main;
    progresstest::CWatchdog watchdog{120};
};

TEST_F(ExtractScreenshots, ExtractDialogCollapsedAndExpanded) {
    auto info = std::make_shared<unzip_info>();
    info->OutputFolder = L"/tmp/下载/资料备份-2024年度/";
    info->Password = L"secret";
    bool collapsed = false, expanded = false;
    apptest::AnswerModal([&](QWidget *d) {
        QTimer::singleShot(300, [&, d] {
            collapsed = d->grab().save(apptest::ScreenshotPath("extract_dialog"));
            apptest::Click(d, "btn_expand");
            QTimer::singleShot(300, [&, d] {
                expanded = d->grab().save(apptest::ScreenshotPath("extract_dialog_options"));
                apptest::Click(d, "btn_close");
            });
        });
    });
    EXPECT_EQ(show_unzipwindow(info), dialog_result::closed);
    EXPECT_TRUE(collapsed);
    EXPECT_TRUE(expanded);
}

TEST_F(ExtractScreenshots, ChecksumResultBox) {
    const char *out = getenv("TARNOVA_TEST_OUTPUT_DIR");
    ASSERT_NE(out, nullptr);
    setenv("TARNOVA_HOME_DIR", (std::string(out) + "/").c_str(), 1);
    testsupport::TempFolder tmp;
    const std::string file = tmp / "季度报告-最终版.pdf";
    ASSERT_TRUE(testsupport::WriteFile(file, std::string(300000, 'r')));
    extracttest::CDialogScript script;
    bool shot = false;
    script.Add("messagebox", [&](QWidget *box) {
        QTimer::singleShot(300, [&, box] {
            shot = box->grab().save(apptest::ScreenshotPath("checksum_result"));
            apptest::Click(box, "pushButton_ok");
        });
    });
    const CArcCommandResult r = extracttest::RunCommand({"h", "-scrc*", "--", file});
    EXPECT_EQ(r.ExitCode, 0);
    EXPECT_TRUE(shot);

    // The report of a test run comes in the same kind of box.
    ASSERT_EQ(testsupport::Sh("cd '" + tmp.Path() + "' && zip -q 资料.zip 季度报告-最终版.pdf"), 0);
    bool report = false;
    script.Add("messagebox", [&](QWidget *box) {
        QTimer::singleShot(300, [&, box] {
            report = box->grab().save(apptest::ScreenshotPath("test_report"));
            apptest::Click(box, "pushButton_ok");
        });
    });
    EXPECT_EQ(extracttest::RunCommand({"t", "-an", "-ai!" + (tmp / "资料.zip")}).ExitCode, 0);
    EXPECT_TRUE(report);
}

} // namespace
