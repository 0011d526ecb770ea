// The compress dialog's option lists, memory estimate, volume sizes and the writer options made
// from the dialog's choices; and the update callback's own answers.
#include <gtest/gtest.h>

#include "CompressionOptions.h"
#include "ProgressSync.h"
#include "UpdateCallbackGUI.h"
#include "UpdateGUI.h"
#include "app_test_support.h"
#include "test_support.h"
#include "zipwindow.h"

using namespace NCompressDialog;
using testsupport::S;
using testsupport::U;

namespace {

const ::testing::Environment *const g_env = ::testing::AddGlobalTestEnvironment(new apptest::CAppEnvironment);

const UInt64 kMiB = (UInt64)1 << 20;

CChoice Choice(const char *format, UInt32 level, EMethodID method, UInt32 threads = 1, UInt32 cpus = 4,
               UInt64 ram = (UInt64)16 << 30) {
    CChoice c;
    c.Row = &FindFormatRow(U(format));
    c.IsZip = IsZipFormat(U(format));
    c.Level = level;
    c.Method = method;
    c.NumThreads = threads;
    c.NumProcessors = cpus;
    c.RamLimit = GetRamLimit(ram);
    return c;
}

std::string Labels(const CList &list) {
    std::string s;
    for (unsigned i = 0; i < list.Entries.Size(); i++)
        s += (s.empty() ? "" : ",") + S(list.Entries[i].Label);
    return s;
}

std::string SelectedLabel(const CList &list) {
    return list.Selected < 0 ? "<none>" : S(list.Entries[(unsigned)list.Selected].Label);
}

} // namespace

TEST(CompressionOptions, VolumeSizesParseWithUnitsAndOverflowChecks) {
    struct {
        const char *text;
        bool ok;
        std::vector<UInt64> sizes;
    } const cases[] = {
        {"650M - CD", true, {650 * kMiB}},
        {"10M", true, {10 * kMiB}},
        {"700m", true, {700 * kMiB}},
        {"1.5G", true, {(UInt64)3 << 29}},
        {"2g", true, {(UInt64)2 << 30}},
        {"100 200k", true, {100, 200 << 10}},
        {"10b", true, {10}},
        {"16777215t", true, {(UInt64)16777215 << 40}},
        {"16777216t", false, {}},
        {"18446744073709551616", false, {}},
        {"0", false, {}},
        {"0.0001k", false, {}},
        {"abc", false, {}},
        {"10x", false, {}},
        {"1.5", false, {}},
    };
    for (const auto &c : cases) {
        CRecordVector<UInt64> sizes;
        EXPECT_EQ(ParseVolumeSizes(U(c.text), sizes), c.ok) << c.text;
        if (!c.ok) continue;
        std::vector<UInt64> got(sizes.ConstData(), sizes.ConstData() + sizes.Size());
        EXPECT_EQ(got, c.sizes) << c.text;
    }
}

TEST(CompressionOptions, MemoryEstimateIsComputedIn64Bits) {
    const UInt64 d = 1536 * kMiB;
    // Four LZMA2 threads at level 9: two block threads, each far past 4 GiB together.
    const UInt64 usage = GetMemoryUsage(Choice("7z", 9, kLZMA2, 4), d);
    EXPECT_GT(usage, (UInt64)4 << 30);
    // 29 MiB of filter, then two block threads of 4h + 8D + 2 MiB + 6 MiB + 2D each; h is the
    // hash size, 1536 MiB rounded up to a power of two and halved twice.
    const UInt64 h = (UInt64)1 << 29;
    const UInt64 block = 4 * h + 8 * d + 2 * kMiB + 6 * kMiB + 2 * d;
    EXPECT_EQ(usage, 29 * kMiB + 2 * block);
    EXPECT_EQ(GetMemoryUsage(Choice("7z", 0, kLZMA2), d), kMiB);
    EXPECT_EQ(GetMemoryUsage(Choice("zip", 5, kDeflate, 4), 32 << 10), 4 * 32 * kMiB + 3 * kMiB);
    EXPECT_EQ(GetMemoryUsage(Choice("", 5, kNoMethod), d), (UInt64)(Int64)-1);
}

