// Creating and updating archives end to end: UpdateArchive with the real plug-in, a recording user
// interface, real folders, and the results checked with independent tools.
#include <gtest/gtest.h>

#include <errno.h>
#include <functional>
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <stdio.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utime.h>

#include <algorithm>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "archive/agent_update_fixture.h"
#include "archive/codecs_fixture.h"
#include "archive/update_ui_fixture.h"
#include "archive/ui-common/ArchiveLink.h"
#include "archive/ui-common/ArchiveTempFile.h"
#include "archive/ui-common/Update.h"
#include "test_support.h"

using testsupport::A;
using testsupport::DirEntries;
using testsupport::ReadFile;
using testsupport::Shell;
using testsupport::TempFolder;
using testsupport::W;
using testsupport::WriteFile;

namespace {

// Every call of the engine, in order; optionally stops the run at the n-th stream request.
class CRecordingCallback : public updatetest::CQuietUpdateUi {
    std::mutex _mutex;
    bool _stopped = false;

public:
    std::vector<std::string> Events;
    std::vector<std::string> OpenErrors; // "path errno"
    std::vector<std::string> Deleting;
    std::vector<std::string> DroppedItems;
    int NumStreams = 0;
    int FailAtStream = -1; // the 1-based stream request that fails
    HRESULT FailResult = E_ABORT;
    HRESULT OpenErrorAnswer = S_FALSE;
    std::function<void()> AfterScanning;
    std::function<void()> AtFailStream; // runs at the failing stream request, before it fails
    UInt64 StopAtCompleted = 0;         // progress at or past this stops the run; 0 never
    int CompletedAfterStop = 0;         // progress calls after the stop

    void Add(const std::string &s) {
        std::lock_guard<std::mutex> lock(_mutex);
        Events.push_back(s);
    }

    HRESULT WriteSfx(const wchar_t *name, UInt64 size) override {
        Add("WriteSfx " + A(name) + " " + std::to_string(size));
        return S_OK;
    }
    HRESULT SetCompleted(const UInt64 *value) override {
        if (_stopped) CompletedAfterStop++;
        if (!_stopped && (StopAtCompleted == 0 || !value || *value < StopAtCompleted)) return S_OK;
        _stopped = true;
        return E_ABORT;
    }
    HRESULT SetNumItems(UInt64 n) override {
        Add("SetNumItems " + std::to_string(n));
        return S_OK;
    }
    HRESULT GetStream(const wchar_t *name, bool isDir, bool isAnti, UInt32 mode) override {
        int n;
        {
            std::lock_guard<std::mutex> lock(_mutex);
            n = ++NumStreams;
        }
        Add("GetStream " + A(name) + (isDir ? "/" : "") + (isAnti ? " anti" : "") + " " + std::to_string(mode));
        if (n == FailAtStream && AtFailStream) AtFailStream();
        return n == FailAtStream ? FailResult : S_OK;
    }
    HRESULT OpenFileError(const UString &path, DWORD systemError) override {
        std::lock_guard<std::mutex> lock(_mutex);
        OpenErrors.push_back(A(path) + " " + std::to_string(systemError));
        return OpenErrorAnswer;
    }
    // The password the user gives for the archive (none when empty).
    std::wstring Password;
    HRESULT CryptoGetTextPassword2(Int32 *defined, BSTR *password) override {
        if (defined) *defined = Password.empty() ? 0 : 1;
        *password = ::SysAllocString(Password.c_str());
        return S_OK;
    }
    HRESULT Open_CryptoGetTextPassword(BSTR *password) override {
        if (Password.empty()) return E_ABORT;
        *password = ::SysAllocString(Password.c_str());
        return S_OK;
    }
    HRESULT ShowDeleteFile(const wchar_t *name, bool isDir) override {
        std::lock_guard<std::mutex> lock(_mutex);
        DroppedItems.push_back(A(name) + (isDir ? "/" : ""));
        return S_OK;
    }

    HRESULT ScanError(const UString &path, DWORD systemError) override {
        Add("ScanError " + A(path) + " " + std::to_string(systemError));
        return S_OK;
    }
    HRESULT OpenResult(const CCodecs *, const CArchiveLink &, const wchar_t *name, HRESULT result) override {
        Add("OpenResult " + A(name) + " " + std::to_string(result));
        return S_OK;
    }
    HRESULT StartScanning() override {
        Add("StartScanning");
        return S_OK;
    }
    HRESULT FinishScanning(const CDirItemsStat &) override {
        Add("FinishScanning");
        if (AfterScanning) AfterScanning();
        return S_OK;
    }
    HRESULT StartOpenArchive(const wchar_t *name) override {
        Add("StartOpenArchive " + A(name));
        return S_OK;
    }
    HRESULT StartArchive(const wchar_t *name, bool updating) override {
        Add("StartArchive " + A(name) + (updating ? " updating" : ""));
        return S_OK;
    }
    HRESULT FinishArchive(const CFinishArchiveStat &st) override {
        Add("FinishArchive " + std::to_string(st.ArchiveSize));
        return S_OK;
    }
    HRESULT DeletingAfterArchiving(const UString &path, bool isDir) override {
        Deleting.push_back(A(path) + (isDir ? "/" : ""));
        return S_OK;
    }
    HRESULT FinishDeletingAfterArchiving() override {
        Add("FinishDeletingAfterArchiving");
        return S_OK;
    }

    bool Has(const std::string &event) const { return std::find(Events.begin(), Events.end(), event) != Events.end(); }
};

// "name=content" per file and "name/" per folder, sorted, read with python's own archive modules.
const char *const kLister = R"PY(
import sys
p, kind = sys.argv[1], sys.argv[2]
out = []
if kind == '7z':
    import py7zr
    with py7zr.SevenZipFile(p, 'r') as z:
        infos = [(i.filename, i.is_directory) for i in z.list()]
    with py7zr.SevenZipFile(p, 'r') as z:
        data = z.readall() or {}
    for n, d in infos:
        out.append(n + '/' if d else n + '=' + (data[n].read().decode('latin1') if n in data else ''))
elif kind == 'zip':
    import zipfile
    with zipfile.ZipFile(p) as z:
        z.testzip()
        for i in z.infolist():
            out.append(i.filename if i.is_dir() else i.filename + '=' + z.read(i).decode('latin1'))
elif kind == 'tar':
    import tarfile
    with tarfile.open(p) as t:
        for m in t.getmembers():
            out.append(m.name + '/' if m.isdir() else m.name + '=' + t.extractfile(m).read().decode('latin1'))
print('\n'.join(sorted(out)))
)PY";

// The lister script, written once per test program and removed at its end.
struct CListerScript {
    std::string Path;
    CListerScript() {
        char tmpl[] = "/tmp/tarnova-lister-XXXXXX";
        const int fd = mkstemp(tmpl);
        if (fd < 0) return;
        close(fd);
        if (WriteFile(tmpl, kLister)) Path = tmpl;
    }
    ~CListerScript() {
        if (!Path.empty()) unlink(Path.c_str());
    }
};

const std::string &ListerPath() {
    static CListerScript script;
    return script.Path;
}

std::string ListArchive(const std::string &path, const std::string &kind) {
    std::string out = Shell("/usr/bin/python3 " + ListerPath() + " '" + path + "' " + kind + " 2>&1");
    while (!out.empty() && out.back() == '\n')
        out.pop_back();
    return out;
}

void SetMTime(const std::string &path, time_t t) {
    struct utimbuf ub;
    ub.actime = t;
    ub.modtime = t;
    ASSERT_EQ(utime(path.c_str(), &ub), 0) << path;
}

bool MakeSocket(const std::string &path) {
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    if (fd < 0) return false;
    struct sockaddr_un addr = {};
    addr.sun_family = AF_UNIX;
    if (path.size() >= sizeof(addr.sun_path)) return false;
    strcpy(addr.sun_path, path.c_str());
    const bool ok = bind(fd, (struct sockaddr *)&addr, sizeof(addr)) == 0;
    close(fd);
    return ok;
}

// One request as the front-end makes it.
struct CRequest {
    std::vector<std::string> Sources; // full paths, stored relative to their folder
    std::string Format;               // empty: from the archive name
    NUpdateArchive::CActionSet Actions = NUpdateArchive::k_ActionSet_Add;
    std::function<void(CUpdateOptions &)> Setup;
    bool Named = false; // sources are plain names, as the front-end passes them after "-spd"

    CRecordingCallback Callback;
    CUpdateErrorInfo ErrorInfo;
    std::string Thrown;

    HRESULT Run(const std::string &arcPath) {
        CCodecs *codecs = enginetest::Registry().Codecs;
        CObjectVector<COpenType> types;
        if (!Format.empty()) {
            COpenType t;
            t.formatIndex = codecs->FindFormatForArchiveType(W(Format));
            types.Add(t);
        }
        NWildcard::CCensor censor;
        for (const std::string &s : Sources)
            censor.AddItem(NWildcard::k_RelatPath, true, W(s), !Named, !Named);
        CUpdateOptions options;
        CUpdateArchiveCommand &cmd = options.Outputs.AddNew();
        cmd.GivenPath = W(arcPath);
        cmd.Actions = Actions;
        if (Setup) Setup(options);
        try {
            return UpdateArchive(codecs, types, W(arcPath), censor, options, ErrorInfo, &Callback, &Callback, true);
        } catch (const char *s) {
            Thrown = s;
        } catch (const UString &s) {
            Thrown = A(s);
        } catch (int n) {
            Thrown = std::to_string(n);
        }
        return E_FAIL;
    }
};

class UpdateTest : public ::testing::Test {
protected:
    TempFolder dir;
    std::string tree; // tree/a/b.txt  tree/a/c.txt  tree/top.txt
    std::string arc;

    void SetUp() override {
        ASSERT_TRUE(dir.Ok());
        ASSERT_EQ(enginetest::Registry().LoadResult, S_OK);
        tree = dir / "tree";
        ASSERT_EQ(mkdir(tree.c_str(), 0755), 0);
        ASSERT_EQ(mkdir((tree + "/a").c_str(), 0755), 0);
        ASSERT_TRUE(WriteFile(tree + "/a/b.txt", "bee"));
        ASSERT_TRUE(WriteFile(tree + "/a/c.txt", "sea"));
        ASSERT_TRUE(WriteFile(tree + "/top.txt", "top"));
        arc = dir / "out/test.7z";
    }

