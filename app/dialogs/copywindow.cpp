#include "copywindow.h"

#include <QFileDialog>
#include <QFontMetrics>
#include <QLayout>

#include <algorithm>

#include "ExtractGUI.h"
#include "dialogcodes.h"
#include "module.h"
#include "qt_helper.h"
#include "ui_copywindow.h"
#include "windows/FileName.h"

namespace {

QString ToQ(const UString &s) {
    return QString::fromWCharArray(s.Ptr(), (int)s.Len());
}

UString FromQ(const QString &s) {
    const std::wstring w = s.toStdWString();
    UString u;
    u.SetFrom(w.c_str(), (unsigned)w.size());
    return u;
}

} // namespace

copywindow::copywindow(std::shared_ptr<copy_info> info_, QWidget *parent)
    : basewindow(parent), ui(new Ui_copywindow), info(std::move(info_)) {
    ui->setupUi(this);
}

copywindow::~copywindow() {
    delete ui;
}

void copywindow::init_window() {
    basewindow::init_window();
    setWindowFlags(Qt::Tool | Qt::FramelessWindowHint);
    setWindowModality(Qt::WindowModal);
    setAttribute(Qt::WA_DeleteOnClose);
    qt_helper::set_btn_state_image(ui->btn_close, "sys_button_close");
    qt_helper::set_btn_state_image(ui->btn_browser, "browse");
    qt_helper::set_btn_main_action(ui->pushButton_ok);
    OnInit();
}

bool copywindow::OnInit() {
    ui->label_title->setText(ToQ(info->title));
    ui->label_static->setText(ToQ(info->prompt));
    FOR_VECTOR(i, info->history)
    ui->comboBox_path->addItem(ToQ(info->history[i]));
    const UString unixPath(nameWindowToUnix(info->value.Ptr()));
    info->value = unixPath;
    ui->comboBox_path->setEditText(ToQ(info->value));
    ShowItemsInfo(ToQ(info->info));
    return true;
}

void copywindow::ShowItemsInfo(const QString &text) {
    // The list of items can be longer and wider than the dialog: every line stays, long ones
    // lose their middle, the dialog grows to hold them and the tool tip has the whole text.
    QLabel *label = ui->label_info;
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(false);
    // The dialog has its fixed width before it is laid out: the label gets that less the margins.
    const QMargins margins = ui->widget_content->layout()->contentsMargins();
    const int width = std::max(100, this->width() - margins.left() - margins.right() - 2);
    const QFontMetrics metrics(label->font());
    QStringList lines = text.split('\n');
    while (!lines.isEmpty() && lines.back().isEmpty())
        lines.removeLast();
    for (QString &line : lines)
        line = metrics.elidedText(line, Qt::ElideMiddle, width);
    label->setText(lines.join('\n'));
    label->setToolTip(text);
    const int needed = metrics.lineSpacing() * lines.size() + 4;
    if (needed > label->height()) setFixedHeight(height() + needed - label->height());
}

void copywindow::OnButtonSetPath() {
    const QString folder = QFileDialog::getExistingDirectory(
        this, QString::fromUtf8("请选择要解压到的文件夹目录"), ui->comboBox_path->currentText(),
        QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
    if (folder.isNull()) return;
    UString path = FromQ(folder);
    NWindows::NFile::NName::NormalizeDirPathPrefix(path);
    ui->comboBox_path->setEditText(ToQ(path));
}

bool copywindow::OnOK() {
    info->value = FromQ(ui->comboBox_path->currentText());
    return true;
}

void copywindow::on_btn_close_clicked() {
    exit(dialog_result::closed);
}

void copywindow::on_pushButton_ok_clicked() {
    if (OnOK()) exit(dialog_result::ok);
}

void copywindow::on_btn_browser_clicked() {
    OnButtonSetPath();
}

int show_copywindow(std::shared_ptr<copy_info> info) {
    return _module.call_dialog("get_copy_info", Q_ARG(std::shared_ptr<copy_info>, info));
}
