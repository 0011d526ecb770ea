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
        const CItemResult &big = cb->items[static_cast<UInt32>(IndexOf(arc, L"bin/big.bin"))];
        EXPECT_EQ(big.opRes, c.bigResult);
        if (c.bigResult != NOperationResult::kCRCError) continue;
        // A bad CRC keeps the decoded data, as a zip item does: whole, with only the damaged bytes
        // changed; the other items come out intact.
        const std::string want = Source("bin/big.bin");
        ASSERT_EQ(big.data.size(), want.size());
        size_t differ = 0;
        for (size_t i = 0; i < want.size(); i++)
            differ += big.data[i] != want[i];
        EXPECT_GT(differ, 0u);
        EXPECT_LE(differ, 16u);
        for (const char *path : {"a.txt", "中文/名字.txt", "empty.txt"}) {
            const CItemResult &r = cb->items[static_cast<UInt32>(IndexOf(arc, Wide(path)))];
            EXPECT_EQ(r.opRes, NOperationResult::kOK) << path;
            EXPECT_TRUE(r.data == Source(path)) << path;
        }
    }
}

namespace {

// One item of an archive being written: new data from memory, or kept from the old archive.
struct CWriteItem {
    std::string path;
    std::string data;
    bool isDir = false;
    UInt32 indexInArchive = 0xFFFFFFFF; // kept when set
    bool newProps = true;
};

class CWriteCallback : public IArchiveUpdateCallback,
                       public ICryptoGetTextPassword2,
                       public ICryptoGetTextPassword,
                       public CMyUnknownImp {
public:
    std::vector<CWriteItem> items;
    std::wstring password;    // for the new archive; empty: none
    std::wstring oldPassword; // of the old one
    int oldPasswordRequests = 0;

    virtual ~CWriteCallback() {}
    COM_UNKNOWN_IMP(IArchiveUpdateCallback, ICryptoGetTextPassword2, ICryptoGetTextPassword)
    HRESULT SetTotal(UInt64) override { return S_OK; }
    HRESULT SetCompleted(const UInt64 *) override { return S_OK; }
    HRESULT GetUpdateItemInfo(UInt32 index, Int32 *newData, Int32 *newProps, UInt32 *indexInArchive) override {
        const CWriteItem &t = items.at(index);
        *newData = t.indexInArchive == 0xFFFFFFFF ? 1 : 0;
        *newProps = t.newProps ? 1 : 0;
        *indexInArchive = t.indexInArchive;
        return S_OK;
    }
    HRESULT GetProperty(UInt32 index, PROPID propID, PROPVARIANT *value) override {
        const CWriteItem &t = items.at(index);
        if (propID == kpidPath) {
            value->vt = VT_BSTR;
            value->bstrVal = SysAllocString(Wide(t.path).c_str());
        } else if (propID == kpidIsDir) {
            value->vt = VT_BOOL;
            value->boolVal = t.isDir ? VARIANT_TRUE : VARIANT_FALSE;
        } else if (propID == kpidSize && !t.isDir) {
            value->vt = VT_UI8;
            value->uhVal.QuadPart = t.data.size();
        } else if (propID == kpidAttrib) {
            value->vt = VT_UI4;
            value->ulVal = t.isDir ? (0x10 | 0x8000 | (040755u << 16)) : (0x8000 | (0100644u << 16));
        }
        return S_OK;
    }
    HRESULT GetStream(UInt32 index, ISequentialInStream **inStream) override {
        const CWriteItem &t = items.at(index);
        *inStream = t.isDir ? nullptr : CMyComPtr<ISequentialInStream>(new CMemInStream(t.data)).Detach();
        return S_OK;
    }
    HRESULT SetOperationResult(Int32) override { return S_OK; }
    HRESULT CryptoGetTextPassword2(Int32 *defined, BSTR *out) override {
        *defined = password.empty() ? 0 : 1;
        *out = SysAllocString(password.c_str());
        return S_OK;
    }
    HRESULT CryptoGetTextPassword(BSTR *out) override {
        oldPasswordRequests++;
        *out = SysAllocString(oldPassword.c_str());
        return S_OK;
    }
};

struct CProps {
    std::vector<std::wstring> names;
    std::vector<std::wstring> values;
};

// Writes items through handler (a new one of the format when null) with the given properties.
HRESULT Write7z(const CPluginLib &lib, IInArchive *handler, const CProps &props, CWriteCallback *cb, std::string &data,
                const char *format = "7z") {
    CMyComPtr<IInArchive> h = handler ? CMyComPtr<IInArchive>(handler) : lib.CreateHandler(format);
    CMyComPtr<ISetProperties> set;
    h->QueryInterface(IID_ISetProperties, reinterpret_cast<void **>(&set));
    std::vector<const wchar_t *> names;
    std::vector<PROPVARIANT> values(props.names.size());
    for (size_t i = 0; i < props.names.size(); i++) {
        names.push_back(props.names[i].c_str());
        values[i].vt = VT_BSTR;
        values[i].bstrVal = SysAllocString(props.values[i].c_str());
    }
    HRESULT res = set->SetProperties(names.data(), values.data(), static_cast<UInt32>(names.size()));
    for (PROPVARIANT &v : values)
        VariantClear(&v);
    if (res != S_OK) return res;
    CMyComPtr<IOutArchive> out;
    h->QueryInterface(IID_IOutArchive, reinterpret_cast<void **>(&out));
    CMyComPtr<CMemOutStream> stream = new CMemOutStream;
    res = out->WriteArchive(stream, static_cast<UInt32>(cb->items.size()), cb);
    data = stream->data;
    return res;
}

std::vector<CWriteItem> TreeItems(const std::string &srcDir) {
    std::vector<CWriteItem> items;
    for (const char *dir : {"中文", "bin", "emptydir"}) {
        CWriteItem d;
        d.path = dir;
        d.isDir = true;
        items.push_back(d);
    }
    for (const char *path : kTree) {
        CWriteItem f;
        f.path = path;
        f.data = ReadFile(srcDir + "/" + path);
        items.push_back(f);
    }
    return items;
}

struct CWriteCase {
    const char *name;
    CProps props;
    const wchar_t *password;
    const char *method; // in py7zr's method names
};

} // namespace

