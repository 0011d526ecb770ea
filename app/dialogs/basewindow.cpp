#include "basewindow.h"

#include <QCoreApplication>
#include <QIcon>
#include <QPainter>
#include <QPixmap>
#include <QPointer>

#include "dialogcodes.h"
#include "qt_helper.h"

basewindow::basewindow(QWidget *parent) : framelesswindow(parent), result_code(dialog_result::cancel) {}

basewindow::~basewindow() {
    if (result_sink) *result_sink = result_code;
}

void basewindow::init_window() {
    setWindowIcon(QIcon(":/image/tarnova.ico"));
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    init_frameless(true, false);
    qt_helper::keep_combos_narrow(this);
}

int basewindow::domodol() {
    init_window();
    int result = result_code;
    result_sink = &result;
    QPointer<basewindow> self(this);
    exec(); // deletes a delete-on-close dialog before it returns
    if (self) {
        self->result_sink = nullptr;
        result = self->result_code;
    }
    return result;
}

void basewindow::exit(int code) {
    result_code = code;
    if (result_sink) *result_sink = code;
    close();
}

bool basewindow::event(QEvent *event) {
    if (event->type() == custom_event::close_dialog) {
        // Children first: a dialog opened from this one must not outlive it.
        QList<QPointer<basewindow>> children;
        for (basewindow *child : findChildren<basewindow *>())
            children.append(child);
        for (const QPointer<basewindow> &child : children) {
            if (!child) continue;
            QEvent closeEvent(custom_event::close_dialog);
            QCoreApplication::sendEvent(child, &closeEvent);
        }
        exit(dialog_result::closed);
    }
    return framelesswindow::event(event);
}

void basewindow::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    QPixmap pixmap(":/image/dialog_background.png");
    qt_helper::nine_patch(painter, pixmap, 3, 3, width(), height());
}
