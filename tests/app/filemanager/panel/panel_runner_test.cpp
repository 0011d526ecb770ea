// Extraction through the archive command runner from the start-up switches and the panel:
// hostile names reach the engine as themselves, and single-operation mode always ends.
#include <QApplication>
#include <QLabel>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "Panel.h"
#include "PanelRunner.h"
#include "extract_test_support.h"
#include "mainwindow.h"
#include "panel_fixture.h"
#include "test_support.h"

namespace {

using namespace testsupport;

const auto *g_env = ::testing::AddGlobalTestEnvironment(new panelfx::CPanelEnvironment);

TEST(ExtractFolderName, CutsAtTheLastDotOrAppendsTilde) {
    struct {
        std::string name, folder;
    } cases[] = {
        {"a.tar.gz", "a.tar"}, {"data", "data~"},     {".bashrc", ".bashrc~"},
        {"x  .zip", "x"},      {"中文 包.7z", "中文 包"}, {"-rf.zip", "-rf"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(S(ExtractFolderName(U(c.name))), c.folder) << c.name;
}

// Starts the program with the words; the window is shown so its closing can be seen.
mainwindow *StartOperation(const std::vector<std::string> &args) {
    mainwindow *w = panelfx::Start(args);
    w->show(); // the operation itself comes from the event loop
    return w;
}

// Waits until the window has closed itself, then lets the worker threads end.
bool EndsByItself(mainwindow *w) {
    const bool closed = apptest::RunUntil([&] { return !w->isVisible(); }, 30000);
    apptest::RunUntil([] { return _module.running_threads() == 0; }, 30000);
    progresstest::FlushReleasedWindows();
    return closed;
}

const std::vector<std::string> kHostile = {"a\"b", "*", "?x", "-rf", "a  b c", "中文 名"};

TEST(StartExtract, HostileArchiveAndItemNamesAreTakenAsThemselves) {
    TempFolder dir;
    std::vector<std::string> args = {"-extract-here"};
    for (const std::string &n : kHostile) {
        std::string q;
        for (char c : n)
            q += c == '"' ? std::string("\\\"") : std::string(1, c);
        ASSERT_EQ(Shell("/usr/bin/python3 -c \"import zipfile,sys; z=zipfile.ZipFile(sys.argv[1],'w'); "
                        "z.writestr(sys.argv[2], 'in ' + sys.argv[2]); z.close()\" '" +
                        dir.Path() + "/" + n + ".zip' '" + n + "' 2>&1"),
                  "")
            << n;
        args.push_back(dir / (n + ".zip"));
    }
    // Archives a wildcard would also take.
    ASSERT_EQ(Sh("cd '" + dir.Path() + "' && echo d > d && zip -q ax.zip d && zip -q decoy.zip d"), 0);
    extracttest::CDialogScript script;
    std::string asked;
    script.Add("overwritewindow", [&](QWidget *d) {
        for (QLabel *l : d->findChildren<QLabel *>())
            asked += l->objectName().toStdString() + "=" + l->text().toStdString() + "; ";
        apptest::PressEscape(d);
    });
    mainwindow *w = StartOperation(args);
    EXPECT_TRUE(EndsByItself(w));
    EXPECT_EQ(asked, "");
    delete w;
    EXPECT_EQ(script.Unexpected(), "") << Shell("cd '" + dir.Path() + "' && find . | sort");
    for (const std::string &n : kHostile)
        EXPECT_EQ(ReadFile(dir / (n + "/" + n)), "in " + n) << n;
    EXPECT_FALSE(Exists(dir / "ax"));
    EXPECT_FALSE(Exists(dir / "decoy"));
    EXPECT_TRUE(script.boxTexts.empty()) << script.boxTexts[0].toStdString();
}

TEST(StartExtract, EveryFailureShowsItsMessageAndEnds) {
    TempFolder dir;
    Sh("mkdir '" + dir.Path() + "/folder'");
    WriteFile(dir / "plain.txt", "not an archive");
    struct {
        std::vector<std::string> args;
        bool message;
    } cases[] = {
        {{"-extract-here", dir / "folder"}, true},
        {{"-extract", dir / "missing.zip"}, true},
        {{"-extract-here", dir / "plain.txt"}, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.args[1]);
        extracttest::CDialogScript script;
        mainwindow *w = StartOperation(c.args);
        EXPECT_TRUE(EndsByItself(w));
        delete w;
        const size_t messages = script.boxTexts.size() + script.errorLists.size();
        EXPECT_EQ(messages > 0, c.message) << script.Unexpected();
    }
}

// The names and contents an archive holds, read by an independent reader: "name=content" lines
// in name order.
std::string ArchiveListing(const std::string &path) {
    return Shell("/usr/bin/python3 -c \"import sys,zipfile,py7zr\n"
                 "p=sys.argv[1]\n"
                 "if zipfile.is_zipfile(p):\n"
                 "  z=zipfile.ZipFile(p); d={n: z.read(n) for n in z.namelist()}\n"
                 "else:\n"
                 "  d={n: b.read() for n,b in py7zr.SevenZipFile(p).readall().items()}\n"
                 "for n in sorted(d): print(n + '=' + d[n].decode())\" '" +
                 path + "' 2>&1");
}

TEST(StartCompress, HostileNamesAreArchivedAsThemselves) {
    const std::vector<std::string> hostile = {"a\"b", "*", "-rf", "a  b c", "中文 名", "?x"};
    struct {
        std::string sw, type;
        bool dialog;
    } cases[] = {{"-add7z", "7z", false}, {"-addzip", "zip", false}, {"-add", "", true}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.sw);
        TempFolder dir;
        std::vector<std::string> args = {c.sw};
        std::string expected;
        std::vector<std::string> sorted = hostile;
        std::sort(sorted.begin(), sorted.end());
        for (const std::string &n : sorted) {
            WriteFile(dir / n, "in " + n);
            expected += n + "=in " + n + "\n";
        }
        for (const std::string &n : hostile)
            args.push_back(dir / n);
        // Files a wildcard or a switch reading would also take.
        WriteFile(dir / "ax", "decoy");
        WriteFile(dir / "zz", "decoy");
        const std::string before = Shell("ls -A '" + dir.Path() + "' | sort");
        extracttest::CDialogScript script;
        script.Add("zipwindow", apptest::Answer("btn_zip"));
        mainwindow *w = StartOperation(args);
        EXPECT_TRUE(EndsByItself(w));
        delete w;
        EXPECT_EQ(script.Unexpected(), "");
        EXPECT_TRUE(script.boxTexts.empty()) << script.boxTexts[0].toStdString();
        EXPECT_EQ(script.shown["zipwindow"], c.dialog ? 1 : 0);
        // Exactly one new file: the archive, named after the folder that holds the files.
        std::string created, line;
        std::istringstream after(Shell("ls -A '" + dir.Path() + "' | sort"));
        int count = 0;
        while (std::getline(after, line))
            if (("\n" + before).find("\n" + line + "\n") == std::string::npos) {
                created = line;
                count++;
            }
        ASSERT_EQ(count, 1) << Shell("ls -A '" + dir.Path() + "'");
        const std::string &name = created;
        const std::string folderName = dir.Path().substr(dir.Path().rfind('/') + 1);
        EXPECT_EQ(name.substr(0, folderName.size() + 1), folderName + ".") << name;
        if (!c.type.empty()) {
            EXPECT_EQ(name, folderName + "." + c.type);
        }
        EXPECT_EQ(ArchiveListing(dir / name), expected);
    }
}

TEST(StartCompress, FailuresShowTheirMessageAndEnd) {
    TempFolder dir;
    const std::vector<std::vector<std::string>> cases = {
        {"-add7z", dir / "missing"},
        {"-addzip", dir / "missing"},
    };
    for (const auto &args : cases) {
        SCOPED_TRACE(args[0]);
        extracttest::CDialogScript script;
        mainwindow *w = StartOperation(args);
        EXPECT_TRUE(EndsByItself(w));
        delete w;
        EXPECT_GT(script.boxTexts.size() + script.errorLists.size(), 0u) << script.Unexpected();
    }
}

} // namespace
