#pragma once

// The extract options dialog: output folder with its history, path and overwrite modes, an
// optional split-off folder name, the duplicate-folder option, the password and whether to open
// the output folder afterwards. The choices are stored as the extract settings.
#include <QMetaType>

#include <memory>

#include "ZipRegistry.h"
#include "archive/ui-common/ExtractMode.h"
#include "basewindow.h"
#include "common/MyString.h"

class Ui_unzipwindow;

struct unzip_info {
    UString OutputFolder; // ends with a path separator
    UString ArchivePath;  // the archive's full path when there is exactly one, else empty
    bool PathModeForced = false;
    bool OverwriteModeForced = false;
    int PathMode = 0;      // NExtract::NPathMode
    int OverwriteMode = 0; // NExtract::NOverwriteMode
    CBoolPair ElimDup;
    UString Password;
    CBoolPair Security;
    bool OpenOutputFolder = false;
};
Q_DECLARE_METATYPE(std::shared_ptr<unzip_info>)

// Any thread. 5100 extract, 5001 closed, 5101 cancelled or not shown.
int show_unzipwindow(std::shared_ptr<unzip_info> info);

class unzipwindow : public basewindow {
    Q_OBJECT

public:
    unzipwindow(std::shared_ptr<unzip_info> info, QWidget *parent = nullptr);
    ~unzipwindow() override;

    void init_window() override;

    // The free space of the file system that would hold the folder, as shown under the path.
    static QString FreeSpaceText(const QString &folder);

private slots:
    void on_btn_close_clicked();
    void on_btn_browser_clicked();
    void on_btn_expand_clicked();
    void on_btn_unzip_clicked();
    void on_checkBox_password_clicked();
    void on_checkBox_splite_name_clicked();
    void on_comboBox_path_editTextChanged(const QString &text);

private:
    void OnInit();
    bool OnOK();
    void OnButtonSetPath();
    void UpdatePasswordControl();
    void UpdateFreeSpace();
    void resize_window();

    Ui_unzipwindow *ui;
    bool expanded = false;
    NExtract::CInfo stored;
    std::shared_ptr<unzip_info> info;
};
