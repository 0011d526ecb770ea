#include "passwordwindow.h"

#include "module.h"
#include "progresswindow.h"
#include "ErrorText.h"
#include "dialogcodes.h"
#include "qt_helper.h"
#include "ui_passwordwindow.h"

int show_passwordwindow(std::shared_ptr<password_info> info) {
    if (!info || RunIsStopping(info->parent)) return dialog_result::cancel;
    return _module.call_dialog("get_password_info", Q_ARG(std::shared_ptr<password_info>, info));
}

passwordwindow::passwordwindow(std::shared_ptr<password_info> record, QWidget *parent)
    : basewindow(parent), info(std::move(record)), ui(new Ui_passwordwindow) {
    ui->setupUi(this);
}

passwordwindow::~passwordwindow() {
    delete ui;
}

void passwordwindow::init_window() {
    basewindow::init_window();
    qt_helper::set_btn_state_image(ui->btn_close, "sys_button_close");
    qt_helper::set_btn_state_image(ui->pushButton_ok, "button_mid_size");
    qt_helper::set_btn_state_image(ui->pushButton_cancle, "button_mid_size");
    setWindowFlags(Qt::Tool | Qt::FramelessWindowHint);
    setWindowModality(Qt::WindowModal);
    setAttribute(Qt::WA_DeleteOnClose);
    OnInit();
}

void passwordwindow::OnInit() {
    ui->checkBox_password->setChecked(info->show_password);
    SetTextSpec();
}

void passwordwindow::SetTextSpec() {
    ui->lineEdit_password->setEchoMode(info->show_password ? QLineEdit::Normal : QLineEdit::Password);
    ui->lineEdit_password->setText(QString::fromWCharArray(info->password.Ptr(), (int)info->password.Len()));
}

void passwordwindow::ReadControls() {
    const std::wstring text = ui->lineEdit_password->text().toStdWString();
    info->password = text.c_str();
    info->show_password = ui->checkBox_password->isChecked();
}

void passwordwindow::on_checkBox_password_clicked() {
    try {
        ReadControls();
        SetTextSpec();
    } catch (...) {
        qWarning("password prompt: %ls", CurrentExceptionText().Ptr());
    }
}

void passwordwindow::on_pushButton_ok_clicked() {
    try {
        ReadControls();
    } catch (...) {
        // A password that cannot be taken over is no answer to go on with.
        qWarning("password prompt: %ls", CurrentExceptionText().Ptr());
        exit(dialog_result::cancel);
        return;
    }
    exit(dialog_result::ok);
}

void passwordwindow::on_pushButton_cancle_clicked() {
    exit(dialog_result::cancel);
}

void passwordwindow::on_btn_close_clicked() {
    exit(dialog_result::closed);
}
