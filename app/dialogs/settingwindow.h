#pragma once

// The settings dialog: folder history, file-type associations, work folder and the
// improvement programme. Only OK (or Apply) writes.
#include "ExtDatabase.h"
#include "ZipRegistry.h"
#include "basewindow.h"

class QTableWidgetItem;
class Ui_settingwindow;

class settingwindow : public basewindow {
    Q_OBJECT

public:
    explicit settingwindow(QWidget *parent = nullptr);
    ~settingwindow() override;

    void init_window() override;

    void set_tab_common(bool load);
    void set_tab_associate(bool load);
    void set_tab_advance(bool load);
    void set_tab_improve(bool load);
    void associate_check_item(const QString &ext, bool on);
    // 0 all off, 1 all on, 2 back to the defaults.
    void associate_check_all(int target);

private slots:
    void on_checkBox_history_folder_clicked(bool checked);
    void on_checkBox_improve_clicked(bool checked);
    void on_radioButton_sys_temp_clicked(bool checked);
    void on_radioButton_current_clicked(bool checked);
    void on_radioButton_custom_clicked(bool checked);
    void on_btn_browser_clicked();
    void on_btn_more_clicked();
    void on_checkBox_all_clicked(bool checked);
    void on_btn_associate_recover_clicked();
    void on_tableWidget_associate_itemClicked(QTableWidgetItem *item);
    void on_btn_applicate_clicked();
    void on_btn_ok_clicked();
    void on_btn_cancle_clicked();
    void on_btn_close_clicked();

private:
    Ui_settingwindow *form;
    bool history_folder;
    CExtDatabase ext_database;
    int checked_count;
    NWorkDir::CInfo workdir_info;
    bool improving_plan;
};