// Archives the plug-in writes are read byte-exact by py7zr (with their password) and, unencrypted, by bsdtar.
TEST_F(SevenZipTest, WrittenArchivesReadBackInPy7zrAndBsdtar) {
    const CWriteCase cases[] = {
        {"lzma2.7z", {}, nullptr, "LZMA2"},
        {"lzma2-mt1-nonsolid.7z", {{L"x", L"mt", L"s"}, {L"9", L"1", L"0B"}}, nullptr, "LZMA2"},
        {"lzma.7z", {{L"0", L"0d"}, {L"LZMA", L"1m"}}, nullptr, "LZMA"},
        {"bzip2.7z", {{L"0"}, {L"BZip2"}}, nullptr, "BZip2"},
        {"deflate.7z", {{L"0"}, {L"Deflate"}}, nullptr, "DEFLATE"},
        {"store.7z", {{L"x"}, {L"0"}}, nullptr, "COPY"},
        {"aes.7z", {{L"em"}, {L"AES256"}}, L"秘密pw", "7zAES"},
        {"aes-he.7z", {{L"he", L"x", L"0d"}, {L"on", L"1", L"64k"}}, L"pw", "7zAES"},
        {"aes-bzip2-nonsolid.7z", {{L"0", L"s", L"he"}, {L"BZip2", L"off", L"off"}}, L"pw", "7zAES"},
    };
    const std::string src = Dir() / "src";
    for (const CWriteCase &c : cases) {
        SCOPED_TRACE(c.name);
        CMyComPtr<CWriteCallback> cb = new CWriteCallback;
        cb->items = TreeItems(src);
        if (c.password) cb->password = c.password;
        std::string data;
        ASSERT_EQ(Write7z(lib, nullptr, c.props, cb, data), S_OK);
        const std::string file = Dir() / c.name;
        WriteFile(file, data);
        if (c.password) {
            EXPECT_EQ(data.find("first file"), std::string::npos);
        }

        // py7zr: the method, then every file byte-exact.
        const std::string out = Dir() / (std::string(c.name) + ".out");
        const std::string pw = c.password ? ",password='" + Utf8(c.password) + "'" : "";
        const std::string py = std::string(kPy) + " -c \"import py7zr,sys\nz=py7zr.SevenZipFile(sys.argv[1]" + pw +
                               ")\nassert '" + c.method +
                               "' in z.archiveinfo().method_names, "
                               "z.archiveinfo().method_names\nz.extractall(sys.argv[2])\" '" +
                               file + "' '" + out + "'";
        EXPECT_EQ(NPluginTest::Run(py), 0) << py;
        EXPECT_EQ(NPluginTest::Run("diff -r '" + src + "' '" + out + "'"), 0);
        if (!c.password) {
            const std::string bsd = Dir() / (std::string(c.name) + ".bsd");
            EXPECT_EQ(NPluginTest::Run("mkdir '" + bsd + "' && bsdtar -xf '" + file + "' -C '" + bsd +
                                       "' && diff -r '" + src + "' '" + bsd + "'"),
                      0);
        }

        // And the plug-in itself; encrypted names need the password to open.
        CMyComPtr<COpenCallback> openCb = new COpenCallback;
        openCb->answer = EPasswordAnswer::kGive;
        if (c.password) openCb->password = c.password;
        HRESULT res;
        CMyComPtr<IInArchive> arc = OpenArchive(lib, "7z", data, &res, openCb);
        ASSERT_EQ(res, S_OK);
        const bool he = c.props.values.size() && c.props.names[0] == L"he";
        EXPECT_EQ(openCb->passwordRequests, he ? 1 : 0);
        CMyComPtr<CExtractCallback> ex = PasswordCallback(EPasswordAnswer::kGive, c.password ? c.password : L"");
        ExpectTree(arc, ex, src);
    }
}

