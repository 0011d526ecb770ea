// Extraction outcomes beyond clean archives: passwords, encrypted items that cannot be read, damaged
// archives, subsets of items and test mode.
#include "PluginHarness.h"

#include <gtest/gtest.h>

#include <locale.h>
#include <signal.h>
#include <sys/resource.h>

using namespace NPluginTest;
using namespace NArchive::NExtract;

namespace {

const char *const kPy = "/usr/bin/python3";

class PluginExtractTest : public ::testing::Test {
protected:
    CPluginLib lib;
    CTempDir dir;

    static void SetUpTestSuite() { setlocale(LC_ALL, "C.UTF-8"); }

    void SetUp() override {
        ASSERT_TRUE(lib.Loaded());
        std::string big;
        for (int i = 0; i < 200000; i++)
            big += static_cast<char>((i * 7 + i / 251) % 256);
        NPluginTest::Run("mkdir -p '" + dir / "src/d" + "'");
        WriteFile(dir / "src/a.txt", "first file\n");
        WriteFile(dir / "src/d/big.bin", big);
        WriteFile(dir / "src/z.txt", "last file\n");
    }
    // Runs command in the source folder; %o stands for the output file.
    std::string Make(const std::string &name, std::string command) {
        const std::string out = "'" + dir / name + "'";
        for (size_t p; (p = command.find("%o")) != std::string::npos;)
            command.replace(p, 2, out);
        const std::string cmd = "cd '" + dir / "src" + "' && (" + command + ") > /dev/null 2>&1";
        EXPECT_EQ(NPluginTest::Run(cmd), 0) << cmd;
        return ReadFile(dir / name);
    }
    std::string Source(const std::string &path) { return ReadFile(dir / ("src/" + path)); }
    int IndexOf(IInArchive *arc, const std::wstring &path) {
        for (UInt32 i = 0; i < NumItems(arc); i++)
            if (ItemPath(arc, i) == path) return static_cast<int>(i);
        return -1;
    }
};

bool ItemEncrypted(IInArchive *arc, UInt32 index) {
    CProp v;
    arc->GetProperty(index, kpidEncrypted, &v);
    return v.vt == VT_BOOL && v.boolVal != VARIANT_FALSE;
}

} // namespace

namespace {

struct CZipCryptoCase {
    const char *name;
    const char *command;
};

// ZipCrypto's one check byte lets about one wrong password in 256 through to a CRC failure; the
// fixture is remade until the check byte rejects both wrong passwords the test gives ("wrong" and
// the empty one) on every file, so the expected result is stable.
const CZipCryptoCase kEncryptedZips[] = {
    {"zipcrypto.zip",
     "for i in 1 2 3 4 5 6 7 8; do rm -f %o; zip -qr -P pass %o a.txt d z.txt; "
     "/usr/bin/python3 -c \"import sys,zipfile as Z;z=Z.ZipFile(sys.argv[1]);f=z.fp\n"
     "def H(i):f.seek(i.header_offset);h=f.read(30);"
     "f.seek(i.header_offset+30+int.from_bytes(h[26:28],'little')+int.from_bytes(h[28:30],'little'));"
     "return f.read(12)\n"
     "sys.exit(any(Z._ZipDecrypter(p)(H(i))[11]==((i._raw_time>>8)&255 if i.flag_bits&8 else i.CRC>>24) "
     "for i in z.infolist() if not i.is_dir() for p in (b'wrong',b'')))\" %o && break; done"},
    {"aes256.zip", "bsdtar --format zip --options zip:encryption=aes256 --passphrase pass -cf %o a.txt d z.txt"},
    {"aes128.zip", "bsdtar --format zip --options zip:encryption=aes128 --passphrase pass -cf %o a.txt d z.txt"},
};

// A callback that answers the password request as told.
CMyComPtr<CExtractCallback> PasswordCallback(EPasswordAnswer answer, const wchar_t *password = L"") {
    CMyComPtr<CExtractCallback> cb = new CExtractCallback;
    cb->answer = answer;
    cb->password = password;
    return cb;
}

} // namespace

