// The panel's folder operations on disk folders and inside zip and 7z archives, read back with
// independent tools, and the name corrections they rely on.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTableWidget>

#include <algorithm>
#include <string>
#include <vector>

#include "FolderOperations.h"
#include "Panel.h"
#include "PanelCopy.h"
#include "extract_test_support.h"
#include "ViewSettings.h"
#include "mainlistview.h"
#include "mainwindow.h"
#include "panel_fixture.h"
#include "test_support.h"

namespace {

using namespace testsupport;

const auto *g_env = ::testing::AddGlobalTestEnvironment(new panelfx::CPanelEnvironment);

TEST(CorrectFsPath, ExistingPartsStayNewPartsLoseTrailingBlanksAndDots) {
    TempFolder dir;
    Sh("mkdir -p '" + dir.Path() + "/dir' && touch '" + dir.Path() + "/f'");
    const UString base = U(dir.Path() + "/");
    struct {
        std::string name, expected;
    } cases[] = {
        {"x. ", "x"},
        {"dir/y.", "dir/y"},
        {"f/sub", "f/sub"}, // an existing file: unchanged, the folder call reports it
        {"new. /z ", "new/z"},
        {"dir", "dir"},
        {"", ""},
        {"/", "/"},
        {dir.Path() + "/dir/q..", dir.Path() + "/dir/q"},
    };
    for (const auto &c : cases) {
        UString result;
        EXPECT_TRUE(CorrectFsPath(base, U(c.name), result));
        EXPECT_EQ(S(result), c.expected) << c.name;
    }
    EXPECT_FALSE(IsCorrectFsName(U("..")));
    EXPECT_FALSE(IsCorrectFsName(U("a/.")));
    EXPECT_TRUE(IsCorrectFsName(U("..a")));
    EXPECT_TRUE(IsCorrectFsName(U("")));
}

std::function<void(QWidget *)> CopyTo(const std::string &dest);

class PanelOps : public panelfx::CPanelWindowTest {
protected:
    static std::function<void(QWidget *)> TypeName(const std::string &name) {
        return [name](QWidget *d) {
            d->findChild<QLineEdit *>("lineEdit_name")->setText(QString::fromStdString(name));
            apptest::Click(d, "pushButton_ok");
        };
    }
};

// Names in an archive, listed by Python's own readers.
std::string ListArchive(const std::string &path) {
    return Shell("/usr/bin/python3 -c \"import sys,zipfile,py7zr\n"
                 "p=sys.argv[1]\n"
                 "n=zipfile.ZipFile(p).namelist() if p.endswith('.zip') else py7zr.SevenZipFile(p).getnames()\n"
                 "print('|'.join(sorted(x.rstrip('/') for x in n)))\" '" +
                 path + "'");
}

TEST_F(PanelOps, NewFolderRenameAndDeleteInsideZipAnd7z) {
    Sh("mkdir '" + dir.Path() + "/src'");
    WriteFile(dir / "src/a b.txt", "aaa");
    WriteFile(dir / "src/c.txt", "ccc");
    WriteFile(dir / "src/d.txt", "ddd");
    ASSERT_EQ(Sh("cd '" + dir.Path() + "/src' && zip -q ../t.zip 'a b.txt' c.txt d.txt"), 0);
    ASSERT_EQ(Sh("cd '" + dir.Path() +
                 "/src' && /usr/bin/python3 -c \"import py7zr; "
                 "z=py7zr.SevenZipFile('../t.7z','w'); [z.write(n) for n in ('a b.txt','c.txt','d.txt')]; z.close()\""),
              0);
    for (const std::string arc : {"t.zip", "t.7z"}) {
        SCOPED_TRACE(arc);
        Bind(dir / arc);
        ASSERT_TRUE(p->IsArcFolder());
        extracttest::CDialogScript script;
        script.Add("combowindow", TypeName("新 目录"));
        p->CreateFolder();
        ASSERT_TRUE(apptest::RunUntil([&] { return Row("新 目录") >= 0; }));

        Select({"a b.txt"});
        script.Add("combowindow", TypeName("重命名.txt"));
        p->RenameFile();
        ASSERT_TRUE(apptest::RunUntil([&] { return Row("重命名.txt") >= 0; }));

        Select({"c.txt", "d.txt"});
        p->DeleteItems(true);
        ASSERT_TRUE(apptest::RunUntil([&] { return Row("c.txt") < 0 && Row("d.txt") < 0; }));
        EXPECT_EQ(script.Unexpected(), "");
        std::string boxes;
        for (const QString &t : script.boxTexts)
            boxes += t.toStdString() + "|";
        EXPECT_EQ(boxes, "确实要删除这 2 项？|");
        p->CloseOpenFolders();
        EXPECT_EQ(ListArchive(dir / arc), "新 目录|重命名.txt\n");
    }
}

TEST_F(PanelOps, DeleteOnDiskAsksAndCancelKeepsEverything) {
    WriteFile(dir / "one.txt", "1");
    Sh("mkdir '" + dir.Path() + "/sub' && touch '" + dir.Path() + "/sub/x'");
    Bind(dir.Path() + "/");
    extracttest::CDialogScript script;
    script.Add("messagebox", apptest::Answer("pushButton_cancle"));
    Select({"sub"});
    p->DeleteItems(true);
    EXPECT_TRUE(Exists(dir / "sub/x"));
    Select({"one.txt"});
    p->DeleteItems(true);
    EXPECT_FALSE(Exists(dir / "one.txt"));
    ASSERT_EQ(script.boxTexts.size(), 2u);
    EXPECT_EQ(script.boxTexts[0].toStdString(), "确实要删除文件夹sub以及全部内容吗？");
    EXPECT_EQ(script.boxTexts[1].toStdString(), "确实要删除 one.txt吗？");
}

// A name with a direction override or a line break is shown masked wherever it is named: it can
// neither turn "txt.exe" into "exe.txt" nor push ".exe" onto a line of its own.
TEST_F(PanelOps, DeleteBoxAndCopyToListShowMaskedNames) {
    const std::string rlo = "invoice\u202Etxt.exe", newline = "holiday.jpg\n.exe";
    WriteFile(dir / rlo, "r");
    WriteFile(dir / newline, "n");
    Bind(dir.Path() + "/");
    extracttest::CDialogScript script;
    script.Add("messagebox", apptest::Answer("pushButton_cancle"));
    script.Add("messagebox", apptest::Answer("pushButton_cancle"));
    Select({"invoice_txt.exe"});
    p->DeleteItems(true);
    Select({"holiday.jpg_.exe"});
    p->DeleteItems(true);
    ASSERT_EQ(script.boxTexts.size(), 2u);
    EXPECT_EQ(script.boxTexts[0].toStdString(), "确实要删除 invoice_txt.exe吗？");
    EXPECT_EQ(script.boxTexts[1].toStdString(), "确实要删除 holiday.jpg_.exe吗？");
    EXPECT_TRUE(Exists(dir / rlo));
    EXPECT_TRUE(Exists(dir / newline));

    QString listShown, listTip;
    Select({"holiday.jpg_.exe", "invoice_txt.exe"});
    script.Add("copywindow", [&](QWidget *d) {
        QLabel *info = d->findChild<QLabel *>("label_info");
        listShown = info->text();
        listTip = info->toolTip();
        apptest::Click(d, "btn_close");
    });
    p->OnCopy(false, false);
    EXPECT_EQ(script.Unexpected(), "");
    for (const QString &text : {listShown, listTip}) {
        EXPECT_TRUE(text.contains("\n  holiday.jpg_.exe\n")) << text.toStdString();
        EXPECT_TRUE(text.endsWith("\n  invoice_txt.exe")) << text.toStdString();
        EXPECT_FALSE(text.contains(QChar(0x202E))) << text.toStdString();
    }
}

TEST_F(PanelOps, NewFolderAndFileOnDiskWithCorrectedNamesAndDotDotRefused) {
    Bind(dir.Path() + "/");
    extracttest::CDialogScript script;
    script.Add("combowindow", TypeName(".."));
    p->CreateFolder();
    ASSERT_EQ(script.boxTexts.size(), 1u); // the invalid-argument box, nothing created
    script.Add("combowindow", TypeName("新建. "));
    p->CreateFolder();
    EXPECT_TRUE(Exists(dir / "新建"));
    script.Add("combowindow", TypeName("笔记.txt"));
    p->CreateFile();
    EXPECT_TRUE(Exists(dir / "笔记.txt"));
    script.Add("combowindow", apptest::Answer("pushButton_cancle"));
    p->CreateFolder();
    EXPECT_EQ(Shell("ls -A '" + dir.Path() + "' | wc -l"), "2\n");
}

// A read-only level (an iso image, or one that holds the shown archive) refuses every changing
// command before anything starts, naming the operation and the read-only place; copying out stays.
TEST_F(PanelOps, ReadOnlyLevelsRefuseChangesAndNameThePlace) {
    Sh("mkdir -p '" + dir.Path() + "/t/sub'");
    WriteFile(dir / "t/a.txt", "a");
    ASSERT_EQ(Sh("cd '" + dir.Path() + "/t' && zip -q inner.zip a.txt"), 0);
    ASSERT_EQ(Sh("cd '" + dir.Path() + "' && xorriso -as mkisofs -quiet -o r.iso t 2>/dev/null"), 0);
    const std::string before = ReadFile(dir / "r.iso");
    Bind(dir / "r.iso");
    const std::string iso = dir / "r.iso";
    for (int level = 0; level < 2; level++) {
        SCOPED_TRACE(level);
        if (level == 1) {
            // The zip opened as a level inside the iso, from a copy of the item on disk.
            CTempFileInfo info;
            info.RelPath = U("inner.zip");
            info.FilePath = U(dir / "t/inner.zip");
            bool encrypted = false;
            ASSERT_EQ(p->OpenItemAsArchive(nullptr, info, U(iso + "/inner.zip"), UString(), encrypted), S_OK);
            p->RefreshListCtrl();
            ASSERT_EQ(p->parentFolders.Size(), 2u);
        }
        extracttest::CDialogScript script;
        Select({"a.txt"});
        p->DeleteItems(true);
        p->CreateFolder();
        p->CreateFile();
        p->OnCopy(true, false);
        EXPECT_EQ(script.Unexpected(), "");
        EXPECT_EQ(script.shown["combowindow"] + script.shown["copywindow"], 0);
        const std::string place = iso; // the iso is entry 0 of the archive levels
        std::vector<std::string> expected;
        for (const char *op : {"无法删除文件或文件夹.", "无法创建文件夹", "无法新建文件", "移动"})
            expected.push_back(std::string(op) + "\n不支持当前操作\n" + place + "\n只读");
        std::vector<std::string> got;
        for (const QString &t : script.boxTexts)
            got.push_back(t.toStdString());
        EXPECT_EQ(got, expected);
        // Copying out of a read-only level is no change to it.
        Select({"a.txt"});
        script.Add("copywindow", CopyTo(dir / ("out" + std::to_string(level) + "/")));
        p->OnCopy(false, false);
        EXPECT_EQ(ReadFile(dir / ("out" + std::to_string(level) + "/a.txt")), "a");
    }
    // Files dropped onto the image: one box says why, the image stays as it was.
    Bind(iso);
    {
        extracttest::CDialogScript script;
        UStringVector paths;
        paths.Add(U(dir / "t/a.txt"));
        p->CopyFromNoAsk(paths);
        std::vector<std::string> boxes;
        for (const QString &t : script.boxTexts)
            boxes.push_back(t.toStdString());
        EXPECT_EQ(boxes, std::vector<std::string>{"不支持当前操作"});
    }
    p->CloseOpenFolders();
    EXPECT_EQ(ReadFile(dir / "r.iso"), before);
}

} // namespace

