// Extraction through the archive command runner from the start-up switches and the panel:
// hostile names reach the engine as themselves, and single-operation mode always ends.
#include <QApplication>
#include <QLabel>

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

} // namespace
