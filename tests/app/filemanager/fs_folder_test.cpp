// The file-system folder on real folders: listing with awkward names and links, flat mode,
// properties, sizes, binding, ordering and the edits (new folder, new file, rename, delete).
#include <errno.h>

#include <thread>

#include "FSDrives.h"
#include "folders_fixture.h"

using namespace foldersfx;

namespace {

class FsFolder : public ::testing::Test {
protected:
    TempFolder tmp;
    void SetUp() override { ASSERT_TRUE(tmp.Ok()); }
};

TEST_F(FsFolder, ListsAwkwardNamesWithTheirBytes) {
    const std::vector<std::string> names = {"star*name", "what?", "with  blanks ", "中文文件.txt",
                                            "bad\xff\xfe"
                                            "bytes"};
    for (const std::string &n : names)
        ASSERT_TRUE(WriteFile(tmp / n, "12345"));
    ASSERT_EQ(mkdir((tmp / "子目录").c_str(), 0755), 0);

    NFsFolder::CFSFolder *impl;
    CMyComPtr<IFolderFolder> folder = OpenFolder(tmp.Path(), &impl);
    UInt32 n = 0;
    folder->GetNumberOfItems(&n);
    EXPECT_EQ(n, names.size() + 1);
    for (const char *name : {"star*name", "what?", "with  blanks ", "中文文件.txt"}) {
        const int i = IndexOf(impl, name);
        ASSERT_GE(i, 0) << name;
        CPropVariant size;
        folder->GetProperty((UInt32)i, kpidSize, &size);
        EXPECT_EQ(size.vt, VT_UI8);
        EXPECT_EQ(size.uhVal.QuadPart, 5u);
    }
    // An undecodable name keeps one unit per byte, and operations on it reach the same file.
    const int bad = IndexOf(impl, W("bad\xff\xfe"
                                    "bytes"));
    ASSERT_GE(bad, 0);
    const UInt32 badIndex = (UInt32)bad;
    CMyComPtr<IFolderOperations> ops;
    ASSERT_EQ(folder->QueryInterface(IID_IFolderOperations, (void **)&ops), S_OK);
    ASSERT_EQ(ops->Rename(badIndex, L"renamed", nullptr), S_OK);
    EXPECT_EQ(ReadFile(tmp / "renamed"), "12345");

    const int dir = IndexOf(impl, "子目录");
    ASSERT_GE(dir, 0);
    CPropVariant isDir, size;
    folder->GetProperty((UInt32)dir, kpidIsDir, &isDir);
    folder->GetProperty((UInt32)dir, kpidSize, &size);
    EXPECT_EQ(isDir.vt, VT_BOOL);
    EXPECT_TRUE(isDir.boolVal != VARIANT_FALSE);
    EXPECT_EQ(size.vt, VT_EMPTY); // not computed yet
}

TEST_F(FsFolder, LinksToFoldersAreShownAndEnteredAsFoldersButNeverWalked) {
    ASSERT_EQ(mkdir((tmp / "real").c_str(), 0755), 0);
    ASSERT_TRUE(WriteFile(tmp / "real/inside", "data"));
    ASSERT_EQ(symlink("real", (tmp / "to-real").c_str()), 0);
    ASSERT_EQ(symlink("..", (tmp / "real/up").c_str()), 0); // a loop back to the top
    ASSERT_EQ(symlink("loop-b", (tmp / "loop-a").c_str()), 0);
    ASSERT_EQ(symlink("loop-a", (tmp / "loop-b").c_str()), 0);
    ASSERT_EQ(symlink("missing", (tmp / "dangling").c_str()), 0);

    NFsFolder::CFSFolder *impl;
    CMyComPtr<IFolderFolder> folder = OpenFolder(tmp.Path(), &impl);
    const int link = IndexOf(impl, "to-real");
    ASSERT_GE(link, 0);
    EXPECT_TRUE(impl->items[(unsigned)link].IsDir());
    for (const char *file : {"loop-a", "loop-b", "dangling"}) {
        const int i = IndexOf(impl, file);
        ASSERT_GE(i, 0) << file;
        EXPECT_FALSE(impl->items[(unsigned)i].IsDir()) << file;
    }

    // Entered like a folder.
    CMyComPtr<IFolderFolder> sub;
    ASSERT_EQ(folder->BindToFolder((UInt32)link, &sub), S_OK);
    ASSERT_TRUE(sub);
    sub->LoadItems();
    UInt32 n = 0;
    sub->GetNumberOfItems(&n);
    EXPECT_EQ(n, 2u);

    // Flat mode and sizes do not go through links, so the loops end.
    NFsFolder::CFSFolder *flatSpec;
    CMyComPtr<IFolderFolder> flat = OpenFolder(tmp.Path(), &flatSpec, true);
    EXPECT_EQ(flatSpec->items.Size(), 7u); // five at the top, real/inside and real/up
    EXPECT_GE(IndexOf(flatSpec, "up", "real/"), 0);

    const int real = IndexOf(impl, "real");
    CMyComPtr<IFolderCalcItemFullSize> calc;
    ASSERT_EQ(folder->QueryInterface(IID_IFolderCalcItemFullSize, (void **)&calc), S_OK);
    ASSERT_EQ(calc->CalcItemFullSize((UInt32)real, nullptr), S_OK);
    EXPECT_EQ(impl->items[(unsigned)real].numSubFiles, 2u);
    EXPECT_EQ(impl->items[(unsigned)real].numSubFolders, 0u);

    // Deleting the link removes the link alone.
    CMyComPtr<IFolderOperations> ops;
    folder->QueryInterface(IID_IFolderOperations, (void **)&ops);
    CRecordingProgress *progressSpec = new CRecordingProgress;
    CMyComPtr<IProgress> progress = progressSpec;
    const UInt32 del[] = {(UInt32)link, (UInt32)IndexOf(impl, "loop-a"), (UInt32)IndexOf(impl, "dangling")};
    ASSERT_EQ(ops->Delete(del, 3, progress), S_OK);
    EXPECT_FALSE(Exists(tmp / "to-real"));
    EXPECT_FALSE(Exists(tmp / "loop-a"));
    EXPECT_EQ(ReadFile(tmp / "real/inside"), "data");
    EXPECT_EQ(progressSpec->completed, (std::vector<UInt64>{0, 1, 2}));
    EXPECT_EQ(progressSpec->totals, (std::vector<UInt64>{3}));
}

TEST_F(FsFolder, FlatModeListsTheSubtreeWithPrefixes) {
    ASSERT_EQ(mkdir((tmp / "a").c_str(), 0755), 0);
    ASSERT_EQ(mkdir((tmp / "a/b").c_str(), 0755), 0);
    ASSERT_TRUE(WriteFile(tmp / "a/b/deep", "x"));
    ASSERT_TRUE(WriteFile(tmp / "top", "y"));

    NFsFolder::CFSFolder *impl;
    CMyComPtr<IFolderFolder> folder = OpenFolder(tmp.Path(), &impl, true);
    UInt32 numProps = 0;
    folder->GetNumberOfProperties(&numProps);
    EXPECT_EQ(numProps, 11u);
    EXPECT_EQ(impl->items.Size(), 4u);
    const int deep = IndexOf(impl, "deep", "a/b/");
    ASSERT_GE(deep, 0);
    EXPECT_EQ(StrProp(folder, (UInt32)deep, kpidPrefix), "a/b/");
    EXPECT_EQ(StrProp(folder, (UInt32)IndexOf(impl, "top"), kpidPrefix), "");

    CMyComPtr<IFolderOperations> ops;
    folder->QueryInterface(IID_IFolderOperations, (void **)&ops);
    CPropVariant comment(L"x");
    EXPECT_EQ(ops->SetProperty((UInt32)deep, kpidComment, &comment, nullptr), E_NOTIMPL);

    CMyComPtr<IFolderFolder> plain = OpenFolder(tmp.Path());
    plain->GetNumberOfProperties(&numProps);
    EXPECT_EQ(numProps, 10u);
    PROPID id;
    VARTYPE type;
    BSTR name;
    EXPECT_EQ(plain->GetPropertyInfo(10, &name, &id, &type), S_OK);
    EXPECT_EQ(id, (PROPID)kpidPrefix);
    EXPECT_EQ(plain->GetPropertyInfo(11, &name, &id, &type), E_INVALIDARG);
}

TEST_F(FsFolder, FolderTotalsAppearAfterCalculation) {
    ASSERT_EQ(mkdir((tmp / "d").c_str(), 0755), 0);
    ASSERT_EQ(mkdir((tmp / "d/e").c_str(), 0755), 0);
    ASSERT_TRUE(WriteFile(tmp / "d/f1", std::string(100, 'a')));
    ASSERT_TRUE(WriteFile(tmp / "d/e/f2", std::string(23, 'b')));

    NFsFolder::CFSFolder *impl;
    CMyComPtr<IFolderFolder> folder = OpenFolder(tmp.Path(), &impl);
    const UInt32 d = (UInt32)IndexOf(impl, "d");
    for (PROPID id : {kpidSize, kpidNumSubDirs, kpidNumSubFiles}) {
        CPropVariant prop;
        folder->GetProperty(d, id, &prop);
        EXPECT_EQ(prop.vt, VT_EMPTY) << id;
    }
    CRecordingProgress *progressSpec = new CRecordingProgress;
    CMyComPtr<IProgress> progress = progressSpec;
    ASSERT_EQ(impl->CalcItemFullSize(d, progress), S_OK);
    EXPECT_FALSE(progressSpec->completed.empty());
    const std::pair<PROPID, UInt64> expected[] = {{kpidSize, 123}, {kpidNumSubDirs, 1}, {kpidNumSubFiles, 2}};
    for (const auto &e : expected) {
        CPropVariant prop;
        folder->GetProperty(d, e.first, &prop);
        ASSERT_EQ(prop.vt, VT_UI8) << e.first;
        EXPECT_EQ(prop.uhVal.QuadPart, e.second) << e.first;
    }
    // A stop from the progress ends the walk and keeps the totals unknown.
    impl->LoadItems();
    progressSpec->stopAfter = 0;
    EXPECT_EQ(impl->CalcItemFullSize(d, progress), E_ABORT);
    EXPECT_FALSE(impl->items[d].folderStatKnown);
}

TEST_F(FsFolder, CreateRenameAndDelete) {
    NFsFolder::CFSFolder *impl;
    CMyComPtr<IFolderFolder> folder = OpenFolder(tmp.Path(), &impl);
    ASSERT_EQ(mkdir((tmp / "exists").c_str(), 0755), 0);
    EXPECT_EQ(impl->CreateFolder(L"exists", nullptr), HRESULT_FROM_ERRNO(EEXIST));
    EXPECT_EQ(impl->CreateFolder(L"a/b/c", nullptr), S_OK);
    EXPECT_TRUE(S_ISDIR(ModeOf(tmp / "a/b/c")));
    EXPECT_EQ(impl->CreateFolder(U(tmp / "abs"), nullptr), S_OK);
    EXPECT_TRUE(S_ISDIR(ModeOf(tmp / "abs")));

    EXPECT_EQ(impl->CreateFile(L"new.txt", nullptr), S_OK);
    EXPECT_EQ(ReadFile(tmp / "new.txt"), "");
    ASSERT_TRUE(WriteFile(tmp / "keep.txt", "keep"));
    EXPECT_EQ(impl->CreateFile(L"keep.txt", nullptr), HRESULT_FROM_ERRNO(EEXIST));
    EXPECT_EQ(ReadFile(tmp / "keep.txt"), "keep");

    impl->LoadItems();
    const UInt32 newTxt = (UInt32)IndexOf(impl, "new.txt");
    // Renaming onto another item's name would destroy it: refused, both stay.
    EXPECT_EQ(impl->Rename(newTxt, L"keep.txt", nullptr), HRESULT_FROM_ERRNO(EEXIST));
    EXPECT_EQ(ReadFile(tmp / "keep.txt"), "keep");
    EXPECT_TRUE(Exists(tmp / "new.txt"));
    EXPECT_EQ(impl->Rename(newTxt, L"新名字.txt", nullptr), S_OK);
    EXPECT_TRUE(Exists(tmp / "新名字.txt"));
    EXPECT_EQ(impl->Rename(999, L"x", nullptr), E_NOTIMPL);

    impl->LoadItems();
    CRecordingProgress *progressSpec = new CRecordingProgress;
    CMyComPtr<IProgress> progress = progressSpec;
    const UInt32 del[] = {(UInt32)IndexOf(impl, "a"), (UInt32)IndexOf(impl, "keep.txt")};
    ASSERT_EQ(impl->Delete(del, 2, progress), S_OK);
    EXPECT_FALSE(Exists(tmp / "a"));
    EXPECT_FALSE(Exists(tmp / "keep.txt"));
    // A failure is the system's error number; earlier deletions stay done.
    const UInt32 again[] = {(UInt32)IndexOf(impl, "abs"), del[1]};
    EXPECT_EQ(impl->Delete(again, 2, progress), HRESULT_FROM_ERRNO(ENOENT));
    EXPECT_FALSE(Exists(tmp / "abs"));
}

TEST_F(FsFolder, BindsToParentsAndChildren) {
    CMyComPtr<IFolderFolder> root = OpenFolder(UString(L"/"));
    CMyComPtr<IFolderFolder> parent;
    ASSERT_EQ(root->BindToParentFolder(&parent), S_OK);
    ASSERT_TRUE(parent);
    CPropVariant type;
    parent->GetFolderProperty(kpidType, &type);
    EXPECT_EQ(S(type.bstrVal), "FSDrives");

    const struct {
        const wchar_t *path;
        HRESULT result;
    } parents[] = {{L"/home/user/", S_OK}, {L"", E_INVALIDARG}, {L"/home/user", E_FAIL}};
    for (const auto &p : parents) {
        NFsFolder::CFSFolder *impl = new NFsFolder::CFSFolder;
        CMyComPtr<IFolderFolder> f = impl;
        impl->Init(p.path);
        CMyComPtr<IFolderFolder> res;
        EXPECT_EQ(f->BindToParentFolder(&res), p.result) << S(p.path);
        EXPECT_FALSE(res);
    }

    ASSERT_TRUE(WriteFile(tmp / "file", "x"));
    NFsFolder::CFSFolder *impl;
    CMyComPtr<IFolderFolder> folder = OpenFolder(tmp.Path(), &impl);
    CMyComPtr<IFolderFolder> sub;
    EXPECT_EQ(folder->BindToFolder((UInt32)IndexOf(impl, "file"), &sub), E_INVALIDARG);
    EXPECT_EQ(folder->BindToFolder(L"any", &sub), S_OK);
    CPropVariant path;
    sub->GetFolderProperty(kpidPath, &path);
    EXPECT_EQ(S(path.bstrVal), tmp.Path() + "/any/");

    CMyComPtr<IFolderClone> clone;
    ASSERT_EQ(folder->QueryInterface(IID_IFolderClone, (void **)&clone), S_OK);
    CMyComPtr<IFolderFolder> copy;
    ASSERT_EQ(clone->Clone(&copy), S_OK);
    CPropVariant copyPath;
    copy->GetFolderProperty(kpidPath, &copyPath);
    EXPECT_EQ(S(copyPath.bstrVal), tmp.Path() + "/");
}

TEST_F(FsFolder, AnswersItsInterfacesOnly) {
    CMyComPtr<IFolderFolder> folder = OpenFolder(tmp.Path());
    const GUID answered[] = {IID_IUnknown,
                             IID_IFolderFolder,
                             IID_IArchiveGetRawProps,
                             IID_IFolderCompare,
                             IID_IFolderGetItemName,
                             IID_IFolderWasChanged,
                             IID_IFolderOperations,
                             IID_IFolderCalcItemFullSize,
                             IID_IFolderClone,
                             IID_IFolderGetSystemIconIndex,
                             IID_IFolderSetFlatMode};
    for (const GUID &iid : answered) {
        void *p = nullptr;
        EXPECT_EQ(folder->QueryInterface(iid, &p), S_OK);
        if (p) static_cast<IUnknown *>(p)->Release();
    }
    void *p = reinterpret_cast<void *>(1);
    EXPECT_EQ(folder->QueryInterface(IID_IFolderAltStreams, &p), E_NOINTERFACE);
    EXPECT_EQ(p, nullptr);
}

// Folders are handed between the GUI thread and operation threads.
TEST_F(FsFolder, ReferencesCountCorrectlyFromManyThreads) {
    NFsFolder::CFSFolder *impl;
    CMyComPtr<IFolderFolder> folder = OpenFolder(tmp.Path(), &impl);
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; t++)
        threads.emplace_back([&] {
            for (int i = 0; i < 100000; i++) {
                folder->AddRef();
                folder->Release();
            }
        });
    for (std::thread &t : threads)
        t.join();
    EXPECT_EQ(folder->AddRef(), 2u);
    EXPECT_EQ(folder->Release(), 1u);
}

