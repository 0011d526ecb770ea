// Archive edits from the command line that went wrong on real use: refusals without a word of
// explanation, empty archives that could not be opened again, names that reach outside the
// archive's root or collide.
#include <gtest/gtest.h>
#include <locale.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <set>
#include <string>
#include <vector>

#include "archive/extract_fixture.h"
#include "archive/update_ui_fixture.h"
#include "archive/ui-common/CommandRunner.h"
#include "archive/ui-common/Update.h"

using testsupport::S;
using testsupport::Shell;
using testsupport::TempFolder;
using testsupport::Words;
using testsupport::WriteFile;
using V = std::vector<std::string>;

namespace {

// Answers the password question with the password of the command line, if any.
class CPasswordUi : public updatetest::CQuietUpdateUi {
public:
    UString password;
    bool defined = false;
    HRESULT CryptoGetTextPassword2(Int32 *isDefined, BSTR *pw) override {
        if (isDefined) *isDefined = defined ? 1 : 0;
        *pw = ::SysAllocString(password);
        return S_OK;
    }
    // Items the run could not take from the old archive, with what went wrong.
    std::string failedItems;
    HRESULT ReportExtractResult(Int32 opRes, Int32, const wchar_t *name) override {
        failedItems += S(name) + ":" + std::to_string(opRes) + ";";
        return S_OK;
    }
};

// Runs update commands through the engine; keeps what the engine reported.
class CUpdateOnly : public IArcCommandCallbacks {
public:
    HRESULT result = S_OK;
    std::string errorText;
    std::string failedItems;

    void ShowRunnerMessage(ERunnerMessage) override {}
    int RunExtract(CArcCommandRun &) override { return kRunnerExit_Error; }
    int RunHash(CArcCommandRun &) override { return kRunnerExit_Error; }
    int RunUpdate(CArcCommandRun &run) override {
        CPasswordUi ui;
        ui.defined = run.Options.PasswordGiven;
        ui.password = run.Options.Password;
        CUpdateErrorInfo errorInfo;
        result = UpdateArchive(run.Codecs, run.Types, run.Options.ArchiveName, run.Options.Censor,
                               run.Options.UpdateSettings, errorInfo, &ui, &ui, false);
        errorText = errorInfo.Text.Ptr();
        failedItems = ui.failedItems;
        return result == S_OK ? kRunnerExit_Ok : kRunnerExit_Error;
    }
};

class UpdateFaults : public ::testing::Test {
protected:
    TempFolder tmp;
    std::string src;

    void SetUp() override {
        setlocale(LC_ALL, "C.UTF-8");
        ASSERT_TRUE(tmp.Ok());
        // Loading the shared registry also tells each command's own registry where the plug-in is.
        ASSERT_EQ(S_OK, enginetest::Registry().LoadResult);
        src = tmp / "src";
        ASSERT_EQ(0, mkdir(src.c_str(), 0755));
        ASSERT_EQ(0, mkdir((src + "/dir").c_str(), 0755));
        ASSERT_TRUE(WriteFile(src + "/a.txt", "alpha"));
        ASSERT_TRUE(WriteFile(src + "/dir/b.txt", "beta"));
    }

    CArcCommandResult Run(const V &words, CUpdateOnly &cb) { return RunArchiveCommandWords(Words(words), cb); }

    struct CChildRun {
        bool ended = false; // within the time given
        int exitCode = -1;
        std::string errorText;
    };

    // The command in a child process that is killed if it has not ended within `seconds`: a run
    // that never ends fails the test instead of hanging it.
    CChildRun RunInChild(const V &words, int seconds) {
        CChildRun r;
        int fds[2];
        if (pipe(fds) != 0) return r;
        const pid_t pid = fork();
        if (pid == 0) {
            close(fds[0]);
            CUpdateOnly cb;
            const CArcCommandResult res = Run(words, cb);
            const std::string text = cb.failedItems + "|" + cb.errorText + "|" + S(res.ErrorText);
            if (write(fds[1], text.data(), text.size()) < 0) _exit(100);
            _exit(res.ExitCode);
        }
        close(fds[1]);
        int status = 0;
        for (int i = 0; i < seconds * 10; i++) {
            if (waitpid(pid, &status, WNOHANG) == pid) {
                r.ended = true;
                break;
            }
            usleep(100000);
        }
        if (!r.ended) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
        } else if (WIFEXITED(status)) {
            r.exitCode = WEXITSTATUS(status);
        }
        char buf[4096];
        ssize_t n;
        while ((n = read(fds[0], buf, sizeof(buf))) > 0)
            r.errorText.append(buf, static_cast<size_t>(n));
        close(fds[0]);
        return r;
    }

