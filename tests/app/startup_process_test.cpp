// The start-up switches end to end, each as a process of its own under the offscreen platform
// with a temporary home: the real program where no dialog waits, and the program with a user in
// front (startup_answering_main.cpp) where one does. Every run must end by itself in time,
// failures included; a process that does not is killed and the test fails.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "temporary_home.h"
#include "test_support.h"

namespace {

using namespace testsupport;

struct CRun {
    bool ended = false;
    int status = -1;
    std::string log; // the answering program's lines: "class|text", "errorlist|...", "end"
};

const int kTimeoutMs = 60000; // generous for the sanitizers; a hang is what fails

CRun RunProgram(const std::string &exe, const std::vector<std::string> &args, const std::string &cwd,
                bool closeMain = false) {
    CRun run;
    TempFolder logDir;
    const std::string logPath = logDir / "dialogs.log";
    const pid_t pid = fork();
    if (pid == 0) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        setenv("LC_ALL", "C.UTF-8", 1);
        setenv("TARNOVA_TEST_DIALOG_LOG", logPath.c_str(), 1);
        setenv("LSAN_OPTIONS", "suppressions=" TARNOVA_LSAN_SUPP, 1);
        if (closeMain) setenv("TARNOVA_TEST_CLOSE_MAIN", "1", 1);
        if (chdir(cwd.c_str()) != 0) _exit(126);
        std::vector<std::string> words = {exe};
        words.insert(words.end(), args.begin(), args.end());
        std::vector<char *> argv;
        for (std::string &w : words)
            argv.push_back(&w[0]);
        argv.push_back(nullptr);
        execv(exe.c_str(), argv.data());
        _exit(127);
    }
    if (pid < 0) return run;
    timespec start;
    clock_gettime(CLOCK_MONOTONIC, &start);
    for (;;) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) {
            run.ended = true;
            run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            break;
        }
        timespec now;
        clock_gettime(CLOCK_MONOTONIC, &now);
        if ((now.tv_sec - start.tv_sec) * 1000 + (now.tv_nsec - start.tv_nsec) / 1000000 > kTimeoutMs) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
            break;
        }
        usleep(20000);
    }
    run.log = ReadFile(logPath);
    if (run.log == "<missing>") run.log.clear();
    return run;
}

class StartupProcess : public ::testing::Test {
protected:
    static void SetUpTestSuite() { apptest::UseTemporaryHome(); } // inherited by every child
    void SetUp() override {
        Sh("mkdir '" + dir.Path() + "/folder'");
        WriteFile(dir / "plain.txt", "not an archive");
        WriteFile(dir / "a b.txt", "aaa");
        ASSERT_EQ(Sh("cd '" + dir.Path() + "' && zip -q 'x y.zip' 'a b.txt'"), 0);
    }
    TempFolder dir;
};

// No dialog waits on these: the real program does the work and ends by itself.
TEST_F(StartupProcess, TheRealProgramRunsAnOperationAndEnds) {
    const CRun zip = RunProgram(TARNOVA_PROGRAM, {"-addzip", dir / "a b.txt"}, dir.Path());
    ASSERT_TRUE(zip.ended);
    EXPECT_EQ(zip.status, 0);
    EXPECT_EQ(Shell("unzip -Z1 '" + dir.Path() + "/a b.zip'"), "a b.txt\n");

    const CRun here = RunProgram(TARNOVA_PROGRAM, {"-extract-here", dir / "x y.zip"}, dir.Path());
    ASSERT_TRUE(here.ended);
    EXPECT_EQ(here.status, 0);
    EXPECT_EQ(ReadFile(dir / "x y/a b.txt"), "aaa");
}

