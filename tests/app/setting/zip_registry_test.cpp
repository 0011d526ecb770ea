#include <unistd.h>

#include "ZipRegistry.h"
#include "ViewSettings.h"
#include "archive/ui-common/WorkDirTempFile.h"
#include "setting_fixture.h"

using settingtest::SettingsHome;
using testsupport::W;

namespace {

class SettingsRecords : public SettingsHome {};

TEST_F(SettingsRecords, ExtractRecordRoundTripsAndLoadPresetsFirst) {
    NExtract::CInfo info;
    info.ExtractMode = 2;
    info.OverwriteMode = 3;
    info.SplitDest.Val = true;
    info.ElimDup.Val = true;
    info.Security.Val = true;
    info.OpenOutputDir = true;
    info.PathHistory.Add(UString(L"/data/out"));
    ASSERT_TRUE(info.Save());

    options::instance().close();
    NExtract::CInfo back;
    back.ExtractModeForce = true;
    ASSERT_TRUE(back.Load());
    EXPECT_FALSE(back.ExtractModeForce);
    EXPECT_EQ(back.ExtractMode, 2);
    EXPECT_EQ(back.OverwriteMode, 3);
    EXPECT_TRUE(back.SplitDest.Val);
    EXPECT_TRUE(back.ElimDup.Val);
    EXPECT_TRUE(back.Security.Val);
    EXPECT_FALSE(back.ShowPassword.Val);
    EXPECT_TRUE(back.OpenOutputDir);
    ASSERT_EQ(back.PathHistory.Size(), 1u);
    EXPECT_STREQ(back.PathHistory[0].Ptr(), L"/data/out");
}

// The engine builds temporary archives where the user's stored work-folder setting says.
TEST_F(SettingsRecords, EngineWorkFolderFollowsTheStoredSetting) {
    NWorkDir::CInfo info;
    EXPECT_TRUE(info.Load());
    EXPECT_EQ(info.WorkDirType, NWorkDir::kWorkDirSystemTemp);
    EXPECT_TRUE(info.TempRemovableOnly);

    info.WorkDirType = NWorkDir::kWorkDirSpecified;
    info.WorkDirPath = W(Home / "work");
    info.TempRemovableOnly = false;
    ASSERT_TRUE(info.Save());
    ASSERT_TRUE(testsupport::WriteFile(Home / "a.7z", "old"));
    {
        CWorkDirTempFile temp;
        ASSERT_EQ(temp.CreateTempFile(W(Home / "a.7z")), S_OK);
        // Unnamed while it is written: its descriptor tells the folder.
        char link[4096];
        const ssize_t n =
            readlink(("/proc/self/fd/" + std::to_string(temp.FileStream->File.Fd())).c_str(), link, sizeof(link) - 1);
        ASSERT_GT(n, 0);
        const std::string path(link, (size_t)n);
        EXPECT_EQ(path.substr(0, path.rfind('/')), Home / "work");
    }
    NWorkDir::CInfo back;
    ASSERT_TRUE(back.Load());
    EXPECT_FALSE(back.TempRemovableOnly);
}

TEST(SettingsText, FormatNumberAndHeadOfList) {
    EXPECT_STREQ(MyFormatNew(L"{0} of {0}", L"x").Ptr(), L"x of x");
    EXPECT_STREQ(MyFormatNew(L"no place", L"x").Ptr(), L"no place");
    EXPECT_STREQ(NumberToString(0).Ptr(), L"0");
    EXPECT_STREQ(NumberToString(18446744073709551615ull).Ptr(), L"18446744073709551615");

    CObjectVector<UString> list;
    list.Add(UString(L"/a"));
    list.Add(UString(L"/Data"));
    list.Add(UString(L"/b"));
    list.Add(UString(L"/DATA"));
    AddUniqueStringToHeadOfList(list, L"/data");
    ASSERT_EQ(list.Size(), 3u);
    EXPECT_STREQ(list[0].Ptr(), L"/data");
    EXPECT_STREQ(list[1].Ptr(), L"/a");
    EXPECT_STREQ(list[2].Ptr(), L"/b");
}

} // namespace
