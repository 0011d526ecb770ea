#pragma once

// The destination dialog of the panel's copy and move commands.
#include <memory>

#include "basewindow.h"
#include "common/MyString.h"

class Ui_copywindow;

// Shared between the panel and the dialog: value is the proposed destination and, after OK, the
// one chosen.
struct copy_info {
    UString title;
    UString prompt;
    UString value;
    UString info;
    CObjectVector<UString> history;
};

class copywindow : public basewindow {
    Q_OBJECT

public:
    copywindow(std::shared_ptr<copy_info> info, QWidget *parent);
    ~copywindow() override;

    void init_window() override;
    bool OnInit();
    bool OnOK();
    void OnButtonSetPath();

private slots:
    void on_btn_close_clicked();
    void on_pushButton_ok_clicked();
    void on_btn_browser_clicked();

private:
    void ShowItemsInfo(const QString &text);

    Ui_copywindow *ui;
    std::shared_ptr<copy_info> info;
};

// 5100 OK (info->value holds the destination), 5001 closed, 5101 otherwise or when no dialog can
// be shown. Callable from any thread.
int show_copywindow(std::shared_ptr<copy_info> info);
