// The password and overwrite prompts: answers by button, what the records carry back, what the
// overwrite prompt shows of each file, and calls from a worker thread.
#include <QLabel>
#include <QLineEdit>

#include <thread>

#include "dialogcodes.h"
#include "mainwindow.h"
#include "overwritewindow.h"
#include "passwordwindow.h"
#include "progress_test_support.h"
#include "test_support.h"
#include "windows/TimeUtils.h"

using testsupport::S;

namespace {

const ::testing::Environment *const g_env = ::testing::AddGlobalTestEnvironment(new apptest::CAppEnvironment);

class PromptTest : public ::testing::Test {
protected:
    void SetUp() override { setenv("TZ", "UTC", 1), tzset(); }
    mainwindow main;
    progresstest::CWatchdog watchdog{60};
};

std::function<void(QWidget *)> TypeThen(const QString &text, std::vector<const char *> clicks) {
    return [text, clicks](QWidget *dialog) {
        QLineEdit *edit = dialog->findChild<QLineEdit *>("lineEdit_password");
        if (!text.isNull()) edit->setText(text);
        for (const char *name : clicks)
            apptest::Click(dialog, name);
    };
}

TEST_F(PromptTest, PasswordAnswersAndRecord) {
    const struct Case {
        const char *name;
        std::function<void(QWidget *)> action;
        int result;
        const char *password;
        bool show;
    } cases[] = {
        {"ok", TypeThen("秘密pw", {"pushButton_ok"}), dialog_result::ok, "秘密pw", false},
        {"ok with an empty field", TypeThen("", {"pushButton_ok"}), dialog_result::ok, "", false},
        {"cancel keeps the record", TypeThen("typed", {"pushButton_cancle"}), dialog_result::cancel, "preset", false},
        // The check box copies the typed text and its state before the cancel.
        {"check box then cancel", TypeThen("typed", {"checkBox_password", "pushButton_cancle"}), dialog_result::cancel,
         "typed", true},
        {"close button", TypeThen("typed", {"btn_close"}), dialog_result::closed, "preset", false},
        {"escape", apptest::Answer("escape"), dialog_result::cancel, "preset", false},
        {"closed from outside",
         [](QWidget *dialog) {
             QEvent close(custom_event::close_dialog);
             QApplication::sendEvent(dialog, &close);
         },
         dialog_result::closed, "preset", false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        auto info = std::make_shared<password_info>();
        info->password = L"preset";
        QString shownText;
        QLineEdit::EchoMode echo = QLineEdit::Normal;
        apptest::AnswerModal([&](QWidget *dialog) {
            QLineEdit *edit = dialog->findChild<QLineEdit *>("lineEdit_password");
            shownText = edit->text();
            echo = edit->echoMode();
            c.action(dialog);
        });
        EXPECT_EQ(show_passwordwindow(info), c.result);
        EXPECT_EQ(shownText, "preset");
        EXPECT_EQ(echo, QLineEdit::Password);
        EXPECT_EQ(S(info->password), c.password);
        EXPECT_EQ(info->show_password, c.show);
    }
}

TEST_F(PromptTest, PasswordShownInClearWhenAsked) {
    auto info = std::make_shared<password_info>();
    info->show_password = true;
    QLineEdit::EchoMode before = QLineEdit::Password, after = QLineEdit::Normal;
    apptest::AnswerModal([&](QWidget *dialog) {
        QLineEdit *edit = dialog->findChild<QLineEdit *>("lineEdit_password");
        before = edit->echoMode();
        edit->setText("abc");
        apptest::Click(dialog, "checkBox_password");
        after = edit->echoMode();
        EXPECT_EQ(edit->text(), "abc"); // the typed text survives the switch
        apptest::Click(dialog, "pushButton_ok");
    });
    EXPECT_EQ(show_passwordwindow(info), dialog_result::ok);
    EXPECT_EQ(before, QLineEdit::Normal);
    EXPECT_EQ(after, QLineEdit::Password);
    EXPECT_EQ(S(info->password), "abc");
    EXPECT_FALSE(info->show_password);
}

TEST_F(PromptTest, OverwriteAnswersByButton) {
    const struct {
        const char *button;
        int result;
    } cases[] = {
        {"pushButton_yes", dialog_result::yes},
        {"pushButton_no", dialog_result::no},
        {"pushButton_yes_all", dialog_result::yes_to_all},
        {"pushButton_no_all", dialog_result::no_to_all},
        {"pushButton_auto_rename", dialog_result::auto_rename},
        {"pushButton_cancle", dialog_result::cancel},
        {"btn_close", dialog_result::closed},
    };
    for (const auto &c : cases) {
        auto info = std::make_shared<overwrite_info>();
        info->old_file.name = L"/tmp/old/a.txt";
        info->new_file.name = L"/tmp/new/a.txt";
        apptest::AnswerModal(apptest::Answer(c.button));
        EXPECT_EQ(show_overwritewindow(info), c.result) << c.button;
    }
}

TEST_F(PromptTest, OverwriteDescribesEachFile) {
    FILETIME time;
    NWindows::NTime::UnixTime64ToFileTime(1700000000, time); // 2023-11-14 22:13:20 UTC
    UString longName;
    for (int i = 0; i < 100; i++)
        longName += (wchar_t)(L'a' + i % 26);
    const struct Case {
        const char *name;
        NOverwriteDialog::CFileInfo file;
        std::string text;
    } cases[] = {
        {"size and time",
         {true, true, 1234, time, UString(L"/data/报告.txt")},
         "/data/报告.txt\n1234 字节\n修改时间: 2023-11-14 22:13:20"},
        {"unknown size leaves an empty line",
         {false, true, 0, time, UString(L"/a/b")},
         "/a/b\n\n修改时间: 2023-11-14 22:13:20"},
        {"unknown time leaves no time line", {true, false, 7, time, UString(L"/a/b")}, "/a/b\n7 字节\n"},
        {"long name keeps both ends",
         {true, false, 7, time, UString(L"/a/") + longName},
         "/a/" + S(longName.Left(41)) + " ... " + S(longName.Ptr(59)) + "\n7 字节\n"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(S(overwritewindow::FileInfoText(c.file)), c.text) << c.name;

    // The labels of the dialog carry those texts.
    auto info = std::make_shared<overwrite_info>();
    info->old_file = cases[0].file;
    info->new_file = cases[3].file;
    QString oldText, newText;
    bool oldIcon = false;
    apptest::AnswerModal([&](QWidget *dialog) {
        oldText = dialog->findChild<QLabel *>("label_old_file")->toolTip();
        newText = dialog->findChild<QLabel *>("label_new_file")->toolTip();
        oldIcon = !dialog->findChild<QLabel *>("label_old_icon")->pixmap(Qt::ReturnByValue).isNull();
        apptest::Click(dialog, "pushButton_no");
    });
    EXPECT_EQ(show_overwritewindow(info), dialog_result::no);
    EXPECT_EQ(oldText.toStdString(), cases[0].text);
    EXPECT_EQ(newText.toStdString(), cases[3].text);
    EXPECT_TRUE(oldIcon);
}

TEST_F(PromptTest, PromptsFromAWorkerThreadOpenOnTheGuiThread) {
    auto password = std::make_shared<password_info>();
    auto overwrite = std::make_shared<overwrite_info>();
    overwrite->old_file.name = overwrite->new_file.name = L"/tmp/x";
    std::atomic<int> passwordResult{-1}, overwriteResult{-1};
    std::atomic<bool> done{false};
    apptest::AnswerModal(TypeThen("from worker", {"pushButton_ok"}));
    std::thread worker([&] {
        passwordResult = show_passwordwindow(password);
        done = true;
    });
    EXPECT_TRUE(apptest::RunUntil([&] { return done.load(); }));
    worker.join();
    EXPECT_EQ(passwordResult, dialog_result::ok);
    EXPECT_EQ(S(password->password), "from worker");

    done = false;
    apptest::AnswerModal(apptest::Answer("pushButton_yes_all"));
    std::thread worker2([&] {
        overwriteResult = show_overwritewindow(overwrite);
        done = true;
    });
    EXPECT_TRUE(apptest::RunUntil([&] { return done.load(); }));
    worker2.join();
    EXPECT_EQ(overwriteResult, dialog_result::yes_to_all);
}

} // namespace
