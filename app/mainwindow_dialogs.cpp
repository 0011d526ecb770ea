// The main window's dialog slots: the message box, the one-line input, the option dialogs of
// compression, extraction and copy, the progress window and the password and overwrite prompts.
// They run on the GUI thread only (called directly there, blocking-queued from workers), and no
// exception leaves the operations' slots: a failure becomes an error box and the answer Cancel.
#include <QCoreApplication>
#include <QEvent>
#include <QPointer>

#include "ErrorText.h"
#include "combowindow.h"
#include "copywindow.h"
#include "dialogcodes.h"
#include "mainwindow.h"
#include "messagebox.h"
#include "overwritewindow.h"
#include "passwordwindow.h"
#include "progresswindow.h"
#include "unzipwindow.h"
#include "zipwindow.h"

namespace {

int ReportSlotFailure(QWidget *parent, QPointer<basewindow> dialog) {
    const UString text = CurrentExceptionText();
    if (dialog) dialog->deleteLater();
    try {
        ShowErrorMessage(parent, text);
    } catch (...) {
    }
    return dialog_result::cancel;
}

// The prompts of a running operation; a run that is being stopped gets Cancel at once, so that
// its worker can end.
template <typename Window, typename Info> int RunPrompt(mainwindow *main, const std::shared_ptr<Info> &info) {
    QPointer<basewindow> dialog;
    try {
        if (!info || RunIsStopping(info->parent)) return dialog_result::cancel;
        dialog = new Window(info, info->parent);
        return main->run_dialog(dialog, false);
    } catch (...) {
        return ReportSlotFailure(info ? info->parent : main, dialog);
    }
}

// The option dialogs of compression and extraction. Started for this one operation, a dialog not
// confirmed ends the process.
template <typename Window, typename Info>
int RunOptionDialog(mainwindow *main, const std::shared_ptr<Info> &info, const char *what) {
    int result = dialog_result::cancel;
    try {
        if (!info) return dialog_result::cancel;
        result = main->run_dialog(new Window(info, nullptr), true);
    } catch (...) {
        qWarning("%s: %ls", what, CurrentExceptionText().Ptr());
        result = dialog_result::cancel;
    }
    if (result != dialog_result::ok && main->get_msg_mode())
        QCoreApplication::postEvent(main, new QEvent(custom_event::operation_ended));
    return result;
}

} // namespace

int mainwindow::messagebox(QWidget *parent, const TCHAR *mes, const TCHAR *title, int flag) {
    if (_module.is_shutting_down()) return dialog_result::cancel;
    // The 0x0 window of single-operation mode would hide its children.
    if (parent == this && msg_mode) parent = nullptr;
    return ::messagebox::show(parent, mes, title, (unsigned)flag);
}

int mainwindow::get_combo_info(std::shared_ptr<combo_info> info) {
    if (!info) return dialog_result::cancel;
    return run_dialog(new combowindow(info, this), false);
}

// Compression runs its command on the GUI thread, so this slot is called directly.
int mainwindow::get_zip_info(std::shared_ptr<zip_info> info) {
    return RunOptionDialog<zipwindow>(this, info, "compress dialog");
}

int mainwindow::get_unzip_info(std::shared_ptr<unzip_info> info) {
    return RunOptionDialog<unzipwindow>(this, info, "extract dialog");
}

int mainwindow::get_copy_info(std::shared_ptr<copy_info> info) {
    return run_dialog(new copywindow(info, this), false);
}

int mainwindow::get_password_info(std::shared_ptr<password_info> info) {
    return RunPrompt<passwordwindow>(this, info);
}

int mainwindow::get_overwrite_info(std::shared_ptr<overwrite_info> info) {
    return RunPrompt<overwritewindow>(this, info);
}

progresswindow *mainwindow::get_progresswindow() {
    if (_module.is_shutting_down()) return nullptr;
    try {
        return new progresswindow(nullptr);
    } catch (...) {
        ReportSlotFailure(this, nullptr);
        return nullptr;
    }
}

int mainwindow::modol_progresswindow(progresswindow *wnd) {
    if (!wnd || _module.is_shutting_down()) return dialog_result::cancel;
    modal_windows[wnd] = 0;
    int result = dialog_result::cancel;
    try {
        result = wnd->do_special_modol();
    } catch (...) {
        ReportSlotFailure(this, nullptr);
    }
    modal_windows.erase(wnd);
    return result;
}
