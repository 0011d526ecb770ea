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

} // namespace

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
