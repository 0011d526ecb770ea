#include "overwritewindow.h"

#include <QFileIconProvider>
#include <QFileInfo>
#include <QLabel>
#include <QStyle>

#include "CellText.h"
#include "ProgressFormat.h"
#include "common/IntToString.h"
#include "dialogcodes.h"
#include "module.h"
#include "progresswindow.h"
#include "qt_helper.h"
#include "ui_overwritewindow.h"
#include "windows/PropVariantConv.h"
#include "windows/WinTime.h"

int show_overwritewindow(std::shared_ptr<overwrite_info> info) {
    if (!info || RunIsStopping(info->parent)) return dialog_result::cancel;
    return _module.call_dialog("get_overwrite_info", Q_ARG(std::shared_ptr<overwrite_info>, info));
}

overwritewindow::overwritewindow(std::shared_ptr<overwrite_info> record, QWidget *parent)
    : basewindow(parent), info(std::move(record)), ui(new Ui_overwritewindow) {
    ui->setupUi(this);
}

overwritewindow::~overwritewindow() {
    delete ui;
}

void overwritewindow::init_window() {
    basewindow::init_window();
    qt_helper::set_btn_state_image(ui->btn_close, "sys_button_close");
    for (QPushButton *button : {ui->pushButton_yes, ui->pushButton_no, ui->pushButton_yes_all, ui->pushButton_no_all,
                                ui->pushButton_auto_rename, ui->pushButton_cancle})
        qt_helper::set_btn_state_image(button, "btn_bk_4122");
    setWindowFlags(Qt::Tool | Qt::FramelessWindowHint);
    setWindowModality(Qt::WindowModal);
    setAttribute(Qt::WA_DeleteOnClose);
    OnInit();
}

void overwritewindow::OnInit() {
    SetFileInfoControl(ui->label_old_file, ui->label_old_icon, info->old_file);
    SetFileInfoControl(ui->label_new_file, ui->label_new_icon, info->new_file);
}

UString overwritewindow::FileInfoText(const NOverwriteDialog::CFileInfo &file) {
    UString sizeText;
    if (file.sizeDefined) {
        wchar_t digits[32];
        ConvertUInt64ToString(file.size, digits);
        sizeText = digits;
        sizeText += L" 字节";
    }
    // A line break or direction mark in the name must not split or turn the path line around.
    const UString path = MaskedItemName(file.name);
    const int slash = path.ReverseFind_PathSepar();
    const UString folder = path.Left((unsigned)(slash + 1));
    const UString name = path.Ptr((unsigned)(slash + 1));

    UString s = ReduceString(folder, 82);
    s += ReduceString(name, 82);
    s.Add_LF();
    s += sizeText;
    s.Add_LF();
    if (file.timeDefined) {
        FILETIME local;
        wchar_t timeText[64];
        // A time that cannot be made local shows as an error line instead of failing the prompt.
        if (FileTimeToLocalFileTime(&file.time, &local) && ConvertFileTimeToString(local, timeText, true, true)) {
            s += L"修改时间";
            s += L": ";
            s += timeText;
        } else {
            s += L"Error #4190402";
        }
    }
    return s;
}

void overwritewindow::SetFileInfoControl(QLabel *textLabel, QLabel *iconLabel,
                                         const NOverwriteDialog::CFileInfo &file) {
    (textLabel == ui->label_old_file ? old_text : new_text) = FileInfoText(file);
    ShowFileTexts();
    const QString path = QString::fromWCharArray(file.name.Ptr(), (int)file.name.Len());
    QIcon icon = QFileIconProvider().icon(QFileInfo(path));
    // Without an icon theme the desktop has no icon for the file; the plain file icon stands in.
    if (icon.isNull()) icon = style()->standardIcon(QStyle::SP_FileIcon);
    iconLabel->setPixmap(icon.pixmap(iconLabel->size()));
}

void overwritewindow::showEvent(QShowEvent *event) {
    basewindow::showEvent(event);
    ShowFileTexts(); // the labels have their final width now
}

// A path line wider than the label is cut in its middle on screen; the tool tip keeps it whole.
void overwritewindow::ShowFileTexts() {
    for (QLabel *label : {ui->label_old_file, ui->label_new_file}) {
        const UString &text = label == ui->label_old_file ? old_text : new_text;
        const QString full = QString::fromWCharArray(text.Ptr(), (int)text.Len());
        QStringList lines = full.split('\n');
        for (QString &line : lines)
            line = label->fontMetrics().elidedText(line, Qt::ElideMiddle, label->width());
        label->setText(lines.join('\n'));
        label->setToolTip(full);
    }
}

void overwritewindow::on_btn_close_clicked() {
    exit(dialog_result::closed);
}
void overwritewindow::on_pushButton_yes_clicked() {
    exit(dialog_result::yes);
}
void overwritewindow::on_pushButton_no_clicked() {
    exit(dialog_result::no);
}
void overwritewindow::on_pushButton_yes_all_clicked() {
    exit(dialog_result::yes_to_all);
}
void overwritewindow::on_pushButton_no_all_clicked() {
    exit(dialog_result::no_to_all);
}
void overwritewindow::on_pushButton_auto_rename_clicked() {
    exit(dialog_result::auto_rename);
}
void overwritewindow::on_pushButton_cancle_clicked() {
    exit(dialog_result::cancel);
}
