// The compress dialog driven as a user would, through the command runner on the GUI thread; every
// archive is checked with a tool that is not ours.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>

#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

#include <set>

#include "compress_test_support.h"
#include "CompressionOptions.h"
#include "ZipRegistry.h"
#include "mainwindow.h"

using namespace compresstest;
using testsupport::Exists;
using testsupport::ReadFile;
using testsupport::WriteFile;

namespace {

const ::testing::Environment *const g_env = ::testing::AddGlobalTestEnvironment(new apptest::CAppEnvironment);

// py7zr's view of a 7z archive: "OK" and the sorted member names, or the error.
std::string Py7zr(const std::string &path, const std::string &password = std::string()) {
    // One script per process: tests of this file run side by side.
    static const std::string script = "/tmp/tarnova-compress-check-" + std::to_string(getpid()) + ".py";
    WriteFile(script, "import py7zr,sys\n"
                      "with py7zr.SevenZipFile(sys.argv[1], password=sys.argv[2] or None) as z:\n"
                      "  r = z.testzip()\n"
                      "  print('OK' if r is None else 'BAD ' + r)\n"
                      "  print('\\n'.join(sorted(z.getnames())))\n");
    return Shell("/usr/bin/python3 " + script + " " + ShellQuote(path) + " " + ShellQuote(password) + " 2>&1");
}

void Touch(const std::string &path, time_t when) {
    struct utimbuf ub;
    ub.actime = ub.modtime = when;
    utime(path.c_str(), &ub);
}

// Files of the folder and of /tmp whose names start with the archive's name: a left-over archive,
// volume or temporary file.
std::vector<std::string> LeftOvers(const std::string &folder, const std::string &archiveName) {
    std::vector<std::string> found;
    for (const std::string &dir : {folder, std::string("/tmp")})
        for (const std::string &name : testsupport::DirEntries(dir))
            if (name.compare(0, archiveName.size(), archiveName) == 0) found.push_back(dir + "/" + name);
    return found;
}

class CompressDialog : public ::testing::Test {
protected:
    mainwindow main;
    testsupport::TempFolder tmp;
    std::string src, out;
    CRunner runner;
    CJanitor janitor;

    void SetUp() override {
        ASSERT_TRUE(tmp.Ok());
        const char *dir = getenv("TARNOVA_TEST_OUTPUT_DIR");
        ASSERT_TRUE(dir) << "TARNOVA_TEST_OUTPUT_DIR is not set";
        setenv("TARNOVA_HOME_DIR", (std::string(dir) + "/").c_str(), 1);
        src = tmp / "源文件";
        out = tmp / "输出";
        ASSERT_EQ(mkdir(src.c_str(), 0755), 0);
        ASSERT_EQ(mkdir((src + "/文档").c_str(), 0755), 0);
        ASSERT_EQ(mkdir(out.c_str(), 0755), 0);
        ASSERT_TRUE(WriteFile(src + "/文档/说明.txt", "说明文字\n"));
        ASSERT_TRUE(WriteFile(src + "/a b.txt", std::string(20000, 'a')));
        // Fixed bytes: a run must not depend on what the random source gave this time.
        ASSERT_EQ(testsupport::Sh("/usr/bin/python3 -c 'import random,sys; random.seed(7); "
                                  "sys.stdout.buffer.write(random.randbytes(100000))' > " +
                                  ShellQuote(src + "/图片 1.bin")),
                  0);
    }

    CRunResult Compress(const std::string &archive, const CChoices &c) {
        return CompressWithDialog(archive, {src}, c, janitor, runner);
    }
};

std::string Joined(const std::vector<std::string> &v) {
    std::string s;
    for (const std::string &e : v)
        s += e + " | ";
    return s;
}

bool AnyContains(const std::vector<std::string> &v, const std::string &part) {
    for (const std::string &e : v)
        if (e.find(part) != std::string::npos) return true;
    return false;
}

} // namespace

