// The progress window with a worker at a known pace: what it shows, pause, cancel, the prompts of
// a run being cancelled, the final boxes and the error list, and many short runs in a row.
#include <QRegularExpression>
#include <QTableWidget>
#include <QTest>

#include <chrono>

#include "ErrorText.h"
#include "common/IntToString.h"
#include "dialogcodes.h"
#include "mainwindow.h"
#include "overwritewindow.h"
#include "passwordwindow.h"
#include "progress_test_support.h"
#include "test_support.h"

using namespace progresstest;

namespace {

const ::testing::Environment *const g_env = ::testing::AddGlobalTestEnvironment(new apptest::CAppEnvironment);

class ProgressWindowTest : public ::testing::Test {
protected:
    void SetUp() override { main = new mainwindow(nullptr); }
    void TearDown() override {
        FlushReleasedWindows();
        delete main;
    }
    mainwindow *main = nullptr;
    CWatchdog watchdog{getenv("TARNOVA_WATCHDOG_SECONDS") ? atoi(getenv("TARNOVA_WATCHDOG_SECONDS")) : 120};
};

QPushButton *Button(QWidget *window, const char *name) {
    return window->findChild<QPushButton *>(name);
}

TEST_F(ProgressWindowTest, RunShowsProgressThenItsOkBox) {
    CPacedWorker worker;
    worker.steps = 25;
    worker.stepMs = 100;
    worker.finalOk.title = L"完成";
    worker.finalOk.message = L"全部完成";
    progresswindow *w = worker.progressWindow;
    ASSERT_NE(w, nullptr);

    struct {
        int bar = -1, barMax = -1;
        QString elapse, files, speed, status, path;
    } mid;
    // The worker holds at step 13 until the window has shown it.
    std::atomic<bool> seen{false};
    worker.afterStep = [&](unsigned i) {
        if (i == 13) testsupport::WaitFor([&] { return seen.load(); }, std::chrono::milliseconds(20000));
    };
    When([&] { return Text(w, "label_files_value") == "13 / 25"; },
         [&] {
             QProgressBar *bar = w->findChild<QProgressBar *>("progressBar");
             mid.bar = bar->value();
             mid.barMax = bar->maximum();
             mid.elapse = Text(w, "label_elapse_value");
             mid.files = Text(w, "label_files_value");
             mid.speed = Text(w, "label_speed_value");
             mid.status = Text(w, "label_status");
             mid.path = Text(w, "label_filename");
             seen = true;
         },
         nullptr, 30000);
    CBoxAnswerer boxes;
    EXPECT_EQ(worker.Create(L"测试", nullptr), 0);

    EXPECT_EQ(worker.result, S_OK);
    EXPECT_TRUE(worker.finishedOk);
    EXPECT_GT(mid.bar, 0);
    EXPECT_LT(mid.bar, mid.barMax);
    EXPECT_TRUE(QRegularExpression("^00:00:0[1-9]$").match(mid.elapse).hasMatch()) << mid.elapse.toStdString();
    EXPECT_EQ(mid.files, "13 / 25");
    EXPECT_TRUE(QRegularExpression("^\\d+ (K|M)?B/s$").match(mid.speed).hasMatch()) << mid.speed.toStdString();
    EXPECT_EQ(mid.status, "正在测试");
    EXPECT_EQ(mid.path, "/tmp/folder/file.bin");

    // The last update shows everything as it ended.
    EXPECT_EQ(Text(w, "label_files_value"), "25 / 25");
    EXPECT_EQ(Text(w, "label_total_value"), "976 K");
    EXPECT_EQ(Text(w, "label_processed_value"), "976 K");
    EXPECT_EQ(Text(w, "label_packed_value"), "488 K");
    EXPECT_EQ(Text(w, "label_ratio_value"), "50%");
    EXPECT_TRUE(Text(w, "label_title").startsWith("100% 测试")) << Text(w, "label_title").toStdString();
    QProgressBar *bar = w->findChild<QProgressBar *>("progressBar");
    EXPECT_EQ(bar->value(), bar->maximum());

    ASSERT_EQ(boxes.texts.size(), 1u);
    EXPECT_EQ(boxes.texts[0], "全部完成");
    EXPECT_EQ(boxes.captions[0], "完成");
    EXPECT_TRUE(w->messages_shown);
    EXPECT_FALSE(w->isVisible());
}

TEST_F(ProgressWindowTest, ExtractionModeSwapsProcessedAndPacked) {
    CPacedWorker worker;
    worker.steps = 2;
    worker.stepMs = 10;
    worker.progressWindow->compress_mode = false;
    worker.progressWindow->show_packed_info = true;
    EXPECT_EQ(worker.Create(L"解压", nullptr), 0);
    EXPECT_EQ(Text(worker.progressWindow, "label_processed_value"), "488 K");
    EXPECT_EQ(Text(worker.progressWindow, "label_packed_value"), "976 K");
    EXPECT_EQ(Text(worker.progressWindow, "label_ratio_value"), "200%");
}

TEST_F(ProgressWindowTest, PauseHoldsTheWorkerAndItsTimeIsNotCounted) {
    CPacedWorker worker;
    worker.steps = 100000; // ended after the resume below
    worker.stepMs = 100;
    progresswindow *w = worker.progressWindow;
    unsigned heldAt = 0, heldLater = 0;
    QString titleWhilePaused, buttonWhilePaused, elapseAtPause, elapseLater;
    When([&] { return worker.stepsDone >= 3; },
         [&] {
             Button(w, "pushButton_ok")->click();
             QTimer::singleShot(300, [&] {
                 heldAt = worker.stepsDone;
                 titleWhilePaused = Text(w, "label_title");
                 buttonWhilePaused = Button(w, "pushButton_ok")->text();
                 elapseAtPause = Text(w, "label_elapse_value");
             });
             QTimer::singleShot(2300, [&] {
                 heldLater = worker.stepsDone;
                 elapseLater = Text(w, "label_elapse_value");
                 worker.steps = heldLater + 5;
                 Button(w, "pushButton_ok")->click();
             });
         });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(worker.Create(L"测试", nullptr), 0);
    const auto wallSec =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start).count();

