// The watch of a temporary copy handed to an outside program: real processes that hold the path
// among their arguments, found under /proc, and the copy removed only when that is safe.
#include <QCoreApplication>

#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "ProcessList.h"
#include "TempFolders.h"
#include "TmpProcessWatcher.h"
#include "module.h"
#include "test_support.h"
#include "windows/TempDir.h"

extern char **environ;

using testsupport::TempFolder;
using testsupport::W;

namespace {

// A child process running a shell script with the given arguments ($1, $2, ...); killed and
// reaped at the end of the test.
class CChild {
public:
    CChild(const std::string &script, const std::vector<std::string> &args) {
        std::vector<std::string> words{"/bin/sh", "-c", script, "sh"};
        words.insert(words.end(), args.begin(), args.end());
        std::vector<char *> argv;
        for (std::string &w : words)
            argv.push_back(&w[0]);
        argv.push_back(nullptr);
        // A group of its own, so that the end of the test takes the shell's children too.
        posix_spawnattr_t attr;
        posix_spawnattr_init(&attr);
        posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
        posix_spawnattr_setpgroup(&attr, 0);
        if (posix_spawn(&pid, "/bin/sh", nullptr, &attr, argv.data(), environ) != 0) pid = -1;
        posix_spawnattr_destroy(&attr);
    }
    ~CChild() {
        if (pid > 0) {
            kill(-pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }
    bool Ended() {
        int status;
        return waitpid(pid, &status, WNOHANG) == pid;
    }
    pid_t pid = -1;
};

// Keeps the shell from replacing itself by the command, so its arguments stay in /proc.
const char kHold[] = "sleep 30; :";

int WaitForPid(const std::string &text, bool caseSensitive, bool exact) {
    int pid = -1;
    testsupport::WaitFor([&] { return (pid = GetPIDbyCmdline(text.c_str(), caseSensitive, exact)) > 0; },
                         std::chrono::milliseconds(2000));
    return pid;
}

// A copy as the opening leaves it: a temporary folder with one file, its size and time recorded.
struct CCopy {
    NWindows::NFile::NDir::CTempDir dir;
    std::unique_ptr<CTmpProcessInfo> info{new CTmpProcessInfo};
    CCopy() {
        EXPECT_TRUE(dir.Create(kTempFolderPrefix_Open));
        info->FolderPath = dir.GetPath();
        info->FilePath = dir.GetPath() + L"/note 1.txt";
        EXPECT_TRUE(testsupport::WriteFile(Path(), "old"));
        EXPECT_TRUE(info->FileInfo.Find(info->FilePath));
        EXPECT_TRUE(info->Stamp.Read(info->FilePath));
        info->NeedDelete = true;
    }
    std::string Path() const { return testsupport::A(info->FilePath); }
    std::string Folder() const { return testsupport::A(info->FolderPath); }
};

CWatchTiming Fast() {
    CWatchTiming t;
    t.LookupIntervalMs = 50;
    t.CheckIntervalMs = 50;
    t.SliceMs = 10;
    return t;
}

} // namespace

TEST(ProcessList, FindsAProcessByAnyWholeArgumentOrItsFileUrl) {
    TempFolder dir;
    const std::string path = dir / "my file.txt";
    CChild child(kHold, {"--flag", path});
    EXPECT_EQ(WaitForPid(path, true, true), child.pid);
    // Only a part of an argument: a match only when not exact.
    const std::string inside = path.substr(0, path.size() - 4);
    EXPECT_EQ(GetPIDbyCmdline(inside.c_str(), true, true), -1);
    EXPECT_EQ(GetPIDbyCmdline(inside.c_str(), true, false), child.pid);

    std::string upper = path;
    for (char &c : upper)
        c = (char)toupper((unsigned char)c);
    EXPECT_EQ(GetPIDbyCmdline(upper.c_str(), true, true), -1);
    EXPECT_EQ(GetPIDbyCmdline(upper.c_str(), false, true), child.pid);

    const std::string other = dir / "b c%.txt";
    CChild viaUrl(kHold, {"file://" + dir.Path() + "/b%20c%25.txt"});
    EXPECT_EQ(WaitForPid(other, true, true), viaUrl.pid);
    EXPECT_EQ(GetPIDbyCmdline((dir / "nobody has this").c_str(), false, true), -1);
}

TEST(ProcessList, EndedAndZombieProcessesDoNotRun) {
    EXPECT_TRUE(IsProcessRunning(getpid()));
    EXPECT_TRUE(IsProcessRunning(1));
    EXPECT_FALSE(IsProcessRunning(0));
    CChild zombie("exit 0", {});
    // Not reaped: the kernel keeps it as a zombie, which must not count as the program running.
    ASSERT_TRUE(testsupport::WaitFor([&] { return !IsProcessRunning(zombie.pid); }));
    ASSERT_TRUE(testsupport::WaitFor([&] { return zombie.Ended(); }));
    EXPECT_FALSE(IsProcessRunning(zombie.pid));
}

TEST(TmpProcessWatcher, RemovesTheUnchangedCopyOnceTheProgramHasEnded) {
    CCopy copy;
    CChild program("sleep 0.3; :", {copy.Path()});
    EXPECT_EQ(WatchOpenedItem(*copy.info, Fast(), nullptr), EWatchEnd::Removed);
    EXPECT_TRUE(program.Ended());
    EXPECT_FALSE(testsupport::Exists(copy.Path()));
    EXPECT_FALSE(testsupport::Exists(copy.Folder()));
}

TEST(TmpProcessWatcher, FollowsTheFileToTheNextProcess) {
    // A launcher that hands the file on and ends first, then the program itself.
    CCopy copy;
    CChild launcher("sleep 0.2; :", {copy.Path()});
    CChild program("sleep 1; :", {"file://" + copy.Path()});
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(WatchOpenedItem(*copy.info, Fast(), nullptr), EWatchEnd::Removed);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(900));
    EXPECT_TRUE(program.Ended());
}

// A program that hands the file to an instance already running is never seen with it: the watch
// gives up after its look-ups and deletes the copy, unless the copy was changed meanwhile.
TEST(TmpProcessWatcher, GivesUpWhenNoProgramIsSeenAndDeletesOnlyAnUnchangedCopy) {
    {
        CCopy copy;
        EXPECT_EQ(WatchOpenedItem(*copy.info, Fast(), nullptr), EWatchEnd::Removed);
        EXPECT_FALSE(testsupport::Exists(copy.Path()));
        EXPECT_FALSE(testsupport::Exists(copy.Folder()));
    }
    {
        CCopy copy;
        ASSERT_TRUE(testsupport::WriteFile(copy.Path(), "saved by the running instance"));
        EXPECT_EQ(WatchOpenedItem(*copy.info, Fast(), nullptr), EWatchEnd::KeptChanged);
        EXPECT_EQ(testsupport::ReadFile(copy.Path()), "saved by the running instance");
    }
}

TEST(TmpProcessWatcher, KeepsTheCopyWhenChangedOrStopped) {
    {
        // Without a stamp of the extracted file a change cannot be ruled out.
        CCopy copy;
        copy.info->Stamp = CFileStamp();
        CChild program("sleep 0.2; :", {copy.Path()});
        EXPECT_EQ(WatchOpenedItem(*copy.info, Fast(), nullptr), EWatchEnd::KeptChanged);
        EXPECT_TRUE(testsupport::Exists(copy.Path()));
    }
    {
        // The program saved its changes (same size, likely the same second): they are nowhere else.
        CCopy copy;
        CChild editor("sleep 0.2; printf new > \"$1\"; sleep 0.2; :", {copy.Path()});
        EXPECT_EQ(WatchOpenedItem(*copy.info, Fast(), nullptr), EWatchEnd::KeptChanged);
        EXPECT_EQ(testsupport::ReadFile(copy.Path()), "new");
    }
    {
        // The program is ending while the file is still open.
        CCopy copy;
        CChild program(kHold, {copy.Path()});
        const auto start = std::chrono::steady_clock::now();
        const auto stop = [&] { return std::chrono::steady_clock::now() - start > std::chrono::milliseconds(400); };
        EXPECT_EQ(WatchOpenedItem(*copy.info, Fast(), stop), EWatchEnd::KeptStopped);
        EXPECT_TRUE(testsupport::Exists(copy.Path()));
    }
    {
        CCopy copy;
        copy.info->NeedDelete = false;
        CChild program("sleep 0.2; :", {copy.Path()});
        EXPECT_EQ(WatchOpenedItem(*copy.info, Fast(), nullptr), EWatchEnd::KeptByRequest);
        EXPECT_TRUE(testsupport::Exists(copy.Path()));
    }
}

TEST(TmpProcessWatcher, RunsOnARegisteredThreadThatOwnsTheInfo) {
    CCopy copy;
    const std::string path = copy.Path(), folder = copy.Folder();
    copy.dir.DisableDeleting(); // the watcher owns the folder now
    const int before = _module.running_threads();
    CChild program("sleep 0.3; :", {path});
    ASSERT_EQ(StartTmpProcessWatcher(copy.info, Fast()), 0);
    EXPECT_FALSE(copy.info);
    EXPECT_EQ(_module.running_threads(), before + 1);
    EXPECT_TRUE(testsupport::WaitFor([&] { return _module.running_threads() == before; }));
    EXPECT_FALSE(testsupport::Exists(path));
    EXPECT_FALSE(testsupport::Exists(folder));
}

TEST(TempFolders, EachIsNewPrivateAndNamedByItsPrefix) {
    for (const wchar_t *prefix : {kTempFolderPrefix_Open, kTempFolderPrefix_Drag, kTempFolderPrefix_Thumbnail}) {
        NWindows::NFile::NDir::CTempDir a, b;
        ASSERT_TRUE(a.Create(prefix));
        ASSERT_TRUE(b.Create(prefix));
        const std::string pa = testsupport::A(a.GetPath());
        const std::string head = "/tmp/" + testsupport::A(UString(prefix));
        ASSERT_EQ(pa.size(), head.size() + 8);
        EXPECT_EQ(pa.compare(0, head.size(), head), 0);
        EXPECT_EQ(pa.find_first_not_of("0123456789ABCDEF", head.size()), std::string::npos);
        EXPECT_NE(pa, testsupport::A(b.GetPath()));
        struct stat st;
        ASSERT_EQ(lstat(pa.c_str(), &st), 0);
        EXPECT_TRUE(S_ISDIR(st.st_mode));
        EXPECT_EQ(st.st_mode & 0777, 0700u);
        EXPECT_TRUE(a.Remove());
        EXPECT_FALSE(testsupport::Exists(pa));
    }
}