// Every writable format through the real dialog, each archive read by an independent tool. The
// single-stream formats take the tar made first, giving tar.gz and friends.
TEST_F(CompressDialog, EveryWritableFormatIsReadByAnIndependentTool) {
    const std::string names = "源文件\n源文件/a b.txt\n源文件/图片 1.bin\n源文件/文档\n源文件/文档/说明.txt\n";

    CRunResult r = Compress(out + "/档案", {"7z"});
    ASSERT_TRUE(r.dialogSeen);
    EXPECT_EQ(r.result.ExitCode, 0) << Joined(janitor.boxes);
    EXPECT_EQ(Py7zr(out + "/档案.7z"), "OK\n" + names);

    r = Compress(out + "/档案", {"zip"});
    EXPECT_EQ(r.result.ExitCode, 0) << Joined(janitor.boxes);
    EXPECT_EQ(ToolExit("unzip -t " + ShellQuote(out + "/档案.zip")), 0);
    EXPECT_NE(Shell("unzip -Z1 " + ShellQuote(out + "/档案.zip")).find("源文件/文档/说明.txt"), std::string::npos);

    r = Compress(out + "/档案", {"tar"});
    EXPECT_EQ(r.result.ExitCode, 0) << Joined(janitor.boxes);
    const std::string tar = out + "/档案.tar";
    EXPECT_NE(Shell("tar -tf " + ShellQuote(tar)).find("源文件/文档/说明.txt"), std::string::npos);

    struct {
        const char *format, *ext, *check;
    } const streams[] = {
        {"gzip", "gz", "gzip -t"}, {"bzip2", "bz2", "bzip2 -t"}, {"xz", "xz", "xz -t"}, {"zstd", "zst", "zstd -t"}};
    for (const auto &s : streams) {
        SCOPED_TRACE(s.format);
        r = CompressWithDialog(tar, {tar}, {s.format}, janitor, runner);
        EXPECT_EQ(r.result.ExitCode, 0) << Joined(janitor.boxes);
        const std::string packed = tar + "." + s.ext;
        EXPECT_EQ(ToolExit(std::string(s.check) + " " + ShellQuote(packed)), 0);
        // The stream holds the tar itself.
        EXPECT_NE(Shell("bsdtar -tf " + ShellQuote(packed)).find("源文件/文档/说明.txt"), std::string::npos);
    }
    EXPECT_TRUE(janitor.errorLists.empty()) << Joined(janitor.errorLists);
}

// Each level and method of the 7z and Zip rows: either an archive the independent tool accepts,
// or the plug-in's refusal as a clear message with nothing left behind.
TEST_F(CompressDialog, EachLevelAndMethodOf7zAndZipWritesOrIsRefusedCleanly) {
    struct CCase {
        const char *format, *level, *method;
    };
    const CCase cases[] = {
        {"7z", "存储", ""},         {"7z", "最快", ""},           {"7z", "较快", ""},       {"7z", "标准", "LZMA2"},
        {"7z", "标准", "LZMA"},     {"7z", "标准", "PPMd"},       {"7z", "标准", "BZip2"},  {"7z", "较好", ""},
        {"7z", "最好", ""},         {"zip", "存储", ""},          {"zip", "最快", ""},      {"zip", "较快", ""},
        {"zip", "标准", "Deflate"}, {"zip", "标准", "BZip2"},     {"zip", "标准", "LZMA"},  {"zip", "较好", ""},
        {"zip", "最好", ""},
    };
    int n = 0, refused = 0;
    for (const CCase &c : cases) {
        const std::string name = "级别" + std::to_string(n++);
        SCOPED_TRACE(std::string(c.format) + " " + c.level + " " + c.method);
        const size_t boxesBefore = janitor.boxes.size();
        const CRunResult r = Compress(out + "/" + name, {c.format, c.level, c.method});
        ASSERT_TRUE(r.dialogSeen);
        const std::string path = out + "/" + name + "." + c.format;
        if (r.result.ExitCode == 0) {
            // py7zr has no PPMd here: bsdtar reads those back.
            if (std::string(c.method) == "PPMd" && std::string(c.format) == "7z")
                EXPECT_EQ(ToolExit("bsdtar -xOf " + ShellQuote(path)), 0);
            else if (std::string(c.format) == "7z")
                EXPECT_EQ(Py7zr(path).substr(0, 3), "OK\n");
            else if (std::string(c.method) == "LZMA") // Debian's unzip has no LZMA; Python reads it
                EXPECT_EQ(ToolExit("/usr/bin/python3 -c 'import sys,zipfile; "
                               "sys.exit(zipfile.ZipFile(sys.argv[1]).testzip() is not None)' " +
                               ShellQuote(path)),
                          0);
            else
                EXPECT_EQ(ToolExit("unzip -t " + ShellQuote(path)), 0);
            continue;
        }
        refused++;
        ASSERT_GT(janitor.boxes.size(), boxesBefore);
        EXPECT_NE(janitor.boxes.back().find("不支持的压缩方法"), std::string::npos) << janitor.boxes.back();
        EXPECT_EQ(LeftOvers(out, name), std::vector<std::string>());
    }
    // The dialog offers only what the plug-in writes.
    EXPECT_EQ(refused, 0);
}

