// Archives written through the plug-in's IOutArchive, read back by the plug-in and by Debian's own
// tools: new archives of every writable format, updates of old ones, options, passwords, skipped
// and failing streams.
#include "PluginHarness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <locale.h>
#include <set>

using namespace NPluginTest;

namespace {

struct CTestItem {
    std::string path;
    std::string data;
    bool isDir = false;
    bool sizeKnown = true;
    long long declaredSize = -1; // the size given when not that of data: the file changed meanwhile
    bool isAnti = false;
    UInt32 mode = 0; // Unix mode in the attributes; 0 for the defaults
    // The update record.
    bool newData = true;
    bool newProps = true;
    UInt32 indexInArchive = 0xFFFFFFFF;
    // What GetStream answers: S_OK with a stream, S_FALSE, S_OK without a stream, or a failure.
    enum EStream { kNormal, kSkip, kNull, kFail } stream = kNormal;
    HRESULT failure = E_ABORT;
};

CTestItem File(const std::string &path, const std::string &data) {
    CTestItem t;
    t.path = path;
    t.data = data;
    return t;
}

CTestItem Folder(const std::string &path) {
    CTestItem t;
    t.path = path;
    t.isDir = true;
    return t;
}

CTestItem Kept(UInt32 index) {
    CTestItem t;
    t.newData = false;
    t.newProps = false;
    t.indexInArchive = index;
    return t;
}

// Counts itself while it exists, so that a test sees every input stream released.
class CCountedInStream : public ISequentialInStream, public CMyUnknownImp {
    std::string _data;
    size_t _pos = 0;
    int &_open;

public:
    CCountedInStream(std::string data, int &open) : _data(std::move(data)), _open(open) { _open++; }
    virtual ~CCountedInStream() { _open--; }
    COM_UNKNOWN_IMP(ISequentialInStream)
    HRESULT Read(void *data, UInt32 size, UInt32 *processedSize) override {
        const size_t n = std::min<size_t>(size, _data.size() - _pos);
        memcpy(data, _data.data() + _pos, n);
        _pos += n;
        if (processedSize) *processedSize = static_cast<UInt32>(n);
        return S_OK;
    }
};

class CUpdateCallback : public IArchiveUpdateCallback2,
                        public IArchiveUpdateCallbackFile,
                        public ICryptoGetTextPassword2,
                        public ICryptoGetTextPassword,
                        public ICompressProgressInfo,
                        public CMyUnknownImp {
public:
    std::vector<CTestItem> items;
    std::vector<UInt64> completed;                // every SetCompleted value
    std::vector<std::pair<UInt64, UInt64>> ratio; // every SetRatioInfo pair
    int openStreams = 0;
    std::vector<UInt32> streamsAsked;
    std::vector<UInt32> replicated;
    std::vector<Int32> results;
    bool writePasswordDefined = false;
    std::wstring writePassword;
    std::wstring readPassword;
    int readPasswordRequests = 0;
    int completedCalls = 0;
    int abortAfterCompleted = -1; // SetCompleted fails once it was called this often

    virtual ~CUpdateCallback() {}
    COM_UNKNOWN_IMP(IArchiveUpdateCallback2, IArchiveUpdateCallbackFile, ICryptoGetTextPassword2,
                    ICryptoGetTextPassword, ICompressProgressInfo)

    HRESULT SetTotal(UInt64) override { return S_OK; }
    HRESULT SetRatioInfo(const UInt64 *in, const UInt64 *out) override {
        ratio.emplace_back(in ? *in : 0, out ? *out : 0);
        return S_OK;
    }
    HRESULT SetCompleted(const UInt64 *value) override {
        if (value) completed.push_back(*value);
        completedCalls++;
        return (abortAfterCompleted >= 0 && completedCalls > abortAfterCompleted) ? E_ABORT : S_OK;
    }
    HRESULT GetUpdateItemInfo(UInt32 index, Int32 *newData, Int32 *newProps, UInt32 *indexInArchive) override {
        const CTestItem &t = items.at(index);
        if (newData) *newData = t.newData ? 1 : 0;
        if (newProps) *newProps = t.newProps ? 1 : 0;
        if (indexInArchive) *indexInArchive = t.indexInArchive;
        return S_OK;
    }
    HRESULT GetProperty(UInt32 index, PROPID propID, PROPVARIANT *value) override {
        const CTestItem &t = items.at(index);
        if (t.isAnti && propID != kpidPath && propID != kpidIsDir) {
            if (propID == kpidIsAnti) {
                value->vt = VT_BOOL;
                value->boolVal = VARIANT_TRUE;
            }
            return S_OK;
        }
        switch (propID) {
        case kpidPath:
            value->vt = VT_BSTR;
            value->bstrVal = SysAllocString(Wide(t.path).c_str());
            break;
        case kpidIsDir:
            value->vt = VT_BOOL;
            value->boolVal = t.isDir ? VARIANT_TRUE : VARIANT_FALSE;
            break;
        case kpidSize:
            if (t.sizeKnown) {
                value->vt = VT_UI8;
                value->uhVal.QuadPart = t.isDir ? 0 : t.declaredSize >= 0 ? t.declaredSize : t.data.size();
            }
            break;
        case kpidMTime:
            value->vt = VT_FILETIME;
            // 2021-01-02 03:04:06 UTC
            value->filetime.dwLowDateTime = 0xEE8D1700;
            value->filetime.dwHighDateTime = 0x01D6E0B3;
            break;
        case kpidAttrib:
            value->vt = VT_UI4;
            value->ulVal =
                t.isDir ? (0x10 | 0x8000 | (040755u << 16)) : (0x8000 | ((t.mode ? t.mode : 0100640u) << 16));
            break;
        default:
            break;
        }
        return S_OK;
    }
    HRESULT GetStream(UInt32 index, ISequentialInStream **inStream) override {
        *inStream = nullptr;
        streamsAsked.push_back(index);
        const CTestItem &t = items.at(index);
        switch (t.stream) {
        case CTestItem::kSkip:
            return S_FALSE;
        case CTestItem::kNull:
            return S_OK;
        case CTestItem::kFail:
            return t.failure;
        case CTestItem::kNormal:
            break;
        }
        if (t.isDir) return S_OK;
        CMyComPtr<ISequentialInStream> s = new CCountedInStream(t.data, openStreams);
        *inStream = s.Detach();
        return S_OK;
    }
    HRESULT SetOperationResult(Int32 r) override {
        results.push_back(r);
        return S_OK;
    }
    HRESULT GetVolumeSize(UInt32, UInt64 *) override { return S_FALSE; }
    HRESULT GetVolumeStream(UInt32, ISequentialOutStream **) override { return E_NOTIMPL; }
    HRESULT GetStream2(UInt32 index, ISequentialInStream **inStream, UInt32) override {
        return GetStream(index, inStream);
    }
    HRESULT ReportOperation(UInt32 indexType, UInt32 index, UInt32 notifyOp) override {
        if (indexType == NArchive::NEventIndexType::kInArcIndex && notifyOp == NArchive::NUpdateNotifyOp::kReplicate)
            replicated.push_back(index);
        return S_OK;
    }
    HRESULT CryptoGetTextPassword2(Int32 *defined, BSTR *password) override {
        *defined = writePasswordDefined ? 1 : 0;
        *password = SysAllocString(writePassword.c_str());
        return S_OK;
    }
    HRESULT CryptoGetTextPassword(BSTR *password) override {
        readPasswordRequests++;
        *password = SysAllocString(readPassword.c_str());
        return S_OK;
    }
};

struct CNamedProp {
    std::wstring name;
    enum { kEmpty, kNumber, kText, kBool } type = kEmpty;
    UInt32 number = 0;
    std::wstring text;
};

CNamedProp Num(const wchar_t *name, UInt32 n) {
    CNamedProp p;
    p.name = name;
    p.type = CNamedProp::kNumber;
    p.number = n;
    return p;
}

CNamedProp Text(const wchar_t *name, const wchar_t *text) {
    CNamedProp p;
    p.name = name;
    p.type = CNamedProp::kText;
    p.text = text;
    return p;
}

CNamedProp Flag(const wchar_t *name, bool on) {
    CNamedProp p;
    p.name = name;
    p.type = CNamedProp::kBool;
    p.number = on;
    return p;
}

CNamedProp Bare(const wchar_t *name) {
    CNamedProp p;
    p.name = name;
    return p;
}

HRESULT ApplyProps(IUnknown *handler, const std::vector<CNamedProp> &props) {
    CMyComPtr<ISetProperties> set;
    if (handler->QueryInterface(IID_ISetProperties, reinterpret_cast<void **>(&set)) != S_OK) return E_NOINTERFACE;
    std::vector<const wchar_t *> names;
    std::vector<PROPVARIANT> values(props.size());
    for (size_t i = 0; i < props.size(); i++) {
        names.push_back(props[i].name.c_str());
        PROPVARIANT &v = values[i];
        memset(&v, 0, sizeof(v));
        switch (props[i].type) {
        case CNamedProp::kEmpty:
            v.vt = VT_EMPTY;
            break;
        case CNamedProp::kNumber:
            v.vt = VT_UI4;
            v.ulVal = props[i].number;
            break;
        case CNamedProp::kBool:
            v.vt = VT_BOOL;
            v.boolVal = props[i].number ? VARIANT_TRUE : VARIANT_FALSE;
            break;
        case CNamedProp::kText:
            v.vt = VT_BSTR;
            v.bstrVal = SysAllocString(props[i].text.c_str());
            break;
        }
    }
    const HRESULT res = set->SetProperties(names.data(), values.data(), static_cast<UInt32>(values.size()));
    for (PROPVARIANT &v : values)
        VariantClear(&v);
    return res;
}

CMyComPtr<IOutArchive> NewWriter(const CPluginLib &lib, const std::string &format) {
    CMyComPtr<IOutArchive> out;
    const int index = lib.FindFormat(format);
    if (index < 0) return out;
    const GUID clsid = lib.FormatClassId(static_cast<UInt32>(index));
    void *p = nullptr;
    if (lib.Fn<Func_CreateObject>("CreateObject")(&clsid, &IID_IOutArchive, &p) == S_OK)
        out.Attach(static_cast<IOutArchive *>(p));
    return out;
}

// Runs WriteArchive and checks that every input stream was released by the time it returned.
HRESULT WriteWith(IOutArchive *writer, CUpdateCallback *cb, std::string &data) {
    CMyComPtr<CMemOutStream> out = new CMemOutStream;
    const HRESULT res =
        writer->WriteArchive(out, static_cast<UInt32>(cb->items.size()), static_cast<IArchiveUpdateCallback2 *>(cb));
    EXPECT_EQ(cb->openStreams, 0) << "an input stream is still held";
    data = out->data;
    return res;
}

std::string BigData() {
    std::string big;
    unsigned x = 12345;
    for (int i = 0; i < 300000; i++) {
        x = x * 1103515245u + 12345u;
        big += (i % 7 == 0) ? static_cast<char>(x >> 24) : static_cast<char>('a' + i % 23);
    }
    return big;
}

std::string TextData() {
    std::string s;
    for (int i = 0; i < 20000; i++)
        s += "line " + std::to_string(i % 97) + " of some repetitive text\n";
    return s;
}

// path -> content of every file the plug-in lists and extracts; folders map to "/".
std::map<std::string, std::string> ReadBack(const CPluginLib &lib, const std::string &format, const std::string &data,
                                            const std::wstring &password = L"") {
    std::map<std::string, std::string> result;
    HRESULT res;
    CMyComPtr<IInArchive> arc = OpenArchive(lib, format, data, &res);
    EXPECT_EQ(res, S_OK);
    if (res != S_OK) return result;
    CExtractCallback *cbRaw = new CExtractCallback;
    CMyComPtr<IArchiveExtractCallback> cb = cbRaw;
    if (!password.empty()) {
        cbRaw->answer = EPasswordAnswer::kGive;
        cbRaw->password = password;
    }
    ExtractItems(arc, nullptr, false, &res, cbRaw);
    EXPECT_EQ(res, S_OK);
    for (UInt32 i = 0; i < NumItems(arc); i++) {
        const std::string path = Utf8(ItemPath(arc, i));
        if (ItemIsDir(arc, i)) {
            result[path] = "/";
            continue;
        }
        EXPECT_EQ(cbRaw->items[i].opRes, 0) << path;
        result[path] = cbRaw->items[i].data;
    }
    return result;
}

// Writes the files of a map (folders as "/") under a folder.
void MakeTree(const std::string &dir, const std::map<std::string, std::string> &files) {
    Run("mkdir -p '" + dir + "'");
    for (const auto &f : files) {
        if (f.second == "/") {
            Run("mkdir -p '" + dir + "/" + f.first + "'");
            continue;
        }
        const size_t slash = f.first.rfind('/');
        if (slash != std::string::npos) Run("mkdir -p '" + dir + "/" + f.first.substr(0, slash) + "'");
        WriteFile(dir + "/" + f.first, f.second);
    }
}

class PluginWriteTest : public ::testing::Test {
protected:
    CPluginLib lib;
    CTempDir tmp;
    static void SetUpTestSuite() { setlocale(LC_ALL, "C.UTF-8"); }

