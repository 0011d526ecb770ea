// Extraction, testing and checksums through the real runner, front-ends, dialogs and progress
// window, with archives made by Debian's tools; every dialog is answered by a timer.
#include <QCheckBox>

#include "extract_test_support.h"
#include "mainwindow.h"

using namespace extracttest;
using testsupport::Sh;
using testsupport::Shell;
using testsupport::Tree;

namespace {

const ::testing::Environment *const g_env = ::testing::AddGlobalTestEnvironment(new apptest::CAppEnvironment);

class ExtractRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char *out = getenv("TARNOVA_TEST_OUTPUT_DIR");
        ASSERT_NE(out, nullptr);
        setenv("TARNOVA_HOME_DIR", (std::string(out) + "/").c_str(), 1);
        ASSERT_TRUE(tmp.Ok());
        src = tmp / "src";
        ASSERT_EQ(Sh("mkdir -p '" + src + "/sub/深' && printf 'alpha\\n' > '" + src + "/a.txt' && printf 'beta' > '" +
                     src + "/sub/b.txt' && printf '中文内容' > '" + src + "/sub/深/名字.txt' && head -c 60000 " +
                     "/dev/urandom | base64 > '" + src + "/sub/rand.bin'"),
                  0);
    }
    void TearDown() override { progresstest::FlushReleasedWindows(); }

    std::string Make(const std::string &cmd) { return "cd '" + src + "' && " + cmd; }

    mainwindow main;
    testsupport::TempFolder tmp;
    std::string src;
    progresstest::CWatchdog watchdog{240};
};