// The dialog offers for each format exactly the methods the plug-in writes for it; a method given
// on the command line that the plug-in refuses is named before anything exists.
TEST_F(CompressDialog, OfferedMethodsAreThoseThePluginWrites) {
    CCodecs *codecs = new CCodecs;
    CMyComPtr<ICompressCodecsInfo> holder = codecs;
    ASSERT_EQ(codecs->Load(), S_OK);
    std::string refusedZipMethod;
    for (const char *format : {"7z", "zip", "gzip", "bzip2", "xz"}) {
        SCOPED_TRACE(format);
        const int index = codecs->FindFormatForArchiveType(U(format));
        ASSERT_GE(index, 0);
        const NCompressDialog::CFormatRow &row = NCompressDialog::FindFormatRow(U(format));
        for (const char *name : {"LZMA", "LZMA2", "PPMd", "BZip2", "Deflate", "Deflate64"}) {
            bool offered = false;
            for (unsigned i = 0; i < row.NumMethods; i++)
                offered = offered || S(UString(NCompressDialog::GetMethodName(row.Methods[i]))) == name;
            CObjectVector<CProperty> props;
            CProperty p;
            p.Name = L"m";
            p.Value = U(name);
            props.Add(p);
            UString text;
            const bool writes = CheckWriteOptions(codecs, index, props, text) == S_OK;
            // Zip's list is exactly what the plug-in writes; the others offer nothing it refuses.
            if (std::string(format) == "zip") {
                EXPECT_EQ(offered, writes) << name;
            } else if (offered) {
                EXPECT_TRUE(writes) << name;
            }
            if (!writes && std::string(format) == "zip" && refusedZipMethod.empty()) {
                EXPECT_EQ(S(text), std::string("m=") + name);
                refusedZipMethod = name;
            }
        }
    }
    codecs->CloseLibs();
    ASSERT_FALSE(refusedZipMethod.empty());

    const CArcCommandResult r =
        RunOnGuiThread({"a", "-tzip", "-mm=" + refusedZipMethod, out + "/拒绝.zip", src}, runner);
    EXPECT_EQ(r.ExitCode, kRunnerExit_Error);
    ASSERT_FALSE(janitor.boxes.empty());
    EXPECT_NE(janitor.boxes.back().find("m=" + refusedZipMethod), std::string::npos) << janitor.boxes.back();
    EXPECT_EQ(LeftOvers(out, "拒绝"), std::vector<std::string>());
}

