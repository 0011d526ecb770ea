#pragma once

// The about box: the product's name, a banner and a one-line slogan.
#include "basewindow.h"

class Ui_aboutwindow;

class aboutwindow : public basewindow {
    Q_OBJECT

public:
    explicit aboutwindow(QWidget *parent = nullptr);
    ~aboutwindow() override;

    void init_window() override;

private slots:
    void on_pushButton_ok_clicked();
    void on_btn_close_clicked();

private:
    Ui_aboutwindow *ui;
};