// Blocks compressed on several threads join into one LZMA2 stream that other readers take whole.
TEST_F(SevenZipTest, ParallelLzma2EqualsSingleThreadedInContent) {
    std::string text;
    for (int i = 0; text.size() < (12u << 20); i++)
        text += "line " + std::to_string(static_cast<long long>(i) * 7919 % 100003) + " of a long text file\n";
    std::string single, parallel;
    for (const wchar_t *threads : {L"1", L"4"}) {
        CMyComPtr<CWriteCallback> cb = new CWriteCallback;
        cb->items = {CWriteItem{"text.txt", text}, CWriteItem{"a.txt", "small\n"}};
        std::string &data = threads[0] == L'1' ? single : parallel;
        ASSERT_EQ(Write7z(lib, nullptr, {{L"x", L"mt"}, {L"1", threads}}, cb, data), S_OK);
    }
    // A dictionary of 1 MiB cuts 12 MiB into several blocks: the parallel stream differs in its bytes.
    EXPECT_NE(single, parallel);
    for (const std::string *data : {&single, &parallel}) {
        HRESULT res;
        CMyComPtr<IInArchive> arc = OpenArchive(lib, "7z", *data, &res);
        ASSERT_EQ(res, S_OK);
        CMyComPtr<CExtractCallback> cb = ExtractItems(arc, nullptr, false, &res);
        EXPECT_EQ(res, S_OK);
        EXPECT_TRUE(cb->items[0].data == text);
        EXPECT_EQ(cb->items[1].data, "small\n");
    }
    const std::string file = Dir() / "parallel.7z";
    WriteFile(file, parallel);
    EXPECT_EQ(NPluginTest::Run(std::string(kPy) +
                               " -c \"import py7zr,sys; z=py7zr.SevenZipFile(sys.argv[1]); "
                               "sys.exit(z.test() is False)\" '" +
                               file + "'"),
              0);
    WriteFile(Dir() / "parallel.txt", text);
    EXPECT_EQ(NPluginTest::Run("bsdtar -xOf '" + file + "' text.txt | cmp -s - '" + Dir() / "parallel.txt" + "'"), 0);
}

// BZip2 on several threads: blocks joined into one stream in a 7z, and a .bz2 that bzip2 and Python read.
TEST_F(SevenZipTest, ParallelBzip2ReadsEverywhere) {
    std::string text;
    for (long long i = 0; text.size() < (3u << 20); i++)
        text += std::to_string(i * i % 1000003) + (i % 7 ? " " : "\n");
    const std::string txt = Dir() / "bz.txt";
    WriteFile(txt, text);
    for (const char *format : {"7z", "bzip2"}) {
        SCOPED_TRACE(format);
        CMyComPtr<CWriteCallback> cb = new CWriteCallback;
        cb->items = {CWriteItem{std::string(format) == "7z" ? "bz.txt" : "", text}};
        CProps props = {{L"mt"}, {L"4"}};
        if (std::string(format) == "7z") props = {{L"0", L"mt"}, {L"BZip2", L"4"}};
        std::string data;
        ASSERT_EQ(Write7z(lib, nullptr, props, cb, data, format), S_OK);
        const std::string file = Dir() / (std::string("parallel.") + format);
        WriteFile(file, data);
        HRESULT res;
        CMyComPtr<IInArchive> arc = OpenArchive(lib, format, data, &res);
        ASSERT_EQ(res, S_OK);
        CMyComPtr<CExtractCallback> ex = ExtractItems(arc, nullptr, false, &res);
        EXPECT_TRUE(ex->items[0].data == text);
        const std::string check =
            std::string(format) == "7z"
                ? std::string(kPy) +
                      " -c \"import py7zr,sys; z=py7zr.SevenZipFile(sys.argv[1]); "
                      "sys.exit(z.readall()['bz.txt'].read() != open(sys.argv[2],'rb').read())\" '" +
                      file + "' '" + txt + "'"
                : "bzip2 -t '" + file + "' && " + kPy +
                      " -c \"import bz2,sys; sys.exit(bz2.open(sys.argv[1]).read() != open(sys.argv[2],'rb').read())\" "
                      "'" +
                      file + "' '" + txt + "'";
        EXPECT_EQ(NPluginTest::Run(check), 0) << check;
    }
}

