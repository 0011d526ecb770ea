#include "archive/ui-common/HashCalc.h"

#include "archive/codecs_fixture.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <string>
#include <vector>

using testsupport::A;
using testsupport::TempFolder;
using testsupport::W;
using testsupport::WriteFile;

namespace {

std::string RunCapture(const std::string &cmd) {
    std::string out = testsupport::Shell(cmd);
    while (!out.empty() && (out.back() == '\n' || out.back() == ' '))
        out.pop_back();
    return out;
}

std::string Upper(std::string s) {
    for (char &c : s)
        c = (char)toupper((unsigned char)c);
    return s;
}

std::string Hex(const CHasherState &h, unsigned group) {
    char s[k_HashCalc_DigestSize_Max * 2 + 1];
    AddHashHexToString(s, h.Digests[group], h.DigestSize);
    return s;
}

struct CItemRecord {
    std::string path;
    bool isFolder;
    UInt64 size;
    std::map<std::string, std::string> digests; // method name -> current digest text
};

struct CRecordingHashCallback : public IHashCallbackUI {
    std::vector<CItemRecord> items;
    std::vector<std::string> openErrors;
    std::vector<std::string> events;
    std::map<std::string, std::vector<std::string>> sums; // method -> {data, names, streams}
    std::string deleteOnFinishScanning;

    HRESULT ScanError(const UString &path, DWORD) override {
        events.push_back("ScanError " + A(path));
        return S_OK;
    }
    HRESULT ScanProgress(const CDirItemsStat &, const UString &, bool) override { return S_OK; }
    HRESULT StartScanning() override {
        events.push_back("StartScanning");
        return S_OK;
    }
    HRESULT FinishScanning(const CDirItemsStat &) override {
        events.push_back("FinishScanning");
        if (!deleteOnFinishScanning.empty()) unlink(deleteOnFinishScanning.c_str());
        return S_OK;
    }
    HRESULT SetNumFiles(UInt64 n) override {
        events.push_back("SetNumFiles " + std::to_string(n));
        return S_OK;
    }
    HRESULT SetTotal(UInt64 n) override {
        events.push_back("SetTotal " + std::to_string(n));
        return S_OK;
    }
    HRESULT SetCompleted(const UInt64 *) override { return S_OK; }
    HRESULT CheckBreak() override { return S_OK; }
    HRESULT BeforeFirstFile(const CHashBundle &) override {
        events.push_back("BeforeFirstFile");
        return S_OK;
    }
    HRESULT GetStream(const wchar_t *name, bool isFolder) override {
        CItemRecord r;
        r.path = A(UString(name));
        r.isFolder = isFolder;
        r.size = 0;
        items.push_back(r);
        return S_OK;
    }
    HRESULT OpenFileError(const UString &path, DWORD) override {
        openErrors.push_back(A(path));
        return S_FALSE;
    }
    HRESULT SetOperationResult(UInt64 fileSize, const CHashBundle &hb, bool showHash) override {
        CItemRecord &r = items.back();
        r.size = fileSize;
        if (showHash)
            for (unsigned i = 0; i < hb.Hashers.Size(); i++)
                r.digests[hb.Hashers[i].Name.Ptr()] = Hex(hb.Hashers[i], k_HashCalc_Index_Current);
        return S_OK;
    }
    HRESULT AfterLastFile(CHashBundle &hb) override {
        events.push_back("AfterLastFile");
        for (unsigned i = 0; i < hb.Hashers.Size(); i++) {
            const CHasherState &h = hb.Hashers[i];
            sums[h.Name.Ptr()] = {Hex(h, k_HashCalc_Index_DataSum), Hex(h, k_HashCalc_Index_NamesSum),
                                  Hex(h, k_HashCalc_Index_StreamsSum)};
        }
        return S_OK;
    }
};

class HashCalcTest : public ::testing::Test {
protected:
    TempFolder tmp;
    std::string root;

    void SetUp() override {
        ASSERT_EQ(S_OK, enginetest::Registry().LoadResult);
        ASSERT_TRUE(tmp.Ok());
        root = tmp / "data";
        ASSERT_EQ(0, mkdir(root.c_str(), 0755));
        ASSERT_EQ(0, mkdir((root + "/sub").c_str(), 0755));
        ASSERT_TRUE(WriteFile(root + "/one.txt", "hello world\n"));
        std::string big(300000, '\0');
        for (size_t i = 0; i < big.size(); i++)
            big[i] = (char)(i * 7 + i / 251);
        ASSERT_TRUE(WriteFile(root + "/sub/big.bin", big));
        ASSERT_TRUE(WriteFile(root + "/sub/empty", ""));
    }