namespace {

const std::vector<std::string> kHostileNames = {"a\"b", "*", "?x", "-rf", "a  b c", "中文 名.txt"};

// The copy-to dialog's answer: the destination typed, then OK.
std::function<void(QWidget *)> CopyTo(const std::string &dest) {
    return [dest](QWidget *d) {
        d->findChild<QComboBox *>("comboBox_path")->setEditText(QString::fromStdString(dest));
        apptest::Click(d, "pushButton_ok");
    };
}

std::string MakeZip(const std::string &path, const std::vector<std::string> &names, const std::string &extra = "") {
    std::string list;
    for (const std::string &n : names) {
        std::string q;
        for (char c : n)
            q += c == '"' ? std::string("\\\"") : std::string(1, c);
        list += "\"" + q + "\",";
    }
    const std::string script = "import zipfile,sys\nz=zipfile.ZipFile(sys.argv[1],'w')\nfor n in [" + list +
                               "]: z.writestr(n, 'data of '+n)\n" + extra + "z.close()\n";
    WriteFile(path + ".py", script);
    return Shell("/usr/bin/python3 '" + path + ".py' '" + path + "' 2>&1");
}

TEST_F(PanelOps, CopiesHostileNamesOutOfAnArchiveAndFromDiskIntoOne) {
    ASSERT_EQ(MakeZip(dir / "h.zip", kHostileNames), "");
    Bind(dir / "h.zip");
    std::vector<std::string> all = kHostileNames;
    Select(all);
    extracttest::CDialogScript script;
    script.Add("copywindow", CopyTo(dir / "out")); // a new folder, typed without "/"
    p->OnCopy(false, false);
    EXPECT_EQ(script.Unexpected(), "");
    for (const std::string &n : kHostileNames)
        EXPECT_EQ(ReadFile(dir / "out/" + n), "data of " + n) << n;
    EXPECT_EQ(Shell("ls -A '" + dir.Path() + "/out' | wc -l"), "6\n");

    // Back in: the same names from disk into an empty-named folder of another archive, by move.
    ASSERT_EQ(MakeZip(dir / "in.zip", {"keep.txt"}), "");
    Bind(dir / "in.zip");
    UStringVector paths;
    for (const std::string &n : kHostileNames)
        paths.Add(U(n));
    EXPECT_EQ(p->CopyFrom(true, U(dir.Path() + "/out/"), paths, true, nullptr), S_OK);
    p->CloseOpenFolders();
    const std::string listing = Shell("/usr/bin/python3 -c \"import zipfile,sys,json; z=zipfile.ZipFile(sys.argv[1]); "
                                      "print(json.dumps(sorted((n, z.read(n).decode()) for n in z.namelist()), "
                                      "ensure_ascii=False))\" '" +
                                      dir.Path() + "/in.zip'");
    for (const std::string &n : kHostileNames) {
        std::string j;
        for (char c : n)
            j += c == '"' ? std::string("\\\"") : std::string(1, c);
        EXPECT_NE(listing.find("[\"" + j + "\", \"data of " + j + "\"]"), std::string::npos) << n << listing;
        EXPECT_FALSE(Exists(dir / "out/" + n)) << "moved sources are deleted once stored: " << n;
    }
    EXPECT_NE(listing.find("keep.txt"), std::string::npos);
}

TEST_F(PanelOps, CopyToAnExistingFolderWithoutSlashGoesIntoItAndSameFolderIsRefused) {
    Sh("mkdir -p '" + dir.Path() + "/src' '" + dir.Path() + "/target'");
    WriteFile(dir / "src/one.txt", "1");
    Bind(dir.Path() + "/src/");
    extracttest::CDialogScript script;
    Select({"one.txt"});
    script.Add("copywindow", CopyTo(dir / "target"));
    p->OnCopy(false, false);
    EXPECT_EQ(ReadFile(dir / "target/one.txt"), "1");
    EXPECT_FALSE(Exists(dir / "target.txt"));

    // One item to a path that does not exist: written under the typed name.
    Select({"one.txt"});
    script.Add("copywindow", CopyTo(dir / "target/renamed.txt"));
    p->OnCopy(false, false);
    EXPECT_EQ(ReadFile(dir / "target/renamed.txt"), "1");

    Select({"one.txt"});
    script.Add("copywindow", CopyTo(dir / "src/"));
    p->OnCopy(true, false);
    ASSERT_FALSE(script.boxTexts.empty());
    EXPECT_EQ(script.boxTexts.back().toStdString(), "不能移动文件到同一目录中");
    EXPECT_TRUE(Exists(dir / "src/one.txt"));

    // Move to another folder removes the source.
    Select({"one.txt"});
    script.Add("copywindow", CopyTo(dir / "moved/"));
    p->OnCopy(true, false);
    EXPECT_EQ(ReadFile(dir / "moved/one.txt"), "1");
    EXPECT_FALSE(Exists(dir / "src/one.txt"));
    EXPECT_EQ(script.Unexpected(), "");
}

// Inside an archive, moving items out and a new empty file cannot be carried out (their menu
// entries are greyed): the commands are refused with one box before any dialog, folder or
// history entry.
TEST_F(PanelOps, ArchiveLevelsRefuseMovingOutAndNewFilesBeforeAnythingHappens) {
    ASSERT_EQ(MakeZip(dir / "a.zip", {"a.txt"}), "");
    Bind(dir / "a.zip");
    CObjectVector<UString> historyBefore, historyAfter;
    ReadCopyHistory(historyBefore);
    extracttest::CDialogScript script;
    script.Add("copywindow", CopyTo(dir / "moved/"));
    script.Add("combowindow", TypeName("new.txt"));
    Select({"a.txt"});
    p->OnFileMenu(547);
    p->OnFileMenu(556);
    std::vector<std::string> boxes;
    for (const QString &t : script.boxTexts)
        boxes.push_back(t.toStdString());
    EXPECT_EQ(boxes, (std::vector<std::string>{"不支持当前操作", "不支持当前操作"}));
    EXPECT_EQ(script.shown["copywindow"] + script.shown["combowindow"], 0);
    EXPECT_FALSE(Exists(dir / "moved"));
    ReadCopyHistory(historyAfter);
    EXPECT_EQ(historyAfter.Size(), historyBefore.Size());
    p->CloseOpenFolders();
    EXPECT_EQ(ListArchive(dir / "a.zip"), "a.txt\n");
}

// One item copied out of an archive to a path that does not end in "/" is written under that
// name, as from a disk folder; an existing file of that name is replaced only when the user says so.
TEST_F(PanelOps, CopyOutOfAnArchiveWritesOneItemUnderTheTypedName) {
    ASSERT_EQ(MakeZip(dir / "n.zip", {"note.txt", "docs/readme.txt"}), "");
    Sh("mkdir '" + dir.Path() + "/out'");
    WriteFile(dir / "out/exists.txt", "old");
    Bind(dir / "n.zip");
    extracttest::CDialogScript script;
    struct {
        std::string item, typed, answer, file, content;
    } cases[] = {
        {"note.txt", "out/renamed.txt", "", "out/renamed.txt", "data of note.txt"},
        {"note.txt", "out/new/deeper.txt", "", "out/new/deeper.txt", "data of note.txt"},
        {"docs", "out/manuals", "", "out/manuals/readme.txt", "data of docs/readme.txt"},
        {"note.txt", "out/exists.txt", "pushButton_no", "out/exists.txt", "old"},
        {"note.txt", "out/exists.txt", "pushButton_yes", "out/exists.txt", "data of note.txt"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.typed + " " + c.answer);
        Select({c.item});
        script.Add("copywindow", CopyTo(dir / c.typed));
        if (!c.answer.empty()) script.Add("overwritewindow", apptest::Answer(c.answer));
        p->OnCopy(false, false);
        EXPECT_EQ(ReadFile(dir / c.file), c.content);
        EXPECT_EQ(script.shown["overwritewindow"], c.answer.empty() ? 0 : c.answer == "pushButton_no" ? 1 : 2);
    }
    // Nothing else was left behind on the way (no folder named after the typed name, no work folder).
    EXPECT_EQ(Shell("cd '" + dir.Path() + "/out' && find . | sort | tr '\\n' ' '"),
              ". ./exists.txt ./manuals ./manuals/readme.txt ./new ./new/deeper.txt ./renamed.txt ");
    EXPECT_EQ(script.Unexpected(), "");
    EXPECT_TRUE(script.boxTexts.empty());
}

// A folder item onto an existing file name cannot be written: one box says why, once, in Chinese,
// and the file is kept.
TEST_F(PanelOps, CopyOfAFolderOntoAFileNameShowsOneError) {
    ASSERT_EQ(MakeZip(dir / "n.zip", {"note.txt", "docs/readme.txt"}), "");
    Sh("mkdir '" + dir.Path() + "/out'");
    WriteFile(dir / "out/exists.txt", "old");
    Bind(dir / "n.zip");
    extracttest::CDialogScript script;
    script.Add("overwritewindow", apptest::Answer("pushButton_yes"));
    Select({"docs"});
    script.Add("copywindow", CopyTo(dir / "out/exists.txt"));
    p->OnCopy(false, false);
    ASSERT_EQ(script.boxTexts.size(), 1u) << script.boxTexts.size();
    EXPECT_TRUE(script.boxTexts[0].contains(QString::fromStdString(dir / "out/exists.txt")))
        << script.boxTexts[0].toStdString();
    EXPECT_FALSE(script.boxTexts[0].contains(QRegExp("[A-Za-z]{4} [a-z]"))) << script.boxTexts[0].toStdString();
    EXPECT_EQ(ReadFile(dir / "out/exists.txt"), "old");
}

// Reads one item of an archive with a password by Python's readers: "encrypted-flag content".
std::string ReadEncrypted(const std::string &arc, const std::string &name, const std::string &pw) {
    return Shell(
        "/usr/bin/python3 -c \"import sys,zipfile,py7zr\n"
        "p,n,pw=sys.argv[1:4]\n"
        "if p.endswith('.zip'):\n"
        "  z=zipfile.ZipFile(p); print(z.getinfo(n).flag_bits & 1, z.read(n, pwd=pw.encode()).decode())\n"
        "else:\n"
        "  z=py7zr.SevenZipFile(p, password=pw); print(int(z.needs_password()), z.read([n])[n].read().decode())"
        "\" '" +
        arc + "' '" + name + "' '" + pw + "' 2>&1");
}

TEST_F(PanelOps, AddingToAnEncryptedArchiveOpenedWithoutPasswordChecksThePassword) {
    WriteFile(dir / "plain.txt", "secret text");
    WriteFile(dir / "new.txt", "new text");
    ASSERT_EQ(Sh("cd '" + dir.Path() + "' && zip -q -P pw enc.zip plain.txt"), 0);
    // Encrypted data, plain names: the archive opens without its password.
    ASSERT_EQ(Sh("cd '" + dir.Path() +
                 "' && /usr/bin/python3 -c \"import py7zr; "
                 "z=py7zr.SevenZipFile('enc.7z','w',password='pw',header_encryption=False); "
                 "z.write('plain.txt'); z.close()\""),
              0);
    for (const std::string arc : {"enc.zip", "enc.7z"}) {
        SCOPED_TRACE(arc);
        const std::string before = ReadFile(dir / arc);
        Bind(dir / arc);
        ASSERT_TRUE(p->parentFolders.Size() == 1 && !p->parentFolders.Back().UsePassword);
        UStringVector paths;
        paths.Add(U("new.txt"));
        {
            // Cancel in the password question, then a wrong password: nothing is written.
            extracttest::CDialogScript script;
            script.Add("passwordwindow", apptest::Answer("pushButton_cancle"));
            EXPECT_EQ(p->CopyFrom(false, U(dir.Path() + "/"), paths, true, nullptr), E_ABORT);
            script.Add("passwordwindow", extracttest::TypePassword("wrong"));
            EXPECT_EQ(p->CopyFrom(false, U(dir.Path() + "/"), paths, true, nullptr), E_FAIL);
            EXPECT_EQ(script.shown["passwordwindow"], 2);
            ASSERT_EQ(script.boxTexts.size(), 1u);
            EXPECT_NE(script.boxTexts[0].toStdString().find("密码错误"), std::string::npos)
                << script.boxTexts[0].toStdString();
            EXPECT_EQ(ReadFile(dir / arc), before);
            EXPECT_FALSE(p->parentFolders.Back().UsePassword);
        }
        {
            extracttest::CDialogScript script;
            script.Add("passwordwindow", extracttest::TypePassword("pw"));
            EXPECT_EQ(p->CopyFrom(false, U(dir.Path() + "/"), paths, true, nullptr), S_OK);
            EXPECT_EQ(script.Unexpected(), "");
            EXPECT_TRUE(script.boxTexts.empty());
        }
        p->CloseOpenFolders();
        // Independent readers see the new item encrypted and read it with the password.
        EXPECT_EQ(ReadEncrypted(dir / arc, "new.txt", "pw"), "1 new text\n");
    }
}

// Files dropped onto an archive folder, from two folders, go in through the panel copy: after the
// question, and encrypted with the password the archive asks for.
TEST_F(PanelOps, DropOntoAnEncryptedArchiveAsksAndAddsEncrypted) {
    WriteFile(dir / "plain.txt", "secret text");
    Sh("mkdir '" + dir.Path() + "/one' '" + dir.Path() + "/two'");
    WriteFile(dir / "one/a.txt", "text a");
    WriteFile(dir / "two/b.txt", "text b");
    ASSERT_EQ(Sh("cd '" + dir.Path() + "' && zip -q -P pw enc.zip plain.txt"), 0);
    Bind(dir / "enc.zip");
    UStringVector paths;
    paths.Add(U(dir / "one/a.txt"));
    paths.Add(U(dir / "two/b.txt"));
    {
        extracttest::CDialogScript script;
        script.Add("messagebox", apptest::Answer("pushButton_ok"));
        script.Add("passwordwindow", extracttest::TypePassword("pw"));
        p->CompressDropFiles(paths, UString());
        EXPECT_EQ(script.Unexpected(), "");
        EXPECT_EQ(script.shown["passwordwindow"], 1);
    }
    p->CloseOpenFolders();
    EXPECT_EQ(ReadEncrypted(dir / "enc.zip", "a.txt", "pw"), "1 text a\n");
    EXPECT_EQ(ReadEncrypted(dir / "enc.zip", "b.txt", "pw"), "1 text b\n");
}

} // namespace