    // Creates arc from the tree's top-level entries.
    void CreateArchive(const std::string &path, const std::string &format = "") {
        CRequest r;
        r.Sources = {tree + "/a", tree + "/top.txt"};
        r.Format = format;
        ASSERT_EQ(r.Run(path), S_OK) << r.ErrorInfo.Text.Ptr() << r.Thrown;
    }
};

} // namespace

// Makes the request rename the stored name from to to.
static void AskRename(CRequest &r, const std::string &from, const std::string &to) {
    r.Sources = {from};
    r.Setup = [from, to](CUpdateOptions &o) {
        CRenamePair &rp = o.Renames.AddNew();
        rp.FromPath = testsupport::W(from);
        rp.ToPath = testsupport::W(to);
        rp.Recursion = NRecursedType::kNonRecursive;
    };
}

// Runs with descriptor 1 pointed at the file, and puts it back afterwards.
static HRESULT RunWithStdoutTo(const std::string &file, const std::function<HRESULT()> &run) {
    fflush(stdout);
    const int saved = dup(1);
    const int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (saved < 0 || fd < 0) {
        if (saved >= 0) close(saved);
        if (fd >= 0) close(fd);
        return E_FAIL;
    }
    dup2(fd, 1);
    close(fd);
    const HRESULT res = run();
    dup2(saved, 1);
    close(saved);
    return res;
}

TEST_F(UpdateTest, CreatesEveryWritableFormatReadableByOtherTools) {
    struct {
        const char *Format;
        const char *Name;
        const char *Kind;
    } cases[] = {{"7z", "t.7z", "7z"}, {"zip", "t.zip", "zip"}, {"tar", "t.tar", "tar"}};
    for (const auto &c : cases) {
        const std::string path = dir / c.Name;
        CreateArchive(path, c.Format);
        EXPECT_EQ(ListArchive(path, c.Kind), "a/\na/b.txt=bee\na/c.txt=sea\ntop.txt=top") << c.Format;
        EXPECT_EQ(DirEntries(dir.Path()).count(std::string(c.Name) + ".tmp"), 0u);
    }

    // Single-stream formats hold one file under the archive's name.
    struct {
        const char *Format;
        const char *Ext;
        const char *Tool;
    } streams[] = {{"gzip", "gz", "gzip"}, {"bzip2", "bz2", "bzip2"}, {"xz", "xz", "xz"}, {"zstd", "zst", "zstd"}};
    const std::string big = std::string(100000, 'x') + "end";
    ASSERT_TRUE(WriteFile(dir / "data.bin", big));
    for (const auto &s : streams) {
        CRequest r;
        r.Sources = {dir / "data.bin"};
        r.Format = s.Format;
        const std::string path = dir / (std::string("data.bin.") + s.Ext);
        ASSERT_EQ(r.Run(path), S_OK) << s.Format << " " << r.ErrorInfo.Text.Ptr() << r.Thrown;
        int status = -1;
        EXPECT_EQ(Shell(std::string(s.Tool) + " -dc '" + path + "'", &status), big) << s.Format;
        EXPECT_EQ(status, 0) << s.Format;
    }
}

TEST_F(UpdateTest, ReportsTheRunToTheUserInterface) {
    CRequest r;
    r.Sources = {tree + "/a", tree + "/top.txt"};
    ASSERT_EQ(r.Run(arc), S_OK);
    const std::vector<std::string> expectedOrder = {"StartScanning", "FinishScanning", "StartArchive " + arc,
                                                    "SetNumItems 4"};
    for (size_t i = 0; i < expectedOrder.size(); i++)
        EXPECT_EQ(r.Callback.Events.at(i), expectedOrder[i]);
    EXPECT_TRUE(r.Callback.Has("GetStream a/b.txt 0"));
    EXPECT_EQ(r.Callback.Events.back().rfind("FinishArchive ", 0), 0u);
    struct stat st;
    ASSERT_EQ(stat(arc.c_str(), &st), 0);
    EXPECT_EQ(r.Callback.Events.back(), "FinishArchive " + std::to_string(st.st_size));
    // A new archive is written under its final name, with nothing left beside it.
    EXPECT_EQ(DirEntries(dir / "out"), std::set<std::string>{"test.7z"});
}

TEST_F(UpdateTest, SmartNamesGetTheTypeExtensionOnlyWhenMissing) {
    CRequest r1;
    r1.Sources = {tree + "/top.txt"};
    ASSERT_EQ(r1.Run(dir / "report"), S_OK);
    EXPECT_TRUE(testsupport::ReadFile(dir / "report.7z") != "<missing>");
    CRequest r2;
    r2.Sources = {tree + "/top.txt"};
    r2.Format = "7z";
    ASSERT_EQ(r2.Run(dir / "report.xyz"), S_OK);
    EXPECT_EQ(ListArchive(dir / "report.xyz", "7z"), "top.txt=top");
}

TEST_F(UpdateTest, UpdateAddsReplacesKeepsAndDeletesByActionSet) {
    const time_t t0 = 1600000000;
    SetMTime(tree + "/a/b.txt", t0);
    SetMTime(tree + "/a/c.txt", t0);
    SetMTime(tree + "/top.txt", t0);
    CreateArchive(arc);

    // b.txt newer on disk, c.txt older on disk, d.txt new.
    ASSERT_TRUE(WriteFile(tree + "/a/b.txt", "BEE"));
    SetMTime(tree + "/a/b.txt", t0 + 100);
    ASSERT_TRUE(WriteFile(tree + "/a/c.txt", "SEA"));
    SetMTime(tree + "/a/c.txt", t0 - 100);
    ASSERT_TRUE(WriteFile(tree + "/a/d.txt", "dee"));

    {
        CRequest r;
        r.Sources = {tree + "/a"};
        r.Actions = NUpdateArchive::k_ActionSet_Update;
        ASSERT_EQ(r.Run(arc), S_OK) << r.ErrorInfo.Text.Ptr() << r.Thrown;
        EXPECT_TRUE(r.Callback.Has("StartArchive " + arc + " updating"));
        EXPECT_TRUE(r.Callback.Has("GetStream a/b.txt 1"));
        EXPECT_TRUE(r.Callback.Has("GetStream a/d.txt 0"));
        EXPECT_FALSE(r.Callback.Has("GetStream a/c.txt 1"));
        // the newer disk copy replaced, the newer archive copy kept, the new file added
        EXPECT_EQ(ListArchive(arc, "7z"), "a/\na/b.txt=BEE\na/c.txt=sea\na/d.txt=dee\ntop.txt=top");
    }
    {
        // Add takes the disk copy whichever is newer.
        CRequest r;
        r.Sources = {tree + "/a"};
        ASSERT_EQ(r.Run(arc), S_OK);
        EXPECT_EQ(ListArchive(arc, "7z"), "a/\na/b.txt=BEE\na/c.txt=SEA\na/d.txt=dee\ntop.txt=top");
    }
    {
        CRequest r;
        r.Sources = {tree + "/top.txt"};
        r.Actions = NUpdateArchive::k_ActionSet_Delete;
        ASSERT_EQ(r.Run(arc), S_OK);
        EXPECT_FALSE(r.Callback.Has("StartScanning")); // deleting never scans the disk
        EXPECT_EQ(r.Callback.DroppedItems, std::vector<std::string>{"top.txt"});
        EXPECT_EQ(ListArchive(arc, "7z"), "a/\na/b.txt=BEE\na/c.txt=SEA\na/d.txt=dee");
    }
    EXPECT_EQ(DirEntries(dir / "out"), std::set<std::string>{"test.7z"});
}

TEST_F(UpdateTest, RenameMovesAFolderWithItsItemsWithoutScanning) {
    CreateArchive(arc);
    CRequest r;
    r.Sources = {"a"};
    r.Setup = [](CUpdateOptions &o) {
        CRenamePair &rp = o.Renames.AddNew();
        rp.FromPath = L"a";
        rp.ToPath = L"z";
        rp.Recursion = NRecursedType::kNonRecursive;
    };
    ASSERT_EQ(r.Run(arc), S_OK) << r.ErrorInfo.Text.Ptr() << r.Thrown;
    EXPECT_FALSE(r.Callback.Has("StartScanning"));
    EXPECT_EQ(ListArchive(arc, "7z"), "top.txt=top\nz/\nz/b.txt=bee\nz/c.txt=sea");
}

TEST_F(UpdateTest, UpdateWritesBesideUnderAFreeTemporaryNameAndNeverTouchesAnother) {
    CreateArchive(arc);
    // Someone else's file that happens to have the temporary name.
    ASSERT_TRUE(WriteFile(arc + ".tmp", "not ours"));
    ASSERT_TRUE(WriteFile(tree + "/new.txt", "new"));
    CRequest r;
    r.Sources = {tree + "/new.txt"};
    ASSERT_EQ(r.Run(arc), S_OK) << r.ErrorInfo.Text.Ptr() << r.Thrown;
    EXPECT_EQ(ReadFile(arc + ".tmp"), "not ours");
    EXPECT_EQ(ListArchive(arc, "7z"), "a/\na/b.txt=bee\na/c.txt=sea\nnew.txt=new\ntop.txt=top");
    EXPECT_EQ(DirEntries(dir / "out"), (std::set<std::string>{"test.7z", "test.7z.tmp"}));
}

TEST_F(UpdateTest, WorkFolderHoldsTheTemporaryArchive) {
    CreateArchive(arc);
    ASSERT_EQ(chmod(arc.c_str(), 0600), 0);
    const std::string work = dir / "work";
    ASSERT_EQ(mkdir(work.c_str(), 0755), 0);
    ASSERT_TRUE(WriteFile(tree + "/new.txt", "new"));
    CRequest r;
    r.Sources = {tree + "/new.txt"};
    r.Setup = [&](CUpdateOptions &o) { o.WorkFolder = W(work); };
    ASSERT_EQ(r.Run(arc), S_OK);
    EXPECT_EQ(ListArchive(arc, "7z"), "a/\na/b.txt=bee\na/c.txt=sea\nnew.txt=new\ntop.txt=top");
    EXPECT_TRUE(DirEntries(work).empty());
    // The replacement keeps the old archive's permissions.
    EXPECT_EQ(testsupport::ModeOf(arc) & 07777, 0600u);
}