TEST_F(PluginExtractTest, ZipPasswordsRightWrongAndCancelled) {
    for (const CZipCryptoCase &c : kEncryptedZips) {
        SCOPED_TRACE(c.name);
        const std::string data = Make(c.name, c.command);
        HRESULT res;
        CMyComPtr<IInArchive> arc = OpenArchive(lib, "zip", data, &res);
        ASSERT_EQ(res, S_OK);
        const int a = IndexOf(arc, L"a.txt"), big = IndexOf(arc, L"d/big.bin"), z = IndexOf(arc, L"z.txt");
        ASSERT_TRUE(a >= 0 && big >= 0 && z >= 0);
        for (int i : {a, big, z})
            EXPECT_TRUE(ItemEncrypted(arc, static_cast<UInt32>(i))) << i;

        // A cancelled request ends the whole extraction with E_ABORT and reports no file as good.
        CMyComPtr<CExtractCallback> cancel = PasswordCallback(EPasswordAnswer::kCancel);
        ExtractItems(arc, nullptr, false, &res, cancel);
        EXPECT_EQ(res, E_ABORT);
        EXPECT_EQ(cancel->passwordRequests, 1);
        for (const auto &item : cancel->items)
            EXPECT_NE(item.second.opRes, NOperationResult::kOK) << item.first;

        // The same open archive asks again; a wrong or empty password fails every file, asked once,
        // with no data written.
        for (const wchar_t *bad : {L"wrong", L""}) {
            CMyComPtr<CExtractCallback> wrong = PasswordCallback(EPasswordAnswer::kGive, bad);
            ExtractItems(arc, nullptr, false, &res, wrong);
            EXPECT_EQ(res, S_OK);
            EXPECT_EQ(wrong->passwordRequests, 1);
            for (int i : {a, big, z}) {
                const CItemResult &r = wrong->items[static_cast<UInt32>(i)];
                EXPECT_EQ(r.opRes, NOperationResult::kWrongPassword) << i;
                EXPECT_TRUE(r.data.empty()) << i;
            }
        }

        // Asked again after the wrong one, the right password gives the data.
        CMyComPtr<CExtractCallback> right = PasswordCallback(EPasswordAnswer::kGive, L"pass");
        ExtractItems(arc, nullptr, false, &res, right);
        EXPECT_EQ(res, S_OK);
        EXPECT_EQ(right->passwordRequests, 1);
        EXPECT_EQ(right->items[static_cast<UInt32>(a)].data, Source("a.txt"));
        EXPECT_TRUE(right->items[static_cast<UInt32>(big)].data == Source("d/big.bin"));
        EXPECT_EQ(right->items[static_cast<UInt32>(z)].data, Source("z.txt"));
        for (int i : {a, big, z})
            EXPECT_EQ(right->items[static_cast<UInt32>(i)].opRes, NOperationResult::kOK) << i;

        // A good password is kept for later operations on the open archive (test mode here).
        CExtractCallback *kept = new CExtractCallback;
        CMyComPtr<IArchiveExtractCallback> keptRef = kept;
        ExtractItems(arc, nullptr, true, &res, kept);
        EXPECT_EQ(res, S_OK);
        EXPECT_EQ(kept->passwordRequests, 0);
        for (int i : {a, big, z})
            EXPECT_EQ(kept->items[static_cast<UInt32>(i)].opRes, NOperationResult::kOK) << i;
    }
}

namespace {

enum class EDamage { kTruncateHalf, kCorruptMiddle, kCutTail };

struct CDamageCase {
    const char *format;
    const char *file;
    const char *command;
    EDamage damage;
    HRESULT openResult;
    UInt32 flag;         // error flag the open must raise (0: none)
    const wchar_t *item; // the damaged item, when the archive opens
    Int32 itemResult;
};

std::string Damage(std::string data, EDamage damage) {
    switch (damage) {
    case EDamage::kTruncateHalf:
        data.resize(data.size() / 2);
        break;
    case EDamage::kCorruptMiddle:
        for (size_t i = data.size() / 2; i < data.size() / 2 + 64 && i < data.size(); i++)
            data[i] = static_cast<char>(data[i] ^ 0x55);
        break;
    case EDamage::kCutTail:
        data.resize(data.size() - 5);
        break;
    }
    return data;
}

} // namespace

