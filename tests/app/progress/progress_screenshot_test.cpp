// Pictures of the progress window (running, paused, with an error list) and of the password and
// overwrite prompts on a real X display (Xvfb), written to TARNOVA_SCREENSHOT_DIR to be looked at.
#include <QLineEdit>

#include <stdlib.h>

#include "dialogcodes.h"
#include "mainwindow.h"
#include "overwritewindow.h"
#include "passwordwindow.h"
#include "progress_test_support.h"
#include "windows/TimeUtils.h"

using namespace progresstest;

namespace {

const ::testing::Environment *const g_env = ::testing::AddGlobalTestEnvironment(new apptest::CAppEnvironment);

class ProgressScreenshots : public ::testing::Test {
protected:
    void TearDown() override { FlushReleasedWindows(); }
    mainwindow main;
    CWatchdog watchdog{120};
};

TEST_F(ProgressScreenshots, RunningPausedAndWithErrors) {
    CPacedWorker worker;
    worker.steps = 100000;
    worker.stepMs = 40;
    worker.totalBytes = (UInt64)3 << 30;
    std::atomic<bool> addErrors{false};
    worker.body = [&](CPacedWorker &self) {
        CProgressSync &sync = self.progressWindow->sync;
        sync.Set_TitleFileName(L"资料备份-2024年度.7z");
        sync.Set_NumBytesTotal(self.totalBytes);
        sync.Set_NumFilesTotal(1200);
        sync.Set_Status(L"正在压缩");
        for (unsigned i = 1; i <= self.steps; i++) {
            std::this_thread::sleep_for(std::chrono::milliseconds(self.stepMs));
            sync.Set_FilePath(L"/home/user/文档/项目资料/设计说明/第三章-系统结构与模块划分的详细说明.docx");
            sync.Set_NumFilesCur(i * 3);
            const UInt64 in = (UInt64)i * 9000000, out = in * 37 / 100;
            sync.Set_Ratio(&in, &out);
            if (sync.Set_NumBytesCur(in) != S_OK) return E_ABORT;
            self.stepsDone = i;
        }
        if (addErrors) {
            sync.AddError_Message_Name(L"拒绝访问", L"/home/user/文档/私密/账本.xlsx");
            sync.AddError_Message_Name(L"文件正被另一个程序使用", L"/home/user/文档/项目资料/数据库.db");
            sync.AddError_Message(L"无法读取文件：/home/user/下载/损坏的镜像.iso");
        }
        return S_OK;
    };
    progresswindow *w = worker.progressWindow;
    bool running = false, paused = false, errors = false;
    When([&] { return worker.stepsDone >= 40 && Text(w, "label_speed_value") != ""; },
         [&] {
             running = w->grab().save(apptest::ScreenshotPath("progress_running"));
             w->findChild<QPushButton *>("pushButton_ok")->click();
             QTimer::singleShot(500, [&] {
                 paused = w->grab().save(apptest::ScreenshotPath("progress_paused"));
                 addErrors = true;
                 worker.steps = worker.stepsDone + 5;
                 w->findChild<QPushButton *>("pushButton_ok")->click();
             });
         });
    When([&] { return w->findChild<QPushButton *>("pushButton_cancle")->text() == "关闭"; },
         [&] {
             QTimer::singleShot(400, [&] {
                 errors = w->grab().save(apptest::ScreenshotPath("progress_errors"));
                 w->findChild<QPushButton *>("pushButton_cancle")->click();
             });
         },
         nullptr, 60000);
    EXPECT_EQ(worker.Create(L"正在压缩", nullptr), 0);
    EXPECT_TRUE(running);
    EXPECT_TRUE(paused);
    EXPECT_TRUE(errors);
}

TEST_F(ProgressScreenshots, Prompts) {
    CPacedWorker worker;
    int passwordAnswer = -1, overwriteAnswer = -1;
    worker.body = [&](CPacedWorker &self) {
        self.progressWindow->sync.Set_Status(L"正在解压");
        auto password = std::make_shared<password_info>();
        password->parent = self.progressWindow;
        password->password = L"secret";
        passwordAnswer = show_passwordwindow(password);

        auto overwrite = std::make_shared<overwrite_info>();
        overwrite->parent = self.progressWindow;
        FILETIME t1, t2;
        NWindows::NTime::UnixTime64ToFileTime(1700000000, t1);
        NWindows::NTime::UnixTime64ToFileTime(1710000000, t2);
        overwrite->old_file = {true, true, 1048576, t1, UString(L"/home/user/下载/项目资料/年度总结报告.pdf")};
        overwrite->new_file = {true, true, 2097152, t2,
                               UString(L"/home/user/下载/项目资料/一个名字非常非常长的文件夹/另一个很深的子文件夹/"
                                       L"还有一层/年度总结报告-最终修订版-请勿外传-第二稿.pdf")};
        overwriteAnswer = show_overwritewindow(overwrite);
        return S_OK;
    };
    bool password = false, overwrite = false;
    apptest::AnswerModal(
        [&](QWidget *dialog) {
            QPointer<QWidget> guard(dialog);
            QTimer::singleShot(400, [&, guard] {
                if (!guard) return;
                password = guard->grab().save(apptest::ScreenshotPath("prompt_password"));
                apptest::Click(guard, "pushButton_ok");
                apptest::AnswerModal(
                    [&](QWidget *next) {
                        QPointer<QWidget> guard2(next);
                        QTimer::singleShot(400, [&, guard2] {
                            if (!guard2) return;
                            overwrite = guard2->grab().save(apptest::ScreenshotPath("prompt_overwrite"));
                            apptest::Click(guard2, "pushButton_no");
                        });
                    },
                    60000, "pushButton_no");
            });
        },
        // The progress window is the active modal one until the prompt comes; on a busy machine
        // it can be seen first.
        60000, "checkBox_password");
    EXPECT_EQ(worker.Create(L"正在解压", nullptr), 0);
    EXPECT_EQ(passwordAnswer, dialog_result::ok);
    EXPECT_EQ(overwriteAnswer, dialog_result::no);
    EXPECT_TRUE(password);
    EXPECT_TRUE(overwrite);
}

} // namespace