    std::string Q(const std::string &name) const { return "'" + tmp / name + "'"; }
    int Sh(const std::string &command) const {
        return NPluginTest::Run("cd '" + tmp.Path() + "' && (" + command + ") >/dev/null 2>&1");
    }
    // Opens an archive of the temporary folder and takes its writing side, for an update.
    void OpenForUpdate(const char *format, const std::string &file, CMyComPtr<IInArchive> &arc,
                       CMyComPtr<IOutArchive> &writer) {
        HRESULT res;
        arc = OpenArchive(lib, format, ReadFile(tmp / file), &res);
        ASSERT_EQ(res, S_OK);
        ASSERT_EQ(arc->QueryInterface(IID_IOutArchive, reinterpret_cast<void **>(&writer)), S_OK);
    }
};

struct CWritableCase {
    const char *format;
    const char *file;
    bool container;
    // Run in the temporary folder: %f is the archive; must leave the extracted tree in "out" (or,
    // for a single stream, its content in "out.bin").
    const char *testCommand;
    const char *extractCommand;
};

const CWritableCase kWritable[] = {
    {"7z", "a.7z", true,
     "/usr/bin/python3 -c \"import py7zr,sys; z=py7zr.SevenZipFile(sys.argv[1]); sys.exit(0 if z.test() in (None, "
     "True) "
     "else 1)\" %f",
     "/usr/bin/python3 -c \"import py7zr,sys; py7zr.SevenZipFile(sys.argv[1]).extractall('out')\" %f"},
    {"zip", "a.zip", true,
     "unzip -tq %f && /usr/bin/python3 -c \"import zipfile,sys; sys.exit(zipfile.ZipFile(sys.argv[1]).testzip() is not "
     "None)\" %f",
     "unzip -q %f -d out"},
    {"tar", "a.tar", true, "tar -tf %f", "mkdir out && tar -xf %f -C out"},
    {"gzip", "a.gz", false, "gzip -t %f", "gzip -dc %f > out.bin"},
    {"bzip2", "a.bz2", false, "bzip2 -t %f", "bzip2 -dc %f > out.bin"},
    {"xz", "a.xz", false, "xz -t %f", "xz -dc %f > out.bin"},
    {"zstd", "a.zst", false, "zstd -tq %f", "zstd -dcq %f > out.bin"},
};

std::string Subst(std::string cmd, const std::string &file) {
    for (size_t p; (p = cmd.find("%f")) != std::string::npos;)
        cmd.replace(p, 2, "'" + file + "'");
    return cmd;
}

std::vector<CTestItem> ContainerItems() {
    CTestItem unsized = File("dir/unsized.txt", "size not given beforehand\n");
    unsized.sizeKnown = false;
    return {File("hello.txt", "hello world\n"),
            Folder("dir"),
            File("dir/中文名字.txt", "汉字内容\n"),
            File("big.bin", BigData()),
            File("empty.txt", ""),
            unsized,
            File("emoji_\xF0\x9F\x98\x80.txt", "smile\n")};
}

std::map<std::string, std::string> Expected(const std::vector<CTestItem> &items) {
    std::map<std::string, std::string> m;
    for (const CTestItem &t : items)
        m[t.path] = t.isDir ? "/" : t.data;
    return m;
}

} // namespace

TEST_F(PluginWriteTest, FormatTableTellsWhichFormatsCanBeWritten) {
    const std::set<std::string> writable = {"7z", "zip", "tar", "gzip", "bzip2", "xz", "zstd"};
    auto prop = lib.Fn<Func_GetHandlerProperty2>("GetHandlerProperty2");
    for (UInt32 i = 0; i < lib.NumFormats(); i++) {
        CProp name, update;
        prop(i, NArchive::NHandlerPropID::kName, &name);
        prop(i, NArchive::NHandlerPropID::kUpdate, &update);
        const std::string n = Utf8(name.bstrVal);
        SCOPED_TRACE(n);
        const bool canWrite = writable.count(n) != 0;
        ASSERT_EQ(update.vt, VT_BOOL);
        EXPECT_EQ(update.boolVal != VARIANT_FALSE, canWrite);
        // A handler of a read-only format answers neither writing interface.
        CMyComPtr<IInArchive> handler = lib.CreateHandler(n);
        ASSERT_TRUE(handler);
        void *p = nullptr;
        EXPECT_EQ(handler->QueryInterface(IID_IOutArchive, &p) == S_OK, canWrite);
        if (p) static_cast<IUnknown *>(p)->Release();
        p = nullptr;
        EXPECT_EQ(handler->QueryInterface(IID_ISetProperties, &p) == S_OK, canWrite);
        if (p) static_cast<IUnknown *>(p)->Release();
    }
    const std::pair<const char *, UInt32> timeKinds[] = {{"7z", NFileTimeType::kWindows},
                                                         {"zip", NFileTimeType::kDOS},
                                                         {"tar", NFileTimeType::kUnix},
                                                         {"gzip", NFileTimeType::kUnix},
                                                         {"xz", NFileTimeType::kUnix}};
    for (const auto &tk : timeKinds) {
        UInt32 kind = 99;
        EXPECT_EQ(NewWriter(lib, tk.first)->GetTimeKind(&kind), S_OK);
        EXPECT_EQ(kind, tk.second) << tk.first;
    }
}

