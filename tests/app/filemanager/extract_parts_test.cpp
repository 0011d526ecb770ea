// The parts of extraction below the dialogs: the in-memory target and its budget, the callback's
// answers to a folder copy, the shared error texts and the report lines; then the extract dialog
// itself and a cancelled dialog's progress window.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QStorageInfo>
#include <QTest>

#include "ExtractCallback.h"
#include "ExtractErrorText.h"
#include "VirtFileSystem.h"
#include "dialogcodes.h"
#include "ZipRegistry.h"
#include "extract_test_support.h"
#include "mainwindow.h"
#include "unzipwindow.h"
#include "windows/TimeUtils.h"

using testsupport::ReadFile;
using testsupport::S;
using testsupport::Sh;

namespace {

const ::testing::Environment *const g_env = ::testing::AddGlobalTestEnvironment(new apptest::CAppEnvironment);

std::string Bytes(const CVirtFile &f) {
    return std::string((const char *)f.Data, (size_t)f.WrittenSize);
}

HRESULT WriteAll(CVirtFileSystem &fs, const std::string &data, size_t chunk) {
    for (size_t pos = 0; pos < data.size(); pos += chunk) {
        const UInt32 n = (UInt32)std::min(chunk, data.size() - pos);
        UInt32 done = 0;
        const HRESULT res = fs.Write(data.data() + pos, n, &done);
        if (res != S_OK) return res;
        if (done != n) return E_FAIL;
    }
    return S_OK;
}

TEST(VirtFileSystem, AnItemOfTheAnnouncedSizeStaysInMemory) {
    CVirtFileSystem *vfs = new CVirtFileSystem;
    CMyComPtr<ISequentialOutStream> holder = vfs;
    vfs->Init();
    const std::string data(5000, 'x');
    vfs->MaxTotalAllocSize = data.size() + 1024;
    CVirtFile &f = vfs->AddNewFile();
    f.Name = L"a.bin";
    f.ExpectSize = data.size();
    UInt32 done = 7;
    ASSERT_EQ(vfs->Write("", 0, &done), S_OK); // a zero-length write changes nothing
    EXPECT_EQ(done, 0u);
    ASSERT_EQ(WriteAll(*vfs, data, 100), S_OK);
    // The first write allocated exactly the announced size: no regrowth, no copy.
    EXPECT_EQ(f.Size, (UInt64)data.size());
    ASSERT_EQ(vfs->CloseMemFile(), S_OK);
    EXPECT_FALSE(vfs->IsFileMode());
    EXPECT_EQ(Bytes(f), data);
}

TEST(VirtFileSystem, OverBudgetEverythingGoesToDiskInOrder) {
    testsupport::TempFolder tmp;
    CVirtFileSystem *vfs = new CVirtFileSystem;
    CMyComPtr<ISequentialOutStream> holder = vfs;
    vfs->Init();
    vfs->DirPrefix = testsupport::U(tmp.Path() + "/");
    vfs->MaxTotalAllocSize = 3000;
    const std::string first(1000, 'a'), second(20000, 'b');

    CVirtFile &f1 = vfs->AddNewFile();
    f1.Name = L"dir/first.txt"; // only the last part of the name is used on disk
    ASSERT_EQ(WriteAll(*vfs, first, 300), S_OK);
    ASSERT_EQ(vfs->CloseMemFile(), S_OK);
    EXPECT_FALSE(vfs->IsFileMode());

    CVirtFile &f2 = vfs->AddNewFile();
    f2.Name = L"second.bin";
    f2.MTimeDefined = true;
    NWindows::NTime::UnixTimeToFileTime(1500000000, f2.MTime);
    ASSERT_EQ(WriteAll(*vfs, second, 700), S_OK);
    EXPECT_TRUE(vfs->IsFileMode());
    ASSERT_EQ(vfs->CloseMemFile(), S_OK);
    EXPECT_EQ(vfs->NumFlushed(), 2u);

    EXPECT_EQ(ReadFile(tmp / "first.txt"), first);
    EXPECT_EQ(ReadFile(tmp / "second.bin"), second);
    struct stat st;
    ASSERT_EQ(stat((tmp / "second.bin").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtime, 1500000000);
    EXPECT_EQ(testsupport::DirEntries(tmp.Path()), (std::set<std::string>{"first.txt", "second.bin"}));
}

TEST(VirtFileSystem, NamesThatLeaveTheFolderAreRefused) {
    const struct {
        const wchar_t *name;
        bool ok;
        const char *disk;
    } cases[] = {
        {L"a.txt", true, "a.txt"},
        {L"../../etc/passwd", true, "passwd"},
        {L"/etc/shadow", true, "shadow"},
        {L"sub/..", false, ""},
        {L"..", false, ""},
        {L".", false, ""},
        {L"", false, ""},
        {L"dir/", false, ""},
    };
    for (const auto &c : cases) {
        UString disk;
        EXPECT_EQ(CVirtFileSystem::GetDiskName(c.name, disk), c.ok) << S(c.name);
        EXPECT_EQ(S(disk), c.disk) << S(c.name);
    }
    // Flushing such a name fails and writes nothing anywhere.
    testsupport::TempFolder tmp;
    CVirtFileSystem *vfs = new CVirtFileSystem;
    CMyComPtr<ISequentialOutStream> holder = vfs;
    vfs->Init();
    vfs->DirPrefix = testsupport::U(tmp.Path() + "/sub/");
    ASSERT_EQ(Sh("mkdir '" + (tmp / "sub") + "'"), 0);
    vfs->MaxTotalAllocSize = 0;
    vfs->AddNewFile().Name = L"x/..";
    EXPECT_NE(WriteAll(*vfs, "data", 4), S_OK);
    EXPECT_TRUE(testsupport::DirEntries(tmp / "sub").empty());
    EXPECT_EQ(testsupport::DirEntries(tmp.Path()), (std::set<std::string>{"sub"}));
}

// A folder copy asks the callback before it writes over what exists.
TEST(ExtractCallback, AskWriteKeepsOrMovesTheExistingFileByMode) {
    testsupport::TempFolder tmp;
    const struct {
        const char *name;
        int mode;
        bool write;
        const char *resultName; // where the new file goes
        std::set<std::string> after;
    } cases[] = {
        {"skip", NExtract::NOverwriteMode::kSkip, false, "", {"a.txt"}},
        {"overwrite", NExtract::NOverwriteMode::kOverwrite, true, "a.txt", {}},
        {"rename new", NExtract::NOverwriteMode::kRename, true, "a_1.txt", {"a.txt"}},
        // The old file moves out of the way and keeps its data.
        {"rename existing", NExtract::NOverwriteMode::kRenameExisting, true, "a.txt", {"a_1.txt"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const std::string dir = tmp / c.name;
        ASSERT_EQ(Sh("mkdir -p '" + dir + "' && printf old > '" + dir + "/a.txt'"), 0);
        CExtractCallbackImp *vfs = new CExtractCallbackImp;
        CMyComPtr<IFolderOperationsExtractCallback> cb = vfs;
        vfs->Init();
        vfs->OverwriteMode = c.mode;
        BSTR result = nullptr;
        Int32 write = -1;
        const UInt64 size = 3;
        ASSERT_EQ(cb->AskWrite(L"/src/a.txt", 0, nullptr, &size, testsupport::U(dir + "/a.txt"), &result, &write),
                  S_OK);
        EXPECT_EQ(write != 0, c.write);
        EXPECT_EQ(result ? S(result) : std::string(), c.write ? dir + "/" + c.resultName : std::string());
        SysFreeString(result);
        EXPECT_EQ(testsupport::DirEntries(dir), c.after);
        for (const std::string &kept : c.after)
            EXPECT_EQ(ReadFile(dir + "/" + kept), "old");
    }
}

TEST(ExtractErrorText, ItemAndOpenErrorTexts) {
    const struct {
        Int32 opRes, encrypted;
        const char *text;
    } items[] = {
        {0, 1, ""},
        {3, 0, "CRC 校验失败 : a/b.txt"},
        {3, 1, "CRC 校验失败 : 密码错误？ : a/b.txt"},
        {9, 1, "密码错误 : a/b.txt"},
        {12, 0, "Error #12 : a/b.txt"},
        {-1, 0, "Error #4294967295 : a/b.txt"},
    };
    for (const auto &c : items) {
        UString s(L"stale");
        SetExtractErrorMessage(nullptr, c.opRes, c.encrypted, L"a/b.txt", s);
        EXPECT_EQ(S(s), c.text) << c.opRes;
    }
    EXPECT_EQ(S(GetOpenArcErrorMessage(0x1 | 0x4)), "非压缩包\n头部错误 : 密码错误？");
    EXPECT_EQ(S(GetOpenArcErrorMessage(0x400 | 0x30000)), "校验失败\n0x30000");
    EXPECT_EQ(S(GetOpenArcErrorMessage(0)), "");
    EXPECT_EQ(S(GetBracedType(L"zip")), "[zip]");
}

TEST(ExtractGUI, PathAndReportLines) {
    EXPECT_EQ(S(nameWindowToUnix(L"c:/tmp/x/")), "/tmp/x/");
    EXPECT_EQ(S(nameWindowToUnix(L"C:/tmp/x/")), "C:/tmp/x/");
    EXPECT_EQ(S(nameWindowToUnix(L"c")), "c");
    UString s;
    AddSizePair(s, L"大小", 1048575);
    AddSizePair(s, L"大小", 1048576);
    AddValuePair(s, L"文件", 3, true);
    AddValuePair(s, L"压缩包：", 1, false);
    EXPECT_EQ(S(s), "大小: 1048575 字节\n大小: 1048576 字节 (1 MB)\n文件: 3\n压缩包： 1\n");
}

class UnzipWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        NExtract::CInfo clean;
        clean.Save();
    }
    mainwindow main;
    progresstest::CWatchdog watchdog{60};
};

template <typename T> T *Child(QWidget *w, const char *name) {
    T *c = w->findChild<T *>(name);
    EXPECT_NE(c, nullptr) << name;
    return c;
}

// "剩余57.3GB" as bytes, or -1 when the text is no free-space text.
static double FreeBytes(const QString &text) {
    static const QRegularExpression re(QString::fromUtf8("^剩余([0-9]+\\.[0-9])(KB|MB|GB)$"));
    const QRegularExpressionMatch m = re.match(text);
    if (!m.hasMatch()) return -1;
    const QString unit = m.captured(2);
    return m.captured(1).toDouble() * (unit == "GB" ? 1 << 30 : unit == "MB" ? 1 << 20 : 1 << 10);
}

TEST_F(UnzipWindowTest, ShowsFreeSpaceOfTheChosenFolderAndOnlyWorkingOptions) {
    testsupport::TempFolder tmp;
    auto info = std::make_shared<unzip_info>();
    info->OutputFolder = testsupport::U(tmp.Path() + "/not/yet/");
    QString shown, afterEdit;
    std::map<std::string, bool> visible;
    apptest::AnswerModal([&](QWidget *d) {
        shown = Child<QLabel>(d, "label_disk")->text();
        apptest::Click(d, "btn_expand");
        for (const char *name :
             {"checkBox_unzip_folder", "checkBox_save_error_file", "checkBox_del_source", "checkBox_bk_unzip",
              "checkBox_recoverfilesafe", "checkBox_del_folder", "comboBox_overwritemode", "comboBox_pathmode"})
            visible[name] = Child<QWidget>(d, name)->isVisibleTo(d);
        Child<QComboBox>(d, "comboBox_path")->setEditText("/proc/self/");
        afterEdit = Child<QLabel>(d, "label_disk")->text();
        apptest::Click(d, "btn_close");
    });
    EXPECT_EQ(show_unzipwindow(info), dialog_result::closed);
    EXPECT_NE(shown, QString::fromUtf8("剩余6.8GB"));
    // Other processes write to the disk meanwhile: a second reading may differ a little.
    const double shownBytes = FreeBytes(shown);
    const double nowBytes = FreeBytes(unzipwindow::FreeSpaceText(QString::fromStdString(tmp.Path())));
    ASSERT_GE(shownBytes, 0) << shown.toStdString();
    ASSERT_GE(nowBytes, 0);
    EXPECT_NEAR(shownBytes, nowBytes, nowBytes * 0.02 + (64 << 20)) << shown.toStdString();
    EXPECT_EQ(afterEdit, unzipwindow::FreeSpaceText("/proc"));
    // Options that do nothing here are not offered; the advanced panel's real ones are.
    EXPECT_EQ(visible, (std::map<std::string, bool>{{"checkBox_unzip_folder", false},
                                                    {"checkBox_save_error_file", false},
                                                    {"checkBox_del_source", false},
                                                    {"checkBox_bk_unzip", false},
                                                    {"checkBox_recoverfilesafe", false},
                                                    {"checkBox_del_folder", true},
                                                    {"comboBox_overwritemode", true},
                                                    {"comboBox_pathmode", true}}));
    // Closing leaves the record as the caller made it.
    EXPECT_EQ(S(info->OutputFolder), tmp.Path() + "/not/yet/");
}

TEST_F(UnzipWindowTest, PasswordTakesAnyCharacterAndChoicesComeBack) {
    auto info = std::make_shared<unzip_info>();
    info->OutputFolder = L"/tmp/out/";
    info->PathMode = NExtract::NPathMode::kFullPaths;
    apptest::AnswerModal([&](QWidget *d) {
        QLineEdit *password = Child<QLineEdit>(d, "lineEdit_password");
        EXPECT_EQ(password->validator(), nullptr);
        password->setFocus();
        QTest::keyClicks(password, "p w!#");
        password->insert(QString::fromUtf8("密码"));
        apptest::Click(d, "btn_expand");
        Child<QComboBox>(d, "comboBox_overwritemode")->setCurrentIndex(4);
        Child<QComboBox>(d, "comboBox_pathmode")->setCurrentIndex(1);
        Child<QComboBox>(d, "comboBox_path")->setEditText("  /tmp/other  ");
        apptest::Click(d, "btn_unzip");
    });
    EXPECT_EQ(show_unzipwindow(info), dialog_result::ok);
    EXPECT_EQ(S(info->Password), "p w!#密码");
    EXPECT_EQ(info->OverwriteMode, NExtract::NOverwriteMode::kRenameExisting);
    EXPECT_EQ(info->PathMode, NExtract::NPathMode::kNoPaths);
    EXPECT_EQ(S(info->OutputFolder), "/tmp/other/");
    NExtract::CInfo stored;
    stored.Load();
    ASSERT_GE(stored.PathHistory.Size(), 1u);
    EXPECT_EQ(S(stored.PathHistory[0]), "/tmp/other/");
    EXPECT_EQ(stored.ExtractMode, NExtract::NPathMode::kNoPaths);
    EXPECT_EQ(stored.OverwriteMode, NExtract::NOverwriteMode::kRenameExisting);
}

TEST_F(UnzipWindowTest, SplitNameAndHistory) {
    NExtract::CInfo stored;
    stored.SplitDest.SetVal_as_Defined(true);
    for (int i = 0; i < 10; i++)
        stored.PathHistory.Add(testsupport::U("/h/" + std::to_string(i) + "/"));
    stored.Save();
    auto info = std::make_shared<unzip_info>();
    info->OutputFolder = L"/a/b/";
    int items = -1;
    QString folder, split;
    apptest::AnswerModal([&](QWidget *d) {
        QComboBox *path = Child<QComboBox>(d, "comboBox_path");
        items = path->count();
        folder = path->currentText();
        split = Child<QLineEdit>(d, "lineEdit_splite_name")->text();
        apptest::Click(d, "btn_unzip");
    });
    EXPECT_EQ(show_unzipwindow(info), dialog_result::ok);
    EXPECT_EQ(items, 9); // eight of the history and the folder
    EXPECT_EQ(folder, "/a/");
    EXPECT_EQ(split, "b/");
    EXPECT_EQ(S(info->OutputFolder), "/a/b/");
}

TEST_F(UnzipWindowTest, ACancelledDialogFreesItsProgressWindow) {
    testsupport::TempFolder tmp;
    ASSERT_EQ(Sh("cd '" + tmp.Path() + "' && echo x > f.txt && zip -q a.zip f.txt"), 0);
    const char *out = getenv("TARNOVA_TEST_OUTPUT_DIR");
    ASSERT_NE(out, nullptr);
    setenv("TARNOVA_HOME_DIR", (std::string(out) + "/").c_str(), 1);
    auto countWindows = [] {
        int n = 0;
        for (QWidget *w : QApplication::allWidgets())
            if (qobject_cast<progresswindow *>(w)) n++;
        return n;
    };
    const int before = countWindows();
    extracttest::CDialogScript script;
    script.Add("unzipwindow", apptest::Answer("btn_close"));
    const CArcCommandResult r = extracttest::RunCommand({"x", "-ad", "-an", "-ai!" + (tmp / "a.zip")});
    EXPECT_EQ(r.ExitCode, kRunnerExit_Cancel);
    EXPECT_EQ(script.shown["unzipwindow"], 1);
    EXPECT_EQ(countWindows(), before);
    EXPECT_FALSE(testsupport::Exists(tmp / "a/f.txt"));
}

} // namespace
