#pragma once

// The one-line input dialog (a new folder's or file's name) and show_combowindow, its entry from
// any thread.
#include <memory>

#include "basewindow.h"
#include "common/MyString.h"

class Ui_combowindow;

// Shared between the caller and the dialog: value is the initial text and, after OK, the edited one.
struct combo_info {
    UString title;
    UString prompt;
    UString value;
    CObjectVector<UString> items; // not read by the dialog
};

class combowindow : public basewindow {
    Q_OBJECT

public:
    combowindow(std::shared_ptr<combo_info> info, QWidget *parent);
    ~combowindow() override;

    void init_window() override;
    bool OnInit();
    bool OnOK();

private slots:
    void on_pushButton_ok_clicked();
    void on_pushButton_cancle_clicked();
    void on_btn_close_clicked();

private:
    Ui_combowindow *ui;
    std::shared_ptr<combo_info> info;
};

// 5100 OK (info->value holds the text, unchanged: no trimming), 5101 Cancel or no call, 5001 closed.
int show_combowindow(std::shared_ptr<combo_info> info);
