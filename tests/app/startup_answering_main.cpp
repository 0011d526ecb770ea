// The program itself with a user in front: every dialog is answered as a user would (OK in a
// message box, the main button of the extract and compress dialogs, Close under an error list),
// and what was shown is written line by line to the file TARNOVA_TEST_DIALOG_LOG. With
// TARNOVA_TEST_CLOSE_MAIN the main window is closed once it shows. Lets the start-up switches
// run as separate processes whose end the test can wait for.
#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QTimer>

#include <stdio.h>
#include <stdlib.h>

#include "mainwindow.h"
#include "progresswindow.h"
#include "tarnovamain.h"

extern "C" const char *__lsan_default_suppressions() {
    return "leak:libqoffscreen.so\n";
}

namespace {

FILE *g_log = nullptr;

void Log(const QString &line) {
    if (!g_log) return;
    fprintf(g_log, "%s\n", line.toUtf8().constData());
    fflush(g_log);
}

void Press(QWidget *dialog, const QString &button) {
    QPointer<QWidget> guard(dialog);
    QTimer::singleShot(0, [guard, button] {
        if (!guard || !guard->isVisible()) return;
        if (QAbstractButton *b = guard->findChild<QAbstractButton *>(button)) {
            b->click();
            return;
        }
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(guard, &escape);
    });
}

bool Answered(QWidget *w) {
    if (w->property("tarnova_test_answered").toBool()) return true;
    w->setProperty("tarnova_test_answered", true);
    return false;
}

void Poll() {
    QWidget *modal = QApplication::activeModalWidget();
    for (QWidget *top : QApplication::topLevelWidgets()) {
        if (auto *main = qobject_cast<mainwindow *>(top)) {
            if (main->isVisible() && main->width() > 0 && !Answered(main)) {
                Log("mainwindow");
                if (getenv("TARNOVA_TEST_CLOSE_MAIN")) QTimer::singleShot(300, main, [main] { main->close(); });
            }
            continue;
        }
        // A finished run that waits with its error list.
        auto *progress = qobject_cast<progresswindow *>(top);
        if (!progress || !progress->isVisible()) continue;
        QAbstractButton *pause = progress->findChild<QAbstractButton *>("pushButton_ok");
        if (pause && pause->isHidden() && (modal == progress || !modal || modal->inherits("waitdialog")) &&
            !Answered(progress)) {
            QString list;
            {
                std::lock_guard<std::mutex> lock(progress->sync.mutex);
                for (unsigned i = 0; i < progress->sync.messages.Size(); i++)
                    list += QString::fromWCharArray(progress->sync.messages[i].Ptr()) + " ";
            }
            Log("errorlist|" + list);
            Press(progress, "pushButton_cancle");
        }
    }
    if (!modal || !modal->isVisible()) return;
    const QString cls = modal->metaObject()->className();
    if (cls == "progresswindow" || cls == "waitdialog" || Answered(modal)) return;
    QString text;
    if (QLabel *label = modal->findChild<QLabel *>("label_message")) text = label->toolTip();
    Log(cls + "|" + text);
    const QString button = cls == "messagebox"    ? "pushButton_ok"
                           : cls == "zipwindow"   ? "btn_zip"
                           : cls == "unzipwindow" ? "btn_unzip"
                                                  : "";
    Press(modal, button);
}

void InstallAnswerer() {
    QTimer *timer = new QTimer(qApp);
    QObject::connect(timer, &QTimer::timeout, Poll);
    timer->start(20);
}

} // namespace

int main(int argc, char **argv) {
    if (const char *path = getenv("TARNOVA_TEST_DIALOG_LOG")) g_log = fopen(path, "a");
    qAddPreRoutine(InstallAnswerer);
    const int status = tarnova_main(argc, argv);
    Log("end");
    if (g_log) fclose(g_log);
    return status;
}
