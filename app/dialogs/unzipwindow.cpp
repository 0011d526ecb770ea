#include "unzipwindow.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QStorageInfo>

#include "dialogcodes.h"
#include "module.h"
#include "qt_helper.h"
#include "ui_unzipwindow.h"
#include "common/Wildcard.h"
#include "windows/FileName.h"

namespace {

QString ToQ(const UString &s) {
    return QString::fromWCharArray(s.Ptr(), (int)s.Len());
}

UString FromQ(const QString &s) {
    const std::wstring w = s.toStdWString();
    return UString(w.c_str());
}

struct CComboRow {
    const char *text;
    int value;
};

const CComboRow kPathModes[] = {{"完整路径", NExtract::NPathMode::kFullPaths},
                                {"无路经", NExtract::NPathMode::kNoPaths},
                                {"绝对路径", NExtract::NPathMode::kAbsPaths}};

const CComboRow kOverwriteModes[] = {{"在覆盖前询问", NExtract::NOverwriteMode::kAsk},
                                     {"不提示自动覆盖", NExtract::NOverwriteMode::kOverwrite},
                                     {"跳过已经存在的文件", NExtract::NOverwriteMode::kSkip},
                                     {"自动重命名", NExtract::NOverwriteMode::kRename},
                                     {"重命名现有文件", NExtract::NOverwriteMode::kRenameExisting}};

const unsigned kHistoryShown = 8;

template <size_t N> void AddComboItems(QComboBox *combo, const CComboRow (&rows)[N], int value) {
    int selected = 0;
    for (size_t i = 0; i < N; i++) {
        combo->addItem(QString::fromUtf8(rows[i].text).remove('&'), (int)i);
        if (rows[i].value == value) selected = (int)i;
    }
    combo->setCurrentIndex(selected);
}

template <size_t N> int SelectedValue(QComboBox *combo, const CComboRow (&rows)[N]) {
    const int row = combo->currentIndex();
    return row >= 0 && (size_t)row < N ? rows[row].value : rows[0].value;
}

bool GetBoolsVal(const CBoolPair &b1, const CBoolPair &b2) {
    if (!b1.Def && b2.Def) return b2.Val;
    return b1.Val;
}

void CheckButton_TwoBools(QCheckBox *box, const CBoolPair &b1, const CBoolPair &b2) {
    box->setChecked(GetBoolsVal(b1, b2));
}

void GetButton_Bools(QCheckBox *box, CBoolPair &b1, CBoolPair &b2) {
    const bool val = box->isChecked();
    if (val != GetBoolsVal(b1, b2)) {
        b1.Def = true;
        b2.Def = true;
    }
    b1.Val = val;
    b2.Val = val;
}

QString SizeText(quint64 bytes) {
    const double kib = 1024.0;
    if (bytes >= (quint64)1 << 30) return QString::number(bytes / (kib * kib * kib), 'f', 1) + "GB";
    if (bytes >= (quint64)1 << 20) return QString::number(bytes / (kib * kib), 'f', 1) + "MB";
    return QString::number(bytes / kib, 'f', 1) + "KB";
}

} // namespace

int show_unzipwindow(std::shared_ptr<unzip_info> info) {
    static const int registered = qRegisterMetaType<std::shared_ptr<unzip_info>>("std::shared_ptr<unzip_info>");
    (void)registered;
    if (!info) return dialog_result::cancel;
    return _module.call_dialog("get_unzip_info", Q_ARG(std::shared_ptr<unzip_info>, info));
}

unzipwindow::unzipwindow(std::shared_ptr<unzip_info> record, QWidget *parent)
    : basewindow(parent), ui(new Ui_unzipwindow), info(std::move(record)) {
    info->ElimDup.Val = true;
    info->PathModeForced = false;
    info->OverwriteModeForced = false;
    ui->setupUi(this);
}

unzipwindow::~unzipwindow() {
    delete ui;
}