TEST_F(CompressDialog, ZipWithAes256AndAPasswordOfBlanksAndChineseOpensInBsdtar) {
    const std::string password = "密 码 Pass 1";
    const CRunResult r = Compress(out + "/加密", {"zip", "", "", password, "AES-256"});
    ASSERT_EQ(r.result.ExitCode, 0) << Joined(janitor.boxes);
    const std::string arc = out + "/加密.zip";
    const std::string x = tmp / "x";
    ASSERT_EQ(mkdir(x.c_str(), 0755), 0);
    EXPECT_EQ(ToolExit("cd " + ShellQuote(x) + " && bsdtar --passphrase " + ShellQuote(password) + " -xf " + ShellQuote(arc)), 0);
    EXPECT_EQ(ReadFile(x + "/源文件/文档/说明.txt"), "说明文字\n");
    // Without the password nothing comes out.
    EXPECT_NE(ToolExit("bsdtar --passphrase wrong -xOf " + ShellQuote(arc) + " '源文件/a b.txt'"), 0);
}

TEST_F(CompressDialog, PasswordChecksOfTheDialog) {
    // Any character can be typed; ZipCrypto refuses what it cannot store, mismatches are refused.
    struct {
        const char *format, *encryption, *password, *again, *message;
    } const cases[] = {
        {"zip", "ZipCrypto", "密码", "密码", "密码只允许英文字符"},
        {"zip", "ZipCrypto", "abc", "abd", "密码不匹配"},
        {"zip", "AES-256", "", "", "密码过长"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.message);
        const size_t before = janitor.boxes.size();
        CChoices choices{c.format};
        choices.encryption = c.encryption;
        const std::string pw = *c.password ? c.password : std::string(100, 'x');
        const std::string again = *c.again ? c.again : pw;
        choices.more = [&](QWidget *dialog) {
            Type(dialog, "lineEdit_password", pw);
            Type(dialog, "lineEdit_password2", again);
            // Masked input shows the second field.
            EXPECT_TRUE(dialog->findChild<QLineEdit *>("lineEdit_password2")->isVisible());
            EXPECT_EQ(dialog->findChild<QLineEdit *>("lineEdit_password")->text().toStdString(), pw);
        };
        const CRunResult r = Compress(out + "/口令", choices);
        EXPECT_TRUE(r.dialogStillOpen);
        ASSERT_GT(janitor.boxes.size(), before);
        EXPECT_NE(janitor.boxes[before].find(c.message), std::string::npos) << janitor.boxes[before];
        EXPECT_FALSE(Exists(out + "/口令.zip"));
    }
}

