// The update callback as a writer sees it: streams of disk files and anti-items, the open-file list,
// the processed flags, properties and the user-interface calls behind them.
#include <gtest/gtest.h>

#include <errno.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "archive/ui-common/UpdateCallback.h"
#include "test_support.h"

using testsupport::A;
using testsupport::TempFolder;
using testsupport::W;
using testsupport::WriteFile;

namespace {

struct CRecordingUI : public IUpdateCallbackUI {
    std::vector<std::string> Calls;
    HRESULT OpenErrorAnswer = S_FALSE;

    HRESULT WriteSfx(const wchar_t *, UInt64) override { return S_OK; }
    HRESULT SetTotal(UInt64) override { return S_OK; }
    HRESULT SetCompleted(const UInt64 *) override { return S_OK; }
    HRESULT SetRatioInfo(const UInt64 *, const UInt64 *) override { return S_OK; }
    HRESULT CheckBreak() override { return S_OK; }
    HRESULT SetNumItems(UInt64) override { return S_OK; }
    HRESULT GetStream(const wchar_t *name, bool isDir, bool isAnti, UInt32 mode) override {
        Calls.push_back("GetStream " + A(name) + (isDir ? " dir" : "") + (isAnti ? " anti" : "") + " " +
                        std::to_string(mode));
        return S_OK;
    }
    HRESULT OpenFileError(const UString &path, DWORD systemError) override {
        Calls.push_back("OpenFileError " + A(path) + " " + std::to_string(systemError));
        return OpenErrorAnswer;
    }
    HRESULT ReadingFileError(const UString &, DWORD) override { return S_OK; }
    HRESULT SetOperationResult(Int32) override { return S_OK; }
    HRESULT ReportExtractResult(Int32 opRes, Int32 isEncrypted, const wchar_t *name) override {
        Calls.push_back("ReportExtractResult " + std::to_string(opRes) + " " + std::to_string(isEncrypted) + " " +
                        A(name));
        return S_OK;
    }
    HRESULT ReportUpdateOpeartion(UInt32 op, const wchar_t *name, bool isDir) override {
        Calls.push_back("ReportUpdateOpeartion " + std::to_string(op) + " " + A(name) + (isDir ? " dir" : ""));
        return S_OK;
    }
    HRESULT CryptoGetTextPassword2(Int32 *, BSTR *) override { return E_ABORT; }
    HRESULT CryptoGetTextPassword(BSTR *) override { return E_ABORT; }
    HRESULT ShowDeleteFile(const wchar_t *, bool) override { return S_OK; }
};

// Disk items: 0 "f.txt" (a file), 1 "d" (a folder), 2 "gone.txt" (missing), 3 "fake" (a folder
// listed as a file); old items: 0 "old.txt" (handler index 7), 1 "olddir" (handler index 8).
class UpdateCallbackTest : public ::testing::Test {
protected:
    TempFolder dir;
    CDirItems dirItems;
    CObjectVector<CArcItem> arcItems;
    CRecordVector<CUpdatePair2> records;
    UStringVector newNames;
    Byte flags[4] = {0, 0, 0, 0};
    CRecordingUI ui;
    CArchiveUpdateCallback *impl = nullptr;
    CMyComPtr<IArchiveUpdateCallback> callback;

    void AddDisk(const char *name, bool isDir, UInt64 size) {
        CDirItem di;
        di.Name = W(name);
        di.Attrib = isDir ? FILE_ATTRIBUTE_DIRECTORY : 0;
        di.Size = size;
        di.PhyParent = 0;
        di.LogParent = -1;
        dirItems.Items.Add(di);
    }

    void SetUp() override {
        ASSERT_TRUE(dir.Ok());
        ASSERT_TRUE(WriteFile(dir / "f.txt", "hello"));
        ASSERT_EQ(mkdir((dir / "d").c_str(), 0755), 0);
        ASSERT_EQ(mkdir((dir / "fake").c_str(), 0755), 0);
        dirItems.Prefixes.Add(W(dir.Path() + "/"));
        dirItems.PhyParents.Add(-1);
        dirItems.LogParents.Add(-1);
        AddDisk("f.txt", false, 5);
        AddDisk("d", true, 0);
        AddDisk("gone.txt", false, 0);
        AddDisk("fake", false, 3);
        CArcItem a0;
        a0.Name = L"old.txt";
        a0.HandlerIndex = 7;
        arcItems.Add(a0);
        CArcItem a1;
        a1.Name = L"olddir";
        a1.IsDir = true;
        a1.HandlerIndex = 8;
        arcItems.Add(a1);

        impl = new CArchiveUpdateCallback;
        callback = impl;
        impl->Callback = &ui;
        impl->DirItems = &dirItems;
        impl->ArcItems = &arcItems;
        impl->Records = &records;
        impl->NewNames = &newNames;
        impl->ProcessedFlags = flags;
    }