TEST_F(UpdateTest, AnExistingOutputIsRefused) {
    ASSERT_TRUE(WriteFile(dir / "other.7z", "mine"));
    CRequest r;
    r.Sources = {tree + "/top.txt"};
    r.Setup = [&](CUpdateOptions &o) {
        CUpdateArchiveCommand &second = o.Outputs.AddNew();
        second.GivenPath = W(dir / "other.7z");
        second.Actions = NUpdateArchive::k_ActionSet_Add;
    };
    EXPECT_EQ(r.Run(arc), (HRESULT)0x80070011);
    EXPECT_STREQ(r.ErrorInfo.Text.Ptr(), "The file already exists");
    ASSERT_EQ(r.ErrorInfo.Paths.Size(), 1u);
    EXPECT_EQ(A(r.ErrorInfo.Paths[0]), dir / "other.7z");
    EXPECT_EQ(ReadFile(dir / "other.7z"), "mine");
    EXPECT_EQ(ReadFile(arc), "<missing>");
}

TEST_F(UpdateTest, AnInputThatVanishesIsReportedAndSkipped) {
    CRequest r;
    r.Sources = {tree + "/a", tree + "/top.txt"};
    r.Callback.AfterScanning = [&]() { unlink((tree + "/a/c.txt").c_str()); };
    ASSERT_EQ(r.Run(arc), S_OK) << r.ErrorInfo.Text.Ptr() << r.Thrown;
    EXPECT_EQ(r.Callback.OpenErrors, std::vector<std::string>{tree + "/a/c.txt " + std::to_string(ENOENT)});
    EXPECT_EQ(ListArchive(arc, "7z"), "a/\na/b.txt=bee\ntop.txt=top");
}

// Nothing but missing inputs: the error is reported and no empty archive is left behind; an
// existing archive is kept as it is.
TEST_F(UpdateTest, OnlyMissingInputsMakeNoArchive) {
    CRequest r;
    r.Sources = {tree + "/none.txt"};
    r.Named = true;
    EXPECT_EQ(r.Run(arc), HRESULT_FROM_WIN32(ENOENT));
    EXPECT_STREQ(r.ErrorInfo.Text.Ptr(), "No files were found to add");
    EXPECT_EQ(ReadFile(arc), "<missing>");

    CRequest first;
    first.Sources = {tree + "/top.txt"};
    ASSERT_EQ(first.Run(arc), S_OK);
    CRequest again;
    again.Sources = {tree + "/none.txt"};
    again.Named = true;
    again.Run(arc);
    EXPECT_EQ(ListArchive(arc, "7z"), "top.txt=top");
}

TEST_F(UpdateTest, AFailureHalfWayLeavesTheOldArchiveAndNoTemporaryFiles) {
    CreateArchive(arc);
    const std::string before = ReadFile(arc);
    // With the first temporary name taken, the run's own one goes as well, and only that.
    ASSERT_TRUE(WriteFile(arc + ".tmp", "not ours"));
    ASSERT_TRUE(WriteFile(tree + "/new1.txt", "1"));
    ASSERT_TRUE(WriteFile(tree + "/new2.txt", "2"));
    for (HRESULT failure : {E_ABORT, E_FAIL}) {
        CRequest r;
        r.Sources = {tree + "/new1.txt", tree + "/new2.txt"};
        r.Callback.FailAtStream = 2;
        r.Callback.FailResult = failure;
        EXPECT_EQ(r.Run(arc), failure);
        EXPECT_EQ(ReadFile(arc), before);
        EXPECT_EQ(DirEntries(dir / "out"), (std::set<std::string>{"test.7z", "test.7z.tmp"}));
        EXPECT_EQ(ReadFile(arc + ".tmp"), "not ours");
    }
    // A new archive that fails leaves nothing at all.
    CRequest r;
    r.Sources = {tree + "/new1.txt", tree + "/new2.txt"};
    r.Callback.FailAtStream = 1;
    EXPECT_EQ(r.Run(dir / "fresh.zip"), E_ABORT);
    EXPECT_EQ(ReadFile(dir / "fresh.zip"), "<missing>");
}

// Runs body in a child process that has a small file system of its own mounted at mnt; the result
// is body's exit code, or 77 when no mount namespace can be made here.
static int RunOnSmallDisk(const std::string &mnt, const char *size, const std::function<int()> &body) {
    ListerPath(); // made here, so that the child's exit leaves nothing behind
    fflush(nullptr);
    const pid_t pid = fork();
    if (pid < 0) return 99;
    if (pid == 0) {
        const std::string opts = std::string("size=") + size;
        if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mount("tmpfs", mnt.c_str(), "tmpfs", 0, opts.c_str()) != 0)
            _exit(77);
        const int code = body();
        umount(mnt.c_str());
        _exit(code);
    }
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return 98;
    return WEXITSTATUS(status);
}

static std::string Noise(size_t n, unsigned seed) {
    std::string s(n, 0);
    for (char &c : s) {
        seed = seed * 1103515245u + 12345u;
        c = (char)(seed >> 16);
    }
    return s;
}

TEST_F(UpdateTest, AFullDiskLeavesTheOldArchiveAndNoTemporaryFiles) {
    const std::string mnt = dir / "small";
    ASSERT_EQ(mkdir(mnt.c_str(), 0755), 0);
    ASSERT_TRUE(WriteFile(dir / "noise.bin", Noise(600000, 12345)));
    const int code = RunOnSmallDisk(mnt, "256k", [&]() {
        const std::string small = mnt + "/small.7z";
        {
            CRequest r;
            r.Sources = {tree + "/top.txt"};
            if (r.Run(small) != S_OK) return 10;
        }
        const std::string before = ReadFile(small);
        CRequest r;
        r.Sources = {dir / "noise.bin"};
        int res = 0;
        if (r.Run(small) == S_OK) res |= 1;
        if (ReadFile(small) != before) res |= 2;
        if (DirEntries(mnt) != std::set<std::string>{"small.7z"}) res |= 4;
        return res;
    });
    if (code == 77) GTEST_SKIP() << "no mount namespace here";
    EXPECT_EQ(code & 1, 0) << "the run reported success";
    EXPECT_EQ(code & 2, 0) << "the old archive changed";
    EXPECT_EQ(code & 4, 0) << "files left beside the archive";
    EXPECT_LT(code, 8);
}

TEST_F(UpdateTest, AFailedFinalMoveKeepsTheOldArchiveAndNamesTheNewOne) {
    // The new archive is built in a work folder on another file system and does not fit beside the
    // old one, so only the last step, the move, fails.
    const std::string mnt = dir / "small";
    const std::string work = dir / "work";
    ASSERT_EQ(mkdir(mnt.c_str(), 0755), 0);
    ASSERT_EQ(mkdir(work.c_str(), 0755), 0);
    ASSERT_TRUE(WriteFile(dir / "noise.bin", Noise(200000, 4242)));
    const int code = RunOnSmallDisk(mnt, "128k", [&]() {
        const std::string small = mnt + "/small.7z";
        {
            CRequest r;
            r.Sources = {tree + "/top.txt"};
            if (r.Run(small) != S_OK) return 10;
        }
        const std::string before = ReadFile(small);
        CRequest r;
        r.Sources = {dir / "noise.bin"};
        r.Setup = [&](CUpdateOptions &o) { o.WorkFolder = W(work); };
        int res = 0;
        if (r.Run(small) == S_OK) res |= 1;
        if (ReadFile(small) != before) res |= 2;
        if (DirEntries(mnt) != std::set<std::string>{"small.7z"}) res |= 4;
        const std::string kept = work + "/small.7z.tmp";
        if (r.ErrorInfo.Paths.Size() != 2 || A(r.ErrorInfo.Paths[0]) != kept || A(r.ErrorInfo.Paths[1]) != small)
            res |= 8;
        if (ListArchive(kept, "7z").find("noise.bin=") != 0) res |= 16;
        if (std::string(r.ErrorInfo.Text.Ptr()).find("cannot move the file") != 0) res |= 32;
        return res;
    });
    if (code == 77) GTEST_SKIP() << "no mount namespace here";
    EXPECT_EQ(code & 1, 0) << "the run reported success";
    EXPECT_EQ(code & 2, 0) << "the old archive changed";
    EXPECT_EQ(code & 4, 0) << "files left beside the archive";
    EXPECT_EQ(code & 8, 0) << "the error does not name the kept archive and the target";
    EXPECT_EQ(code & 16, 0) << "the new archive is not kept whole";
    EXPECT_EQ(code & 32, 0) << "wrong message";
    EXPECT_LT(code, 64);
}

