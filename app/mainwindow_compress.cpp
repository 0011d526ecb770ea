// The main window's slot of the compress dialog. Compression runs its command on the GUI thread,
// so the slot is called directly; no exception leaves it.
#include <QCoreApplication>
#include <QEvent>

#include "ErrorText.h"
#include "dialogcodes.h"
#include "mainwindow.h"
#include "zipwindow.h"

int mainwindow::get_zip_info(std::shared_ptr<zip_info> info) {
    int result = dialog_result::cancel;
    try {
        if (!info) return dialog_result::cancel;
        result = run_dialog(new zipwindow(info, nullptr), true);
    } catch (...) {
        qWarning("compress dialog: %ls", CurrentExceptionText().Ptr());
        result = dialog_result::cancel;
    }
    // Started for this one operation: a dialog not confirmed ends the process.
    if (result != dialog_result::ok && get_msg_mode())
        QCoreApplication::postEvent(this, new QEvent(custom_event::operation_ended));
    return result;
}