    EXPECT_EQ(worker.result, S_OK);
    EXPECT_EQ(worker.stepsDone, heldAt + 5);
    EXPECT_GE(heldAt, 3u);
    EXPECT_EQ(heldLater, heldAt);
    EXPECT_TRUE(titleWhilePaused.startsWith("已暂停 ")) << titleWhilePaused.toStdString();
    EXPECT_EQ(buttonWhilePaused, "继续");
    EXPECT_EQ(elapseLater, elapseAtPause);
    // Well under a second of work and 2 s of pause: the pause is not counted.
    const int elapsedSec = Text(w, "label_elapse_value").mid(6).toInt();
    EXPECT_GE(wallSec, 2);
    EXPECT_LE(elapsedSec, wallSec - 2);
    EXPECT_EQ(Button(w, "pushButton_ok")->text(), "暂停");
}

TEST_F(ProgressWindowTest, CancelQuestionStopsOnlyOnYes) {
    const struct {
        const char *button;
        bool stops;
    } cases[] = {
        {"pushButton_ok", true},      // 是
        {"pushButton_no", false},     // 否
        {"pushButton_cancle", false}, // 取消
        {"btn_close", false},         // the box's own close button
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.button);
        CPacedWorker worker;
        worker.steps = 100000; // ended by the answer below
        worker.stepMs = 20;
        progresswindow *w = worker.progressWindow;
        unsigned atQuestion = 0, atAnswer = 0;
        When([&] { return worker.stepsDone >= 2; }, [&] { Button(w, "pushButton_cancle")->click(); });
        CBoxAnswerer boxes(c.button, 300);
        boxes.onBox = [&](QWidget *) {
            atQuestion = worker.stepsDone;
            QTimer::singleShot(290, [&] {
                atAnswer = worker.stepsDone;
                worker.steps = atAnswer + 3;
            });
        };
        EXPECT_EQ(worker.Create(L"测试", nullptr), 0);
        ASSERT_EQ(boxes.texts.size(), 1u);
        EXPECT_EQ(boxes.texts[0], "您真的要取消吗？");
        EXPECT_EQ(boxes.captions[0], "测试");
        // The worker waits while the question is open.
        EXPECT_EQ(atAnswer, atQuestion);
        if (c.stops) {
            EXPECT_EQ(worker.result, E_ABORT);
            EXPECT_TRUE(worker.sawAbort);
            EXPECT_LE(worker.stepsDone, atAnswer + 1);
            EXPECT_TRUE(w->messages_shown);
        } else {
            EXPECT_EQ(worker.result, S_OK);
            EXPECT_EQ(worker.stepsDone, atAnswer + 3);
        }
        FlushReleasedWindows();
    }
}