namespace {

// A test of the selected items inside an archive reports "no errors", or the damaged item; a
// checksum run into memory names the item and its CRC; in a disk folder the selected archive is
// tested through the command runner.
TEST_F(PanelOps, TestsArchivesAndSumsItemsFromThePanel) {
    WriteFile(dir / "a.txt", std::string(5000, 'a'));
    WriteFile(dir / "b.txt", "bbbb");
    ASSERT_EQ(Sh("cd '" + dir.Path() + "' && zip -q good.zip a.txt b.txt && cp good.zip bad.zip"), 0);
    // Damage a.txt's stored data (deflated 5000 'a's) in the copy: its CRC check fails.
    ASSERT_EQ(Sh("/usr/bin/python3 -c \"import sys,struct,zipfile; p=sys.argv[1]; "
                 "o=zipfile.ZipFile(p).getinfo('a.txt').header_offset; d=bytearray(open(p,'rb').read()); "
                 "n,e=struct.unpack('<HH', d[o+26:o+30]); d[o+30+n+e+2]^=0x55; open(p,'wb').write(d)\" '" +
                 dir.Path() + "/bad.zip'"),
              0);
    const std::string crc = Shell("/usr/bin/python3 -c \"import zlib; print('%08X' % zlib.crc32(b'bbbb'))\"");
    {
        Bind(dir / "good.zip");
        extracttest::CDialogScript script;
        Select({"a.txt", "b.txt"});
        p->TestArchives();
        ASSERT_EQ(script.boxTexts.size(), 1u);
        EXPECT_NE(script.boxTexts[0].toStdString().find("未发现错误"), std::string::npos)
            << script.boxTexts[0].toStdString();
        EXPECT_NE(script.boxTexts[0].toStdString().find("文件: 2"), std::string::npos)
            << script.boxTexts[0].toStdString();

        Select({"b.txt"});
        CCopyToOptions options;
        options.streamMode = true;
        options.hashMethods.Add(U("CRC32"));
        CRecordVector<UInt32> indices;
        p->GetOperatedIndicesSmart(indices);
        bool usePassword = false;
        UString password;
        EXPECT_EQ(p->CopyTo(options, indices, nullptr, usePassword, password), S_OK);
        ASSERT_EQ(script.boxTexts.size(), 2u);
        const std::string sums = script.boxTexts[1].toStdString();
        EXPECT_NE(sums.find("b.txt"), std::string::npos) << sums;
        EXPECT_NE(sums.find(crc.substr(0, 8)), std::string::npos) << sums << " " << crc;
        options.hashMethods.Clear();
        options.hashMethods.Add(U("NoSuchHash"));
        EXPECT_EQ(p->CopyTo(options, indices, nullptr, usePassword, password), E_NOTIMPL);
        EXPECT_EQ(script.Unexpected(), "");
    }
    {
        Bind(dir / "bad.zip");
        extracttest::CDialogScript script;
        Select({"a.txt", "b.txt"});
        p->TestArchives();
        std::string all;
        for (const QString &t : script.boxTexts)
            all += t.toStdString() + "|";
        for (const QString &t : script.errorLists)
            all += t.toStdString() + "|";
        EXPECT_EQ(all.find("未发现错误"), std::string::npos) << all;
        EXPECT_NE(all.find("a.txt"), std::string::npos) << all;
    }
    {
        Bind(dir.Path() + "/");
        extracttest::CDialogScript script;
        Select({"good.zip"});
        p->TestArchives();
        ASSERT_TRUE(apptest::RunUntil([&] { return !script.boxTexts.empty(); }, 30000));
        apptest::RunUntil([] { return _module.running_threads() == 0; }, 30000);
        EXPECT_NE(script.boxTexts[0].toStdString().find("未发现错误"), std::string::npos)
            << script.boxTexts[0].toStdString();
        EXPECT_FALSE(Exists(dir / "good")); // a test writes nothing
    }
}

// Files added after the question; a stop halfway through the write leaves the old archive
// byte for byte, shows no error and keeps the list as it was.
TEST_F(PanelOps, AddAfterTheQuestionAndCancelHalfwayKeepsTheArchive) {
    WriteFile(dir / "small.txt", "small");
    ASSERT_EQ(Sh("cd '" + dir.Path() +
                 "' && /usr/bin/python3 -c \"import py7zr; "
                 "z=py7zr.SevenZipFile('t.7z','w'); z.write('small.txt'); z.close()\""),
              0);
    // Incompressible, so the write takes a while.
    ASSERT_EQ(Sh("head -c 48000000 /dev/urandom > '" + dir.Path() + "/big.bin'"), 0);
    WriteFile(dir / "note.txt", "note");
    const std::string before = ReadFile(dir / "t.7z");
    Bind(dir / "t.7z");
    UStringVector note, big;
    note.Add(U(dir / "note.txt"));
    big.Add(U(dir / "big.bin"));
    {
        extracttest::CDialogScript script;
        script.Add("messagebox", apptest::Answer("pushButton_cancle"));
        p->CopyFromAsk(note);
        ASSERT_EQ(script.boxTexts.size(), 1u);
        EXPECT_EQ(script.boxTexts[0].toStdString(), "您确定复制文件到压缩包\n'" + dir.Path() + "/t.7z/' ?");
        EXPECT_EQ(ReadFile(dir / "t.7z"), before);
    }
    {
        extracttest::CDialogScript script;
        // Stop once some of the data is written; the cancel question is answered "是".
        QTimer stopper;
        bool stopped = false;
        QObject::connect(&stopper, &QTimer::timeout, [&] {
            for (QWidget *top : QApplication::topLevelWidgets()) {
                progresswindow *pw = qobject_cast<progresswindow *>(top);
                if (stopped || !pw || !pw->isVisible()) continue;
                UInt64 cur, total;
                {
                    std::lock_guard<std::mutex> lock(pw->sync.mutex);
                    cur = pw->sync.numBytesCur;
                    total = pw->sync.numBytesTotal;
                }
                if (cur > 0 && total != (UInt64)(Int64)-1 && cur < total / 2) {
                    stopped = true;
                    apptest::Click(pw, "pushButton_cancle");
                }
            }
        });
        stopper.start(5);
        p->CopyFromNoAsk(big);
        EXPECT_TRUE(stopped);
        ASSERT_EQ(script.boxTexts.size(), 1u); // the cancel question, no error box
        EXPECT_EQ(script.boxTexts[0].toStdString(), "您真的要取消吗？");
        EXPECT_EQ(ReadFile(dir / "t.7z"), before);
        EXPECT_EQ(Row("big.bin"), -1);
        EXPECT_GE(Row("small.txt"), 0);
        EXPECT_EQ(Shell("ls -A '" + dir.Path() +
                        "' | grep -c -v -e '^small.txt$' -e '^t.7z$' -e '^big.bin$' "
                        "-e '^note.txt$'"),
                  "0\n"); // no temporary file left beside the archive
    }
    {
        extracttest::CDialogScript script;
        p->CopyFromAsk(note); // answered OK
        EXPECT_GE(Row("note.txt"), 0);
        EXPECT_EQ(script.Unexpected(), "");
    }
    p->CloseOpenFolders();
    EXPECT_EQ(ListArchive(dir / "t.7z"), "note.txt|small.txt\n");
}

} // namespace