// Damaged archives are flagged at open and give error results on extraction: items before the damage
// come out whole, the damaged one gets its result, and what cannot be reached any more is reported
// without being created.
TEST_F(PluginExtractTest, DamagedArchivesReportTheirErrors) {
    const UInt32 kEnd = kpv_ErrorFlags_UnexpectedEnd;
    const CDamageCase cases[] = {
        {"tar", "t.tar", "bsdtar -cf %o a.txt d z.txt", EDamage::kTruncateHalf, S_OK, kEnd, L"d/big.bin",
         NOperationResult::kUnexpectedEnd},
        {"cpio", "t.cpio", "printf 'a.txt\\nd\\nd/big.bin\\nz.txt\\n' | cpio -o -H newc > %o", EDamage::kTruncateHalf,
         S_OK, kEnd, L"d/big.bin", NOperationResult::kUnexpectedEnd},
        {"zip", "t.zip", "zip -qr %o a.txt d z.txt", EDamage::kTruncateHalf, S_OK, kEnd, L"d/big.bin",
         NOperationResult::kUnexpectedEnd},
        {"zip", "c.zip", "zip -qr %o a.txt d z.txt", EDamage::kCorruptMiddle, S_OK, 0, L"d/big.bin",
         NOperationResult::kCRCError},
        {"7z", "t.7z", "bsdtar --format 7zip -cf %o a.txt d z.txt", EDamage::kTruncateHalf, S_FALSE,
         kpv_ErrorFlags_HeadersError, nullptr, 0},
        {"7z", "c.7z", "bsdtar --format 7zip -cf %o a.txt d z.txt", EDamage::kCorruptMiddle, S_OK, 0, L"d/big.bin",
         NOperationResult::kDataError},
        {"xar", "t.xar", "bsdtar --format xar -cf %o a.txt d z.txt", EDamage::kTruncateHalf, S_OK, kEnd, L"d/big.bin",
         NOperationResult::kUnexpectedEnd},
        {"xar", "c.xar", "bsdtar --format xar -cf %o a.txt d z.txt", EDamage::kCorruptMiddle, S_OK, 0, L"d/big.bin",
         NOperationResult::kDataError},
        {"iso", "t.iso", "xorriso -as mkisofs -R -no-pad -o %o .", EDamage::kTruncateHalf, S_OK, kEnd, L"d/big.bin",
         NOperationResult::kUnexpectedEnd},
        // libarchive does not check gzip trailers; the handler does.
        {"gzip", "c.gz", "gzip -c d/big.bin > %o", EDamage::kCorruptMiddle, S_OK, kpv_ErrorFlags_CrcError, L"",
         NOperationResult::kCRCError},
        {"gzip", "e.gz", "gzip -c d/big.bin > %o", EDamage::kCutTail, S_OK, kEnd, L"",
         NOperationResult::kUnexpectedEnd},
        {"gzip", "t.gz", "gzip -c d/big.bin > %o", EDamage::kTruncateHalf, S_OK, kEnd, L"",
         NOperationResult::kUnexpectedEnd},
        {"bzip2", "e.bz2", "bzip2 -c d/big.bin > %o", EDamage::kCutTail, S_OK, kEnd, L"",
         NOperationResult::kUnexpectedEnd},
        {"bzip2", "c.bz2", "bzip2 -c d/big.bin > %o", EDamage::kCorruptMiddle, S_OK, kpv_ErrorFlags_DataError, L"",
         NOperationResult::kDataError},
        {"xz", "e.xz", "xz -c d/big.bin > %o", EDamage::kCutTail, S_OK, 0, L"", NOperationResult::kUnexpectedEnd},
        {"zstd", "e.zst", "zstd -q -c d/big.bin > %o", EDamage::kCutTail, S_OK, kEnd, L"",
         NOperationResult::kUnexpectedEnd},
    };
    for (const CDamageCase &c : cases) {
        SCOPED_TRACE(c.file);
        const std::string data = Damage(Make(c.file, c.command), c.damage);
        HRESULT res;
        CMyComPtr<IInArchive> arc = OpenArchive(lib, c.format, data, &res);
        ASSERT_EQ(res, c.openResult);
        const UInt32 flags = ArcErrorFlags(arc);
        EXPECT_EQ(flags & kpv_ErrorFlags_IsNotArc, 0u);
        if (c.flag) {
            EXPECT_NE(flags & c.flag, 0u) << flags;
        }
        if (res != S_OK) {
            EXPECT_NE(flags, 0u);
            continue;
        }
        const int damaged = IndexOf(arc, c.item);
        ASSERT_GE(damaged, 0);
        CMyComPtr<CExtractCallback> cb = ExtractItems(arc, nullptr, false, &res);
        EXPECT_EQ(res, S_OK);
        for (UInt32 i = 0; i < NumItems(arc); i++) {
            const CItemResult &r = cb->items[i];
            const std::wstring path = ItemPath(arc, i);
            SCOPED_TRACE(Utf8(path));
            if (static_cast<int>(i) == damaged) {
                EXPECT_EQ(r.opRes, c.itemResult);
            } else if (r.reported) {
                // Unreachable after the damage: reported, never handed a stream.
                EXPECT_FALSE(r.gotStream);
                EXPECT_NE(r.opRes, NOperationResult::kOK);
            } else {
                EXPECT_EQ(r.opRes, NOperationResult::kOK);
                // A single stream's item has no name: it holds d/big.bin.
                if (!ItemIsDir(arc, i)) {
                    EXPECT_TRUE(r.data == Source(path.empty() ? "d/big.bin" : Utf8(path)));
                }
            }
        }
    }
}

