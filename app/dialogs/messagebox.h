#pragma once

// The program's message box, and MessageBoxW, the entry that reaches it from any thread.
#include "basewindow.h"
#include "module.h"

class Ui_messagebox;

class messagebox : public basewindow {
    Q_OBJECT

public:
    messagebox(QWidget *parent, const wchar_t *text, const wchar_t *caption, unsigned int flags);
    ~messagebox() override;

    // GUI thread only: runs a new box modally; it deletes itself when closed.
    static int show(QWidget *parent, const wchar_t *text, const wchar_t *caption, unsigned int flags);

    void init_window() override;

private slots:
    void on_btn_close_clicked();
    void on_pushButton_ok_clicked();
    void on_pushButton_no_clicked();
    void on_pushButton_cancle_clicked();

private:
    void ShowLines();

    Ui_messagebox *ui;
    QString text;
    QString caption;
    unsigned int flags;
};

// Flag bits: 0x200 error icon, 0x400 question icon (else information); 0x2 OK reads "是";
// 0x8 shows No; 0x10 shows Cancel and hides OK unless 0x2 or 0x4 is set.
// Results: 5100 OK/Yes, 5104 No, 5101 Cancel or Escape or no call, 5001 the close button.
int MessageBoxW(QWidget *parent, const wchar_t *text, const wchar_t *caption, int flags);

// Error notices: the error icon and OK, caption "Tarnova".
int ShowErrorMessage(QWidget *parent, const wchar_t *message);
int ShowErrorMessageHwndRes(QWidget *parent, const wchar_t *message);
int ShowErrorMessageRes(const wchar_t *message);
int ShowErrorMessageDWORD(QWidget *parent, unsigned int errorCode);
// The calling thread's errno as text.
int ShowLastErrorMessage(QWidget *parent);