// Updates copy the blocks whose items all stay, packed bytes and all; a block that loses an item is
// encoded again, with the old password when the archive was encrypted.
TEST_F(SevenZipTest, UpdatesCopyKeptBlocksAndKeepThePassword) {
    const std::string src = Dir() / "src";
    struct CCase {
        const char *name;
        bool solid;
    } cases[] = {{"non-solid", false}, {"solid", true}};
    for (const CCase &c : cases) {
        SCOPED_TRACE(c.name);
        CMyComPtr<CWriteCallback> cb = new CWriteCallback;
        cb->items = TreeItems(src);
        cb->password = L"pw";
        std::string old;
        ASSERT_EQ(Write7z(lib, nullptr, {{L"s"}, {c.solid ? L"on" : L"off"}}, cb, old), S_OK);

        CMyComPtr<COpenCallback> openCb = new COpenCallback;
        HRESULT res;
        CMyComPtr<IInArchive> arc = OpenArchive(lib, "7z", old, &res, openCb);
        ASSERT_EQ(res, S_OK);
        std::map<std::string, UInt32> index;
        for (UInt32 i = 0; i < NumItems(arc); i++)
            index[Utf8(ItemPath(arc, i))] = i;

        // Keep the big file and the folders, rename a.txt, drop the Chinese one, add a new one.
        CMyComPtr<CWriteCallback> up = new CWriteCallback;
        up->oldPassword = L"pw";
        for (const char *kept : {"bin", "中文", "emptydir", "bin/big.bin", "empty.txt"}) {
            CWriteItem k;
            k.indexInArchive = index[kept];
            k.newProps = false;
            up->items.push_back(k);
        }
        CWriteItem renamed;
        renamed.indexInArchive = index["a.txt"];
        renamed.path = "renamed.txt";
        up->items.push_back(renamed);
        up->items.push_back(CWriteItem{"new.txt", "new data\n"});
        std::string updated;
        ASSERT_EQ(Write7z(lib, arc, {{L"s"}, {c.solid ? L"on" : L"off"}}, up, updated), S_OK);

        // Unchanged blocks are copied raw: the old encrypted bytes of the big file are still there.
        const std::string oldBlock = old.substr(old.size() / 2, 64);
        EXPECT_EQ(updated.find(oldBlock) != std::string::npos, !c.solid);
        // Without a new password the old one is asked for: new data is encrypted with it too.
        EXPECT_GT(up->oldPasswordRequests, 0);
        EXPECT_EQ(updated.find("new data"), std::string::npos);

        arc.Release();
        CMyComPtr<IInArchive> back = OpenArchive(lib, "7z", updated, &res);
        ASSERT_EQ(res, S_OK);
        CMyComPtr<CExtractCallback> ex = PasswordCallback(EPasswordAnswer::kGive, L"pw");
        ExtractItems(back, nullptr, false, &res, ex);
        EXPECT_EQ(res, S_OK);
        std::map<std::string, std::string> got;
        for (UInt32 i = 0; i < NumItems(back); i++) {
            EXPECT_EQ(ex->items[i].opRes, NOperationResult::kOK) << i;
            got[Utf8(ItemPath(back, i))] = ItemIsDir(back, i) ? "/" : ex->items[i].data;
        }
        const std::map<std::string, std::string> expected = {{"bin", "/"},
                                                             {"中文", "/"},
                                                             {"emptydir", "/"},
                                                             {"empty.txt", ""},
                                                             {"bin/big.bin", Source("bin/big.bin")},
                                                             {"renamed.txt", "first file\n"},
                                                             {"new.txt", "new data\n"}};
        EXPECT_TRUE(got == expected);
    }
}

