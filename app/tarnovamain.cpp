#include "tarnovamain.h"

#include <QApplication>
#include <QFont>

#include "mainwindow.h"
#include "module.h"

int tarnova_main(int argc, char **argv) {
    QApplication app(argc, argv);
    _module.global_init(argc, argv);

    QFont font = QApplication::font();
    font.setPointSize(9);
    QApplication::setFont(font);

    mainwindow *window = new mainwindow(nullptr);
    int status = 0;
    if (window->is_ok()) {
        window->show();
        status = app.exec();
    }
    // Workers may still use the window and the codec registry: they end first.
    _module.wait_for_threads();
    // The operation's worker has set its result by now.
    if (status == 0 && window->is_ok() && window->get_msg_mode()) status = _module.start_status();
    delete window;
    _module.global_uninit();
    return status;
}
