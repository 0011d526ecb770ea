#include "mainwindow.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMetaType>
#include <QPainter>
#include <QTimer>
#include <QTreeView>
#include <QUrl>

#include <algorithm>

#include "CellText.h"
#include "ErrorText.h"
#include "Panel.h"
#include "aboutwindow.h"
#include "combowindow.h"
#include "copywindow.h"
#include "dialogcodes.h"
#include "mainiconview.h"
#include "mainlistview.h"
#include "messagebox.h"
#include "options.h"
#include "overwritewindow.h"
#include "passwordwindow.h"
#include "progresswindow.h"
#include "qt_helper.h"
#include "settingwindow.h"
#include "ui_mainwindow.h"
#include "unzipwindow.h"
#include "zipwindow.h"

static UString ToU(const QString &s) {
    return UString(s.toStdWString().c_str());
}

namespace {

// Eats Return and Enter, so that a read-only line edit never acts on them.
class CSwallowEnter : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *, QEvent *event) override {
        if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease) return false;
        const int key = static_cast<QKeyEvent *>(event)->key();
        return key == Qt::Key_Return || key == Qt::Key_Enter;
    }
};

} // namespace

mainwindow::mainwindow(QWidget *parent) : framelesswindow(parent), ui(new Ui_mainwindow) {
    register_dialog_types();
    ui->setupUi(this);
    _module.set_mainwindow(this);
    init_window();
    init_agent7z();
}

mainwindow::~mainwindow() {
    uninit_agent7z();
    _module.set_mainwindow(nullptr);
    delete ui;
    modal_windows.clear();
}

void mainwindow::register_dialog_types() {
    qRegisterMetaType<QWidget *>("QWidget*");
    qRegisterMetaType<const TCHAR *>("const TCHAR*");
    qRegisterMetaType<std::shared_ptr<combo_info>>("std::shared_ptr<combo_info>");
    // Progress window and prompts.
    qRegisterMetaType<std::shared_ptr<password_info>>("std::shared_ptr<password_info>");
    qRegisterMetaType<std::shared_ptr<overwrite_info>>("std::shared_ptr<overwrite_info>");
    qRegisterMetaType<progresswindow *>("progresswindow*");
    // Extract dialog.
    qRegisterMetaType<std::shared_ptr<unzip_info>>("std::shared_ptr<unzip_info>");
    // Copy-to dialog.
    qRegisterMetaType<std::shared_ptr<copy_info>>("std::shared_ptr<copy_info>");
    // Compress dialog.
    qRegisterMetaType<std::shared_ptr<zip_info>>("std::shared_ptr<zip_info>");
}

void mainwindow::init_window() {
    setWindowFlags(Qt::FramelessWindowHint);
    setWindowTitle(tr("Tarnova"));
    setMinimumSize(700, 400);
    setWindowIcon(QIcon(":/image/tarnova.ico"));
    qt_helper::set_btn_state_image(ui->btn_min, "sys_button_min");
    qt_helper::set_btn_state_image(ui->btn_max_normal, normal_state ? "sys_button_max" : "sys_button_restore");
    qt_helper::set_btn_state_image(ui->btn_close, "sys_button_close");
    for (QToolButton *button : {ui->tool_btn_zip, ui->tool_btn_upzip, ui->tool_btn_quick_unzip, ui->tool_btn_delete})
        qt_helper::set_btn_state_image(button, "toolbar");
    for (QPushButton *button : {ui->btn_file, ui->btn_action, ui->btn_tool, ui->btn_help})
        qt_helper::set_btn_state_image(button, "menubar_bk");
    qt_helper::set_btn_state_image(ui->btn_up, "UpBtn");
    qt_helper::set_btn_state_image(ui->btn_home, "desktopBtn");
    qt_helper::set_btn_state_image(ui->btn_view, "listview_thumb");
    qt_helper::set_btn_state_image(ui->btn_report, "Report");
    ui->btn_skin->hide();
    ui->widget_state->hide();
    init_view();
    init_frameless(true, true);
}

