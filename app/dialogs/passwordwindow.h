#pragma once

// The prompt for an archive password while an operation runs. Reached from any thread through
// show_passwordwindow; the record carries the password both ways.
#include <QMetaType>

#include <memory>

#include "basewindow.h"
#include "common/MyString.h"

class Ui_passwordwindow;

struct password_info {
    QWidget *parent = nullptr; // the running progress window
    UString password;          // in: the field's text; out: the entered text (OK and the check box only)
    bool show_password = false;
};
Q_DECLARE_METATYPE(std::shared_ptr<password_info>)

// 5100 OK, 5101 Cancel (also when the call cannot run or the run is being stopped), 5001 closed.
int show_passwordwindow(std::shared_ptr<password_info> info);

class passwordwindow : public basewindow {
    Q_OBJECT

public:
    passwordwindow(std::shared_ptr<password_info> info, QWidget *parent = nullptr);
    ~passwordwindow() override;

    void init_window() override;

private slots:
    void on_btn_close_clicked();
    void on_pushButton_ok_clicked();
    void on_pushButton_cancle_clicked();
    void on_checkBox_password_clicked();

private:
    void OnInit();
    void SetTextSpec();
    void ReadControls();

    std::shared_ptr<password_info> info;
    Ui_passwordwindow *ui;
};