void unzipwindow::init_window() {
    basewindow::init_window();
    qt_helper::set_btn_state_image(ui->btn_close, "sys_button_close");
    qt_helper::set_btn_state_image(ui->btn_browser, "browse");
    qt_helper::set_btn_main_action(ui->btn_unzip);
    setWindowModality(Qt::WindowModal);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(tr("解压文件"));
    // Options the extraction does not carry out are not offered: security settings do not exist
    // on this system, and the other four have no effect.
    ui->widget_special->hide();
    ui->checkBox_unzip_folder->hide();
    ui->checkBox_save_error_file->hide();
    ui->checkBox_del_source->hide();
    ui->checkBox_bk_unzip->hide();
    OnInit();
    resize_window();
}

void unzipwindow::OnInit() {
    ui->lineEdit_password->setText(ToQ(info->Password));

    stored.Load();
    if (stored.ExtractMode == NExtract::NPathMode::kCurPaths) stored.ExtractMode = NExtract::NPathMode::kFullPaths;
    if (!info->PathModeForced && stored.ExtractModeForce) info->PathMode = stored.ExtractMode;
    if (!info->OverwriteModeForced && stored.OverwriteModeForce) info->OverwriteMode = stored.OverwriteMode;

    CheckButton_TwoBools(ui->checkBox_recoverfilesafe, info->Security, stored.Security);
    CheckButton_TwoBools(ui->checkBox_del_folder, info->ElimDup, stored.ElimDup);

    // The caller leaves the flag unset; the last confirmed choice is the one to start from.
    if (!info->OpenOutputFolder) info->OpenOutputFolder = stored.OpenOutputDir;
    ui->checkBox_open_folder->setChecked(info->OpenOutputFolder);
    ui->checkBox_password->setChecked(stored.ShowPassword.Val);
    UpdatePasswordControl();

    UString folderText = info->OutputFolder;
    if (stored.SplitDest.Val) {
        ui->checkBox_splite_name->setChecked(true);
        UString prefix, name;
        SplitPathToParts_Smart(info->OutputFolder, prefix, name);
        if (prefix.IsEmpty()) {
            folderText = name;
        } else {
            ui->lineEdit_splite_name->setText(ToQ(name));
            folderText = prefix;
        }
    } else {
        ui->lineEdit_splite_name->hide();
    }

    for (unsigned i = 0; i < stored.PathHistory.Size() && i < kHistoryShown; i++)
        ui->comboBox_path->addItem(ToQ(stored.PathHistory[i]));
    const QString folder = ToQ(folderText);
    int found = ui->comboBox_path->findText(folder, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (found < 0) {
        ui->comboBox_path->addItem(folder);
        found = ui->comboBox_path->count() - 1;
    }
    ui->comboBox_path->setCurrentIndex(found);
    ui->comboBox_path->setEditText(folder);

    AddComboItems(ui->comboBox_pathmode, kPathModes, info->PathMode);
    AddComboItems(ui->comboBox_overwritemode, kOverwriteModes, info->OverwriteMode);
    UpdateFreeSpace();
}

void unzipwindow::UpdatePasswordControl() {
    // Any character can be part of a password; the field takes them all.
    ui->lineEdit_password->setEchoMode(ui->checkBox_password->isChecked() ? QLineEdit::Normal : QLineEdit::Password);
}

QString unzipwindow::FreeSpaceText(const QString &folder) {
    // The folder may not exist yet: its nearest existing parent holds it.
    QString path = QDir::cleanPath(folder.trimmed());
    if (path.isEmpty() || !QDir::isAbsolutePath(path)) return QString();
    while (!QFileInfo(path).isDir()) {
        const QString parent = QFileInfo(path).path();
        if (parent == path) return QString();
        path = parent;
    }
    QStorageInfo storage(path);
    if (!storage.isValid() || !storage.isReady()) return QString();
    return QString::fromUtf8("剩余") + SizeText((quint64)storage.bytesAvailable());
}

void unzipwindow::UpdateFreeSpace() {
    ui->label_disk->setText(FreeSpaceText(ui->comboBox_path->currentText()));
}

void unzipwindow::on_comboBox_path_editTextChanged(const QString &) {
    UpdateFreeSpace();
}

void unzipwindow::OnButtonSetPath() {
    const QString folder = QFileDialog::getExistingDirectory(
        this, QString::fromUtf8("请选择要解压到的文件夹目录"), ui->comboBox_path->currentText(),
        QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
    if (!folder.isNull()) ui->comboBox_path->setEditText(folder);
}

bool unzipwindow::OnOK() {
    const int pathMode = SelectedValue(ui->comboBox_pathmode, kPathModes);
    if (!(info->PathMode == NExtract::NPathMode::kCurPaths && pathMode == NExtract::NPathMode::kFullPaths))
        info->PathMode = pathMode;
    info->OverwriteMode = SelectedValue(ui->comboBox_overwritemode, kOverwriteModes);

    info->Password = FromQ(ui->lineEdit_password->text());

    GetButton_Bools(ui->checkBox_recoverfilesafe, info->Security, stored.Security);
    GetButton_Bools(ui->checkBox_del_folder, info->ElimDup, stored.ElimDup);

    info->OpenOutputFolder = ui->checkBox_open_folder->isChecked();
    stored.OpenOutputDir = info->OpenOutputFolder;

    const bool showPassword = ui->checkBox_password->isChecked();
    if (showPassword != stored.ShowPassword.Val) stored.ShowPassword.SetVal_as_Defined(showPassword);

    if (pathMode != stored.ExtractMode) {
        stored.ExtractModeForce = true;
        stored.ExtractMode = pathMode;
    }
    if (!info->OverwriteModeForced && info->OverwriteMode != stored.OverwriteMode) stored.OverwriteModeForce = true;
    stored.OverwriteMode = info->OverwriteMode;

    UString folder = FromQ(ui->comboBox_path->currentText());
    folder.Trim();
    NWindows::NFile::NName::NormalizeDirPathPrefix(folder);
    const bool split = ui->checkBox_splite_name->isChecked();
    if (split) {
        UString name = FromQ(ui->lineEdit_splite_name->text());
        name.Trim();
        folder += name;
        NWindows::NFile::NName::NormalizeDirPathPrefix(folder);
    }
    if (split != stored.SplitDest.Val) stored.SplitDest.SetVal_as_Defined(split);
    info->OutputFolder = folder;

    stored.PathHistory.Clear();
    stored.PathHistory.Add(folder);
    for (int i = 0; i < ui->comboBox_path->count(); i++) {
        UString s = FromQ(ui->comboBox_path->itemText(i));
        s.Trim();
        if (s.IsEqualTo_NoCase(folder)) continue;
        bool present = false;
        FOR_VECTOR(k, stored.PathHistory) {
            if (stored.PathHistory[k].IsEqualTo_NoCase(s)) {
                present = true;
                break;
            }
        }
        if (!present) stored.PathHistory.Add(s);
    }
    stored.Save();
    return true;
}

void unzipwindow::resize_window() {
    ui->btn_expand->setText(expanded ? tr("简洁选项") : tr("高级选项"));
    qt_helper::set_btn_state_image(ui->btn_expand, expanded ? "up" : "down");
    ui->widget_set->setVisible(expanded);
    // The height follows the content: the panel's own height comes and goes with it.
    layout()->activate();
    setFixedSize(width(), layout()->sizeHint().height());
}

void unzipwindow::on_btn_close_clicked() {
    exit(dialog_result::closed);
}

void unzipwindow::on_btn_browser_clicked() {
    OnButtonSetPath();
}

void unzipwindow::on_btn_expand_clicked() {
    expanded = !expanded;
    resize_window();
}

void unzipwindow::on_btn_unzip_clicked() {
    bool ok = false;
    try {
        ok = OnOK();
    } catch (...) {
        qWarning("extract dialog: the choices could not be taken");
    }
    if (ok) exit(dialog_result::ok);
}

void unzipwindow::on_checkBox_password_clicked() {
    UpdatePasswordControl();
}

void unzipwindow::on_checkBox_splite_name_clicked() {
    ui->lineEdit_splite_name->setVisible(ui->checkBox_splite_name->isChecked());
}