TEST_F(UpdateTest, VolumesReadBackThroughTheSplitFormat) {
    std::string noise;
    unsigned x = 777;
    for (int i = 0; i < 20000; i++) {
        x = x * 1103515245u + 12345u;
        noise += (char)('a' + (x >> 16) % 26);
    }
    ASSERT_TRUE(WriteFile(tree + "/noise.txt", noise));
    CRequest r;
    r.Sources = {tree + "/noise.txt", tree + "/top.txt"};
    r.Setup = [](CUpdateOptions &o) { o.VolumeSizes.Add(4000); };
    ASSERT_EQ(r.Run(arc), S_OK) << r.ErrorInfo.Text.Ptr() << r.Thrown;
    const std::set<std::string> entries = DirEntries(dir / "out");
    ASSERT_GE(entries.size(), 3u);
    EXPECT_EQ(*entries.begin(), "test.7z.001");
    EXPECT_EQ(entries.count("test.7z"), 0u);
    struct stat st;
    ASSERT_EQ(stat((arc + ".001").c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 4000);

    // Opened from its first volume, the chain is the split format and the archive inside.
    CArchiveLink link;
    COpenOptions op;
    op.registry = enginetest::Registry().Codecs;
    CIntVector excluded;
    op.excludedFormatIndices = &excluded;
    op.filePath = W(arc + ".001");
    ASSERT_EQ(link.Open3(op, &r.Callback), S_OK);
    ASSERT_EQ(link.levels.Size(), 2u);
    EXPECT_EQ(A(op.registry->Formats[(unsigned)link.levels[0].formatIndex].Name), "Split");
    std::set<std::string> names;
    UInt32 n = 0;
    ASSERT_EQ(link.GetArchive()->GetNumberOfItems(&n), S_OK);
    for (UInt32 i = 0; i < n; i++) {
        UString p;
        ASSERT_EQ(link.GetArc()->GetItemPath(i, p), S_OK);
        names.insert(A(p));
    }
    EXPECT_EQ(names, (std::set<std::string>{"noise.txt", "top.txt"}));
    link.Close();

    Shell("cat '" + arc + "'.0* > '" + dir / "joined.7z" + "'");
    EXPECT_EQ(ListArchive(dir / "joined.7z", "7z"), "noise.txt=" + noise + "\ntop.txt=top");
}

TEST_F(UpdateTest, AFailedVolumeRunLeavesNoVolumesAndNoStub) {
    ASSERT_TRUE(WriteFile(tree + "/noise.bin", Noise(30000, 99)));
    ASSERT_TRUE(WriteFile(tree + "/later.txt", "later"));
    ASSERT_TRUE(WriteFile(dir / "stub.sfx", "STUB"));
    CRequest r;
    r.Sources = {tree + "/noise.bin", tree + "/later.txt"};
    r.Callback.FailAtStream = 2;
    r.Setup = [&](CUpdateOptions &o) {
        o.VolumeSizes.Add(4000);
        o.MakeSfx = true;
        o.SfxModulePath = W(dir / "stub.sfx");
    };
    EXPECT_EQ(r.Run(arc), E_ABORT);
    // The stub and the first volume were written before the run stopped.
    EXPECT_TRUE(r.Callback.Has("WriteSfx " + dir / "stub.sfx 4"));
    EXPECT_TRUE(DirEntries(dir / "out").empty());
}

TEST_F(UpdateTest, DeletingSourcesRemovesOnlyWhatTheArchiveHolds) {
    const std::string src = dir / "src";
    ASSERT_EQ(mkdir(src.c_str(), 0755), 0);
    ASSERT_EQ(mkdir((src + "/sub").c_str(), 0755), 0);
    ASSERT_EQ(mkdir((src + "/sub/deeper").c_str(), 0755), 0);
    ASSERT_EQ(mkdir((src + "/keep").c_str(), 0755), 0);
    ASSERT_TRUE(WriteFile(src + "/data.txt", "data"));
    ASSERT_TRUE(WriteFile(src + "/empty.txt", ""));
    ASSERT_TRUE(WriteFile(src + "/sub/deeper/x.txt", "x"));
    // Empty on disk but cannot be opened: it never gets into the archive, so it stays.
    ASSERT_TRUE(MakeSocket(src + "/keep/sock"));
    CRequest r;
    r.Sources = {src + "/data.txt", src + "/empty.txt", src + "/sub", src + "/keep"};
    r.Setup = [](CUpdateOptions &o) { o.DeleteSourcesAfter = true; };
    ASSERT_EQ(r.Run(arc), S_OK) << r.ErrorInfo.Text.Ptr() << r.Thrown;
    ASSERT_EQ(r.Callback.OpenErrors.size(), 1u);
    EXPECT_EQ(r.Callback.OpenErrors[0], src + "/keep/sock " + std::to_string(ENXIO));
    EXPECT_EQ(ListArchive(arc, "7z"), "data.txt=data\nempty.txt=\nkeep/\nsub/\nsub/deeper/\nsub/deeper/x.txt=x");

    EXPECT_EQ(DirEntries(src), std::set<std::string>{"keep"});
    EXPECT_EQ(DirEntries(src + "/keep"), std::set<std::string>{"sock"});
    // Folders go deepest first, and only when empty.
    std::vector<std::string> seen;
    for (const std::string &d : r.Callback.Deleting)
        if (d.back() == '/') seen.push_back(d);
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0], src + "/sub/deeper/");
    EXPECT_EQ(std::set<std::string>(seen.begin() + 1, seen.end()),
              (std::set<std::string>{src + "/keep/", src + "/sub/"}));
    EXPECT_TRUE(r.Callback.Has("FinishDeletingAfterArchiving"));
}

TEST_F(UpdateTest, RequestsThatCannotWorkAreRefused) {
    {
        CRequest r;
        r.Sources = {tree + "/top.txt"};
        r.Setup = [](CUpdateOptions &o) {
            o.DeleteSourcesAfter = true;
            o.Outputs[0].Actions = NUpdateArchive::k_ActionSet_Update;
        };
        EXPECT_EQ(r.Run(arc), E_NOTIMPL);
    }
    {
        CRequest r;
        r.Sources = {tree + "/top.txt"};
        r.Setup = [](CUpdateOptions &o) {
            o.ToStdOut = true;
            o.MailMode = true;
        };
        EXPECT_EQ(r.Run(arc), E_FAIL);
    }
    {
        CRequest r;
        r.Setup = [](CUpdateOptions &o) { o.Renames.AddNew(); };
        EXPECT_EQ(r.Run(arc), E_FAIL);
        EXPECT_EQ(r.Thrown, "can't find archive");
    }
    {
        ASSERT_EQ(mkdir((tree + "/x.7z").c_str(), 0755), 0);
        CRequest r;
        r.Sources = {tree + "/top.txt"};
        EXPECT_EQ(r.Run(tree + "/x.7z"), E_FAIL);
        EXPECT_EQ(r.Thrown, "there is no such archive");
    }
    {
        CRequest r;
        r.Sources = {tree + "/top.txt"};
        r.Setup = [](CUpdateOptions &o) { o.MakeSfx = true; };
        EXPECT_EQ(r.Run(arc), E_FAIL);
        EXPECT_STREQ(r.ErrorInfo.Text.Ptr(), "SFX file is not specified");
    }
    EXPECT_EQ(ReadFile(arc), "<missing>");
}

TEST_F(UpdateTest, StandardInputAsTheItemAndStandardOutputAsTheArchive) {
    // Descriptors 0 and 1 are pointed at files for the run and put back afterwards.
    ASSERT_TRUE(WriteFile(dir / "in.data", "from stdin"));
    const std::string out = dir / "out.zip";
    fflush(stdout);
    const int savedIn = dup(0), savedOut = dup(1);
    const int in = open((dir / "in.data").c_str(), O_RDONLY);
    const int outFd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_TRUE(savedIn >= 0 && savedOut >= 0 && in >= 0 && outFd >= 0);
    dup2(in, 0);
    dup2(outFd, 1);
    close(in);
    close(outFd);
    CRequest r;
    r.Format = "zip";
    r.Setup = [](CUpdateOptions &o) {
        o.ReadStdIn = true;
        o.StdInItemName = L"piped.txt";
        o.ToStdOut = true;
    };
    const HRESULT res = r.Run(dir / "ignored.zip");
    dup2(savedIn, 0);
    dup2(savedOut, 1);
    close(savedIn);
    close(savedOut);
    ASSERT_EQ(res, S_OK) << r.ErrorInfo.Text.Ptr() << r.Thrown;
    EXPECT_TRUE(r.Callback.Has("StartArchive stdout"));
    EXPECT_EQ(ListArchive(out, "zip"), "piped.txt=from stdin");
    EXPECT_EQ(r.Callback.Events.back(), "FinishArchive " + std::to_string(ReadFile(out).size()));
    EXPECT_EQ(ReadFile(dir / "ignored.zip"), "<missing>");
}

// A 7z with a password and encrypted names, made and then updated through the engine: py7zr lists
// nothing without the password and reads every item with it.
TEST_F(UpdateTest, SevenZipWithAPasswordAndEncryptedNames) {
    const std::wstring password = L"pw-secret";
    auto encrypted = [&](CRequest &r) {
        r.Callback.Password = password;
        r.Setup = [](CUpdateOptions &o) {
            CProperty he;
            he.Name = L"he";
            he.Value = L"on";
            o.Method.Props.Add(he);
        };
    };
    const std::string read =
        "LC_ALL=C.UTF-8 /usr/bin/python3 -c \"import py7zr,sys\nz=py7zr.SevenZipFile(sys.argv[1],password="
        "sys.argv[2] or None)\nfor n,d in sorted(z.readall().items()): print(n+'='+d.read().decode())\" '" +
        arc + "' ";
    CRequest create;
    create.Sources = {tree + "/a", tree + "/top.txt"};
    encrypted(create);
    ASSERT_EQ(create.Run(arc), S_OK) << create.ErrorInfo.Text.Ptr() << create.Thrown;
    int status = -1;
    EXPECT_EQ(Shell(read + "'" + A(password.c_str()) + "'", &status), "a/b.txt=bee\na/c.txt=sea\ntop.txt=top\n");
    Shell(read + "'' 2>/dev/null", &status);
    EXPECT_NE(status, 0);

    ASSERT_TRUE(WriteFile(tree + "/new.txt", "new"));
    CRequest update;
    update.Sources = {tree + "/new.txt"};
    encrypted(update);
    ASSERT_EQ(update.Run(arc), S_OK) << update.ErrorInfo.Text.Ptr() << update.Thrown;
    EXPECT_EQ(Shell(read + "'" + A(password.c_str()) + "'", &status),
              "a/b.txt=bee\na/c.txt=sea\nnew.txt=new\ntop.txt=top\n");
    Shell(read + "'' 2>/dev/null", &status);
    EXPECT_NE(status, 0);
}

namespace {

// Archives made by python's modules and bsdtar: a file, a second file, a folder with a file, a file "f", and a folder
// "g" that only the path of its file implies.
void MakeRenameFixture(const std::string &path, const std::string &kind, const std::string &scratch) {
    ASSERT_TRUE(agenttest::MakeArchive(path, kind, {"a.txt=aa", "b.txt=bb", "d/", "d/e.txt=ee", "f=ff", "g/h.txt=hh"},
                                       scratch));
}

} // namespace