void mainwindow::init_view() {
    list_view = new mainlistview(this, ui->widget_content);
    icon_view = new mainiconview(this, ui->widget_content);
    ui->verticalLayout_content->addWidget(list_view);
    ui->verticalLayout_content->addWidget(icon_view);
    icon_view->hide();
    for (QAbstractItemView *view : {static_cast<QAbstractItemView *>(list_view), static_cast<QAbstractItemView *>(icon_view)}) {
        connect(view, &QAbstractItemView::doubleClicked, this, &mainwindow::view_itemDoubleClicked);
        connect(view, &QWidget::customContextMenuRequested, this, &mainwindow::view_customContextMenuRequested);
    }
    connect(list_view->horizontalHeader(), &QHeaderView::sortIndicatorChanged, this, &mainwindow::view_sort_changed);
}

QWidget *mainwindow::get_view_widget() const {
    return icon_mode ? static_cast<QWidget *>(icon_view) : static_cast<QWidget *>(list_view);
}

template <class F> void mainwindow::guarded(F &&work) {
    try {
        work();
    } catch (...) {
        const UString text = CurrentExceptionText();
        try {
            MessageBoxW(msg_mode ? nullptr : this, text, L"Tarnova", 516);
        } catch (...) {
        }
    }
}

void mainwindow::init_agent7z() {
    panel = new CPanel;
    init_ok = false;
    guarded([&] { init_ok = panel->init_panel(this); });
}

void mainwindow::uninit_agent7z() {
    if (!panel) return;
    guarded([&] { panel->uninit_panel(); });
    delete panel;
    panel = nullptr;
}

void mainwindow::run_start_operation() {
    if (panel) guarded([&] { panel->RunStartOperation(); });
}

void mainwindow::set_title_text(const QString &text) {
    QLabel *label = ui->label_title;
    const int width = std::max(300, label->width());
    label->setText(label->fontMetrics().elidedText(text, Qt::ElideRight, width));
    label->setToolTip(text);
}

void mainwindow::set_up_enabled(bool enabled) {
    ui->btn_up->setEnabled(enabled);
}

void mainwindow::init_msg_mode() {
    msg_mode = true;
    ui->widget_title->hide();
    ui->widget_content->hide();
    layout()->setContentsMargins(0, 0, 0, 0);
    setMinimumSize(0, 0);
    setFixedSize(0, 0);
}

int mainwindow::run_dialog(basewindow *dialog, bool track) {
    if (_module.is_shutting_down()) {
        delete dialog;
        return dialog_result::cancel;
    }
    if (track) modal_windows[dialog] = 0;
    const int result = dialog->domodol(); // the dialog is deleted by now
    if (track) modal_windows.erase(dialog);
    return result;
}

void mainwindow::on_sys_menu(int id, const QString &text) {
    guarded([&] {
        switch (id) {
        case 1001:
            run_dialog(new settingwindow(this), false);
            break;
        case 1002:
            panel->ExtractArchives(true);
            break;
        case 1003:
            panel->AddToArchive(2);
            break;
        case 1004:
            panel->BindToPathAndRefresh(ToU(text));
            break;
        case 1005:
            panel->OpenFileName();
            break;
        case 1006:
            panel->ClearFoldersHistory();
            break;
        case 1008:
            QDesktopServices::openUrl(QUrl("https://tarnova.example.org/forum"));
            break;
        case 1009:
            QDesktopServices::openUrl(QUrl("https://tarnova.example.org/"));
            break;
        case 1010:
            QDesktopServices::openUrl(QUrl("https://tarnova.example.org/help"));
            break;
        case 1011:
            QDesktopServices::openUrl(QUrl("https://tarnova.example.org/social"));
            break;
        case 1012:
            run_dialog(new aboutwindow(this), false);
            break;
        default:
            break;
        }
    });
}