// A zip whose directory gives a file an unknown file type: the entry is still a file, and what comes
// out is its whole data, never an empty file passed off as the whole one.
TEST_F(PluginExtractTest, UnknownFileTypeInAZipStillGivesTheWholeFile) {
    const std::string data =
        Make("odd.zip", std::string(kPy) + " -c \"import zipfile; z = zipfile.ZipFile(%o, 'w'); "
                                           "i = zipfile.ZipInfo('a.txt'); i.external_attr = 0o030644 << 16; "
                                           "z.writestr(i, open('a.txt', 'rb').read()); z.close()\"");
    HRESULT res;
    CMyComPtr<IInArchive> arc = OpenArchive(lib, "zip", data, &res);
    ASSERT_EQ(res, S_OK);
    ASSERT_EQ(NumItems(arc), 1u);
    for (bool test : {false, true}) {
        CMyComPtr<CExtractCallback> cb = ExtractItems(arc, nullptr, test, &res);
        EXPECT_EQ(res, S_OK);
        EXPECT_EQ(cb->items[0].opRes, NOperationResult::kOK);
        if (!test) {
            EXPECT_EQ(cb->items[0].data, Source("a.txt"));
        }
    }
}

// A cpio header that cannot be read is skipped over by libarchive to the next one: the item it held
// is gone, which must show as an error of the archive, not pass as a clean listing.
TEST_F(PluginExtractTest, SkippedHeaderIsAnArchiveError) {
    std::string data = Make("t.cpio", "bsdtar --format newc -cf %o d z.txt");
    ASSERT_EQ(data.compare(0, 6, "070701"), 0);
    data[28] = '/'; // inside the owner field of the header of folder d
    HRESULT res;
    CMyComPtr<IInArchive> arc = OpenArchive(lib, "cpio", data, &res);
    ASSERT_EQ(res, S_OK);
    ASSERT_EQ(NumItems(arc), 2u);
    EXPECT_EQ(ItemPath(arc, 0), L"d/big.bin");
    EXPECT_NE(ArcErrorFlags(arc) & kpv_ErrorFlags_HeadersError, 0u);
    CProp error;
    ASSERT_EQ(arc->GetArchiveProperty(kpidError, &error), S_OK);
    ASSERT_EQ(error.vt, VT_BSTR);
    EXPECT_NE(std::wstring(error.bstrVal).find(L"Skipped"), std::wstring::npos);
}

// Only the wanted items are touched, in archive order, whether the entries before them are skipped in
// a plain container or decoded and dropped inside a solid block.
TEST_F(PluginExtractTest, SubsetsAndTestMode) {
    const struct {
        const char *format;
        const char *file;
        const char *command;
    } cases[] = {
        {"tar", "s.tar", "bsdtar -cf %o a.txt d z.txt"},
        {"zip", "s.zip", "zip -qr %o a.txt d z.txt"},
        {"7z", "s.7z", "bsdtar --format 7zip -cf %o a.txt d z.txt"},
        {"cpio", "s.cpio", "bsdtar --format newc -cf %o a.txt d z.txt"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.file);
        HRESULT res;
        CMyComPtr<IInArchive> arc = OpenArchive(lib, c.format, Make(c.file, c.command), &res);
        ASSERT_EQ(res, S_OK);
        const int big = IndexOf(arc, L"d/big.bin"), z = IndexOf(arc, L"z.txt");
        ASSERT_TRUE(big >= 0 && z > big);

        const std::vector<UInt32> subset = {static_cast<UInt32>(big), static_cast<UInt32>(z)};
        CMyComPtr<CExtractCallback> cb = ExtractItems(arc, &subset, false, &res);
        EXPECT_EQ(res, S_OK);
        EXPECT_EQ(cb->order, subset);
        EXPECT_EQ(cb->items.size(), 2u);
        EXPECT_TRUE(cb->items[subset[0]].data == Source("d/big.bin"));
        EXPECT_EQ(cb->items[subset[1]].data, Source("z.txt"));
        EXPECT_EQ(cb->items[subset[0]].opRes, NOperationResult::kOK);
        EXPECT_EQ(cb->items[subset[1]].opRes, NOperationResult::kOK);

        const std::vector<UInt32> none;
        cb = ExtractItems(arc, &none, false, &res);
        EXPECT_EQ(res, S_OK);
        EXPECT_TRUE(cb->protocol.empty());

        // Test mode: every item asked in test mode and checked without a stream.
        cb = ExtractItems(arc, nullptr, true, &res);
        EXPECT_EQ(res, S_OK);
        ASSERT_EQ(cb->items.size(), NumItems(arc));
        for (const auto &item : cb->items) {
            EXPECT_EQ(item.second.askMode, NAskMode::kTest) << item.first;
            EXPECT_FALSE(item.second.gotStream) << item.first;
            EXPECT_EQ(item.second.opRes, NOperationResult::kOK) << item.first;
        }
        EXPECT_EQ(cb->protocol.size(), 3 * cb->items.size());

        // A stream handed out in test mode (to hash the data) still gets the data.
        CExtractCallback *hashing = new CExtractCallback;
        CMyComPtr<IArchiveExtractCallback> hashingRef = hashing;
        hashing->giveStreamsInTest = true;
        ExtractItems(arc, &subset, true, &res, hashing);
        EXPECT_EQ(res, S_OK);
        EXPECT_TRUE(hashing->items[subset[0]].data == Source("d/big.bin"));
    }
}

