#include "aboutwindow.h"

#include "dialogcodes.h"
#include "qt_helper.h"
#include "ui_aboutwindow.h"

aboutwindow::aboutwindow(QWidget *parent) : basewindow(parent), ui(new Ui_aboutwindow) {
    ui->setupUi(this);
}

aboutwindow::~aboutwindow() {
    delete ui;
}

void aboutwindow::init_window() {
    basewindow::init_window();
    qt_helper::set_btn_state_image(ui->btn_close, "sys_button_close");
    qt_helper::set_btn_state_image(ui->pushButton_ok, "button_mid_size");
    setWindowFlags(Qt::Tool | Qt::FramelessWindowHint);
    setWindowModality(Qt::WindowModal);
    setAttribute(Qt::WA_DeleteOnClose);
}

void aboutwindow::on_pushButton_ok_clicked() {
    exit(dialog_result::ok);
}

void aboutwindow::on_btn_close_clicked() {
    exit(dialog_result::closed);
}
