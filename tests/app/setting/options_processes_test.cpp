#include <spawn.h>
#include <sys/wait.h>

#include <string>
#include <vector>

#include "ZipRegistry.h"
#include "setting_fixture.h"

extern char **environ;

using settingtest::SettingsHome;

namespace {

pid_t StartWriter(const std::vector<std::string> &args) {
    std::vector<char *> argv;
    std::string prog = TARNOVA_SETTING_WRITER;
    argv.push_back(&prog[0]);
    std::vector<std::string> copy = args;
    for (std::string &a : copy)
        argv.push_back(&a[0]);
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, prog.c_str(), nullptr, nullptr, argv.data(), environ) != 0) return -1;
    return pid;
}

int WaitExit(pid_t pid) {
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -2;
}

class OptionsProcesses : public SettingsHome {};

TEST_F(OptionsProcesses, TwoProcessesWritingAtOnceLoseNothing) {
    // Both start on a missing file, so they also race to create the tables.
    const pid_t a = StartWriter({"extract", "60"});
    const pid_t b = StartWriter({"compress", "60"});
    ASSERT_GT(a, 0);
    ASSERT_GT(b, 0);
    EXPECT_EQ(WaitExit(a), 0);
    EXPECT_EQ(WaitExit(b), 0);

    NExtract::CInfo extract;
    ASSERT_TRUE(extract.Load());
    EXPECT_EQ(extract.ExtractMode, 59);
    ASSERT_EQ(extract.PathHistory.Size(), 1u);
    EXPECT_STREQ(extract.PathHistory[0].Ptr(), L"/extract,59");
    NCompression::CInfo compress;
    ASSERT_TRUE(compress.Load());
    EXPECT_EQ(compress.Level, 59);
    ASSERT_EQ(compress.Formats.Size(), 1u);
    EXPECT_EQ(compress.Formats[0].Level, 59u);
    CObjectVector<UString> copies;
    ASSERT_TRUE(options::instance().get_copy_history(copies));
    ASSERT_EQ(copies.Size(), 1u);
    EXPECT_STREQ(copies[0].Ptr(), L"59");
}

TEST_F(OptionsProcesses, WriteThatTimesOutIsRolledBackAndLaterWritesWork) {
    ASSERT_TRUE(options::instance().set_history_folder(true));
    const std::string ready = Home / "ready";
    const std::string release = Home / "release";
    const pid_t reader = StartWriter({"hold-read", "60000", ready, release});
    ASSERT_GT(reader, 0);
    const bool held =
        testsupport::WaitFor([&] { return access(ready.c_str(), F_OK) == 0; }, std::chrono::milliseconds(60000));
    if (held) {
        options::instance().set_busy_timeout(200);
        EXPECT_FALSE(options::instance().set_history_folder(false));
    }
    testsupport::WriteFile(release, "");
    EXPECT_EQ(WaitExit(reader), 0);
    ASSERT_TRUE(held);

    bool flag = false;
    ASSERT_TRUE(options::instance().get_history_folder(flag, true));
    EXPECT_TRUE(flag);
    EXPECT_TRUE(options::instance().set_history_folder(false));
    ASSERT_TRUE(options::instance().get_history_folder(flag, true));
    EXPECT_FALSE(flag);
}

} // namespace
