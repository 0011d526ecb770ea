#include "messagebox.h"

#include <errno.h>

#include <QFontMetrics>

#include "dialogcodes.h"
#include "qt_helper.h"
#include "ui_messagebox.h"
#include "windows/ErrorMsg.h"

namespace {

QString FromWide(const wchar_t *s) {
    return s ? QString::fromWCharArray(s) : QString();
}

} // namespace

messagebox::messagebox(QWidget *parent, const wchar_t *text_, const wchar_t *caption_, unsigned int flags_)
    : basewindow(parent), ui(new Ui_messagebox), text(FromWide(text_)), caption(FromWide(caption_)), flags(flags_) {
    ui->setupUi(this);
}

messagebox::~messagebox() {
    delete ui;
}

int messagebox::show(QWidget *parent, const wchar_t *text, const wchar_t *caption, unsigned int flags) {
    return (new messagebox(parent, text, caption, flags))->domodol();
}

void messagebox::init_window() {
    basewindow::init_window();
    qt_helper::set_btn_state_image(ui->btn_close, "sys_button_close");
    qt_helper::set_btn_state_image(ui->pushButton_ok, "button_mid_size");
    qt_helper::set_btn_state_image(ui->pushButton_cancle, "button_mid_size");
    setWindowFlags(Qt::Tool | Qt::FramelessWindowHint);
    setWindowModality(Qt::WindowModal);
    setAttribute(Qt::WA_DeleteOnClose);

    ui->label_title->setText(caption);

    const char *icon = (flags & 0x200)   ? ":/image/msg_icon_error.png"
                       : (flags & 0x400) ? ":/image/msg_icon_question.png"
                                         : ":/image/msg_icon_info.png";
    ui->label_icon_message->setPixmap(QPixmap(icon));

    ui->pushButton_ok->setText((flags & 0x2) ? tr("是") : tr("确定"));
    ui->pushButton_ok->setVisible(!((flags & 0x10) && !(flags & 0x2) && !(flags & 0x4)));
    ui->pushButton_no->setText(tr("否"));
    ui->pushButton_no->setVisible((flags & 0x8) != 0);
    ui->pushButton_cancle->setText(tr("取消"));
    ui->pushButton_cancle->setVisible((flags & 0x10) != 0);

    ui->label_message->ensurePolished(); // its style sheet decides the font it is measured with
    const QFontMetrics metrics(ui->label_message->font());
    if (text.contains('\n')) {
        ShowLines();
    } else {
        // The label wraps into two lines. A long message usually ends in a path whose file name
        // matters most: it loses its middle, as little as still fits the two lines.
        const int lineWidth = ui->label_message->width();
        // Fallback fonts (Chinese) make lines taller than the font says: the label's height rules.
        const int maxHeight = qMax(ui->label_message->height(), 2 * metrics.lineSpacing());
        QString shown = text;
        for (int width = 2 * lineWidth; width > 0; width -= metrics.averageCharWidth()) {
            shown = metrics.elidedText(text, Qt::ElideMiddle, width);
            const QRect used = metrics.boundingRect(QRect(0, 0, lineWidth, 100000), Qt::TextWordWrap, shown);
            if (used.height() <= maxHeight && used.width() <= lineWidth) break;
        }
        ui->label_message->setText(shown);
    }
    ui->label_message->setToolTip(text);
}

void messagebox::ShowLines() {
    // A report (a test run, checksums) is read line by line: each line is shown whole up to a wide
    // limit, and the box grows to hold them; its text can be selected and copied. The label's
    // style sheet decides its font, so it is measured polished.
    ui->label_message->ensurePolished();
    const QFontMetrics metrics(ui->label_message->font());
    const int maxWidth = 760, maxLines = 30;
    const QStringList lines = text.split('\n');
    QStringList shown;
    int width = ui->label_message->width();
    for (int i = 0; i < lines.size() && i < maxLines; i++) {
        const QString line = metrics.elidedText(lines[i], Qt::ElideMiddle, maxWidth);
        width = qMax(width, metrics.horizontalAdvance(line) + 16);
        shown << line;
    }
    const QRect used = metrics.boundingRect(QRect(0, 0, width, 100000), 0, shown.join('\n'));
    const int height = qMax(ui->label_message->height(), used.height() + 8);
    const QSize grow(width - ui->label_message->width(), height - ui->label_message->height());
    ui->label_message->setWordWrap(false);
    ui->label_message->setFixedSize(width, height);
    ui->label_message->setTextInteractionFlags(Qt::TextSelectableByMouse);
    ui->label_message->setText(shown.join('\n'));
    // The form fixes the box's size; it grows by what the label grew.
    setFixedSize(minimumSize() + grow);
}

void messagebox::on_btn_close_clicked() {
    exit(dialog_result::closed);
}

void messagebox::on_pushButton_ok_clicked() {
    exit(dialog_result::ok);
}

void messagebox::on_pushButton_no_clicked() {
    exit(dialog_result::no);
}

void messagebox::on_pushButton_cancle_clicked() {
    exit(dialog_result::cancel);
}

int MessageBoxW(QWidget *parent, const wchar_t *text, const wchar_t *caption, int flags) {
    // With the blocking call the texts stay the caller's: nothing is copied until the box runs.
    return _module.call_dialog("messagebox", Q_ARG(QWidget *, parent), Q_ARG(const TCHAR *, text),
                               Q_ARG(const TCHAR *, caption), Q_ARG(int, flags));
}

int ShowErrorMessage(QWidget *parent, const wchar_t *message) {
    return MessageBoxW(parent, message, L"Tarnova", 516);
}

int ShowErrorMessageHwndRes(QWidget *parent, const wchar_t *message) {
    return ShowErrorMessage(parent, message);
}

int ShowErrorMessageRes(const wchar_t *message) {
    return ShowErrorMessage(nullptr, message);
}

int ShowErrorMessageDWORD(QWidget *parent, unsigned int errorCode) {
    const UString text = NWindows::NError::MyFormatMessage(errorCode);
    return ShowErrorMessage(parent, text);
}

int ShowLastErrorMessage(QWidget *parent) {
    return ShowErrorMessageDWORD(parent, (unsigned int)errno);
}
