// Our own 7z handler: archives made by py7zr (passwords, encrypted names, solid blocks, filters) are
// read byte-exact; wrong passwords, cancelled prompts and damaged archives give clear errors.
#include "PluginHarness.h"

#include <gtest/gtest.h>

#include <locale.h>
#include <sys/stat.h>

using namespace NPluginTest;
using namespace NArchive::NExtract;

namespace {

const char *const kPy = "/usr/bin/python3";

// The tree every fixture holds.
const char *const kTree[] = {"a.txt", "中文/名字.txt", "empty.txt", "bin/big.bin"};

std::string BigData() {
    std::string big;
    for (int i = 0; i < 300000; i++)
        big += static_cast<char>((i * 7 + i / 251) % 256);
    // Something that looks like x86 calls, so that the branch filter has work.
    for (int i = 0; i < 2000; i++)
        big += std::string("\xE8\x10\x20\x00\x00\x90", 6);
    return big;
}

class SevenZipTest : public ::testing::Test {
protected:
    CPluginLib lib;
    static CTempDir *s_dir;

    static void SetUpTestSuite() {
        setlocale(LC_ALL, "C.UTF-8");
        s_dir = new CTempDir;
        const CTempDir &dir = *s_dir;
        NPluginTest::Run("mkdir -p '" + dir / "src/中文" + "' '" + dir / "src/bin" + "' '" + dir / "src/emptydir" +
                         "'");
        WriteFile(dir / "src/a.txt", "first file\n");
        WriteFile(dir / "src/中文/名字.txt", "中文内容\n");
        WriteFile(dir / "src/empty.txt", "");
        WriteFile(dir / "src/bin/big.bin", BigData());
        chmod((dir / "src/a.txt").c_str(), 0755);
    }
    static void TearDownTestSuite() {
        delete s_dir;
        s_dir = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(lib.Loaded()); }
    static const CTempDir &Dir() { return *s_dir; }
    static std::string Source(const std::string &path) { return ReadFile(Dir() / ("src/" + path)); }

    // Runs a py7zr script in the source folder; sys.argv[1] is the output file.
    static std::string Py7zr(const std::string &name, const std::string &script) {
        const std::string out = Dir() / name;
        const std::string cmd = "cd '" + Dir() / "src" + "' && " + kPy + " -c \"" + script + "\" '" + out + "'";
        EXPECT_EQ(NPluginTest::Run(cmd), 0) << cmd;
        return ReadFile(out);
    }

    static int IndexOf(IInArchive *arc, const std::wstring &path) {
        for (UInt32 i = 0; i < NumItems(arc); i++)
            if (ItemPath(arc, i) == path) return static_cast<int>(i);
        return -1;
    }
};

CTempDir *SevenZipTest::s_dir = nullptr;

CMyComPtr<CExtractCallback> PasswordCallback(EPasswordAnswer answer, const wchar_t *password = L"") {
    CMyComPtr<CExtractCallback> cb = new CExtractCallback;
    cb->answer = answer;
    cb->password = password;
    return cb;
}

UInt32 Attrib(IInArchive *arc, UInt32 index) {
    CProp v;
    arc->GetProperty(index, kpidAttrib, &v);
    return v.vt == VT_UI4 ? v.ulVal : 0;
}

// Checks that arc lists the tree and gives every file byte-exact.
void ExpectTree(IInArchive *arc, CExtractCallback *cb, const std::string &srcDir) {
    HRESULT res;
    ExtractItems(arc, nullptr, false, &res, cb);
    ASSERT_EQ(res, S_OK);
    std::map<std::wstring, UInt32> index;
    for (UInt32 i = 0; i < NumItems(arc); i++)
        index[ItemPath(arc, i)] = i;
    for (const char *path : kTree) {
        SCOPED_TRACE(path);
        ASSERT_TRUE(index.count(Wide(path)));
        const UInt32 i = index[Wide(path)];
        EXPECT_FALSE(ItemIsDir(arc, i));
        EXPECT_EQ(cb->items[i].opRes, NOperationResult::kOK);
        EXPECT_TRUE(cb->items[i].data == ReadFile(srcDir + "/" + path));
    }
    ASSERT_TRUE(index.count(L"emptydir"));
    EXPECT_TRUE(ItemIsDir(arc, index[L"emptydir"]));
}

struct CPyCase {
    const char *name;
    const char *filters; // a py7zr filter list, or None
    const char *password;
    bool encryptHeaders;
    bool twoBlocks; // a second block appended
};

const CPyCase kPyCases[] = {
    {"plain.7z", "None", nullptr, false, false},
    {"lzma2.7z", "[{'id': py7zr.FILTER_LZMA2}]", nullptr, false, true},
    {"delta.7z", "[{'id': py7zr.FILTER_DELTA}, {'id': py7zr.FILTER_LZMA2}]", nullptr, false, false},
    {"bzip2.7z", "[{'id': py7zr.FILTER_BZIP2}]", nullptr, false, false},
    {"deflate.7z", "[{'id': py7zr.FILTER_DEFLATE}]", nullptr, false, false},
    {"copy.7z", "[{'id': py7zr.FILTER_COPY}]", nullptr, false, false},
    {"pass.7z", "None", "秘密pw", false, false},
    {"hidden.7z", "None", "秘密pw", true, false},
    {"lzma.7z", "[{'id': py7zr.FILTER_LZMA}, {'id': py7zr.FILTER_CRYPTO_AES256_SHA256}]", "pw", false, true},
    {"blocks.7z", "[{'id': py7zr.FILTER_LZMA2}, {'id': py7zr.FILTER_CRYPTO_AES256_SHA256}]", "pw", false, true},
};

std::string PyScript(const CPyCase &c) {
    std::string pw = c.password ? std::string("'") + c.password + "'" : "None";
    std::string s = "import py7zr,sys\n"
                    "f=" +
                    std::string(c.filters) +
                    "\n"
                    "z=py7zr.SevenZipFile(sys.argv[1],'w',filters=f,password=" +
                    pw + ",header_encryption=" + (c.encryptHeaders ? "True" : "False") + ")\n";
    if (c.twoBlocks) {
        s += "for p in ('a.txt','中文','中文/名字.txt','empty.txt','emptydir'): z.write(p)\n"
             "z.close()\n"
             "z=py7zr.SevenZipFile(sys.argv[1],'a',filters=f,password=" +
             pw +
             ")\n"
             "z.write('bin'); z.write('bin/big.bin'); z.close()\n";
    } else {
        s += "for p in ('a.txt','中文','中文/名字.txt','empty.txt','emptydir','bin','bin/big.bin'): z.write(p)\n"
             "z.close()\n";
    }
    return s;
}

} // namespace