// PPMd is left to libarchive: archives that use it are read through it, and written through it
// unless a password is given, which it could not honour.
TEST_F(SevenZipTest, PpmdGoesThroughLibarchiveAndIsNeverWrittenInClear) {
    const std::string src = Dir() / "src";
    const std::string made = Dir() / "ppmd.7z";
    ASSERT_EQ(NPluginTest::Run("cd '" + src + "' && bsdtar --format 7zip --options 7zip:compression=ppmd -cf '" + made +
                               "' a.txt bin"),
              0);
    HRESULT res;
    CMyComPtr<IInArchive> arc = OpenArchive(lib, "7z", ReadFile(made), &res);
    ASSERT_EQ(res, S_OK);
    CMyComPtr<CExtractCallback> ex = ExtractItems(arc, nullptr, false, &res);
    EXPECT_EQ(res, S_OK);
    const int big = IndexOf(arc, L"bin/big.bin");
    ASSERT_GE(big, 0);
    EXPECT_TRUE(ex->items[static_cast<UInt32>(big)].data == Source("bin/big.bin"));

    for (const wchar_t *password : {L"", L"pw"}) {
        CMyComPtr<CWriteCallback> cb = new CWriteCallback;
        cb->items = {CWriteItem{"a.txt", "first file\n"}};
        cb->password = password;
        std::string data;
        const HRESULT written = Write7z(lib, nullptr, {{L"0"}, {L"PPMd"}}, cb, data);
        if (*password) {
            EXPECT_NE(written, S_OK);
            EXPECT_EQ(data.find("first file"), std::string::npos);
            continue;
        }
        ASSERT_EQ(written, S_OK);
        CMyComPtr<IInArchive> back = OpenArchive(lib, "7z", data, &res);
        ASSERT_EQ(res, S_OK);
        CMyComPtr<CExtractCallback> got = ExtractItems(back, nullptr, false, &res);
        EXPECT_EQ(got->items[0].data, "first file\n");
    }
}

// The solid block size the dialog sends ("s") decides how the items are grouped into blocks.
TEST_F(SevenZipTest, SolidBlockSizeGroupsTheItems) {
    const struct {
        const wchar_t *solid;
        UInt32 blocks; // of the three items with data: a.txt, 中文/名字.txt, bin/big.bin
    } cases[] = {{L"0B", 3}, {L"off", 3}, {L"on", 1}, {L"18446744073709551615B", 1}, {L"2f", 2}, {L"100000B", 2}};
    for (const auto &c : cases) {
        SCOPED_TRACE(Utf8(c.solid));
        CMyComPtr<CWriteCallback> cb = new CWriteCallback;
        cb->items = TreeItems(Dir() / "src");
        std::string data;
        ASSERT_EQ(Write7z(lib, nullptr, {{L"s"}, {c.solid}}, cb, data), S_OK);
        HRESULT res;
        CMyComPtr<IInArchive> arc = OpenArchive(lib, "7z", data, &res);
        ASSERT_EQ(res, S_OK);
        CProp blocks;
        arc->GetArchiveProperty(kpidNumBlocks, &blocks);
        EXPECT_EQ(blocks.ulVal, c.blocks);
    }
}

// A block of known size declares a dictionary no larger than its data (a small file costs no large
// coder tables), never larger than the one asked for, and decodes to the data.
TEST_F(SevenZipTest, SmallBlocksGetADictionaryOfTheirSize) {
    const struct {
        size_t size;
        CProps props;
        const wchar_t *method;
    } cases[] = {
        {100, {}, L"LZMA2:12"}, {300000, {}, L"LZMA2:19"}, {300000, {{L"0", L"0d"}, {L"LZMA", L"64k"}}, L"LZMA:16"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.size);
        CMyComPtr<CWriteCallback> cb = new CWriteCallback;
        CWriteItem item;
        item.path = "f.bin";
        item.data = BigData().substr(0, c.size);
        cb->items = {item};
        std::string data;
        ASSERT_EQ(Write7z(lib, nullptr, c.props, cb, data), S_OK);
        HRESULT res;
        CMyComPtr<IInArchive> arc = OpenArchive(lib, "7z", data, &res);
        ASSERT_EQ(res, S_OK);
        CProp method;
        arc->GetProperty(0, kpidMethod, &method);
        ASSERT_EQ(method.vt, VT_BSTR);
        EXPECT_EQ(std::wstring(method.bstrVal), c.method);
        CMyComPtr<CExtractCallback> ex = ExtractItems(arc, nullptr, false, &res);
        EXPECT_EQ(res, S_OK);
        EXPECT_EQ(ex->items[0].data, item.data);
    }
}

