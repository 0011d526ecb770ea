// Writing a changed item back through nested archives: a zip inside a tar, both opened through
// the folder manager, the outer file read back with bsdtar and Python's zipfile.
#include <gtest/gtest.h>

#include <string>

#include "ArchiveWriteBack.h"
#include "archive/PropID.h"
#include "archive/agent_update_fixture.h"
#include "archive/agent/ArchiveFolderOpen.h"
#include "openitems_fixture.h"
#include "test_support.h"
#include "windows/PropVariant.h"

using openitemstest::OpenArchive;
using testsupport::Sh;
using testsupport::Shell;
using testsupport::TempFolder;
using testsupport::W;

namespace {

UInt32 IndexOf(IFolderFolder *folder, const wchar_t *name) {
    UInt32 n = 0;
    EXPECT_EQ(folder->GetNumberOfItems(&n), S_OK);
    for (UInt32 i = 0; i < n; i++) {
        NWindows::NCOM::CPropVariant prop;
        if (folder->GetProperty(i, kpidName, &prop) == S_OK && prop.vt == VT_BSTR && wcscmp(prop.bstrVal, name) == 0)
            return i;
    }
    ADD_FAILURE() << "no such item";
    return 0;
}

CMyComPtr<IFolderOperations> Operations(IFolderFolder *folder) {
    CMyComPtr<IFolderOperations> ops;
    if (folder) folder->QueryInterface(IID_IFolderOperations, reinterpret_cast<void **>(&ops));
    return ops;
}

// outer (a tar) holding dir/inner.zip, which holds
// note.txt and keep.txt; the inner zip is also copied out into "o", as opening it leaves it.
class WriteBack : public ::testing::Test {
protected:
    void Make(const std::string &outerName) {
        outer = dir / outerName;
        innerCopy = dir / "o/dir/inner.zip";
        ASSERT_EQ(Sh("cd '" + dir.Path() +
                     "' && mkdir -p src t/dir o y && printf old > src/note.txt && "
                     "printf keep > src/keep.txt && printf other > t/other.txt && "
                     "(cd src && zip -q ../t/dir/inner.zip note.txt keep.txt) && "
                     "bsdtar -cf '" +
                     outer +
                     "' -C t dir/inner.zip other.txt && "
                     "bsdtar -xf '" +
                     outer + "' -C o dir/inner.zip"),
                  0);
        outerFolder = OpenArchive(outer);
        ASSERT_TRUE(outerFolder);
        ASSERT_EQ(outerFolder->BindToFolder(L"dir", &outerDir), S_OK);
        innerRoot = OpenArchive(innerCopy);
        ASSERT_TRUE(innerRoot);
        changed = dir / "y/note.txt";
        ASSERT_TRUE(testsupport::WriteFile(changed, "new data, longer than before"));
    }

    CObjectVector<CWriteBackLevel> Levels() {
        CObjectVector<CWriteBackLevel> levels;
        CWriteBackLevel &item = levels.AddNew();
        item.Folder = Operations(innerRoot);
        item.ItemIndex = IndexOf(innerRoot, L"note.txt");
        item.FilePath = W(changed);
        CWriteBackLevel &archive = levels.AddNew();
        archive.Folder = Operations(outerDir);
        archive.ItemIndex = IndexOf(outerDir, L"inner.zip");
        archive.FilePath = W(innerCopy);
        return levels;
    }

    std::string ZipTexts(const std::string &zip) {
        return Shell("/usr/bin/python3 -c \"import sys, zipfile; z = zipfile.ZipFile(sys.argv[1]); "
                     "print(z.read('note.txt').decode(), z.read('keep.txt').decode(), sep='|')\" '" +
                     zip + "'");
    }

    TempFolder dir;
    std::string outer, innerCopy, changed;
    CMyComPtr<IFolderFolder> outerFolder, outerDir, innerRoot;
};

} // namespace