TEST_F(SevenZipTest, ReadsPy7zrArchivesByteExact) {
    for (const CPyCase &c : kPyCases) {
        SCOPED_TRACE(c.name);
        const std::string data = Py7zr(c.name, PyScript(c));
        CMyComPtr<COpenCallback> openCb = new COpenCallback;
        if (c.encryptHeaders) {
            openCb->answer = EPasswordAnswer::kGive;
            openCb->password = Wide(c.password);
        }
        HRESULT res;
        CMyComPtr<IInArchive> arc = OpenArchive(lib, "7z", data, &res, openCb);
        ASSERT_EQ(res, S_OK);
        EXPECT_EQ(openCb->passwordRequests, c.encryptHeaders ? 1 : 0);
        // The password of encrypted headers is kept for the data.
        CMyComPtr<CExtractCallback> cb =
            PasswordCallback(EPasswordAnswer::kGive, c.password ? Wide(c.password).c_str() : L"");
        ExpectTree(arc, cb, Dir() / "src");
        EXPECT_EQ(cb->passwordRequests, c.password && !c.encryptHeaders ? 1 : 0);
        // A mode stored without its file type still reads as a regular file's mode.
        const int a = IndexOf(arc, L"a.txt");
        ASSERT_GE(a, 0);
        const UInt32 attrib = Attrib(arc, static_cast<UInt32>(a));
        if (attrib & 0x8000) {
            EXPECT_EQ(attrib >> 16, static_cast<UInt32>(S_IFREG | 0755));
        }
    }
}