namespace {

// The toolbar's add and extract on selected items of a disk folder: hostile names reach the
// runner as themselves (read back by Python), and the commands refuse what they cannot do.
TEST_F(PanelOps, ToolbarAddAndExtractTakeHostileNamesAsThemselves) {
    Sh("mkdir '" + dir.Path() + "/src'");
    for (const std::string &n : kHostileNames)
        WriteFile(dir / ("src/" + n), "data of " + n);
    WriteFile(dir / "src/ax", "decoy"); // what '?x' or '*' read as wildcards would also take
    Bind(dir.Path() + "/src/");
    Select(kHostileNames);
    extracttest::CDialogScript script;
    p->AddToArchive(kStart_AddZip);
    EXPECT_EQ(script.Unexpected(), "");
    EXPECT_TRUE(script.boxTexts.empty()) << script.boxTexts[0].toStdString();
    const std::string listing = Shell("/usr/bin/python3 -c \"import zipfile,sys,json; z=zipfile.ZipFile(sys.argv[1]); "
                                      "print(json.dumps(sorted((n, z.read(n).decode()) for n in z.namelist()), "
                                      "ensure_ascii=False))\" '" +
                                      dir.Path() + "/src/src.zip' 2>&1");
    std::vector<std::string> sorted = kHostileNames;
    std::sort(sorted.begin(), sorted.end());
    std::string expected = "[";
    for (const std::string &n : sorted) {
        std::string j;
        for (char c : n)
            j += c == '"' ? std::string("\\\"") : std::string(1, c);
        expected += std::string(expected.size() > 1 ? ", " : "") + "[\"" + j + "\", \"data of " + j + "\"]";
    }
    EXPECT_EQ(listing, expected + "]\n");

    // Each selected archive extracts into a folder named after it.
    Sh("mkdir '" + dir.Path() + "/arcs'");
    std::vector<std::string> archives;
    for (const std::string n : {"-rf", "a\"b", "中文 名"}) {
        ASSERT_EQ(MakeZip(dir / ("arcs/" + n + ".zip"), {n}), "");
        archives.push_back(n + ".zip");
    }
    ASSERT_EQ(MakeZip(dir / "arcs/decoy.zip", {"decoy"}), "");
    Bind(dir.Path() + "/arcs/");
    Select(archives);
    p->ExtractArchives(false);
    ASSERT_TRUE(apptest::RunUntil([] { return _module.running_threads() == 0; }, 60000));
    EXPECT_TRUE(apptest::RunUntil([&] { return Exists(dir / "arcs/中文 名/中文 名"); }));
    for (const std::string n : {"-rf", "a\"b", "中文 名"})
        EXPECT_EQ(ReadFile(dir / ("arcs/" + n + "/" + n)), "data of " + n) << n;
    EXPECT_FALSE(Exists(dir / "arcs/decoy"));

    // Inside an archive adding is not offered; without a selection there is nothing to add.
    Bind(dir / "arcs/decoy.zip");
    Select({"decoy"});
    p->AddToArchive(kStart_AddZip);
    Bind(dir.Path() + "/src/");
    QTableWidget *t = w->get_list_view();
    t->clearSelection();
    t->setCurrentItem(nullptr);
    p->AddToArchive(kStart_Add7z);
    std::vector<std::string> boxes;
    for (size_t i = 0; i < script.boxTexts.size(); i++)
        boxes.push_back(script.boxTexts[i].toStdString());
    EXPECT_EQ(boxes, (std::vector<std::string>{"不支持当前操作", "您至少要选择一个文件"}));
    EXPECT_FALSE(Exists(dir / "src/src.7z"));
}

} // namespace
