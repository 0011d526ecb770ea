#include <gtest/gtest.h>

#include "archive/ui-common/WorkDirInfo.h"
#include "archive/ui-common/WorkDirTempFile.h"
#include "test_support.h"

using testsupport::TempFolder;
using testsupport::W;

namespace {

int g_workDirMode = NWorkDir::kWorkDirSystemTemp;
UString g_workDirPath;

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
        EXPECT_STREQ(temp.TempFile.GetPath().Ptr(), W(dir / "a.7z.tmp").Ptr());
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
        EXPECT_TRUE(testsupport::Exists(dir / "work/deeper/a.7z.tmp"));
    }
    EXPECT_FALSE(testsupport::Exists(dir / "work/deeper/a.7z.tmp"));
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
