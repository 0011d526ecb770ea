// Symbolic and hard links added through the command runner as the program runs it; every archive is
// read back by tools that are not ours (bsdtar, GNU tar, py7zr) and by our own extraction.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include "compress_test_support.h"
#include "mainwindow.h"
#include "windows/FileFind.h"

using namespace compresstest;
using testsupport::Exists;
using testsupport::ReadFile;
using testsupport::WriteFile;

namespace {

const ::testing::Environment *const g_env = ::testing::AddGlobalTestEnvironment(new apptest::CAppEnvironment);

// "link:<target>", "file:<content>", "dir" or "missing": what extraction left at the path.
std::string What(const std::string &path) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) return "missing";
    if (S_ISLNK(st.st_mode)) {
        char buf[4096];
        const ssize_t n = readlink(path.c_str(), buf, sizeof(buf));
        return "link:" + std::string(buf, n > 0 ? (size_t)n : 0);
    }
    if (S_ISDIR(st.st_mode)) return "dir";
    return "file:" + ReadFile(path);
}

class CompressLinks : public ::testing::Test {
protected:
    mainwindow main;
    testsupport::TempFolder tmp;
    std::string src, out;
    CRunner runner;
    CJanitor janitor;
    int savedLstat = global_use_lstat;

    // src/target.txt, src/named -> target.txt (named on the command line), and a folder holding
    // sub/up -> ../target.txt and sub/nowhere -> missing.txt.
    void SetUp() override {
        ASSERT_TRUE(tmp.Ok());
        UseTestHome();
        src = tmp / "src";
        out = tmp / "out";
        ASSERT_EQ(mkdir(src.c_str(), 0755), 0);
        ASSERT_EQ(mkdir((src + "/sub").c_str(), 0755), 0);
        ASSERT_EQ(mkdir(out.c_str(), 0755), 0);
        ASSERT_TRUE(WriteFile(src + "/target.txt", "target data\n"));
        ASSERT_EQ(symlink("target.txt", (src + "/named").c_str()), 0);
        ASSERT_EQ(symlink("../target.txt", (src + "/sub/up").c_str()), 0);
        ASSERT_EQ(symlink("missing.txt", (src + "/sub/nowhere").c_str()), 0);
    }
    void TearDown() override { global_use_lstat = savedLstat; }

    CArcCommandResult Run(const std::vector<std::string> &words) {
        // Relative names: the archive holds named, sub/up and sub/nowhere as given.
        char cwd[4096];
        EXPECT_NE(getcwd(cwd, sizeof(cwd)), nullptr);
        EXPECT_EQ(chdir(src.c_str()), 0);
        const CArcCommandResult r = RunOnGuiThread(words, runner);
        EXPECT_EQ(chdir(cwd), 0);
        return r;
    }

    std::string Fresh(const std::string &name) {
        const std::string d = out + "/" + name;
        EXPECT_EQ(mkdir(d.c_str(), 0755), 0);
        return d;
    }
};

} // namespace