    // The items as the engine lists them, sorted; "!" and the result when it cannot open the archive.
    V List(const std::string &arc) {
        extracttest::CRecordingCallback cb;
        CExtractOptions o = extracttest::Options(tmp / "list");
        o.TestMode = true;
        const extracttest::CRun run = extracttest::RunExtract({arc}, o, cb);
        if (cb.openResults != std::vector<HRESULT>{S_OK} || cb.openErrorFlags != std::vector<UInt32>{0}) return {"!"};
        V names = cb.prepared;
        std::sort(names.begin(), names.end());
        return names;
    }
};

} // namespace

// The plug-in cannot yet do these: the user learns what is not possible and what to do instead.
TEST_F(UpdateFaults, RefusedRequestsSayWhatToDoInstead) {
    const struct {
        const char *name;
        V words;
        const char *advice;
    } cases[] = {
        {"compressed tar in one step", {"a", tmp / "x.tar.gz", src + "/a.txt", src + "/dir"}, ".tar"},
        {"7z PPMd with a password", {"a", tmp / "x.7z", src + "/a.txt", "-m0=PPMd", "-psecret"}, "zip"},
        {"tar with a password", {"a", tmp / "x.tar", src + "/a.txt", "-psecret"}, "zip"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        CUpdateOnly cb;
        const CArcCommandResult r = Run(c.words, cb);
        EXPECT_NE(kRunnerExit_Ok, r.ExitCode);
        EXPECT_NE(S_OK, cb.result);
        EXPECT_NE(std::string::npos, cb.errorText.find(c.advice)) << cb.errorText;
        EXPECT_FALSE(testsupport::Exists(c.words[1]));
    }
}

// Deleting the only item leaves an empty archive, which opens, lists nothing and takes new items.
TEST_F(UpdateFaults, AnEmptyArchiveIsAnArchive) {
    for (const char *type : {"zip", "tar", "7z"}) {
        SCOPED_TRACE(type);
        const std::string arc = tmp / (std::string("one.") + type);
        CUpdateOnly add, del, again;
        ASSERT_EQ(kRunnerExit_Ok, Run({"a", arc, src + "/a.txt"}, add).ExitCode);
        ASSERT_EQ(kRunnerExit_Ok, Run({"d", arc, "a.txt"}, del).ExitCode);
        EXPECT_EQ(V{}, List(arc));
        ASSERT_EQ(kRunnerExit_Ok, Run({"a", arc, src + "/dir"}, again).ExitCode) << again.errorText;
        EXPECT_EQ((V{"dir", "dir/b.txt"}), List(arc));
    }
}

// A name that climbs out of the archive's root names nothing: refused, and nothing is deleted.
TEST_F(UpdateFaults, DeleteRefusesNamesOutsideTheArchive) {
    const std::string arc = tmp / "keep.zip";
    CUpdateOnly add;
    ASSERT_EQ(kRunnerExit_Ok, Run({"a", arc, src + "/a.txt", src + "/dir"}, add).ExitCode);
    const std::string before = testsupport::ReadFile(arc);
    for (const char *name : {"..", ".", "/", "../..", "dir/..", "dir/../.."}) {
        SCOPED_TRACE(name);
        CUpdateOnly cb;
        const CArcCommandResult r = Run({"d", arc, name}, cb);
        EXPECT_NE(kRunnerExit_Ok, r.ExitCode);
        EXPECT_FALSE(S(r.ErrorText).empty() && cb.errorText.empty());
        EXPECT_TRUE(before == testsupport::ReadFile(arc)) << "the archive changed";
    }
    // A name inside the archive is still deleted.
    CUpdateOnly cb;
    EXPECT_EQ(kRunnerExit_Ok, Run({"d", arc, "dir/../a.txt"}, cb).ExitCode);
    EXPECT_EQ((V{"dir", "dir/b.txt"}), List(arc));
}

// A new name that is absolute, climbs or already belongs to another item is refused, for every
// format that can be renamed in, and the archive stays as it was.
TEST_F(UpdateFaults, RenameRefusesUnsafeAndTakenNames) {
    for (const char *type : {"zip", "7z", "tar"}) {
        const std::string arc = tmp / (std::string("r.") + type);
        CUpdateOnly add;
        ASSERT_EQ(kRunnerExit_Ok, Run({"a", arc, src + "/a.txt", src + "/dir"}, add).ExitCode);
        const std::string before = testsupport::ReadFile(arc);
        const V pairs[] = {{"a.txt", "../evil.txt"}, {"a.txt", "/abs.txt"},  {"a.txt", "x/../../y.txt"},
                           {"a.txt", "dir/b.txt"},   {"dir/b.txt", "a.txt"}, {"a.txt", "dir"}};
        for (const V &p : pairs) {
            SCOPED_TRACE(std::string(type) + ": " + p[0] + " -> " + p[1]);
            CUpdateOnly cb;
            const CArcCommandResult r = Run({"rn", arc, p[0], p[1]}, cb);
            EXPECT_NE(kRunnerExit_Ok, r.ExitCode);
            EXPECT_FALSE(S(r.ErrorText).empty() && cb.errorText.empty());
            EXPECT_TRUE(before == testsupport::ReadFile(arc)) << "the archive changed";
        }
        // Swapping two names is no collision.
        CUpdateOnly swap;
        EXPECT_EQ(kRunnerExit_Ok, Run({"rn", arc, "a.txt", "dir/new.txt"}, swap).ExitCode) << swap.errorText;
        EXPECT_EQ((V{"dir", "dir/b.txt", "dir/new.txt"}), List(arc));
    }
}

// A program in front of a zip stays in front of it through an edit.
TEST_F(UpdateFaults, EditKeepsTheProgramInFrontOfAZip) {
    const std::string arc = tmp / "sfx.zip";
    ASSERT_EQ(0, extracttest::Sh("cd '" + src +
                                 "' && zip -q -r ../inner.zip a.txt dir && head -c 5000 /bin/ls > "
                                 "../stub && cat ../stub ../inner.zip > '" +
                                 arc + "'"));
    CUpdateOnly cb;
    ASSERT_EQ(kRunnerExit_Ok, Run({"d", arc, "a.txt"}, cb).ExitCode) << cb.errorText;
    const std::string stub = testsupport::ReadFile(tmp / "stub");
    EXPECT_TRUE(testsupport::ReadFile(arc).compare(0, stub.size(), stub) == 0);
    EXPECT_EQ((V{"dir", "dir/b.txt"}), List(arc));
    // unzip warns of the bytes in front (1) and still finds every entry.
    EXPECT_LE(extracttest::Sh("unzip -tqq '" + arc + "' >/dev/null 2>&1"), 1);
}

// An existing compressed tar cannot be updated: the refusal says so, and the file stays as it was.
TEST_F(UpdateFaults, UpdatingACompressedTarIsRefusedInSoManyWords) {
    for (const char *c : {"z", "J"}) {
        SCOPED_TRACE(c);
        const std::string arc = tmp / (std::string("old.tar.") + (c[0] == 'z' ? "gz" : "xz"));
        ASSERT_EQ(Shell("cd '" + src + "' && tar -c" + c + "f '" + arc + "' a.txt && echo ok"), "ok\n");
        const std::string before = testsupport::ReadFile(arc);
        CUpdateOnly cb;
        const CArcCommandResult r = Run({"a", arc, src + "/dir"}, cb);
        EXPECT_NE(kRunnerExit_Ok, r.ExitCode);
        EXPECT_TRUE(FAILED(cb.result)) << cb.result;
        EXPECT_NE(std::string::npos, cb.errorText.find("cannot be updated")) << cb.errorText;
        EXPECT_TRUE(before == testsupport::ReadFile(arc));
    }
}

// A tar cut inside its last entry, whose header may also claim more than the file holds (8 GiB,
// or nearly the largest size a header can give): adding or renaming writes the kept entries again,
// and the cut one cannot be copied whole. The edit stops with the item named as cut short, leaves
// the archive as it was and no temporary file beside it. (It used to pad the entry with zeros
// until the disk was full.)
TEST_F(UpdateFaults, EditOfATarCutInsideItsLastEntryStopsAndKeepsTheArchive) {
    const struct {
        const char *name;
        const char *sizeField; // python bytes for the header's size field; None keeps it
    } fixtures[] = {
        {"cut", "None"},
        {"past", "b'77777777777\\0'"},
        {"huge", "b'\\x80\\0\\0\\0' + (0x7ffffffffffff000).to_bytes(8, 'big')"},
    };
    for (const auto &f : fixtures) {
        const std::string folder = tmp / f.name;
        ASSERT_EQ(0, mkdir(folder.c_str(), 0755));
        const std::string arc = folder + "/" + f.name + ".tar";
        ASSERT_EQ(Shell("/usr/bin/python3 -c \"import tarfile,io,os,sys\n"
                        "b=io.BytesIO(); t=tarfile.open(fileobj=b, mode='w', format=tarfile.USTAR_FORMAT)\n"
                        "for n,d in (('a.txt',b'alpha'),('big.bin',os.urandom(3000000))):\n"
                        "  i=tarfile.TarInfo(n); i.size=len(d); t.addfile(i, io.BytesIO(d))\n"
                        "t.close(); d=bytearray(b.getvalue()); size=" +
                        std::string(f.sizeField) +
                        "\n"
                        "if size is not None:\n"
                        "  d[1024+124:1024+136]=size; d[1024+148:1024+156]=b' '*8\n"
                        "  d[1024+148:1024+156]=('%06o\\0 ' % sum(d[1024:1536])).encode()\n"
                        "open(sys.argv[1],'wb').write(d[:1500000]); print('ok')\" '" +
                        arc + "'"),
                  "ok\n");
        const std::string before = testsupport::ReadFile(arc);
        const V commands[] = {{"a", arc, src + "/dir/b.txt"}, {"rn", arc, "a.txt", "z.txt"}};
        for (const V &words : commands) {
            SCOPED_TRACE(std::string(f.name) + ": " + words[0]);
            // Copying 1.5 MB takes a moment; the bound only catches a run that does not end.
            const CChildRun r = RunInChild(words, 60);
            ASSERT_TRUE(r.ended) << "the edit did not end";
            EXPECT_NE(kRunnerExit_Ok, r.exitCode) << r.errorText;
            // The cut item is named, as cut short.
            EXPECT_EQ(0u, r.errorText.find(
                              "big.bin:" + std::to_string(NArchive::NExtract::NOperationResult::kUnexpectedEnd) + ";|"))
                << r.errorText;
            EXPECT_TRUE(before == testsupport::ReadFile(arc)) << "the archive changed";
            EXPECT_EQ(std::set<std::string>{std::string(f.name) + ".tar"}, testsupport::DirEntries(folder));
        }
    }
}

// A file that shrinks or grows between the scan and its reading is stored as it was read, and the
// writer marks it with an error result, which front-ends show as a warning naming the file.
TEST_F(UpdateFaults, FileChangedWhileReadIsMarkedByEveryWriter) {
    // Changes the file when its stream is asked for, after the scan has listed its size.
    class CChangingUi : public updatetest::CQuietUpdateUi {
    public:
        std::string path;
        UInt64 newSize = 0;
        std::string current;
        std::vector<std::string> marked;
        HRESULT GetStream(const wchar_t *name, bool, bool, UInt32) override {
            current = S(name);
            if (current == "big.txt") {
                EXPECT_EQ(0, truncate(path.c_str(), static_cast<off_t>(newSize)));
            }
            return S_OK;
        }
        HRESULT SetOperationResult(Int32 opRes) override {
            if (opRes != 0) marked.push_back(current);
            return S_OK;
        }
    };
    const std::string big = src + "/big.txt";
    const struct {
        const char *type;
        const char *ext;
    } formats[] = {{"zip", "zip"}, {"7z", "7z"}, {"tar", "tar"}, {"gzip", "gz"}, {"xz", "xz"}, {"zstd", "zst"}};
    for (const auto &f : formats) {
        // Small files too: the zip writer compresses them on its workers, after the next file is asked for.
        const std::pair<UInt64, UInt64> sizes[] = {
            {3000000, 1000000}, {3000000, 5000000}, {500000, 100000}, {500000, 900000}};
        for (const auto &size : sizes) {
            const UInt64 newSize = size.second;
            SCOPED_TRACE(std::string(f.type) + " from " + std::to_string(size.first) + " to " +
                         std::to_string(newSize));
            ASSERT_EQ(Shell("head -c " + std::to_string(size.first) + " /dev/urandom > '" + big + "' && echo ok"),
                      "ok\n");
            CChangingUi ui;
            ui.path = big;
            ui.newSize = newSize;
            CCodecs *codecs = enginetest::Registry().Codecs;
            CObjectVector<COpenType> types;
            COpenType t;
            t.formatIndex = codecs->FindFormatForArchiveType(testsupport::W(f.type));
            types.Add(t);
            NWildcard::CCensor censor;
            censor.AddItem(NWildcard::k_RelatPath, true, testsupport::W(big), true, true);
            CUpdateOptions options;
            const std::string arc = tmp / (std::string("changed.") + f.ext);
            CUpdateArchiveCommand &cmd = options.Outputs.AddNew();
            cmd.GivenPath = testsupport::W(arc);
            cmd.Actions = NUpdateArchive::k_ActionSet_Add;
            CUpdateErrorInfo errorInfo;
            EXPECT_EQ(S_OK,
                      UpdateArchive(codecs, types, testsupport::W(arc), censor, options, errorInfo, &ui, &ui, true));
            EXPECT_EQ(V{"big.txt"}, ui.marked);
            EXPECT_EQ(0, unlink(arc.c_str()));
        }
    }
}
