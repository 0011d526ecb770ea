#pragma once

// The one top-level window, and the hub of every dialog: the dialog entries of the whole program
// call its slots by name from any thread (module::call_dialog).
#include <map>
#include <memory>

#include "framelesswindow.h"
#include "module.h"

class Ui_mainwindow;
class basewindow;
struct combo_info;
struct password_info;
struct overwrite_info;
struct unzip_info;
struct zip_info;
class progresswindow;

class mainwindow : public framelesswindow {
    Q_OBJECT

public:
    explicit mainwindow(QWidget *parent = nullptr);
    ~mainwindow() override;

    // Whether the start-up request succeeded; main runs the event loop only then.
    bool is_ok() const { return init_ok; }
    void init_msg_mode();
    bool get_msg_mode() const { return msg_mode; }
    int modal_window_count() const { return (int)modal_windows.size(); }

    // Every type that a dialog slot takes, registered under the spelling its callers use.
    static void register_dialog_types();

    // Runs a dialog that a slot created. A tracked dialog is in modal_windows while it runs, so
    // that closing the main window closes it (event 1035).
    int run_dialog(basewindow *dialog, bool track);

    // Menu commands of 1000 and above.
    void on_sys_menu(int id, const QString &text);

public slots:
    // Dialog slots. Each returns the dialog's result code; module::call_dialog presets cancel.
    int messagebox(QWidget *parent, const TCHAR *mes, const TCHAR *title, int flag);
    int get_combo_info(std::shared_ptr<combo_info> info);
    // Slots of the operation dialogs follow here: get_zip_info, get_unzip_info,
    // get_password_info, get_overwrite_info, get_progresswindow, modol_progresswindow.

    // Progress window and the prompts of a running operation (mainwindow_progress.cpp).
    int get_password_info(std::shared_ptr<password_info> info);
    int get_overwrite_info(std::shared_ptr<overwrite_info> info);
    progresswindow *get_progresswindow();
    int modol_progresswindow(progresswindow *wnd);

    // The extract dialog (mainwindow_extract.cpp).
    int get_unzip_info(std::shared_ptr<unzip_info> info);

    // The compress dialog (mainwindow_compress.cpp).
    int get_zip_info(std::shared_ptr<zip_info> info);

private slots:
    void on_btn_close_clicked();
    void on_btn_max_normal_clicked();
    void on_btn_min_clicked();

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void init_window();
    void init_agent7z();
    void uninit_agent7z();

    bool init_ok = false;
    Ui_mainwindow *ui;
    bool normal_state = true;
    bool msg_mode = false;
    std::map<QWidget *, int> modal_windows;
};
