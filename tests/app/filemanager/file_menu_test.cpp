// The item context menu: the same entries everywhere, the changing ones greyed in read-only
// folders, and the read-only rule read from real folders (a disk folder, a zip, an ISO image).
#include <QAction>
#include <QMenu>

#include <gtest/gtest.h>

#include <string>

#include "FSFolder.h"
#include "FileMenu.h"
#include "archive/agent/ArchiveFolderOpen.h"
#include "openitems_fixture.h"
#include "test_support.h"

using openitemstest::OpenArchive;
using testsupport::Sh;
using testsupport::TempFolder;
using testsupport::W;

TEST(FileMenu, EntriesAndTheirStatesByFolder) {
    struct CRow {
        const char *text;
        int id;
        bool enabledInReadOnly;
        bool enabledInArchive; // moving out of an archive and a new empty file in one are refused
    } rows[] = {
        {"打开(&O)", 540, true, true},        {nullptr, 0, true, true},        {"复制到(&C)...", 546, true, true},
        {"移动到(&M)...", 547, false, false}, {"删除(&D)", 548, false, true},  {nullptr, 0, true, true},
        {"新建文件夹", 555, false, true},     {"新建文件", 556, false, false},
    };
    for (const bool readOnly : {false, true})
        for (const bool archive : {false, true}) {
            QMenu menu;
            FillFileMenu(&menu, readOnly, archive);
            const QList<QAction *> actions = menu.actions();
            ASSERT_EQ(actions.size(), 8);
            for (int i = 0; i < 8; i++) {
                const CRow &row = rows[i];
                EXPECT_EQ(actions[i]->parent(), &menu);
                EXPECT_EQ(actions[i]->isSeparator(), row.text == nullptr) << i;
                if (!row.text) continue;
                EXPECT_EQ(actions[i]->text(), QString::fromUtf8(row.text));
                EXPECT_EQ(actions[i]->data().toInt(), row.id);
                EXPECT_EQ(actions[i]->isEnabled(),
                          (!readOnly || row.enabledInReadOnly) && (!archive || row.enabledInArchive))
                    << row.text << " readOnly " << readOnly << " archive " << archive;
            }
        }
}

TEST(FileMenu, ReadOnlyFoldersAreThoseThatSaySo) {
    TempFolder dir;
    ASSERT_EQ(Sh("cd '" + dir.Path() +
                 "' && mkdir t && printf x > t/a.txt && (cd t && zip -q ../a.zip a.txt) && "
                 "xorriso -as mkisofs -quiet -o a.iso t 2>/dev/null"),
              0);
    EXPECT_FALSE(IsReadOnlyFolder(nullptr));
    NFsFolder::CFSFolder *disk = new NFsFolder::CFSFolder;
    CMyComPtr<IFolderFolder> diskFolder = disk;
    ASSERT_EQ(disk->Init(W(dir.Path() + "/")), S_OK);
    EXPECT_FALSE(IsReadOnlyFolder(diskFolder));
    EXPECT_FALSE(IsReadOnlyFolder(OpenArchive(dir / "a.zip")));
    EXPECT_TRUE(IsReadOnlyFolder(OpenArchive(dir / "a.iso")));
}
