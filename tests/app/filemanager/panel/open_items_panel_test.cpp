// Opening items in the panel: nested archives level by level, items handed to outside programs
// (a fake gnome-terminal first on PATH, the desktop opener caught by a URL handler) and their
// changes written back through every archive level, read back with independent tools.
#include <QDesktopServices>
#include <QObject>
#include <QTableWidget>
#include <QUrl>

#include <stdlib.h>

#include <string>
#include <vector>

#include "CellText.h"
#include "Panel.h"
#include "extract_test_support.h"
#include "ArchiveWriteBack.h"
#include "ProcessList.h"
#include "TmpProcessWatcher.h"
#include "mainlistview.h"
#include "mainwindow.h"
#include "panel_fixture.h"
#include "test_support.h"
#include "url_catcher.h"

namespace {

using namespace testsupport;

const auto *g_env = ::testing::AddGlobalTestEnvironment(new panelfx::CPanelEnvironment);

class OpenItems : public ::testing::Test {
protected:
    void SetUp() override {
        oldPath = getenv("PATH");
        // Logs "-- vim PATH" as it got them, one line per start, and runs until told to stop.
        ASSERT_TRUE(WriteFile(bin / "gnome-terminal",
                              "#!/bin/sh\nprintf '%s|%s|%s\\n' \"$1\" \"$2\" \"$3\" >> '" + Log() +
                                  "'\nwhile [ ! -e '" + (bin / "stop") + "' ]; do sleep 0.05; done\n",
                              0755));
        setenv("PATH", (bin.Path() + ":" + oldPath).c_str(), 1);
        QDesktopServices::setUrlHandler("file", &catcher, "open");
        w = panelfx::Start({});
        ASSERT_TRUE(w->is_ok());
        p = w->get_panel();
        auto timing = std::make_shared<CWatchTiming>();
        timing->LookupIntervalMs = 100;
        timing->CheckIntervalMs = 100;
        timing->SliceMs = 20;
        p->watchTiming = timing;
    }
    void TearDown() override {
        StopPrograms();
        // Every watch has ended before the window goes.
        EXPECT_TRUE(apptest::RunUntil([&] { return p->openedItems.empty(); }, 10000));
        delete w;
        QDesktopServices::unsetUrlHandler("file");
        setenv("PATH", oldPath.c_str(), 1);
    }

    std::string Log() const { return bin / "log"; }
    // The user works a while in the program: the watch has found it by then.
    void Work() {
        apptest::RunUntil([] { return false; }, 600);
    }
    void StopPrograms() { WriteFile(bin / "stop", ""); }
    // The files the fake editor was started with, in order.
    std::vector<std::string> Edited() {
        std::vector<std::string> files;
        const std::string log = Exists(Log()) ? ReadFile(Log()) : "";
        size_t pos = 0;
        while (pos < log.size()) {
            size_t end = log.find('\n', pos);
            if (end == std::string::npos) end = log.size();
            const std::string line = log.substr(pos, end - pos);
            EXPECT_EQ(line.substr(0, 7), "--|vim|") << line;
            files.push_back(line.size() > 7 ? line.substr(7) : "");
            pos = end + 1;
        }
        return files;
    }

    void Bind(const std::string &path) { ASSERT_EQ(p->BindToPathAndRefresh(U(path)), S_OK); }
    int Index(const std::string &name) {
        QTableWidget *t = w->get_list_view();
        // The name column shows the masked name (no right-to-left override, short blank runs).
        const UString masked = MaskedItemName(U(name));
        const QString shown = QString::fromWCharArray(masked.Ptr(), (int)masked.Len());
        for (int r = 0; r < t->rowCount(); r++)
            if (t->item(r, 0) && t->item(r, 0)->text() == shown) return p->GetRealItemIndex(r);
        ADD_FAILURE() << "no row " << name;
        return -1;
    }
    std::string Prefix() { return S(p->currentFolderPrefix); }

