// Opening a file as an archive folder, and the list of archive extensions, through the folder
// manager over the agent's process-wide registry.
#include <gtest/gtest.h>

#include "archive/agent/ArchiveFolderOpen.h"
#include "archive/agent_fixture.h"

using namespace agentfx;

namespace {

class FolderManager : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_EQ(LoadRegistry(), S_OK); }
    TempDir dir;
    CMyComPtr<IFolderManager> manager = new CArchiveFolderManager;
};

// Answers the open callback's calls, so that the manager hands it to the open.
class COpenProgress : public IProgress, public IArchiveOpenCallback, public CMyUnknownImp {
public:
    COM_UNKNOWN_IMP(IProgress, IArchiveOpenCallback)
    int calls = 0;
    HRESULT SetTotal(UInt64) override { return S_OK; }
    HRESULT SetCompleted(const UInt64 *) override { return S_OK; }
    HRESULT SetTotal(const UInt64 *, const UInt64 *) override {
        calls++;
        return S_OK;
    }
    HRESULT SetCompleted(const UInt64 *, const UInt64 *) override {
        calls++;
        return S_OK;
    }
};

} // namespace

TEST_F(FolderManager, OpensAFileAsItsRootFolder) {
    const std::string arc = dir / "m.zip";
    ASSERT_TRUE(MakeZip(arc, {{"d/x", "1"}, {"y", "2"}}));
    COpenProgress *progress = new COpenProgress;
    CMyComPtr<IProgress> progressHolder = (IProgress *)progress;
    CMyComPtr<IFolderFolder> root;
    ASSERT_EQ(manager->OpenFolderFile(nullptr, W(arc), nullptr, &root, progress), S_OK);
    ASSERT_TRUE(root);
    EXPECT_EQ(Listing(root), (std::vector<std::string>{"d/", "y"}));
    EXPECT_GT(progress->calls, 0);

    CMyComPtr<IFolderFolder> named;
    ASSERT_EQ(manager->OpenFolderFile(nullptr, W(arc), L"zip", &named, nullptr), S_OK);
    EXPECT_EQ(Listing(named), (std::vector<std::string>{"d/", "y"}));
}

TEST_F(FolderManager, FailedOpenLeavesTheResultUntouched) {
    ASSERT_TRUE(WriteText(dir / "plain.txt", "no archive here"));
    IFolderFolder *const sentinel = reinterpret_cast<IFolderFolder *>(0x1234);
    IFolderFolder *result = sentinel;
    EXPECT_EQ(manager->OpenFolderFile(nullptr, W(dir / "plain.txt"), nullptr, &result, nullptr), S_FALSE);
    EXPECT_EQ(result, sentinel);
    EXPECT_EQ(manager->OpenFolderFile(nullptr, W(dir / "missing"), nullptr, &result, nullptr),
              HRESULT_FROM_ERRNO(ENOENT));
    EXPECT_EQ(result, sentinel);
}

TEST_F(FolderManager, ExtensionsListEveryFormatsExtensionsSeparatedBySingleSpaces) {
    CMyComBSTR extensions;
    ASSERT_EQ(manager->GetExtensions(&extensions), S_OK);
    const std::string list = A(extensions);
    ASSERT_FALSE(list.empty());
    EXPECT_EQ(list.find("  "), std::string::npos);
    EXPECT_NE(list.front(), ' ');
    EXPECT_NE(list.back(), ' ');
    std::string expected;
    FOR_VECTOR(i, g_CodecsObj->Formats) {
        FOR_VECTOR(j, g_CodecsObj->Formats[i].Exts) {
            if (!expected.empty()) expected += ' ';
            expected += A(g_CodecsObj->Formats[i].Exts[j].Ext);
        }
    }
    EXPECT_EQ(list, expected);
    EXPECT_NE((" " + list + " ").find(" tar "), std::string::npos);
    // Duplicates stay: rar and rar5 share theirs.
    EXPECT_NE(list.find("rar r00"), list.rfind("rar r00"));
}

TEST_F(FolderManager, IconPathIsAlwaysNone) {
    BSTR path = (BSTR)1;
    Int32 index = 7;
    EXPECT_EQ(manager->GetIconPath(L"zip", &path, &index), S_OK);
    EXPECT_EQ(path, nullptr);
    EXPECT_EQ(index, 0);
    void *p = nullptr;
    EXPECT_EQ(manager->QueryInterface(IID_IFolderFolder, &p), E_NOINTERFACE);
    EXPECT_EQ(p, nullptr);
}