void mainwindow::on_menu(QAction *action) {
    if (!action) return;
    const int id = action->data().toInt();
    if (id < 1000)
        guarded([&] { panel->OnFileMenu(id); });
    else if (id < 2000)
        on_sys_menu(id, action->text());
}

void mainwindow::popup_menu(QPushButton *button, QMenu *menu) {
    menu->setAttribute(Qt::WA_DeleteOnClose);
    connect(menu, &QMenu::triggered, this, &mainwindow::on_menu);
    menu->popup(button->mapToGlobal(QPoint(0, button->height())));
}

static void AddMenuEntry(QMenu *menu, const QString &text, int id) {
    menu->addAction(text)->setData(id);
}

void mainwindow::on_btn_file_clicked() {
    QMenu *menu = new QMenu(this);
    AddMenuEntry(menu, tr("打开文件(&O)..."), 1005);
    menu->addSeparator();
    bool history = false;
    options::instance().get_history_folder(history, true);
    UStringVector folders;
    if (panel) panel->FoldersHistory(folders);
    if (history && !folders.IsEmpty()) {
        FOR_VECTOR(i, folders)
        AddMenuEntry(menu, QString::fromWCharArray(folders[i].Ptr(), (int)folders[i].Len()), 1004);
        AddMenuEntry(menu, tr("清除最近打开记录(&C)..."), 1006);
    }
    popup_menu(ui->btn_file, menu);
}

void mainwindow::on_btn_action_clicked() {
    QMenu *menu = new QMenu(this);
    AddMenuEntry(menu, tr("打开(&O)"), 540);
    AddMenuEntry(menu, tr("解压到(&A)..."), 1002);
    AddMenuEntry(menu, tr("添加到压缩文件(&O)..."), 1003);
    AddMenuEntry(menu, tr("复制到(&C)..."), 546);
    AddMenuEntry(menu, tr("删除(&D)"), 548);
    popup_menu(ui->btn_action, menu);
}

void mainwindow::on_btn_tool_clicked() {
    QMenu *menu = new QMenu(this);
    AddMenuEntry(menu, tr("选项(&O)..."), 1001);
    popup_menu(ui->btn_tool, menu);
}

void mainwindow::on_btn_help_clicked() {
    QMenu *menu = new QMenu(this);
    AddMenuEntry(menu, tr("官方网站(&G)"), 1009);
    AddMenuEntry(menu, tr("官方论坛(&B)"), 1008);
    AddMenuEntry(menu, tr("官方微博(&W)"), 1011);
    AddMenuEntry(menu, tr("帮助(&H)"), 1010);
    AddMenuEntry(menu, tr("关于(&A)"), 1012);
    popup_menu(ui->btn_help, menu);
}

void mainwindow::on_btn_close_clicked() {
    close();
}

void mainwindow::reject() {
    close();
}

void mainwindow::closeEvent(QCloseEvent *event) {
    if (!close_confirmed) {
        if (!modal_windows.empty() &&
            MessageBoxW(this, L"当前有任务正在运行，确定要退出吗？", L"Tarnova", 1044) != dialog_result::ok) {
            event->ignore();
            return;
        }
        // A window may end while another one is being closed: work on a copy.
        const std::map<QWidget *, int> running = modal_windows;
        for (const auto &entry : running) {
            if (modal_windows.find(entry.first) == modal_windows.end()) continue;
            QEvent closeDialog(custom_event::close_dialog);
            QCoreApplication::sendEvent(entry.first, &closeDialog);
        }
    }
    // Changed archive levels and copies with outside programs are settled now, while the window
    // can still ask; once the program's end has begun every question answers cancel.
    if (panel && (!panel->parentFolders.IsEmpty() || !panel->openedItems.empty())) {
        if (!modal_windows.empty() || panel->busyOperations > 0) {
            // The cancelled operations still hold the panel: come back when they have let go.
            close_confirmed = true;
            event->ignore();
            QTimer::singleShot(100, this, [this] { close(); });
            return;
        }
        guarded([&] { panel->CloseForExit(); });
    }
    // The window itself stays until the program's end has waited for every worker.
    event->accept();
}

