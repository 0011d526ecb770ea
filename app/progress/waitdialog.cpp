#include "waitdialog.h"

#include "dialogcodes.h"

waitdialog::waitdialog(QWidget *parent) : QDialog(parent) {
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setWindowModality(Qt::WindowModal);
    // exec() shows the dialog; it must never reach the screen.
    setAttribute(Qt::WA_DontShowOnScreen);
    setFixedHeight(0);
    hide();
}

void waitdialog::run() {
    if (!ended) exec();
}

bool waitdialog::event(QEvent *event) {
    if (event->type() == custom_event::operation_done) {
        ended = true;
        close();
    }
    return QDialog::event(event);
}