TEST(CompressionOptions, DictionaryListFollowsMethodLevelAndMemory) {
    CList list;
    BuildDictionaryList(Choice("7z", 5, kLZMA2), kUnset, list);
    EXPECT_EQ(S(list.Entries.Front().Label), "64 KB");
    EXPECT_EQ(S(list.Entries.Back().Label), "1536 MB");
    EXPECT_EQ(SelectedLabel(list), "16 MB");

    // With 1 GiB of memory the default stays within 1008 MiB though bigger sizes are listed.
    const CChoice small = Choice("7z", 9, kLZMA2, 1, 4, (UInt64)1 << 30);
    BuildDictionaryList(small, 1536 * kMiB, list);
    EXPECT_EQ(S(list.Entries.Back().Label), "1536 MB");
    EXPECT_LE(GetMemoryUsage(small, list.Value()), 1008 * kMiB);
    EXPECT_GT(GetMemoryUsage(small, (UInt64)list.Entries[(unsigned)list.Selected + 1].Value), 1008 * kMiB);

    BuildDictionaryList(Choice("7z", 9, kPPMd), kUnset, list);
    EXPECT_EQ(S(list.Entries.Back().Label), "1024 MB");
    EXPECT_EQ(SelectedLabel(list), "192 MB");
    BuildDictionaryList(Choice("7z", 3, kBZip2), kUnset, list);
    EXPECT_EQ(Labels(list), "100 KB,200 KB,300 KB,400 KB,500 KB,600 KB,700 KB,800 KB,900 KB");
    EXPECT_EQ(SelectedLabel(list), "500 KB");
    BuildDictionaryList(Choice("zip", 5, kDeflate), kUnset, list);
    EXPECT_EQ(Labels(list), "32 KB");
    EXPECT_EQ(list.SpecifiedValue(), kUnset);
    BuildDictionaryList(Choice("zip", 5, kPPMdZip), kUnset, list);
    EXPECT_EQ(SelectedLabel(list), "16 MB");
}

TEST(CompressionOptions, LevelMethodSolidThreadAndEncryptionLists) {
    CList list;
    BuildLevelList(FindFormatRow(U("GZip")), kUnset, list);
    EXPECT_EQ(Labels(list), "最快,标准,较好,最好");
    BuildLevelList(FindFormatRow(U("tar")), kUnset, list);
    EXPECT_EQ(Labels(list), "存储");
    BuildLevelList(FindFormatRow(U("7z")), 12, list);
    EXPECT_EQ(SelectedLabel(list), "最好");

    BuildMethodList(Choice("7z", 0, kNoMethod), UString(), list);
    EXPECT_TRUE(list.Entries.IsEmpty());
    BuildMethodList(Choice("zip", 5, kNoMethod), UString(L"lzma"), list);
    EXPECT_EQ(Labels(list), "Deflate,BZip2,LZMA");
    EXPECT_EQ(list.Value(), (UInt32)kLZMA);
    // A stored choice that is no longer offered falls back to the first method.
    for (const wchar_t *gone : {L"PPMd", L"Deflate64"}) {
        BuildMethodList(Choice("zip", 5, kNoMethod), UString(gone), list);
        EXPECT_EQ(list.Value(), (UInt32)kDeflate);
    }

    BuildSolidList(Choice("7z", 5, kLZMA2), 16 << 20, kUnset, list);
    EXPECT_EQ(SelectedLabel(list), "2 GB");
    EXPECT_EQ(SolidBlockSize(list.Value()), (UInt64)1 << 31);
    BuildSolidList(Choice("7z", 5, kLZMA2), kUnset, kUnset, list);
    EXPECT_EQ(SelectedLabel(list), "固实");
    EXPECT_EQ(SolidBlockSize(list.Value()), (UInt64)(Int64)-1);
    BuildSolidList(Choice("7z", 5, kLZMA2), kUnset, 0, list);
    EXPECT_EQ(SelectedLabel(list), "非固实");
    BuildSolidList(Choice("7z", 0, kNoMethod), kUnset, kUnset, list);
    EXPECT_TRUE(list.Entries.IsEmpty());

    struct {
        const char *format;
        EMethodID method;
        const char *last;
    } const threads[] = {{"7z", kLZMA2, "8"}, {"7z", kLZMA, "2"}, {"7z", kPPMd, "1"}, {"zip", kDeflate, "8"}};
    for (const auto &t : threads) {
        BuildThreadList(Choice(t.format, 5, t.method, 1, 4), kUnset, list);
        EXPECT_EQ(S(list.Entries.Back().Label), t.last) << t.format << " " << t.method;
    }
    BuildThreadList(Choice("GZip", 5, kDeflate), kUnset, list);
    EXPECT_TRUE(list.Entries.IsEmpty());

    BuildEncryptionList(U("zip"), U("AES256"), list);
    EXPECT_EQ(S(EncryptionMethodText(list)), "AES256");
    BuildEncryptionList(U("zip"), UString(), list);
    EXPECT_EQ(S(EncryptionMethodText(list)), "");
    BuildEncryptionList(U("7z"), UString(), list);
    EXPECT_EQ(S(EncryptionMethodText(list)), "");
}