    UInt32 AddRecord(bool newData, int disk, int arcIndex, bool anti = false) {
        CUpdatePair2 up;
        up.HasNewData = up.HasNewProps = newData;
        up.KeepArcProps = !newData;
        up.Anti = anti;
        up.DiskIndex = disk;
        up.ArchiveIndex = arcIndex;
        records.Add(up);
        return records.Size() - 1;
    }

    CMyComPtr<IArchiveUpdateCallbackFile> File() {
        CMyComPtr<IArchiveUpdateCallbackFile> f;
        callback.QueryInterface(IID_IArchiveUpdateCallbackFile, &f);
        return f;
    }
};

std::string ReadAll(ISequentialInStream *s, HRESULT *res = nullptr) {
    std::string out;
    char buf[256];
    for (;;) {
        UInt32 n = 0;
        const HRESULT r = s->Read(buf, sizeof(buf), &n);
        if (res) *res = r;
        if (r != S_OK || n == 0) break;
        out.append(buf, n);
    }
    return out;
}

} // namespace

TEST_F(UpdateCallbackTest, DiskFilesAreListedAsOpenUntilReleased) {
    const UInt32 i = AddRecord(true, 0, 0);
    CMyComPtr<ISequentialInStream> s;
    ASSERT_EQ(callback->GetStream(i, &s), S_OK);
    ASSERT_TRUE(s);
    EXPECT_EQ(ui.Calls.back(), "GetStream f.txt 1"); // it replaces an old item
    EXPECT_FALSE(impl->AreAllFilesClosed());
    ASSERT_EQ(impl->GetOpenPaths().Size(), 1u);
    EXPECT_EQ(A(impl->GetOpenPaths()[0]), dir / "f.txt");
    EXPECT_EQ(ReadAll(s), "hello");
    EXPECT_EQ(flags[0], kProcessed_Opened);
    s.Release();
    EXPECT_TRUE(impl->AreAllFilesClosed());
    EXPECT_EQ(impl->GetOpenPaths().Size(), 0u);
}

TEST_F(UpdateCallbackTest, AFileThatCannotBeOpenedIsAnsweredByTheUserInterface) {
    const UInt32 i = AddRecord(true, 2, -1);
    CMyComPtr<IArchiveUpdateCallbackFile> f = File();
    ISequentialInStream *s = reinterpret_cast<ISequentialInStream *>(1);
    EXPECT_EQ(f->GetStream2(i, &s, 0), S_FALSE);
    EXPECT_EQ(s, nullptr);
    EXPECT_EQ(ui.Calls.back(), "OpenFileError " + dir / "gone.txt " + std::to_string(ENOENT));
    EXPECT_TRUE(impl->AreAllFilesClosed());
    EXPECT_EQ(flags[2], kProcessed_Failed);
    ui.OpenErrorAnswer = E_ABORT;
    EXPECT_EQ(f->GetStream2(i, &s, 0), E_ABORT);
}

TEST_F(UpdateCallbackTest, AReadFailureMarksTheFileAsNotStored) {
    const UInt32 i = AddRecord(true, 3, -1);
    CMyComPtr<ISequentialInStream> s;
    ASSERT_EQ(callback->GetStream(i, &s), S_OK);
    ASSERT_TRUE(s);
    HRESULT res = S_OK;
    ReadAll(s, &res);
    EXPECT_EQ(res, (HRESULT)(0x80070000 | EISDIR));
    EXPECT_EQ(flags[3], kProcessed_Failed);
    s.Release();
    // A later successful open does not make it whole again.
    const UInt32 j = AddRecord(true, 0, -1);
    records[j].DiskIndex = 3;
    ASSERT_EQ(callback->GetStream(j, &s), S_OK);
    EXPECT_EQ(flags[3], kProcessed_Failed);
}