TEST_F(FsFolder, SortsByEachColumn) {
    const std::vector<std::pair<std::string, size_t>> files = {
        {"file10.txt", 3}, {"file9.txt", 1}, {"File01.c", 2}, {"a_b", 5}, {"aab", 4}};
    for (const auto &f : files)
        ASSERT_TRUE(WriteFile(tmp / f.first, std::string(f.second, 'x')));
    ASSERT_EQ(mkdir((tmp / "zdir").c_str(), 0755), 0);
    NFsFolder::CFSFolder *impl;
    CMyComPtr<IFolderFolder> folder = OpenFolder(tmp.Path(), &impl);
    auto idx = [&](const char *n) { return (UInt32)IndexOf(impl, n); };
    auto cmp = [&](const char *a, const char *b, PROPID id) {
        const Int32 r = impl->CompareItems(idx(a), idx(b), id, 0);
        return r < 0 ? -1 : (r > 0 ? 1 : 0);
    };
    const struct {
        const char *a, *b;
        PROPID id;
        int expected;
    } rows[] = {
        {"file9.txt", "file10.txt", kpidName, -1},
        {"a_b", "aab", kpidName, 1},
        {"File01.c", "file9.txt", kpidName, -1},
        {"file10.txt", "File01.c", kpidExtension, 1},
        {"zdir", "aab", kpidIsDir, -1},
        {"aab", "a_b", kpidIsDir, 0},
        {"file9.txt", "file10.txt", kpidSize, -1},
        {"a_b", "aab", kpidSize, 1},
        {"aab", "aab", kpidSize, 0},
        {"aab", "a_b", kpidPrefix, 0},
        {"aab", "a_b", kpidVolumeName, 0},
    };
    for (const auto &r : rows)
        EXPECT_EQ(cmp(r.a, r.b, r.id), r.expected) << r.a << " vs " << r.b << " by " << r.id;
}

} // namespace