    HRESULT Hash(const std::vector<std::string> &methods, CRecordingHashCallback &cb, const std::string &mask = "*") {
        NWildcard::CCensor censor;
        censor.AddItem(NWildcard::k_RelatPath, true, W(root + "/" + mask), true, true);
        CHashOptions options;
        for (const std::string &m : methods)
            options.Methods.Add(W(m));
        AString errorInfo;
        return HashCalc(&enginetest::Registry().External, censor, options, errorInfo, &cb);
    }

    std::string Sha256(const std::string &path) {
        return Upper(RunCapture("sha256sum '" + path + "' | cut -d' ' -f1"));
    }
    std::string Crc32(const std::string &path) {
        return RunCapture(
            "/usr/bin/python3 -c \"import zlib,sys; print('%08X' % zlib.crc32(open(sys.argv[1],'rb').read()))\" '" +
            path + "'");
    }
};

} // namespace

TEST_F(HashCalcTest, DigestsMatchReferenceTools) {
    CRecordingHashCallback cb;
    ASSERT_EQ(S_OK, Hash({"CRC32", "SHA256"}, cb));
    std::map<std::string, CItemRecord> byPath;
    for (const CItemRecord &r : cb.items)
        byPath[r.path] = r;
    ASSERT_EQ(4u, byPath.size());
    EXPECT_TRUE(byPath["sub"].isFolder);
    for (const char *name : {"one.txt", "sub/big.bin", "sub/empty"}) {
        const CItemRecord &r = byPath[name];
        const std::string path = root + "/" + name;
        EXPECT_EQ(Crc32(path), r.digests.at("CRC32")) << name;
        EXPECT_EQ(Sha256(path), r.digests.at("SHA256")) << name;
    }
    EXPECT_EQ(300000u, byPath["sub/big.bin"].size);
    const std::vector<std::string> expectedEvents = {"StartScanning", "FinishScanning",
                                                     "SetTotal " + std::to_string(300000 + 12), "BeforeFirstFile",
                                                     "AfterLastFile"};
    EXPECT_EQ(expectedEvents, cb.events);
}

TEST_F(HashCalcTest, StarTakesEveryHasherOnceInIdOrder) {
    CRecordingHashCallback cb;
    ASSERT_EQ(S_OK, Hash({"SHA1", "*"}, cb, "one.txt"));
    ASSERT_EQ(1u, cb.items.size());
    const std::map<std::string, std::string> &d = cb.items[0].digests;
    ASSERT_EQ(4u, d.size());
    const std::string path = root + "/one.txt";
    EXPECT_EQ(Crc32(path), d.at("CRC32"));
    EXPECT_EQ(Sha256(path), d.at("SHA256"));
    EXPECT_EQ(Upper(RunCapture("sha1sum '" + path + "' | cut -d' ' -f1")), d.at("SHA1"));
    EXPECT_EQ(Upper(RunCapture("/usr/bin/python3 -c \"import sys\n"
                               "d=open(sys.argv[1],'rb').read()\n"
                               "c=0xFFFFFFFFFFFFFFFF\n"
                               "for b in d:\n"
                               " c^=b\n"
                               " for _ in range(8): c=(c>>1)^(0xC96C5795D7870F42 if c&1 else 0)\n"
                               "print('%016X'%(c^0xFFFFFFFFFFFFFFFF))\" '" +
                               path + "'")),
              d.at("CRC64"));
}

TEST_F(HashCalcTest, MethodListsResolveByNameIgnoringCase) {
    CHashBundle hb;
    const CExternalCodecs *ext = &enginetest::Registry().External;
    UStringVector names;
    ASSERT_EQ(S_OK, hb.SetMethods(ext, names));
    ASSERT_EQ(1u, hb.Hashers.Size());
    EXPECT_STREQ("CRC32", hb.Hashers[0].Name);

    names.Add(L"CRC32");
    names.Add(L"crc32");
    names.Add(L"sha256");
    ASSERT_EQ(S_OK, hb.SetMethods(ext, names));
    ASSERT_EQ(2u, hb.Hashers.Size());
    EXPECT_EQ(4u, hb.Hashers[0].DigestSize);
    EXPECT_EQ(32u, hb.Hashers[1].DigestSize);

    names.Add(L"NoSuchHash");
    EXPECT_EQ(E_NOTIMPL, hb.SetMethods(ext, names));
}