// A rename onto a name that an item already has (file, folder, or a folder the paths imply) is refused and the archive
// stays as it was; a free name goes through.
TEST_F(UpdateTest, RenameOntoATakenNameIsRefusedInEveryWritableFormat) {
    const struct {
        const char *From, *To;
    } refused[] = {{"a.txt", "b.txt"}, {"a.txt", "d"}, {"d", "f"}, {"a.txt", "g"}, {"f", "g/h.txt"}, {"a.txt", "f/x"}};
    for (const char *kind : {"7z", "zip", "tar"}) {
        const std::string path = dir / (std::string("r.") + kind);
        MakeRenameFixture(path, kind, dir.Path());
        const std::string before = ReadFile(path);
        for (const auto &c : refused) {
            CRequest r;
            r.Sources = {"*"};
            r.Setup = [&](CUpdateOptions &o) {
                CRenamePair &rp = o.Renames.AddNew();
                rp.FromPath = W(c.From);
                rp.ToPath = W(c.To);
                rp.Recursion = NRecursedType::kNonRecursive;
            };
            EXPECT_EQ(r.Run(path), E_INVALIDARG) << kind << " " << c.From << " -> " << c.To;
            EXPECT_STREQ(r.ErrorInfo.Text.Ptr(),
                         "An item of the new name is already in the archive; choose another name:")
                << kind << " " << c.From << " -> " << c.To;
            EXPECT_TRUE(ReadFile(path) == before) << kind << " " << c.From << " -> " << c.To;
        }
        EXPECT_EQ(DirEntries(dir.Path()).count(std::string("r.") + kind + ".tmp"), 0u) << kind;
        CRequest ok;
        ok.Sources = {"*"};
        ok.Setup = [](CUpdateOptions &o) {
            CRenamePair &rp = o.Renames.AddNew();
            rp.FromPath = L"a.txt";
            rp.ToPath = L"d/a.txt";
            rp.Recursion = NRecursedType::kNonRecursive;
        };
        ASSERT_EQ(ok.Run(path), S_OK) << kind << ok.ErrorInfo.Text.Ptr() << ok.Thrown;
        EXPECT_EQ(ListArchive(path, kind), "b.txt=bb\nd/\nd/a.txt=aa\nd/e.txt=ee\nf=ff\ng/h.txt=hh") << kind;
    }
}

// Compressed tars can only be made or changed as a tar first: an update through the outer stream would store a plain
// tar under the old name or a plain gzip under a tar name. The message says why, and nothing is written.
TEST_F(UpdateTest, CompressedTarIsRefusedWhateverItsName) {
    ASSERT_TRUE(WriteFile(dir / "one.txt", "one"));
    ASSERT_EQ(testsupport::Sh("cd '" + tree + "' && bsdtar -czf ../t.tar.gz top.txt && cp ../t.tar.gz ../t.dat && " +
                              "bsdtar -cf ../plain.tar top.txt && cp ../plain.tar ../tarball"),
              0);
    const std::string before = ReadFile(dir / "t.tar.gz");
    for (const char *name : {"t.tar.gz", "t.dat"}) {
        CRequest r;
        r.Sources = {dir / "one.txt"};
        EXPECT_EQ(r.Run(dir / name), E_NOTIMPL) << name;
        EXPECT_STREQ(r.ErrorInfo.Text.Ptr(), "The archive is a tar compressed with gzip, which cannot be updated in "
                                             "place: update the tar archive first, then compress it into gzip")
            << name;
        EXPECT_TRUE(ReadFile(dir / name) == before) << name;
    }
    for (const char *name : {"new.tar.gz", "new.tgz"}) {
        CRequest r;
        r.Sources = {dir / "one.txt"};
        EXPECT_EQ(r.Run(dir / name), E_INVALIDARG) << name;
        EXPECT_STREQ(r.ErrorInfo.Text.Ptr(), "The archive's name asks for a tar compressed with gzip, but the input is "
                                             "not a tar: create a .tar archive first, then compress the .tar file into "
                                             "gzip")
            << name;
        EXPECT_EQ(ReadFile(dir / name), "<missing>") << name;
    }
    // A tar, known by its name or by its header, and any file under a plain .gz name go through.
    const struct {
        const char *Input, *Archive, *Content;
    } accepted[] = {{"plain.tar", "a.tar.gz", "top.txt=top"}, {"tarball", "b.tgz", "top.txt=top"}};
    for (const auto &c : accepted) {
        CRequest r;
        r.Sources = {dir / c.Input};
        ASSERT_EQ(r.Run(dir / c.Archive), S_OK) << c.Archive << r.ErrorInfo.Text.Ptr();
        EXPECT_EQ(ListArchive(dir / c.Archive, "tar"), c.Content) << c.Archive;
    }
    CRequest plain;
    plain.Sources = {dir / "one.txt"};
    ASSERT_EQ(plain.Run(dir / "one.txt.gz"), S_OK) << plain.ErrorInfo.Text.Ptr();
    EXPECT_EQ(Shell("gzip -dc '" + dir / "one.txt.gz" + "'"), "one");
}

// The folder that holds the archive is added to it in move mode: the old archive is not stored in the new one, so it is
// neither deleted nor is its folder.
TEST_F(UpdateTest, MoveModeLeavesTheArchiveOutOfWhatItAddsAndDeletes) {
    const std::string src = dir / "src";
    ASSERT_EQ(mkdir(src.c_str(), 0755), 0);
    ASSERT_EQ(mkdir((src + "/sub").c_str(), 0755), 0);
    ASSERT_TRUE(WriteFile(src + "/a.txt", "aa"));
    ASSERT_TRUE(WriteFile(src + "/sub/b.txt", "bb"));
    ASSERT_TRUE(agenttest::MakeArchive(src + "/arc.7z", "7z", {"old.txt=old"}, dir.Path()));
    CRequest r;
    r.Sources = {src};
    r.Setup = [](CUpdateOptions &o) { o.DeleteSourcesAfter = true; };
    ASSERT_EQ(r.Run(src + "/arc.7z"), S_OK) << r.ErrorInfo.Text.Ptr() << r.Thrown;
    EXPECT_EQ(ListArchive(src + "/arc.7z", "7z"), "old.txt=old\nsrc/\nsrc/a.txt=aa\nsrc/sub/\nsrc/sub/b.txt=bb");
    EXPECT_EQ(DirEntries(src), std::set<std::string>{"arc.7z"});
    for (const std::string &d : r.Callback.Deleting)
        EXPECT_EQ(d.find("arc.7z"), std::string::npos) << d;
}

// A run killed while it writes a new archive leaves nothing under the archive's name, so the next run makes it anew.
TEST_F(UpdateTest, CreationKilledHalfWayLeavesNothingUnderTheFinalName) {
    ASSERT_TRUE(WriteFile(tree + "/big.bin", Noise(4 << 20, 7)));
    for (const char *kind : {"7z", "zip", "tar"}) {
        const std::string path = dir / (std::string("killed.") + kind);
        const std::string marker = dir / (std::string("started.") + kind);
        ListerPath();
        fflush(nullptr);
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            CRequest r;
            r.Sources = {tree + "/big.bin", tree + "/top.txt"};
            // The first item is written when the second is asked for: the run stops there until it is killed.
            r.Callback.FailAtStream = 2;
            r.Callback.AtFailStream = [&] {
                WriteFile(marker, "1");
                for (;;)
                    pause();
            };
            r.Run(path);
            _exit(1);
        }
        for (int i = 0; i < 1200 && !testsupport::Exists(marker); i++)
            usleep(50000);
        const bool started = testsupport::Exists(marker);
        kill(pid, SIGKILL);
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(started) << kind;
        EXPECT_TRUE(WIFSIGNALED(status)) << kind;
        EXPECT_EQ(ReadFile(path), "<missing>") << kind;

        CRequest again;
        again.Sources = {tree + "/top.txt"};
        ASSERT_EQ(again.Run(path), S_OK) << kind << again.ErrorInfo.Text.Ptr() << again.Thrown;
        EXPECT_EQ(ListArchive(path, kind), "top.txt=top") << kind;
    }
}

// Names encrypted by another tool stay encrypted after an update with the password, unless "he" turns that off.
TEST_F(UpdateTest, EncryptedNamesStayEncryptedUnlessTurnedOff) {
    ASSERT_EQ(testsupport::Sh("mkdir -p '" + dir / "out" + "' && cd '" + tree +
                              "' && /usr/bin/python3 -c \"import py7zr\nwith py7zr.SevenZipFile('" + arc +
                              "', 'w', password='pw', header_encryption=True) as z: z.write('top.txt')\""),
              0)
        << "py7zr";
    const std::string names = "/usr/bin/python3 -c \"import py7zr,sys\nz=py7zr.SevenZipFile(sys.argv[1],password="
                              "sys.argv[2] or None)\nprint(' '.join(sorted(z.getnames())))\" '" +
                              arc + "' ";
    ASSERT_TRUE(WriteFile(tree + "/new.txt", "new"));
    CRequest add;
    add.Sources = {tree + "/new.txt"};
    add.Callback.Password = L"pw";
    ASSERT_EQ(add.Run(arc), S_OK) << add.ErrorInfo.Text.Ptr() << add.Thrown;
    int status = 0;
    EXPECT_EQ(Shell(names + "pw", &status), "new.txt top.txt\n");
    Shell(names + "'' 2>/dev/null", &status);
    EXPECT_NE(status, 0) << "the names can be read without the password";

    CRequest off;
    off.Sources = {tree + "/a"};
    off.Callback.Password = L"pw";
    off.Setup = [](CUpdateOptions &o) {
        CProperty he;
        he.Name = L"he";
        he.Value = L"off";
        o.Method.Props.Add(he);
    };
    ASSERT_EQ(off.Run(arc), S_OK) << off.ErrorInfo.Text.Ptr() << off.Thrown;
    EXPECT_EQ(Shell(names + "''", &status), "a a/b.txt a/c.txt new.txt top.txt\n");
    EXPECT_EQ(status, 0);
}

