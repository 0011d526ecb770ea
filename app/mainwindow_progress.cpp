// The main window's slots that run the progress window and the password and overwrite prompts.
// They run on the GUI thread only (called directly there, blocking-queued from workers), and no
// exception leaves them: a failure becomes an error box and the answer Cancel.
#include <QPointer>

#include "ErrorText.h"
#include "dialogcodes.h"
#include "mainwindow.h"
#include "messagebox.h"
#include "overwritewindow.h"
#include "passwordwindow.h"
#include "progresswindow.h"

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

} // namespace

int mainwindow::get_password_info(std::shared_ptr<password_info> info) {
    QPointer<basewindow> dialog;
    try {
        // A run that is being stopped gets Cancel at once: its worker must be able to end.
        if (!info || RunIsStopping(info->parent)) return dialog_result::cancel;
        dialog = new passwordwindow(info, info->parent);
        return dialog->domodol();
    } catch (...) {
        return ReportSlotFailure(info ? info->parent : this, dialog);
    }
}

int mainwindow::get_overwrite_info(std::shared_ptr<overwrite_info> info) {
    QPointer<basewindow> dialog;
    try {
        if (!info || RunIsStopping(info->parent)) return dialog_result::cancel;
        dialog = new overwritewindow(info, info->parent);
        return dialog->domodol();
    } catch (...) {
        return ReportSlotFailure(info ? info->parent : this, dialog);
    }
}

progresswindow *mainwindow::get_progresswindow() {
    try {
        return new progresswindow(nullptr);
    } catch (...) {
        ReportSlotFailure(this, nullptr);
        return nullptr;
    }
}

int mainwindow::modol_progresswindow(progresswindow *wnd) {
    if (!wnd) return dialog_result::cancel;
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