// A hard link is listed with its target's path as text and extracts as the archive holds it (empty
// for tar), so the program can make the link.
TEST_F(PluginExtractTest, HardLinksNameTheirTarget) {
    NPluginTest::Run("cd '" + dir / "src" + "' && ln d/big.bin hard");
    const struct {
        const char *format;
        const char *file;
        const char *command;
        bool linkCarriesData; // newc stores the data with the last link
    } cases[] = {
        {"tar", "h.tar", "bsdtar -cf %o d hard", false},
        {"tar", "gnu.tar", "tar --format=gnu -cf %o d hard", false},
        {"cpio", "odc.cpio", "printf 'd\\nd/big.bin\\nhard\\n' | cpio -o -H odc > %o", true},
        {"cpio", "newc.cpio", "printf 'd\\nd/big.bin\\nhard\\n' | cpio -o -H newc > %o", true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.file);
        HRESULT res;
        CMyComPtr<IInArchive> arc = OpenArchive(lib, c.format, Make(c.file, c.command), &res);
        ASSERT_EQ(res, S_OK);
        const int link = IndexOf(arc, L"hard"), target = IndexOf(arc, L"d/big.bin");
        ASSERT_TRUE(link >= 0 && target >= 0);
        CProp value, none;
        ASSERT_EQ(arc->GetProperty(static_cast<UInt32>(link), kpidHardLink, &value), S_OK);
        ASSERT_EQ(value.vt, VT_BSTR);
        EXPECT_STREQ(value.bstrVal, L"d/big.bin");
        arc->GetProperty(static_cast<UInt32>(target), kpidHardLink, &none);
        EXPECT_EQ(none.vt, VT_EMPTY);
        EXPECT_FALSE(ItemIsDir(arc, static_cast<UInt32>(link)));

        CMyComPtr<CExtractCallback> cb = ExtractItems(arc, nullptr, false, &res);
        EXPECT_EQ(res, S_OK);
        const CItemResult &l = cb->items[static_cast<UInt32>(link)];
        EXPECT_EQ(l.opRes, NOperationResult::kOK);
        EXPECT_TRUE(l.data == (c.linkCarriesData ? Source("d/big.bin") : std::string()));
    }

    // The declared type of the property is text too.
    CMyComPtr<IInArchive> arc = lib.CreateHandler("tar");
    UInt32 n = 0;
    arc->GetNumberOfProperties(&n);
    bool listed = false;
    for (UInt32 i = 0; i < n; i++) {
        BSTR name = nullptr;
        PROPID id = 0;
        VARTYPE type = VT_EMPTY;
        ASSERT_EQ(arc->GetPropertyInfo(i, &name, &id, &type), S_OK);
        SysFreeString(name);
        if (id == kpidHardLink) {
            listed = true;
            EXPECT_EQ(type, VT_BSTR);
        }
    }
    EXPECT_TRUE(listed);
}

