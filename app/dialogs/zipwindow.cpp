#include "zipwindow.h"

#include <QFileDialog>
#include <QShowEvent>
#include <QSignalBlocker>

#include "dialogcodes.h"
#include "messagebox.h"
#include "module.h"
#include "qt_helper.h"
#include "ui_zipwindow.h"
#include "unzipwindow.h"
#include "archive/ui-common/LoadCodecs.h"
#include "windows/FileDir.h"
#include "windows/FileName.h"
#include "windows/System.h"

using namespace NCompressDialog;
using namespace NWindows;

namespace {

QString ToQ(const UString &s) {
    return QString::fromWCharArray(s.Ptr(), (int)s.Len());
}

UString FromQ(const QString &s) {
    const std::wstring w = s.toStdWString();
    return UString(w.c_str());
}

const char *const kVolumePresets[] = {"10M",         "100M",        "1000M",          "650M - CD",  "700M - CD",
                                      "4092M - FAT", "4480M - DVD", "8128M - DVD DL", "23040M - BD"};
const char *const kUpdateModes[] = {"添加并替换文件", "更新并添加文件", "只刷新已存在的文件", "同步压缩包内容"};
const char *const kPathModes[] = {"相对路径", "完整路径", "绝对路径"};
const char *const kQuickText = "智能为图片、视频、文档等挑选最优压缩方式，兼具速度和压缩率";
const char *const kSmallText = "使用7Z的固实（Solid）压缩技术，建议使用Tarnova进行解压";
const unsigned kHistorySize = 8;
const UInt64 kMinVolumeWithoutQuestion = 102400;

void FillCombo(QComboBox *combo, const CList &list) {
    const QSignalBlocker blocker(combo);
    combo->clear();
    for (unsigned i = 0; i < list.Entries.Size(); i++)
        combo->addItem(ToQ(list.Entries[i].Label), (uint)list.Entries[i].Value);
    combo->setCurrentIndex(list.Selected);
}

// The list as the combo shows it now, so the pure helpers can read it back.
CList ComboList(const QComboBox *combo) {
    CList list;
    for (int i = 0; i < combo->count(); i++)
        list.Add(FromQ(combo->itemText(i)), combo->itemData(i).toUInt());
    list.Selected = combo->currentIndex();
    return list;
}

UInt32 ComboValue(const QComboBox *combo) {
    return ComboList(combo).Value();
}

UInt32 ComboSpecified(const QComboBox *combo) {
    return ComboList(combo).SpecifiedValue();
}

void FillTextCombo(QComboBox *combo, const char *const *texts, int count, int value) {
    combo->clear();
    for (int i = 0; i < count; i++)
        combo->addItem(QString::fromUtf8(texts[i]), i);
    combo->setCurrentIndex(value >= 0 && value < count ? value : 0);
}

bool IsAsciiPassword(const UString &password) {
    for (unsigned i = 0; i < password.Len(); i++)
        if (password[i] < 32 || password[i] > 127) return false;
    return true;
}

} // namespace

int show_zipwindow(std::shared_ptr<zip_info> info) {
    static const int registered = qRegisterMetaType<std::shared_ptr<zip_info>>("std::shared_ptr<zip_info>");
    (void)registered;
    if (!info) return dialog_result::cancel;
    return _module.call_dialog("get_zip_info", Q_ARG(std::shared_ptr<zip_info>, info));
}

zipwindow::zipwindow(std::shared_ptr<zip_info> record, QWidget *parent)
    : basewindow(parent), ui(new Ui_zipwindow), info(std::move(record)) {
    ui->setupUi(this);
}

zipwindow::~zipwindow() {
    delete ui;
}

void zipwindow::init_window() {
    basewindow::init_window();
    qt_helper::set_btn_state_image(ui->btn_close, "sys_button_close");
    qt_helper::set_btn_state_image(ui->btn_browser, "browse");
    qt_helper::set_btn_main_action(ui->btn_zip);
    setWindowModality(Qt::WindowModal);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(tr("压缩文件"));
    // Choices that nothing carries out are not offered: there is no self-extracting module, and
    // splitting per file, storing poor ratios as they are, shutting down and running in the
    // background are not done by any part of the program.
    ui->checkBox_auto_unzip->hide();
    ui->checkBox_single_bag->hide();
    ui->checkBox_low_rate_file->hide();
    ui->checkBox_shutdown->hide();
    ui->checkBox_bk_zip->hide();
    OnInit();
    resize_window();
    switch (settings.Config) {
    case 0:
        ui->radio_btn_quick->click();
        break;
    case 1:
        ui->radio_btn_small->click();
        break;
    case 2:
        ui->radio_btn_custom->click();
        break;
    default:
        break;
    }
}

