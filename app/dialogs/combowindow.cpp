#include "combowindow.h"

#include "dialogcodes.h"
#include "module.h"
#include "qt_helper.h"
#include "ui_combowindow.h"

namespace {

QString ToQString(const UString &s) {
    return QString::fromWCharArray(s.Ptr(), (int)s.Len());
}

UString ToUString(const QString &s) {
    const std::wstring w = s.toStdWString();
    UString u;
    u.SetFrom(w.c_str(), (unsigned)w.size());
    return u;
}

} // namespace

combowindow::combowindow(std::shared_ptr<combo_info> info_, QWidget *parent)
    : basewindow(parent), ui(new Ui_combowindow), info(std::move(info_)) {
    ui->setupUi(this);
}

combowindow::~combowindow() {
    delete ui;
}

void combowindow::init_window() {
    basewindow::init_window();
    qt_helper::set_btn_state_image(ui->btn_close, "sys_button_close");
    qt_helper::set_btn_state_image(ui->pushButton_ok, "button_mid_size");
    qt_helper::set_btn_state_image(ui->pushButton_cancle, "button_mid_size");
    setWindowModality(Qt::WindowModal);
    setAttribute(Qt::WA_DeleteOnClose);
    OnInit();
}

bool combowindow::OnInit() {
    ui->label_title->setText(ToQString(info->title));
    ui->label_name->setText(ToQString(info->prompt));
    ui->lineEdit_name->setText(ToQString(info->value));
    return true;
}

bool combowindow::OnOK() {
    info->value = ToUString(ui->lineEdit_name->text());
    return true;
}

void combowindow::on_pushButton_ok_clicked() {
    if (OnOK()) exit(dialog_result::ok);
}

void combowindow::on_pushButton_cancle_clicked() {
    exit(dialog_result::cancel);
}

void combowindow::on_btn_close_clicked() {
    exit(dialog_result::closed);
}

int show_combowindow(std::shared_ptr<combo_info> info) {
    return _module.call_dialog("get_combo_info", Q_ARG(std::shared_ptr<combo_info>, info));
}