// By default and with -snl, a symbolic link is stored as a link in every format that has them:
// bsdtar, py7zr and our own extraction make the same links again.
TEST_F(CompressLinks, SymbolicLinksAreStoredAsLinksInTarZipAnd7z) {
    const char *const formats[] = {"tar", "zip", "7z"};
    const char *const switches[] = {"", "-snl"};
    for (const char *format : formats)
        for (const char *sw : switches) {
            const std::string tag = std::string(format) + (*sw ? "-snl" : "");
            SCOPED_TRACE(tag);
            const std::string arc = out + "/" + tag + "." + format;
            std::vector<std::string> words = {"a", std::string("-t") + format, arc, "named", "target.txt", "sub"};
            if (*sw) words.push_back(sw);
            const CArcCommandResult r = Run(words);
            ASSERT_EQ(r.ExitCode, 0) << S(r.ErrorText);

            std::vector<std::pair<std::string, std::string>> readers = {
                {"bsdtar", "bsdtar -xf " + ShellQuote(arc) + " -C "}};
            if (std::string(format) == "7z")
                readers.push_back({"py7zr", "/usr/bin/python3 -c 'import py7zr,sys; "
                                            "py7zr.SevenZipFile(sys.argv[1]).extractall(sys.argv[2])' " +
                                                ShellQuote(arc) + " "});
            for (const auto &reader : readers) {
                SCOPED_TRACE(reader.first);
                const std::string x = Fresh(tag + "-" + reader.first);
                ASSERT_EQ(ToolExit(reader.second + ShellQuote(x)), 0);
                EXPECT_EQ(What(x + "/named"), "link:target.txt");
                EXPECT_EQ(What(x + "/sub/up"), "link:../target.txt");
                EXPECT_EQ(What(x + "/sub/nowhere"), "link:missing.txt");
                EXPECT_EQ(What(x + "/target.txt"), "file:target data\n");
            }
            const std::string ours = Fresh(tag + "-ours");
            const CArcCommandResult x = RunOnOtherThread({"x", "-o" + ours, arc}, runner);
            EXPECT_EQ(x.ExitCode, 0) << S(x.ErrorText);
            EXPECT_EQ(What(ours + "/named"), "link:target.txt");
            EXPECT_EQ(What(ours + "/sub/up"), "link:../target.txt");
            EXPECT_EQ(What(ours + "/sub/nowhere"), "link:missing.txt");
        }
    EXPECT_TRUE(janitor.errorLists.empty());
}

// With -l or -snl- the links are read through: the archive holds the target's data under the
// link's name; a link that points nowhere is reported and the run ends non-zero, the archive whole.
TEST_F(CompressLinks, FollowingLinksStoresTheTargetsData) {
    const char *const switches[] = {"-l", "-snl-"};
    for (const char *sw : switches) {
        SCOPED_TRACE(sw);
        const std::string arc = out + "/follow" + sw + ".tar";
        const CArcCommandResult r = Run({"a", sw, arc, "named", "sub"});
        EXPECT_NE(r.ExitCode, 0);
        ASSERT_EQ(ToolExit("bsdtar -tf " + ShellQuote(arc)), 0);
        const std::string x = Fresh(std::string("follow") + sw);
        ASSERT_EQ(ToolExit("bsdtar -xf " + ShellQuote(arc) + " -C " + ShellQuote(x)), 0);
        EXPECT_EQ(What(x + "/named"), "file:target data\n");
        EXPECT_EQ(What(x + "/sub/up"), "file:target data\n");
        EXPECT_EQ(What(x + "/sub/nowhere"), "missing");
    }
}

// A single-stream format holds no link: the target's data is compressed; a link that points
// nowhere is an error and leaves no archive.
TEST_F(CompressLinks, ASingleStreamFormatCompressesWhatTheLinkPointsTo) {
    const std::string gz = out + "/named.gz";
    CArcCommandResult r = Run({"a", "-tgzip", gz, "named"});
    ASSERT_EQ(r.ExitCode, 0) << S(r.ErrorText);
    EXPECT_EQ(Shell("gzip -dc " + ShellQuote(gz)), "target data\n");

    const std::string xz = out + "/nowhere.xz";
    r = Run({"a", "-txz", xz, "sub/nowhere"});
    EXPECT_NE(r.ExitCode, 0);
    EXPECT_FALSE(Exists(xz));
}