TEST_F(PluginWriteTest, EveryWritableFormatReadsBackInThePluginAndInDebianTools) {
    for (const CWritableCase &c : kWritable) {
        SCOPED_TRACE(c.format);
        CMyComPtr<CUpdateCallback> cb = new CUpdateCallback;
        if (c.container) {
            cb->items = ContainerItems();
            // py7zr decodes names one UTF-16 unit at a time and fails on characters beyond U+FFFF.
            if (std::string(c.format) == "7z") cb->items.pop_back();
        } else {
            cb->items = {File("", BigData())};
        }
        CMyComPtr<IOutArchive> writer = NewWriter(lib, c.format);
        ASSERT_TRUE(writer);
        std::string data;
        ASSERT_EQ(WriteWith(writer, cb, data), S_OK);
        ASSERT_FALSE(data.empty());
        EXPECT_EQ(cb->results.size(), cb->items.size());
        for (Int32 r : cb->results)
            EXPECT_EQ(r, NArchive::NUpdate::NOperationResult::kOK);

        Sh("rm -rf out out.bin src");
        WriteFile(tmp / c.file, data);
        EXPECT_EQ(Sh(Subst(c.testCommand, tmp / c.file)), 0) << c.testCommand;
        EXPECT_EQ(Sh(Subst(c.extractCommand, tmp / c.file)), 0) << c.extractCommand;
        const std::map<std::string, std::string> got = ReadBack(lib, c.format, data);
        if (c.container) {
            const std::map<std::string, std::string> expected = Expected(cb->items);
            EXPECT_TRUE(got == expected);
            MakeTree(tmp / "src", expected);
            EXPECT_EQ(Sh("diff -r src out"), 0) << "the tool extracted something else";
        } else {
            ASSERT_EQ(got.size(), 1u);
            EXPECT_TRUE(got.begin()->second == cb->items[0].data);
            EXPECT_TRUE(ReadFile(tmp / "out.bin") == cb->items[0].data);
        }
    }
}

TEST_F(PluginWriteTest, NamesTimesModesAndLinksSurviveInTar) {
    CMyComPtr<CUpdateCallback> cb = new CUpdateCallback;
    // A link read from disk comes as its target in the data and the link type in the mode.
    CTestItem link = File("lnk", "dir/中文.txt");
    link.mode = 0120777;
    cb->items = {File("dir/中文.txt", "x\n"), Folder("dir"), link};
    std::string data;
    ASSERT_EQ(WriteWith(NewWriter(lib, "tar"), cb, data), S_OK);
    WriteFile(tmp / "a.tar", data);
    ASSERT_EQ(Sh("TZ=UTC tar -tvf a.tar > list.txt"), 0);
    const std::string list = ReadFile(tmp / "list.txt");
    EXPECT_NE(list.find("-rw-r----- "), std::string::npos) << list;
    EXPECT_NE(list.find("drwxr-xr-x "), std::string::npos) << list;
    EXPECT_NE(list.find("2021-01-02 03:04 dir/中文.txt"), std::string::npos) << list;
    EXPECT_NE(list.find("lnk -> dir/中文.txt"), std::string::npos) << list;
}

// Entries that fit a plain tar header are written with one; an archive with any entry that does
// not (long or non-ASCII name, unknown size, a kept entry of the old archive) keeps extended headers
// for it, and every name and content comes back whole in GNU tar.
TEST_F(PluginWriteTest, TarNamesThatDoNotFitAPlainHeaderKeepTheirExtendedHeader) {
    const std::string fits99 = "d/" + std::string(97, 'n');
    const std::string long120 = "d/" + std::string(118, 'l');
    struct CCase {
        const char *what;
        std::vector<CTestItem> items;
        bool extended;
    };
    CTestItem unsized = File("d/unsized.txt", "no size given\n");
    unsized.sizeKnown = false;
    const std::vector<CCase> cases = {
        {"short names", {Folder("d"), File("d/a.txt", "a\n"), File("d/empty", "")}, false},
        {"99 bytes", {Folder("d"), File(fits99, "edge\n")}, false},
        {"120 bytes", {Folder("d"), File("d/a.txt", "a\n"), File(long120, "long\n")}, true},
        {"non-ASCII", {Folder("d"), File("d/a.txt", "a\n"), File("d/naïve.txt", "n\n")}, true},
        {"unknown size", {Folder("d"), File("d/a.txt", "a\n"), unsized}, false},
    };
    for (const CCase &c : cases) {
        SCOPED_TRACE(c.what);
        CMyComPtr<CUpdateCallback> cb = new CUpdateCallback;
        cb->items = c.items;
        std::string data;
        ASSERT_EQ(WriteWith(NewWriter(lib, "tar"), cb, data), S_OK);
        WriteFile(tmp / "p.tar", data);
        Sh("rm -rf out && mkdir out");
        ASSERT_EQ(Sh("tar -xf p.tar -C out"), 0);
        std::map<std::string, std::string> expected;
        for (const CTestItem &item : c.items)
            expected[item.path] = item.isDir ? "/" : item.data;
        Sh("rm -rf src");
        MakeTree(tmp / "src", expected);
        EXPECT_EQ(Sh("diff -r src out"), 0);
        const int pax = Sh("/usr/bin/python3 -c \"import tarfile,sys\n"
                           "sys.exit(0 if any(m.pax_headers for m in tarfile.open('p.tar')) else 1)\"");
        EXPECT_EQ(pax == 0, c.extended);
    }

    // A kept entry with a long name decides as well as a new one.
    Sh("rm -rf old && mkdir -p old/d");
    WriteFile(tmp / ("old/" + long120), "old long\n");
    ASSERT_EQ(Sh("cd old && tar -cf ../k.tar " + long120), 0);
    HRESULT res;
    CMyComPtr<IInArchive> arc = OpenArchive(lib, "tar", ReadFile(tmp / "k.tar"), &res);
    ASSERT_EQ(res, S_OK);
    CMyComPtr<CUpdateCallback> cb = new CUpdateCallback;
    cb->items = {Kept(0), File("short.txt", "s\n")};
    CMyComPtr<IOutArchive> writer;
    ASSERT_EQ(arc->QueryInterface(IID_IOutArchive, reinterpret_cast<void **>(&writer)), S_OK);
    std::string data;
    ASSERT_EQ(WriteWith(writer, cb, data), S_OK);
    const std::map<std::string, std::string> expected = {{long120, "old long\n"}, {"short.txt", "s\n"}};
    EXPECT_TRUE(ReadBack(lib, "tar", data) == expected);
    WriteFile(tmp / "k.tar", data);
    EXPECT_EQ(Sh("tar -xOf k.tar " + long120 + " | grep -qx 'old long'"), 0);
}

// A tar of new items only, all fitting plain headers, is written without libarchive's tar writer;
// copying every entry of it through libarchive's writer gives the same bytes: names, folders, modes,
// times, sizes at and around the block size, data that shrank, the padding and the end.
TEST_F(PluginWriteTest, PlainTarOfNewItemsIsByteForByteLibarchivesPlainTar) {
    CTestItem script = File("d/run.sh", "#!/bin/sh\n");
    script.mode = 0104755;
    CTestItem shrunk = File("d/shrunk", "short");
    shrunk.declaredSize = 700;
    CMyComPtr<CUpdateCallback> cb = new CUpdateCallback;
    cb->items = {Folder("d"),
                 File("d/a.txt", "a\n"),
                 File("d/empty", ""),
                 File("d/b512", std::string(512, 'b')),
                 File("d/b513", std::string(513, 'c')),

                 script,
                 shrunk,
                 Folder("d/e")};
    std::string own;
    ASSERT_EQ(WriteWith(NewWriter(lib, "tar"), cb, own), S_OK);
    ASSERT_EQ(own.size() % 10240, 0u);
    HRESULT res;
    CMyComPtr<IInArchive> arc = OpenArchive(lib, "tar", own, &res);
    ASSERT_EQ(res, S_OK);
    UInt32 num = 0;
    ASSERT_EQ(arc->GetNumberOfItems(&num), S_OK);
    ASSERT_EQ(num, cb->items.size());
    CMyComPtr<CUpdateCallback> copy = new CUpdateCallback;
    for (UInt32 i = 0; i < num; i++)
        copy->items.push_back(Kept(i));
    CMyComPtr<IOutArchive> writer;
    ASSERT_EQ(arc->QueryInterface(IID_IOutArchive, reinterpret_cast<void **>(&writer)), S_OK);
    std::string copied;
    ASSERT_EQ(WriteWith(writer, copy, copied), S_OK);
    EXPECT_TRUE(own == copied);
    WriteFile(tmp / "own.tar", own);
    EXPECT_EQ(Sh("tar -xOf own.tar d/shrunk > s.bin && "
                 "printf short > w.bin && head -c 695 /dev/zero >> w.bin && cmp -s s.bin w.bin"),
              0);
    // What a copy carries over unchanged: no owner numbers and no device numbers are given.
    EXPECT_EQ(Sh("/usr/bin/python3 -c \"import tarfile,sys\n"
                 "sys.exit(0 if all(m.uid == m.gid == m.devmajor == m.devminor == 0 for m in "
                 "tarfile.open('own.tar')) else 1)\""),
              0);
}

