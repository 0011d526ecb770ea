// Pictures of the compress dialog under Xvfb, to be looked at: 7z with its custom panel, zip with
// a password, and a single-stream format for one file.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "compress_test_support.h"
#include "mainwindow.h"

using namespace compresstest;

namespace {

const ::testing::Environment *const g_env = ::testing::AddGlobalTestEnvironment(new apptest::CAppEnvironment);

} // namespace

TEST(CompressScreenshots, CompressDialog) {
    const char *dir = getenv("TARNOVA_TEST_OUTPUT_DIR");
    ASSERT_TRUE(dir);
    setenv("TARNOVA_HOME_DIR", (std::string(dir) + "/").c_str(), 1);
    mainwindow main;
    testsupport::TempFolder tmp;
    const std::string src = tmp / "照片";
    ASSERT_EQ(mkdir(src.c_str(), 0755), 0);
    ASSERT_TRUE(testsupport::WriteFile(src + "/说明文档.txt", "x"));
    CRunner runner;
    CJanitor janitor;

    struct {
        const char *picture, *format, *password;
        bool oneFile;
    } const shots[] = {{"compress_quick", "", "", false},
                       {"compress_7z", "7z", "", false},
                       {"compress_zip_password", "zip", "secret", false},
                       {"compress_gzip_one_file", "gzip", "", true}};
    for (const auto &s : shots) {
        bool saved = false;
        CChoices c{s.format};
        c.more = [&](QWidget *dialog) {
            if (*s.password) {
                Choose(dialog, "comboBox_ext", s.format);
                Type(dialog, "lineEdit_password", s.password);
                Type(dialog, "lineEdit_password2", s.password);
            }
            if (!*s.format) apptest::Click(dialog, "radio_btn_quick");
            apptest::RunUntil([] { return false; }, 300);
            saved = dialog->grab().save(apptest::ScreenshotPath(s.picture));
            apptest::Click(dialog, "btn_close");
        };
        const std::string input = s.oneFile ? src + "/说明文档.txt" : src;
        CompressWithDialog(tmp / "照片", {input}, c, janitor, runner);
        EXPECT_TRUE(saved) << s.picture;
    }
}
