#include <fcntl.h>
#include <gtest/gtest.h>
#include <locale.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "archive/extract_fixture.h"
#include "archive/update_ui_fixture.h"
#include "archive/ui-common/CommandRunner.h"
#include "archive/ui-common/Update.h"
#include "common/StdOutStream.h"
#include "common/UTFConvert.h"

using testsupport::S;
using testsupport::Shell;
using testsupport::U;
using testsupport::Words;

namespace {

using V = std::vector<std::string>;

std::string Quote(const std::string &s) {
    return "'" + s + "'";
}

// The entries of an archive as Debian's bsdtar lists them, sorted.
V ListArchive(const std::string &path) {
    V names;
    const std::string out = Shell("bsdtar -tf " + Quote(path) + " 2>&1");
    size_t start = 0;
    while (start < out.size()) {
        size_t end = out.find('\n', start);
        if (end == std::string::npos) end = out.size();
        if (end > start) names.push_back(out.substr(start, end - start));
        start = end + 1;
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string MemberData(const std::string &archive, const std::string &member) {
    return Shell("bsdtar -xOf " + Quote(archive) + " " + Quote(member) + " 2>&1");
}

void SetOldTime(const std::string &path) {
    struct utimbuf ub;
    ub.actime = ub.modtime = 1000000000;
    utime(path.c_str(), &ub);
}

// A minimal update user interface: counts unreadable files, answers no password.
class CUpdateUi : public updatetest::CQuietUpdateUi {
    std::mutex _mutex;

public:
    V openErrors;

    HRESULT OpenFileError(const UString &path, DWORD) override {
        std::lock_guard<std::mutex> lock(_mutex);
        openErrors.push_back(S(path));
        return S_FALSE;
    }
    HRESULT ScanError(const UString &path, DWORD) override {
        std::lock_guard<std::mutex> lock(_mutex);
        openErrors.push_back(S(path));
        return S_OK;
    }
};

// Records every digest a hash run shows, by item name.
class CHashUi : public IHashCallbackUI {
    std::string _current;

public:
    std::map<std::string, std::map<std::string, std::string>> digests; // item -> method -> hex
    V openErrors;

    HRESULT ScanError(const UString &path, DWORD) override {
        openErrors.push_back(S(path));
        return S_OK;
    }
    HRESULT ScanProgress(const CDirItemsStat &, const UString &, bool) override { return S_OK; }
    HRESULT StartScanning() override { return S_OK; }
    HRESULT FinishScanning(const CDirItemsStat &) override { return S_OK; }
    HRESULT SetNumFiles(UInt64) override { return S_OK; }
    HRESULT SetTotal(UInt64) override { return S_OK; }
    HRESULT SetCompleted(const UInt64 *) override { return S_OK; }
    HRESULT CheckBreak() override { return S_OK; }
    HRESULT BeforeFirstFile(const CHashBundle &) override { return S_OK; }
    HRESULT GetStream(const wchar_t *name, bool) override {
        _current = S(UString(name));
        return S_OK;
    }
    HRESULT OpenFileError(const UString &path, DWORD) override {
        openErrors.push_back(S(path));
        return S_FALSE;
    }
    HRESULT SetOperationResult(UInt64, const CHashBundle &hb, bool showHash) override {
        if (!showHash) return S_OK;
        for (unsigned i = 0; i < hb.Hashers.Size(); i++) {
            const CHasherState &h = hb.Hashers[i];
            char text[k_HashCalc_DigestSize_Max * 2 + 1];
            AddHashHexToString(text, h.Digests[k_HashCalc_Index_Current], h.DigestSize);
            digests[_current][h.Name.Ptr()] = text;
        }
        return S_OK;
    }
    HRESULT AfterLastFile(CHashBundle &) override { return S_OK; }
};

// The front-ends' part played by recording callbacks that call the engine themselves.
class CRecordingCallbacks : public IArcCommandCallbacks {
public:
    std::vector<ERunnerMessage> messages;
    V calls;
    // What the extract group was handed.
    V archivePaths, archivePathsFull;
    bool testMode = false;
    bool hadHashBundle = false;
    UInt64 hashedFiles = 0;
    std::vector<Int32> opResults;
    V updateOpenErrors;
    std::map<std::string, std::map<std::string, std::string>> digests;
    HRESULT engineResult = S_OK;
    std::function<void(CArcCommandRun &)> before;

    void ShowRunnerMessage(ERunnerMessage message) override { messages.push_back(message); }

    int RunExtract(CArcCommandRun &run) override {
        calls.push_back("extract");
        if (before) before(run);
        for (unsigned i = 0; i < run.ArchivePaths.Size(); i++) {
            archivePaths.push_back(S(run.ArchivePaths[i]));
            archivePathsFull.push_back(S(run.ArchivePathsFull[i]));
        }
        testMode = run.ExtractOptions.TestMode;
        hadHashBundle = run.HashBundle != nullptr;
        CMyComPtr<IExtractCallbackUI> holder;
        extracttest::CRecordingCallback *cb = new extracttest::CRecordingCallback;
        holder = cb;
        cb->password = S(run.Options.Password);
        UString errorMessage;
        CDecompressStat stat;
        engineResult = Extract(run.Codecs, run.Types, run.ExcludedFormats, run.ArchivePaths, run.ArchivePathsFull,
                               run.Options.Censor.Pairs.Front().Head, run.ExtractOptions, cb, cb, run.HashBundle.get(),
                               errorMessage, stat);
        if (run.HashBundle) hashedFiles = run.HashBundle->NumFiles;
        opResults = cb->opResults;
        if (engineResult != S_OK && engineResult != E_ABORT) return kRunnerExit_Error;
        for (HRESULT r : cb->extractResults)
            if (r != S_OK) return kRunnerExit_Error;
        for (HRESULT r : cb->openResults)
            if (r != S_OK) return kRunnerExit_Error;
        for (Int32 r : cb->opResults)
            if (r != 0) return kRunnerExit_Error;
        return kRunnerExit_Ok;
    }

    int RunUpdate(CArcCommandRun &run) override {
        calls.push_back("update");
        if (before) before(run);
        CUpdateUi ui;
        CUpdateErrorInfo errorInfo;
        engineResult = UpdateArchive(run.Codecs, run.Types, run.Options.ArchiveName, run.Options.Censor,
                                     run.Options.UpdateSettings, errorInfo, &ui, &ui, false);
        updateOpenErrors = ui.openErrors;
        if (engineResult != S_OK && engineResult != E_ABORT) return kRunnerExit_Error;
        return ui.openErrors.empty() ? kRunnerExit_Ok : kRunnerExit_Warning;
    }

    int RunHash(CArcCommandRun &run) override {
        calls.push_back("hash");
        if (before) before(run);
        CHashUi ui;
        AString errorInfo;
        engineResult = HashCalc(&run.ExternalCodecs, run.Options.Censor, run.Options.HashSettings, errorInfo, &ui);
        digests = ui.digests;
        return (engineResult != S_OK && engineResult != E_ABORT) ? kRunnerExit_Error : kRunnerExit_Ok;
    }
};

class CommandRunner : public ::testing::Test {
protected:
    testsupport::TempFolder tmp;
    bool savedCase = g_CaseSensitive;
    int savedCodePage = g_CodePage;
    int savedLstat = global_use_lstat;
    std::string src, out;

    void SetUp() override {
        setlocale(LC_ALL, "C.UTF-8");
        ASSERT_TRUE(tmp.Ok());
        const char *dir = getenv("TARNOVA_TEST_OUTPUT_DIR");
        ASSERT_TRUE(dir) << "TARNOVA_TEST_OUTPUT_DIR is not set";
        setenv("TARNOVA_HOME_DIR", (std::string(dir) + "/").c_str(), 1);
        src = tmp / "src";
        out = tmp / "out";
        ASSERT_EQ(mkdir(src.c_str(), 0755), 0);
        ASSERT_EQ(mkdir((src + "/sub").c_str(), 0755), 0);
        ASSERT_TRUE(testsupport::WriteFile(src + "/a.txt", "alpha\n"));
        ASSERT_TRUE(testsupport::WriteFile(src + "/sub/b.txt", "beta\n"));
        SetOldTime(src + "/a.txt");
        SetOldTime(src + "/sub/b.txt");
    }
    void TearDown() override {
        g_CaseSensitive = savedCase;
        g_CodePage = savedCodePage;
        global_use_lstat = savedLstat;
    }

    CArcCommandResult Run(const V &words, CRecordingCallbacks &cb) { return RunArchiveCommandWords(Words(words), cb); }
    CArcCommandResult Run(const V &words) {
        CRecordingCallbacks cb;
        return Run(words, cb);
    }
};

#define EXPECT_RUN_OK(r)                                                                                               \
    do {                                                                                                               \
        const CArcCommandResult &res_ = (r);                                                                           \
        EXPECT_FALSE(res_.Failed) << S(res_.ErrorText) << " " << res_.ErrorCode;                                       \
        EXPECT_EQ(res_.ExitCode, kRunnerExit_Ok);                                                                      \
    } while (0)

} // namespace

TEST_F(CommandRunner, AddUpdateDeleteAndRenameChangeTheArchiveOnDisk) {
    const std::string arc = tmp / "arc.7z";
    CRecordingCallbacks cb;
    EXPECT_RUN_OK(Run({"a", arc, src + "/a.txt", src + "/sub"}, cb));
    EXPECT_EQ(cb.calls, V{"update"});
    EXPECT_EQ(cb.engineResult, S_OK);
    EXPECT_EQ(ListArchive(arc), (V{"a.txt", "sub/", "sub/b.txt"}));
    EXPECT_EQ(MemberData(arc, "sub/b.txt"), "beta\n");

    // u takes the newer disk file and a new one; the rest stays.
    ASSERT_TRUE(testsupport::WriteFile(src + "/a.txt", "alpha two\n"));
    ASSERT_TRUE(testsupport::WriteFile(src + "/c.txt", "gamma\n"));
    EXPECT_RUN_OK(Run({"u", arc, src + "/a.txt", src + "/c.txt"}));
    EXPECT_EQ(ListArchive(arc), (V{"a.txt", "c.txt", "sub/", "sub/b.txt"}));
    EXPECT_EQ(MemberData(arc, "a.txt"), "alpha two\n");
    EXPECT_EQ(MemberData(arc, "sub/b.txt"), "beta\n");

    EXPECT_RUN_OK(Run({"d", arc, "sub/b.txt"}));
    EXPECT_EQ(ListArchive(arc), (V{"a.txt", "c.txt", "sub/"}));

    EXPECT_RUN_OK(Run({"rn", arc, "a.txt", "renamed.txt", "sub", "folder"}));
    EXPECT_EQ(ListArchive(arc), (V{"c.txt", "folder/", "renamed.txt"}));
    EXPECT_EQ(MemberData(arc, "renamed.txt"), "alpha two\n");

    // Nothing of the run is left beside the archive.
    std::map<std::string, std::string> tree = extracttest::Tree(tmp.Path());
    for (const auto &e : tree)
        EXPECT_TRUE(e.first == "arc.7z" || e.first.rfind("src", 0) == 0) << e.first;
}

TEST_F(CommandRunner, TheWindowsAddCommandMakesAZipWithTheExtensionAdded) {
    const std::string text = "a -i!\"" + src + "/a.txt\" -i!\"" + src + "/sub\" -tzip -saa -- \"" + tmp / "out" + "\"";
    CRecordingCallbacks cb;
    EXPECT_RUN_OK(RunArchiveCommand(U(text), cb));
    EXPECT_EQ(ListArchive(tmp / "out.zip"), (V{"a.txt", "sub/", "sub/b.txt"}));
    const std::string listing = Shell("/usr/bin/python3 -c \"import zipfile,sys; z=zipfile.ZipFile(sys.argv[1]); "
                                      "print(z.read('sub/b.txt').decode(), end='')\" " +
                                      Quote(tmp / "out.zip"));
    EXPECT_EQ(listing, "beta\n");
}

TEST_F(CommandRunner, ExtractTestAndChecksumsOfArchives) {
    const std::string arc = tmp / "arc.7z";
    EXPECT_RUN_OK(Run({"a", arc, src + "/a.txt", src + "/sub"}));

    CRecordingCallbacks x;
    EXPECT_RUN_OK(Run({"x", arc, "-o" + out, "-scrcCRC32"}, x));
    EXPECT_EQ(x.calls, V{"extract"});
    EXPECT_FALSE(x.testMode);
    EXPECT_TRUE(x.hadHashBundle);
    EXPECT_EQ(x.hashedFiles, 2u);
    EXPECT_EQ(x.archivePaths, V{arc});
    EXPECT_EQ(extracttest::Tree(out),
              (std::map<std::string, std::string>{{"a.txt", "f:alpha\n"}, {"sub", "d"}, {"sub/b.txt", "f:beta\n"}}));

    // e drops the folders; a name selects the item.
    const std::string flat = tmp / "flat";
    EXPECT_RUN_OK(Run({"e", arc, "-o" + flat, "-r", "b.txt"}));
    EXPECT_EQ(extracttest::Tree(flat), (std::map<std::string, std::string>{{"b.txt", "f:beta\n"}}));

    // t writes nothing.
    CRecordingCallbacks t;
    const std::string none = tmp / "none";
    EXPECT_RUN_OK(Run({"t", arc, "-o" + none}, t));
    EXPECT_TRUE(t.testMode);
    EXPECT_FALSE(t.opResults.empty());
    EXPECT_FALSE(testsupport::Exists(none));

    // A damaged archive fails its test.
    const std::string data = testsupport::ReadFile(arc);
    std::string damaged = data;
    damaged[damaged.size() / 2] ^= 0x55;
    damaged[damaged.size() / 2 + 1] ^= 0x55;
    ASSERT_TRUE(testsupport::WriteFile(tmp / "bad.7z", damaged));
    CArcCommandResult r = Run({"t", tmp / "bad.7z"});
    EXPECT_FALSE(r.Failed);
    EXPECT_EQ(r.ExitCode, kRunnerExit_Error);
}

TEST_F(CommandRunner, TheWindowsExtractCommandTakesSeveralArchivesIntoOwnFolders) {
    ASSERT_EQ(extracttest::Sh("cd " + Quote(src) + " && bsdtar -cf ../one.tar a.txt && zip -q ../two.zip sub/b.txt"),
              0);
    const std::string text =
        "x -o\"" + out + "/*/\" -an -ai!\"" + tmp / "two.zip" + "\" -an -ai!\"" + tmp / "one.tar" + "\"";
    CRecordingCallbacks cb;
    EXPECT_RUN_OK(RunArchiveCommand(U(text), cb));
    EXPECT_EQ(cb.archivePaths, (V{tmp / "one.tar", tmp / "two.zip"}));
    EXPECT_EQ(
        extracttest::Tree(out),
        (std::map<std::string, std::string>{
            {"one", "d"}, {"one/a.txt", "f:alpha\n"}, {"two", "d"}, {"two/sub", "d"}, {"two/sub/b.txt", "f:beta\n"}}));
}

TEST_F(CommandRunner, HashCommandGivesTheDigestsOfFiles) {
    ASSERT_TRUE(testsupport::WriteFile(tmp / "abc.txt", "abc"));
    CRecordingCallbacks cb;
    EXPECT_RUN_OK(Run({"h", "-scrcSHA256", "-scrcCRC32", tmp / "abc.txt"}, cb));
    EXPECT_EQ(cb.calls, V{"hash"});
    ASSERT_EQ(cb.digests.size(), 1u);
    const auto &d = cb.digests.begin()->second;
    EXPECT_EQ(cb.digests.begin()->first, "abc.txt");
    ASSERT_EQ(d.count("SHA256"), 1u);
    EXPECT_EQ(d.at("SHA256"), "BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD");
    ASSERT_EQ(d.count("CRC32"), 1u);
    EXPECT_EQ(d.at("CRC32"), "352441C2");
}

TEST_F(CommandRunner, FailuresBeforeAnyFrontEnd) {
    const std::string arc = tmp / "arc.7z";
    EXPECT_RUN_OK(Run({"a", arc, src + "/a.txt"}));
    struct {
        V words;
        int exitCode;
        bool failed;
        std::string text;
        std::vector<ERunnerMessage> messages;
    } cases[] = {
        {{}, kRunnerExit_Ok, false, "", {kRunnerMsg_EmptyCommand}},
        {{"x", arc, "-tnosuch"}, kRunnerExit_Error, false, "", {kRunnerMsg_UnsupportedType}},
        {{"x", arc, "-stxnosuch"}, kRunnerExit_Error, false, "", {kRunnerMsg_UnsupportedType}},
        {{"x", arc, "-stx*"}, kRunnerExit_Error, false, "", {kRunnerMsg_UnsupportedType}},
        {{"a", tmp / "new.rar", src + "/a.txt"}, kRunnerExit_Error, false, "", {kRunnerMsg_UpdateNotSupported}},
        {{"x", arc, "-q"}, kRunnerExit_Error, true, "Unknown switch:\n-q", {}},
        {{"l", arc}, kRunnerExit_Error, true, "Unsupported command", {}},
        {{"i"}, kRunnerExit_Error, true, "Unsupported command", {}},
        {{"x", "-an", "-ai!" + tmp / "none*.7z"}, kRunnerExit_Error, true, "Cannot find archive", {}},
        {{"b"}, kRunnerExit_Ok, false, "", {}},
    };
    for (const auto &c : cases) {
        CRecordingCallbacks cb;
        const CArcCommandResult r = Run(c.words, cb);
        EXPECT_EQ(r.ExitCode, c.exitCode) << ::testing::PrintToString(c.words);
        EXPECT_EQ(r.Failed, c.failed) << ::testing::PrintToString(c.words);
        EXPECT_EQ(S(r.ErrorText), c.text) << ::testing::PrintToString(c.words);
        EXPECT_EQ(cb.messages, c.messages) << ::testing::PrintToString(c.words);
        EXPECT_TRUE(cb.calls.empty()) << ::testing::PrintToString(c.words);
    }
    EXPECT_FALSE(testsupport::Exists(tmp / "new.rar"));

    // The same through the text entry: blanks alone are no command.
    CRecordingCallbacks cb;
    const CArcCommandResult r = RunArchiveCommand(U("   "), cb);
    EXPECT_EQ(r.ExitCode, kRunnerExit_Ok);
    EXPECT_EQ(cb.messages, std::vector<ERunnerMessage>{kRunnerMsg_EmptyCommand});
    EXPECT_STREQ(GetRunnerMessageText(kRunnerMsg_EmptyCommand), L"不支持的命令行");
    EXPECT_EQ(GetRunnerMessageBoxFlags(kRunnerMsg_EmptyCommand), 0u);
    EXPECT_STREQ(GetRunnerMessageText(kRunnerMsg_UnsupportedType), L"不支持的压缩包格式");
    EXPECT_STREQ(GetRunnerMessageText(kRunnerMsg_UpdateNotSupported), L"不支持此压缩包的更新操作。");
    EXPECT_EQ(GetRunnerMessageBoxFlags(kRunnerMsg_UpdateNotSupported), 516u);
}

TEST_F(CommandRunner, ErrorsThrownByFrontEndsEndTheRunAndReachTheCaller) {
    const std::string arc = tmp / "arc.7z";
    EXPECT_RUN_OK(Run({"a", arc, src + "/a.txt"}));
    struct {
        std::function<void(CArcCommandRun &)> thrower;
        HRESULT code;
        std::string text;
    } cases[] = {
        {[](CArcCommandRun &) { throw "front-end failed"; }, E_FAIL, "front-end failed"},
        {[](CArcCommandRun &) { throw UString(L"wide text"); }, E_FAIL, "wide text"},
        {[](CArcCommandRun &) { throw(HRESULT) E_OUTOFMEMORY; }, E_OUTOFMEMORY, ""},
        {[](CArcCommandRun &) { throw 20130221u; }, E_FAIL, ""},
        {[](CArcCommandRun &) { throw std::bad_alloc(); }, E_OUTOFMEMORY, ""},
    };
    for (const auto &c : cases) {
        for (const V &words : {V{"x", arc, "-o" + out}, V{"a", arc, src + "/sub"}, V{"h", src + "/a.txt"}}) {
            CRecordingCallbacks cb;
            cb.before = c.thrower;
            const CArcCommandResult r = Run(words, cb);
            EXPECT_TRUE(r.Failed) << words[0];
            EXPECT_EQ(r.ExitCode, kRunnerExit_Error) << words[0];
            EXPECT_EQ(r.ErrorCode, c.code) << words[0];
            EXPECT_EQ(S(r.ErrorText), c.text) << words[0];
        }
    }
    // The plug-in is closed and loaded again for every command: the archive still reads.
    EXPECT_EQ(ListArchive(arc), V{"a.txt"});
    EXPECT_RUN_OK(Run({"t", arc}));
}

TEST_F(CommandRunner, RegistryGetsTheCaseSwitchAndTheRunTheTypes) {
    const std::string arc = tmp / "arc.7z";
    EXPECT_RUN_OK(Run({"a", arc, src + "/a.txt"}));
    CRecordingCallbacks cb;
    bool checked = false;
    cb.before = [&](CArcCommandRun &run) {
        checked = true;
        EXPECT_TRUE(run.Codecs->CaseSensitiveSet);
        EXPECT_FALSE(run.Codecs->CaseSensitive);
        ASSERT_EQ(run.Types.Size(), 1u);
        EXPECT_EQ(S(run.Codecs->Formats[(unsigned)run.Types[0].formatIndex].Name), "7z");
        ASSERT_EQ(run.ExcludedFormats.Size(), 2u);
        EXPECT_LT(run.ExcludedFormats[0], run.ExcludedFormats[1]);
        EXPECT_GT(run.ExternalCodecs.Hashers.Size(), 0u);
    };
    EXPECT_RUN_OK(Run({"t", arc, "-ssc-", "-t7z", "-stxzip", "-stxtar", "-stxzip"}, cb));
    EXPECT_TRUE(checked);
}

TEST_F(CommandRunner, MissingPluginIsReportedForArchiveCommands) {
    testsupport::TempFolder empty;
    ASSERT_TRUE(empty.Ok());
    setenv("TARNOVA_HOME_DIR", (empty.Path() + "/").c_str(), 1);
    CRecordingCallbacks cb;
    const CArcCommandResult r = Run({"x", tmp / "arc.7z"}, cb);
    CCodecs probe;
    ASSERT_EQ(probe.Load(), S_OK);
    ASSERT_EQ(probe.Formats.Size(), 0u);
    EXPECT_TRUE(r.Failed);
    EXPECT_EQ(S(r.ErrorText), "7-Dud cannot load module " + S(probe.FailedMainModule));
    // Commands outside the archive groups go on without it.
    EXPECT_RUN_OK(Run({"b"}, cb));
    probe.CloseLibs();
    EXPECT_TRUE(cb.calls.empty());
}

// File names that the text entry cannot carry: a double quote, a '*', a leading '-'; and after
// "--" a leading '@' names a file, not a list file.
TEST_F(CommandRunner, WordsEntryTakesOddFileNamesAsTheyAre) {
    const V odd{"-rf", "a\"b", "c*d", "@lst"};
    for (const std::string &n : odd)
        ASSERT_TRUE(testsupport::WriteFile(src + "/" + n, "data of " + n));
    ASSERT_TRUE(testsupport::WriteFile(src + "/cXd", "decoy"));
    ASSERT_TRUE(testsupport::WriteFile(src + "/-y", "decoy"));

    const std::string arc = tmp / "-x\"*.7z";
    V words{"a", "-spd", "--", arc};
    for (const std::string &n : odd)
        words.push_back(src + "/" + n);
    EXPECT_RUN_OK(Run(words));
    EXPECT_TRUE(testsupport::Exists(arc));
    EXPECT_EQ(ListArchive(arc), (V{"-rf", "@lst", "a\"b", "c*d"}));

    // A second archive that a wildcard would also take.
    ASSERT_EQ(extracttest::Sh("cp " + Quote(arc) + " " + Quote(tmp / "-x\"y.7z")), 0);
    CRecordingCallbacks cb;
    EXPECT_RUN_OK(Run({"x", "-spd", "-o" + out, "-an", "-ai!" + arc, "--", "-rf", "a\"b", "c*d", "@lst"}, cb));
    EXPECT_EQ(cb.archivePaths, V{arc});
    EXPECT_EQ(extracttest::Tree(out),
              (std::map<std::string, std::string>{
                  {"-rf", "f:data of -rf"},
                  {"@lst", "f:data of @lst"},
                  {"a\"b", "f:data of a\"b"},
                  {"c*d", "f:data of c*d"}}));

    // Deleting by those names takes exactly them.
    EXPECT_RUN_OK(Run({"d", "-spd", "--", arc, "c*d", "-rf", "@lst"}));
    EXPECT_EQ(ListArchive(arc), V{"a\"b"});
}

namespace {

// Puts a file in place of a standard stream for the life of the object.
class CStdRedirect {
    int _fd, _saved;

public:
    CStdRedirect(int fd, const std::string &path, int flags) : _fd(fd), _saved(dup(fd)) {
        fflush(stdout);
        const int f = open(path.c_str(), flags, 0644);
        dup2(f, fd);
        close(f);
    }
    ~CStdRedirect() {
        fflush(stdout);
        dup2(_saved, _fd);
        close(_saved);
    }
};

// Runs in a fresh current folder, so that anything written there by mistake shows.
class CInFolder {
    std::string _old;

public:
    explicit CInFolder(const std::string &dir) {
        char buf[4096];
        _old = getcwd(buf, sizeof(buf)) ? buf : "/";
        mkdir(dir.c_str(), 0755);
        if (chdir(dir.c_str()) != 0) ADD_FAILURE() << dir;
    }
    ~CInFolder() {
        if (chdir(_old.c_str()) != 0) ADD_FAILURE() << _old;
    }
};

} // namespace

TEST_F(CommandRunner, StandardOutputAndInputRoundTrips) {
    const std::string tar = tmp / "arc.tar", zip = tmp / "arc.zip";
    ASSERT_EQ(Shell("cd " + Quote(src) + " && tar -cf " + Quote(tar) + " a.txt sub/b.txt && zip -q " + Quote(zip) +
                    " a.txt sub/b.txt && echo ok"),
              "ok\n");
    const std::string cwd = tmp / "cwd", so = tmp / "so.out";
    struct {
        const char *name;
        V words;
        bool stdIn; // the tar comes on standard input
        std::string expect;
    } cases[] = {
        {"-so from a zip", {"x", zip, "-so"}, false, "alpha\nbeta\n"},
        {"-so of one item", {"x", zip, "-so", "sub/b.txt"}, false, "beta\n"},
        {"-si -so", {"x", "-si", "-ttar", "-so"}, true, "alpha\nbeta\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        CArcCommandResult r;
        {
            CInFolder in(cwd);
            std::unique_ptr<CStdRedirect> input;
            if (c.stdIn) input.reset(new CStdRedirect(0, tar, O_RDONLY));
            CStdRedirect output(1, so, O_WRONLY | O_CREAT | O_TRUNC);
            r = Run(c.words);
        }
        EXPECT_RUN_OK(r);
        EXPECT_EQ(testsupport::ReadFile(so), c.expect);
        // Nothing went to disk.
        EXPECT_TRUE(testsupport::DirEntries(cwd).empty());
    }

    // -si with a folder: the archive comes from standard input, and no name is looked for on disk.
    CArcCommandResult r;
    {
        CInFolder in(cwd);
        CStdRedirect input(0, tar, O_RDONLY);
        r = Run({"x", "-si", "-ttar", "-o" + out});
    }
    EXPECT_RUN_OK(r);
    EXPECT_EQ(testsupport::ReadFile(out + "/a.txt"), "alpha\n");
    EXPECT_EQ(testsupport::ReadFile(out + "/sub/b.txt"), "beta\n");
    EXPECT_TRUE(testsupport::DirEntries(cwd).empty());
}