TEST_F(ExtractRunTest, ExtractsEachFormatIntoANewFolderThroughTheDialog) {
    const struct {
        const char *name;
        std::string make; // run in the source folder, writes the archive
        const char *archive;
    } cases[] = {
        {"zip", "zip -qr ../a.zip .", "a.zip"},
        {"7z",
         "/usr/bin/python3 -c \"import py7zr; z=py7zr.SevenZipFile('../a.7z','w'); z.writeall('.', '');"
         " z.close()\"",
         "a.7z"},
        {"tar.xz", "tar -cJf ../a.tar.xz .", "a.tar.xz"},
        {"split zip", "zip -qr -s 64k ../split.zip .", "split.zip"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(Sh(Make(c.make)), 0);
        const std::string out = tmp / (std::string("out-") + c.name) + "/new/";
        CDialogScript script;
        script.Add("unzipwindow", Extract(out));
        const CArcCommandResult r = RunCommand({"x", "-ad", "-an", "-ai!" + (tmp / c.archive)});
        EXPECT_FALSE(r.Failed) << testsupport::S(r.ErrorText);
        EXPECT_EQ(r.ExitCode, 0);
        EXPECT_TRUE(script.unexpected.empty()) << script.Unexpected();
        EXPECT_EQ(script.shown["unzipwindow"], 1);
        auto got = Tree(out);
        got.erase(".");
        EXPECT_EQ(got, Tree(src));
    }
}

TEST_F(ExtractRunTest, ExtractHereWritesBesideTheArchive) {
    ASSERT_EQ(Sh(Make("zip -qr ../here.zip a.txt sub")), 0);
    CDialogScript script;
    const CArcCommandResult r = RunCommand({"x", "-o" + tmp.Path() + "/", "-an", "-ai!" + (tmp / "here.zip")});
    EXPECT_EQ(r.ExitCode, 0);
    EXPECT_EQ(testsupport::ReadFile(tmp / "a.txt"), "alpha\n");
    EXPECT_EQ(testsupport::ReadFile(tmp / "sub/深/名字.txt"), "中文内容");
    EXPECT_TRUE(script.unexpected.empty()) << script.Unexpected();
}

TEST_F(ExtractRunTest, TreeDeeperThanTheFileLayerPathLimit) {
    // 600 levels of "dd/" make paths of 1,800 characters: beyond what the file layer once took in
    // one piece, still within what the system takes.
    const std::string arc = tmp / "deep.tar";
    ASSERT_EQ(Sh("/usr/bin/python3 -c \"import tarfile, io\n"
                 "with tarfile.open('" +
                 arc +
                 "', 'w', format=tarfile.GNU_FORMAT) as t:\n"
                 "    name = '/'.join(['dd'] * 600)\n"
                 "    ti = tarfile.TarInfo(name + '/leaf.txt'); ti.size = 4\n"
                 "    t.addfile(ti, io.BytesIO(b'deep'))\n\""),
              0);
    const std::string out = tmp / "out";
    for (int round = 0; round < 2; round++) {
        SCOPED_TRACE(round); // the second run finds everything already there
        CDialogScript script;
        if (round == 1) script.Add("overwritewindow", apptest::Answer("pushButton_yes_all"));
        const CArcCommandResult r = RunCommand({"x", "-o" + out + "/", "-an", "-ai!" + arc});
        EXPECT_EQ(r.ExitCode, 0) << testsupport::S(r.ErrorText);
        EXPECT_TRUE(script.unexpected.empty()) << script.Unexpected();
    }
    EXPECT_EQ(Sh("cd '" + out + "' && find . -name leaf.txt -execdir cat {} + | grep -qx deep"), 0);
    Sh("rm -rf '" + out + "'");
}

TEST_F(ExtractRunTest, WrongThenRightPasswordForZipCryptoAndAes) {
    // Passwords with a blank, punctuation and Chinese must work wherever they are typed.
    const struct {
        const char *name;
        std::string make;
        QString password;
        bool inDialog; // typed into the extract dialog, else into the prompt
    } cases[] = {
        {"ZipCrypto", "zip -q -P 'p w!#' ../enc.zip a.txt sub/b.txt", "p w!#", true},
        {"AES",
         "bsdtar --format zip --options zip:encryption=aes256 --passphrase '密码 x!' -cf ../enc.zip a.txt sub/b.txt",
         QString::fromUtf8("密码 x!"), false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(Sh("rm -f '" + (tmp / "enc.zip") + "' && " + Make(c.make)), 0);
        const std::string wrongOut = tmp / (std::string("wrong-") + c.name) + "/";
        {
            CDialogScript script;
            script.Add("unzipwindow", Extract(wrongOut));
            script.Add("passwordwindow", TypePassword("wrong"));
            const CArcCommandResult r = RunCommand({"x", "-ad", "-an", "-ai!" + (tmp / "enc.zip")});
            EXPECT_EQ(r.ExitCode, 2);
            ASSERT_FALSE(script.boxTexts.empty());
            // ZipCrypto checks a password against one byte: one wrong password in 256 passes that check
            // and the item then fails its CRC instead.
            const bool passedCheckByte = std::string(c.name) == "ZipCrypto" &&
                                         script.boxTexts[0].contains(QString::fromUtf8("校验失败"));
            EXPECT_TRUE(script.boxTexts[0].contains(QString::fromUtf8("密码错误")) || passedCheckByte)
                << script.boxTexts[0].toStdString();
            EXPECT_NE(testsupport::ReadFile(wrongOut + "a.txt"), "alpha\n");
        }
        const std::string out = tmp / (std::string("right-") + c.name) + "/";
        CDialogScript script;
        if (c.inDialog) {
            script.Add("unzipwindow", Extract(out, [&](QWidget *d) {
                           d->findChild<QLineEdit *>("lineEdit_password")->setText(c.password);
                       }));
        } else {
            script.Add("unzipwindow", Extract(out));
            script.Add("passwordwindow", TypePassword(c.password));
        }
        const CArcCommandResult r = RunCommand({"x", "-ad", "-an", "-ai!" + (tmp / "enc.zip")});
        EXPECT_EQ(r.ExitCode, 0);
        EXPECT_EQ(testsupport::ReadFile(out + "a.txt"), "alpha\n");
        EXPECT_EQ(testsupport::ReadFile(out + "sub/b.txt"), "beta");
        EXPECT_TRUE(script.unexpected.empty()) << script.Unexpected();
        EXPECT_EQ(script.shown["passwordwindow"], c.inDialog ? 0 : 1);
    }
}

TEST_F(ExtractRunTest, EachOverwriteAnswerLeavesTheRightFiles) {
    ASSERT_EQ(Sh(Make("zip -q ../ow.zip a.txt sub/b.txt")), 0);
    const struct {
        const char *name;
        int modeRow; // overwrite-mode row in the dialog
        std::vector<const char *> answers;
        std::map<std::string, std::string> expect; // relative path -> content
    } cases[] = {
        {"yes", 0, {"pushButton_yes", "pushButton_yes"}, {{"a.txt", "alpha\n"}, {"sub/b.txt", "beta"}}},
        {"no", 0, {"pushButton_no", "pushButton_no"}, {{"a.txt", "old a"}, {"sub/b.txt", "old b"}}},
        {"yes to all", 0, {"pushButton_yes_all"}, {{"a.txt", "alpha\n"}, {"sub/b.txt", "beta"}}},
        {"no to all", 0, {"pushButton_no_all"}, {{"a.txt", "old a"}, {"sub/b.txt", "old b"}}},
        {"rename automatically",
         0,
         {"pushButton_auto_rename"},
         {{"a.txt", "old a"}, {"a_1.txt", "alpha\n"}, {"sub/b.txt", "old b"}, {"sub/b_1.txt", "beta"}}},
        {"rename existing",
         4,
         {},
         {{"a.txt", "alpha\n"}, {"a_1.txt", "old a"}, {"sub/b.txt", "beta"}, {"sub/b_1.txt", "old b"}}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const std::string out = tmp / (std::string("ow-") + c.name);
        ASSERT_EQ(Sh("mkdir -p '" + out + "/sub' && printf 'old a' > '" + out + "/a.txt' && printf 'old b' > '" + out +
                     "/sub/b.txt'"),
                  0);
        CDialogScript script;
        const int row = c.modeRow;
        script.Add("unzipwindow", Extract(out, [row](QWidget *d) {
                       d->findChild<QComboBox *>("comboBox_overwritemode")->setCurrentIndex(row);
                   }));
        for (const char *answer : c.answers)
            script.Add("overwritewindow", apptest::Answer(answer));
        const CArcCommandResult r = RunCommand({"x", "-ad", "-an", "-ai!" + (tmp / "ow.zip")});
        EXPECT_EQ(r.ExitCode, 0);
        EXPECT_TRUE(script.unexpected.empty()) << script.Unexpected();
        EXPECT_EQ(script.shown["overwritewindow"], (int)c.answers.size());
        std::map<std::string, std::string> got;
        for (const auto &e : Tree(out))
            if (e.second != "d") got[e.first] = e.second.substr(2);
        EXPECT_EQ(got, c.expect);
    }
}

TEST_F(ExtractRunTest, CancelHalfwayLeavesNothingOutsideTheFolder) {
    const std::string big = tmp / "big";
    ASSERT_EQ(Sh("mkdir -p '" + big + "' && cd '" + big + "' && for f in z1 z2 z3; do head -c 300000000 /dev/zero" +
                 " > $f.bin; done && tar -cf ../big.tar z1.bin z2.bin z3.bin && cd .. && rm -rf '" + big + "'"),
              0);
    const auto before = testsupport::DirEntries(tmp.Path());
    const std::string out = tmp / "cancelled/";
    CDialogScript script;
    script.Add("unzipwindow", Extract(out));
    // Cancel as soon as the first file is being written; the question is answered yes.
    progresstest::When([&] { return testsupport::Exists(out + "z1.bin"); },
                       [] {
                           for (QWidget *w : QApplication::topLevelWidgets())
                               if (qobject_cast<progresswindow *>(w) && w->isVisible())
                                   apptest::Click(w, "pushButton_cancle");
                       },
                       nullptr, 60000);
    const CArcCommandResult r = RunCommand({"x", "-ad", "-an", "-ai!" + (tmp / "big.tar")});
    EXPECT_EQ(r.ExitCode, kRunnerExit_Cancel);
    ASSERT_FALSE(script.boxTexts.empty());
    EXPECT_EQ(script.boxTexts[0], QString::fromUtf8("您真的要取消吗？"));
    auto after = testsupport::DirEntries(tmp.Path());
    after.erase("cancelled");
    EXPECT_EQ(after, before);
    // The file being written when the run stopped is not left cut short; a file that is there
    // is whole.
    for (const char *name : {"z1.bin", "z2.bin", "z3.bin"}) {
        struct stat st;
        if (stat((out + name).c_str(), &st) == 0) {
            EXPECT_EQ(st.st_size, 300000000) << name;
        }
    }
    // The run stopped: not everything came out.
    EXPECT_FALSE(testsupport::Exists(out + "z3.bin"));
}

TEST_F(ExtractRunTest, TestOfADamagedArchiveShowsItsErrors) {
    ASSERT_EQ(Sh(Make("zip -q -0 ../bad.zip sub/rand.bin a.txt")), 0);
    // Spoil bytes inside the stored data of the first file.
    ASSERT_EQ(Sh("printf 'XXXXXXXX' | dd of='" + (tmp / "bad.zip") + "' bs=1 seek=20000 conv=notrunc 2>/dev/null"), 0);
    CDialogScript script;
    const CArcCommandResult r = RunCommand({"t", "-an", "-ai!" + (tmp / "bad.zip")});
    EXPECT_EQ(r.ExitCode, 2);
    ASSERT_FALSE(script.boxTexts.empty());
    EXPECT_EQ(script.boxTexts[0], QString::fromUtf8("校验失败"));
    ASSERT_EQ(script.errorLists.size(), 1u);
    EXPECT_TRUE(script.errorLists[0].contains(QString::fromStdString(tmp / "bad.zip")));
    EXPECT_TRUE(script.errorLists[0].contains(QString::fromUtf8("CRC 校验失败 : sub/rand.bin")))
        << script.errorLists[0].toStdString();
}

TEST_F(ExtractRunTest, ABadItemInTheMiddleCostsOnlyThatItem) {
    // Five stored items; the third one's data is spoiled, so only its check fails.
    const std::string files = tmp / "five";
    ASSERT_EQ(Sh("mkdir -p '" + files + "' && cd '" + files + "' && for i in 1 2 4 5; do head -c 3000 /dev/urandom >" +
                 " f$i; done && head -c 3000 /dev/zero | tr '\\0' X > f3"),
              0);
    const std::string spoil = "/usr/bin/python3 -c \"import sys; d=bytearray(open(sys.argv[1],'rb').read());"
                              " i=d.find(b'X'*3000); assert i>=0; d[i+1500]^=1; open(sys.argv[1],'wb').write(d)\" ";
    const struct {
        const char *name;
        std::string make;
    } cases[] = {
        {"zip", "zip -q -0 ../five.zip f1 f2 f3 f4 f5"},
        {"7z", "/usr/bin/python3 -c \"import py7zr; z=py7zr.SevenZipFile('../five.7z','w',"
               " filters=[{'id': py7zr.FILTER_COPY}]); [z.write(f) for f in ['f1','f2','f3','f4','f5']]; z.close()\""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const std::string arc = tmp / (std::string("five.") + c.name);
        ASSERT_EQ(Sh("cd '" + files + "' && " + c.make + " && " + spoil + "'" + arc + "'"), 0);
        const std::string out = tmp / (std::string("five-") + c.name) + "/";
        CDialogScript script;
        const CArcCommandResult r = RunCommand({"x", "-o" + out, "-an", "-ai!" + arc});
        EXPECT_EQ(r.ExitCode, 2);
        for (const char *f : {"f1", "f2", "f4", "f5"})
            EXPECT_EQ(testsupport::ReadFile(out + f), testsupport::ReadFile(files + "/" + f)) << f;
        // One box for the run, and the list names the item and counts the failures.
        EXPECT_EQ(script.boxTexts, std::vector<QString>{QString::fromUtf8("校验失败")});
        ASSERT_EQ(script.errorLists.size(), 1u);
        const QString list = script.errorLists[0];
        EXPECT_TRUE(list.contains(QString::fromUtf8("CRC 校验失败 : f3"))) << list.toStdString();
        EXPECT_TRUE(list.contains(QString::fromUtf8("1 个项目失败"))) << list.toStdString();
        EXPECT_FALSE(list.contains(QString::fromUtf8(": f4"))) << list.toStdString();
    }
}

// A run that writes nothing leaves no output folder: the password prompt cancelled, for names
// encrypted (asked while opening) and for data encrypted (asked while extracting).
TEST_F(ExtractRunTest, CancelledPasswordPromptLeavesNoOutputFolder) {
    for (const bool names : {true, false}) {
        SCOPED_TRACE(names ? "names encrypted" : "data encrypted");
        const std::string arc = tmp / (names ? "he.7z" : "data.7z");
        ASSERT_EQ(Sh("cd '" + tmp.Path() + "' && printf secret > s.txt && /usr/bin/python3 -c \"import py7zr;" +
                     " z=py7zr.SevenZipFile('" + arc + "','w',password='pw',header_encryption=" +
                     (names ? "True" : "False") + "); z.write('s.txt'); z.close()\""),
                  0);
        const std::string out = tmp / (names ? "out-he" : "out-data") + "/";
        CDialogScript script;
        script.Add("passwordwindow", apptest::Answer("pushButton_cancle"));
        const CArcCommandResult r = RunCommand({"x", "-o" + out, "-an", "-ai!" + arc});
        EXPECT_NE(r.ExitCode, 0);
        EXPECT_EQ(script.shown["passwordwindow"], 1);
        EXPECT_FALSE(testsupport::Exists(out)) << Shell("ls -R '" + out + "'");
    }
}

// Extraction and testing windows name their own work, count failed items rather than lines,
// show no sample text of the form, and their title follows the bar.
TEST_F(ExtractRunTest, ExtractionAndTestWindowsNameTheirWork) {
    const std::string files = tmp / "three";
    ASSERT_EQ(Sh("mkdir -p '" + files + "' && cd '" + files + "' && head -c 300000 /dev/urandom > f1 &&" +
                 " head -c 3000 /dev/zero | tr '\\0' X > f2 && zip -q -0 ../three.zip f1 f2 && cd .. &&" +
                 " /usr/bin/python3 -c \"import sys; d=bytearray(open('three.zip','rb').read());" +
                 " i=d.find(b'X'*3000); d[i+1500]^=1; open('three.zip','wb').write(d)\""),
              0);
    const struct {
        const char *command;
        const char *work;  // in the title
        const char *speed; // the speed row's caption
    } cases[] = {{"x", "正在提取", "解压速度："}, {"t", "正在测试", "测试速度："}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.command);
        CDialogScript script;
        RunCommand({c.command, "-o" + (tmp / (std::string("out-") + c.command)), "-an", "-ai!" + (tmp / "three.zip")});
        ASSERT_EQ(script.windowTexts.size(), 1u);
        std::map<std::string, QString> w = script.windowTexts[0];
        EXPECT_EQ(w["label_speed"], QString::fromUtf8(c.speed));
        EXPECT_TRUE(w["label_title"].contains(QString::fromUtf8(c.work))) << w["label_title"].toStdString();
        // The whole archive was read: the bar is full and the title says so.
        const QStringList bar = w["bar"].split('/');
        ASSERT_EQ(bar.size(), 2);
        EXPECT_EQ(bar[0], bar[1]);
        EXPECT_TRUE(w["label_title"].startsWith("100%")) << w["label_title"].toStdString();
        EXPECT_NE(w["label_processed_value"], QString("0"));
        // One failed item: the archive's name and the summary are listed, but counted once.
        EXPECT_EQ(w["label_error_value"], QString("1"));
        for (const char *label : {"label_status", "label_filename"})
            for (const char *sample : {"正在打开", "文件名称"})
                EXPECT_NE(w[label], QString::fromUtf8(sample)) << label;
    }
}

TEST_F(ExtractRunTest, TestOfAGoodArchiveReportsNoErrors) {
    ASSERT_EQ(Sh(Make("zip -qr ../good.zip .")), 0);
    CDialogScript script;
    const CArcCommandResult r = RunCommand({"t", "-an", "-ai!" + (tmp / "good.zip")});
    EXPECT_EQ(r.ExitCode, 0);
    ASSERT_EQ(script.boxTexts.size(), 1u);
    const QString text = script.boxTexts[0];
    EXPECT_TRUE(text.startsWith(QString::fromUtf8("压缩包： 1\n"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QString::fromUtf8("文件: 4\n")));
    EXPECT_TRUE(text.endsWith(QString::fromUtf8("\n未发现错误")));
    EXPECT_EQ(script.boxShown[0], text); // every line of the report is on screen
}

std::string Upper(std::string s) {
    for (char &ch : s)
        ch = (char)toupper((unsigned char)ch);
    return s;
}

TEST_F(ExtractRunTest, ChecksumsMatchIndependentTools) {
    for (const char *file : {"a.txt", "sub/rand.bin"}) {
        SCOPED_TRACE(file);
        const std::string path = src + "/" + file;
        const std::string sha = Upper(Shell("sha256sum '" + path + "' | cut -c1-64"));
        const std::string crc = Upper(Shell("/usr/bin/python3 -c \"import zlib,sys;"
                                            "print('%08x' % zlib.crc32(open(sys.argv[1],'rb').read()))\" '" +
                                            path + "'"));
        CDialogScript script;
        const CArcCommandResult r = RunCommand({"h", "-scrc*", "--", path});
        EXPECT_EQ(r.ExitCode, 0);
        ASSERT_EQ(script.boxTexts.size(), 1u);
        const QString text = script.boxTexts[0];
        EXPECT_TRUE(text.contains(QString::fromStdString("SHA256: " + sha.substr(0, 64)))) << text.toStdString();
        EXPECT_TRUE(text.contains(QString::fromStdString("CRC32: " + crc.substr(0, 8)))) << text.toStdString();
        EXPECT_TRUE(text.contains("CRC64: "));
        EXPECT_TRUE(text.contains("SHA1: "));
        // The box shows the whole report, not only its first lines.
        EXPECT_EQ(script.boxShown[0], text);
    }
    // Two files: counts and the sums of data and of data with names.
    CDialogScript script;
    const CArcCommandResult r = RunCommand({"h", "-scrcSHA256", "--", src + "/a.txt", src + "/sub/b.txt"});
    EXPECT_EQ(r.ExitCode, 0);
    ASSERT_EQ(script.boxTexts.size(), 1u);
    EXPECT_TRUE(script.boxTexts[0].contains(QString::fromUtf8("文件: 2\n")));
    EXPECT_TRUE(script.boxTexts[0].contains(QString::fromUtf8("SHA256 数据校验：")));
    EXPECT_TRUE(script.boxTexts[0].contains(QString::fromUtf8("SHA256 数据及文件名校验：")));
}

TEST_F(ExtractRunTest, AHasherThatCannotBeLoadedIsAnError) {
    {
        CDialogScript script;
        const CArcCommandResult r = RunCommand({"h", "-scrcNOSUCH", "--", src + "/a.txt"});
        EXPECT_EQ(r.ExitCode, 2);
        ASSERT_EQ(script.boxTexts.size(), 1u);
        EXPECT_EQ(script.boxTexts[0], QString::fromUtf8("无法加载校验算法：NOSUCH"));
    }
    // Without the plug-in there is no hasher at all: an error too, never an empty success.
    const std::string empty = tmp / "no-plugins";
    ASSERT_EQ(Sh("mkdir '" + empty + "'"), 0);
    setenv("TARNOVA_HOME_DIR", (empty + "/").c_str(), 1);
    CDialogScript script;
    const CArcCommandResult r = RunCommand({"h", "--", src + "/a.txt"});
    EXPECT_EQ(r.ExitCode, 2);
    ASSERT_EQ(script.boxTexts.size(), 1u);
    EXPECT_EQ(script.boxTexts[0], QString::fromUtf8("无法加载校验算法：CRC32"));
}

} // namespace