// Further outputs of one run are written beside their names too and moved into place when complete.
TEST_F(UpdateTest, EveryOutputIsMovedIntoPlaceWhenComplete) {
    const std::string second = dir / "other/second.7z";
    CRequest r;
    r.Sources = {tree + "/top.txt"};
    r.Setup = [&](CUpdateOptions &o) {
        CUpdateArchiveCommand &cmd = o.Outputs.AddNew();
        cmd.GivenPath = W(second);
        cmd.Actions = NUpdateArchive::k_ActionSet_Add;
    };
    ASSERT_EQ(r.Run(arc), S_OK) << r.ErrorInfo.Text.Ptr() << r.Thrown;
    EXPECT_TRUE(r.Callback.Has("StartArchive " + second));
    EXPECT_EQ(ListArchive(arc, "7z"), "top.txt=top");
    EXPECT_EQ(ListArchive(second, "7z"), "top.txt=top");
    EXPECT_EQ(DirEntries(dir / "out"), std::set<std::string>{"test.7z"});
    EXPECT_EQ(DirEntries(dir / "other"), std::set<std::string>{"second.7z"});
}

namespace {

// "name sha256-prefix" per file, sorted: of a 7z read by py7zr, a zip read by zipfile, or of a folder.
const char *const kDigests = R"PY(
import sys, os, hashlib
mode, p = sys.argv[1], sys.argv[2]
out = {}
if mode == '7z':
    import py7zr
    with py7zr.SevenZipFile(p, 'r', password=(sys.argv[3] if len(sys.argv) > 3 else None)) as z:
        for n, d in z.readall().items():
            out[n] = d.read()
elif mode == 'zip':
    import zipfile
    with zipfile.ZipFile(p) as z:
        if z.testzip() is not None:
            sys.exit(1)
        for i in z.infolist():
            out[i.filename] = z.read(i)
else:
    for root, dirs, files in os.walk(p):
        for f in files:
            full = os.path.join(root, f)
            out[os.path.relpath(full, p)] = open(full, 'rb').read()
print(' '.join(n + '=' + hashlib.sha256(out[n]).hexdigest()[:16] for n in sorted(out)))
)PY";

} // namespace

// Blocks whose items all stay are copied packed: by the kernel into a plain file, through buffers
// to standard output or into a work folder on another file system (where the kernel refuses). An archive
// that py7zr wrote in three sessions (three blocks) gets a file added, deleted and renamed, and every
// result reads back exactly in py7zr and bsdtar; one with encrypted names keeps them encrypted.
TEST_F(UpdateTest, SevenZipKeptBlocksCopyExactlyIntoEveryKindOfOutput) {
    const std::string script = dir / "digests.py";
    ASSERT_TRUE(WriteFile(script, kDigests));
    testsupport::TempFolder shm("/dev/shm");
    const struct {
        const char *Name;
        bool Encrypted;
        bool StdOut;
        bool OtherFileSystem;
    } routes[] = {
        {"beside", false, false, false},
        {"beside, encrypted names", true, false, false},
        {"standard output", false, true, false},
        {"work folder on another file system", false, false, true},
        {"work folder on another file system, encrypted names", true, false, true},
    };
    const std::wstring password = L"kept-pw";
    for (const auto &route : routes) {
        SCOPED_TRACE(route.Name);
        const std::string model = dir / "model", out = dir / "out";
        Shell("rm -rf '" + model + "' '" + out + "' && mkdir -p '" + model + "' '" + out + "'");
        std::string big(300000, '\0');
        unsigned x = 4242;
        for (char &c : big) {
            x = x * 1103515245u + 12345u;
            c = static_cast<char>(x >> 23);
        }
        ASSERT_TRUE(WriteFile(model + "/big.bin", big));
        for (const char *f : {"a", "b", "c", "d"})
            ASSERT_TRUE(WriteFile(model + "/" + f + ".txt", std::string(2000, f[0]) + " end of " + f));
        const std::string pw = route.Encrypted ? A(password.c_str()) : "";
        // py7zr appends no session to an archive with encrypted names: that one is a single block.
        const std::string make =
            route.Encrypted ? "with py7zr.SevenZipFile(p,'w',password=pw,header_encryption=True) as z:\n"
                              " [z.write(m+'/'+n,n) for n in ['big.bin','a.txt','b.txt','c.txt','d.txt']]\n"
                            : "for mode,names in [('w',['big.bin','a.txt']),('a',['b.txt','c.txt']),('a',['d.txt'])]:\n"
                              " with py7zr.SevenZipFile(p,mode) as z:\n  [z.write(m+'/'+n,n) for n in names]\n";
        int status = -1;
        Shell("/usr/bin/python3 -c \"import py7zr,sys\np,m,pw=sys.argv[1:4]\n" + make + "\" '" + arc + "' '" + model +
                  "' '" + pw + "'",
              &status);
        ASSERT_EQ(status, 0);

        auto check = [&](const std::string &path) {
            const std::string expected = Shell("/usr/bin/python3 '" + script + "' dir '" + model + "'");
            EXPECT_EQ(Shell("/usr/bin/python3 '" + script + "' 7z '" + path + "' " + pw), expected);
            if (route.Encrypted) {
                Shell("/usr/bin/python3 '" + script + "' 7z '" + path + "' 2>/dev/null", &status);
                EXPECT_NE(status, 0) << "names readable without the password";
                return;
            }
            const std::string x = dir / "x";
            Shell("rm -rf '" + x + "' && mkdir '" + x + "' && bsdtar -xf '" + path + "' -C '" + x + "'", &status);
            EXPECT_EQ(status, 0);
            EXPECT_EQ(Shell("/usr/bin/python3 '" + script + "' dir '" + x + "'"), expected);
        };
        auto run = [&](CRequest &r) {
            const auto setup = r.Setup;
            r.Setup = [&, setup](CUpdateOptions &o) {
                if (setup) setup(o);
                o.ToStdOut = route.StdOut;
                if (route.OtherFileSystem) o.WorkFolder = W(shm.Path());
                if (route.Encrypted) {
                    CProperty he;
                    he.Name = L"he";
                    he.Value = L"on";
                    o.Method.Props.Add(he);
                }
            };
            if (route.Encrypted) r.Callback.Password = password;
            if (!route.StdOut) return r.Run(arc);
            return RunWithStdoutTo(dir / "stdout.7z", [&] { return r.Run(arc); });
        };

        ASSERT_TRUE(WriteFile(model + "/new.txt", "one small new file"));
        CRequest add;
        add.Sources = {model + "/new.txt"};
        ASSERT_EQ(run(add), S_OK) << add.ErrorInfo.Text.Ptr() << add.Thrown;
        if (route.StdOut) {
            check(dir / "stdout.7z");
            continue;
        }
        check(arc);

        CRequest del;
        del.Sources = {model + "/a.txt"};
        del.Actions = NUpdateArchive::k_ActionSet_Delete;
        ASSERT_EQ(run(del), S_OK) << del.ErrorInfo.Text.Ptr() << del.Thrown;
        ASSERT_EQ(unlink((model + "/a.txt").c_str()), 0);
        check(arc);

        CRequest ren;
        AskRename(ren, "d.txt", "e.txt");
        ASSERT_EQ(run(ren), S_OK) << ren.ErrorInfo.Text.Ptr() << ren.Thrown;
        ASSERT_EQ(rename((model + "/d.txt").c_str(), (model + "/e.txt").c_str()), 0);
        check(arc);
        if (route.OtherFileSystem) {
            EXPECT_TRUE(DirEntries(shm.Path()).empty());
        }
    }
}