void zipwindow::OnInit() {
    ui->lineEdit_password->setText(ToQ(info->password));
    ui->lineEdit_password2->setText(ToQ(info->password));

    for (const char *preset : kVolumePresets)
        ui->comboBox_colum->addItem(QString::fromUtf8(preset));
    ui->comboBox_colum->setEditText(QString());

    settings.Load();
    info->encrypt_headers = settings.EncryptHeaders;
    ui->checkBox_password->setChecked(settings.ShowPassword);
    UpdatePasswordControl();

    {
        const QSignalBlocker blocker(ui->comboBox_ext);
        int selected = -1;
        for (unsigned i = 0; i < info->format_indices.Size(); i++) {
            const Int32 index = info->format_indices[i];
            const UString &name = (*info->formats)[(unsigned)index].Name;
            ui->comboBox_ext->addItem(ToQ(name), index);
            if (info->format_index < 0) {
                if (selected < 0 || name.IsEqualTo_NoCase(settings.Archiver)) selected = (int)i;
            } else if (index == info->format_index) {
                selected = (int)i;
            }
        }
        ui->comboBox_ext->setCurrentIndex(selected);
        if (selected >= 0) info->format_index = ui->comboBox_ext->itemData(selected).toInt();
    }

    {
        const QSignalBlocker blocker(ui->comboBox_path);
        for (unsigned i = 0; i < settings.ArcHistory.Size() && i < kHistorySize; i++)
            ui->comboBox_path->addItem(ToQ(settings.ArcHistory[i]));
    }

    SetArcPathFields(info->arc_path, true);
    current_folder_prefix = dir_prefix;
    {
        // A name that already carries the format's extension does not get it twice.
        UString name = FromQ(ui->comboBox_path->currentText());
        if (info->format_index >= 0 && info->keep_name) {
            const UString ext = (*info->formats)[(unsigned)info->format_index].GetMainExt();
            const int dot = name.ReverseFind_Dot();
            if (!ext.IsEmpty() && dot > 0 && UString(name.Ptr((unsigned)dot + 1)).IsEqualTo_NoCase(ext))
                name.DeleteFrom((unsigned)dot);
        }
        SetArchiveName(name);
    }

    SetLevel();
    SetParams();
    FillTextCombo(ui->comboBox_updatemode, kUpdateModes, 4, info->update_mode);
    FillTextCombo(ui->comboBox_pathmode, kPathModes, 3, info->path_mode);
    SetSolidBlockSize();
    SetNumThreads();
    SetEncryptionMethod();
    EnableControls();
    ui->checkBox_auto_unzip->setChecked(info->sfx_mode);
    ui->checkBox_del_source->setChecked(info->delete_after_compressing);
    lists_ready = true;
    UpdateFreeSpace();
}

// ---- Option lists ----

UString zipwindow::FormatName() const {
    if (info->format_index < 0 || !info->formats) return UString();
    return (*info->formats)[(unsigned)info->format_index].Name;
}

CChoice zipwindow::Choice() const {
    CChoice c;
    const UString name = FormatName();
    c.Row = &FindFormatRow(name);
    c.IsZip = IsZipFormat(name);
    const UInt32 level = ComboValue(ui->comboBox_style);
    c.Level = level == kUnset ? 5 : level;
    const UInt32 method = ComboValue(ui->comboBox_method);
    c.Method = method == kUnset ? kNoMethod : (EMethodID)method;
    const UInt32 threads = ComboValue(ui->comboBox_thread);
    c.NumThreads = threads == kUnset ? 1 : threads;
    c.NumProcessors = NSystem::GetNumberOfProcessors();
    c.RamLimit = GetRamLimit(g_RAM_Size_Defined ? g_RAM_Size : (UInt64)4 << 30);
    return c;
}

int zipwindow::FindStoredFormat(const UString &name) const {
    for (unsigned i = 0; i < settings.Formats.Size(); i++)
        if (settings.Formats[i].FormatID.IsEqualTo_NoCase(name)) return (int)i;
    return -1;
}

// The stored entry of the current format, or null.
#define STORED_OR_NULL()                                                                                               \
    const int storedIndex = FindStoredFormat(FormatName());                                                            \
    const NCompression::CFormatOptions *stored = storedIndex >= 0 ? &settings.Formats[(unsigned)storedIndex] : nullptr

