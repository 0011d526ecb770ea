// The process-wide registry when the plug-in folder holds no plug-in: every load says so and the folder manager goes
// on with the empty registry; once the plug-in is in place the next load finds it.
#include <gtest/gtest.h>

#include "archive/agent/ArchiveFolderOpen.h"
#include "archive/agent_fixture.h"

using namespace agentfx;

TEST(AgentWithoutFormats, FailedLoadIsReportedAgainAndRetriedOncePluginIsThere) {
    TempDir home;
    setenv("TARNOVA_HOME_DIR", (home.Path() + "/").c_str(), 1);
    EXPECT_EQ(LoadGlobalCodecs(), E_NOTIMPL);
    ASSERT_NE(g_CodecsObj, nullptr);
    EXPECT_TRUE(g_CodecsObj->Formats.IsEmpty());
    EXPECT_EQ(LoadGlobalCodecs(), E_NOTIMPL);
    ASSERT_NE(g_CodecsObj, nullptr);

    CMyComPtr<IFolderManager> manager = new CArchiveFolderManager;
    CMyComBSTR extensions;
    ASSERT_EQ(manager->GetExtensions(&extensions), S_OK);
    ASSERT_NE(extensions.Get(), nullptr);
    EXPECT_EQ(extensions.Len(), 0u);

    const std::string arc = home / "a.zip";
    ASSERT_TRUE(MakeZip(arc, {{"x.txt", "ex"}}));
    IFolderFolder *result = nullptr;
    EXPECT_NE(manager->OpenFolderFile(nullptr, W(arc), nullptr, &result, nullptr), S_OK);
    EXPECT_EQ(result, nullptr);

    // The plug-in arrives: the next open loads it instead of keeping the empty registry.
    const char *out = getenv("TARNOVA_TEST_OUTPUT_DIR");
    ASSERT_NE(out, nullptr);
    ASSERT_EQ(symlink((std::string(out) + "/7z.so").c_str(), (home / "7z.so").c_str()), 0);
    COpened o = OpenArchive(arc);
    ASSERT_EQ(o.result, S_OK);
    EXPECT_EQ(Listing(o.root), std::vector<std::string>{"x.txt"});
    EXPECT_EQ(LoadGlobalCodecs(), S_OK);
    EXPECT_FALSE(g_CodecsObj->Formats.IsEmpty());
    o = COpened();
    FreeGlobalCodecs();
}
