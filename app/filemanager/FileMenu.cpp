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

void FillFileMenu(QMenu *menu, bool readOnlyFolder) {
    struct CEntry {
        const char *text; // null: a separator
        int id;
        bool changes;
    };
    static const CEntry entries[] = {
        {"打开(&O)", file_menu::open, false},         {nullptr, 0, false},
        {"复制到(&C)...", file_menu::copy_to, false}, {"移动到(&M)...", file_menu::move_to, true},
        {"删除(&D)", file_menu::remove, true},        {nullptr, 0, false},
        {"新建文件夹", file_menu::new_folder, true},  {"新建文件", file_menu::new_file, true},
    };
    for (const CEntry &e : entries) {
        if (!e.text) {
            menu->addSeparator();
            continue;
        }
        QAction *action = menu->addAction(QString::fromUtf8(e.text));
        action->setData(e.id);
        action->setEnabled(!(e.changes && readOnlyFolder));
    }
}