// Stored sizes and counts belong to the method they were chosen with.
static bool StoredApplies(const NCompression::CFormatOptions *stored, const UString &shownMethod) {
    return stored && stored->Method.IsEqualTo_NoCase(shownMethod);
}

UString zipwindow::GetMethodSpec() const {
    if (ui->comboBox_method->count() < 2) return UString();
    return FromQ(ui->comboBox_method->currentText());
}

void zipwindow::SetLevel() {
    STORED_OR_NULL();
    CList list;
    BuildLevelList(*Choice().Row, stored ? stored->Level : kUnset, list);
    FillCombo(ui->comboBox_style, list);
    SetMethod();
}

void zipwindow::SetMethod() {
    STORED_OR_NULL();
    CList list;
    BuildMethodList(Choice(), stored ? stored->Method : UString(), list);
    FillCombo(ui->comboBox_method, list);
    SetDictionary();
    SetOrder();
}

void zipwindow::SetDictionary() {
    STORED_OR_NULL();
    CList list;
    const bool applies = StoredApplies(stored, FromQ(ui->comboBox_method->currentText()));
    BuildDictionaryList(Choice(), applies ? stored->Dictionary : kUnset, list);
    FillCombo(ui->comboBox_dictionary, list);
}

void zipwindow::SetOrder() {
    STORED_OR_NULL();
    CList list;
    const bool applies = StoredApplies(stored, FromQ(ui->comboBox_method->currentText()));
    BuildOrderList(Choice(), applies ? stored->OrderKey : kUnset, list);
    FillCombo(ui->comboBox_order, list);
}

void zipwindow::SetSolidBlockSize() {
    STORED_OR_NULL();
    CList list;
    const bool applies = StoredApplies(stored, FromQ(ui->comboBox_method->currentText()));
    BuildSolidList(Choice(), ComboSpecified(ui->comboBox_dictionary), applies ? stored->BlockSize : kUnset, list);
    FillCombo(ui->comboBox_solid, list);
}

void zipwindow::SetNumThreads() {
    STORED_OR_NULL();
    CList list;
    const bool applies = StoredApplies(stored, FromQ(ui->comboBox_method->currentText()));
    BuildThreadList(Choice(), applies ? stored->NumThreads : kUnset, list);
    FillCombo(ui->comboBox_thread, list);
}

void zipwindow::SetEncryptionMethod() {
    STORED_OR_NULL();
    CList list;
    BuildEncryptionList(FormatName(), stored ? stored->EncryptionMethod : UString(), list);
    FillCombo(ui->comboBox_encryption, list);
}

void zipwindow::SetParams() {
    STORED_OR_NULL();
    ui->lineEdit_param->setText(stored ? ToQ(stored->Options) : QString());
}

void zipwindow::EnableControls() {
    const CFormatRow &row = *Choice().Row;
    info->solid_allowed = row.Solid;
    info->multithread_allowed = row.MultiThread;
    info->encrypt_headers_allowed = row.EncryptFileNames;
    ui->comboBox_solid->setEnabled(row.Solid);
    ui->comboBox_thread->setEnabled(row.MultiThread);
    ui->label_password->setEnabled(row.Encrypt);
    ui->lineEdit_password->setEnabled(row.Encrypt);
    ui->label_password2->setEnabled(row.Encrypt);
    ui->lineEdit_password2->setEnabled(row.Encrypt);
    ui->checkBox_password->setEnabled(row.Encrypt);
    ui->comboBox_encryption->setEnabled(row.Encrypt);
    ui->label_encryption->setEnabled(row.Encrypt);
    // The box stays hidden (there is no self-extracting module), but its state follows the rule.
    const bool sfx = SfxAllowed(row, Choice().Method);
    if (!sfx) ui->checkBox_auto_unzip->setChecked(false);
    ui->checkBox_auto_unzip->setEnabled(sfx);
}