TEST(CompressionOptions, WriterOptionsFromTheDialogsChoices) {
    struct {
        const char *name;
        bool is7z;
        std::function<void(zip_info &)> set;
        const char *props;
    } const cases[] = {
        {"7z defaults", true,
         [](zip_info &i) {
             i.level = 5, i.method = L"LZMA2", i.dictionary = 16 << 20, i.order = 32;
             i.solid_allowed = i.multithread_allowed = i.encrypt_headers_allowed = true;
             i.solid_block_size = 0, i.num_threads = 2;
         },
         "x=5 0=LZMA2 0d=16777216B 0fb=32 s=0B mt=2"},
        // Names are encrypted only by a choice; no choice leaves an archive's names as they are.
        {"7z names encrypted", true, [](zip_info &i) { i.encrypt_headers_allowed = i.encrypt_headers = true; },
         "he=on"},
        {"7z method in the parameters", true,
         [](zip_info &i) {
             i.level = 9, i.method = L"LZMA2", i.dictionary = 1 << 20, i.multithread_allowed = true, i.num_threads = 4;
             i.parameters = L"0=BZip2 mt=1 qs";
         },
         "x=9 mt=4 0=BZip2 mt=1 qs"},
        {"zip PPMd", false,
         [](zip_info &i) {
             i.level = 5, i.method = L"PPMd", i.order_mode = true, i.dictionary = 16 << 20, i.order = 8;
             i.encryption_method = L"AES256";
         },
         "x=5 m=PPMd mem=16777216B o=8 em=AES256"},
        {"zip Deflate", false, [](zip_info &i) { i.method = L"Deflate", i.order = 64; }, "m=Deflate fb=64"},
        {"tar", false, [](zip_info &) {}, ""},
    };
    for (const auto &c : cases) {
        zip_info info;
        c.set(info);
        CObjectVector<CProperty> props;
        SetOutProperties(props, info, c.is7z);
        std::string s;
        for (unsigned i = 0; i < props.Size(); i++)
            s += (s.empty() ? "" : " ") + S(props[i].Name) + (props[i].Value.IsEmpty() ? "" : "=" + S(props[i].Value));
        EXPECT_EQ(s, c.props) << c.name;
    }
}

// A file the writer could not read as it was listed is named in a warning, and the run ends with
// the exit value of files that could not be read.
TEST(UpdateCallback, FileChangedWhileReadIsAWarningNamingIt) {
    CUpdateCallbackGUI cb;
    cb.Init();
    EXPECT_EQ(cb.GetStream(L"dir/a.txt", false, false, 0), S_OK);
    EXPECT_EQ(cb.SetOperationResult(0), S_OK);
    EXPECT_EQ(cb.GetStream(L"dir/变了.txt", false, false, 0), S_OK);
    EXPECT_EQ(cb.SetOperationResult(1), S_OK);
    ASSERT_EQ(cb.failed_files.Size(), 1u);
    EXPECT_EQ(S(cb.failed_files[0]), "dir/变了.txt");
    ASSERT_EQ(cb.Sync().messages.Size(), 1u);
    EXPECT_EQ(S(cb.Sync().messages[0]), "dir/变了.txt\n文件在读取时被更改");
    EXPECT_EQ(cb.files_done, 2u);
}

TEST(UpdateCallback, OperationTextsAndPasswordWithoutAPrompt) {
    CUpdateCallbackGUI cb;
    cb.Init();
    EXPECT_EQ(cb.SetOperation_Base(7, L"x", false), S_OK);
    EXPECT_EQ(S(cb.Sync().status), "正在创建文件头");
    EXPECT_EQ(cb.SetOperation_Base(8, L"name", false), S_OK);
    EXPECT_EQ(S(cb.Sync().status), "");
    EXPECT_EQ(S(cb.Sync().filePath), "name");

    Int32 defined = 5;
    BSTR pw = nullptr;
    EXPECT_EQ(cb.CryptoGetTextPassword2(&defined, &pw), S_OK);
    EXPECT_EQ(defined, 0);
    ASSERT_NE(pw, nullptr);
    EXPECT_EQ(std::wstring(pw), L"");
    SysFreeString(pw);

    // No main window: the prompt cannot open and counts as cancelled; the state stays.
    cb.ask_password = true;
    EXPECT_EQ(cb.CryptoGetTextPassword2(&defined, &pw), E_ABORT);
    EXPECT_FALSE(cb.password_defined);

    EXPECT_EQ(cb.OpenFileError(U("/gone"), 2), S_FALSE);
    ASSERT_EQ(cb.failed_files.Size(), 1u);
    EXPECT_EQ(cb.ReportExtractResult(0, 0, L"x"), S_OK);
    EXPECT_EQ(cb.Sync().messages.Size(), 1u);
}