TEST_F(ProgressWindowTest, EndDuringTheCancelQuestionIsHandledAfterIt) {
    // The worker ends while the question is open: "否" lets the run end normally afterwards.
    CPacedWorker worker;
    std::atomic<bool> questionOpen{false};
    worker.finalOk.message = L"完成";
    worker.body = [&](CPacedWorker &self) {
        self.Step(1);
        testsupport::WaitFor([&] { return questionOpen.load(); }, std::chrono::milliseconds(20000));
        return S_OK; // ends without asking the state again
    };
    progresswindow *w = worker.progressWindow;
    When([&] { return worker.stepsDone >= 1; }, [&] { Button(w, "pushButton_cancle")->click(); });
    CBoxAnswerer boxes("pushButton_no", 400);
    boxes.sequence = {"pushButton_no", "pushButton_ok"};
    boxes.onBox = [&](QWidget *) { questionOpen = true; };
    EXPECT_EQ(worker.Create(L"测试", nullptr), 0);
    EXPECT_EQ(worker.result, S_OK);
    const std::vector<QString> expected = {"您真的要取消吗？", "完成"};
    EXPECT_EQ(boxes.texts, expected);
    EXPECT_FALSE(w->isVisible());
}

TEST_F(ProgressWindowTest, ClosedFromOutsideDuringTheFinalBoxDoesNotWaitForClose) {
    // Error lines would keep the window open for the user; the main window closing ends it anyway.
    CPacedWorker worker;
    worker.body = [](CPacedWorker &self) {
        self.progressWindow->sync.AddError_Message(L"line");
        self.finalError.message = L"失败";
        return S_OK;
    };
    progresswindow *w = worker.progressWindow;
    When([] { return QApplication::activeModalWidget() && QApplication::activeModalWidget()->inherits("messagebox"); },
         [w] {
             QEvent close(custom_event::close_dialog);
             QApplication::sendEvent(w, &close);
         });
    EXPECT_EQ(worker.Create(L"测试", nullptr), 0);
    EXPECT_EQ(worker.result, E_FAIL);
    EXPECT_TRUE(w->messages_shown);
    EXPECT_FALSE(w->isVisible());
}

// Escape is the close button: while work runs it asks and stops only on yes, the window never
// vanishes under a running operation; once the run has ended it closes the window and ends the run.
TEST_F(ProgressWindowTest, EscapeAsksWhileRunningAndEndsAFinishedRun) {
    {
        CPacedWorker worker;
        worker.steps = 100000; // ended by the second Escape's yes
        worker.stepMs = 20;
        progresswindow *w = worker.progressWindow;
        bool visibleAfterNo = false;
        unsigned stepsAfterNo = 0;
        When([&] { return worker.stepsDone >= 2; }, [&] { QTest::keyClick(w, Qt::Key_Escape); });
        CBoxAnswerer boxes;
        boxes.sequence = {"pushButton_no", "pushButton_ok"};
        boxes.onBox = [&](QWidget *) {
            if (boxes.texts.size() != 1) return;
            // After "否" the run goes on in a window still on screen; a second Escape asks again.
            QTimer::singleShot(300, [&] {
                visibleAfterNo = w->isVisible();
                stepsAfterNo = worker.stepsDone;
                When([&] { return worker.stepsDone >= stepsAfterNo + 3; }, [&] { QTest::keyClick(w, Qt::Key_Escape); });
            });
        };
        EXPECT_EQ(worker.Create(L"测试", nullptr), 0);
        ASSERT_EQ(boxes.texts.size(), 2u);
        EXPECT_EQ(boxes.texts[0], "您真的要取消吗？");
        EXPECT_EQ(boxes.texts[1], "您真的要取消吗？");
        EXPECT_TRUE(visibleAfterNo);
        EXPECT_EQ(worker.result, E_ABORT);
        EXPECT_TRUE(worker.sawAbort);
        EXPECT_FALSE(w->isVisible());
        FlushReleasedWindows();
    }
    {
        // Ended with error lines: the list waits for the user, and Escape ends it like Close.
        CPacedWorker worker;
        worker.body = [](CPacedWorker &self) {
            self.progressWindow->sync.AddError_Message(L"first");
            return S_OK;
        };
        progresswindow *w = worker.progressWindow;
        QString closeText;
        When([&] { return Button(w, "pushButton_cancle")->text() == "关闭"; },
             [&] {
                 closeText = Button(w, "pushButton_cancle")->text();
                 QTest::keyClick(w, Qt::Key_Escape);
             });
        CBoxAnswerer boxes;
        EXPECT_EQ(worker.Create(L"测试", nullptr), 0);
        EXPECT_TRUE(boxes.texts.empty());
        EXPECT_EQ(closeText, "关闭");
        EXPECT_EQ(worker.result, S_OK);
        EXPECT_TRUE(w->messages_shown);
        EXPECT_FALSE(w->isVisible());
    }
}