// Concatenated gzip members read as one item; padding after the last member is ignored; a bad CRC in
// a later member is still found.
TEST_F(PluginExtractTest, GzipMembersAreCheckedOneByOne) {
    const std::string joined = Make("m.gz", "gzip -c a.txt > %o && gzip -c d/big.bin >> %o && gzip -c z.txt >> %o && "
                                            "head -c 100 /dev/zero >> %o");
    const std::string whole = Source("a.txt") + Source("d/big.bin") + Source("z.txt");
    HRESULT res;
    CMyComPtr<IInArchive> arc = OpenArchive(lib, "gzip", joined, &res);
    ASSERT_EQ(res, S_OK);
    EXPECT_EQ(ArcErrorFlags(arc), 0u);
    CProp size;
    arc->GetProperty(0, kpidSize, &size);
    ASSERT_EQ(size.vt, VT_UI8);
    EXPECT_EQ(size.uhVal.QuadPart, whole.size());
    CMyComPtr<CExtractCallback> cb = ExtractItems(arc, nullptr, false, &res);
    EXPECT_EQ(res, S_OK);
    EXPECT_EQ(cb->items[0].opRes, NOperationResult::kOK);
    EXPECT_TRUE(cb->items[0].data == whole);

    // The last member ends with its CRC and length (8 bytes), then come the 100 bytes of padding.
    std::string bad = joined;
    bad[bad.size() - 100 - 8] ^= 1;
    arc = OpenArchive(lib, "gzip", bad, &res);
    ASSERT_EQ(res, S_OK);
    EXPECT_NE(ArcErrorFlags(arc) & kpv_ErrorFlags_CrcError, 0u);
    cb = ExtractItems(arc, nullptr, false, &res);
    EXPECT_EQ(res, S_OK);
    EXPECT_EQ(cb->items[0].opRes, NOperationResult::kCRCError);
}

namespace {
class CCountingInStream : public CMemInStream {
public:
    UInt64 bytesRead = 0;
    using CMemInStream::CMemInStream;
    HRESULT Read(void *data, UInt32 size, UInt32 *processedSize) override {
        UInt32 n = 0;
        const HRESULT res = CMemInStream::Read(data, size, &n);
        bytesRead += n;
        if (processedSize) *processedSize = n;
        return res;
    }
};
} // namespace

// A stream whose decoded data passes the memory budget keeps the rest in a temporary file, so that
// it is decoded once whatever reads it later; where no such file can be made, or it fills up on the
// way, it is decoded again as it is read. Either way a cut one gives every byte zlib produced, and
// its decoded stream seeks back and forth byte-exact.
TEST_F(PluginExtractTest, LargeCutGzipIsDecodedOnceOrAgainWhenRead) {
    // 70 MiB: zeros, with the block number every 4 kB so that a wrong place shows.
    std::string data =
        Make("large.gz", std::string("/usr/bin/python3 -c \"import sys; sys.stdout.buffer.write(b''.join("
                                     "b'%08d' % i + bytes(4088) for i in range(17920)))\" | gzip -1 > %o"));
    data.resize(data.size() - 30);
    WriteFile(dir / "cut.gz", data);
    Make("want", "/usr/bin/python3 -c \"import zlib, sys; sys.stdout.buffer.write(zlib.decompressobj(31).decompress("
                 "open('../cut.gz', 'rb').read()))\" > %o");
    const std::string want = ReadFile(dir / "want");
    ASSERT_GT(want.size(), 17000u * 4096);

    const char *tmpdir = getenv("TMPDIR");
    const std::string oldTmpdir = tmpdir ? tmpdir : "";
    enum { kSpill, kNoFile, kFileFull };
    for (const int mode : {kSpill, kNoFile, kFileFull}) {
        const bool spill = mode == kSpill;
        SCOPED_TRACE(spill ? "temporary file" : mode == kNoFile ? "no file" : "the file fills up");
        setenv("TMPDIR", mode == kNoFile ? (dir / "missing").c_str() : dir.Path().c_str(), 1);
        CMyComPtr<IInArchive> arc = lib.CreateHandler("gzip");
        ASSERT_TRUE(arc);
        CCountingInStream *source = new CCountingInStream(data);
        CMyComPtr<IInStream> sourceRef = source;
        const UInt64 limit = 0;
        // Files of this process may not pass 1 MiB while the open writes one: a write past it fails.
        struct rlimit oldFileSize;
        ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &oldFileSize), 0);
        void (*oldSignal)(int) = signal(SIGXFSZ, SIG_IGN);
        if (mode == kFileFull) {
            struct rlimit small = oldFileSize;
            small.rlim_cur = 1 << 20;
            ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
        }
        const HRESULT openRes = arc->Open(source, &limit, nullptr);
        setrlimit(RLIMIT_FSIZE, &oldFileSize);
        signal(SIGXFSZ, oldSignal);
        ASSERT_EQ(openRes, S_OK);
        EXPECT_NE(ArcErrorFlags(arc) & kpv_ErrorFlags_UnexpectedEnd, 0u);
        HRESULT res;
        CMyComPtr<CExtractCallback> cb = ExtractItems(arc, nullptr, false, &res);
        EXPECT_EQ(res, S_OK);
        EXPECT_EQ(cb->items[0].opRes, NOperationResult::kUnexpectedEnd);
        EXPECT_TRUE(cb->items[0].data == want) << cb->items[0].data.size() << " of " << want.size();

        CMyComPtr<IInArchiveGetStream> getStream;
        ASSERT_EQ(arc->QueryInterface(IID_IInArchiveGetStream, reinterpret_cast<void **>(&getStream)), S_OK);
        CMyComPtr<ISequentialInStream> seq;
        ASSERT_EQ(getStream->GetStream(0, &seq), S_OK);
        CMyComPtr<IInStream> in;
        ASSERT_EQ(seq->QueryInterface(IID_IInStream, reinterpret_cast<void **>(&in)), S_OK);
        UInt64 end = 0;
        ASSERT_EQ(in->Seek(0, STREAM_SEEK_END, &end), S_OK);
        EXPECT_EQ(end, want.size());
        for (UInt64 pos : {UInt64(17000) * 4096, UInt64(4096) * 3, UInt64(want.size() - 5), UInt64(100)}) {
            SCOPED_TRACE(pos);
            ASSERT_EQ(in->Seek(static_cast<Int64>(pos), STREAM_SEEK_SET, nullptr), S_OK);
            char buf[16] = {};
            UInt32 got = 0;
            ASSERT_EQ(in->Read(buf, sizeof(buf), &got), S_OK);
            EXPECT_EQ(std::string(buf, got), want.substr(static_cast<size_t>(pos), sizeof(buf)));
        }
        // The open pass, the extraction and four reads far apart: once, or once per pass.
        if (spill)
            EXPECT_LT(source->bytesRead, data.size() * 3 / 2);
        else
            EXPECT_GT(source->bytesRead, data.size() * 3);
    }
    if (tmpdir)
        setenv("TMPDIR", oldTmpdir.c_str(), 1);
    else
        unsetenv("TMPDIR");
}