struct CPropsCase {
    const char *format;
    std::vector<CNamedProp> props;
    // Run in the temporary folder on the archive %f; must succeed.
    const char *check;
};

// Output leaves in large blocks, and a tar still ends on a whole 10 KiB record wherever its last
// block ends: five big files fill more than one block.
TEST_F(PluginWriteTest, TarLongerThanOneOutputBlockEndsOnAWholeRecord) {
    CMyComPtr<CUpdateCallback> cb = new CUpdateCallback;
    std::string names;
    for (int i = 0; i < 5; i++) {
        cb->items.push_back(File("big" + std::to_string(i) + ".bin", BigData()));
        names += "big" + std::to_string(i) + ".bin\n";
    }
    std::string data;
    ASSERT_EQ(WriteWith(NewWriter(lib, "tar"), cb, data), S_OK);
    // A header and the data in 512-byte blocks per file, two zero blocks at the end, padded to the record.
    const size_t content = 5 * (512 + (BigData().size() + 511) / 512 * 512) + 1024;
    ASSERT_GT(content, size_t(1) << 20);
    EXPECT_EQ(data.size(), (content + 10239) / 10240 * 10240);
    WriteFile(tmp / "a.tar", data);
    ASSERT_EQ(Sh("tar -tf a.tar > list.txt"), 0);
    EXPECT_EQ(ReadFile(tmp / "list.txt"), names);
}

TEST_F(PluginWriteTest, LevelsMethodsAndThreadsReachTheWriter) {
    const CPropsCase cases[] = {
        {"zip",
         {},
         "/usr/bin/python3 -c \"import zipfile,sys; sys.exit(zipfile.ZipFile(sys.argv[1]).getinfo('t.txt')"
         ".compress_type != 8)\" %f"},
        {"zip",
         {Text(L"m", L"Copy")},
         "/usr/bin/python3 -c \"import zipfile,sys; "
         "sys.exit(zipfile.ZipFile(sys.argv[1]).getinfo('t.txt').compress_type != 0)\" %f"},
        {"zip",
         {Num(L"x", 0)},
         "/usr/bin/python3 -c \"import zipfile,sys; "
         "sys.exit(zipfile.ZipFile(sys.argv[1]).getinfo('t.txt').compress_type != 0)\" %f"},
        {"7z",
         {},
         "/usr/bin/python3 -c \"import py7zr,sys; "
         "sys.exit('LZMA2' not in py7zr.SevenZipFile(sys.argv[1]).archiveinfo().method_names)\" %f"},
        {"7z",
         {Text(L"0", L"BZip2"), Num(L"x", 9)},
         "/usr/bin/python3 -c \"import py7zr,sys; "
         "sys.exit('BZip2' not in py7zr.SevenZipFile(sys.argv[1]).archiveinfo().method_names)\" %f"},
        {"7z",
         {Text(L"m", L"Copy")},
         "/usr/bin/python3 -c \"import py7zr,sys; "
         "sys.exit('COPY' not in py7zr.SevenZipFile(sys.argv[1]).archiveinfo()."
         "method_names)\" %f"},
        {"bzip2", {Bare(L"x1")}, "head -c 4 %f | grep -q BZh1"},
        {"bzip2", {Num(L"x", 9)}, "head -c 4 %f | grep -q BZh9"},
        {"xz", {Num(L"x", 0)}, "xz -lvv %f | grep -q 'dict=256KiB'"},
        {"xz", {Num(L"x", 9), Num(L"mt", 2)}, "xz -t %f && xz -lvv %f | grep -q 'dict=64MiB'"},
        {"zstd", {Num(L"x", 19), Text(L"mt", L"on")}, "zstd -tq %f && zstd -lv %f | grep -q 'Window Size: 8.00 MiB'"},
        {"zstd", {Num(L"x", 1)}, "zstd -lv %f | grep -q 'Window Size: 512 KiB'"},
        {"gzip", {Num(L"x", 9), Text(L"m", L"Deflate")}, "gzip -t %f"},
    };
    for (const CPropsCase &c : cases) {
        SCOPED_TRACE(std::string(c.format) + " " + c.check);
        CMyComPtr<IOutArchive> writer = NewWriter(lib, c.format);
        ASSERT_EQ(ApplyProps(writer, c.props), S_OK);
        CMyComPtr<CUpdateCallback> cb = new CUpdateCallback;
        cb->items = {File(std::string(c.format) == "zip" || std::string(c.format) == "7z" ? "t.txt" : "", TextData())};
        std::string data;
        ASSERT_EQ(WriteWith(writer, cb, data), S_OK);
        WriteFile(tmp / "p.arc", data);
        EXPECT_EQ(Sh(Subst(c.check, tmp / "p.arc")), 0);
        const auto got = ReadBack(lib, c.format, data);
        ASSERT_EQ(got.size(), 1u);
        EXPECT_TRUE(got.begin()->second == TextData());
    }
    // A higher gzip level packs tighter.
    std::string fast, best;
    for (auto level : {std::make_pair(1u, &fast), std::make_pair(9u, &best)}) {
        CMyComPtr<IOutArchive> writer = NewWriter(lib, "gzip");
        ASSERT_EQ(ApplyProps(writer, {Num(L"x", level.first)}), S_OK);
        CMyComPtr<CUpdateCallback> cb = new CUpdateCallback;
        cb->items = {File("", TextData())};
        ASSERT_EQ(WriteWith(writer, cb, *level.second), S_OK);
    }
    EXPECT_LT(best.size(), fast.size());
}

struct CBadPropCase {
    const char *format;
    CNamedProp prop;
    HRESULT expected;
};

TEST_F(PluginWriteTest, UnknownNamesAndWrongValuesAreRefused) {
    const CBadPropCase cases[] = {
        {"zip", Text(L"x", L"fast"), E_INVALIDARG},
        {"zip", Flag(L"x", true), E_INVALIDARG},
        {"zip", Num(L"x9", 9), E_INVALIDARG},
        {"zip", Num(L"zz", 1), E_INVALIDARG},
        {"zip", Num(L"m", 5), E_INVALIDARG},
        {"zip", Text(L"m", L"Nonsense"), E_INVALIDARG},
        {"zip", Text(L"m", L"PPMd"), E_NOTIMPL},
        {"zip", Num(L"em", 256), E_INVALIDARG},
        {"zip", Text(L"em", L"Rot13"), E_INVALIDARG},
        {"zip", Text(L"d", L"64x"), E_INVALIDARG},
        {"zip", Bare(L"d"), E_INVALIDARG},
        {"7z", Text(L"he", L"maybe"), E_INVALIDARG},
        {"7z", Text(L"1", L"LZMA"), E_NOTIMPL},
        {"7z", Text(L"0", L"Deflate64"), E_NOTIMPL},
        {"tar", Text(L"m", L"LZMA"), E_INVALIDARG},
        {"gzip", Text(L"m", L"LZMA2"), E_NOTIMPL},
        {"xz", Text(L"mt", L"many"), E_INVALIDARG},
        {"zstd", Num(L"d", 20), E_INVALIDARG},
        // What the program sends and the command line allows.
        {"zip", Bare(L"x9"), S_OK},
        {"zip", Text(L"em", L"AES256"), S_OK},
        {"zip", Text(L"d", L"32768B"), S_OK},
        {"7z", Num(L"x", 12), S_OK},
        {"7z", Text(L"0", L"LZMA2:d=24"), S_OK},
        {"7z", Text(L"s", L"2g"), S_OK},
        {"7z", Flag(L"he", false), S_OK},
        {"7z", Bare(L"rsfx"), S_OK},
        {"xz", Text(L"mt", L"off"), S_OK},
        {"xz", Bare(L"mt4"), S_OK},
        {"tar", Num(L"x", 0), S_OK},
    };
    for (const CBadPropCase &c : cases) {
        SCOPED_TRACE(std::string(c.format) + " " + Utf8(c.prop.name));
        CMyComPtr<IOutArchive> writer = NewWriter(lib, c.format);
        EXPECT_EQ(ApplyProps(writer, {c.prop}), c.expected);
    }
    // What the compress dialog sends for each format.
    const std::pair<const char *, std::vector<CNamedProp>> dialogSets[] = {
        {"7z",
         {Num(L"x", 5), Text(L"0", L"LZMA2"), Text(L"0d", L"16777216B"), Num(L"0fb", 32), Text(L"em", L"AES256"),
          Text(L"he", L"off"), Text(L"s", L"68719476736B"), Num(L"mt", 8)}},
        {"zip", {Num(L"x", 5), Text(L"m", L"Deflate"), Num(L"fb", 32), Num(L"mt", 8), Text(L"em", L"ZipCrypto")}},
        {"gzip", {Num(L"x", 9), Num(L"fb", 128)}},
        {"bzip2", {Num(L"x", 9), Text(L"d", L"921600B"), Num(L"mt", 8)}},
        {"xz", {Num(L"x", 9), Text(L"d", L"67108864B"), Num(L"fb", 64), Num(L"mt", 8)}},
        {"zstd", {Num(L"x", 7)}},
    };
    for (const auto &set : dialogSets)
        EXPECT_EQ(ApplyProps(NewWriter(lib, set.first), set.second), S_OK) << set.first;
    // A failed call leaves nothing of itself behind: the zip is deflated as by default.
    CMyComPtr<IOutArchive> writer = NewWriter(lib, "zip");
    EXPECT_EQ(ApplyProps(writer, {Text(L"m", L"Copy"), Num(L"zz", 1)}), E_INVALIDARG);
    CMyComPtr<CUpdateCallback> cb = new CUpdateCallback;
    cb->items = {File("t.txt", TextData())};
    std::string data;
    ASSERT_EQ(WriteWith(writer, cb, data), S_OK);
    EXPECT_LT(data.size(), TextData().size() / 4);
}