// Kept zip entries into every kind of output: beside the old archive the part before the first
// change is copied in the kernel, into another file system through buffers, to standard output by
// libzip. Entries with data descriptors stay as they were; the copy looks for a stop as it goes.
TEST_F(UpdateTest, ZipKeptEntriesCopyExactlyIntoEveryKindOfOutput) {
    TempFolder shm("/dev/shm");
    const std::string model = dir / "model", zip = dir / "out/test.zip", want = dir / "want";
    Shell("mkdir -p '" + model + "' '" + dir / "out" + "'");
    // Large enough for several pieces of the kernel copy, each followed by a look at the progress.
    ASSERT_TRUE(WriteFile(model + "/big.bin", Noise(20 << 20, 77)));
    for (const char *f : {"a", "b", "c"})
        ASSERT_TRUE(WriteFile(model + "/" + f + ".txt", std::string(3000, f[0]) + " end of " + f));
    ASSERT_TRUE(WriteFile(model + "/new.txt", "one small new file"));
    // The first two entries written to a stream that cannot seek get data descriptors.
    int status = -1;
    Shell("/usr/bin/python3 -c \"import zipfile,sys\np,m=sys.argv[1:3]\n"
          "class W:\n def __init__(s,f): s.f=f\n def write(s,b): return s.f.write(b)\n def flush(s): s.f.flush()\n"
          "with zipfile.ZipFile(W(open(p+'.orig','wb')),'w') as z:\n"
          " z.write(m+'/big.bin','big.bin'); z.write(m+'/a.txt','a.txt',zipfile.ZIP_DEFLATED)\n"
          "with zipfile.ZipFile(p+'.orig','a') as z:\n"
          " z.write(m+'/b.txt','b.txt',zipfile.ZIP_DEFLATED); z.write(m+'/c.txt','c.txt')\n"
          "z=zipfile.ZipFile(p+'.orig'); assert z.getinfo('big.bin').flag_bits & 8\n"
          "print(z.start_dir)\" '" +
              zip + "' '" + model + "' > '" + dir / "start" + "'",
          &status);
    ASSERT_EQ(status, 0);
    const std::string original = ReadFile(zip + ".orig");
    const size_t entriesEnd = std::stoul(ReadFile(dir / "start"));

    const std::string script = dir / "digests.py";
    ASSERT_TRUE(WriteFile(script, kDigests));
    // The archive holds exactly the model's files under the names given (stored name=model name).
    auto check = [&](const std::string &path, const std::vector<std::string> &names) {
        std::string copies = "rm -rf '" + want + "' && mkdir '" + want + "'";
        for (const std::string &n : names) {
            const size_t eq = n.find('=');
            copies += " && cp '" + model + "/" + (eq == std::string::npos ? n : n.substr(eq + 1)) + "' '" + want + "/" +
                      n.substr(0, eq) + "'";
        }
        Shell(copies);
        EXPECT_EQ(Shell("/usr/bin/python3 '" + script + "' zip '" + path + "'"),
                  Shell("/usr/bin/python3 '" + script + "' dir '" + want + "'"));
        Shell("unzip -tq '" + path + "' && bsdtar -tf '" + path + "'", &status);
        EXPECT_EQ(status, 0);
    };
    const struct {
        const char *Name;
        bool StdOut;
        bool OtherFileSystem;
    } routes[] = {{"beside", false, false},
                  {"standard output", true, false},
                  {"work folder on another file system", false, true}};
    for (const auto &route : routes) {
        SCOPED_TRACE(route.Name);
        ASSERT_TRUE(WriteFile(zip, original));
        auto run = [&](CRequest &r) {
            const auto setup = r.Setup;
            r.Setup = [&, setup](CUpdateOptions &o) {
                if (setup) setup(o);
                o.ToStdOut = route.StdOut;
                if (route.OtherFileSystem) o.WorkFolder = W(shm.Path());
            };
            if (!route.StdOut) return r.Run(zip);
            return RunWithStdoutTo(dir / "stdout.zip", [&] { return r.Run(zip); });
        };

        // Stopped in the middle of the copy: the old archive stays and nothing is left behind.
        CRequest stopped;
        stopped.Sources = {model + "/new.txt"};
        stopped.Callback.StopAtCompleted = 8 << 20;
        EXPECT_EQ(run(stopped), E_ABORT);
        EXPECT_EQ(stopped.Callback.CompletedAfterStop, 0) << "the writer went on after the stop";
        EXPECT_TRUE(ReadFile(zip) == original) << "the old archive changed";
        EXPECT_EQ(DirEntries(dir / "out"), (std::set<std::string>{"test.zip", "test.zip.orig"}));
        if (route.OtherFileSystem) {
            EXPECT_TRUE(DirEntries(shm.Path()).empty());
        }

        CRequest add;
        add.Sources = {model + "/new.txt"};
        ASSERT_EQ(run(add), S_OK) << add.ErrorInfo.Text.Ptr() << add.Thrown;
        const std::string added = route.StdOut ? dir / "stdout.zip" : zip;
        check(added, {"big.bin", "a.txt", "b.txt", "c.txt", "new.txt"});
        if (route.StdOut) continue;
        // Every kept entry stays byte for byte where it was.
        const std::string now = ReadFile(zip);
        EXPECT_EQ(now.compare(0, entriesEnd, original, 0, entriesEnd), 0);

        CRequest del;
        del.Sources = {model + "/a.txt"};
        del.Actions = NUpdateArchive::k_ActionSet_Delete;
        ASSERT_EQ(run(del), S_OK) << del.ErrorInfo.Text.Ptr() << del.Thrown;
        check(zip, {"big.bin", "b.txt", "c.txt", "new.txt"});

        CRequest ren;
        AskRename(ren, "b.txt", "c2.txt");
        ASSERT_EQ(run(ren), S_OK) << ren.ErrorInfo.Text.Ptr() << ren.Thrown;
        check(zip, {"big.bin", "c.txt", "c2.txt=b.txt", "new.txt"});
        if (route.OtherFileSystem) {
            EXPECT_TRUE(DirEntries(shm.Path()).empty());
        }
    }
}

// Small zip entries are read on worker threads: a file that turned into a folder after the scan
// opens but fails to read there, and the failure reaches the caller as the run's result, with no
// archive and no temporary file left.
TEST_F(UpdateTest, AReadFailureOnAZipWorkerEndsTheRunCleanly) {
    const std::string many = tree + "/many";
    ASSERT_EQ(mkdir(many.c_str(), 0755), 0);
    for (int i = 0; i < 200; i++)
        ASSERT_TRUE(WriteFile(many + "/f" + std::to_string(i) + ".txt", std::string(3000, 'a' + i % 26)));
    const std::string zip = dir / "out/many.zip";
    CRequest r;
    r.Sources = {many};
    r.Callback.AfterScanning = [&]() {
        const std::string victim = many + "/f150.txt";
        ASSERT_EQ(unlink(victim.c_str()), 0);
        ASSERT_EQ(mkdir(victim.c_str(), 0755), 0);
    };
    EXPECT_EQ(r.Run(zip), HRESULT_FROM_ERRNO(EISDIR)) << r.ErrorInfo.Text.Ptr() << r.Thrown;
    EXPECT_TRUE(DirEntries(dir / "out").empty());
}

// A self-extractor is the stub followed by a whole archive whose offsets count from the archive's
// own start: other tools read it past the stub, and the engine lists it at the stub's end. bsdtar
// looks for a 7z only behind a program of some 160 KiB or more.
TEST_F(UpdateTest, SelfExtractorIsTheStubFollowedByAWholeArchive) {
    const std::string stub = "\x7F"
                             "ELF" +
                             Noise(0x28000 - 4, 4242);
    ASSERT_TRUE(WriteFile(dir / "stub.sfx", stub));
    for (const char *format : {"7z", "zip"}) {
        SCOPED_TRACE(format);
        const std::string path = dir / (std::string("sfx-") + format + ".exe");
        CRequest r;
        r.Sources = {tree + "/a", tree + "/top.txt"};
        r.Format = format;
        r.Setup = [&](CUpdateOptions &o) {
            o.MakeSfx = true;
            o.SfxModulePath = W(dir / "stub.sfx");
        };
        ASSERT_EQ(r.Run(path), S_OK) << r.ErrorInfo.Text.Ptr() << r.Thrown;
        const std::string all = ReadFile(path);
        ASSERT_GT(all.size(), stub.size());
        EXPECT_EQ(all.substr(0, stub.size()), stub);
        EXPECT_EQ(Shell("bsdtar -tf '" + path + "' 2>&1 | sort"), "a/\na/b.txt\na/c.txt\ntop.txt\n");
        const std::string inner = dir / (std::string("inner.") + format);
        ASSERT_TRUE(WriteFile(inner, all.substr(stub.size())));
        EXPECT_EQ(ListArchive(inner, format), "a/\na/b.txt=bee\na/c.txt=sea\ntop.txt=top");

        CArchiveLink link;
        COpenOptions op;
        op.registry = enginetest::Registry().Codecs;
        CIntVector excluded;
        op.excludedFormatIndices = &excluded;
        op.filePath = W(path);
        ASSERT_EQ(link.Open3(op, &r.Callback), S_OK);
        ASSERT_EQ(link.levels.Size(), 1u);
        EXPECT_EQ(link.levels[0].GetGlobalOffset(), stub.size());
        EXPECT_FALSE(link.levels[0].openErrors.hasTail);
        UInt32 n = 0;
        ASSERT_EQ(link.GetArchive()->GetNumberOfItems(&n), S_OK);
        EXPECT_EQ(n, 4u);
    }
}

// Bytes after the end of an archive are reported, and an update refuses rather than drop them.
TEST_F(UpdateTest, DataAfterTheEndIsReportedAndAnUpdateLeavesItAlone) {
    for (const char *format : {"7z", "zip", "tar"}) {
        SCOPED_TRACE(format);
        const std::string path = dir / (std::string("tail.") + format);
        CreateArchive(path, format);
        const std::string tail = "trailing bytes that are no part of the archive\n";
        ASSERT_TRUE(WriteFile(path, ReadFile(path) + tail));
        const std::string before = ReadFile(path);

        CArchiveLink link;
        COpenOptions op;
        op.registry = enginetest::Registry().Codecs;
        CIntVector excluded;
        op.excludedFormatIndices = &excluded;
        op.filePath = W(path);
        CRecordingCallback cb;
        ASSERT_EQ(link.Open3(op, &cb), S_OK);
        ASSERT_EQ(link.levels.Size(), 1u);
        EXPECT_TRUE(link.levels[0].openErrors.hasTail);
        EXPECT_EQ(link.levels[0].openErrors.tailLength, tail.size());
        link.Close();

        CRequest r;
        r.Sources = {dir / "stub.txt"};
        ASSERT_TRUE(WriteFile(dir / "stub.txt", "new"));
        EXPECT_EQ(r.Run(path), E_NOTIMPL);
        EXPECT_STREQ(r.ErrorInfo.Text.Ptr(), "There is some data block after the end of the archive");
        EXPECT_EQ(ReadFile(path), before);
    }
}

namespace {

// Runs body in a child process; returns its pid.
pid_t StartChild(const std::function<int()> &body) {
    ListerPath();
    fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) _exit(body());
    return pid;
}

double SecondsSince(const struct timespec &from) {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (double)(now.tv_sec - from.tv_sec) + (double)(now.tv_nsec - from.tv_nsec) / 1e9;
}

// Restores the named-temporary switch and the cache folder the notes of named temporaries go to.
struct CNamedTemporaries {
    std::string OldCache;
    bool HadCache;
    explicit CNamedTemporaries(const std::string &cache) {
        const char *c = getenv("XDG_CACHE_HOME");
        HadCache = c != nullptr;
        if (c) OldCache = c;
        setenv("XDG_CACHE_HOME", cache.c_str(), 1);
        CArchiveTempFile::NoUnnamedFiles = true;
    }
    ~CNamedTemporaries() {
        CArchiveTempFile::NoUnnamedFiles = false;
        if (HadCache)
            setenv("XDG_CACHE_HOME", OldCache.c_str(), 1);
        else
            unsetenv("XDG_CACHE_HOME");
    }
};

} // namespace

