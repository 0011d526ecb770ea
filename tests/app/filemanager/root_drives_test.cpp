// The root folder and the drives level above "/".
#include <stdlib.h>

#include "FSDrives.h"
#include "RootFolder.h"
#include "folders_fixture.h"

using namespace foldersfx;

namespace {

std::string FolderText(IFolderFolder *folder, PROPID propID) {
    CPropVariant prop;
    if (folder->GetFolderProperty(propID, &prop) != S_OK) return "<fail>";
    if (prop.vt == VT_EMPTY) return "<empty>";
    return prop.vt == VT_BSTR ? S(prop.bstrVal) : "<type>";
}

TEST(RootFolder, BindsNamesToFileSystemFolders) {
    CRootFolder *rootSpec = new CRootFolder;
    CMyComPtr<IFolderFolder> root = rootSpec;
    ASSERT_EQ(root->LoadItems(), S_OK);
    const struct {
        const wchar_t *name;
        HRESULT result;
        const char *type;
        const char *path;
    } rows[] = {
        {L"/", S_OK, "FSFolder", "/"},
        {L"Computer", S_OK, "FSFolder", "/"},
        {L"  My Computer\t", S_OK, "FSFolder", "/"},
        {L"Computer/", S_OK, "FSFolder", "/"},
        {L"computer", S_OK, "FSFolder", "computer/"},
        {L"/tmp", S_OK, "FSFolder", "/tmp/"},
        {L"/tmp/", S_OK, "FSFolder", "/tmp/"},
        {L"x", E_INVALIDARG, nullptr, nullptr},
        {L" ", S_OK, "RootFolder", ""},
    };
    for (const auto &r : rows) {
        CMyComPtr<IFolderFolder> sub;
        EXPECT_EQ(root->BindToFolder(r.name, &sub), r.result) << S(r.name);
        if (!r.type) {
            EXPECT_FALSE(sub);
            continue;
        }
        ASSERT_TRUE(sub) << S(r.name);
        EXPECT_EQ(FolderText(sub, kpidType), r.type) << S(r.name);
        EXPECT_EQ(FolderText(sub, kpidPath), r.path) << S(r.name);
    }

    CMyComPtr<IFolderFolder> sub;
    EXPECT_EQ(root->BindToFolder((UInt32)0, &sub), S_OK);
    EXPECT_EQ(FolderText(sub, kpidPath), "/");
    sub.Release();
    EXPECT_EQ(root->BindToFolder((UInt32)1, &sub), E_INVALIDARG);
    EXPECT_FALSE(sub);
    EXPECT_EQ(root->BindToParentFolder(&sub), S_OK);
    EXPECT_FALSE(sub);
    EXPECT_EQ(FolderText(root, kpidType), "RootFolder");
    EXPECT_EQ(FolderText(root, kpidPath), "");
    EXPECT_EQ(StrProp(root, 0, kpidName), "");

    void *p = nullptr;
    EXPECT_EQ(root->QueryInterface(IID_IFolderFolder, &p), E_NOINTERFACE);
    EXPECT_EQ(root->QueryInterface(IID_IFolderGetSystemIconIndex, &p), S_OK);
    static_cast<IUnknown *>(p)->Release();
}

class DrivesFolder : public ::testing::Test {
protected:
    std::string savedHome;
    bool hadHome = false;
    void SetUp() override {
        if (const char *h = getenv("HOME")) {
            hadHome = true;
            savedHome = h;
        }
    }
    void TearDown() override {
        if (hadHome)
            setenv("HOME", savedHome.c_str(), 1);
        else
            unsetenv("HOME");
    }
};

TEST_F(DrivesFolder, ListsRootAndHome) {
    CFSDrives *impl = new CFSDrives;
    CMyComPtr<IFolderFolder> drives = impl;

    unsetenv("HOME");
    ASSERT_EQ(drives->LoadItems(), S_OK);
    UInt32 n = 0;
    drives->GetNumberOfItems(&n);
    EXPECT_EQ(n, 1u);

    setenv("HOME", "/home/用户", 1);
    ASSERT_EQ(drives->LoadItems(), S_OK);
    drives->GetNumberOfItems(&n);
    ASSERT_EQ(n, 2u);
    const struct {
        UInt32 index;
        PROPID id;
        const char *text;
    } cells[] = {
        {0, kpidName, "/"},          {1, kpidName, "/home/用户"},   {1, kpidVolumeName, "/home/用户"},
        {0, kpidType, "Unknown"},    {1, kpidFileSystem, "img"},    {0, kpidTotalSize, "<empty>"},
        {1, kpidOutName, "<empty>"}, {0, kpidFreeSpace, "<empty>"},
    };
    for (const auto &c : cells)
        EXPECT_EQ(StrProp(drives, c.index, c.id), c.text) << c.index << "/" << c.id;
    CPropVariant prop;
    EXPECT_EQ(drives->GetProperty(2, kpidName, &prop), E_INVALIDARG);

    CMyComPtr<IFolderFolder> home;
    ASSERT_EQ(drives->BindToFolder((UInt32)1, &home), S_OK);
    EXPECT_EQ(FolderText(home, kpidPath), "/home/用户/");
    CMyComPtr<IFolderFolder> named;
    ASSERT_EQ(drives->BindToFolder(L"/srv", &named), S_OK);
    EXPECT_EQ(FolderText(named, kpidPath), "/srv"); // taken as it is
    EXPECT_EQ(FolderText(drives, kpidPath), "我的电脑/");
    EXPECT_EQ(FolderText(drives, kpidType), "FSDrives");

    UInt32 numProps = 0;
    drives->GetNumberOfProperties(&numProps);
    EXPECT_EQ(numProps, 7u);
    BSTR name;
    PROPID id;
    VARTYPE type;
    EXPECT_EQ(drives->GetPropertyInfo(7, &name, &id, &type), E_INVALIDARG);

    CMyComPtr<IFolderOperations> ops;
    ASSERT_EQ(drives->QueryInterface(IID_IFolderOperations, (void **)&ops), S_OK);
    EXPECT_EQ(ops->CreateFolder(L"x", nullptr), E_NOTIMPL);
    EXPECT_EQ(ops->Delete(nullptr, 0, nullptr), E_NOTIMPL);
    const UInt32 index = 0;
    EXPECT_EQ(ops->CopyTo(0, &index, 0, 0, 0, L"/tmp/", nullptr), S_OK);
    EXPECT_EQ(ops->CopyTo(0, &index, 1, 0, 0, L"/tmp/", nullptr), E_NOTIMPL);
    void *p = nullptr;
    EXPECT_EQ(drives->QueryInterface(IID_IFolderFolder, &p), E_NOINTERFACE);
}

} // namespace