void zipwindow::SaveOptionsInMem() {
    const UString name = FormatName();
    if (name.IsEmpty()) return;
    int index = FindStoredFormat(name);
    if (index < 0) {
        NCompression::CFormatOptions fo;
        fo.FormatID = name;
        settings.Formats.Add(fo);
        index = (int)settings.Formats.Size() - 1;
    }
    NCompression::CFormatOptions &fo = settings.Formats[(unsigned)index];
    UString options = FromQ(ui->lineEdit_param->text());
    options.Trim();
    fo.Options = options;
    info->parameters = options;
    fo.Level = ComboSpecified(ui->comboBox_style);
    fo.Dictionary = ComboSpecified(ui->comboBox_dictionary);
    fo.OrderKey = ComboSpecified(ui->comboBox_order);
    fo.Method = GetMethodSpec();
    fo.EncryptionMethod = EncryptionMethodText(ComboList(ui->comboBox_encryption));
    fo.NumThreads = ComboSpecified(ui->comboBox_thread);
    fo.BlockSize = ComboSpecified(ui->comboBox_solid);
}

void zipwindow::OnFormatChanged() {
    if (!lists_ready) return;
    SaveOptionsInMem();
    const int row = ui->comboBox_ext->currentIndex();
    if (row < 0) return;
    info->format_index = ui->comboBox_ext->itemData(row).toInt();
    SetLevel();
    SetSolidBlockSize();
    SetNumThreads();
    SetParams();
    EnableControls();
    SetArchiveNameForFormat();
    SetEncryptionMethod();
}

void zipwindow::on_comboBox_ext_currentIndexChanged(int) {
    OnFormatChanged();
}

void zipwindow::on_comboBox_style_currentIndexChanged(int) {
    if (!lists_ready) return;
    const int index = FindStoredFormat(FormatName());
    if (index >= 0) {
        NCompression::CFormatOptions &fo = settings.Formats[(unsigned)index];
        fo.Level = fo.Dictionary = fo.OrderKey = fo.BlockSize = fo.NumThreads = kUnset;
        fo.Method.Empty();
    }
    SetMethod();
    SetSolidBlockSize();
    SetNumThreads();
    EnableControls();
}

void zipwindow::on_comboBox_method_currentIndexChanged(int) {
    if (!lists_ready) return;
    SetDictionary();
    SetOrder();
    SetSolidBlockSize();
    SetNumThreads();
    EnableControls();
}

void zipwindow::on_comboBox_dictionary_currentIndexChanged(int) {
    if (lists_ready) SetSolidBlockSize();
}

void zipwindow::on_comboBox_order_currentIndexChanged(int) {
    if (lists_ready) SetSolidBlockSize();
}

// ---- Archive name ----

void zipwindow::SetArcPathFields(const UString &path, bool always) {
    UString folder, name;
    if (NFile::NDir::GetFullPathAndSplit(path, folder, name)) {
        dir_prefix = folder;
    } else {
        if (!always) return;
        dir_prefix.Empty();
        name = path;
    }
    const QSignalBlocker blocker(ui->comboBox_path);
    ui->comboBox_path->setEditText(ToQ(name));
    UpdateFreeSpace();
}

void zipwindow::SetArchiveName(const UString &name) {
    UString s = name;
    if (info->format_index >= 0) {
        const CArcInfoEx &arc = (*info->formats)[(unsigned)info->format_index];
        prev_format = info->format_index;
        if (arc.Flags & NArcInfoFlags::kKeepName) {
            s = info->single_file_name;
        } else if (!info->keep_name) {
            const int dot = s.ReverseFind_Dot();
            const int slash = s.ReverseFind_PathSepar();
            if (dot > 0 && dot > slash + 1) s.DeleteFrom((unsigned)dot);
        }
        s += L'.';
        s += arc.GetMainExt();
    }
    const QSignalBlocker blocker(ui->comboBox_path);
    ui->comboBox_path->setEditText(ToQ(s));
}

void zipwindow::SetArchiveNameForFormat() {
    UString name = FromQ(ui->comboBox_path->currentText());
    if (prev_format >= 0) {
        const CArcInfoEx &prev = (*info->formats)[(unsigned)prev_format];
        if ((prev.Flags & NArcInfoFlags::kKeepName) || info->keep_name) {
            const UString ext = prev.GetMainExt();
            const int dot = name.ReverseFind_Dot();
            if (dot >= 0 && UString(name.Ptr((unsigned)dot + 1)).IsEqualTo_NoCase(ext)) name.DeleteFrom((unsigned)dot);
        }
    }
    SetArchiveName(name);
}

bool zipwindow::GetFinalPath_Smart(UString &result) {
    result.Empty();
    UString name = FromQ(ui->comboBox_path->currentText());
    name.Trim();
    if (name.IsEmpty()) return false;
    UString path = name;
    if (!NFile::NName::IsAbsolutePath(name)) {
        UString prefix = dir_prefix.IsEmpty() ? current_folder_prefix : dir_prefix;
        if (!NFile::NDir::MyGetFullPathName(prefix + name, path)) return false;
    }
    UString folder, fileName;
    if (!NFile::NDir::GetFullPathAndSplit(path, folder, fileName)) return false;
    if (fileName.IsEmpty()) return false;
    dir_prefix = folder;
    result = folder + fileName;
    return true;
}