TEST_F(WriteBack, ChangedItemReachesTheArchiveOnDiskThroughEveryLevel) {
    Make("outer.tar");
    unsigned written = 9;
    ASSERT_EQ(WriteBackThroughLevels(Levels(), written), S_OK);
    EXPECT_EQ(written, 2u);

    ASSERT_EQ(Sh("cd '" + dir.Path() + "' && bsdtar -xOf outer.tar dir/inner.zip > check.zip"), 0);
    EXPECT_EQ(ZipTexts(dir / "check.zip"), "new data, longer than before|keep\n");
    EXPECT_EQ(Shell("bsdtar -xOf '" + outer + "' other.txt"), "other");
    EXPECT_EQ(ZipTexts(innerCopy), "new data, longer than before|keep\n");
    // Nothing of the work is left beside the archives.
    EXPECT_EQ(testsupport::DirEntries(dir.Path()),
              (std::set<std::string>{"check.zip", "o", "outer.tar", "src", "t", "y"}));
    EXPECT_EQ(testsupport::DirEntries(dir / "o/dir"), (std::set<std::string>{"inner.zip"}));
}

TEST_F(WriteBack, ALevelThatCannotBeWrittenStopsItBeforeAnythingChanges) {
    Make("outer.tar");
    const std::string outerBefore = testsupport::ReadFile(outer);
    const std::string innerBefore = testsupport::ReadFile(innerCopy);
    unsigned written = 9;
    {
        CObjectVector<CWriteBackLevel> levels = Levels();
        levels[1].FilePath = W(dir / "o/dir/missing.zip");
        EXPECT_NE(WriteBackThroughLevels(levels, written), S_OK);
        EXPECT_EQ(written, 0u);
    }
    {
        CObjectVector<CWriteBackLevel> levels = Levels();
        levels[1].Folder.Release();
        EXPECT_EQ(WriteBackThroughLevels(levels, written), E_NOTIMPL);
    }
    {
        // An outer level in a format that cannot be written (an ISO image).
        ASSERT_EQ(Sh("cd '" + dir.Path() + "' && xorriso -as mkisofs -quiet -o outer.iso t 2>/dev/null"), 0);
        CMyComPtr<IFolderManager> manager = new CArchiveFolderManager;
        CMyComPtr<IFolderFolder> iso, isoDir;
        ASSERT_EQ(manager->OpenFolderFile(nullptr, W(dir / "outer.iso"), nullptr, &iso, nullptr), S_OK);
        ASSERT_EQ(iso->BindToFolder(L"dir", &isoDir), S_OK);
        CObjectVector<CWriteBackLevel> levels = Levels();
        levels[1].Folder = Operations(isoDir);
        levels[1].ItemIndex = IndexOf(isoDir, L"inner.zip");
        EXPECT_EQ(WriteBackThroughLevels(levels, written), E_NOTIMPL);
        EXPECT_EQ(written, 0u);
    }
    EXPECT_EQ(WriteBackThroughLevels(CObjectVector<CWriteBackLevel>(), written), E_INVALIDARG);
    EXPECT_EQ(testsupport::ReadFile(outer), outerBefore);
    EXPECT_EQ(testsupport::ReadFile(innerCopy), innerBefore);
}

TEST_F(WriteBack, AnOuterLevelThatFailsStaysAsItWas) {
    Make("outer.tar");
    const std::string outerBefore = testsupport::ReadFile(outer);
    // The user stops the writing of the outer archive.
    agenttest::CFolderUpdateRecorder *cancel = new agenttest::CFolderUpdateRecorder;
    cancel->OnItem = [] { return E_ABORT; };
    CObjectVector<CWriteBackLevel> levels = Levels();
    levels[1].Progress = static_cast<IFolderArchiveUpdateCallback *>(cancel);
    unsigned written = 9;
    EXPECT_EQ(WriteBackThroughLevels(levels, written), E_ABORT);
    EXPECT_EQ(written, 1u);
    EXPECT_EQ(testsupport::ReadFile(outer), outerBefore);
    // What was written stays in the copy of the inner level, which the caller keeps.
    EXPECT_EQ(ZipTexts(innerCopy), "new data, longer than before|keep\n");
}