// Highly packed data moves the input slowly: the open reports its progress as the decoded data
// grows, so that a long open never sits still (64 MiB of zeros are 64 kB of gzip).
TEST_F(PluginExtractTest, OpenProgressMovesWithTheDecodedData) {
    const std::string data = Make("zeros.gz", "head -c 64M /dev/zero | gzip -1 > %o");
    ASSERT_LT(data.size(), 1u << 20);
    CMyComPtr<COpenCallback> cb = new COpenCallback;
    HRESULT res;
    CMyComPtr<IInArchive> arc = OpenArchive(lib, "gzip", data, &res, cb);
    ASSERT_EQ(res, S_OK);
    EXPECT_GE(cb->progressCalls, 8);
}

// Zips as other tools write them read back byte for byte: names with and without the UTF-8 mark,
// zip64 records, entries streamed with data descriptors, and a stub in front whose bytes the
// offsets count (`zip -A`) or not.
TEST_F(PluginExtractTest, ZipsOfOtherToolsReadByteExact) {
    WriteFile(dir / "src/中文.txt", "chinese name\n");
    WriteFile(dir / "stub", std::string(777, 's'));
    const std::string py = std::string(kPy) + " -c \"import zipfile,sys; ";
    const struct {
        const char *file;
        std::string command;
        size_t skip; // bytes in front that the engine would not hand over
    } cases[] = {
        {"info.zip", "zip -qr %o a.txt d 中文.txt z.txt", 0},
        {"py.zip",
         py + "z=zipfile.ZipFile(sys.argv[1],'w',zipfile.ZIP_DEFLATED); "
              "[z.write(p) for p in ['a.txt','d','d/big.bin','中文.txt','z.txt']]; z.close()\" %o",
         0},
        {"lzma.zip",
         py + "z=zipfile.ZipFile(sys.argv[1],'w',zipfile.ZIP_LZMA); "
              "[z.write(p) for p in ['a.txt','d','d/big.bin','中文.txt','z.txt']]; z.close()\" %o",
         0},
        {"bzip2.zip",
         py + "z=zipfile.ZipFile(sys.argv[1],'w',zipfile.ZIP_BZIP2); "
              "[z.write(p) for p in ['a.txt','d','d/big.bin','中文.txt','z.txt']]; z.close()\" %o",
         0},
        {"zip64.zip",
         py + "z=zipfile.ZipFile(sys.argv[1],'w',zipfile.ZIP_DEFLATED); "
              "[z.open(p,'w',force_zip64=True).write(open(p,'rb').read()) for p in "
              "['a.txt','d/big.bin','中文.txt','z.txt']]; z.close()\" %o",
         0},
        {"streamed.zip",
         py + "z=zipfile.ZipFile(sys.stdout.buffer,'w',zipfile.ZIP_DEFLATED); "
              "[z.write(p) for p in ['a.txt','d/big.bin','中文.txt','z.txt']]; z.close()\" | cat > %o",
         0},
        {"bsdtar.zip", "bsdtar --format zip -cf %o a.txt d 中文.txt z.txt", 0},
        {"stub.zip", "zip -qr in.zip a.txt d z.txt && cat ../stub in.zip > %o && rm in.zip", 777},
        {"stubA.zip", "zip -qr in.zip a.txt d z.txt && cat ../stub in.zip > %o && rm in.zip && zip -qA %o", 777},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.file);
        const std::string data = Make(c.file, c.command).substr(c.skip);
        HRESULT res;
        CMyComPtr<IInArchive> arc = OpenArchive(lib, "zip", data, &res);
        ASSERT_EQ(res, S_OK);
        EXPECT_EQ(ArcErrorFlags(arc), 0u);
        CMyComPtr<CExtractCallback> cb = ExtractItems(arc, nullptr, false, &res);
        EXPECT_EQ(res, S_OK);
        size_t files = 0;
        for (UInt32 i = 0; i < NumItems(arc); i++) {
            if (ItemIsDir(arc, i)) continue;
            const std::string path = Utf8(ItemPath(arc, i));
            EXPECT_EQ(cb->items[i].opRes, NOperationResult::kOK) << path;
            EXPECT_TRUE(cb->items[i].data == Source(path)) << path;
            files++;
        }
        EXPECT_EQ(files, c.skip ? 3u : 4u);
    }
}