    // Python's zipfile reading name inside the zip that is member inner of outer (a zip or a tar).
    std::string ReadNested(const std::string &outer, const std::string &inner, const std::string &name,
                           const std::string &password = "") {
        return Shell("/usr/bin/python3 -c \"import io, sys, tarfile, zipfile\n"
                     "o, i, n, pw = sys.argv[1:5]\n"
                     "pw = pw.encode() or None\n"
                     "if zipfile.is_zipfile(o):\n"
                     "  data = zipfile.ZipFile(o).read(i)\n"
                     "else:\n"
                     "  data = tarfile.open(o).extractfile(i).read()\n"
                     "print(zipfile.ZipFile(io.BytesIO(data)).read(n, pwd=pw).decode(), end='')\" '" +
                     outer + "' '" + inner + "' '" + name + "' '" + password + "' 2>&1");
    }

    TempFolder dir, bin;
    std::string oldPath;
    CUrlCatcher catcher;
    mainwindow *w = nullptr;
    CPanel *p = nullptr;
};

// dir/box/outer.<kind> holds inner.zip (note.txt, keep.txt, docs/readme.txt) and other.txt.
void MakeNested(const std::string &dir, const std::string &kind) {
    ASSERT_EQ(Sh("cd '" + dir + "' && mkdir -p src t box && printf old > src/note.txt && printf keep > src/keep.txt" +
                 " && mkdir -p src/docs && printf 'read me' > src/docs/readme.txt && printf other > t/other.txt" +
                 " && (cd src && zip -qr ../t/inner.zip note.txt keep.txt docs)" +
                 (kind == "zip" ? " && (cd t && zip -q ../box/outer.zip inner.zip other.txt)"
                                : " && tar czf box/outer.tar.gz -C t inner.zip other.txt")),
              0);
}

TEST_F(OpenItems, NestedArchivesOpenLevelByLevelAndCloseBackUp) {
    MakeNested(dir.Path(), "tar.gz");
    Bind(dir / "box");
    p->OpenItem(Index("outer.tar.gz"), true, false, nullptr);
    ASSERT_EQ(p->parentFolders.Size(), 1u);
    EXPECT_EQ(Prefix(), dir / "box/outer.tar.gz/");
    p->OpenItem(Index("inner.zip"), true, false, nullptr);
    ASSERT_EQ(p->parentFolders.Size(), 2u);
    EXPECT_EQ(Prefix(), dir / "box/outer.tar.gz/inner.zip/");
    // A tar inside gzip cannot be rewritten: its nested archive is read from memory.
    EXPECT_TRUE(p->parentFolders.Back().IsVirtual);
    const std::string innerTemp = S(p->parentFolders.Back().FolderPath);
    EXPECT_EQ(innerTemp.rfind("/tmp/tarnovaO", 0), 0u) << innerTemp;
    p->OpenFolder(Index("docs"));
    EXPECT_EQ(Prefix(), dir / "box/outer.tar.gz/inner.zip/docs/");
    EXPECT_GE(Index("readme.txt"), 0);

    extracttest::CDialogScript script; // no question on the way up: nothing changed
    p->OpenParentFolder();
    p->OpenParentFolder();
    EXPECT_EQ(Prefix(), dir / "box/outer.tar.gz/");
    EXPECT_EQ(p->parentFolders.Size(), 1u);
    UStringVector selected;
    p->GetSelectedNames(selected);
    ASSERT_EQ(selected.Size(), 1u);
    EXPECT_EQ(S(selected[0]), "inner.zip");
    EXPECT_FALSE(Exists(innerTemp));
    p->OpenParentFolder();
    EXPECT_EQ(Prefix(), dir / "box/");
    EXPECT_TRUE(p->parentFolders.IsEmpty());
    EXPECT_EQ(script.shown.size(), 0u);

    // Inside a zip the nested zip gets a file of its own, so that it can be written back.
    MakeNested(dir.Path(), "zip");
    Bind(dir / "box");
    p->OpenItem(Index("outer.zip"), true, false, nullptr);
    p->OpenItem(Index("inner.zip"), true, false, nullptr);
    ASSERT_EQ(p->parentFolders.Size(), 2u);
    EXPECT_FALSE(p->parentFolders.Back().IsVirtual);
    EXPECT_EQ(ReadFile(S(p->parentFolders.Back().FilePath)), ReadFile(dir / "t/inner.zip"));
}

// top.zip holds outer.zip, which holds inner.zip, which holds note.txt: the change reaches the
// file on disk through all three levels.
TEST_F(OpenItems, ChangedCopyGoesBackThroughEveryLevelToTheFileOnDisk) {
    MakeNested(dir.Path(), "zip");
    ASSERT_EQ(Sh("cd '" + dir.Path() + "/box' && zip -q ../top.zip outer.zip"), 0);
    const std::string top = dir / "top.zip";
    Bind(top);
    p->OpenItem(Index("outer.zip"), true, false, nullptr);
    p->OpenItem(Index("inner.zip"), true, false, nullptr);
    ASSERT_EQ(p->parentFolders.Size(), 3u);
    EXPECT_EQ(Prefix(), dir / "top.zip/outer.zip/inner.zip/");
    extracttest::CDialogScript script;
    p->EditItem(Index("note.txt"), true);
    ASSERT_TRUE(apptest::RunUntil([&] { return Edited().size() == 1; }));
    const std::string copy = Edited()[0];
    EXPECT_EQ(copy.rfind("/tmp/tarnovaO", 0), 0u) << copy;
    EXPECT_EQ(ReadFile(copy), "old");
    Work();
    ASSERT_TRUE(WriteFile(copy, "new data, longer than before"));
    StopPrograms();
    // The question comes when the program has ended; the script answers it with OK.
    ASSERT_TRUE(apptest::RunUntil([&] { return !Exists(copy); }, 10000));
    ASSERT_EQ(script.boxTexts.size(), 1u);
    EXPECT_EQ(script.boxTexts[0].toStdString(), "文件note.txt已修改。\n你想在压缩文件中更新它？");
    auto read = [&](const std::string &name) {
        return Shell("/usr/bin/python3 -c \"import io, sys, zipfile\n"
                     "z = zipfile.ZipFile(sys.argv[1])\n"
                     "for member in ('outer.zip', 'inner.zip'):\n"
                     "  z = zipfile.ZipFile(io.BytesIO(z.read(member)))\n"
                     "print(z.read(sys.argv[2]).decode(), end='')\" '" +
                     top + "' '" + name + "' 2>&1");
    };
    EXPECT_EQ(read("note.txt"), "new data, longer than before");
    EXPECT_EQ(read("keep.txt"), "keep");
    EXPECT_EQ(read("docs/readme.txt"), "read me");
    EXPECT_EQ(ReadNested(top, "outer.zip", "other.txt"), "other");
    // Each level's own file went up with it: leaving the levels asks nothing more.
    p->OpenParentFolder();
    p->OpenParentFolder();
    EXPECT_EQ(p->parentFolders.Size(), 1u);
    EXPECT_EQ(script.boxTexts.size(), 1u);
    EXPECT_EQ(script.Unexpected(), "");
}

// Files added inside a nested level change only that level's file; leaving the level, one step
// up or straight to the root, offers to carry it up into the archive on disk.
TEST_F(OpenItems, LeavingAChangedNestedLevelWritesItIntoTheLevelAbove) {
    for (const bool toRoot : {false, true}) {
        SCOPED_TRACE(toRoot ? "to the root" : "one step up");
        const std::string base = dir / (toRoot ? "root" : "up");
        Sh("mkdir -p '" + base + "'");
        MakeNested(base, "zip");
        const std::string outer = base + "/box/outer.zip";
        WriteFile(base + "/added.txt", "added text");
        Bind(outer);
        p->OpenItem(Index("inner.zip"), true, false, nullptr);
        ASSERT_EQ(p->parentFolders.Size(), 2u);
        UStringVector paths;
        paths.Add(U("added.txt"));
        extracttest::CDialogScript script;
        ASSERT_EQ(p->CopyFrom(false, U(base + "/"), paths, true, nullptr), S_OK);
        EXPECT_EQ(Shell("unzip -l '" + outer + "' | grep -c added"), "0\n");
        if (toRoot)
            p->OpenRootFolder();
        else
            p->OpenParentFolder();
        EXPECT_EQ(p->parentFolders.Size(), toRoot ? 0u : 1u);
        ASSERT_EQ(script.boxTexts.size(), 1u);
        EXPECT_EQ(script.boxTexts[0].toStdString(), "文件inner.zip已修改。\n你想在压缩文件中更新它？");
        EXPECT_EQ(ReadNested(outer, "inner.zip", "added.txt"), "added text");
        EXPECT_EQ(ReadNested(outer, "inner.zip", "note.txt"), "old");
        EXPECT_EQ(script.Unexpected(), "");
        p->CloseOpenFolders();
    }
}

// The program ends after its archive was closed: nothing is asked or written, the copy stays and
// the user is told where.
TEST_F(OpenItems, ChangedCopyOfAClosedArchiveIsKept) {
    MakeNested(dir.Path(), "zip");
    const std::string outer = dir / "box/outer.zip";
    const std::string before = ReadFile(outer);
    Bind(outer);
    extracttest::CDialogScript script;
    p->EditItem(Index("other.txt"), true);
    ASSERT_TRUE(apptest::RunUntil([&] { return Edited().size() == 1; }));
    const std::string copy = Edited()[0];
    Work();
    Bind(dir.Path());
    ASSERT_TRUE(WriteFile(copy, "changed later"));
    StopPrograms();
    ASSERT_TRUE(apptest::RunUntil([&] { return script.boxTexts.size() == 1; }, 10000));
    EXPECT_EQ(script.boxTexts[0].toStdString(),
              "文件other.txt已修改，但无法在压缩文件中更新。\n修改后的文件保留在：\n" + copy);
    EXPECT_TRUE(apptest::RunUntil([&] { return p->openedItems.empty(); }));
    EXPECT_EQ(script.boxTexts.size(), 1u);
    EXPECT_EQ(ReadFile(copy), "changed later");
    EXPECT_EQ(ReadFile(outer), before);
    Sh("rm -rf \"$(dirname '" + copy + "')\"");
}

// A tar.gz cannot be rewritten: no write-back question that could only fail, only where the copy is.
TEST_F(OpenItems, ChangeInsideAZipInATarGzStopsWithAMessageAndLosesNothing) {
    MakeNested(dir.Path(), "tar.gz");
    const std::string outer = dir / "box/outer.tar.gz";
    const std::string before = ReadFile(outer);
    Bind(outer);
    p->OpenItem(Index("inner.zip"), true, false, nullptr);
    ASSERT_EQ(p->parentFolders.Size(), 2u);
    extracttest::CDialogScript script;
    p->EditItem(Index("note.txt"), true);
    ASSERT_TRUE(apptest::RunUntil([&] { return Edited().size() == 1; }));
    const std::string copy = Edited()[0];
    Work();
    ASSERT_TRUE(WriteFile(copy, "kept change"));
    StopPrograms();
    ASSERT_TRUE(apptest::RunUntil([&] { return p->openedItems.empty(); }, 10000));
    ASSERT_EQ(script.boxTexts.size(), 1u);
    EXPECT_EQ(script.boxTexts[0].toStdString(),
              "文件note.txt已修改，但无法在压缩文件中更新。\n修改后的文件保留在：\n" + copy);
    EXPECT_EQ(ReadFile(copy), "kept change");
    EXPECT_EQ(ReadFile(outer), before);
    Sh("rm -rf \"$(dirname '" + copy + "')\"");
}

TEST_F(OpenItems, EncryptedArchivesAskTheirPasswordOncePerLevel) {
    ASSERT_EQ(Sh("cd '" + dir.Path() + "' && printf aaa > a.txt && printf bbb > b.txt" +
                 " && zip -q -P innerpw inner.zip a.txt b.txt && zip -q -P outerpw outer.zip inner.zip"),
              0);
    extracttest::CDialogScript script;
    script.Add("passwordwindow", extracttest::TypePassword("outerpw"));
    script.Add("passwordwindow", extracttest::TypePassword("innerpw"));
    Bind(dir / "outer.zip");
    p->OpenItem(Index("inner.zip"), true, false, nullptr);
    ASSERT_EQ(p->parentFolders.Size(), 2u);
    EXPECT_EQ(script.shown["passwordwindow"], 1);
    p->EditItem(Index("a.txt"), true);
    p->EditItem(Index("b.txt"), true);
    EXPECT_EQ(script.shown["passwordwindow"], 2);
    ASSERT_TRUE(apptest::RunUntil([&] { return Edited().size() == 2; }));
    EXPECT_EQ(ReadFile(Edited()[0]), "aaa");
    EXPECT_EQ(ReadFile(Edited()[1]), "bbb");
    // Leaving the nested level and coming back asks the outer level's password no more.
    p->OpenParentFolder();
    p->OpenItem(Index("inner.zip"), true, false, nullptr);
    EXPECT_EQ(p->parentFolders.Size(), 2u);
    EXPECT_EQ(script.shown["passwordwindow"], 2);

    // A 7z with encrypted names asks when it opens, and its items need no second question.
    ASSERT_EQ(Sh("cd '" + dir.Path() +
                 "' && printf ccc > c.txt && /usr/bin/python3 -c \"import py7zr\n"
                 "with py7zr.SevenZipFile('secret.7z', 'w', password='sevenpw', header_encryption=True) as z:\n"
                 "  z.write('c.txt')\" && zip -q -P outerpw outer.zip secret.7z"),
              0);
    script.Add("passwordwindow", extracttest::TypePassword("outerpw"));
    script.Add("passwordwindow", extracttest::TypePassword("sevenpw"));
    Bind(dir.Path()); // closes the levels: outer.zip has changed on disk
    Bind(dir / "outer.zip");
    p->OpenItem(Index("secret.7z"), true, false, nullptr);
    ASSERT_EQ(p->parentFolders.Size(), 2u);
    EXPECT_TRUE(p->parentFolders.Back().UsePassword);
    EXPECT_EQ(script.shown["passwordwindow"], 4);
    p->EditItem(Index("c.txt"), true);
    ASSERT_TRUE(apptest::RunUntil([&] { return Edited().size() == 3; }));
    EXPECT_EQ(ReadFile(Edited()[2]), "ccc");
    EXPECT_EQ(script.shown["passwordwindow"], 4);
    EXPECT_EQ(script.Unexpected(), "");
}

// A wrong password for an item is not remembered for its level: the next try asks again.
// ZipCrypto checks a password against one byte: the second wrong one is found to pass that check,
// and shows only as bad data.
TEST_F(OpenItems, AWrongItemPasswordIsAskedAgain) {
    ASSERT_EQ(Sh("cd '" + dir.Path() + "' && printf aaa > a.txt && zip -q -P rightpw enc.zip a.txt"), 0);
    std::string passesCheck = Shell(
        "/usr/bin/python3 -c \"import sys, zipfile\nz = zipfile.ZipFile(sys.argv[1])\n"
        "for i in range(100000):\n  p = 'wrong%d' % i\n  try:\n    z.read('a.txt', pwd=p.encode())\n"
        "  except RuntimeError:\n    continue\n  except zipfile.BadZipFile:\n    print(p, end='')\n    break\n\" '" +
        (dir / "enc.zip") + "'");
    ASSERT_NE(passesCheck, "");
    size_t edited = 0;
    for (const std::string &wrong : {std::string("wrongpw"), passesCheck}) {
        SCOPED_TRACE(wrong);
        // Each round on a fresh archive: nothing of the round before is kept.
        ASSERT_EQ(Sh("cd '" + dir.Path() + "' && cp enc.zip enc" + std::to_string(edited) + ".zip"), 0);
        extracttest::CDialogScript script;
        script.Add("passwordwindow", extracttest::TypePassword(QString::fromStdString(wrong)));
        Bind(dir / ("enc" + std::to_string(edited) + ".zip"));
        p->EditItem(Index("a.txt"), true);
        ASSERT_EQ(script.shown["passwordwindow"], 1);
        EXPECT_EQ(Edited().size(), edited);
        EXPECT_FALSE(p->parentFolders.Back().UsePassword);
        script.Add("passwordwindow", extracttest::TypePassword("rightpw"));
        p->EditItem(Index("a.txt"), true);
        EXPECT_EQ(script.shown["passwordwindow"], 2);
        edited++;
        ASSERT_TRUE(apptest::RunUntil([&] { return Edited().size() == edited; }));
        EXPECT_EQ(ReadFile(Edited().back()), "aaa");
        EXPECT_EQ(script.Unexpected(), "");
    }
}

// A split zip made by zip -s (name.z01 ... name.zip) and numbered volumes (name.zip.001 ...),
// each opened from its first volume.
TEST_F(OpenItems, SplitArchivesOpenFromTheirFirstVolume) {
    ASSERT_EQ(Sh("cd '" + dir.Path() + "' && head -c 200000 /dev/urandom > big.bin && printf hi > small.txt" +
                 " && zip -q -s 64k split.zip big.bin small.txt && zip -q whole.zip big.bin small.txt" +
                 " && split -b 70000 --numeric-suffixes=1 -a 3 whole.zip whole.zip."),
              0);
    const std::string big = ReadFile(dir / "big.bin");
    for (const std::string first : {"split.z01", "whole.zip.001"}) {
        SCOPED_TRACE(first);
        Bind(dir.Path());
        // The other volumes come through the open callback, found beside the first one.
        p->OpenItem(Index(first), true, false, nullptr);
        ASSERT_EQ(p->parentFolders.Size(), 1u);
        // small.txt lies in the last volume; big.bin runs through all of them.
        extracttest::CDialogScript script;
        catcher.urls.clear();
        p->OpenItem(Index("small.txt"), false, true, nullptr);
        p->OpenItem(Index("big.bin"), false, true, nullptr);
        for (const QString &text : script.boxTexts)
            ADD_FAILURE() << text.toStdString();
        ASSERT_EQ(catcher.urls.size(), 2);
        EXPECT_EQ(ReadFile(catcher.urls[0].toLocalFile().toStdString()), "hi");
        EXPECT_TRUE(ReadFile(catcher.urls[1].toLocalFile().toStdString()) == big);
        for (const QUrl &url : catcher.urls)
            Sh("rm -rf \"$(dirname '" + url.toLocalFile().toStdString() + "')\"");
        p->OpenParentFolder();
        EXPECT_TRUE(p->parentFolders.IsEmpty());
    }
    // A volume set is read only: nothing would rewrite all of its volumes.
    Bind(dir / "split.z01");
    EXPECT_TRUE(p->IsThereReadOnlyFolder() || !CanWriteIntoFolder(p->currentFolder));
    // Without its other volumes the first one holds no more than its own part.
    ASSERT_EQ(Sh("cd '" + dir.Path() + "' && mkdir alone && cp whole.zip.001 split.z01 alone/"), 0);
    Bind(dir / "alone");
    extracttest::CDialogScript script;
    for (const std::string first : {"split.z01", "whole.zip.001"}) {
        Bind(dir / "alone");
        p->OpenItem(Index(first), true, false, nullptr);
        QTableWidget *t = w->get_list_view();
        for (int r = 0; r < t->rowCount(); r++)
            EXPECT_NE(t->item(r, 0)->text().toStdString(), "small.txt") << first;
    }
}

TEST_F(OpenItems, DisguisedNamesAreRefusedBeforeAnythingOpens) {
    const std::string spaces = "a.txt     .sh";
    const std::string rlo = "photo\xE2\x80\xAEgpj.exe";
    ASSERT_EQ(Sh("cd '" + dir.Path() + "' && mkdir disk && printf x > 'disk/" + spaces + "' && printf x > 'disk/" +
                 rlo + "' && (cd disk && zip -q ../names.zip *)"),
              0);
    for (const std::string folder : {"disk", "names.zip"}) {
        Bind(dir / folder);
        for (const std::string &name : {spaces, rlo}) {
            SCOPED_TRACE(folder + "/" + name);
            extracttest::CDialogScript script;
            p->OpenItem(Index(name), true, true, nullptr);
            p->EditItem(Index(name), true);
            ASSERT_EQ(script.boxTexts.size(), 2u);
            EXPECT_EQ(script.boxTexts[0].toStdString().rfind("此文件似乎是病毒文件", 0), 0u);
        }
    }
    apptest::RunUntil([] { return false; }, 300);
    EXPECT_TRUE(catcher.urls.isEmpty());
    EXPECT_TRUE(Edited().empty());
    EXPECT_TRUE(p->openedItems.empty());
}

// A plain file goes to the desktop's program; a document that is a zip inside goes there too,
// from an archive after being copied out, not opened as an archive.
TEST_F(OpenItems, PlainFilesAndDocumentsGoToTheDesktopProgram) {
    ASSERT_EQ(Sh("cd '" + dir.Path() + "' && printf text > plain.txt && printf x > x.xml && zip -q report.docx x.xml" +
                 " && zip -q pack.zip report.docx plain.txt"),
              0);
    Bind(dir.Path());
    p->OpenItem(Index("plain.txt"), true, true, nullptr);
    p->OpenItem(Index("report.docx"), true, true, nullptr);
    ASSERT_EQ(catcher.urls.size(), 2);
    EXPECT_EQ(catcher.urls[0].toLocalFile().toStdString(), dir / "plain.txt");
    EXPECT_EQ(catcher.urls[1].toLocalFile().toStdString(), dir / "report.docx");
    EXPECT_TRUE(p->parentFolders.IsEmpty());
    // Folders go to the desktop too: an item, or the parent of the shown folder.
    Sh("mkdir '" + dir.Path() + "/sub'");
    Bind(dir.Path());
    p->OpenFolderExternal(Index("sub"));
    p->OpenFolderExternal(-1);
    ASSERT_EQ(catcher.urls.size(), 4);
    EXPECT_EQ(catcher.urls[2].toLocalFile().toStdString(), dir / "sub/");
    EXPECT_EQ(catcher.urls[3].toLocalFile().toStdString(), "/tmp/");
    catcher.urls.clear();

    Bind(dir / "pack.zip");
    p->OpenItem(Index("report.docx"), true, true, nullptr);
    EXPECT_EQ(p->parentFolders.Size(), 1u);
    ASSERT_EQ(catcher.urls.size(), 1);
    const std::string copy = catcher.urls[0].toLocalFile().toStdString();
    EXPECT_EQ(copy.rfind("/tmp/tarnovaO", 0), 0u) << copy;
    EXPECT_EQ(ReadFile(copy), ReadFile(dir / "report.docx"));
    // No program is seen with the copy (the opener handed it to a running instance): the watch
    // gives up and the unchanged copy goes with its folder.
    ASSERT_TRUE(apptest::RunUntil([&] { return p->openedItems.empty(); }, 10000));
    EXPECT_FALSE(Exists(copy));
    EXPECT_FALSE(Exists(copy.substr(0, copy.rfind('/'))));
}

// outer.zip > inner.zip with an item deleted inside, then the window closed: the close path asks
// as leaving the level does, and the answer decides what outer.zip holds.
TEST_F(OpenItems, ClosingTheWindowAsksForEveryChangedLevel) {
    for (const bool yes : {true, false}) {
        SCOPED_TRACE(yes ? "answered OK" : "answered cancel");
        const std::string base = dir / (yes ? "yes" : "no");
        Sh("mkdir -p '" + base + "'");
        MakeNested(base, "zip");
        const std::string outer = base + "/box/outer.zip";
        const std::string before = ReadFile(outer);
        w->show();
        Bind(outer);
        p->OpenItem(Index("inner.zip"), true, false, nullptr);
        ASSERT_EQ(p->parentFolders.Size(), 2u);
        const std::string innerCopy = S(p->parentFolders.Back().FilePath);
        extracttest::CDialogScript script;
        script.Add("messagebox", apptest::Answer("pushButton_ok")); // the delete
        script.Add("messagebox", apptest::Answer(yes ? "pushButton_ok" : "pushButton_cancle"));
        QTableWidget *t = w->get_list_view();
        t->clearSelection();
        t->selectRow(t->row(t->findItems("keep.txt", Qt::MatchExactly).value(0)));
        p->DeleteItems(true);
        ASSERT_EQ(ReadFile(outer), before) << "the change is only in the level's own file so far";
        // While an operation still holds the panel the close waits for it, dropping nothing.
        p->busyOperations++;
        apptest::Click(w, "btn_close");
        apptest::RunUntil([] { return false; }, 300);
        EXPECT_EQ(script.boxTexts.size(), 1u);
        EXPECT_EQ(p->parentFolders.Size(), 2u);
        p->busyOperations--;
        ASSERT_TRUE(apptest::RunUntil([&] { return p->parentFolders.IsEmpty(); }));
        ASSERT_EQ(script.boxTexts.size(), 2u);
        EXPECT_EQ(script.boxTexts[1].toStdString(), "文件inner.zip已修改。\n你想在压缩文件中更新它？");
        EXPECT_TRUE(p->parentFolders.IsEmpty());
        EXPECT_FALSE(Exists(innerCopy));
        if (yes) {
            EXPECT_EQ(ReadNested(outer, "inner.zip", "note.txt"), "old");
            EXPECT_NE(ReadNested(outer, "inner.zip", "keep.txt").find("KeyError"), std::string::npos);
        } else {
            EXPECT_EQ(ReadFile(outer), before);
        }
        EXPECT_EQ(script.Unexpected(), "");
        // The next round starts with a fresh window.
        delete w;
        w = panelfx::Start({});
        ASSERT_TRUE(w->is_ok());
        p = w->get_panel();
        p->watchTiming = std::make_shared<CWatchTiming>(CWatchTiming{5, 100, 100, 20});
    }
}

// Copies still open in their program when the window closes: an unchanged one is deleted, a
// changed one is offered for write-back first.
TEST_F(OpenItems, ClosingTheWindowSettlesCopiesStillWithTheirPrograms) {
    MakeNested(dir.Path(), "zip");
    const std::string outer = dir / "box/outer.zip";
    w->show();
    Bind(outer);
    extracttest::CDialogScript script;
    p->EditItem(Index("other.txt"), true);
    p->EditItem(Index("inner.zip"), true);
    ASSERT_TRUE(apptest::RunUntil([&] { return Edited().size() == 2; }));
    const std::vector<std::string> copies = Edited();
    Work();
    ASSERT_TRUE(WriteFile(copies[0], "changed while open"));
    ASSERT_EQ(p->openedItems.size(), 2u);
    apptest::Click(w, "btn_close");
    ASSERT_EQ(script.boxTexts.size(), 1u);
    EXPECT_EQ(script.boxTexts[0].toStdString(), "文件other.txt已修改。\n你想在压缩文件中更新它？");
    EXPECT_TRUE(p->openedItems.empty());
    for (const std::string &copy : copies) {
        EXPECT_FALSE(Exists(copy));
        EXPECT_FALSE(Exists(copy.substr(0, copy.rfind('/'))));
    }
    EXPECT_EQ(Shell("unzip -p '" + outer + "' other.txt"), "changed while open");
    EXPECT_EQ(script.Unexpected(), "");
    // No watch is left to wait for the programs: they must be gone before their folder is.
    StopPrograms();
    for (const std::string &copy : copies)
        EXPECT_TRUE(apptest::RunUntil([&] { return GetPIDbyCmdline(copy.c_str(), false, true) < 1; }));
}

// A link named x.zip whose target is missing: one error box, nothing opened.
TEST_F(OpenItems, ADanglingLinkNamedLikeAnArchiveGivesOneErrorBox) {
    Sh("ln -s missing.zip '" + dir.Path() + "/x.zip'");
    Bind(dir.Path());
    extracttest::CDialogScript script;
    p->OpenItem(Index("x.zip"), true, true, nullptr);
    apptest::RunUntil([] { return false; }, 200);
    EXPECT_EQ(script.boxTexts.size(), 1u);
    EXPECT_TRUE(catcher.urls.isEmpty());
    EXPECT_TRUE(p->parentFolders.IsEmpty());
}

// A file named as an archive that does not open as one is damaged: one box says so, and no
// other program gets it.
TEST_F(OpenItems, ADamagedArchiveShowsTheOpenErrorAndGoesNowhereElse) {
    ASSERT_EQ(Sh("head -c 4096 /dev/urandom > '" + dir.Path() + "/x.7z'"), 0);
    extracttest::CDialogScript script;
    Bind(dir.Path());
    p->OpenItem(Index("x.7z"), true, true, nullptr);
    EXPECT_TRUE(catcher.urls.empty());
    EXPECT_TRUE(p->parentFolders.IsEmpty());
    ASSERT_EQ(script.boxTexts.size(), 1u);
    EXPECT_EQ(script.boxTexts[0], QString::fromStdString("无法作为压缩包打开文件" + (dir / "x.7z")));
}

} // namespace
