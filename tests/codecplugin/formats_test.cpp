// Every readable format opened from fixtures made at test time by Debian's tools, listed and
// extracted byte for byte against the files they were made from.
#include "PluginHarness.h"

#include <gtest/gtest.h>

#include <locale.h>
#include <stdlib.h>
#include <time.h>

#include <set>

using namespace NPluginTest;

namespace {

const char *const kPy = "/usr/bin/python3";

// The source tree: Chinese and 4-byte names, an empty file, a folder and a larger binary file.
struct CSourceTree {
    CTempDir dir;
    std::map<std::string, std::string> files; // relative path -> content

    CSourceTree() {
        std::string big;
        for (int i = 0; i < 300000; i++)
            big += static_cast<char>((i * 31 + i / 977) % 256);
        files = {{"hello.txt", "hello world\n"},
                 {"empty.txt", ""},
                 {"dir/数据.bin", big},
                 {"dir/sub/中文名字.txt", "汉字内容\n"},
                 {"emoji_\xF0\x9F\x98\x80.txt", "smile\n"},
                 {"dir/\xF0\xA0\x80\x80.txt", "ext-b\n"}};
        Run("mkdir -p '" + dir / "src/dir/sub" + "'");
        for (const auto &f : files)
            WriteFile(dir / ("src/" + f.first), f.second);
    }
    std::string Src() const { return dir / "src"; }
};

CSourceTree *g_tree = nullptr;

class PluginFormatsTest : public ::testing::Test {
protected:
    CPluginLib lib;
    static void SetUpTestSuite() {
        setlocale(LC_ALL, "C.UTF-8");
        g_tree = new CSourceTree;
    }
    static void TearDownTestSuite() {
        delete g_tree;
        g_tree = nullptr;
    }
    std::string Make(const std::string &name, const std::string &command) {
        const std::string cmd = "cd '" + g_tree->Src() + "' && (" + command + ") > /dev/null 2>&1";
        EXPECT_EQ(NPluginTest::Run(cmd), 0) << cmd;
        return ReadFile(g_tree->dir / name);
    }
    std::string Out(const std::string &name) const { return "'" + g_tree->dir / name + "'"; }

