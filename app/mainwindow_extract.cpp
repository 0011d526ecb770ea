// The main window's slot of the extract dialog. It runs on the GUI thread only (called directly
// there, blocking-queued from the extraction's thread), and no exception leaves it.
#include <QCoreApplication>
#include <QEvent>

#include "ErrorText.h"
#include "dialogcodes.h"
#include "mainwindow.h"
#include "unzipwindow.h"

int mainwindow::get_unzip_info(std::shared_ptr<unzip_info> info) {
    int result = dialog_result::cancel;
    try {
        if (!info) return dialog_result::cancel;
        result = run_dialog(new unzipwindow(info, nullptr), true);
    } catch (...) {
        qWarning("extract dialog: %ls", CurrentExceptionText().Ptr());
        result = dialog_result::cancel;
    }
    // Started for this one operation: a dialog not confirmed ends the process.
    if (result != dialog_result::ok && get_msg_mode())
        QCoreApplication::postEvent(this, new QEvent(custom_event::operation_ended));
    return result;
}