TEST_F(CompressDialog, VolumesOfOneMebibyteAreReadBackThroughTheSplitReader) {
    ASSERT_EQ(testsupport::Sh("head -c 2500000 /dev/urandom > " + ShellQuote(src + "/大.bin")), 0);
    const CRunResult r = Compress(out + "/分卷", {"7z", "存储", "", "", "", "1M"});
    ASSERT_EQ(r.result.ExitCode, 0) << Joined(janitor.boxes);
    for (const char *v : {".001", ".002", ".003"})
        EXPECT_TRUE(Exists(out + "/分卷.7z" + v)) << v;
    struct stat st;
    ASSERT_EQ(stat((out + "/分卷.7z.001").c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 1 << 20);

    const std::string x = tmp / "x";
    const CArcCommandResult res = RunOnOtherThread({"x", "-o" + x, out + "/分卷.7z.001"}, runner);
    EXPECT_EQ(res.ExitCode, 0) << Joined(janitor.boxes) << Joined(janitor.errorLists);
    EXPECT_EQ(Shell("cmp " + ShellQuote(src + "/大.bin") + " " + ShellQuote(x + "/源文件/大.bin") + " && echo same"), "same\n");
}

TEST_F(CompressDialog, UpdateAddsNewFilesAndReplacesNewerOnes) {
    Touch(src + "/a b.txt", 1000000000);
    ASSERT_EQ(Compress(out + "/更新", {"7z"}).result.ExitCode, 0) << Joined(janitor.boxes);
    ASSERT_TRUE(WriteFile(src + "/a b.txt", "newer\n"));
    ASSERT_TRUE(WriteFile(src + "/新.txt", "new\n"));

    CChoices c{"7z"};
    c.updateMode = "更新并添加文件";
    ASSERT_EQ(Compress(out + "/更新.7z", c).result.ExitCode, 0) << Joined(janitor.boxes);
    const std::string listing = Py7zr(out + "/更新.7z");
    EXPECT_EQ(listing.substr(0, 3), "OK\n") << listing;
    EXPECT_NE(listing.find("源文件/新.txt"), std::string::npos) << listing;
    EXPECT_EQ(Shell("bsdtar -xOf " + ShellQuote(out + "/更新.7z") + " '源文件/a b.txt'"), "newer\n");
    EXPECT_EQ(LeftOvers(out, "更新.7z.tmp"), std::vector<std::string>());
}

TEST_F(CompressDialog, SourcesAreDeletedAfterCompressingWhenAsked) {
    CChoices c{"zip"};
    c.deleteSources = true;
    ASSERT_EQ(Compress(out + "/删除", c).result.ExitCode, 0) << Joined(janitor.boxes);
    EXPECT_EQ(ToolExit("unzip -t " + ShellQuote(out + "/删除.zip")), 0);
    EXPECT_FALSE(Exists(src));
}

TEST_F(CompressDialog, CancelHalfwayLeavesNoArchiveAndNoTemporaryFile) {
    ASSERT_EQ(testsupport::Sh("head -c 60000000 /dev/urandom > " + ShellQuote(src + "/大.bin")), 0);
    bool cancelled = false;
    janitor.onTick = [&] {
        if (cancelled) return;
        for (QWidget *w : QApplication::topLevelWidgets()) {
            auto *window = qobject_cast<progresswindow *>(w);
            if (!window || !window->isVisible()) continue;
            UInt64 done;
            {
                std::lock_guard<std::mutex> lock(window->sync.mutex);
                done = window->sync.numBytesCur;
            }
            if (done == 0 || done == (UInt64)(Int64)-1) return;
            cancelled = true;
            // The question "您真的要取消吗？" is answered Yes by the janitor.
            CJanitor::AskLater(window->findChild<QPushButton *>("pushButton_cancle"));
        }
    };
    const std::string name = "取消" + std::to_string(getpid());
    const CRunResult r = Compress(out + "/" + name, {"7z", "最好", "LZMA2"});
    EXPECT_TRUE(cancelled);
    EXPECT_NE(r.result.ExitCode, kRunnerExit_Error) << Joined(janitor.boxes);
    EXPECT_TRUE(AnyContains(janitor.boxes, "您真的要取消吗")) << Joined(janitor.boxes);
    EXPECT_EQ(LeftOvers(out, name), std::vector<std::string>());
}

// Compression starts its worker from the GUI thread: a cancel while the worker waits in the
// password prompt must end the run, not hang it.
TEST_F(CompressDialog, CancelWhileTheWorkerWaitsInThePasswordPromptEndsTheRun) {
    bool promptSeen = false;
    janitor.onTick = [&] {
        QWidget *modal = QApplication::activeModalWidget();
        if (promptSeen || !modal || !modal->inherits("passwordwindow")) return;
        promptSeen = true;
        for (QWidget *w : QApplication::topLevelWidgets())
            if (auto *window = qobject_cast<progresswindow *>(w))
                if (window->isVisible()) CJanitor::AskLater(window->findChild<QPushButton *>("pushButton_cancle"));
    };
    const std::string name = "口令" + std::to_string(getpid());
    const CArcCommandResult res = RunOnGuiThread({"a", "-t7z", "-p", out + "/" + name + ".7z", src}, runner);
    if (!promptSeen) GTEST_SKIP() << "the plug-in asked for no password";
    EXPECT_NE(res.ExitCode, kRunnerExit_Error) << Joined(janitor.boxes);
    EXPECT_EQ(LeftOvers(out, name), std::vector<std::string>());
}

TEST_F(CompressDialog, PerFormatOptionsAreSavedAndComeBack) {
    CChoices first{"7z", "最快", "BZip2"};
    first.more = [](QWidget *dialog) {
        Choose(dialog, "comboBox_thread", "2");
        Type(dialog, "lineEdit_param", "qs=on");
    };
    ASSERT_EQ(Compress(out + "/记住", first).result.ExitCode, 0) << Joined(janitor.boxes);
    EXPECT_EQ(Py7zr(out + "/记住.7z").substr(0, 3), "OK\n");

    // Another format in between keeps its own choices.
    ASSERT_EQ(Compress(out + "/其他", {"zip", "最好"}).result.ExitCode, 0);

    std::map<std::string, std::string> shown;
    CChoices look{"7z"};
    look.asStored = true;
    look.more = [&](QWidget *dialog) {
        for (const char *name : {"comboBox_style", "comboBox_method", "comboBox_thread"})
            shown[name] = Current(dialog, name);
        shown["param"] = dialog->findChild<QLineEdit *>("lineEdit_param")->text().toStdString();
        Choose(dialog, "comboBox_ext", "zip");
        shown["zip level"] = Current(dialog, "comboBox_style");
        apptest::Click(dialog, "btn_close");
    };
    CompressWithDialog(out + "/再看", {src}, look, janitor, runner);
    EXPECT_EQ(shown["comboBox_style"], "最快");
    EXPECT_EQ(shown["comboBox_method"], "BZip2");
    EXPECT_EQ(shown["comboBox_thread"], "2");
    EXPECT_EQ(shown["param"], "qs=on");
    EXPECT_EQ(shown["zip level"], "最好");
}

TEST_F(CompressDialog, ProfilesChooseTheFormatAndHideTheCustomPanel) {
    std::map<std::string, std::string> seen;
    CChoices c;
    c.more = [&](QWidget *dialog) {
        QWidget *frame = dialog->findChild<QWidget *>("frame_custom");
        QLabel *desc = dialog->findChild<QLabel *>("label_desc");
        const int customHeight = dialog->height();
        apptest::Click(dialog, "radio_btn_small");
        seen["small"] =
            Current(dialog, "comboBox_ext") + (frame->isVisible() ? " frame" : "") + (desc->isVisible() ? " desc" : "");
        seen["shrinks"] = dialog->height() < customHeight
                              ? "yes"
                              : "no " + std::to_string(customHeight) + " " + std::to_string(dialog->height());
        seen["name"] = Current(dialog, "comboBox_path");
        apptest::Click(dialog, "radio_btn_quick");
        seen["quick"] = Current(dialog, "comboBox_ext");
        seen["quick name"] = Current(dialog, "comboBox_path");
        for (const char *box : {"checkBox_auto_unzip", "checkBox_shutdown", "checkBox_single_bag",
                                "checkBox_low_rate_file", "checkBox_bk_zip"})
            if (dialog->findChild<QCheckBox *>(box)->isVisible()) seen["visible"] += box;
        apptest::Click(dialog, "btn_close");
    };
    CompressWithDialog(out + "/配置", {src}, c, janitor, runner);
    EXPECT_EQ(seen["small"], "7z desc");
    EXPECT_EQ(seen["shrinks"], "yes");
    EXPECT_EQ(seen["name"], "配置.7z");
    EXPECT_EQ(seen["quick"], "zip");
    EXPECT_EQ(seen["quick name"], "配置.zip");
    EXPECT_EQ(seen["visible"], "");
}

// A name of 255 bytes in the history or in the name box leaves the dialog as wide as ever: the
// box cuts the text on screen and its tool tips hold it whole.
TEST_F(CompressDialog, LongNamesInTheHistoryDoNotWidenTheDialog) {
    const std::string longName = std::string(251, 'n') + ".zip";
    auto widthOf = [&](const std::string &archive, std::string *pathTip, std::string *itemTip) {
        int width = -1;
        CChoices c;
        c.more = [&](QWidget *dialog) {
            width = dialog->width();
            QComboBox *path = dialog->findChild<QComboBox *>("comboBox_path");
            if (pathTip) *pathTip = path->toolTip().toStdString();
            if (itemTip)
                *itemTip = path->count() > 0 ? path->itemData(0, Qt::ToolTipRole).toString().toStdString() : "";
            apptest::Click(dialog, "btn_close");
        };
        CompressWithDialog(archive, {src}, c, janitor, runner);
        return width;
    };
    const int plain = widthOf(out + "/short.zip", nullptr, nullptr);
    ASSERT_GT(plain, 0);

    NCompression::CInfo stored;
    stored.Load();
    stored.ArcHistory.Insert(0, testsupport::U(out + "/" + longName));
    ASSERT_TRUE(stored.Save());
    std::string itemTip;
    EXPECT_EQ(widthOf(out + "/short.zip", nullptr, &itemTip), plain);
    EXPECT_EQ(itemTip, out + "/" + longName);

    std::string pathTip;
    EXPECT_EQ(widthOf(out + "/" + longName, &pathTip, nullptr), plain);
    EXPECT_EQ(pathTip, longName);
}

TEST_F(CompressDialog, OneInputFileOffersSingleStreamFormatsAndNamesAfterTheFile) {
    std::map<std::string, std::string> seen;
    CChoices c;
    c.more = [&](QWidget *dialog) {
        const std::vector<std::string> formats = Entries(dialog, "comboBox_ext");
        seen["gzip offered"] = std::count(formats.begin(), formats.end(), "gzip") ? "yes" : "no";
        Choose(dialog, "comboBox_ext", "7z");
        seen["7z"] = Current(dialog, "comboBox_path");
        Choose(dialog, "comboBox_ext", "gzip");
        seen["gzip"] = Current(dialog, "comboBox_path");
        seen["gzip levels"] = Joined(Entries(dialog, "comboBox_style"));
        Choose(dialog, "comboBox_ext", "tar");
        seen["tar"] = Current(dialog, "comboBox_path");
        seen["tar levels"] = Joined(Entries(dialog, "comboBox_style"));
        apptest::Click(dialog, "btn_close");
    };
    CompressWithDialog(out + "/a b.txt", {src + "/a b.txt"}, c, janitor, runner);
    EXPECT_EQ(seen["gzip offered"], "yes");
    EXPECT_EQ(seen["7z"], "a b.7z");
    EXPECT_EQ(seen["gzip"], "a b.txt.gz");
    EXPECT_EQ(seen["gzip levels"], "最快 | 标准 | 较好 | 最好 | ");
    EXPECT_EQ(seen["tar"], "a b.tar");
    EXPECT_EQ(seen["tar levels"], "存储 | ");

    // Several inputs: no single-stream format.
    CChoices several;
    several.more = [&](QWidget *dialog) {
        const std::vector<std::string> formats = Entries(dialog, "comboBox_ext");
        seen["several gzip"] = std::count(formats.begin(), formats.end(), "gzip") ? "yes" : "no";
        apptest::Click(dialog, "btn_close");
    };
    CompressWithDialog(out + "/多", {src + "/a b.txt", src + "/文档"}, several, janitor, runner);
    EXPECT_EQ(seen["several gzip"], "no");
}

TEST_F(CompressDialog, VolumeTextsThatDoNotParseOrAreTinyAreQuestioned) {
    struct {
        const char *text, *message;
    } const cases[] = {{"10x", "分卷大小错误"}, {"16777216t", "分卷大小错误"}, {"102399", "指定分卷大小：102399 字节"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        const size_t before = janitor.boxes.size();
        CChoices choices{"7z"};
        choices.volumes = c.text;
        // The size question is answered Yes by the janitor; the run then writes volumes.
        const CRunResult r = Compress(out + "/卷", choices);
        ASSERT_GT(janitor.boxes.size(), before);
        EXPECT_NE(janitor.boxes[before].find(c.message), std::string::npos) << janitor.boxes[before];
        if (std::string(c.message) == "分卷大小错误") {
            EXPECT_TRUE(r.dialogStillOpen);
        }
    }
    EXPECT_TRUE(Exists(out + "/卷.7z.001"));
}

// Names encrypted by another tool stay encrypted after an add through the dialog, whether the
// password is typed in the custom panel or asked for by the quick profile, which has no field.
TEST_F(CompressDialog, AddingToA7zWithEncryptedNamesKeepsThemEncrypted) {
    ASSERT_TRUE(WriteFile(tmp / "旧.txt", "old\n"));
    bool prompted = false;
    janitor.onTick = [&] {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal || !modal->inherits("passwordwindow") || modal->property("answered").toBool()) return;
        modal->setProperty("answered", true);
        prompted = true;
        modal->findChild<QLineEdit *>("lineEdit_password")->setText("pw");
        CJanitor::AskLater(modal->findChild<QPushButton *>("pushButton_ok"));
    };
    const struct {
        const char *name;
        bool quick;
    } cases[] = {{"custom", false}, {"quick", true}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        prompted = false;
        const std::string arc = out + "/" + c.name + ".7z";
        ASSERT_EQ(testsupport::Sh("cd " + ShellQuote(tmp.Path()) +
                                  " && /usr/bin/python3 -c \"import py7zr; z=py7zr.SevenZipFile('" + arc +
                                  "','w',password='pw',header_encryption=True); z.write('旧.txt'); z.close()\""),
                  0);
        CChoices choices{"7z", "", "", c.quick ? "" : "pw"};
        if (c.quick)
            choices.more = [arc](QWidget *dialog) {
                apptest::Click(dialog, "radio_btn_quick");
                Type(dialog, "comboBox_path", arc);
            };
        const CRunResult r = Compress(arc, choices);
        EXPECT_EQ(r.result.ExitCode, 0) << Joined(janitor.boxes) << Joined(janitor.errorLists);
        EXPECT_EQ(prompted, c.quick);
        // Without the password not even the names can be read; with it, old and new are there.
        EXPECT_NE(ToolExit("/usr/bin/python3 -m py7zr l " + ShellQuote(arc)), 0);
        const std::string listing = Py7zr(arc, "pw");
        EXPECT_EQ(listing.substr(0, 3), "OK\n") << listing;
        EXPECT_NE(listing.find("旧.txt"), std::string::npos) << listing;
        EXPECT_NE(listing.find("源文件/文档/说明.txt"), std::string::npos) << listing;
    }
}

// An existing compressed tar named in the dialog cannot be updated: the box says why, and the
// archive is left as it was.
TEST_F(CompressDialog, ExistingCompressedTarSaysWhyItCannotBeUpdated) {
    const std::string arc = out + "/旧.tar.gz";
    ASSERT_EQ(testsupport::Sh("cd " + ShellQuote(src) + " && bsdtar -czf " + ShellQuote(arc) + " 'a b.txt'"), 0);
    const std::string before = ReadFile(arc);
    CChoices c{"7z"};
    c.more = [arc](QWidget *dialog) { Type(dialog, "comboBox_path", arc); };
    const CRunResult r = Compress(arc, c);
    EXPECT_EQ(r.result.ExitCode, kRunnerExit_Error);
    const std::string shown = Joined(janitor.boxes) + Joined(janitor.errorLists);
    EXPECT_NE(shown.find("不能直接更新"), std::string::npos) << shown;
    EXPECT_EQ(shown.find("无法作为压缩包打开文件"), std::string::npos) << shown;
    EXPECT_EQ(ReadFile(arc), before);
}
