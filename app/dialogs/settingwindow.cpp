#include "settingwindow.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QHeaderView>
#include <QUrl>

#include "dialogcodes.h"
#include "options.h"
#include "qt_helper.h"
#include "ui_settingwindow.h"

namespace {

const char *const kImprovementPage = "https://tarnova.example.com/improvement";

QString ToQString(const UString &s) {
    return QString::fromWCharArray(s.Ptr(), (int)s.Len());
}

UString ToUString(const QString &s) {
    const std::wstring w = s.toStdWString();
    return UString(w.c_str());
}

} // namespace

settingwindow::settingwindow(QWidget *parent)
    : basewindow(parent), form(new Ui_settingwindow), history_folder(true), checked_count(0), improving_plan(true) {
    form->setupUi(this);
}

settingwindow::~settingwindow() {
    delete form;
}

void settingwindow::init_window() {
    basewindow::init_window();
    setWindowFlags(Qt::Tool | Qt::FramelessWindowHint);
    setWindowModality(Qt::WindowModal);
    setAttribute(Qt::WA_DeleteOnClose);

    qt_helper::set_btn_state_image(form->btn_close, "sys_button_close");
    qt_helper::set_btn_state_image(form->btn_ok, "button_mid_size");
    qt_helper::set_btn_state_image(form->btn_cancle, "button_mid_size");
    qt_helper::set_btn_state_image(form->btn_applicate, "button_mid_size");
    qt_helper::set_btn_state_image(form->btn_browser, "browse");
    qt_helper::set_btn_blue_lnk(form->btn_more);
    qt_helper::set_btn_blue_lnk(form->btn_associate_recover);

    form->btn_applicate->hide();

    set_tab_common(true);
    set_tab_associate(true);
    set_tab_advance(true);
    set_tab_improve(true);
}

void settingwindow::set_tab_common(bool load) {
    if (load) options::instance().get_history_folder(history_folder, true);
    form->checkBox_history_folder->setChecked(history_folder);
}

void settingwindow::on_checkBox_history_folder_clicked(bool checked) {
    history_folder = checked;
}

void settingwindow::set_tab_improve(bool load) {
    if (load) options::instance().get_improving_plan(improving_plan, true);
    form->checkBox_improve->setChecked(improving_plan);
}

void settingwindow::on_checkBox_improve_clicked(bool checked) {
    improving_plan = checked;
}

void settingwindow::set_tab_advance(bool load) {
    if (load) {
        workdir_info.Load();
        if (workdir_info.WorkDirType == NWorkDir::kWorkDirArchiveFolder)
            form->radioButton_current->setChecked(true);
        else if (workdir_info.WorkDirType == NWorkDir::kWorkDirSpecified)
            form->radioButton_custom->setChecked(true);
        else
            form->radioButton_sys_temp->setChecked(true);
        form->lineEdit_path->setText(ToQString(workdir_info.WorkDirPath));
    }
    const bool custom = workdir_info.WorkDirType == NWorkDir::kWorkDirSpecified;
    form->lineEdit_path->setEnabled(custom);
    form->btn_browser->setEnabled(custom);
}

void settingwindow::on_radioButton_sys_temp_clicked(bool checked) {
    if (!checked) return;
    workdir_info.WorkDirType = NWorkDir::kWorkDirSystemTemp;
    set_tab_advance(false);
}

void settingwindow::on_radioButton_current_clicked(bool checked) {
    if (!checked) return;
    workdir_info.WorkDirType = NWorkDir::kWorkDirArchiveFolder;
    set_tab_advance(false);
}

void settingwindow::on_radioButton_custom_clicked(bool checked) {
    if (!checked) return;
    workdir_info.WorkDirType = NWorkDir::kWorkDirSpecified;
    set_tab_advance(false);
}