void zipwindow::on_btn_browser_clicked() {
    UString path;
    if (!GetFinalPath_Smart(path)) return;
    const QString chosen =
        QFileDialog::getSaveFileName(this, QString::fromUtf8("浏览"), ToQ(path), QString::fromUtf8("所有文件 (*.*)"));
    if (!chosen.isEmpty()) SetArcPathFields(FromQ(chosen), false);
}

void zipwindow::on_comboBox_path_editTextChanged(const QString &) {
    UpdateFreeSpace();
}

void zipwindow::UpdateFreeSpace() {
    // The space left where the archive goes, not a fixed figure.
    UString folder = dir_prefix.IsEmpty() ? current_folder_prefix : dir_prefix;
    const UString name = FromQ(ui->comboBox_path->currentText());
    if (NFile::NName::IsAbsolutePath(name)) {
        UString prefix, rest;
        if (NFile::NDir::GetFullPathAndSplit(name, prefix, rest)) folder = prefix;
    }
    ui->label_disk->setText(unzipwindow::FreeSpaceText(ToQ(folder)));
}

// ---- Profiles and password ----

void zipwindow::on_radio_btn_quick_toggled(bool checked) {
    if (!checked) return;
    ui->label_desc->setText(QString::fromUtf8(kQuickText));
    ui->label_desc->setVisible(true);
    const int row = ui->comboBox_ext->findText("zip", Qt::MatchFixedString);
    if (row >= 0) ui->comboBox_ext->setCurrentIndex(row);
    expanded = false;
    resize_window();
}

void zipwindow::on_radio_btn_small_toggled(bool checked) {
    if (!checked) return;
    ui->label_desc->setText(QString::fromUtf8(kSmallText));
    ui->label_desc->setVisible(true);
    const int row = ui->comboBox_ext->findText("7z", Qt::MatchFixedString);
    if (row >= 0) ui->comboBox_ext->setCurrentIndex(row);
    expanded = false;
    resize_window();
}

void zipwindow::on_radio_btn_custom_toggled(bool checked) {
    if (!checked) return;
    ui->label_desc->setVisible(false);
    expanded = true;
    resize_window();
}

void zipwindow::resize_window() {
    ui->frame_custom->setVisible(expanded);
    // The size follows the content: the custom panel's own height comes and goes with it. The
    // old fixed size must not take part in the measuring.
    setMinimumSize(0, 0);
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    layout()->invalidate();
    layout()->activate();
    const int w = qMax(width(), layout()->totalMinimumSize().width());
    // The description wraps: its height depends on the width it gets.
    const int h = layout()->hasHeightForWidth() ? layout()->totalHeightForWidth(w) : layout()->totalSizeHint().height();
    setFixedSize(w, h);
}

void zipwindow::showEvent(QShowEvent *event) {
    basewindow::showEvent(event);
    // Measured again once on screen: sizes taken before the first show are not final.
    resize_window();
}

void zipwindow::UpdatePasswordControl() {
    // Any character may be part of a password; the checks on OK say what a format cannot take.
    const bool show = ui->checkBox_password->isChecked();
    ui->lineEdit_password->setEchoMode(show ? QLineEdit::Normal : QLineEdit::Password);
    ui->lineEdit_password2->setEchoMode(QLineEdit::Password);
    ui->label_password2->setVisible(!show);
    ui->lineEdit_password2->setVisible(!show);
}

void zipwindow::on_checkBox_password_toggled(bool) {
    UpdatePasswordControl();
}

// ---- OK ----