// The central directory is the index of a zip; when it cannot be read the entries are still read
// front to back, and the archive is flagged damaged.
TEST_F(PluginExtractTest, ZipWithADamagedCentralDirectoryIsReadFrontToBack) {
    std::string data = Make("cd.zip", "zip -qr %o a.txt d z.txt");
    for (size_t p = 0; (p = data.find("PK\x01\x02", p)) != std::string::npos; p += 4)
        data[p] = 'X';
    HRESULT res;
    CMyComPtr<IInArchive> arc = OpenArchive(lib, "zip", data, &res);
    ASSERT_EQ(res, S_OK);
    EXPECT_NE(ArcErrorFlags(arc) & kpv_ErrorFlags_HeadersError, 0u);
    const int big = IndexOf(arc, L"d/big.bin");
    ASSERT_GE(big, 0);
    CMyComPtr<CExtractCallback> cb = ExtractItems(arc, nullptr, false, &res);
    EXPECT_EQ(res, S_OK);
    EXPECT_EQ(cb->items[static_cast<UInt32>(big)].opRes, NOperationResult::kOK);
    EXPECT_TRUE(cb->items[static_cast<UInt32>(big)].data == Source("d/big.bin"));
}

// An entry whose stored CRC is wrong while its data is whole: reported as a CRC error, and the data
// still comes out (not an empty file), stored or deflated.
TEST_F(PluginExtractTest, ZipCrcMismatchKeepsTheDecodedData) {
    for (const char *method : {"ZIP_STORED", "ZIP_DEFLATED"}) {
        SCOPED_TRACE(method);
        const std::string data = Make(
            std::string(method) + ".zip",
            std::string(kPy) + " -c \"import zipfile,sys,struct; z=zipfile.ZipFile(sys.argv[1],'w',zipfile." + method +
                "); z.write('d/big.bin'); z.close(); z=zipfile.ZipFile(sys.argv[1]); "
                "i=z.infolist()[0]; d=bytearray(open(sys.argv[1],'rb').read()); "
                "c=struct.pack('<I', i.CRC ^ 1); d[i.header_offset+14:i.header_offset+18]=c; "
                "p=d.find(b'PK\\\\x01\\\\x02'); d[p+16:p+20]=c; open(sys.argv[1],'wb').write(d)\" %o");
        HRESULT res;
        CMyComPtr<IInArchive> arc = OpenArchive(lib, "zip", data, &res);
        ASSERT_EQ(res, S_OK);
        ASSERT_EQ(NumItems(arc), 1u);
        CMyComPtr<CExtractCallback> cb = ExtractItems(arc, nullptr, false, &res);
        EXPECT_EQ(res, S_OK);
        EXPECT_EQ(cb->items[0].opRes, NOperationResult::kCRCError);
        EXPECT_TRUE(cb->items[0].gotStream);
        EXPECT_TRUE(cb->items[0].data == Source("d/big.bin"));
    }
}