namespace {

// Archives of one 120-byte item whose coder declares a 4 GiB dictionary: py7zr's coder properties
// patched, the header's CRCs made right again.
const char *const kHugeDictionaryScript =
    "import py7zr,struct,sys,zlib\n"
    "open('x.txt','wb').write(b'x'*120)\n"
    "for name,flt,rec,prop in (('lzma2.7z',py7zr.FILTER_LZMA2,b'\\x21\\x21\\x01',b'\\x28'),\n"
    "                          ('lzma.7z',py7zr.FILTER_LZMA,b'\\x23\\x03\\x01\\x01\\x05',None)):\n"
    "  z=py7zr.SevenZipFile(name,'w',filters=[{'id':flt}]); z.encoded_header_mode=False\n"
    "  z.write('x.txt'); z.close()\n"
    "  d=bytearray(open(name,'rb').read()); off,size,_=struct.unpack('<QQI',d[12:32]); h=32+off\n"
    "  i=d.index(rec,h)+len(rec)\n"
    "  if prop: d[i:i+1]=prop\n"
    "  else: d[i+1:i+5]=b'\\xff\\xff\\xff\\xff'\n"
    "  d[28:32]=struct.pack('<I',zlib.crc32(d[h:h+size])); d[8:12]=struct.pack('<I',zlib.crc32(d[12:32]))\n"
    "  open(name,'wb').write(d)\n";

bool UnderAddressSanitizer() {
#if defined(__SANITIZE_ADDRESS__)
    return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    return true;
#endif
#endif
    return false;
}

} // namespace

// Runs under a memory limit, started by the test below; skipped when started directly.
TEST(SevenZipMemoryLimitChild, HugeDeclaredDictionaryDecodesTheItem) {
    const char *dir = getenv("TARNOVA_HUGE_DICT_DIR");
    if (!dir) GTEST_SKIP() << "run by HugeDeclaredDictionaryNeedsNoMemory";
    CPluginLib lib;
    ASSERT_TRUE(lib.Loaded());
    for (const char *name : {"lzma2.7z", "lzma.7z"}) {
        SCOPED_TRACE(name);
        HRESULT res;
        CMyComPtr<IInArchive> arc = OpenArchive(lib, "7z", ReadFile(std::string(dir) + "/" + name), &res);
        ASSERT_EQ(res, S_OK);
        ASSERT_EQ(NumItems(arc), 1u);
        CMyComPtr<CExtractCallback> cb = ExtractItems(arc, nullptr, false, &res);
        EXPECT_EQ(res, S_OK);
        EXPECT_EQ(cb->items[0].opRes, NOperationResult::kOK);
        EXPECT_EQ(cb->items[0].data, std::string(120, 'x'));
    }
}

// The dictionary is sized by the data it can serve, so a 4 GiB declaration in the header allocates
// nothing of that size: the item decodes within a 1 GiB limit.
TEST_F(SevenZipTest, HugeDeclaredDictionaryNeedsNoMemory) {
    CTempDir dir;
    ASSERT_EQ(NPluginTest::Run("cd '" + dir.Path() + "' && " + kPy + " -c \"" + kHugeDictionaryScript + "\""), 0);
    char self[4096];
    const ssize_t len = readlink("/proc/self/exe", self, sizeof(self) - 1);
    ASSERT_GT(len, 0);
    self[len] = 0;
    // The sanitizer's shadow memory cannot live under ulimit -v; its own allocation cap stands in.
    const char *asan = getenv("ASAN_OPTIONS");
    const std::string limit = UnderAddressSanitizer() ? std::string("ASAN_OPTIONS='") + (asan ? asan : "") +
                                                            ":allocator_may_return_null=1:max_allocation_size_mb=1024' "
                                                      : std::string("ulimit -v 1048576 && ");
    const std::string cmd = limit + "TARNOVA_HUGE_DICT_DIR='" + dir.Path() + "' '" + self +
                            "' --gtest_filter=SevenZipMemoryLimitChild.* > '" + dir / "child.log" + "' 2>&1";
    EXPECT_EQ(NPluginTest::Run(cmd), 0) << ReadFile(dir / "child.log");
    EXPECT_NE(ReadFile(dir / "child.log").find("[  PASSED  ] 1 test"), std::string::npos)
        << ReadFile(dir / "child.log");
}