TEST_F(UpdateCallbackTest, FilesOfSeveralFoldersReadAsByTheirWholePaths) {
    // Files are opened inside their folder, held open from file to file; a link is still read as
    // its text, and a name the path conversion treats apart still opens by the whole path.
    ASSERT_EQ(mkdir((dir / "a").c_str(), 0755), 0);
    ASSERT_EQ(mkdir((dir / "b").c_str(), 0755), 0);
    ASSERT_TRUE(WriteFile(dir / "a/x", "ax"));
    ASSERT_TRUE(WriteFile(dir / "a/z", "az"));
    ASSERT_TRUE(WriteFile(dir / "b/y", "by"));
    ASSERT_TRUE(WriteFile(dir / "b/c:q", "bq"));
    ASSERT_EQ(symlink("x", (dir / "a/ln").c_str()), 0);
    const int a = dirItems.AddPrefix(0, -1, L"a/");
    const int b = dirItems.AddPrefix(0, -1, L"b/");
    const struct {
        int folder;
        const char *name;
        const char *content; // null: cannot be opened
    } cases[] = {{a, "x", "ax"},   {b, "y", "by"},       {a, "z", "az"}, {a, "ln", "x"},
                 {b, "c:q", "bq"}, {b, "gone", nullptr}, {a, "x", "ax"}};
    std::vector<Byte> processed(dirItems.Items.Size() + sizeof(cases) / sizeof(cases[0]), 0);
    impl->ProcessedFlags = processed.data();
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        AddDisk(c.name, false, 2);
        dirItems.Items.Back().PhyParent = c.folder;
        const UInt32 i = AddRecord(true, (int)dirItems.Items.Size() - 1, -1);
        CMyComPtr<ISequentialInStream> s;
        if (!c.content) {
            EXPECT_EQ(callback->GetStream(i, &s), S_FALSE);
            EXPECT_EQ(ui.Calls.back(), "OpenFileError " + dir / "b/gone " + std::to_string(ENOENT));
            continue;
        }
        ASSERT_EQ(callback->GetStream(i, &s), S_OK);
        ASSERT_TRUE(s);
        EXPECT_EQ(ReadAll(s), c.content);
        EXPECT_EQ(A(impl->GetOpenPaths()[0]), dir / (std::string(c.folder == a ? "a/" : "b/") + c.name));
    }
}

TEST_F(UpdateCallbackTest, FoldersAndAntiItems) {
    CMyComPtr<IArchiveUpdateCallbackFile> f = File();
    ISequentialInStream *s = nullptr;
    EXPECT_EQ(f->GetStream2(AddRecord(true, 1, -1), &s, 0), S_OK);
    EXPECT_EQ(s, nullptr);
    EXPECT_EQ(ui.Calls.back(), "GetStream d dir 0");

    EXPECT_EQ(f->GetStream2(AddRecord(true, -1, 1, true), &s, 6), S_OK);
    EXPECT_EQ(s, nullptr);
    EXPECT_EQ(ui.Calls.back(), "GetStream olddir dir anti 6");

    const UInt32 anti = AddRecord(true, -1, 0, true);
    CMyComPtr<ISequentialInStream> empty;
    ASSERT_EQ(f->GetStream2(anti, &empty, 6), S_OK);
    ASSERT_TRUE(empty);
    EXPECT_EQ(ReadAll(empty), "");
    EXPECT_EQ(ui.Calls.back(), "GetStream old.txt anti 6");

    NWindows::NCOM::CPropVariant prop;
    ASSERT_EQ(callback->GetProperty(anti, kpidIsAnti, &prop), S_OK);
    EXPECT_TRUE(prop.vt == VT_BOOL && prop.boolVal != VARIANT_FALSE);
    prop.Clear();
    ASSERT_EQ(callback->GetProperty(anti, kpidSize, &prop), S_OK);
    EXPECT_TRUE(prop.vt == VT_UI8 && prop.uhVal.QuadPart == 0);

    // Data kept from the old archive is never read through the callback.
    EXPECT_EQ(f->GetStream2(AddRecord(false, -1, 0), &s, 0), E_FAIL);
}