// Every switch, its failures included, shows what it has to say and ends once it is answered.
TEST_F(StartupProcess, EverySwitchEndsAfterItsDialogsAreAnswered) {
    Sh("mkdir '" + dir.Path() + "/out'");
    // Three stored items, the middle one spoiled inside its data.
    ASSERT_EQ(
        Sh("cd '" + dir.Path() + "' && printf one > f1 && printf '%0500d' 0 > f2 && printf three > f3 &&" +
           " zip -q -0 bad.zip f1 f2 f3 && rm f1 f2 f3 && /usr/bin/python3 -c \"d=bytearray(open('bad.zip','rb')" +
           ".read()); i=d.find(b'0'*500); d[i+250]=49; open('bad.zip','wb').write(d)\""),
        0);
    struct {
        std::vector<std::string> args;
        std::string expectInLog; // a line part the run must show
        std::string expectFile;  // a file the run must make, relative to dir
        bool closeMain;
        bool failed; // an operation that failed or had errors: the exit status is not 0
    } cases[] = {
        {{"-extract-here", dir / "missing.zip"}, "messagebox|", "", false, true},
        {{"-extract-here", dir / "plain.txt"}, "plain.txt", "", false, true},
        {{"-extract-here", dir / "folder"}, "messagebox|您至少要选择一个文件", "", false, true},
        {{"-extract", dir / "folder", dir / "x y.zip"}, "messagebox|您至少要选择一个文件", "", false, true},
        // An input that is not there says so.
        {{"-addzip", dir / "missing"}, "missing\n没有那个文件或目录", "", false, true},
        {{"-add7z", dir / "folder", dir / "missing"}, "missing", "", false, true},
        // Opening runs no operation: the box is all there is to it, and the process says it failed.
        {{"-open", dir / "plain.txt"},
         "messagebox|无法作为压缩包打开文件" + dir.Path() + "/plain.txt",
         "",
         false,
         true},
        {{"-open", dir / "folder"}, "messagebox|无法作为压缩包打开文件" + dir.Path() + "/folder", "", false, true},
        {{dir / "missing.7z"}, "messagebox|", "", false, true},
        {{"-open", dir / "x y.zip"}, "mainwindow", "", true, false},
        // With their dialogs: the extract and compress dialogs answered with their main button.
        {{"-extract", dir / "x y.zip"}, "unzipwindow|", "x y/a b.txt", false, false},
        {{"-add", dir / "a b.txt"}, "zipwindow|", "a b.zip", false, false},
        // A damaged item: the others are written, the list names it, and the run is a failure.
        {{"-extract-here", dir / "bad.zip"}, "CRC 校验失败 : f2 1 个项目失败", "bad/f3", false, true},
        // A switch without files (an empty word is none) says so and ends.
        {{"-extract"}, "messagebox|您至少要选择一个文件", "", false, true},
        {{"-extract-here", ""}, "messagebox|您至少要选择一个文件", "", false, true},
        {{"-addzip"}, "messagebox|您至少要选择一个文件", "", false, true},
    };
    for (const auto &c : cases) {
        std::string trace;
        for (const std::string &a : c.args)
            trace += "[" + a + "] ";
        SCOPED_TRACE(trace);
        const CRun run = RunProgram(TARNOVA_ANSWERING_PROGRAM, c.args, dir.Path(), c.closeMain);
        ASSERT_TRUE(run.ended) << "still running after " << kTimeoutMs << " ms; shown: " << run.log;
        if (c.failed)
            EXPECT_NE(run.status, 0) << run.log;
        else
            EXPECT_EQ(run.status, 0) << run.log;
        EXPECT_NE(run.log.find(c.expectInLog), std::string::npos) << run.log;
        EXPECT_NE(run.log.find("end\n"), std::string::npos) << run.log;
        if (!c.expectFile.empty()) {
            EXPECT_TRUE(Exists(dir / c.expectFile)) << Shell("ls -R '" + dir.Path() + "'");
        }
    }
}

// Without the codec plug-in beside the program every operation says so and ends.
TEST_F(StartupProcess, AMissingPluginIsReportedAndTheProcessEnds) {
    for (const std::vector<std::string> &args :
         {std::vector<std::string>{"-extract-here", dir / "x y.zip"}, {"-addzip", dir / "a b.txt"}}) {
        SCOPED_TRACE(args[0]);
        const CRun run = RunProgram(TARNOVA_ANSWERING_NOPLUGIN, args, dir.Path());
        ASSERT_TRUE(run.ended) << run.log;
        EXPECT_NE(run.status, 0) << run.log;
        EXPECT_NE(run.log.find("messagebox|"), std::string::npos) << run.log;
        EXPECT_FALSE(Exists(dir / "x y"));
    }
}

} // namespace