void mainwindow::on_tool_btn_zip_clicked() {
    guarded([&] { panel->AddToArchive(2); });
}

void mainwindow::on_tool_btn_upzip_clicked() {
    guarded([&] { panel->ExtractArchives(true); });
}

void mainwindow::on_tool_btn_quick_unzip_clicked() {
    guarded([&] { panel->ExtractArchives(false); });
}

void mainwindow::on_tool_btn_delete_clicked() {
    guarded([&] { panel->DeleteItems(true); });
}

void mainwindow::view_itemDoubleClicked(const QModelIndex &) {
    guarded([&] { panel->OpenSelectedItems(true); });
}

void mainwindow::view_customContextMenuRequested(const QPoint &pos) {
    QWidget *view = get_view_widget();
    QMenu *menu = new QMenu(view);
    guarded([&] { panel->CreateFileMenu(menu); });
    if (menu->actions().isEmpty()) {
        delete menu;
        return;
    }
    menu->setAttribute(Qt::WA_DeleteOnClose);
    connect(menu, &QMenu::triggered, this, &mainwindow::on_menu);
    QAbstractScrollArea *area = qobject_cast<QAbstractScrollArea *>(view);
    menu->popup((area ? area->viewport() : view)->mapToGlobal(pos));
}

void mainwindow::on_btn_up_clicked() {
    guarded([&] { panel->OpenParentFolder(); });
}

void mainwindow::on_btn_home_clicked() {
    guarded([&] { panel->BindToPathAndRefresh(ToU(QDir::homePath())); });
}

void mainwindow::on_btn_view_clicked() {
    guarded([&] {
        // The selection is read from the view that is being left.
        CSelectedState state;
        panel->SaveSelectedState(state);
        icon_mode = !icon_mode;
        panel->RefreshListCtrl(state);
    });
}

void mainwindow::on_comboBox_content_currentIndexChanged(int) {
    if (!address_tree || !address_model) return;
    const QModelIndex index = address_tree->currentIndex();
    if (!index.isValid()) return;
    const QString path = address_model->filePath(index);
    guarded([&] { panel->BindToPathAndRefresh(ToU(path)); });
}

void mainwindow::on_btn_report_clicked() {
    on_sys_menu(1008, QString());
}

void mainwindow::on_btn_skin_clicked() {}

void mainwindow::view_sort_changed(int column, Qt::SortOrder order) {
    if (!panel || column < 0 || column >= (int)panel->visibleColumns.Size()) return;
    panel->sortPropId = panel->visibleColumns[(unsigned)column].ID;
    panel->sortAscending = order == Qt::AscendingOrder;
    guarded([&] { panel->SortRows(); });
}

void mainwindow::on_drop_files(const UStringVector &paths, bool moveMode) {
    guarded([&] { panel->CompressDropFiles(paths, UString(), moveMode); });
}

void mainwindow::on_drag_files() {
    guarded([&] { panel->OnDrag(); });
}

