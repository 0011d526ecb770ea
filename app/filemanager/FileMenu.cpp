#include "FileMenu.h"

#include <QAction>
#include <QMenu>

#include "archive/PropID.h"
#include "common/MyCom.h"
#include "windows/PropVariant.h"

bool IsReadOnlyFolder(IFolderFolder *folder) {
    if (!folder) return false;
    NWindows::NCOM::CPropVariant prop;
    return folder->GetFolderProperty(kpidReadOnly, &prop) == S_OK && prop.vt == VT_BOOL &&
           prop.boolVal != VARIANT_FALSE;
}

void FillFileMenu(QMenu *menu, bool readOnlyFolder, bool archiveFolder) {
    struct CEntry {
        const char *text; // null: a separator
        int id;
        bool changes;
        bool inArchive; // an archive folder can carry it out
    };
    static const CEntry entries[] = {
        {"打开(&O)", file_menu::open, false, true},         {nullptr, 0, false, true},
        {"复制到(&C)...", file_menu::copy_to, false, true}, {"移动到(&M)...", file_menu::move_to, true, false},
        {"删除(&D)", file_menu::remove, true, true},        {nullptr, 0, false, true},
        {"新建文件夹", file_menu::new_folder, true, true},  {"新建文件", file_menu::new_file, true, false},
    };
    for (const CEntry &e : entries) {
        if (!e.text) {
            menu->addSeparator();
            continue;
        }
        QAction *action = menu->addAction(QString::fromUtf8(e.text));
        action->setData(e.id);
        action->setEnabled(!(e.changes && readOnlyFolder) && !(archiveFolder && !e.inArchive));
    }
}
