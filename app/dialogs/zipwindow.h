#pragma once

// The compress options dialog: archive path with its history, a profile (fastest, smallest,
// custom) and, for the custom profile, format, level, method, dictionary, word size, solid block,
// threads, encryption, volumes, free parameters, path and update modes, password and whether to
// delete the sources afterwards. The choices are stored per format in the compression settings.
#include <QMetaType>

#include <memory>

#include "CompressionOptions.h"
#include "ZipRegistry.h"
#include "basewindow.h"
#include "common/MyString.h"

class Ui_zipwindow;
struct CArcInfoEx;

struct zip_info {
    Int32 update_mode = 0; // 0 add and replace, 1 update and add, 2 freshen, 3 synchronize
    Int32 path_mode = 0;   // 0 relative, 1 full, 2 absolute
    bool solid_allowed = false;
    bool multithread_allowed = false;
    UInt64 solid_block_size = 0; // 0 non-solid, all ones fully solid
    UInt32 num_threads = NCompressDialog::kUnset;
    CRecordVector<UInt64> volume_sizes;
    UInt32 level = NCompressDialog::kUnset;
    UString method;
    UInt32 dictionary = NCompressDialog::kUnset;
    bool order_mode = false;
    UInt32 order = NCompressDialog::kUnset;
    UString parameters;
    UString encryption_method;
    bool sfx_mode = false;
    bool open_share_for_write = false;
    bool delete_after_compressing = false;
    CBoolPair sym_links;
    CBoolPair hard_links;
    CBoolPair alt_streams;
    CBoolPair nt_security;
    UString arc_path;
    bool keep_name = false;
    Int32 format_index = -1;
    UString password;
    bool encrypt_headers_allowed = false;
    bool encrypt_headers = false;
    const CObjectVector<CArcInfoEx> *formats = nullptr;
    CRecordVector<Int32> format_indices;
    UString single_file_name;
};
Q_DECLARE_METATYPE(std::shared_ptr<zip_info>)

// Any thread. 5100 compress, 5001 closed, 5101 cancelled or not shown.
int show_zipwindow(std::shared_ptr<zip_info> info);

class zipwindow : public basewindow {
    Q_OBJECT

public:
    zipwindow(std::shared_ptr<zip_info> info, QWidget *parent = nullptr);
    ~zipwindow() override;

    void init_window() override;
    // No choice of the dialog makes a self-extracting archive.
    bool IsSFX() const { return false; }

protected:
    void showEvent(QShowEvent *event) override;

private slots:
    void on_btn_close_clicked();
    void on_btn_zip_clicked();
    void on_btn_browser_clicked();
    void on_radio_btn_quick_toggled(bool checked);
    void on_radio_btn_small_toggled(bool checked);
    void on_radio_btn_custom_toggled(bool checked);
    void on_comboBox_ext_currentIndexChanged(int index);
    void on_comboBox_style_currentIndexChanged(int index);
    void on_comboBox_method_currentIndexChanged(int index);
    void on_comboBox_dictionary_currentIndexChanged(int index);
    void on_comboBox_order_currentIndexChanged(int index);
    void on_checkBox_password_toggled(bool checked);
    void on_comboBox_path_editTextChanged(const QString &text);

private:
    void OnInit();
    bool OnOK();
    void resize_window();

    // The option lists.
    NCompressDialog::CChoice Choice() const;
    UString FormatName() const;
    int FindStoredFormat(const UString &name) const;
    void SetLevel();
    void SetMethod();
    void SetDictionary();
    void SetOrder();
    void SetSolidBlockSize();
    void SetNumThreads();
    void SetEncryptionMethod();
    void SetParams();
    void EnableControls();
    void SaveOptionsInMem();
    void OnFormatChanged();
    UString GetMethodSpec() const;

    // The archive name.
    void SetArcPathFields(const UString &path, bool always);
    void SetArchiveName(const UString &name);
    void SetArchiveNameForFormat();
    bool GetFinalPath_Smart(UString &result);
    void UpdatePasswordControl();
    void UpdateFreeSpace();

    Ui_zipwindow *ui;
    bool expanded = false;
    int frame_height = -1;
    Int32 prev_format = -1;
    bool lists_ready = false;
    UString dir_prefix;
    UString current_folder_prefix;
    std::shared_ptr<zip_info> info;
    NCompression::CInfo settings;
};
