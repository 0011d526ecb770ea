#pragma once

// Runs archive commands through the real runner and front-ends on a thread of their own (as the
// panel does) while the GUI thread answers every dialog that opens, by window class, in order.
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <atomic>
#include <deque>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "ExtractGUI.h"
#include "HashGUI.h"
#include "app_test_support.h"
#include "archive/ui-common/CommandRunner.h"
#include "progress_test_support.h"
#include "progresswindow.h"
#include "test_support.h"

namespace extracttest {

// The front-ends behind the runner, as the program wires them.
class CGuiCommands : public IArcCommandCallbacks {
public:
    std::vector<int> runnerMessages;
    void ShowRunnerMessage(ERunnerMessage message) override { runnerMessages.push_back((int)message); }
    int RunExtract(CArcCommandRun &run) override { return ExtractCommandGUI(run); }
    int RunUpdate(CArcCommandRun &) override { return kRunnerExit_Error; }
    int RunHash(CArcCommandRun &run) override { return HashCommandGUI(run); }
};

// Answers the dialogs of a run. Each window class has its queue of actions; a message box
// without a queued action is answered with its OK button, a finished progress window that waits
// with its error list is closed. Every box text and every error list is kept.
class CDialogScript {
public:
    std::map<std::string, std::deque<std::function<void(QWidget *)>>> actions;
    std::vector<QString> boxTexts;
    std::vector<QString> boxShown;   // what the box's label shows of it
    std::vector<QString> errorLists; // one joined text per finished run that listed errors
    // What each such window shows at that moment: its labels by object name, and "bar" as
    // "value/maximum".
    std::vector<std::map<std::string, QString>> windowTexts;
    std::vector<std::string> unexpected;
    std::map<std::string, int> shown;

    CDialogScript() {
        QObject::connect(&timer, &QTimer::timeout, [this] { Poll(); });
        timer.start(10);
    }

    std::string Unexpected() const {
        std::string s;
        for (const std::string &c : unexpected)
            s += c + " ";
        return s;
    }

    void Add(const std::string &cls, std::function<void(QWidget *)> action) {
        actions[cls].push_back(std::move(action));
    }

private:
    void Poll() {
        for (QWidget *w : QApplication::topLevelWidgets()) {
            progresswindow *progress = qobject_cast<progresswindow *>(w);
            if (!progress || !progress->isVisible() || handled.count(w)) continue;
            QPushButton *ok = progress->findChild<QPushButton *>("pushButton_ok");
            QWidget *modal = QApplication::activeModalWidget();
            if (ok && ok->isHidden() && (modal == progress || !modal || modal->inherits("waitdialog"))) {
                handled.insert(w);
                QString list;
                {
                    std::lock_guard<std::mutex> lock(progress->sync.mutex);
                    for (unsigned i = 0; i < progress->sync.messages.Size(); i++)
                        list += QString::fromWCharArray(progress->sync.messages[i].Ptr()) + "\n";
                }
                errorLists.push_back(list);
                std::map<std::string, QString> texts;
                for (QLabel *label : progress->findChildren<QLabel *>())
                    texts[label->objectName().toStdString()] = label->text();
                if (QProgressBar *bar = progress->findChild<QProgressBar *>("progressBar"))
                    texts["bar"] = QString("%1/%2").arg(bar->value()).arg(bar->maximum());
                windowTexts.push_back(texts);
                QPointer<QWidget> guard(progress);
                QTimer::singleShot(0, [guard] {
                    if (guard && guard->isVisible()) apptest::Click(guard, "pushButton_cancle");
                });
                return;
            }
        }
        QWidget *dialog = QApplication::activeModalWidget();
        if (!dialog || !dialog->isVisible() || handled.count(dialog)) return;
        const std::string cls = dialog->metaObject()->className();
        // The progress window and its hidden wait loop are not questions.
        if (cls == "progresswindow" || cls == "waitdialog") return;
        handled.insert(dialog);
        shown[cls]++;
        if (cls == "messagebox") {
            QLabel *label = dialog->findChild<QLabel *>("label_message");
            boxTexts.push_back(label ? label->toolTip() : QString());
            boxShown.push_back(label ? label->text() : QString());
        }
        std::function<void(QWidget *)> action;
        auto it = actions.find(cls);
        if (it != actions.end() && !it->second.empty()) {
            action = it->second.front();
            it->second.pop_front();
        } else if (cls == "messagebox") {
            action = apptest::Answer("pushButton_ok");
        } else {
            unexpected.push_back(cls);
            action = apptest::Answer("escape");
        }
        QPointer<QWidget> guard(dialog);
        QTimer::singleShot(0, [guard, action] {
            if (guard && guard->isVisible()) action(guard);
        });
    }

    QTimer timer;
    std::set<QObject *> handled;
};

// Runs one command (its words) on a thread of its own, serving the GUI meanwhile.
inline CArcCommandResult RunCommand(const std::vector<std::string> &words, int timeoutMs = 60000) {
    CGuiCommands commands;
    CArcCommandResult result;
    std::atomic<bool> done{false};
    UStringVector w;
    for (const std::string &s : words)
        w.Add(testsupport::U(s));
    std::thread runner([&] {
        result = RunArchiveCommandWords(w, commands);
        done = true;
    });
    const bool finished = apptest::RunUntil([&] { return done.load(); }, timeoutMs);
    if (!finished) ADD_FAILURE() << "the command did not end in time";
    apptest::RunUntil([&] { return done.load(); }, 120000);
    runner.join();
    progresstest::FlushReleasedWindows();
    return result;
}

// The extract dialog's answer: the folder typed, options set by a callback, then extract.
inline std::function<void(QWidget *)> Extract(const std::string &folder,
                                              std::function<void(QWidget *)> more = nullptr) {
    return [folder, more](QWidget *dialog) {
        if (!folder.empty())
            dialog->findChild<QComboBox *>("comboBox_path")->setEditText(QString::fromStdString(folder));
        if (more) more(dialog);
        apptest::Click(dialog, "btn_unzip");
    };
}

inline std::function<void(QWidget *)> TypePassword(const QString &password) {
    return [password](QWidget *dialog) {
        dialog->findChild<QLineEdit *>("lineEdit_password")->setText(password);
        apptest::Click(dialog, "pushButton_ok");
    };
}

} // namespace extracttest
