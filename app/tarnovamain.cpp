#include "tarnovamain.h"

#include <QApplication>
#include <QFont>
#include <QLibraryInfo>
#include <QTranslator>

#include "archive/ui-common/CommandRunner.h"
#include "mainwindow.h"
#include "module.h"

bool install_qt_translations(QCoreApplication &app) {
    // The program speaks Chinese whatever the locale: Qt's own dialogs (the folder chooser) too.
    QTranslator *translator = new QTranslator(&app);
    if (translator->load("qt_zh_CN", QLibraryInfo::location(QLibraryInfo::TranslationsPath)) &&
        QCoreApplication::installTranslator(translator))
        return true;
    delete translator;
    return false;
}

int tarnova_main(int argc, char **argv) {
    QApplication app(argc, argv);
    install_qt_translations(app); // missing translations leave Qt's English texts
    _module.global_init(argc, argv);

    QFont font = QApplication::font();
    font.setPointSize(9);
    QApplication::setFont(font);

    mainwindow *window = new mainwindow(nullptr);
    // A window that could not start (an archive asked for that does not open) has shown why; the
    // process still says it failed.
    int status = kRunnerExit_Error;
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