// Kills spread over a whole run: afterwards the folder holds the old archive as it was (nothing for a new one) and
// never a temporary file.
TEST_F(UpdateTest, AWriterKilledAtAnyMomentLeavesOnlyTheOldArchive) {
    const std::string src = dir / "src";
    ASSERT_EQ(mkdir(src.c_str(), 0755), 0);
    const std::string big = Noise(3 << 20, 11);
    unsigned seed = 20261211;
    for (const char *ext : {"7z", "zip", "gz", "xz"}) {
        for (const bool update : {false, true}) {
            SCOPED_TRACE(std::string(ext) + (update ? " update" : " create"));
            const std::string folder = dir / (std::string("k-") + ext + (update ? "-u" : "-a"));
            ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
            const std::string path = folder + "/arc." + ext;
            const std::string name = std::string("arc.") + ext;
            std::string before = "<missing>";
            if (update) {
                ASSERT_TRUE(WriteFile(src + "/arc", "small"));
                CRequest r;
                r.Sources = {src + "/arc"};
                ASSERT_EQ(r.Run(path), S_OK) << r.ErrorInfo.Text.Ptr() << r.Thrown;
                before = ReadFile(path);
            }
            ASSERT_TRUE(WriteFile(src + "/arc", big));
            auto restore = [&] {
                if (update)
                    ASSERT_TRUE(WriteFile(path, before));
                else
                    unlink(path.c_str());
            };
            auto writer = [&] {
                CRequest r;
                r.Sources = {src + "/arc"};
                const HRESULT res = r.Run(path);
                if (res != S_OK) fprintf(stderr, "%x %s %s\n", (unsigned)res, r.ErrorInfo.Text.Ptr(), r.Thrown.c_str());
                return res == S_OK ? 0 : 1;
            };
            // One whole run gives the span the kills are spread over.
            struct timespec start;
            clock_gettime(CLOCK_MONOTONIC, &start);
            const pid_t whole = StartChild(writer);
            ASSERT_GT(whole, 0);
            int status = 0;
            ASSERT_EQ(waitpid(whole, &status, 0), whole);
            ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
            const double span = SecondsSince(start);
            restore();

            for (int k = 0; k < 4; k++) {
                seed = seed * 1103515245u + 12345u;
                const double at = span * (k + (double)((seed >> 8) % 1000) / 1000.0) / 4.0;
                const pid_t pid = StartChild(writer);
                ASSERT_GT(pid, 0);
                usleep((useconds_t)(at * 1e6));
                kill(pid, SIGKILL);
                ASSERT_EQ(waitpid(pid, &status, 0), pid);
                if (!WIFSIGNALED(status)) {
                    // Done before the kill came: nothing to check this round.
                    restore();
                    continue;
                }
                // A kill that comes after the new archive was put in place (while the process ends, say) finds it
                // complete.
                const bool replaced = ReadFile(path) != before;
                if (replaced) {
                    const std::string decode = std::string(ext) == "gz"   ? "gzip -dc '"
                                               : std::string(ext) == "xz" ? "xz -dc '"
                                                                          : "bsdtar -xOf '";
                    EXPECT_EQ(testsupport::Sh(decode + path + "' | cmp -s - '" + src + "/arc'"), 0)
                        << "killed at " << at << " s: a broken archive under the final name";
                }
                const std::set<std::string> left = DirEntries(folder);
                EXPECT_EQ(left, update || replaced ? std::set<std::string>{name} : std::set<std::string>())
                    << "killed at " << at << " s";
                for (const std::string &f : left)
                    if (f != name) unlink((folder + "/" + f).c_str());
                if (replaced) restore();
            }
        }
    }

    // Volumes get their names together, once the last one is complete.
    const std::string folder = dir / "k-volumes";
    ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
    auto volumes = [&] {
        CRequest r;
        r.Sources = {src + "/arc"};
        r.Setup = [](CUpdateOptions &o) { o.VolumeSizes.Add(1 << 20); };
        return r.Run(folder + "/arc.7z") == S_OK ? 0 : 1;
    };
    const pid_t whole = StartChild(volumes);
    ASSERT_GT(whole, 0);
    int status = 0;
    ASSERT_EQ(waitpid(whole, &status, 0), whole);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    const std::set<std::string> complete = DirEntries(folder);
    ASSERT_GT(complete.size(), 1u);
    const auto clear = [&] {
        for (const std::string &f : DirEntries(folder))
            unlink((folder + "/" + f).c_str());
    };
    clear();
    for (int k = 0; k < 4; k++) {
        const pid_t pid = StartChild(volumes);
        ASSERT_GT(pid, 0);
        usleep((useconds_t)(k * 150000 + 50000));
        kill(pid, SIGKILL);
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        const std::set<std::string> left = DirEntries(folder);
        EXPECT_TRUE(left.empty() || left == complete) << left.size() << " of " << complete.size() << " volumes left";
        clear();
    }
}

// Where the file system cannot make unnamed files, a killed run's named temporary is removed by the next write of the
// same archive; the temporary of a run that is still writing, and a file of that name not made here, stay.
TEST_F(UpdateTest, NamedTemporaryOfAKilledRunIsRemovedByTheNextWrite) {
    const CNamedTemporaries named(dir / "cache");
    CreateArchive(arc);
    const std::string out = dir / "out";
    EXPECT_EQ(DirEntries(out), std::set<std::string>{"test.7z"});
    ASSERT_TRUE(WriteFile(tree + "/new.txt", "new"));
    const std::string marker = dir / "started";
    const pid_t pid = StartChild([&] {
        CRequest r;
        r.Sources = {tree + "/new.txt", tree + "/top.txt"};
        r.Callback.FailAtStream = 2;
        r.Callback.AtFailStream = [&] {
            WriteFile(marker, "1");
            for (;;)
                pause();
        };
        r.Run(arc);
        return 1;
    });
    ASSERT_GT(pid, 0);
    for (int i = 0; i < 1200 && !testsupport::Exists(marker); i++)
        usleep(50000);
    const bool started = testsupport::Exists(marker);
    if (started) {
        EXPECT_EQ(DirEntries(out), (std::set<std::string>{"test.7z", "test.7z.tmp"}));
        CRequest meanwhile;
        meanwhile.Sources = {tree + "/new.txt"};
        EXPECT_EQ(meanwhile.Run(arc), S_OK) << meanwhile.ErrorInfo.Text.Ptr() << meanwhile.Thrown;
        EXPECT_EQ(DirEntries(out), (std::set<std::string>{"test.7z", "test.7z.tmp"})) << "a live writer's file went";
    }
    kill(pid, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(started);

    ASSERT_TRUE(WriteFile(arc + ".tmp7", "not ours"));
    CRequest next;
    next.Sources = {tree + "/top.txt"};
    ASSERT_EQ(next.Run(arc), S_OK) << next.ErrorInfo.Text.Ptr() << next.Thrown;
    EXPECT_EQ(DirEntries(out), (std::set<std::string>{"test.7z", "test.7z.tmp7"}));
    EXPECT_EQ(ReadFile(arc + ".tmp7"), "not ours");
    EXPECT_EQ(ListArchive(arc, "7z"), "a/\na/b.txt=bee\na/c.txt=sea\nnew.txt=new\ntop.txt=top");
    EXPECT_TRUE(DirEntries(dir / "cache/tarnova/unfinished").empty());
}

// Inputs that would be stored under one name, or an input that meets a kept item of the other kind there, are refused
// before anything is written, naming both: extraction could write only one of them.
TEST_F(UpdateTest, InputsThatWouldShareAStoredNameAreRefused) {
    const std::string x = dir / "x", y = dir / "y", z = dir / "z";
    for (const std::string &d : {x, y, y + "/d", z})
        ASSERT_EQ(mkdir(d.c_str(), 0755), 0);
    ASSERT_TRUE(WriteFile(x + "/d", "file"));
    ASSERT_TRUE(WriteFile(z + "/d", "other file"));
    ASSERT_TRUE(WriteFile(y + "/d/f", "inner"));
    struct CCase {
        const char *What;
        std::vector<std::string> Old; // the archive's sources; none: a new archive
        std::vector<std::string> New;
        std::vector<std::string> Named;
    };
    const CCase cases[] = {
        {"a file and a folder in one run", {}, {x + "/d", y + "/d"}, {x + "/d", y + "/d"}},
        {"two files in one run", {}, {x + "/d", z + "/d"}, {x + "/d", z + "/d"}},
        {"a folder onto a kept file", {x + "/d"}, {y + "/d"}, {"d", y + "/d"}},
        {"a file onto a kept folder", {y + "/d"}, {x + "/d"}, {x + "/d", "d"}},
    };
    for (const char *ext : {"7z", "zip", "tar"}) {
        for (const CCase &c : cases) {
            SCOPED_TRACE(std::string(ext) + ": " + c.What);
            const std::string folder = dir / (std::string("out-") + ext);
            const std::string path = folder + "/clash." + ext;
            unlink(path.c_str());
            if (!c.Old.empty()) {
                CRequest old;
                old.Sources = c.Old;
                ASSERT_EQ(old.Run(path), S_OK) << old.ErrorInfo.Text.Ptr() << old.Thrown;
            }
            const std::string before = ReadFile(path);
            CRequest r;
            r.Sources = c.New;
            EXPECT_EQ(r.Run(path), E_FAIL);
            for (const std::string &name : c.Named)
                EXPECT_NE(r.Thrown.find("\n" + name), std::string::npos) << r.Thrown;
            EXPECT_EQ(ReadFile(path), before);
            EXPECT_EQ(DirEntries(folder),
                      c.Old.empty() ? std::set<std::string>() : std::set<std::string>{"clash." + std::string(ext)});
        }
    }
}

// An update rule that asks for anti-items (action 3 for items gone from disk, as "-uq3" does) leaves those items out of
// a 7z: no anti-item is written, and other tools read the result.
TEST_F(UpdateTest, AntiActionLeavesTheItemOutOfA7z) {
    CreateArchive(arc);
    ASSERT_EQ(unlink((tree + "/top.txt").c_str()), 0);
    CRequest r;
    r.Sources = {tree + "/a", tree + "/top.txt"};
    r.Actions.StateActions[NUpdateArchive::kPairArchiveOnly] = NUpdateArchive::kActionAnti;
    ASSERT_EQ(r.Run(arc), S_OK) << r.ErrorInfo.Text.Ptr() << r.Thrown;
    EXPECT_EQ(ListArchive(arc, "7z"), "a/\na/b.txt=bee\na/c.txt=sea");
    int status = 0;
    EXPECT_EQ(Shell("bsdtar -tf '" + arc + "' | sort", &status), "a/\na/b.txt\na/c.txt\n");
    EXPECT_EQ(status, 0);
}