    // Opens, lists and extracts; returns path -> content of the files.
    std::map<std::string, std::string> ListAndExtract(IInArchive *arc) {
        std::map<std::string, std::string> result;
        HRESULT res;
        CMyComPtr<CExtractCallback> cb = ExtractItems(arc, nullptr, false, &res);
        EXPECT_EQ(res, S_OK);
        for (UInt32 i = 0; i < NumItems(arc); i++) {
            if (ItemIsDir(arc, i)) continue;
            std::string path = Utf8(ItemPath(arc, i));
            if (path.compare(0, 2, "./") == 0) path.erase(0, 2);
            EXPECT_EQ(cb->items[i].opRes, 0) << path;
            result[path] = cb->items[i].data;
        }
        return result;
    }
    void ExpectAllFiles(const std::map<std::string, std::string> &got, bool unicodeNames = true) {
        for (const auto &f : g_tree->files) {
            if (!unicodeNames && f.first.find_first_of("\x80\xF0\xE4\xE6") != std::string::npos) continue;
            auto it = got.find(f.first);
            ASSERT_NE(it, got.end()) << f.first;
            EXPECT_TRUE(it->second == f.second) << f.first << " differs";
        }
    }
};

struct CContainerCase {
    const char *format;
    const char *file;
    const char *command; // run inside the source folder, %o is the output path
    bool unicodeNames;
};

std::string Subst(std::string cmd, const std::string &out) {
    const size_t p = cmd.find("%o");
    if (p != std::string::npos) cmd.replace(p, 2, out);
    return cmd;
}

TEST_F(PluginFormatsTest, ContainersListAndExtractByteExact) {
    const CContainerCase cases[] = {
        {"7z", "a.7z",
         "/usr/bin/python3 -c \"import py7zr,os,sys; z=py7zr.SevenZipFile(sys.argv[1],'w'); "
         "[z.write(os.path.join(r,f), os.path.relpath(os.path.join(r,f),'.')) "
         "for r,d,fs in os.walk('.') for f in fs]; z.close()\" %o",
         true},
        {"7z", "b.7z", "bsdtar --format 7zip -cf %o .", true},
        {"zip", "a.zip", "zip -qr %o .", true},
        {"zip", "b.zip", "bsdtar --format zip -cf %o .", true},
        {"tar", "a.tar", "bsdtar -cf %o .", true},
        {"tar", "gnu.tar", "tar --format=gnu -cf %o .", true},
        {"cpio", "a.cpio", "find . | cpio -o -H newc > %o", true},
        {"iso", "a.iso", "xorriso -as mkisofs -R -J -o %o .", true},
        {"ar", "a.ar", "ar rc %o hello.txt empty.txt", false},
        {"xar", "a.xar", "bsdtar --format xar -cf %o .", true},
    };
    for (const CContainerCase &c : cases) {
        SCOPED_TRACE(c.file);
        const std::string data = Make(c.file, Subst(c.command, Out(c.file)));
        ASSERT_FALSE(data.empty());
        HRESULT res;
        COpenCallback *cbRaw = new COpenCallback;
        CMyComPtr<IArchiveOpenCallback> cb = cbRaw;
        CMyComPtr<IInArchive> arc = OpenArchive(lib, c.format, data, &res, cbRaw);
        ASSERT_EQ(res, S_OK);
        EXPECT_EQ(ArcErrorFlags(arc), 0u);
        const auto got = ListAndExtract(arc);
        if (c.unicodeNames) {
            ExpectAllFiles(got);
        } else {
            EXPECT_EQ(got.at("hello.txt"), "hello world\n");
            EXPECT_EQ(got.at("empty.txt"), "");
        }
        EXPECT_EQ(arc->Close(), S_OK);
        EXPECT_EQ(NumItems(arc), 0u);
    }
}

// Holes come back as zeros, a trailing one included, and nothing is padded past the item's size.
TEST_F(PluginFormatsTest, SparseTarHolesExtractAsZeros) {
    const std::string data = Make("sparse.tar", "truncate -s 1M sp && printf data | dd of=sp bs=1 seek=300000 "
                                                "conv=notrunc && tar --format=pax -S -cf " +
                                                    Out("sparse.tar") + " sp && rm sp");
    HRESULT res;
    CMyComPtr<IInArchive> arc = OpenArchive(lib, "tar", data, &res);
    ASSERT_EQ(res, S_OK);
    ASSERT_EQ(NumItems(arc), 1u);
    CMyComPtr<CExtractCallback> cb = ExtractItems(arc, nullptr, false, &res);
    EXPECT_EQ(res, S_OK);
    EXPECT_EQ(cb->items[0].opRes, 0);
    std::string expected(1 << 20, '\0');
    expected.replace(300000, 4, "data");
    EXPECT_TRUE(cb->items[0].data == expected) << cb->items[0].data.size();
}

// A pax header may give any number of seconds; times past either end of the FILETIME range come out
// as that end.
TEST_F(PluginFormatsTest, TimesBeyondTheFileTimeRangeAreClamped) {
    const std::string data = Make("times.tar", std::string(kPy) +
                                                   " -c \"import tarfile\n"
                                                   "with tarfile.open(" +
                                                   Out("times.tar") +
                                                   ", 'w', format=tarfile.PAX_FORMAT) as t:\n"
                                                   "    for n, s in (('late', '9' * 30), ('early', '-' + '9' * 30)):\n"
                                                   "        i = tarfile.TarInfo(n); i.pax_headers = {'mtime': s}; "
                                                   "t.addfile(i)\"");
    HRESULT res;
    CMyComPtr<IInArchive> arc = OpenArchive(lib, "tar", data, &res);
    ASSERT_EQ(res, S_OK);
    ASSERT_EQ(NumItems(arc), 2u);
    const UInt64 expected[] = {static_cast<UInt64>(INT64_MAX), 0};
    for (UInt32 i = 0; i < 2; i++) {
        CProp t;
        ASSERT_EQ(arc->GetProperty(i, kpidMTime, &t), S_OK);
        ASSERT_EQ(t.vt, VT_FILETIME);
        EXPECT_EQ(((UInt64)t.filetime.dwHighDateTime << 32) | t.filetime.dwLowDateTime, expected[i]) << i;
    }
}

TEST_F(PluginFormatsTest, HandlersRefuseOtherFormatsWithNotAnArchive) {
    const std::string tar = Make("refuse.tar", "bsdtar -cf " + Out("refuse.tar") + " hello.txt");
    for (const char *format : {"7z", "zip", "gzip", "bzip2", "xz", "zstd", "rar", "rar5", "cab", "iso", "cpio", "ar",
                               "rpm", "xar", "lzh", "Split"}) {
        SCOPED_TRACE(format);
        HRESULT res;
        CMyComPtr<IInArchive> arc = OpenArchive(lib, format, tar, &res);
        ASSERT_TRUE(arc);
        EXPECT_EQ(res, S_FALSE);
        if (std::string(format) != "Split") {
            EXPECT_EQ(ArcErrorFlags(arc) & kpv_ErrorFlags_IsNotArc, 1u);
        }
    }
    HRESULT res;
    CMyComPtr<IInArchive> arc = OpenArchive(lib, "tar", std::string(2048, 'x'), &res);
    EXPECT_EQ(res, S_FALSE);
}

struct CStreamCase {
    const char *format;
    const char *tool;
    const char *ext;
};

TEST_F(PluginFormatsTest, SingleStreamsGiveOneUnnamedItemAndANestedTar) {
    const CStreamCase cases[] = {
        {"gzip", "gzip", "gz"}, {"bzip2", "bzip2", "bz2"}, {"xz", "xz", "xz"}, {"zstd", "zstd -q", "zst"}};
    Make("nested.tar", "bsdtar -cf " + Out("nested.tar") + " .");
    for (const CStreamCase &c : cases) {
        SCOPED_TRACE(c.format);
        const std::string single = Make(std::string("hello.") + c.ext, std::string(c.tool) + " -c dir/数据.bin > " +
                                                                           Out(std::string("hello.") + c.ext));
        HRESULT res;
        CMyComPtr<IInArchive> arc = OpenArchive(lib, c.format, single, &res);
        ASSERT_EQ(res, S_OK);
        ASSERT_EQ(NumItems(arc), 1u);
        EXPECT_EQ(ItemPath(arc, 0), L""); // named by the program after the archive
        CProp size, main;
        arc->GetProperty(0, kpidSize, &size);
        EXPECT_EQ(size.vt, VT_UI8);
        EXPECT_EQ(size.uhVal.QuadPart, g_tree->files["dir/数据.bin"].size());
        arc->GetArchiveProperty(kpidMainSubfile, &main);
        EXPECT_EQ(main.vt, VT_UI4);
        CMyComPtr<CExtractCallback> cb = ExtractItems(arc, nullptr, false, &res);
        EXPECT_EQ(res, S_OK);
        EXPECT_EQ(cb->items[0].opRes, 0);
        EXPECT_TRUE(cb->items[0].data == g_tree->files["dir/数据.bin"]);

        // a.tar.<ext>: the item's stream is seekable and opens as the second level.
        const std::string tarName = std::string("nested.tar.") + c.ext;
        const std::string packed =
            Make(tarName, std::string(c.tool) + " -c " + Out("nested.tar") + " > " + Out(tarName));
        CMyComPtr<IInArchive> outer = OpenArchive(lib, c.format, packed, &res);
        ASSERT_EQ(res, S_OK);
        CMyComPtr<IInArchiveGetStream> getStream;
        ASSERT_EQ(outer->QueryInterface(IID_IInArchiveGetStream, reinterpret_cast<void **>(&getStream)), S_OK);
        CMyComPtr<ISequentialInStream> seq;
        ASSERT_EQ(getStream->GetStream(0, &seq), S_OK);
        CMyComPtr<IInStream> inner;
        ASSERT_EQ(seq->QueryInterface(IID_IInStream, reinterpret_cast<void **>(&inner)), S_OK);
        CMyComPtr<IInArchive> tar = lib.CreateHandler("tar");
        const UInt64 limit = 0;
        ASSERT_EQ(tar->Open(inner, &limit, nullptr), S_OK);
        ExpectAllFiles(ListAndExtract(tar));
    }
}

TEST_F(PluginFormatsTest, SplitVolumesJoinThroughTheVolumeCallback) {
    const std::string whole = Make("s.7z", "bsdtar --format 7zip -cf " + Out("s.7z") + " .");
    Make("s.7z.001", "split -b 200 -d -a 3 --numeric-suffixes=1 " + Out("s.7z") + " " + Out("s.7z."));
    COpenCallback *cbRaw = new COpenCallback;
    CMyComPtr<IArchiveOpenCallback> cb = cbRaw;
    cbRaw->name = L"s.7z.001";
    for (int i = 2; i < 100; i++) {
        char ext[8];
        snprintf(ext, sizeof(ext), "%03d", i);
        const std::string vol = ReadFile(g_tree->dir / (std::string("s.7z.") + ext));
        if (vol.empty()) break;
        cbRaw->files[L"s.7z." + Wide(ext)] = vol;
    }
    ASSERT_GE(cbRaw->files.size(), 2u);
    HRESULT res;
    CMyComPtr<IInArchive> split = OpenArchive(lib, "Split", ReadFile(g_tree->dir / "s.7z.001"), &res, cbRaw);
    ASSERT_EQ(res, S_OK);
    ASSERT_EQ(NumItems(split), 1u);
    EXPECT_EQ(ItemPath(split, 0), L"s.7z");
    CMyComPtr<CExtractCallback> ex = ExtractItems(split, nullptr, false, &res);
    EXPECT_TRUE(ex->items[0].data == whole);

    CMyComPtr<IInArchiveGetStream> getStream;
    ASSERT_EQ(split->QueryInterface(IID_IInArchiveGetStream, reinterpret_cast<void **>(&getStream)), S_OK);
    CMyComPtr<ISequentialInStream> seq;
    ASSERT_EQ(getStream->GetStream(0, &seq), S_OK);
    CMyComPtr<IInStream> joined;
    ASSERT_EQ(seq->QueryInterface(IID_IInStream, reinterpret_cast<void **>(&joined)), S_OK);
    CMyComPtr<IInArchive> sevenZip = lib.CreateHandler("7z");
    const UInt64 limit = 0;
    ASSERT_EQ(sevenZip->Open(joined, &limit, nullptr), S_OK);
    ExpectAllFiles(ListAndExtract(sevenZip));

    // A later volume does not open the set.
    COpenCallback *cb2Raw = new COpenCallback;
    CMyComPtr<IArchiveOpenCallback> cb2 = cb2Raw;
    cb2Raw->name = L"s.7z.002";
    CMyComPtr<IInArchive> notFirst = OpenArchive(lib, "Split", cbRaw->files[L"s.7z.002"], &res, cb2Raw);
    EXPECT_EQ(res, S_FALSE);
}

TEST_F(PluginFormatsTest, DebianPackageListsItsMembers) {
    Make("debian-binary", "printf '2.0\\n' > " + Out("debian-binary"));
    Make("control.tar.gz", "bsdtar -czf " + Out("control.tar.gz") + " hello.txt");
    Make("data.tar.xz", "bsdtar -cJf " + Out("data.tar.xz") + " dir");
    const std::string deb = Make("p.deb", "cd .. && ar rc p.deb debian-binary control.tar.gz data.tar.xz");
    HRESULT res;
    CMyComPtr<IInArchive> arc = OpenArchive(lib, "ar", deb, &res);
    ASSERT_EQ(res, S_OK);
    const auto got = ListAndExtract(arc);
    EXPECT_EQ(got.at("debian-binary"), "2.0\n");
    EXPECT_TRUE(got.at("data.tar.xz") == ReadFile(g_tree->dir / "data.tar.xz"));
}

TEST_F(PluginFormatsTest, ZipWithUnmarkedGb18030NamesShowsChinese) {
    const std::string script = "import zipfile,sys\n"
                               "gb='中文名.txt'.encode('gb18030')\n"
                               "ph='X'*len(gb)\n"
                               "with zipfile.ZipFile(sys.argv[1],'w') as z: z.writestr(ph, b'gb data')\n"
                               "d=open(sys.argv[1],'rb').read().replace(ph.encode(), gb)\n"
                               "open(sys.argv[1],'wb').write(d)\n";
    WriteFile(g_tree->dir / "gb.py", script);
    const std::string data = Make("gb.zip", std::string(kPy) + " " + Out("gb.py") + " " + Out("gb.zip"));
    HRESULT res;
    CMyComPtr<IInArchive> arc = OpenArchive(lib, "zip", data, &res);
    ASSERT_EQ(res, S_OK);
    ASSERT_EQ(NumItems(arc), 1u);
    EXPECT_EQ(ItemPath(arc, 0), L"中文名.txt");

    // With the program's UTF-16 conversion off, every byte is one character.
    CPluginLib bytesLib(0);
    CMyComPtr<IInArchive> raw = OpenArchive(bytesLib, "zip", data, &res);
    ASSERT_EQ(res, S_OK);
    const std::string gb = "\xD6\xD0\xCE\xC4\xC3\xFB.txt";
    std::wstring expected;
    for (unsigned char ch : gb)
        expected += static_cast<wchar_t>(ch);
    EXPECT_EQ(ItemPath(raw, 0), expected);
}

// DOS times are local times: each must come out as mktime() reads it, in and around the changes of
// offset of two zones, and for fields out of range.
TEST_F(PluginFormatsTest, ZipDosTimesReadAsTheLocalZoneReadsThem) {
    const int stamps[][6] = {{1980, 1, 1, 0, 0, 0},   {2023, 3, 26, 1, 59, 58},  {2023, 3, 26, 2, 30, 0},
                             {2023, 3, 26, 3, 0, 0},  {2023, 3, 12, 2, 30, 0},   {2023, 10, 29, 2, 30, 0},
                             {2023, 11, 5, 1, 30, 0}, {2024, 2, 29, 23, 59, 58}, {2107, 12, 31, 23, 59, 58},
                             {2000, 6, 15, 12, 0, 0}};
    std::string script = "import zipfile,sys\nz=zipfile.ZipFile(sys.argv[1],'w')\n";
    for (const auto &t : stamps) {
        char line[160];
        snprintf(line, sizeof(line), "z.writestr(zipfile.ZipInfo('t%d',(%d,%d,%d,%d,%d,%d)),b'')\n",
                 t[0] * 10000 + t[1] * 100 + t[2], t[0], t[1], t[2], t[3], t[4], t[5]);
        script += line;
    }
    script += "z.close()\n"
              // Month 0 and day 0 are written by hand: python refuses them.
              "d=bytearray(open(sys.argv[1],'rb').read())\n"
              "i=d.rfind(b'PK\\x01\\x02')\nd[i+14:i+16]=((20<<9)|(0<<5)|0).to_bytes(2,'little')\n"
              "open(sys.argv[1],'wb').write(bytes(d))\n";
    WriteFile(g_tree->dir / "dos.py", script);
    const std::string data = Make("dos.zip", std::string(kPy) + " " + Out("dos.py") + " " + Out("dos.zip"));
    const char *const oldZone = getenv("TZ");
    const std::string saved = oldZone ? oldZone : "";
    for (const char *zone : {"Europe/Berlin", "America/New_York", "Australia/Lord_Howe", "UTC"}) {
        SCOPED_TRACE(zone);
        setenv("TZ", zone, 1);
        tzset();
        HRESULT res;
        CMyComPtr<IInArchive> arc = OpenArchive(lib, "zip", data, &res);
        ASSERT_EQ(res, S_OK);
        ASSERT_EQ(NumItems(arc), sizeof(stamps) / sizeof(stamps[0]));
        for (UInt32 i = 0; i < NumItems(arc); i++) {
            SCOPED_TRACE(i);
            struct tm tm = {};
            const bool last = i + 1 == NumItems(arc);
            tm.tm_year = last ? 2000 - 1900 : stamps[i][0] - 1900;
            tm.tm_mon = last ? -1 : stamps[i][1] - 1;
            tm.tm_mday = last ? 0 : stamps[i][2];
            tm.tm_hour = stamps[i][3];
            tm.tm_min = stamps[i][4];
            tm.tm_sec = stamps[i][5];
            tm.tm_isdst = -1;
            const Int64 expected = mktime(&tm);
            CProp t;
            ASSERT_EQ(arc->GetProperty(i, kpidMTime, &t), S_OK);
            ASSERT_EQ(t.vt, VT_FILETIME);
            const UInt64 ticks = ((UInt64)t.filetime.dwHighDateTime << 32) | t.filetime.dwLowDateTime;
            EXPECT_EQ(static_cast<Int64>(ticks / 10000000) - 11644473600LL, expected);
        }
    }
    if (oldZone)
        setenv("TZ", saved.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
}

// A Unicode path field gives the name only while its check sum matches the raw name it was written
// for; a stale one (the raw name changed since) and one that is no UTF-8 are ignored.
TEST_F(PluginFormatsTest, ZipUnicodePathFieldReplacesTheNameOnlyWhenItMatches) {
    const std::string script = "import zipfile,sys,struct,zlib\n"
                               "def field(crc, name): return struct.pack('<HHB', 0x7075, 5+len(name), 1) + "
                               "struct.pack('<I', crc) + name\n"
                               "z=zipfile.ZipFile(sys.argv[1],'w')\n"
                               "for ph, raw, crc, uni in ((b'AAAA.txt', b'caf\\x82.txt', None, 'café.txt'.encode()),"
                               " (b'BBBB.txt', b'old\\x82.txt', 1, 'new.txt'.encode()),"
                               " (b'CCCC.txt', b'bad\\x82.txt', None, b'\\xff\\xfe.txt')):\n"
                               "  i=zipfile.ZipInfo(ph.decode()); i.extra=field(crc or zlib.crc32(raw), uni); "
                               "z.writestr(i, b'x')\n"
                               "z.close()\n"
                               "d=open(sys.argv[1],'rb').read()\n"
                               "for ph, raw in ((b'AAAA.txt', b'caf\\x82.txt'), (b'BBBB.txt', b'old\\x82.txt'), "
                               "(b'CCCC.txt', b'bad\\x82.txt')): d=d.replace(ph, raw)\n"
                               "open(sys.argv[1],'wb').write(d)\n";
    WriteFile(g_tree->dir / "up.py", script);
    const std::string data = Make("up.zip", std::string(kPy) + " " + Out("up.py") + " " + Out("up.zip"));
    HRESULT res;
    CMyComPtr<IInArchive> arc = OpenArchive(lib, "zip", data, &res);
    ASSERT_EQ(res, S_OK);
    ASSERT_EQ(NumItems(arc), 3u);
    EXPECT_EQ(ItemPath(arc, 0), L"café.txt");
    // The raw names fall back to CP437: 0x82 is é there.
    EXPECT_EQ(ItemPath(arc, 1), L"old\u00e9.txt");
    EXPECT_EQ(ItemPath(arc, 2), L"bad\u00e9.txt");
    CMyComPtr<CExtractCallback> cb = ExtractItems(arc, nullptr, false, &res);
    EXPECT_EQ(res, S_OK);
    for (UInt32 i = 0; i < 3; i++)
        EXPECT_EQ(cb->items[i].data, "x") << i;
}

// Access and creation times are read from the local header's timestamp field, behind a stub too,
// also behind a long name and another field; a field with the modification time only gives neither.
TEST_F(PluginFormatsTest, ZipAccessAndCreationTimesComeFromTheLocalHeader) {
    const std::string script =
        "import zipfile,sys,struct\n"
        "z=zipfile.ZipFile(sys.argv[1],'w')\n"
        "i=zipfile.ZipInfo('all.txt'); i.extra=struct.pack('<HHBiii',0x5455,13,7,"
        "1000000000,1100000000,1200000000); z.writestr(i,b'a')\n"
        "i=zipfile.ZipInfo('m.txt'); i.extra=struct.pack('<HHBi',0x5455,5,1,1000000000); "
        "z.writestr(i,b'm')\n"
        "i=zipfile.ZipInfo('l'*400+'.txt'); i.extra=struct.pack('<HH',0xCAFE,300)+bytes(300)+"
        "struct.pack('<HHBiii',0x5455,13,7,1000000000,1300000000,1400000000); z.writestr(i,b'l')\n"
        "z.close()\n";
    WriteFile(g_tree->dir / "ut.py", script);
    const std::string zip = Make("ut.zip", std::string(kPy) + " " + Out("ut.py") + " " + Out("ut.zip"));
    for (const std::string &data : {zip, std::string(333, 's') + zip}) {
        SCOPED_TRACE(data.size());
        HRESULT res;
        CMyComPtr<IInArchive> arc = OpenArchive(lib, "zip", data, &res);
        ASSERT_EQ(res, S_OK);
        ASSERT_EQ(NumItems(arc), 3u);
        const struct {
            UInt32 item;
            PROPID prop;
            Int64 expected; // -1: none
        } cases[] = {{0, kpidMTime, 1000000000}, {0, kpidATime, 1100000000}, {0, kpidCTime, 1200000000},
                     {1, kpidMTime, 1000000000}, {1, kpidATime, -1},         {1, kpidCTime, -1},
                     {2, kpidATime, 1300000000}, {2, kpidCTime, 1400000000}, {0, kpidCTime, 1200000000}};
        for (const auto &c : cases) {
            SCOPED_TRACE(c.item * 100 + c.prop);
            CProp t;
            ASSERT_EQ(arc->GetProperty(c.item, c.prop, &t), S_OK);
            if (c.expected < 0) {
                EXPECT_EQ(t.vt, VT_EMPTY);
                continue;
            }
            ASSERT_EQ(t.vt, VT_FILETIME);
            const UInt64 ticks = ((UInt64)t.filetime.dwHighDateTime << 32) | t.filetime.dwLowDateTime;
            EXPECT_EQ(static_cast<Int64>(ticks / 10000000) - 11644473600LL, c.expected);
        }
    }
}

TEST_F(PluginFormatsTest, UnmarkedNamesThatAreNotGb18030FallBackToCp437) {
    // 0x80 0x81 is no GB18030 sequence: the name is read as CP437 (Ç ü).
    const std::string script = "import zipfile,sys\n"
                               "with zipfile.ZipFile(sys.argv[1],'w') as z: z.writestr('XX.txt', b'x')\n"
                               "d=open(sys.argv[1],'rb').read().replace(b'XX.txt', b'\\x80\\x81.txt')\n"
                               "open(sys.argv[1],'wb').write(d)\n";
    WriteFile(g_tree->dir / "cp.py", script);
    const std::string data = Make("cp.zip", std::string(kPy) + " " + Out("cp.py") + " " + Out("cp.zip"));
    HRESULT res;
    CMyComPtr<IInArchive> arc = OpenArchive(lib, "zip", data, &res);
    ASSERT_EQ(res, S_OK);
    EXPECT_EQ(ItemPath(arc, 0), L"\u00C7\u00FC.txt");
}

TEST_F(PluginFormatsTest, TarLinksAreListedAndALinkExtractsAsItsTarget) {
    const std::string data =
        Make("links.tar", "ln -sf hello.txt link && bsdtar -cf " + Out("links.tar") + " hello.txt link && rm link");
    HRESULT res;
    CMyComPtr<IInArchive> arc = OpenArchive(lib, "tar", data, &res);
    ASSERT_EQ(res, S_OK);
    ASSERT_EQ(NumItems(arc), 2u);
    CProp link, attrib;
    arc->GetProperty(1, kpidSymLink, &link);
    arc->GetProperty(1, kpidAttrib, &attrib);
    ASSERT_EQ(link.vt, VT_BSTR);
    EXPECT_STREQ(link.bstrVal, L"hello.txt");
    ASSERT_EQ(attrib.vt, VT_UI4);
    EXPECT_EQ((attrib.ulVal >> 16) & 0170000, 0120000u);
    EXPECT_EQ(attrib.ulVal & 0x8000, 0x8000u);
    CMyComPtr<CExtractCallback> cb = ExtractItems(arc, nullptr, false, &res);
    EXPECT_EQ(cb->items[1].data, "hello.txt");
}

} // namespace
