#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include "archive/ui-common/ArchiveName.h"
#include "archive/ui-common/DefaultName.h"
#include "archive/ui-common/TempFiles.h"
#include "archive/ui-common/WorkDir.h"
#include "test_support.h"

using testsupport::TempFolder;
using testsupport::W;

namespace {

TEST(WorkDir, FolderFollowsTheMode) {
    NWorkDir::CInfo info;
    UString name;

    info.WorkDirType = NWorkDir::kWorkDirArchiveFolder;
    EXPECT_STREQ(GetWorkDir(info, L"/home/u/a.7z", name).Ptr(), L"/home/u/");
    EXPECT_STREQ(name.Ptr(), L"a.7z");
    // A bare name: the temporary file goes to the current folder.
    EXPECT_STREQ(GetWorkDir(info, L"a.7z", name).Ptr(), L"");
    EXPECT_STREQ(name.Ptr(), L"a.7z");

    info.WorkDirType = NWorkDir::kWorkDirSpecified;
    info.WorkDirPath = L"/var/work";
    EXPECT_STREQ(GetWorkDir(info, L"/home/u/a.7z", name).Ptr(), L"/var/work/");

    info.WorkDirType = NWorkDir::kWorkDirSystemTemp;
    const UString dir = GetWorkDir(info, L"/home/u/a.7z", name);
    ASSERT_FALSE(dir.IsEmpty());
    EXPECT_EQ(dir.Back(), L'/');
}

TEST(WorkDir, SettingWithoutStoreKeepsDefaults) {
    NWorkDir::CInfo info;
    info.WorkDirType = 2;
    info.WorkDirPath = L"/x";
    info.TempRemovableOnly = false;
    EXPECT_FALSE(info.Load());
    EXPECT_EQ(info.WorkDirType, 0);
    EXPECT_TRUE(info.WorkDirPath.IsEmpty());
    EXPECT_TRUE(info.TempRemovableOnly);
}

TEST(DefaultName, CutsMatchingExtensionOrLastDot) {
    const struct {
        const wchar_t *file, *ext, *add, *out;
    } cases[] = {
        {L"data.tgz", L"tgz", L".tar", L"data.tar"},
        {L"DATA.TGZ", L"tgz", L".tar", L"DATA.tar"},
        {L"data.bin", L"gz", L"", L"data"},
        {L"README", L"gz", L"", L"README~"},
        {L"README", L"gz", L".tar", L"README.tar"},
        {L".gz", L"gz", L"", L".gz~"},
        {L"a.b.gz", L"gz", L"", L"a.b"},
        {L"name .gz", L"gz", L"", L"name"},
    };
    for (const auto &c : cases)
        EXPECT_STREQ(GetDefaultName2(c.file, c.ext, c.add).Ptr(), c.out) << c.file;
}

TEST(ArchiveName, ProposedFromTheSourceOnDisk) {
    TempFolder dir;
    ASSERT_TRUE(dir.Ok());
    ASSERT_EQ(mkdir((dir / "photos").c_str(), 0755), 0);
    ASSERT_TRUE(testsupport::WriteFile(dir / "photos/report.txt", "x"));
    ASSERT_TRUE(testsupport::WriteFile(dir / "photos/archive.tar.gz", "x"));
    ASSERT_TRUE(testsupport::WriteFile(dir / "photos/.profile", "x"));

    EXPECT_STREQ(CreateArchiveName(W(dir / "missing"), false, false).Ptr(), L"Archive");
    EXPECT_STREQ(CreateArchiveName(W(dir / "photos/report.txt"), false, false).Ptr(), L"report");
    EXPECT_STREQ(CreateArchiveName(W(dir / "photos/report.txt"), false, true).Ptr(), L"report.txt");
    EXPECT_STREQ(CreateArchiveName(W(dir / "photos/archive.tar.gz"), false, false).Ptr(), L"archive.tar.gz");
    EXPECT_STREQ(CreateArchiveName(W(dir / "photos/.profile"), false, false).Ptr(), L".profile");
    EXPECT_STREQ(CreateArchiveName(W(dir / "photos"), false, false).Ptr(), L"photos");
    EXPECT_STREQ(CreateArchiveName(W(dir / "photos/report.txt"), true, false).Ptr(), L"photos");
}

TEST(TempFiles, ClearDeletesEveryListedFile) {
    TempFolder dir;
    ASSERT_TRUE(dir.Ok());
    ASSERT_TRUE(testsupport::WriteFile(dir / "a.tmp", "1"));
    ASSERT_TRUE(testsupport::WriteFile(dir / "b.tmp", "2"));
    {
        CTempFiles files;
        files.Paths.Add(W(dir / "a.tmp"));
        files.Paths.Add(W(dir / "missing.tmp"));
        files.Paths.Add(W(dir / "b.tmp"));
    }
    EXPECT_FALSE(testsupport::Exists(dir / "a.tmp"));
    EXPECT_FALSE(testsupport::Exists(dir / "b.tmp"));
}

} // namespace