TEST_F(UpdateCallbackTest, PropertiesComeFromDiskOrFromTheNewNames) {
    const UInt32 i = AddRecord(true, 0, -1);
    NWindows::NCOM::CPropVariant prop;
    ASSERT_EQ(callback->GetProperty(i, kpidPath, &prop), S_OK);
    ASSERT_EQ(prop.vt, VT_BSTR);
    EXPECT_EQ(A(prop.bstrVal), "f.txt");
    prop.Clear();
    ASSERT_EQ(callback->GetProperty(i, kpidSize, &prop), S_OK);
    EXPECT_TRUE(prop.vt == VT_UI8 && prop.uhVal.QuadPart == 5);
    prop.Clear();
    ASSERT_EQ(callback->GetProperty(AddRecord(true, 1, -1), kpidIsDir, &prop), S_OK);
    EXPECT_TRUE(prop.vt == VT_BOOL && prop.boolVal != VARIANT_FALSE);
    prop.Clear();

    const UInt32 renamed = AddRecord(false, -1, 0);
    records[renamed].HasNewProps = true;
    records[renamed].RenameIndex = 0;
    newNames.Add(L"new/name.txt");
    ASSERT_EQ(callback->GetProperty(renamed, kpidPath, &prop), S_OK);
    ASSERT_EQ(prop.vt, VT_BSTR);
    EXPECT_EQ(A(prop.bstrVal), "new/name.txt");

    Int32 newData = -1, newProps = -1;
    UInt32 indexInArchive = 0;
    ASSERT_EQ(callback->GetUpdateItemInfo(renamed, &newData, &newProps, &indexInArchive), S_OK);
    EXPECT_EQ(newData, 0);
    EXPECT_EQ(newProps, 1);
    EXPECT_EQ(indexInArchive, 7u); // the handler's own number of the old item
    ASSERT_EQ(callback->GetUpdateItemInfo(i, nullptr, nullptr, &indexInArchive), S_OK);
    EXPECT_EQ(indexInArchive, 0xFFFFFFFFu);
}

TEST_F(UpdateCallbackTest, InterfacesVolumesAndReports) {
    CMyComPtr<IArchiveUpdateCallback> plain;
    EXPECT_EQ(callback.QueryInterface(IID_IArchiveUpdateCallback, &plain), E_NOINTERFACE);
    CMyComPtr<IArchiveUpdateCallback2> cb2;
    ASSERT_EQ(callback.QueryInterface(IID_IArchiveUpdateCallback2, &cb2), S_OK);

    UInt64 size = 0;
    EXPECT_EQ(cb2->GetVolumeSize(0, &size), S_FALSE);
    impl->VolumeSizes.Add(100);
    impl->VolumeSizes.Add(50);
    ASSERT_EQ(cb2->GetVolumeSize(5, &size), S_OK);
    EXPECT_EQ(size, 50u);

    CMyComPtr<IArchiveUpdateCallbackFile> f = File();
    ASSERT_EQ(f->ReportOperation(NArchive::NEventIndexType::kBlockIndex, 5, 4), S_OK);
    EXPECT_EQ(ui.Calls.back(), "ReportUpdateOpeartion 4 #5");
    // The writer names old items by their handler index, not by their place in the list.
    ASSERT_EQ(f->ReportOperation(NArchive::NEventIndexType::kInArcIndex, 8, 3), S_OK);
    EXPECT_EQ(ui.Calls.back(), "ReportUpdateOpeartion 3 olddir dir");
    ASSERT_EQ(f->ReportOperation(NArchive::NEventIndexType::kOutArcIndex, AddRecord(true, 0, -1), 0), S_OK);
    EXPECT_EQ(ui.Calls.back(), "ReportUpdateOpeartion 0 f.txt");

    CMyComPtr<IArchiveExtractCallbackMessage> msg;
    ASSERT_EQ(callback.QueryInterface(IID_IArchiveExtractCallbackMessage, &msg), S_OK);
    EXPECT_EQ(msg->ReportExtractResult(NArchive::NEventIndexType::kOutArcIndex, 0, 1), E_FAIL);
    ASSERT_EQ(msg->ReportExtractResult(NArchive::NEventIndexType::kNoIndex, 0, 2), S_OK);
    EXPECT_EQ(ui.Calls.back(), "ReportExtractResult 2 0 <null>");
}