struct CUpdateCase {
    const char *format;
    const char *file;
    const char *makeOld; // run in "old" holding keep.txt, old.txt, gone.txt, change.txt, d/inner.txt
    const char *extract; // as in kWritable
};

TEST_F(PluginWriteTest, UpdatesKeepRenameDeleteReplaceAndAdd) {
    const CUpdateCase cases[] = {
        {"7z", "u.7z",
         "/usr/bin/python3 -c \"import py7zr,os,sys; z=py7zr.SevenZipFile(sys.argv[1],'w'); "
         "[z.write(p) for p in ['keep.txt','old.txt','gone.txt','change.txt','d','d/inner.txt']]; z.close()\" %f",
         "/usr/bin/python3 -c \"import py7zr,sys; py7zr.SevenZipFile(sys.argv[1]).extractall('out')\" %f"},
        {"zip", "u.zip", "zip -qr %f keep.txt old.txt gone.txt change.txt d", "unzip -q %f -d out"},
        {"tar", "u.tar", "tar -cf %f keep.txt old.txt gone.txt change.txt d", "mkdir out && tar -xf %f -C out"},
    };
    const std::map<std::string, std::string> oldTree = {{"keep.txt", "kept\n"},
                                                        {"old.txt", "renamed\n"},
                                                        {"gone.txt", "deleted\n"},
                                                        {"change.txt", "before\n"},
                                                        {"d", "/"},
                                                        {"d/inner.txt", "inner\n"}};
    for (const CUpdateCase &c : cases) {
        SCOPED_TRACE(c.format);
        Sh("rm -rf old out src");
        MakeTree(tmp / "old", oldTree);
        ASSERT_EQ(
            NPluginTest::Run("cd '" + tmp / "old" + "' && (" + Subst(c.makeOld, tmp / c.file) + ") >/dev/null 2>&1"),
            0);
        HRESULT res;
        CMyComPtr<IInArchive> arc = OpenArchive(lib, c.format, ReadFile(tmp / c.file), &res);
        ASSERT_EQ(res, S_OK);
        std::map<std::string, UInt32> index;
        for (UInt32 i = 0; i < NumItems(arc); i++)
            index[Utf8(ItemPath(arc, i))] = i;
        ASSERT_EQ(index.size(), 6u);

        CMyComPtr<CUpdateCallback> cb = new CUpdateCallback;
        CTestItem renamed = Kept(index["old.txt"]);
        renamed.newProps = true;
        renamed.path = "renamed.txt";
        CTestItem replaced = File("change.txt", "after, and longer\n");
        replaced.indexInArchive = index["change.txt"];
        CTestItem anti = File("gone.txt", "");
        anti.isAnti = true;
        cb->items = {Kept(index["keep.txt"]),
                     renamed,
                     Kept(index["d"]),
                     Kept(index["d/inner.txt"]),
                     replaced,
                     anti,
                     Folder("new"),
                     File("new/added.txt", "added\n")};
        CMyComPtr<IOutArchive> writer;
        ASSERT_EQ(arc->QueryInterface(IID_IOutArchive, reinterpret_cast<void **>(&writer)), S_OK);
        std::string data;
        ASSERT_EQ(WriteWith(writer, cb, data), S_OK);
        EXPECT_EQ(cb->replicated.size(), 4u);
        EXPECT_EQ(std::count(cb->streamsAsked.begin(), cb->streamsAsked.end(), 5u), 0) << "anti item read";

        const std::map<std::string, std::string> expected = {
            {"keep.txt", "kept\n"},      {"renamed.txt", "renamed\n"},          {"d", "/"},
            {"d/inner.txt", "inner\n"},  {"change.txt", "after, and longer\n"}, {"new", "/"},
            {"new/added.txt", "added\n"}};
        EXPECT_TRUE(ReadBack(lib, c.format, data) == expected);
        WriteFile(tmp / c.file, data);
        EXPECT_EQ(Sh(Subst(c.extract, tmp / c.file)), 0);
        MakeTree(tmp / "src", expected);
        EXPECT_EQ(Sh("diff -r src out"), 0);
    }
}

TEST_F(PluginWriteTest, SingleStreamUpdateRecompressesTheKeptItem) {
    ASSERT_EQ(Sh("printf 'old content\\n' > s && xz -k s && rm s"), 0);
    CMyComPtr<IInArchive> arc;
    CMyComPtr<IOutArchive> writer;
    ASSERT_NO_FATAL_FAILURE(OpenForUpdate("xz", "s.xz", arc, writer));
    ASSERT_EQ(ApplyProps(writer, {Num(L"x", 9)}), S_OK);
    CMyComPtr<CUpdateCallback> cb = new CUpdateCallback;
    cb->items = {Kept(0)};
    std::string data;
    ASSERT_EQ(WriteWith(writer, cb, data), S_OK);
    const auto got = ReadBack(lib, "xz", data);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got.begin()->second, "old content\n");
    // More than one item does not fit a single stream.
    cb->items = {File("", "a"), File("", "b")};
    EXPECT_EQ(WriteWith(NewWriter(lib, "gzip"), cb, data), E_INVALIDARG);
}

TEST_F(PluginWriteTest, SkippedStreamsLeaveTheirItemOut) {
    for (const char *format : {"zip", "tar", "7z"}) {
        SCOPED_TRACE(format);
        CMyComPtr<CUpdateCallback> cb = new CUpdateCallback;
        CTestItem skipped = File("skipped.txt", "not there");
        skipped.stream = CTestItem::kSkip;
        CTestItem none = File("none.txt", "not there either");
        none.stream = CTestItem::kNull;
        cb->items = {File("a.txt", "a\n"), skipped, none, File("b.txt", "b\n")};
        std::string data;
        ASSERT_EQ(WriteWith(NewWriter(lib, format), cb, data), S_OK);
        const std::map<std::string, std::string> expected = {{"a.txt", "a\n"}, {"b.txt", "b\n"}};
        EXPECT_TRUE(ReadBack(lib, format, data) == expected);
        EXPECT_EQ(cb->results.size(), 2u);
    }
}

TEST_F(PluginWriteTest, DataThatChangedSizeKeepsTheGivenSizeAndIsReported) {
    using NArchive::NUpdate::NOperationResult::kError;
    using NArchive::NUpdate::NOperationResult::kOK;
    struct CCase {
        long long declared;
        std::string stored;
        Int32 result;
    } cases[] = {{6, "abcdef", kOK}, {3, "abc", kError}, {8, std::string("abcdef\0\0", 8), kError}};
    for (const CCase &c : cases) {
        SCOPED_TRACE(c.declared);
        CMyComPtr<CUpdateCallback> cb = new CUpdateCallback;
        CTestItem item = File("f", "abcdef");
        item.declaredSize = c.declared;
        cb->items = {item, File("g", "after\n")};
        std::string data;
        ASSERT_EQ(WriteWith(NewWriter(lib, "tar"), cb, data), S_OK);
        const std::map<std::string, std::string> expected = {{"f", c.stored}, {"g", "after\n"}};
        EXPECT_TRUE(ReadBack(lib, "tar", data) == expected);
        EXPECT_EQ(cb->results, (std::vector<Int32>{c.result, kOK}));
    }
}

TEST_F(PluginWriteTest, AFailingCallbackEndsTheWriteWithItsResult) {
    struct CCase {
        const char *format;
        int failingItem;        // GetStream fails for this item, -1 none
        int abortAfterProgress; // SetCompleted fails after this many calls, -1 never
    };
    const CCase cases[] = {{"zip", 1, -1}, {"7z", 1, -1}, {"tar", -1, 0}, {"xz", -1, 0}, {"zip", -1, 1}};
    for (const CCase &c : cases) {
        SCOPED_TRACE(std::string(c.format) + " " + std::to_string(c.failingItem) + " " +
                     std::to_string(c.abortAfterProgress));
        CMyComPtr<CUpdateCallback> cb = new CUpdateCallback;
        if (std::string(c.format) == "xz") {
            cb->items = {File("", BigData())};
        } else {
            cb->items = {File("a.bin", BigData()), File("b.bin", BigData()), File("c.bin", "c")};
        }
        if (c.failingItem >= 0) cb->items[static_cast<size_t>(c.failingItem)].stream = CTestItem::kFail;
        cb->abortAfterCompleted = c.abortAfterProgress;
        std::string data;
        EXPECT_EQ(WriteWith(NewWriter(lib, c.format), cb, data), E_ABORT);
        // Nothing is asked after the failure.
        if (c.failingItem >= 0) {
            EXPECT_EQ(cb->streamsAsked.back(), static_cast<UInt32>(c.failingItem));
        }
    }
}