void settingwindow::on_btn_browser_clicked() {
    const QString dir = QFileDialog::getExistingDirectory(this, QString::fromUtf8("浏览文件夹"), QDir::homePath(),
                                                          QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
    if (dir.isNull()) return;
    form->lineEdit_path->setText(dir);
    workdir_info.WorkDirPath = ToUString(dir);
}

void settingwindow::on_btn_more_clicked() {
    QDesktopServices::openUrl(QUrl(kImprovementPage));
}

void settingwindow::set_tab_associate(bool load) {
    QTableWidget *table = form->tableWidget_associate;
    if (load) {
        table->clear();
        table->setRowCount(0);
        table->setColumnCount(4);
        table->setSelectionMode(QAbstractItemView::NoSelection);
        table->horizontalHeader()->hide();
        table->verticalHeader()->hide();
        table->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
        table->setStyleSheet("QTableWidget::item{margin:5px;}");

        ext_database.Read();
        checked_count = 0;
        if (ext_database.ext_map.empty()) {
            form->checkBox_all->setCheckState(Qt::Unchecked);
            return;
        }
        int i = 0;
        for (auto &kv : ext_database.ext_map) {
            CExtPlugins &e = kv.second;
            if (i % 4 == 0) table->insertRow(i / 4);
            QTableWidgetItem *item = new QTableWidgetItem(ToQString(e.ext));
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
            item->setCheckState(e.assoc ? Qt::Checked : Qt::Unchecked);
            table->setItem(i / 4, i % 4, item);
            if (e.assoc) checked_count++;
            e.table_index = i;
            i++;
        }
    }
    const int total = (int)ext_database.ext_map.size();
    form->checkBox_all->setCheckState(checked_count == 0       ? Qt::Unchecked
                                      : checked_count == total ? Qt::Checked
                                                               : Qt::PartiallyChecked);
}

void settingwindow::associate_check_item(const QString &ext, bool on) {
    CExtPlugins &e = ext_database.ext_map[ext.toStdWString()];
    if (e.ext.IsEmpty()) e.ext = ToUString(ext);
    e.assoc = on;
    // Flipped, so that setting an entry back to its loaded state leaves it unchanged.
    e.changed = !e.changed;
    checked_count += on ? 1 : -1;
}

void settingwindow::associate_check_all(int target) {
    QTableWidget *table = form->tableWidget_associate;
    for (auto &kv : ext_database.ext_map) {
        const CExtPlugins &e = kv.second;
        const bool wanted = target == 2 ? e.DefaultAssoc : target != 0;
        if (e.assoc == wanted) continue;
        if (QTableWidgetItem *item = table->item(e.table_index / 4, e.table_index % 4))
            item->setCheckState(item->checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
        associate_check_item(ToQString(e.ext), !e.assoc);
    }
    set_tab_associate(false);
}

void settingwindow::on_checkBox_all_clicked(bool checked) {
    associate_check_all(checked ? 1 : 0);
}

void settingwindow::on_btn_associate_recover_clicked() {
    associate_check_all(2);
}

void settingwindow::on_tableWidget_associate_itemClicked(QTableWidgetItem *item) {
    if (!item) return;
    const QString ext = item->text();
    const auto it = ext_database.ext_map.find(ext.toStdWString());
    const bool assoc = it != ext_database.ext_map.end() && it->second.assoc;
    // A click on the text leaves the state as it was; a click on the box has toggled it already.
    if ((item->checkState() == Qt::Checked) == assoc) item->setCheckState(assoc ? Qt::Unchecked : Qt::Checked);
    associate_check_item(ext, item->checkState() == Qt::Checked);
    set_tab_associate(false);
}

void settingwindow::on_btn_applicate_clicked() {
    options::instance().set_history_folder(history_folder);
    if (workdir_info.WorkDirType == NWorkDir::kWorkDirSpecified)
        workdir_info.WorkDirPath = ToUString(form->lineEdit_path->text());
    workdir_info.Save();
    options::instance().set_improving_plan(improving_plan);
    ext_database.Save();
}

void settingwindow::on_btn_ok_clicked() {
    on_btn_applicate_clicked();
    exit(dialog_result::ok);
}

void settingwindow::on_btn_cancle_clicked() {
    exit(dialog_result::cancel);
}

void settingwindow::on_btn_close_clicked() {
    exit(dialog_result::closed);
}