enum class Prompt { password, overwrite };
enum class Start { guiThread, otherThread };
enum class CancelBy { closeEvent, cancelButton };

int AskPrompt(Prompt prompt, QWidget *parent) {
    if (prompt == Prompt::password) {
        auto info = std::make_shared<password_info>();
        info->parent = parent;
        return show_passwordwindow(info);
    }
    auto info = std::make_shared<overwrite_info>();
    info->parent = parent;
    info->old_file.name = L"/tmp/a.txt";
    info->new_file.name = L"/tmp/a.txt";
    return show_overwritewindow(info);
}

TEST_F(ProgressWindowTest, CancelWhileTheWorkerWaitsInAPrompt) {
    for (Prompt prompt : {Prompt::password, Prompt::overwrite})
        for (Start start : {Start::guiThread, Start::otherThread})
            for (CancelBy by : {CancelBy::closeEvent, CancelBy::cancelButton}) {
                SCOPED_TRACE(testing::Message()
                             << "prompt " << (int)prompt << " start " << (int)start << " by " << (int)by);
                CPacedWorker worker;
                std::atomic<int> answer{-1}, lateAnswer{-1};
                std::atomic<long> lateMs{-1};
                HRESULT afterPrompt = S_OK;
                worker.body = [&](CPacedWorker &self) {
                    self.progressWindow->sync.Set_NumBytesTotal(100);
                    self.Step(1);
                    answer = AskPrompt(prompt, self.progressWindow);
                    afterPrompt = self.Step(2);
                    // A prompt asked once the run is stopping answers Cancel without opening.
                    const auto t0 = std::chrono::steady_clock::now();
                    lateAnswer = AskPrompt(prompt, self.progressWindow);
                    lateMs = (long)std::chrono::duration_cast<std::chrono::milliseconds>(
                                 std::chrono::steady_clock::now() - t0)
                                 .count();
                    return afterPrompt;
                };
                progresswindow *w = worker.progressWindow;
                const char *promptClass = prompt == Prompt::password ? "passwordwindow" : "overwritewindow";
                When([&] { return FindVisible<QWidget>(promptClass) != nullptr; },
                     [&] {
                         if (by == CancelBy::closeEvent) {
                             // What the main window sends to its running windows when it closes.
                             QEvent close(custom_event::close_dialog);
                             QApplication::sendEvent(w, &close);
                         } else {
                             Button(w, "pushButton_cancle")->click();
                         }
                     });
                CBoxAnswerer boxes("pushButton_ok");
                if (start == Start::guiThread)
                    EXPECT_EQ(worker.Create(L"测试", nullptr), 0);
                else
                    EXPECT_TRUE(CreateFromOtherThread(worker, L"测试"));
                EXPECT_EQ(answer, dialog_result::cancel);
                EXPECT_EQ(afterPrompt, E_ABORT);
                EXPECT_EQ(lateAnswer, dialog_result::cancel);
                EXPECT_LT(lateMs, 500);
                EXPECT_EQ(worker.result, E_ABORT);
                EXPECT_EQ(FindVisible<QWidget>(promptClass), nullptr);
                EXPECT_EQ(boxes.texts.size(), by == CancelBy::cancelButton ? 1u : 0u);
                FlushReleasedWindows();
            }
}