TEST_F(PluginWriteTest, EncryptedZipsOpenWithTheirPasswordOnly) {
    struct CCase {
        const wchar_t *method; // the "em" value, null for the default
        const char *extract;   // with the right password, into "out"
        const char *wrong;     // with a wrong password; must fail
    };
    const CCase cases[] = {
        {nullptr, "unzip -q -P 'pass wörd' %f -d out", "unzip -tq -P wrong %f"},
        {L"ZipCrypto", "unzip -q -P 'pass wörd' %f -d out", "unzip -tq -P wrong %f"},
        {L"AES256", "mkdir out && bsdtar --passphrase 'pass wörd' -xf %f -C out",
         "mkdir -p w && bsdtar --passphrase wrong -xf %f -C w"},
    };
    for (const CCase &c : cases) {
        SCOPED_TRACE(c.extract);
        CMyComPtr<IOutArchive> writer = NewWriter(lib, "zip");
        if (c.method) {
            ASSERT_EQ(ApplyProps(writer, {Text(L"em", c.method)}), S_OK);
        }
        CMyComPtr<CUpdateCallback> cb = new CUpdateCallback;
        cb->items = {File("secret.txt", "very secret text\n"), Folder("d"), File("d/big.bin", BigData())};
        cb->writePasswordDefined = true;
        cb->writePassword = L"pass wörd";
        std::string data;
        ASSERT_EQ(WriteWith(writer, cb, data), S_OK);
        EXPECT_EQ(data.find("very secret"), std::string::npos);
        Sh("rm -rf out w src");
        WriteFile(tmp / "e.zip", data);
        EXPECT_EQ(Sh(Subst("/usr/bin/python3 -c \"import zipfile,sys; "
                           "sys.exit(not zipfile.ZipFile(sys.argv[1]).getinfo('secret.txt').flag_bits & 1)\" %f",
                           tmp / "e.zip")),
                  0);
        EXPECT_EQ(Sh(Subst(c.extract, tmp / "e.zip")), 0);
        EXPECT_NE(Sh(Subst(c.wrong, tmp / "e.zip")), 0);
        MakeTree(tmp / "src", Expected(cb->items));
        EXPECT_EQ(Sh("diff -r src out"), 0);
        EXPECT_TRUE(ReadBack(lib, "zip", data, L"pass wörd") == Expected(cb->items));
    }
}

TEST_F(PluginWriteTest, ZipUpdatesWriteWithTheChosenMethodAndLevel) {
    WriteFile(tmp / "kept.txt", TextData());
    ASSERT_EQ(Sh("mkdir d && printf 'inner\\n' > d/inner.txt && zip -q9r old.zip kept.txt d"), 0);
    struct CCase {
        const char *name;
        std::vector<CNamedProp> props;
        int method; // of every new file; the kept ones are copied as they were
    };
    const CCase cases[] = {
        {"default", {}, 8},
        {"m=Copy", {Text(L"m", L"Copy")}, 0},
        {"m=store", {Text(L"m", L"store")}, 0},
        {"x=0", {Num(L"x", 0)}, 0},
        {"x0", {Bare(L"x0")}, 0},
        {"m=Copy x=9", {Text(L"m", L"Copy"), Num(L"x", 9)}, 0},
        {"x=9", {Text(L"m", L"Deflate"), Num(L"x", 9)}, 8},
        {"x=1", {Num(L"x", 1)}, 8},
    };
    const char *methodCheck = "/usr/bin/python3 -c \"import zipfile,sys; z=zipfile.ZipFile(sys.argv[1]); "
                              "sys.exit(any(i.compress_type != int(sys.argv[2]) for i in z.infolist() "
                              "if not i.is_dir() and i.filename.startswith('n')))\" %f ";
    std::map<std::string, size_t> sizeOf;
    for (const CCase &c : cases) {
        SCOPED_TRACE(c.name);
        CMyComPtr<IInArchive> arc;
        CMyComPtr<IOutArchive> writer;
        ASSERT_NO_FATAL_FAILURE(OpenForUpdate("zip", "old.zip", arc, writer));
        std::map<std::string, UInt32> index;
        for (UInt32 i = 0; i < NumItems(arc); i++)
            index[Utf8(ItemPath(arc, i))] = i;
        ASSERT_EQ(index.size(), 3u);
        ASSERT_EQ(ApplyProps(writer, c.props), S_OK);
        CMyComPtr<CUpdateCallback> cb = new CUpdateCallback;
        cb->items = {Kept(index["kept.txt"]),     Kept(index["d"]), Kept(index["d/inner.txt"]),
                     File("new.txt", TextData()), Folder("n"),      File("n/big.bin", BigData())};
        std::string data;
        ASSERT_EQ(WriteWith(writer, cb, data), S_OK);
        EXPECT_EQ(cb->replicated.size(), 3u);
        sizeOf[c.name] = data.size();
        WriteFile(tmp / "n.zip", data);
        EXPECT_EQ(Sh(Subst(methodCheck, tmp / "n.zip") + std::to_string(c.method)), 0);
        EXPECT_EQ(Sh("unzip -tq n.zip"), 0);
        const std::map<std::string, std::string> expected = {
            {"kept.txt", TextData()}, {"d", "/"}, {"d/inner.txt", "inner\n"},
            {"new.txt", TextData()},  {"n", "/"}, {"n/big.bin", BigData()}};
        EXPECT_TRUE(ReadBack(lib, "zip", data) == expected);
    }
    EXPECT_LT(sizeOf["x=9"], sizeOf["x=1"]);
    EXPECT_LT(sizeOf["x=1"], sizeOf["m=Copy"]);
}

TEST_F(PluginWriteTest, SingleStreamUpdatesTakeTheLevel) {
    WriteFile(tmp / "s.txt", TextData());
    ASSERT_EQ(Sh("tar -cf t.tar s.txt && gzip -k9 t.tar && bzip2 -k1 t.tar"), 0);
    struct CCase {
        const char *format;
        const char *file;
        UInt32 level;
        const char *check; // of the new archive %f
    };
    // gzip's header names the fastest and the best level; bzip2's its block size.
    const CCase cases[] = {
        {"gzip", "t.tar.gz", 1, "gzip -t %f && test \"$(od -An -tu1 -j8 -N1 %f | tr -d ' ')\" = 4"},
        {"gzip", "t.tar.gz", 9, "gzip -t %f && test \"$(od -An -tu1 -j8 -N1 %f | tr -d ' ')\" = 2"},
        {"bzip2", "t.tar.bz2", 9, "bzip2 -t %f && head -c 4 %f | grep -q BZh9"},
        {"bzip2", "t.tar.bz2", 1, "bzip2 -t %f && head -c 4 %f | grep -q BZh1"},
    };
    const std::string tar = ReadFile(tmp / "t.tar");
    for (const CCase &c : cases) {
        for (bool keep : {true, false}) {
            SCOPED_TRACE(std::string(c.format) + " x" + std::to_string(c.level) + (keep ? " kept" : " replaced"));
            CMyComPtr<IInArchive> arc;
            CMyComPtr<IOutArchive> writer;
            ASSERT_NO_FATAL_FAILURE(OpenForUpdate(c.format, c.file, arc, writer));
            ASSERT_EQ(ApplyProps(writer, {Num(L"x", c.level)}), S_OK);
            CMyComPtr<CUpdateCallback> cb = new CUpdateCallback;
            CTestItem replaced = File("", tar);
            replaced.indexInArchive = 0;
            cb->items = {keep ? Kept(0) : replaced};
            std::string data;
            ASSERT_EQ(WriteWith(writer, cb, data), S_OK);
            WriteFile(tmp / "new.arc", data);
            EXPECT_EQ(Sh(Subst(c.check, tmp / "new.arc")), 0) << c.check;
            const auto got = ReadBack(lib, c.format, data);
            ASSERT_EQ(got.size(), 1u);
            EXPECT_TRUE(got.begin()->second == tar);
        }
    }
}

// gzip on several threads: each block is primed with the 32 KiB before it, and the blocks join
// into one stream that gzip reads back byte for byte, whatever the size against the block size.
TEST_F(PluginWriteTest, ParallelGzipJoinsPrimedBlocksIntoOneStream) {
    // 16 KiB of noise repeated: a block not primed with the data before it pays for the noise again
    // (about 20 times 16 KiB here).
    std::string noise;
    unsigned x = 7;
    for (int i = 0; i < (16 << 10); i++) {
        x = x * 1103515245u + 12345u;
        noise += static_cast<char>(x >> 24);
    }
    std::string repeated;
    while (repeated.size() < (5u << 20) / 2)
        repeated += noise;
    const size_t kBlock = 128 << 10;
    struct CCase {
        const char *name;
        std::string data;
        UInt32 level;
    };
    const CCase cases[] = {
        {"empty", "", 6},
        {"one byte", "x", 6},
        {"one block", repeated.substr(0, kBlock), 6},
        {"a block and a byte", repeated.substr(0, kBlock + 1), 1},
        {"whole blocks", repeated.substr(0, 5 * kBlock), 9},
        {"many blocks", repeated, 6},
        {"text", TextData() + BigData(), 6},
    };
    for (const CCase &c : cases) {
        SCOPED_TRACE(c.name);
        CMyComPtr<IOutArchive> writer = NewWriter(lib, "gzip");
        ASSERT_EQ(ApplyProps(writer, {Num(L"x", c.level), Num(L"mt", 4)}), S_OK);
        CMyComPtr<CUpdateCallback> cb = new CUpdateCallback;
        cb->items = {File("", c.data)};
        std::string data;
        ASSERT_EQ(WriteWith(writer, cb, data), S_OK);
        WriteFile(tmp / "p.gz", data);
        WriteFile(tmp / "expected", c.data);
        EXPECT_EQ(Sh("gzip -t p.gz && gzip -dc p.gz | cmp - expected"), 0);
        // The header names the fastest and the best level, as gzip's own does.
        ASSERT_GE(data.size(), 18u);
        EXPECT_EQ(static_cast<int>(static_cast<Byte>(data[8])), c.level == 9 ? 2 : c.level == 1 ? 4 : 0);
        if (c.data == repeated) {
            EXPECT_LT(data.size(), 4 * noise.size()) << "blocks were not primed";
        }
    }
}