void mainwindow::init_comBox_content() {
    if (address_tree) return;
    address_tree = new QTreeView(ui->comboBox_content);
    address_model = new QFileSystemModel(this);
    address_model->setRootPath(QString());
    address_model->setFilter(QDir::Filters(0x6001));
    address_tree->setStyleSheet(
        "QTreeView::branch:has-children:!has-siblings:closed,QTreeView::branch:closed:has-children:has-siblings{"
        "border-image: none; image: none;}QTreeView::branch:open:has-children:!has-siblings,QTreeView::branch:open:"
        "has-children:has-siblings{border-image: none; image: none;}");
    address_tree->setModel(address_model);
    address_tree->header()->hide();
    for (int column = 1; column <= 3; column++)
        address_tree->hideColumn(column);
    address_tree->setSelectionBehavior(QAbstractItemView::SelectRows);
    address_tree->setSelectionMode(QAbstractItemView::SingleSelection);
    ui->comboBox_content->setModel(address_model);
    ui->comboBox_content->setView(address_tree);
    // The box shows paths that the folder tree does not hold (inside archives) as text.
    ui->comboBox_content->setEditable(true);
    ui->comboBox_content->lineEdit()->setReadOnly(true);
    // The box only shows where the panel is: Enter in it goes nowhere (it would pick the folder
    // tree's current folder, which inside an archive is the folder holding the archive).
    ui->comboBox_content->setInsertPolicy(QComboBox::NoInsert);
    ui->comboBox_content->lineEdit()->installEventFilter(new CSwallowEnter(ui->comboBox_content->lineEdit()));
}

void mainwindow::update_comboBox_content(const QString &path) {
    if (msg_mode) return;
    QComboBox *combo = ui->comboBox_content;
    const bool comboBlocked = combo->blockSignals(true);
    combo->setUpdatesEnabled(false);
    init_comBox_content();
    address_tree->setUpdatesEnabled(false);
    const QModelIndex index = address_model->index(path);
    if (index.isValid()) {
        address_tree->expand(index);
        address_tree->scrollTo(index);
        address_tree->setCurrentIndex(index);
        const QString text = address_model->fileInfo(index).isRoot() ? address_model->filePath(index)
                                                                      : address_model->fileName(index);
        combo->setRootModelIndex(index.parent());
        combo->setCurrentIndex(index.row());
        combo->setRootModelIndex(QModelIndex());
        combo->setEditText(text);
    } else {
        combo->setRootModelIndex(QModelIndex());
        combo->setEditText(path);
    }
    address_tree->setUpdatesEnabled(true);
    combo->setUpdatesEnabled(true);
    combo->blockSignals(comboBlocked);
}

void mainwindow::on_btn_max_normal_clicked() {
    if (normal_state) {
        qt_helper::set_btn_state_image(ui->btn_max_normal, "sys_button_restore");
        setWindowState(Qt::WindowMaximized);
    } else {
        qt_helper::set_btn_state_image(ui->btn_max_normal, "sys_button_max");
        setWindowState(Qt::WindowNoState);
    }
    normal_state = !normal_state;
}

void mainwindow::on_btn_min_clicked() {
    showMinimized();
}

bool mainwindow::event(QEvent *event) {
    if (event->type() == custom_event::operation_ended) {
        if (msg_mode)
            close();
        else if (panel)
            guarded([&] { panel->RefreshListCtrlSaveFocused(); });
    } else if (event->type() == custom_event::refresh_address && panel) {
        const UString path = MaskedItemName(panel->currentFolderPrefix);
        update_comboBox_content(QString::fromWCharArray(path.Ptr(), (int)path.Len()));
        qt_helper::set_btn_state_image(ui->btn_view, icon_mode ? "listview_report" : "listview_thumb");
    }
    return framelesswindow::event(event);
}

void mainwindow::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    QPixmap pixmap(":/image/main_background.png");
    qt_helper::nine_patch(painter, pixmap, 3, 3, width(), height());
}

void mainwindow::keyPressEvent(QKeyEvent *event) {
    // The main window is a dialog underneath, where Escape would end the program and Enter would
    // press the first button (the file menu). Closing stays with the close button and the menu.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        QWidget *view = get_view_widget();
        QWidget *focus = QApplication::focusWidget();
        if (event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier) {
            if (focus && (focus == view || view->isAncestorOf(focus))) guarded([&] { panel->OpenSelectedItems(true); });
        }
        return;
    }
    framelesswindow::keyPressEvent(event);
}
