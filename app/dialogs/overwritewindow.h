#pragma once

// The question, during an extraction, whether an existing file is replaced by the extracted one.
// Reached from any thread through show_overwritewindow; the record is only read.
#include <QMetaType>

#include <memory>

#include "basewindow.h"
#include "common/MyString.h"
#include "common/MyWindows.h"

class QLabel;
class Ui_overwritewindow;

namespace NOverwriteDialog {
struct CFileInfo {
    bool sizeDefined = false;
    bool timeDefined = false;
    UInt64 size = 0;
    FILETIME time = {0, 0}; // modification time, UTC
    UString name;           // full path as shown
};
} // namespace NOverwriteDialog

struct overwrite_info {
    QWidget *parent = nullptr;            // the running progress window
    NOverwriteDialog::CFileInfo old_file; // on disk
    NOverwriteDialog::CFileInfo new_file; // from the archive
};
Q_DECLARE_METATYPE(std::shared_ptr<overwrite_info>)

// 5103 replace, 5104 skip, 800 replace all, 801 skip all, 802 rename automatically, 5101 Cancel
// (also when the call cannot run or the run is being stopped), 5001 closed.
int show_overwritewindow(std::shared_ptr<overwrite_info> info);

class overwritewindow : public basewindow {
    Q_OBJECT

public:
    overwritewindow(std::shared_ptr<overwrite_info> info, QWidget *parent = nullptr);
    ~overwritewindow() override;

    void init_window() override;

    // The text of one file: path, size line and, when known, the local modification time.
    static UString FileInfoText(const NOverwriteDialog::CFileInfo &file);

private slots:
    void on_btn_close_clicked();
    void on_pushButton_yes_clicked();
    void on_pushButton_no_clicked();
    void on_pushButton_yes_all_clicked();
    void on_pushButton_no_all_clicked();
    void on_pushButton_auto_rename_clicked();
    void on_pushButton_cancle_clicked();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void OnInit();
    void ShowFileTexts();
    void SetFileInfoControl(QLabel *textLabel, QLabel *iconLabel, const NOverwriteDialog::CFileInfo &file);

    std::shared_ptr<overwrite_info> info;
    Ui_overwritewindow *ui;
    UString old_text;
    UString new_text;
};
