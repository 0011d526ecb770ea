#pragma once

// The one top-level window, and the hub of every dialog: the dialog entries of the whole program
// call its slots by name from any thread (module::call_dialog).
#include <map>
#include <memory>

#include "PanelHost.h"
#include "framelesswindow.h"
#include "module.h"

class Ui_mainwindow;
class basewindow;
class CPanel;
class mainlistview;
class mainiconview;
class QAction;
class QFileSystemModel;
class QMenu;
class QModelIndex;
class QTreeView;
class QPushButton;
struct combo_info;
struct copy_info;
struct password_info;
struct overwrite_info;
struct unzip_info;
struct zip_info;
class progresswindow;

class mainwindow : public framelesswindow, public CPanelHost {
    Q_OBJECT

public:
    explicit mainwindow(QWidget *parent = nullptr);
    ~mainwindow() override;

    // Whether the start-up request succeeded; main runs the event loop only then.
    bool is_ok() const { return init_ok; }
    void init_msg_mode() override;
    bool get_msg_mode() const override { return msg_mode; }
    int modal_window_count() const { return (int)modal_windows.size(); }

    // Every type that a dialog slot takes, registered under the spelling its callers use.
    static void register_dialog_types();

    // Runs a dialog that a slot created. A tracked dialog is in modal_windows while it runs, so
    // that closing the main window closes it (event 1035).
    int run_dialog(basewindow *dialog, bool track);

    // Menu commands of 1000 and above.
    void on_sys_menu(int id, const QString &text);

    // The panel's widgets and state, and what the panel asks of its window.
    QWidget *host_widget() override { return this; }
    CPanel *get_panel() const override { return panel; }
    Ui_mainwindow *get_ui() const { return ui; }
    mainlistview *get_list_view() const override { return list_view; }
    mainiconview *get_icon_view() const override { return icon_view; }
    bool is_icon_mode() const override { return icon_mode; }
    QWidget *get_view_widget() const override;
    void set_title_text(const QString &text) override;
    void set_up_enabled(bool enabled) override;
    // Called by the views.
    void on_drop_files(const UStringVector &paths, bool moveMode = false) override;
    void on_drag_files() override;
    // The operation of a start-up switch; runs from the event loop.
    void run_start_operation() override;
    void update_comboBox_content(const QString &path);
    // Runs the command of a menu entry (its id is the action's data).
    void on_menu(QAction *action);

public slots:
    // Dialog slots (mainwindow_dialogs.cpp). Each returns the dialog's result code;
    // module::call_dialog presets cancel.
    int messagebox(QWidget *parent, const TCHAR *mes, const TCHAR *title, int flag);
    int get_combo_info(std::shared_ptr<combo_info> info);

    // Progress window and the prompts of a running operation.
    int get_password_info(std::shared_ptr<password_info> info);
    int get_overwrite_info(std::shared_ptr<overwrite_info> info);
    progresswindow *get_progresswindow();
    int modol_progresswindow(progresswindow *wnd);

    // The extract dialog.
    int get_unzip_info(std::shared_ptr<unzip_info> info);
    // The copy-to dialog of the panel's copy and move.
    int get_copy_info(std::shared_ptr<copy_info> info);
    // The compress dialog.
    int get_zip_info(std::shared_ptr<zip_info> info);

private slots:
    void on_btn_close_clicked();
    void on_btn_max_normal_clicked();
    void on_btn_min_clicked();
    void on_tool_btn_zip_clicked();
    void on_tool_btn_upzip_clicked();
    void on_tool_btn_quick_unzip_clicked();
    void on_tool_btn_delete_clicked();
    void view_itemDoubleClicked(const QModelIndex &index);
    void view_customContextMenuRequested(const QPoint &pos);
    void on_btn_up_clicked();
    void on_btn_home_clicked();
    void on_btn_view_clicked();
    void on_comboBox_content_currentIndexChanged(int index);
    void on_btn_report_clicked();
    void on_btn_skin_clicked();
    void on_btn_file_clicked();
    void on_btn_action_clicked();
    void on_btn_tool_clicked();
    void on_btn_help_clicked();
    void view_sort_changed(int column, Qt::SortOrder order);

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    // Escape and every other way a dialog ends go through closing, with its question.
    void reject() override;

private:
    void init_window();
    void init_agent7z();
    void uninit_agent7z();
    void init_view();
    void init_comBox_content();
    void popup_menu(QPushButton *button, QMenu *menu);
    // Runs panel code; an integer or any other exception it throws becomes an error box instead
    // of reaching the event loop.
    template <class F> void guarded(F &&work);

    bool init_ok = false;
    Ui_mainwindow *ui;
    mainlistview *list_view = nullptr;
    mainiconview *icon_view = nullptr;
    bool icon_mode = false;
    bool normal_state = true;
    QTreeView *address_tree = nullptr;
    QFileSystemModel *address_model = nullptr;
    CPanel *panel = nullptr;
    bool msg_mode = false;
    std::map<QWidget *, int> modal_windows;
    // The user has agreed to end the running operations; the close waits for them to let go.
    bool close_confirmed = false;
};
