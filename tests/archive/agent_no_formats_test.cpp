// The process-wide registry when the plug-in folder holds no plug-in: the first load says so, later
// loads and the folder manager go on with the empty registry.
#include <gtest/gtest.h>

#include "archive/agent/ArchiveFolderOpen.h"
#include "archive/agent_fixture.h"

using namespace agentfx;

TEST(AgentWithoutFormats, FirstLoadReportsNoFormatsAndLaterLoadsSucceed) {
    TempDir home;
    setenv("TARNOVA_HOME_DIR", (home.Path() + "/").c_str(), 1);
    EXPECT_EQ(LoadGlobalCodecs(), E_NOTIMPL);
    ASSERT_NE(g_CodecsObj, nullptr);
    EXPECT_TRUE(g_CodecsObj->Formats.IsEmpty());
    EXPECT_EQ(LoadGlobalCodecs(), S_OK);

    CMyComPtr<IFolderManager> manager = new CArchiveFolderManager;
    CMyComBSTR extensions;
    ASSERT_EQ(manager->GetExtensions(&extensions), S_OK);
    ASSERT_NE(extensions.Get(), nullptr);
    EXPECT_EQ(extensions.Len(), 0u);

    ASSERT_TRUE(WriteText(home / "a.zip", "PK"));
    IFolderFolder *result = nullptr;
    EXPECT_NE(manager->OpenFolderFile(nullptr, W(home / "a.zip"), nullptr, &result, nullptr), S_OK);
    EXPECT_EQ(result, nullptr);
    FreeGlobalCodecs();
}
