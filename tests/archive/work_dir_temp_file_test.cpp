#include <gtest/gtest.h>

#include <unistd.h>

#include "archive/ui-common/WorkDirInfo.h"
#include "archive/ui-common/WorkDirTempFile.h"
#include "test_support.h"

using testsupport::TempFolder;
using testsupport::W;

namespace {

int g_workDirMode = NWorkDir::kWorkDirSystemTemp;
UString g_workDirPath;

// The folder an open file lives in, read from its descriptor: the file has no name while it is written.
std::string FolderOf(const CWorkDirTempFile &temp) {
    char link[4096];
    const ssize_t n =
        readlink(("/proc/self/fd/" + std::to_string(temp.FileStream->File.Fd())).c_str(), link, sizeof(link) - 1);
    if (n <= 0) return std::string();
    const std::string path(link, (size_t)n);
    return path.substr(0, path.rfind('/'));
}

} // namespace

// The program's settings store replaces the core's default reader; this test stands in for it.
bool NWorkDir::CInfo::Load() {
    SetDefault();
    WorkDirType = g_workDirMode;
    WorkDirPath = g_workDirPath;
    return true;
}

namespace {

TEST(WorkDirTempFile, WrittenInTheWorkFolderThenMovedOverTheTarget) {
    TempFolder dir;
    ASSERT_TRUE(dir.Ok());
    ASSERT_TRUE(testsupport::WriteFile(dir / "a.7z", "old archive"));
    g_workDirMode = NWorkDir::kWorkDirArchiveFolder;
    {
        CWorkDirTempFile temp;
        ASSERT_EQ(temp.CreateTempFile(W(dir / "a.7z")), S_OK);
        EXPECT_EQ(FolderOf(temp), dir.Path());
        EXPECT_EQ(testsupport::DirEntries(dir.Path()), std::set<std::string>{"a.7z"});
        UInt32 written = 0;
        ASSERT_EQ(temp.Stream->Write("new archive", 11, &written), S_OK);
        EXPECT_EQ(testsupport::ReadFile(dir / "a.7z"), "old archive");
        ASSERT_EQ(temp.MoveToOriginal(true), S_OK);
    }
    EXPECT_EQ(testsupport::ReadFile(dir / "a.7z"), "new archive");
    EXPECT_FALSE(testsupport::Exists(dir / "a.7z.tmp"));

    // Not moved: the temporary file goes with its owner and the target stays.
    g_workDirMode = NWorkDir::kWorkDirSpecified;
    g_workDirPath = W(dir / "work/deeper");
    {
        CWorkDirTempFile temp;
        ASSERT_EQ(temp.CreateTempFile(W(dir / "a.7z")), S_OK);
        EXPECT_EQ(FolderOf(temp), dir / "work/deeper");
    }
    EXPECT_TRUE(testsupport::DirEntries(dir / "work/deeper").empty());
    EXPECT_EQ(testsupport::ReadFile(dir / "a.7z"), "new archive");

    // A work folder that cannot be made gives the system's reason as a failure, never as a
    // positive number that would read as success.
    ASSERT_TRUE(testsupport::WriteFile(dir / "file", "x"));
    g_workDirPath = W(dir / "file/sub");
    CWorkDirTempFile bad;
    const HRESULT res = bad.CreateTempFile(W(dir / "a.7z"));
    EXPECT_EQ(res, HRESULT_FROM_ERRNO(ENOTDIR));
}

} // namespace