bool zipwindow::OnOK() {
    info->password = FromQ(ui->lineEdit_password->text());
    const UString formatName = FormatName();
    const UString encryption = EncryptionMethodText(ComboList(ui->comboBox_encryption));
    if (IsZipFormat(formatName) && !info->password.IsEmpty()) {
        const bool aes = encryption.IsPrefixedBy_Ascii_NoCase("aes");
        // ZipCrypto keys on bytes whose code page nobody records, so only plain ASCII opens
        // everywhere; AES passwords are written as UTF-8.
        if (!aes && !IsAsciiPassword(info->password)) {
            ShowErrorMessageHwndRes(this, L"密码只允许英文字符，数字，以及特殊字符 (!、#、$...)");
            return false;
        }
        if (aes && info->password.Len() > 99) {
            ShowErrorMessageHwndRes(this, L"密码过长");
            return false;
        }
    }
    if (!ui->checkBox_password->isChecked() && FromQ(ui->lineEdit_password2->text()) != info->password) {
        ShowErrorMessageHwndRes(this, L"密码不匹配");
        return false;
    }

    SaveOptionsInMem();

    UString arcPath;
    if (!GetFinalPath_Smart(arcPath)) {
        ShowErrorMessage(this, L"Incorrect archive path");
        return false;
    }
    settings.ArcHistory.Clear();
    settings.ArcHistory.Add(arcPath);
    info->arc_path = arcPath;

    info->update_mode = ui->comboBox_updatemode->currentIndex() < 0 ? 0 : ui->comboBox_updatemode->currentIndex();
    info->path_mode = ui->comboBox_pathmode->currentIndex() < 0 ? 0 : ui->comboBox_pathmode->currentIndex();
    info->level = ComboSpecified(ui->comboBox_style);
    info->dictionary = ComboSpecified(ui->comboBox_dictionary);
    info->order = ComboSpecified(ui->comboBox_order);
    info->num_threads = ComboSpecified(ui->comboBox_thread);
    const UInt32 method = ComboValue(ui->comboBox_method);
    info->order_mode = method != kUnset && IsOrderModeMethod((EMethodID)method);
    info->solid_block_size = SolidBlockSize(ComboValue(ui->comboBox_solid));
    info->method = GetMethodSpec();
    info->encryption_method = encryption;
    info->sfx_mode = false;
    info->delete_after_compressing = ui->checkBox_del_source->isChecked();
    settings.EncryptHeaders = info->encrypt_headers;

    if (info->format_index >= 0) {
        const UInt32 flags = (*info->formats)[(unsigned)info->format_index].Flags;
        if (!(flags & NArcInfoFlags::kSymLinks)) info->sym_links.Val = false;
        if (!(flags & NArcInfoFlags::kHardLinks)) info->hard_links.Val = false;
        if (!(flags & NArcInfoFlags::kAltStreams)) info->alt_streams.Val = false;
        if (!(flags & NArcInfoFlags::kNtSecure)) info->nt_security.Val = false;
    }

    info->parameters = FromQ(ui->lineEdit_param->text());

    UString volumes = FromQ(ui->comboBox_colum->currentText());
    volumes.Trim();
    info->volume_sizes.Clear();
    if (!volumes.IsEmpty()) {
        if (!ParseVolumeSizes(volumes, info->volume_sizes)) {
            ShowErrorMessageHwndRes(this, L"分卷大小错误");
            return false;
        }
        if (!info->volume_sizes.IsEmpty() && info->volume_sizes.Back() < kMinVolumeWithoutQuestion) {
            const UString text = MyFormatNew(UString(L"指定分卷大小：{0} 字节。\n您确定要分割当前文件吗？"),
                                             NumberToString(info->volume_sizes.Back()));
            if (MessageBoxW(this, text, L"Tarnova", 1050) != dialog_result::ok) return false;
        }
    }

    for (int i = 0; i < ui->comboBox_path->count(); i++) {
        UString s = FromQ(ui->comboBox_path->itemText(i));
        s.Trim();
        if (s.IsEmpty() || s.IsEqualTo_NoCase(info->arc_path)) continue;
        bool present = false;
        FOR_VECTOR(k, settings.ArcHistory) {
            if (settings.ArcHistory[k].IsEqualTo_NoCase(s)) present = true;
        }
        if (!present) settings.ArcHistory.Add(s);
    }
    if (settings.ArcHistory.Size() > kHistorySize) settings.ArcHistory.DeleteBack();
    if (info->format_index >= 0) settings.Archiver = FormatName();
    settings.ShowPassword = ui->checkBox_password->isChecked();
    settings.Config = ui->radio_btn_quick->isChecked() ? 0 : ui->radio_btn_small->isChecked() ? 1 : 2;
    settings.Save();
    return true;
}

void zipwindow::on_btn_close_clicked() {
    exit(dialog_result::closed);
}

void zipwindow::on_btn_zip_clicked() {
    bool ok = false;
    try {
        ok = OnOK();
    } catch (...) {
        qWarning("compress dialog: the choices could not be taken");
    }
    if (ok) exit(dialog_result::ok);
}