// A new zip is written straight out: entries larger than one compression job get their sizes in a
// data descriptor (this output cannot seek), an entry of unknown size gets zip64 sizes, a UTF-8 name
// its flag, and more than 65535 entries the zip64 end records. Debian's readers and the plug-in
// read every byte back.
TEST_F(PluginWriteTest, NewZipsWrittenStraightOutReadInDebianTools) {
    std::string big;
    while (big.size() < (3u << 20))
        big += BigData();
    CTestItem unsized = File("unsized.bin", big.substr(0, (2u << 20) + 5));
    unsized.sizeKnown = false;
    CMyComPtr<CUpdateCallback> cb = new CUpdateCallback;
    cb->items = {Folder("d"), File("d/big.bin", big), unsized, File("\xe4\xb8\xad\xe6\x96\x87.txt", TextData()),
                 File("empty", "")};
    CMyComPtr<IOutArchive> writer = NewWriter(lib, "zip");
    ASSERT_EQ(ApplyProps(writer, {Num(L"mt", 4)}), S_OK);
    std::string data;
    ASSERT_EQ(WriteWith(writer, cb, data), S_OK);
    WriteFile(tmp / "n.zip", data);
    const std::map<std::string, std::string> expected = Expected(cb->items);
    EXPECT_TRUE(ReadBack(lib, "zip", data) == expected);
    EXPECT_EQ(Sh("unzip -tq n.zip"), 0);
    const std::string py =
        "/usr/bin/python3 -c \"import zipfile,sys\nz=zipfile.ZipFile(sys.argv[1])\n"
        "i={x.filename: x for x in z.infolist()}\nassert z.testzip() is None\n"
        "assert i['d/big.bin'].flag_bits & 8 and i['d/big.bin'].file_size == " +
        std::to_string(big.size()) +
        "\nassert i['\u4e2d\u6587.txt'].flag_bits & 0x800\n"
        "assert sorted(i) == ['d/', 'd/big.bin', 'empty', 'unsized.bin', '\u4e2d\u6587.txt'], sorted(i)\" ";
    EXPECT_EQ(Sh(py + "n.zip"), 0);

    cb = new CUpdateCallback;
    for (int i = 0; i < 66000; i++)
        cb->items.push_back(File("f" + std::to_string(i), std::to_string(i)));
    ASSERT_EQ(WriteWith(NewWriter(lib, "zip"), cb, data), S_OK);
    WriteFile(tmp / "many.zip", data);
    EXPECT_EQ(Sh("/usr/bin/python3 -c \"import zipfile,sys\nz=zipfile.ZipFile(sys.argv[1])\nassert len(z.infolist()) "
                 "== 66000\nassert z.read('f65999') == b'65999'\" many.zip"),
              0);
    EXPECT_EQ(Sh("unzip -tq many.zip"), 0);
}

// Every method and cipher the compress dialog offers for zip, written with several threads, checked
// by Debian's readers: unzip and Python where they know the method and cipher, bsdtar for all.
TEST_F(PluginWriteTest, ZipMethodsAndCiphersReadInDebianTools) {
    const std::string pyTest = "/usr/bin/python3 -c \"import zipfile,sys; z=zipfile.ZipFile(sys.argv[1]); "
                               "z.setpassword(b'pw'); sys.exit(z.testzip() is not None)\" %f";
    const std::string pyAes = "/usr/bin/python3 -c \"import zipfile,sys; z=zipfile.ZipFile(sys.argv[1]); "
                              "sys.exit(any(i.compress_type != 99 for i in z.infolist() if not i.is_dir()))\" %f";
    const std::string bsdtar = "mkdir out && bsdtar --passphrase pw -xf %f -C out";
    struct CCase {
        const wchar_t *method;
        const wchar_t *cipher; // null: no password
        int methodId;
        std::string check;
    };
    const CCase cases[] = {
        {L"Deflate", nullptr, 8, "unzip -tq %f && " + pyTest + " && " + bsdtar},
        {L"Copy", nullptr, 0, "unzip -tq %f && " + pyTest + " && " + bsdtar},
        {L"BZip2", nullptr, 12, "unzip -tq %f && " + pyTest + " && " + bsdtar},
        {L"LZMA", nullptr, 14, pyTest + " && " + bsdtar},
        {L"Deflate", L"ZipCrypto", 8, "unzip -P pw -tq %f && " + pyTest + " && " + bsdtar},
        // bsdtar reads BZip2 in clear only.
        {L"BZip2", L"ZipCrypto", 12, "unzip -P pw -tq %f && " + pyTest + " && unzip -P pw -q %f -d out"},
        {L"Deflate", L"AES128", 99, pyAes + " && " + bsdtar},
        {L"Deflate", L"AES192", 99, pyAes + " && " + bsdtar},
        {L"Deflate", L"AES256", 99, pyAes + " && " + bsdtar},
        {L"BZip2", L"AES256", 99, pyAes},
    };
    // Large enough to be cut into several blocks that the threads share.
    std::string large;
    while (large.size() < (3u << 20))
        large += TextData() + BigData();
    for (const CCase &c : cases) {
        SCOPED_TRACE(Utf8(c.method) + " " + (c.cipher ? Utf8(c.cipher) : "plain"));
        CMyComPtr<IOutArchive> writer = NewWriter(lib, "zip");
        std::vector<CNamedProp> props = {Text(L"m", c.method), Num(L"mt", 4)};
        if (c.cipher) props.push_back(Text(L"em", c.cipher));
        ASSERT_EQ(ApplyProps(writer, props), S_OK);
        CMyComPtr<CUpdateCallback> cb = new CUpdateCallback;
        cb->items = {File("t.txt", TextData()), Folder("d"), File("d/large.bin", large), File("d/empty", ""),
                     File("中文.txt", "chinese\n")};
        cb->writePasswordDefined = c.cipher != nullptr;
        cb->writePassword = L"pw";
        std::string data;
        ASSERT_EQ(WriteWith(writer, cb, data), S_OK);
        Sh("rm -rf out src");
        MakeTree(tmp / "src", Expected(cb->items));
        WriteFile(tmp / "m.zip", data);
        EXPECT_EQ(Sh(Subst(c.check, tmp / "m.zip")), 0) << c.check;
        EXPECT_EQ(Sh(Subst("/usr/bin/python3 -c \"import zipfile,sys; z=zipfile.ZipFile(sys.argv[1]); "
                           "sys.exit(any(i.compress_type != int(sys.argv[2]) or bool(i.flag_bits & 1) != (sys.argv[3] "
                           "== '1') for i in z.infolist() if not i.is_dir()))\" %f ",
                           tmp / "m.zip") +
                     std::to_string(c.methodId) + (c.cipher ? " 1" : " 0")),
                  0);
        EXPECT_EQ(Sh("test ! -d out || diff -r src out"), 0);
        EXPECT_TRUE(ReadBack(lib, "zip", data, c.cipher ? L"pw" : L"") == Expected(cb->items));
    }
}