TEST_F(SevenZipTest, WrongPasswordAndCancelledPrompt) {
    const CPyCase plainNames = kPyCases[6], hiddenNames = kPyCases[7];
    const std::string data = Py7zr("wrong.7z", PyScript(plainNames));
    HRESULT res;
    CMyComPtr<IInArchive> arc = OpenArchive(lib, "7z", data, &res);
    ASSERT_EQ(res, S_OK);
    const int big = IndexOf(arc, L"bin/big.bin");
    ASSERT_GE(big, 0);

    // Cancelled: the extraction ends with E_ABORT.
    CMyComPtr<CExtractCallback> cancel = PasswordCallback(EPasswordAnswer::kCancel);
    ExtractItems(arc, nullptr, false, &res, cancel);
    EXPECT_EQ(res, E_ABORT);
    EXPECT_EQ(cancel->passwordRequests, 1);

    // Wrong: every item with data fails as such, and nothing of its garbage is written.
    CMyComPtr<CExtractCallback> wrong = PasswordCallback(EPasswordAnswer::kGive, L"wrong");
    ExtractItems(arc, nullptr, false, &res, wrong);
    EXPECT_EQ(res, S_OK);
    EXPECT_EQ(wrong->passwordRequests, 1);
    for (const char *path : {"a.txt", "中文/名字.txt", "bin/big.bin"}) {
        const UInt32 i = static_cast<UInt32>(IndexOf(arc, Wide(path)));
        EXPECT_EQ(wrong->items[i].opRes, NOperationResult::kWrongPassword) << path;
        EXPECT_EQ(wrong->items[i].data, "") << path;
    }

    // Asked again after the wrong one; the right one then stays until the archive is closed.
    CMyComPtr<CExtractCallback> right = PasswordCallback(EPasswordAnswer::kGive, L"秘密pw");
    ExtractItems(arc, nullptr, false, &res, right);
    EXPECT_EQ(right->passwordRequests, 1);
    EXPECT_TRUE(right->items[static_cast<UInt32>(big)].data == Source("bin/big.bin"));
    CMyComPtr<CExtractCallback> again = PasswordCallback(EPasswordAnswer::kGive, L"other");
    ExtractItems(arc, nullptr, true, &res, again);
    EXPECT_EQ(again->passwordRequests, 0);
    EXPECT_EQ(again->items[static_cast<UInt32>(big)].opRes, NOperationResult::kOK);

    // Encrypted names: a wrong password or a cancelled prompt fails the open, never lists garbage.
    const std::string hidden = Py7zr("wrong-hidden.7z", PyScript(hiddenNames));
    for (EPasswordAnswer answer : {EPasswordAnswer::kGive, EPasswordAnswer::kCancel}) {
        CMyComPtr<COpenCallback> openCb = new COpenCallback;
        openCb->answer = answer;
        openCb->password = L"wrong";
        CMyComPtr<IInArchive> h = OpenArchive(lib, "7z", hidden, &res, openCb);
        if (answer == EPasswordAnswer::kCancel) {
            EXPECT_EQ(res, E_ABORT);
            continue;
        }
        EXPECT_EQ(res, S_FALSE);
        EXPECT_NE(ArcErrorFlags(h) & kpv_ErrorFlags_EncryptedHeadersError, 0u);
        EXPECT_EQ(ArcErrorFlags(h) & kpv_ErrorFlags_IsNotArc, 0u);
    }
}

namespace {

enum class EDamage { kTruncate, kCutTail, kCorruptData, kCorruptHeader };

struct CDamageCase {
    const char *name;
    size_t pyCase;
    EDamage damage;
    HRESULT openResult;
    UInt32 openFlag;
    Int32 bigResult; // of bin/big.bin when the archive opens
};

} // namespace

TEST_F(SevenZipTest, DamagedArchivesGiveClearErrors) {
    const CDamageCase cases[] = {
        {"truncated", 1, EDamage::kTruncate, S_FALSE, kpv_ErrorFlags_UnexpectedEnd, 0},
        {"tail cut", 0, EDamage::kCutTail, S_FALSE, kpv_ErrorFlags_HeadersError, 0},
        {"header corrupt", 0, EDamage::kCorruptHeader, S_FALSE, kpv_ErrorFlags_HeadersError, 0},
        {"data corrupt", 5, EDamage::kCorruptData, S_OK, 0, NOperationResult::kCRCError},
        {"compressed data corrupt", 1, EDamage::kCorruptData, S_OK, 0, NOperationResult::kDataError},
        {"encrypted data corrupt", 6, EDamage::kCorruptData, S_OK, 0, NOperationResult::kWrongPassword},
    };
    for (const CDamageCase &c : cases) {
        SCOPED_TRACE(c.name);
        std::string data = Py7zr(std::string("damage-") + c.name + ".7z", PyScript(kPyCases[c.pyCase]));
        switch (c.damage) {
        case EDamage::kTruncate:
            data.resize(data.size() / 2);
            break;
        case EDamage::kCutTail:
            data.resize(data.size() - 5);
            break;
        case EDamage::kCorruptHeader:
            data[data.size() - 10] = static_cast<char>(data[data.size() - 10] ^ 0x55);
            break;
        case EDamage::kCorruptData:
            // Inside the big file's data, which the fixtures store last.
            for (size_t i = data.size() / 2; i < data.size() / 2 + 16; i++)
                data[i] = static_cast<char>(data[i] ^ 0x55);
            break;
        }
        HRESULT res;
        CMyComPtr<IInArchive> arc = OpenArchive(lib, "7z", data, &res);
        ASSERT_EQ(res, c.openResult);
        if (res != S_OK) {
            EXPECT_NE(ArcErrorFlags(arc) & c.openFlag, 0u);
            EXPECT_EQ(ArcErrorFlags(arc) & kpv_ErrorFlags_IsNotArc, 0u);
            continue;
        }
        CMyComPtr<CExtractCallback> cb = PasswordCallback(EPasswordAnswer::kGive, L"秘密pw");
        ExtractItems(arc, nullptr, false, &res, cb);
        EXPECT_EQ(res, S_OK);
        EXPECT_EQ(cb->items[static_cast<UInt32>(IndexOf(arc, L"bin/big.bin"))].opRes, c.bigResult);
    }
}
