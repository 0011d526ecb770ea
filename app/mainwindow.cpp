#include "mainwindow.h"

#include <QCoreApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QLayout>
#include <QMetaType>
#include <QPainter>

#include "aboutwindow.h"
#include "combowindow.h"
#include "dialogcodes.h"
#include "messagebox.h"
#include "overwritewindow.h"
#include "passwordwindow.h"
#include "progresswindow.h"
#include "qt_helper.h"
#include "ui_mainwindow.h"
#include "unzipwindow.h"
#include "zipwindow.h"

mainwindow::mainwindow(QWidget *parent) : framelesswindow(parent), ui(new Ui_mainwindow) {
    register_dialog_types();
    ui->setupUi(this);
    _module.set_mainwindow(this);
    init_window();
    init_agent7z();
}

mainwindow::~mainwindow() {
    uninit_agent7z();
    _module.set_mainwindow(nullptr);
    delete ui;
    modal_windows.clear();
}

void mainwindow::register_dialog_types() {
    qRegisterMetaType<QWidget *>("QWidget*");
    qRegisterMetaType<const TCHAR *>("const TCHAR*");
    qRegisterMetaType<std::shared_ptr<combo_info>>("std::shared_ptr<combo_info>");
    // Progress window and prompts.
    qRegisterMetaType<std::shared_ptr<password_info>>("std::shared_ptr<password_info>");
    qRegisterMetaType<std::shared_ptr<overwrite_info>>("std::shared_ptr<overwrite_info>");
    qRegisterMetaType<progresswindow *>("progresswindow*");
    // Extract dialog.
    qRegisterMetaType<std::shared_ptr<unzip_info>>("std::shared_ptr<unzip_info>");
    // Compress dialog.
    qRegisterMetaType<std::shared_ptr<zip_info>>("std::shared_ptr<zip_info>");
}

void mainwindow::init_window() {
    setWindowFlags(Qt::FramelessWindowHint);
    setWindowTitle(tr("Tarnova"));
    setMinimumSize(700, 400);
    setWindowIcon(QIcon(":/image/tarnova.ico"));
    qt_helper::set_btn_state_image(ui->btn_min, "sys_button_min");
    qt_helper::set_btn_state_image(ui->btn_max_normal, normal_state ? "sys_button_max" : "sys_button_restore");
    qt_helper::set_btn_state_image(ui->btn_close, "sys_button_close");
    ui->widget_state->hide();
    init_frameless(true, true);
}

void mainwindow::init_agent7z() {
    // Until the file panel binds the start folder and runs the start-up switches, only the bare
    // start can be served; any other request ends the start with an error box.
    UStringVector words;
    _module.get_command_strings(words);
    init_ok = true;
    if (words.Size() > 1) {
        UString text(L"无法作为压缩包打开文件");
        text += words[1];
        MessageBoxW(nullptr, text, L"Tarnova", 516);
        init_ok = false;
    }
}

void mainwindow::uninit_agent7z() {}

void mainwindow::init_msg_mode() {
    msg_mode = true;
    ui->widget_title->hide();
    ui->widget_content->hide();
    layout()->setContentsMargins(0, 0, 0, 0);
    setMinimumSize(0, 0);
    setFixedSize(0, 0);
}

int mainwindow::run_dialog(basewindow *dialog, bool track) {
    if (_module.is_shutting_down()) {
        delete dialog;
        return dialog_result::cancel;
    }
    if (track) modal_windows[dialog] = 0;
    const int result = dialog->domodol(); // the dialog is deleted by now
    if (track) modal_windows.erase(dialog);
    return result;
}

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

void mainwindow::on_sys_menu(int id, const QString &) {
    switch (id) {
    case 1012:
        run_dialog(new aboutwindow(this), false);
        break;
    default:
        break;
    }
}

void mainwindow::on_btn_close_clicked() {
    if (!modal_windows.empty() &&
        MessageBoxW(this, L"当前有任务正在运行，确定要退出吗？", L"Tarnova", 1044) != dialog_result::ok)
        return;
    // A window may end while another one is being closed: work on a copy.
    const std::map<QWidget *, int> running = modal_windows;
    for (const auto &entry : running) {
        if (modal_windows.find(entry.first) == modal_windows.end()) continue;
        QEvent closeEvent(custom_event::close_dialog);
        QCoreApplication::sendEvent(entry.first, &closeEvent);
    }
    close();
}

void mainwindow::on_btn_max_normal_clicked() {
    if (normal_state) {
        qt_helper::set_btn_state_image(ui->btn_max_normal, "sys_button_restore");
        setWindowState(Qt::WindowMaximized);
    } else {
        qt_helper::set_btn_state_image(ui->btn_max_normal, "sys_button_max");
        setWindowState(Qt::WindowNoState);
    }
    normal_state = !normal_state;
}

void mainwindow::on_btn_min_clicked() {
    showMinimized();
}

bool mainwindow::event(QEvent *event) {
    if (event->type() == custom_event::operation_ended && msg_mode) close();
    return framelesswindow::event(event);
}

void mainwindow::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    QPixmap pixmap(":/image/main_background.png");
    qt_helper::nine_patch(painter, pixmap, 3, 3, width(), height());
}

void mainwindow::keyPressEvent(QKeyEvent *event) {
    // The main window is a dialog underneath: Escape must not end the program behind the
    // user's back (closing goes through the close button and its question).
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    framelesswindow::keyPressEvent(event);
}