// -snh stores a second name of a file as a hard link in a tar, which GNU tar makes again as one
// file; zip and 7z have no hard links and hold the data under both names.
TEST_F(CompressLinks, HardLinksAreLinksInTarWithSnhAndCopiesElsewhere) {
    ASSERT_TRUE(WriteFile(src + "/sub/first.txt", std::string(5000, 'h')));
    ASSERT_EQ(link((src + "/sub/first.txt").c_str(), (src + "/sub/second.txt").c_str()), 0);

    const std::string tar = out + "/hard.tar";
    CArcCommandResult r = Run({"a", "-snh", tar, "sub"});
    ASSERT_EQ(r.ExitCode, 0) << S(r.ErrorText);
    const std::string x = Fresh("hard");
    ASSERT_EQ(ToolExit("tar -xf " + ShellQuote(tar) + " -C " + ShellQuote(x)), 0);
    struct stat a, b;
    ASSERT_EQ(stat((x + "/sub/first.txt").c_str(), &a), 0);
    ASSERT_EQ(stat((x + "/sub/second.txt").c_str(), &b), 0);
    EXPECT_EQ(a.st_ino, b.st_ino);
    EXPECT_EQ(ReadFile(x + "/sub/second.txt"), std::string(5000, 'h'));
    // The data is in the archive once.
    EXPECT_NE(Shell("bsdtar -tvf " + ShellQuote(tar)).find("sub/second.txt link to sub/first.txt"), std::string::npos);
    EXPECT_EQ(Shell("bsdtar -xOf " + ShellQuote(tar) + " 2>&1"), std::string(5000, 'h'));

    // Without the switch, each name holds its own copy.
    const std::string plain = out + "/plain.tar";
    ASSERT_EQ(Run({"a", plain, "sub"}).ExitCode, 0);
    EXPECT_EQ(Shell("bsdtar -xOf " + ShellQuote(plain) + " sub/second.txt"), std::string(5000, 'h'));

    const char *const formats[] = {"zip", "7z"};
    for (const char *format : formats) {
        SCOPED_TRACE(format);
        const std::string arc = out + "/hard." + format;
        ASSERT_EQ(Run({"a", "-snh", std::string("-t") + format, arc, "sub"}).ExitCode, 0);
        EXPECT_EQ(Shell("bsdtar -xOf " + ShellQuote(arc) + " sub/first.txt"), std::string(5000, 'h'));
        EXPECT_EQ(Shell("bsdtar -xOf " + ShellQuote(arc) + " sub/second.txt"), std::string(5000, 'h'));
    }
}

// A zip or 7z whose link points out of the output folder and then holds a file under the link's
// name: our extraction writes nothing through the link.
TEST_F(CompressLinks, ExtractionWritesNothingThroughAStoredLink) {
    const std::string outside = tmp / "outside";
    ASSERT_EQ(mkdir(outside.c_str(), 0755), 0);
    ASSERT_EQ(symlink(outside.c_str(), (tmp / "l").c_str()), 0);
    ASSERT_TRUE(WriteFile(tmp / "victim", "pwned"));
    const std::string script = "import os, sys, py7zr, zipfile\n"
                               "os.chdir(sys.argv[1])\n"
                               "with py7zr.SevenZipFile('h.7z', 'w') as z:\n"
                               "    z.write('l', 'l')\n"
                               "    z.write('victim', 'l/victim')\n"
                               "zi = zipfile.ZipInfo('l')\n"
                               "zi.create_system = 3\n"
                               "zi.external_attr = 0o120777 << 16\n"
                               "with zipfile.ZipFile('h.zip', 'w') as z:\n"
                               "    z.writestr(zi, sys.argv[2])\n"
                               "    z.writestr('l/victim', 'pwned')\n";
    ASSERT_TRUE(WriteFile(tmp / "make.py", script));
    ASSERT_EQ(ToolExit("/usr/bin/python3 " + ShellQuote(tmp / "make.py") + " " + ShellQuote(tmp.Path()) + " " +
                       ShellQuote(outside)),
              0);
    const char *const archives[] = {"h.7z", "h.zip"};
    for (const char *name : archives) {
        SCOPED_TRACE(name);
        const std::string x = Fresh(name);
        RunOnOtherThread({"x", "-y", "-o" + x, tmp / name}, runner);
        EXPECT_EQ(What(outside + "/victim"), "missing");
        EXPECT_EQ(What(x + "/l"), "link:" + outside);
    }
}