TEST_F(HashCalcTest, SumsFollowDataNamesAndFolderMarker) {
    ASSERT_TRUE(WriteFile(root + "/sub/copy.txt", "hello world\n"));
    CRecordingHashCallback cb;
    ASSERT_EQ(S_OK, Hash({"SHA256"}, cb));
    std::map<std::string, std::string> digest;
    for (const CItemRecord &r : cb.items)
        digest[r.path] = r.isFolder ? "" : r.digests.at("SHA256");
    EXPECT_EQ(digest["one.txt"], digest["sub/copy.txt"]);

    // The reference sums, computed independently: every item adds
    // sha256(16-byte marker block + its digest + its path as UTF-16LE); files also add their digest.
    const std::string script =
        "import hashlib,sys\n"
        "root=sys.argv[1]\n"
        "items=[('one.txt',0),('sub',1),('sub/big.bin',0),('sub/empty',0),('sub/copy.txt',0)]\n"
        "data=0;names=0\n"
        "for p,d in items:\n"
        " dg=bytes(32) if d else hashlib.sha256(open(root+'/'+p,'rb').read()).digest()\n"
        " if not d: data+=int.from_bytes(dg,'little')\n"
        " pre=bytes([d])+bytes(15)\n"
        " names+=int.from_bytes(hashlib.sha256(pre+dg+p.encode('utf-16-le')).digest(),'little')\n"
        "m=(1<<256)-1\n"
        "print((data&m).to_bytes(32,'little').hex().upper(), (names&m).to_bytes(32,'little').hex().upper())\n";
    const std::string ref = RunCapture("/usr/bin/python3 -c \"" + script + "\" '" + root + "'");
    const std::vector<std::string> &sums = cb.sums.at("SHA256");
    EXPECT_EQ(ref, sums[0] + " " + sums[1]);
    EXPECT_EQ(sums[1], sums[2]); // no alternate streams: both name sums agree
}

TEST_F(HashCalcTest, AlternateStreamsChangeOnlyTheStreamsSum) {
    CHashBundle plain, withStream;
    UStringVector names;
    names.Add(L"CRC32");
    ASSERT_EQ(S_OK, plain.SetMethods(&enginetest::Registry().External, names));
    ASSERT_EQ(S_OK, withStream.SetMethods(&enginetest::Registry().External, names));
    for (CHashBundle *hb : {&plain, &withStream}) {
        hb->InitForNewFile();
        hb->Update("abc", 3);
        hb->Final(false, false, L"f");
    }
    withStream.InitForNewFile();
    withStream.Update("zz", 2);
    withStream.Final(false, true, L"f:s");
    const CHasherState &a = plain.Hashers[0], &b = withStream.Hashers[0];
    EXPECT_EQ(0, memcmp(a.Digests[k_HashCalc_Index_DataSum], b.Digests[k_HashCalc_Index_DataSum], 4));
    EXPECT_EQ(0, memcmp(a.Digests[k_HashCalc_Index_NamesSum], b.Digests[k_HashCalc_Index_NamesSum], 4));
    EXPECT_NE(0, memcmp(a.Digests[k_HashCalc_Index_StreamsSum], b.Digests[k_HashCalc_Index_StreamsSum], 4));
    EXPECT_EQ(1u, withStream.NumAltStreams);
    EXPECT_EQ(2u, withStream.AltStreamsSize);
    EXPECT_EQ(3u, withStream.FilesSize);
}

TEST_F(HashCalcTest, FileGoneAfterScanIsCountedAndSkipped) {
    CRecordingHashCallback cb;
    cb.deleteOnFinishScanning = root + "/one.txt";
    ASSERT_EQ(S_OK, Hash({"CRC32"}, cb));
    ASSERT_EQ(1u, cb.openErrors.size());
    EXPECT_EQ(root + "/one.txt", cb.openErrors[0]);
    for (const CItemRecord &r : cb.items)
        EXPECT_NE("one.txt", r.path);
}

TEST_F(HashCalcTest, StandardInputIsOneNamelessItem) {
    const int saved = dup(0);
    const int fd = open((root + "/one.txt").c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    dup2(fd, 0);
    close(fd);
    CRecordingHashCallback cb;
    NWildcard::CCensor censor;
    CHashOptions options;
    options.StdInMode = true;
    options.Methods.Add(L"SHA256");
    AString errorInfo;
    const HRESULT res = HashCalc(&enginetest::Registry().External, censor, options, errorInfo, &cb);
    dup2(saved, 0);
    close(saved);
    ASSERT_EQ(S_OK, res);
    ASSERT_EQ(1u, cb.items.size());
    EXPECT_EQ("", cb.items[0].path);
    EXPECT_EQ(12u, cb.items[0].size);
    EXPECT_EQ(Sha256(root + "/one.txt"), cb.items[0].digests.at("SHA256"));
    EXPECT_EQ((std::vector<std::string>{"SetNumFiles 1", "BeforeFirstFile", "AfterLastFile"}), cb.events);
}

TEST(HashHexText, ShortDigestsReadAsNumbersLongOnesInByteOrder) {
    const Byte crc[4] = {0x78, 0x56, 0x34, 0x12};
    const Byte longer[16] = {0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07,
                             0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0xAB, 0xFF};
    char s[64];
    AddHashHexToString(s, crc, 4);
    EXPECT_STREQ("12345678", s);
    AddHashHexToString(s, longer, 16);
    EXPECT_STREQ("000102030405060708090A0B0C0DABFF", s);
    AddHashHexToString(s, nullptr, 3);
    EXPECT_STREQ("      ", s);
}