// An update of a zip whose entries are encrypted differently: each kept entry is copied byte for
// byte (no password is asked, nothing is decoded), a rename touches only the name, and the new entry
// gets the new password and cipher.
TEST_F(PluginWriteTest, ZipUpdateCopiesKeptEntriesAsTheyAre) {
    ASSERT_EQ(Sh("printf 'aes data\\n' > aes.txt && printf 'zipcrypto data\\n' > zc.txt && "
                 "printf 'plain data\\n' > plain.txt && "
                 "bsdtar --format zip --options zip:encryption=aes256 --passphrase aespw -cf mixed.zip aes.txt && "
                 "zip -q -P zcpw mixed.zip zc.txt && zip -q mixed.zip plain.txt"),
              0);
    // name, encrypted flag, method and a digest of the compressed bytes of every entry.
    const std::string raw = "/usr/bin/python3 -c \"import zipfile,sys,struct,hashlib\n"
                            "p=sys.argv[1]; z=zipfile.ZipFile(p); f=open(p,'rb')\n"
                            "for i in z.infolist():\n"
                            "  f.seek(i.header_offset+26); n,e=struct.unpack('<HH',f.read(4)); f.seek(n+e,1)\n"
                            "  print(i.filename, i.flag_bits&1, i.compress_type, "
                            "hashlib.sha1(f.read(i.compress_size)).hexdigest())\" %f";
    ASSERT_EQ(Sh(Subst(raw, tmp / "mixed.zip") + " > before.txt"), 0);

    CMyComPtr<IInArchive> arc;
    CMyComPtr<IOutArchive> writer;
    ASSERT_NO_FATAL_FAILURE(OpenForUpdate("zip", "mixed.zip", arc, writer));
    ASSERT_EQ(ApplyProps(writer, {Text(L"em", L"AES128")}), S_OK);
    std::map<std::string, UInt32> index;
    for (UInt32 i = 0; i < NumItems(arc); i++)
        index[Utf8(ItemPath(arc, i))] = i;
    ASSERT_EQ(index.size(), 3u);
    CMyComPtr<CUpdateCallback> cb = new CUpdateCallback;
    CTestItem renamed = Kept(index["plain.txt"]);
    renamed.newProps = true;
    renamed.path = "renamed.txt";
    cb->items = {Kept(index["aes.txt"]), Kept(index["zc.txt"]), renamed, File("new.txt", "new data\n")};
    cb->writePasswordDefined = true;
    cb->writePassword = L"newpw";
    std::string data;
    ASSERT_EQ(WriteWith(writer, cb, data), S_OK);
    EXPECT_EQ(cb->readPasswordRequests, 0);
    EXPECT_EQ(cb->replicated.size(), 3u);
    WriteFile(tmp / "n.zip", data);
    ASSERT_EQ(Sh(Subst(raw, tmp / "n.zip") + " > after.txt"), 0);
    const std::string after = ReadFile(tmp / "after.txt");
    std::string before = ReadFile(tmp / "before.txt");
    before.replace(before.find("plain.txt"), 9, "renamed.txt");
    EXPECT_EQ(after.substr(0, before.size()), before);
    EXPECT_EQ(after.substr(before.size(), 11), "new.txt 1 9"); // AES shows as method 99
    // Each entry opens with its own password.
    const struct {
        const char *name;
        const wchar_t *password;
        const char *data;
    } entries[] = {{"aes.txt", L"aespw", "aes data\n"},
                   {"zc.txt", L"zcpw", "zipcrypto data\n"},
                   {"renamed.txt", L"", "plain data\n"},
                   {"new.txt", L"newpw", "new data\n"}};
    for (const auto &e : entries) {
        SCOPED_TRACE(e.name);
        HRESULT res;
        CMyComPtr<IInArchive> back = OpenArchive(lib, "zip", data, &res);
        ASSERT_EQ(res, S_OK);
        UInt32 i = 0;
        while (i < NumItems(back) && Utf8(ItemPath(back, i)) != e.name)
            i++;
        ASSERT_LT(i, NumItems(back));
        CExtractCallback *ecb = new CExtractCallback;
        CMyComPtr<IArchiveExtractCallback> ref = ecb;
        ecb->answer = EPasswordAnswer::kGive;
        ecb->password = e.password;
        const std::vector<UInt32> one = {i};
        ExtractItems(back, &one, false, &res, ecb);
        EXPECT_EQ(res, S_OK);
        EXPECT_EQ(ecb->items[i].opRes, 0);
        EXPECT_EQ(ecb->items[i].data, e.data);
    }
    EXPECT_EQ(Sh("bsdtar --passphrase newpw -xOf n.zip new.txt | grep -q 'new data'"), 0);
}

// A zip behind a program, its offsets counting from the zip or (zip -A) from the whole file, handed
// over whole or from the zip's start: an update keeps what is in front and copies the entries.
TEST_F(PluginWriteTest, ZipBehindAStubIsUpdated) {
    ASSERT_EQ(Sh("head -c 5000 /bin/ls > stub && printf 'kept\\n' > k.txt && zip -q in.zip k.txt && "
                 "cat stub in.zip > plain.zip && cat stub in.zip > fixed.zip && zip -qA fixed.zip"),
              0);
    const std::string stub = ReadFile(tmp / "stub");
    for (const char *name : {"plain.zip", "fixed.zip"}) {
        for (bool whole : {true, false}) {
            SCOPED_TRACE(std::string(name) + (whole ? " whole" : " from the zip"));
            const std::string file = ReadFile(tmp / name);
            HRESULT res;
            CMyComPtr<IInArchive> arc = OpenArchive(lib, "zip", whole ? file : file.substr(stub.size()), &res);
            ASSERT_EQ(res, S_OK);
            ASSERT_EQ(NumItems(arc), 1u);
            CMyComPtr<IOutArchive> writer;
            ASSERT_EQ(arc->QueryInterface(IID_IOutArchive, reinterpret_cast<void **>(&writer)), S_OK);
            CMyComPtr<CUpdateCallback> cb = new CUpdateCallback;
            cb->items = {Kept(0), File("new.txt", "new\n")};
            std::string data;
            ASSERT_EQ(WriteWith(writer, cb, data), S_OK);
            // Handed over whole, the program stays in front; else the engine puts it back.
            EXPECT_EQ(data.compare(0, stub.size(), stub) == 0, whole);
            WriteFile(tmp / "n.zip", whole ? data : stub + data);
            // unzip warns (1) of bytes in front that the offsets do not count, as it does for the old one.
            EXPECT_EQ(Sh("unzip -tq n.zip; test $? -le 1 && unzip -p n.zip new.txt | grep -q new"), 0);
            const std::map<std::string, std::string> expected = {{"k.txt", "kept\n"}, {"new.txt", "new\n"}};
            EXPECT_TRUE(ReadBack(lib, "zip", whole ? data : stub + data) == expected);
        }
    }
}

// Several threads and small dictionaries, so that the data is cut into blocks coded at the same
// time: Debian's tools read the bytes back exactly, the progress climbs to the input size and the
// packed sizes reported end at what was written. One small block is coded without threads.
TEST_F(PluginWriteTest, ParallelBlocksReadBackExactlyAndProgressCountsCodedBytes) {
    std::string mixed;
    for (int i = 0; i < 4; i++)
        mixed += TextData() + BigData();
    struct CCase {
        const char *format;
        const char *file;
        std::vector<CNamedProp> props;
        std::string data;
        const char *check; // leaves the content in out.bin
    };
    const char *py7zr = "/usr/bin/python3 -c \"import py7zr,sys; z=py7zr.SevenZipFile(sys.argv[1]); "
                        "sys.exit(0 if z.testzip() is None else 1)\" %f && bsdtar -xOf %f > out.bin";
    const CCase cases[] = {
        {"7z", "p.7z", {Num(L"x", 5), Text(L"d", L"1m"), Num(L"mt", 4)}, mixed, py7zr},
        {"7z", "b.7z", {Text(L"m", L"BZip2"), Num(L"mt", 4)}, mixed, py7zr},
        {"xz", "p.xz", {Num(L"x", 1), Num(L"mt", 4)}, mixed, "xz -t %f && xz -dc %f > out.bin"},
        {"xz", "small.xz", {Num(L"x", 1), Num(L"mt", 4)}, TextData(), "xz -t %f && xz -dc %f > out.bin"},
        {"xz", "empty.xz", {Num(L"mt", 4)}, std::string(), "xz -t %f && xz -dc %f > out.bin"},
        {"bzip2", "p.bz2", {Num(L"x", 1), Num(L"mt", 4)}, mixed, "bzip2 -t %f && bzip2 -dc %f > out.bin"},
        {"zstd", "p.zst", {Num(L"x", 1), Num(L"mt", 4)}, mixed, "zstd -qt %f && zstd -qdc %f > out.bin"},
        {"zstd", "empty.zst", {Num(L"mt", 4)}, std::string(), "zstd -qt %f && zstd -qdc %f > out.bin"},
    };
    for (const CCase &c : cases) {
        SCOPED_TRACE(c.file);
        CMyComPtr<IOutArchive> writer = NewWriter(lib, c.format);
        ASSERT_EQ(ApplyProps(writer, c.props), S_OK);
        CMyComPtr<CUpdateCallback> cb = new CUpdateCallback;
        cb->items = {File(std::string(c.format) == "7z" ? "data.bin" : "", c.data)};
        std::string data;
        ASSERT_EQ(WriteWith(writer, cb, data), S_OK);
        WriteFile(tmp / c.file, data);
        Sh("rm -f out.bin");
        EXPECT_EQ(Sh(Subst(c.check, c.file)), 0);
        EXPECT_TRUE(ReadFile(tmp / "out.bin") == c.data);

        ASSERT_FALSE(cb->completed.empty());
        EXPECT_TRUE(std::is_sorted(cb->completed.begin(), cb->completed.end()));
        EXPECT_EQ(cb->completed.back(), c.data.size());
        ASSERT_FALSE(cb->ratio.empty());
        for (size_t i = 1; i < cb->ratio.size(); i++) {
            EXPECT_LE(cb->ratio[i - 1].first, cb->ratio[i].first);
            EXPECT_LE(cb->ratio[i - 1].second, cb->ratio[i].second);
        }
        EXPECT_EQ(cb->ratio.back().first, c.data.size());
        EXPECT_LE(cb->ratio.back().second, data.size());
        if (c.data.size() > 1000000) {
            // Packed sizes come block by block, not only at the end.
            EXPECT_GT(cb->ratio.back().second, data.size() / 2);
            size_t distinct = 0;
            for (size_t i = 0; i < cb->ratio.size(); i++)
                distinct += i == 0 || cb->ratio[i].second != cb->ratio[i - 1].second;
            EXPECT_GE(distinct, 3u);
        }
    }
}
