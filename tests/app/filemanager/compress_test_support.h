#pragma once

// Runs compress commands the way the panel does (the command runner on the GUI thread, the
// compress dialog driven by a timer) and answers whatever boxes the run shows.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QTableWidget>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "ExtractGUI.h"
#include "UpdateGUI.h"
#include "app_test_support.h"
#include "archive/ui-common/CommandRunner.h"
#include "messagebox.h"
#include "progresswindow.h"
#include "test_support.h"
#include "zipwindow.h"

namespace compresstest {

using testsupport::S;
using testsupport::Shell;
using testsupport::U;

class CRunner : public IArcCommandCallbacks {
public:
    std::vector<std::string> runnerMessages;
    void ShowRunnerMessage(ERunnerMessage m) override { runnerMessages.push_back(S(UString(GetRunnerMessageText(m)))); }
    int RunExtract(CArcCommandRun &run) override { return ExtractCommandGUI(run); }
    int RunUpdate(CArcCommandRun &run) override { return UpdateCommandGUI(run); }
    int RunHash(CArcCommandRun &) override { return 0; }
};

// A word for the shell, in single quotes (the names used in tests hold none).
inline std::string ShellQuote(const std::string &s) {
    return "'" + s + "'";
}

// The exit code of a command whose output is not wanted; -1 when it did not exit.
inline int ToolExit(const std::string &cmd) {
    int status = 0;
    Shell(cmd + " >/dev/null 2>&1", &status);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Settings of the run go to the test's output folder, never to the user's home.
inline void UseTestHome() {
    const char *dir = getenv("TARNOVA_TEST_OUTPUT_DIR");
    ASSERT_TRUE(dir) << "TARNOVA_TEST_OUTPUT_DIR is not set";
    setenv("TARNOVA_HOME_DIR", (std::string(dir) + "/").c_str(), 1);
}

inline QString Q(const std::string &s) {
    return QString::fromUtf8(s.c_str());
}

// The visible message box's text, or empty.
inline std::string BoxText(QWidget *box) {
    std::string text;
    for (QLabel *label : box->findChildren<QLabel *>())
        if (label->isVisible() && !label->text().isEmpty()) text += label->text().toStdString() + "\n";
    return text;
}

// Answers every message box of a run with its first button and records its text; closes a
// progress window that waits with its error list. Lives while the object does.
class CJanitor {
public:
    std::vector<std::string> boxes;
    std::vector<std::string> errorLists;
    // Runs on every tick before the boxes are answered; may act on the running operation, but
    // must not block (a timer is not run again while its own call is running): clicks that open
    // a question go through AskLater.
    std::function<void()> onTick;

    CJanitor() {
        timer.setInterval(20);
        QObject::connect(&timer, &QTimer::timeout, [this] { Tick(); });
        timer.start();
    }

    static void AskLater(QAbstractButton *button) {
        QPointer<QAbstractButton> guard(button);
        QTimer::singleShot(0, [guard] {
            if (guard) guard->click();
        });
    }

private:
    QTimer timer;

    void Tick() {
        if (onTick) onTick();
        // Any visible box, not only the active modal one: a prompt may still be open beneath it.
        for (QWidget *box : QApplication::topLevelWidgets()) {
            if (!box->isVisible() || !box->inherits("messagebox")) continue;
            boxes.push_back(BoxText(box));
            QPushButton *ok = box->findChild<QPushButton *>("pushButton_ok");
            if (ok && ok->isVisible())
                ok->click();
            else
                box->close();
            return;
        }
        for (QWidget *w : QApplication::topLevelWidgets()) {
            if (!w->isVisible() || !w->inherits("progresswindow")) continue;
            QPushButton *cancel = w->findChild<QPushButton *>("pushButton_cancle");
            QWidget *list = w->findChild<QWidget *>("widget_error");
            if (cancel && list && list->isVisible() && cancel->text() == QString::fromUtf8("关闭")) {
                std::string text;
                if (QTableWidget *table = w->findChild<QTableWidget *>("tableWidget_error"))
                    for (int r = 0; r < table->rowCount(); r++)
                        for (int c = 0; c < table->columnCount(); c++)
                            if (table->item(r, c)) text += table->item(r, c)->text().toStdString() + " ";
                errorLists.push_back(text);
                cancel->click();
            }
        }
    }
};

// Chooses an entry by its text; fails the test when there is none.
inline void Choose(QWidget *dialog, const char *combo, const std::string &text) {
    QComboBox *box = dialog->findChild<QComboBox *>(combo);
    ASSERT_NE(box, nullptr) << combo;
    const int row = box->findText(Q(text), Qt::MatchFixedString);
    ASSERT_GE(row, 0) << combo << " has no " << text;
    box->setCurrentIndex(row);
}

inline void Type(QWidget *dialog, const char *name, const std::string &text) {
    if (QComboBox *box = dialog->findChild<QComboBox *>(name)) {
        box->setEditText(Q(text));
        return;
    }
    QLineEdit *edit = dialog->findChild<QLineEdit *>(name);
    ASSERT_NE(edit, nullptr) << name;
    edit->setText(Q(text));
}

inline std::vector<std::string> Entries(QWidget *dialog, const char *combo) {
    std::vector<std::string> out;
    if (QComboBox *box = dialog->findChild<QComboBox *>(combo))
        for (int i = 0; i < box->count(); i++)
            out.push_back(box->itemText(i).toStdString());
    return out;
}

inline std::string Current(QWidget *dialog, const char *combo) {
    QComboBox *box = dialog->findChild<QComboBox *>(combo);
    return box ? box->currentText().toStdString() : std::string("<none>");
}

// What the dialog is set to before "立即压缩": the custom profile, then these choices in order.
struct CChoices {
    std::string format;
    std::string level;  // empty: as offered
    std::string method; // empty: as offered
    std::string password;
    std::string encryption;
    std::string volumes;
    std::string updateMode;
    bool deleteSources = false;
    bool asStored = false; // leave the lists as the stored choices set them
    // Anything else, run after the choices above.
    std::function<void(QWidget *)> more;

    CChoices(std::string f = std::string(), std::string l = std::string(), std::string m = std::string(),
             std::string pw = std::string(), std::string em = std::string(), std::string vol = std::string())
        : format(std::move(f)), level(std::move(l)), method(std::move(m)), password(std::move(pw)),
          encryption(std::move(em)), volumes(std::move(vol)) {}
};

struct CRunResult {
    CArcCommandResult result;
    bool dialogSeen = false;
    bool dialogStillOpen = false; // after the compress button: the dialog refused the input
};

inline void ApplyChoices(QWidget *dialog, const CChoices &c) {
    apptest::Click(dialog, "radio_btn_custom");
    if (!c.format.empty()) Choose(dialog, "comboBox_ext", c.format);
    if (!c.level.empty()) Choose(dialog, "comboBox_style", c.level);
    // No method given: the list's first, whatever an earlier run left stored.
    if (!c.method.empty())
        Choose(dialog, "comboBox_method", c.method);
    else if (QComboBox *method = c.asStored ? nullptr : dialog->findChild<QComboBox *>("comboBox_method"))
        if (method->count() > 0) method->setCurrentIndex(0);
    if (!c.encryption.empty()) Choose(dialog, "comboBox_encryption", c.encryption);
    if (!c.password.empty()) {
        Type(dialog, "lineEdit_password", c.password);
        Type(dialog, "lineEdit_password2", c.password);
    }
    if (!c.volumes.empty()) Type(dialog, "comboBox_colum", c.volumes);
    if (!c.updateMode.empty()) Choose(dialog, "comboBox_updatemode", c.updateMode);
    if (c.deleteSources) dialog->findChild<QCheckBox *>("checkBox_del_source")->setChecked(true);
    if (c.more) c.more(dialog);
}

// "a -ad archive sources..." on the GUI thread, the dialog answered with the choices. A dialog
// that refuses the input is closed, and the run ends cancelled.
inline CRunResult CompressWithDialog(const std::string &archive, const std::vector<std::string> &sources,
                                     const CChoices &choices, CJanitor &janitor, CRunner &runner) {
    CRunResult r;
    apptest::AnswerModal([&](QWidget *dialog) {
        if (!dialog->inherits("zipwindow")) return;
        r.dialogSeen = true;
        QPointer<QWidget> guard(dialog);
        ApplyChoices(dialog, choices);
        // The choices may have closed the dialog themselves.
        if (!guard || !guard->isVisible()) return;
        apptest::Click(dialog, "btn_zip");
        if (guard && guard->isVisible()) {
            r.dialogStillOpen = true;
            apptest::Click(guard, "btn_close");
        }
    });
    std::vector<std::string> words = {"a", "-ad", archive};
    words.insert(words.end(), sources.begin(), sources.end());
    (void)janitor;
    r.result = RunArchiveCommandWords(testsupport::Words(words), runner);
    return r;
}

// A command without the dialog, on the GUI thread.
inline CArcCommandResult RunOnGuiThread(const std::vector<std::string> &words, CRunner &runner) {
    return RunArchiveCommandWords(testsupport::Words(words), runner);
}

// An extraction command on a thread of its own, as the panel starts it, while the GUI runs.
inline CArcCommandResult RunOnOtherThread(const std::vector<std::string> &words, CRunner &runner) {
    CArcCommandResult result;
    std::atomic<bool> done{false};
    std::thread t([&] {
        result = RunArchiveCommandWords(testsupport::Words(words), runner);
        done = true;
    });
    apptest::RunUntil([&] { return done.load(); }, 60000);
    t.join();
    return result;
}

} // namespace compresstest