TEST_F(ProgressWindowTest, WorkerFailuresBecomeTheFinalErrorText) {
    const struct Case {
        const char *name;
        std::function<HRESULT(CPacedWorker &)> body;
        std::string text;
        HRESULT result;
    } cases[] = {
        {"wide", [](CPacedWorker &) -> HRESULT { throw L"宽字符错误"; }, "宽字符错误", E_FAIL},
        {"ustring", [](CPacedWorker &) -> HRESULT { throw UString(L"UString 错误"); }, "UString 错误", E_FAIL},
        {"narrow", [](CPacedWorker &) -> HRESULT { throw "narrow error"; }, "narrow error", E_FAIL},
        {"int", [](CPacedWorker &) -> HRESULT { throw 151199; }, "Error #151199", E_FAIL},
        {"other", [](CPacedWorker &) -> HRESULT { throw std::bad_alloc(); }, "Error", E_FAIL},
        {"out of memory", [](CPacedWorker &) { return E_OUTOFMEMORY; }, "系统无法分配所需内存", E_OUTOFMEMORY},
        {"aborted is silent but keeps the worker's text",
         [](CPacedWorker &self) {
             self.finalError.message = L"worker text";
             return E_ABORT;
         },
         "worker text", E_ABORT},
        {"error wins over ok",
         [](CPacedWorker &self) {
             self.finalOk.message = L"ok text";
             self.errorPaths.Add(UString(L"/bad/path"));
             return S_OK;
         },
         "/bad/path", E_FAIL},
        {"first 32 paths",
         [](CPacedWorker &self) {
             for (int i = 0; i < 40; i++) {
                 UString p(L"/p");
                 wchar_t d[16];
                 ConvertUInt32ToString((UInt32)i, d);
                 p += d;
                 self.errorPaths.Add(p);
             }
             return S_OK;
         },
         "", E_FAIL},
    };
    std::string expected32;
    for (int i = 0; i < 32; i++)
        expected32 += (i ? "\n/p" : "/p") + std::to_string(i);

    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        CPacedWorker worker;
        worker.body = c.body;
        CBoxAnswerer boxes;
        EXPECT_EQ(worker.Create(L"测试", nullptr), 0);
        ASSERT_EQ(boxes.texts.size(), 1u);
        EXPECT_EQ(boxes.texts[0].toStdString(), c.text.empty() ? expected32 : c.text);
        EXPECT_EQ(boxes.captions[0], "Tarnova");
        EXPECT_EQ(worker.result, c.result);
        EXPECT_TRUE(worker.progressWindow->messages_shown);
        FlushReleasedWindows();
    }
}

TEST_F(ProgressWindowTest, ErrorListWaitsForCloseUnlessCancelled) {
    // Finished with error lines: the list stays open until the user presses Close. The failed
    // items kept the bytes done below the total, yet no time is left once the run has ended.
    {
        CPacedWorker worker;
        worker.body = [](CPacedWorker &self) {
            CProgressSync &sync = self.progressWindow->sync;
            sync.Set_NumBytesTotal((UInt64)1 << 40);
            sync.Set_NumBytesCur((UInt64)1 << 20);
            std::this_thread::sleep_for(std::chrono::milliseconds(1500));
            sync.AddError_Message(L"first");
            sync.AddError_Message_Name(L"cannot read", L"/second/file");
            return S_OK;
        };
        progresswindow *w = worker.progressWindow;
        QTableWidget *table = w->findChild<QTableWidget *>("tableWidget_error");
        std::vector<std::pair<QString, QString>> rows;
        QString errorCount, closeText, remaining = "<not read>";
        bool panelShown = false;
        When([&] { return Button(w, "pushButton_cancle")->text() == "关闭" && table->rowCount() == 3; },
             [&] {
                 for (int r = 0; r < table->rowCount(); r++)
                     rows.emplace_back(table->item(r, 0)->text(), table->item(r, 1)->text());
                 remaining = Text(w, "label_remaining_value");
                 errorCount = Text(w, "label_error_value");
                 panelShown = w->findChild<QWidget *>("widget_error")->isVisible();
                 closeText = Button(w, "pushButton_cancle")->text();
                 QTimer::singleShot(100, [w] { Button(w, "pushButton_cancle")->click(); });
             });
        CBoxAnswerer boxes;
        EXPECT_EQ(worker.Create(L"测试", nullptr), 0);
        EXPECT_TRUE(boxes.texts.empty());
        const std::vector<std::pair<QString, QString>> expected = {
            {"1", "first"}, {"2", "/second/file"}, {"", "cannot read"}};
        EXPECT_EQ(rows, expected);
        EXPECT_EQ(errorCount, "2");
        EXPECT_TRUE(remaining.isEmpty()) << remaining.toStdString();
        EXPECT_TRUE(panelShown);
        EXPECT_EQ(closeText, "关闭");
        EXPECT_TRUE(w->messages_shown);
        EXPECT_FALSE(w->isVisible());
    }
    // Cancelled with error lines: the window closes at once.
    {
        CPacedWorker worker;
        worker.body = [](CPacedWorker &self) {
            self.progressWindow->sync.AddError_Message(L"first");
            for (unsigned i = 1;; i++) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
                if (self.Step(i) != S_OK) return E_ABORT;
            }
        };
        progresswindow *w = worker.progressWindow;
        When([&] { return worker.stepsDone >= 3; },
             [&] {
                 QEvent close(custom_event::close_dialog);
                 QApplication::sendEvent(w, &close);
             });
        EXPECT_EQ(worker.Create(L"测试", nullptr), 0);
        EXPECT_EQ(worker.result, E_ABORT);
        EXPECT_FALSE(w->isVisible());
    }
}

// A failed item costs the run nothing else: one box for the run, shown on the GUI thread, while
// the worker goes on to its end.
TEST_F(ProgressWindowTest, FailedItemsShowOneBoxOnTheGuiThreadAndTheRunGoesOn) {
    CPacedWorker worker;
    std::atomic<bool> returnedBeforeAnswer{false};
    worker.body = [&](CPacedWorker &self) {
        self.Step(1);
        self.progressWindow->show_error(2);
        returnedBeforeAnswer = true;
        self.progressWindow->show_error(3);
        for (unsigned i = 2; i < 6; i++)
            if (self.Step(i) != S_OK) return E_ABORT;
        return S_OK;
    };
    CBoxAnswerer boxes("pushButton_ok", 200);
    EXPECT_EQ(worker.Create(L"测试", nullptr), 0);
    ASSERT_EQ(boxes.texts.size(), 1u);
    EXPECT_EQ(boxes.texts[0], "数据错误");
    EXPECT_TRUE(returnedBeforeAnswer);
    EXPECT_FALSE(worker.sawAbort);
    EXPECT_EQ(worker.result, S_OK);
    EXPECT_EQ(worker.stepsDone, 5u);
    EXPECT_FALSE(worker.progressWindow->isVisible());
}

TEST_F(ProgressWindowTest, PercentStaysWithinBounds) {
    const struct {
        UInt64 total, done;
        const char *title;
    } cases[] = {
        {0, 5, "0% 测试"},
        {100, 250, "100% 测试"},
        {(UInt64)(Int64)-1, 5, "0% 测试"},
    };
    for (const auto &c : cases) {
        CPacedWorker worker;
        worker.body = [&](CPacedWorker &self) {
            self.progressWindow->sync.Set_NumBytesTotal(c.total);
            return self.progressWindow->sync.Set_NumBytesCur(c.done);
        };
        EXPECT_EQ(worker.Create(L"测试", nullptr), 0);
        EXPECT_EQ(Text(worker.progressWindow, "label_title"), c.title) << c.total;
        QProgressBar *bar = worker.progressWindow->findChild<QProgressBar *>("progressBar");
        EXPECT_LE(bar->value(), bar->maximum());
        FlushReleasedWindows();
    }
}

TEST_F(ProgressWindowTest, ManyQuickRunsStartAndCancelCleanly) {
    for (int i = 0; i < 200; i++) {
        SCOPED_TRACE(i);
        CPacedWorker worker;
        const bool finishAtOnce = i % 10 == 9; // ends before the window is up
        worker.body = [finishAtOnce](CPacedWorker &self) {
            if (finishAtOnce) return S_OK;
            for (unsigned k = 1;; k++) {
                if (self.Step(k) != S_OK) return E_ABORT;
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
        };
        progresswindow *w = worker.progressWindow;
        ASSERT_NE(w, nullptr);
        const int delayMs = i % 4;
        QPointer<progresswindow> guard(w);
        QObject scope;
        When([guard] { return guard && guard->isVisible(); },
             [guard, delayMs] {
                 QTimer::singleShot(delayMs, [guard] {
                     if (!guard || !guard->isVisible()) return;
                     QEvent close(custom_event::close_dialog);
                     QApplication::sendEvent(guard, &close);
                 });
             },
             &scope);
        if (i % 3 == 0)
            ASSERT_TRUE(CreateFromOtherThread(worker, L"快速"));
        else
            ASSERT_EQ(worker.Create(L"快速", nullptr), 0);
        EXPECT_TRUE(worker.result == (finishAtOnce ? S_OK : E_ABORT)) << worker.result;
    }
    FlushReleasedWindows();
    apptest::RunUntil([] { return false; }, 50);
    FlushReleasedWindows();
    int left = 0;
    for (QWidget *widget : QApplication::allWidgets())
        if (widget->inherits("progresswindow")) left++;
    EXPECT_EQ(left, 0);
}

} // namespace
