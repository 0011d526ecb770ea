// Opening archives made at test time by Debian's tools through the registry and our own 7z.so.
#include <gtest/gtest.h>

#include <locale.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <string>
#include <vector>

#include "archive/common/FileStreams.h"
#include "archive/ui-common/ArchiveLink.h"
#include "archive/ui-common/LoadCodecs.h"
#include "windows/PropVariant.h"
#include "test_support.h"

using testsupport::A;
using testsupport::TempFolder;
using testsupport::W;

namespace {

class OpenArchiveTest : public ::testing::Test {
protected:
    static CCodecs *codecs;

    static void SetUpTestSuite() {
        setlocale(LC_ALL, "C.UTF-8");
        const char *dir = getenv("TARNOVA_TEST_OUTPUT_DIR");
        ASSERT_NE(dir, nullptr);
        setenv("TARNOVA_HOME_DIR", (std::string(dir) + "/").c_str(), 1);
        codecs = new CCodecs;
        codecs->AddRef();
        ASSERT_EQ(codecs->Load(), S_OK);
        ASSERT_FALSE(codecs->Formats.IsEmpty()) << "7z.so not found in " << dir;
    }
    static void TearDownTestSuite() {
        if (codecs) {
            codecs->CloseLibs();
            codecs->Release();
            codecs = nullptr;
        }
    }

    void SetUp() override {
        ASSERT_TRUE(dir.Ok());
        ASSERT_TRUE(testsupport::WriteFile(dir / "a.txt", "alpha text\n"));
        ASSERT_EQ(mkdir((dir / "sub").c_str(), 0755), 0);
        ASSERT_TRUE(testsupport::WriteFile(dir / "sub/b.txt", std::string(3000, 'b')));
    }

    // Runs a shell command inside the temporary folder.
    void Sh(const std::string &cmd) { ASSERT_EQ(testsupport::Sh("cd '" + dir.Path() + "' && " + cmd), 0) << cmd; }

    HRESULT OpenLink(CArchiveLink &link, const std::string &path, const CObjectVector<COpenType> *types = nullptr,
                     IOpenCallbackUI *ui = nullptr) {
        COpenOptions op;
        op.registry = codecs;
        op.requestedTypes = types;
        CIntVector excluded;
        op.excludedFormatIndices = &excluded;
        op.filePath = W(path);
        return link.Open3(op, ui);
    }

    std::string FormatOf(const CArc &arc) {
        if (arc.formatIndex < 0) return "<parser>";
        return A(codecs->Formats[(unsigned)arc.formatIndex].Name);
    }

    std::vector<std::string> ItemPaths(const CArc &arc) {
        std::vector<std::string> paths;
        UInt32 n = 0;
        EXPECT_EQ(arc.handler->GetNumberOfItems(&n), S_OK);
        for (UInt32 i = 0; i < n; i++) {
            UString p;
            EXPECT_EQ(arc.GetItemPath(i, p), S_OK);
            paths.push_back(A(p));
        }
        return paths;
    }

    TempFolder dir;
};

CCodecs *OpenArchiveTest::codecs = nullptr;

struct CFormatCase {
    const char *format;
    const char *file;
    const char *make;
};

// Every archive holds a.txt and sub/b.txt, or a.txt alone for the single-stream formats.
const CFormatCase kFormatCases[] = {
    {"zip", "t.zip", "zip -qr t.zip a.txt sub"},
    {"7z", "t.7z",
     "/usr/bin/python3 -c \"import py7zr; z=py7zr.SevenZipFile('t.7z','w'); z.write('a.txt'); "
     "z.writeall('sub'); z.close()\""},
    {"tar", "t.tar", "bsdtar -cf t.tar a.txt sub"},
    {"cpio", "t.cpio", "bsdtar --format newc -cf t.cpio a.txt sub"},
    {"iso", "t.iso", "xorriso -as mkisofs -quiet -o t.iso a.txt sub 2>/dev/null"},
    {"ar", "t.ar", "bsdtar --format ar -cf t.ar a.txt"},
    {"gzip", "a.txt.gz", "gzip -k a.txt"},
    {"bzip2", "a.txt.bz2", "bzip2 -k a.txt"},
    {"xz", "a.txt.xz", "xz -k a.txt"},
    {"zstd", "a.txt.zst", "zstd -q a.txt"},
};

TEST_F(OpenArchiveTest, EachFormatIsFoundByExtensionAndBySignature) {
    for (const CFormatCase &c : kFormatCases) {
        Sh(c.make);
        Sh(std::string("cp ") + c.file + " renamed.bin");
        for (const std::string &name : {std::string(c.file), std::string("renamed.bin")}) {
            CArchiveLink link;
            ASSERT_EQ(OpenLink(link, dir / name), S_OK) << c.format << " as " << name;
            ASSERT_EQ(link.levels.Size(), 1u) << name;
            const CArc &arc = link.levels[0];
            EXPECT_EQ(FormatOf(arc), c.format) << name;
            EXPECT_TRUE(link.isOpen);
            EXPECT_EQ(arc.handlerStreamOffset, 0u);
            const std::vector<std::string> paths = ItemPaths(arc);
            ASSERT_FALSE(paths.empty()) << name;
            // A single stream names its item after the archive.
            bool hasA = false;
            for (const std::string &p : paths)
                hasA |= p == "a.txt" || (name == "renamed.bin" && p == "renamed");
            EXPECT_TRUE(hasA) << c.format << " in " << name << ": " << paths[0];
        }
    }
}

TEST_F(OpenArchiveTest, WrongExtensionStillOpensByContent) {
    Sh("zip -q t.zip a.txt && mv t.zip looks-like.7z");
    CArchiveLink link;
    ASSERT_EQ(OpenLink(link, dir / "looks-like.7z"), S_OK);
    ASSERT_EQ(link.levels.Size(), 1u);
    EXPECT_EQ(FormatOf(link.levels[0]), "zip");
}

TEST_F(OpenArchiveTest, ZipBehindAStubOpensAtItsOffset) {
    const std::string stub(1000, 's');
    ASSERT_TRUE(testsupport::WriteFile(dir / "stub", stub));
    Sh("zip -q t.zip a.txt && cat stub t.zip > setup.bin");

    CArchiveLink link;
    ASSERT_EQ(OpenLink(link, dir / "setup.bin"), S_OK);
    ASSERT_EQ(link.levels.Size(), 1u);
    const CArc &arc = link.levels[0];
    EXPECT_EQ(FormatOf(arc), "zip");
    EXPECT_EQ(arc.GetGlobalOffset(), 1000u);
    EXPECT_EQ(ItemPaths(arc), std::vector<std::string>{"a.txt"});

    // Asked for the embedded archives, the file is listed as the stub and the zip.
    CObjectVector<COpenType> types;
    ASSERT_TRUE(ParseOpenTypes(*codecs, L"#", types));
    CArchiveLink parsed;
    ASSERT_EQ(OpenLink(parsed, dir / "setup.bin", &types), S_OK);
    ASSERT_EQ(parsed.levels.Size(), 1u);
    const CArc &parser = parsed.levels[0];
    EXPECT_TRUE(parser.isParserLevel);
    EXPECT_EQ(ItemPaths(parser), (std::vector<std::string>{"1", "2.zip"}));
    NWindows::NCOM::CPropVariant offset;
    ASSERT_EQ(parser.handler->GetProperty(1, kpidOffset, &offset), S_OK);
    ASSERT_EQ(offset.vt, VT_UI8);
    EXPECT_EQ(offset.uhVal.QuadPart, 1000u);
}

// The binary cpio magic has two bytes: behind other data it is found when the embedded archives
// are asked for, while the same two bytes inside the prefix by chance are no archive.
TEST_F(OpenArchiveTest, BinaryCpioBehindAPrefixIsFoundByTheParser) {
    std::string prefix(3000, 'p');
    // Chance magics: a plausible name length whose name does not end in its zero, and a header
    // of zeros.
    prefix.replace(700, 40,
                   std::string("\xC7\x71") + std::string(18, 'z') + std::string("\x05\0", 2) + std::string(18, 'z'));
    prefix.replace(1500, 40, std::string("\x71\xC7") + std::string(38, '\0'));
    ASSERT_TRUE(testsupport::WriteFile(dir / "prefix", prefix));
    Sh("echo a.txt | cpio -o --quiet -H bin > a.cpio && cat prefix a.cpio > packed.bin");

    CObjectVector<COpenType> types;
    ASSERT_TRUE(ParseOpenTypes(*codecs, L"#", types));
    CArchiveLink parsed;
    ASSERT_EQ(OpenLink(parsed, dir / "packed.bin", &types), S_OK);
    const CArc &parser = parsed.levels[0];
    ASSERT_TRUE(parser.isParserLevel);
    EXPECT_EQ(ItemPaths(parser), (std::vector<std::string>{"1", "2.cpio"}));
    NWindows::NCOM::CPropVariant offset;
    ASSERT_EQ(parser.handler->GetProperty(1, kpidOffset, &offset), S_OK);
    EXPECT_EQ(offset.uhVal.QuadPart, 3000u);
}

// Behind any prefix, a plain open finds the two-byte binary cpio magic as it finds longer ones; a
// "BZh" in the prefix that starts no bzip2 stream does not stop the search.
TEST_F(OpenArchiveTest, BinaryCpioBehindAnyPrefixOpens) {
    Sh("echo a.txt | cpio -o --quiet -H bin > a.cpio");
    struct Case {
        const char *name;
        std::string prefix;
    } cases[] = {
        {"1 byte", "p"},
        {"3 bytes", "pre"},
        {"4097 bytes", std::string(4097, 'p')},
        {"BZh in the prefix", "some text BZhx and more text " + std::string(100, 'p')},
        {"BZh digit in the prefix", "BZh9 is the head of a bzip2 stream, not this " + std::string(100, 'p')},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(testsupport::WriteFile(dir / "prefix", c.prefix));
        Sh("cat prefix a.cpio > packed.bin");
        CArchiveLink link;
        ASSERT_EQ(OpenLink(link, dir / "packed.bin"), S_OK);
        ASSERT_EQ(link.levels.Size(), 1u);
        EXPECT_EQ(FormatOf(link.levels[0]), "cpio");
        EXPECT_EQ(link.levels[0].GetGlobalOffset(), c.prefix.size());
        EXPECT_EQ(ItemPaths(link.levels[0]), std::vector<std::string>{"a.txt"});
    }
}

// The zeros that pad an archive's last record are part of it; anything else after its end is a
// tail that the open reports.
TEST_F(OpenArchiveTest, PaddingIsNoTailButOtherDataAfterTheEndIs) {
    struct Case {
        const char *file;
        const char *make;
    } cases[] = {
        {"t.tar", "tar -cf t.tar a.txt sub"},
        {"b.tar", "bsdtar -cf b.tar a.txt"},
        {"t.cpio", "echo a.txt | cpio -o --quiet -H newc > t.cpio"},
        {"t.zip", "zip -q t.zip a.txt"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.file);
        Sh(c.make);
        for (bool junk : {false, true}) {
            if (junk) Sh(std::string("printf 'not archive data' >> ") + c.file);
            CArchiveLink link;
            ASSERT_EQ(OpenLink(link, dir / c.file), S_OK);
            ASSERT_EQ(link.levels.Size(), 1u);
            EXPECT_EQ(link.levels[0].openErrors.hasTail, junk);
            EXPECT_EQ(link.levels[0].openErrors.tailLength, junk ? 16u : 0u);
            EXPECT_EQ(link.levels[0].openErrors.errorFlags, 0u);
        }
    }
}

TEST_F(OpenArchiveTest, TarGzOpensAsTwoLevelsWithInnerDefaultName) {
    Sh("bsdtar -cf data.tar a.txt sub && gzip data.tar");
    CArchiveLink link;
    ASSERT_EQ(OpenLink(link, dir / "data.tar.gz"), S_OK);
    ASSERT_EQ(link.levels.Size(), 2u);
    EXPECT_EQ(FormatOf(link.levels[0]), "gzip");
    EXPECT_EQ(FormatOf(link.levels[1]), "tar");
    EXPECT_STREQ(link.levels[0].defaultItemName.Ptr(), L"data.tar");
    EXPECT_STREQ(link.levels[1].arcPath.Ptr(), L"data.tar");
    EXPECT_EQ(link.levels[1].itemIndexInParent, 0);
    const std::vector<std::string> paths = ItemPaths(link.levels[1]);
    EXPECT_NE(std::find(paths.begin(), paths.end(), "sub/b.txt"), paths.end());

    // The type list names the innermost level first; asking for one level more than exists fails
    // but keeps what was opened.
    CObjectVector<COpenType> types;
    ASSERT_TRUE(ParseOpenTypes(*codecs, L"tar.gzip", types));
    CArchiveLink typed;
    ASSERT_EQ(OpenLink(typed, dir / "data.tar.gz", &types), S_OK);
    EXPECT_EQ(typed.levels.Size(), 2u);
    ASSERT_TRUE(ParseOpenTypes(*codecs, L"*.tar.gzip", types));
    CArchiveLink tooDeep;
    EXPECT_EQ(OpenLink(tooDeep, dir / "data.tar.gz", &types), E_NOTIMPL);
    EXPECT_TRUE(tooDeep.isOpen);
    EXPECT_EQ(tooDeep.levels.Size(), 2u);
}

TEST_F(OpenArchiveTest, NumberedVolumesAreJoinedAndListed) {
    ASSERT_TRUE(testsupport::WriteFile(dir / "big.txt", std::string(9000, 'v')));
    Sh("zip -q0 v.zip big.txt && split -b 4000 -d -a 3 --numeric-suffixes=1 v.zip v.zip.");
    CArchiveLink link;
    ASSERT_EQ(OpenLink(link, dir / "v.zip.001"), S_OK);
    ASSERT_EQ(link.levels.Size(), 2u);
    EXPECT_EQ(FormatOf(link.levels[0]), "Split");
    EXPECT_EQ(FormatOf(link.levels[1]), "zip");
    EXPECT_STREQ(link.levels[1].arcPath.Ptr(), L"v.zip");
    EXPECT_EQ(ItemPaths(link.levels[1]), std::vector<std::string>{"big.txt"});
    ASSERT_EQ(link.volumeFilePaths.Size(), 2u);
    EXPECT_EQ(A(link.volumeFilePaths[0]), dir / "v.zip.002");
    EXPECT_EQ(A(link.volumeFilePaths[1]), dir / "v.zip.003");
    struct stat st2, st3;
    ASSERT_EQ(stat((dir / "v.zip.002").c_str(), &st2), 0);
    ASSERT_EQ(stat((dir / "v.zip.003").c_str(), &st3), 0);
    EXPECT_EQ(link.volumeFilesSize, (UInt64)(st2.st_size + st3.st_size));
}

TEST_F(OpenArchiveTest, DamagedArchiveIsReportedAsDamagedOfItsFormat) {
    Sh("zip -q t.zip a.txt sub/b.txt && head -c 40 t.zip > broken.zip");
    CArchiveLink link;
    EXPECT_EQ(OpenLink(link, dir / "broken.zip"), S_FALSE);
    EXPECT_FALSE(link.isOpen);
    ASSERT_GE(link.failedOpenErrors.failedFormatIndex, 0);
    EXPECT_STREQ(codecs->Formats[(unsigned)link.failedOpenErrors.failedFormatIndex].Name.Ptr(), L"zip");
    EXPECT_TRUE(link.failedOpenErrors.IsArc_After_NonOpen());

    // Data of no format at all is not blamed on one.
    ASSERT_TRUE(testsupport::WriteFile(dir / "plain.zip", std::string(5000, 'x')));
    CArchiveLink plain;
    EXPECT_EQ(OpenLink(plain, dir / "plain.zip"), S_FALSE);
    EXPECT_EQ(plain.failedOpenErrors.failedFormatIndex, -1);
}

// Remembers what the engine asked of the user.
class CRecordingUI : public IOpenCallbackUI {
public:
    int passwordAsks = 0;
    int finished = 0;
    HRESULT Open_CheckBreak() override { return S_OK; }
    HRESULT Open_SetTotal(const UInt64 *, const UInt64 *) override { return S_OK; }
    HRESULT Open_SetCompleted(const UInt64 *, const UInt64 *) override { return S_OK; }
    HRESULT Open_Finished() override {
        finished++;
        return S_OK;
    }
    HRESULT Open_CryptoGetTextPassword(BSTR *) override {
        passwordAsks++;
        return E_ABORT;
    }
};

TEST_F(OpenArchiveTest, EncryptedZipIsListedWithoutPassword) {
    Sh("zip -q -P secret enc.zip a.txt sub/b.txt");
    CRecordingUI ui;
    CArchiveLink link;
    ASSERT_EQ(OpenLink(link, dir / "enc.zip", nullptr, &ui), S_OK);
    EXPECT_EQ(ui.passwordAsks, 0);
    EXPECT_EQ(ui.finished, 1);
    EXPECT_FALSE(link.passwordRequested);
    EXPECT_EQ(ItemPaths(link.levels[0]), (std::vector<std::string>{"a.txt", "sub/b.txt"}));
}

TEST_F(OpenArchiveTest, ReopenAfterCloseReadsTheFileAgain) {
    Sh("zip -q t.zip a.txt");
    CArchiveLink link;
    ASSERT_EQ(OpenLink(link, dir / "t.zip"), S_OK);
    ASSERT_EQ(link.Close(), S_OK);
    EXPECT_FALSE(link.isOpen);

    // The file changed on disk while closed: the reopened level sees the new content.
    Sh("zip -q t.zip sub/b.txt");
    COpenOptions op;
    op.registry = codecs;
    op.filePath = W(dir / "t.zip");
    ASSERT_EQ(link.ReOpen(op), S_OK);
    EXPECT_TRUE(link.isOpen);
    EXPECT_EQ(ItemPaths(link.levels[0]), (std::vector<std::string>{"a.txt", "sub/b.txt"}));

    // A chain of two levels cannot be reopened.
    Sh("bsdtar -cf d.tar a.txt && gzip d.tar");
    CArchiveLink two;
    ASSERT_EQ(OpenLink(two, dir / "d.tar.gz"), S_OK);
    ASSERT_EQ(two.Close(), S_OK);
    op.filePath = W(dir / "d.tar.gz");
    EXPECT_EQ(two.ReOpen(op), E_NOTIMPL);
}

TEST_F(OpenArchiveTest, ZipBehindAStubReopensAtItsOffset) {
    ASSERT_TRUE(testsupport::WriteFile(dir / "stub", std::string(777, 's')));
    Sh("zip -q t.zip a.txt && cat stub t.zip > setup.bin");
    CArchiveLink link;
    ASSERT_EQ(OpenLink(link, dir / "setup.bin"), S_OK);
    ASSERT_EQ(link.Close(), S_OK);
    COpenOptions op;
    op.registry = codecs;
    op.filePath = W(dir / "setup.bin");
    ASSERT_EQ(link.ReOpen(op), S_OK);
    EXPECT_EQ(link.levels[0].GetGlobalOffset(), 777u);
    EXPECT_EQ(ItemPaths(link.levels[0]), std::vector<std::string>{"a.txt"});
}

TEST_F(OpenArchiveTest, MissingArchiveThrowsAndUnreadableOneGivesItsError) {
    CArchiveLink link;
    bool thrown = false;
    try {
        OpenLink(link, dir / "missing.zip");
    } catch (int e) {
        thrown = e == 20121118;
    }
    EXPECT_TRUE(thrown);

    // A folder is found but cannot be read as a file.
    const HRESULT res = OpenLink(link, dir / "sub");
    EXPECT_NE(res, S_OK);
    EXPECT_NE(res, S_FALSE);
}

class OpenCallbackTest : public ::testing::Test {
protected:
    TempFolder dir;
};

TEST_F(OpenCallbackTest, VolumeRequestsStayBesideTheArchive) {
    ASSERT_TRUE(dir.Ok());
    ASSERT_TRUE(testsupport::WriteFile(dir / "a.001", "one"));
    ASSERT_TRUE(testsupport::WriteFile(dir / "a.002", "two!"));
    ASSERT_EQ(mkdir((dir / "folder").c_str(), 0755), 0);
    ASSERT_TRUE(testsupport::WriteFile(dir / "folder/x", "x"));

    COpenCallbackImp *impl = new COpenCallbackImp;
    CMyComPtr<IArchiveOpenVolumeCallback> callback = impl;
    impl->Init(W(dir.Path() + "/"), L"a.001");

    const wchar_t *const refused[] = {L"../a.002", L"folder/../../a.002", L"/etc/passwd", L"folder", L"missing", L"",
                                      L"./"};
    for (const wchar_t *name : refused) {
        CMyComPtr<IInStream> stream;
        EXPECT_EQ(callback->GetStream(name, &stream), S_FALSE);
        EXPECT_FALSE(stream);
    }
    EXPECT_EQ(impl->volumeNames.Size(), 0u);

    {
        CMyComPtr<IInStream> stream;
        ASSERT_EQ(callback->GetStream(L"a.002", &stream), S_OK);
        ASSERT_TRUE(stream);
        ASSERT_EQ(impl->volumeInUse.Size(), 1u);
        EXPECT_TRUE(impl->volumeInUse[0]);
        EXPECT_EQ(impl->volumeSizes[0], 4u);
        // The archive's own properties now describe the volume last looked up.
        NWindows::NCOM::CPropVariant size;
        ASSERT_EQ(callback->GetProperty(kpidSize, &size), S_OK);
        EXPECT_EQ(size.uhVal.QuadPart, 4u);
    }
    // A released volume is no longer one the archive uses.
    EXPECT_FALSE(impl->volumeInUse[0]);
}

TEST_F(OpenCallbackTest, NestedArchiveAnswersOnlyItsName) {
    COpenCallbackImp *impl = new COpenCallbackImp;
    CMyComPtr<IArchiveOpenVolumeCallback> callback = impl;
    impl->SetSubArchiveName(L"inner/data.tar");
    NWindows::NCOM::CPropVariant name, size;
    ASSERT_EQ(callback->GetProperty(kpidName, &name), S_OK);
    ASSERT_EQ(name.vt, VT_BSTR);
    EXPECT_STREQ(name.bstrVal, L"inner/data.tar");
    ASSERT_EQ(callback->GetProperty(kpidSize, &size), S_OK);
    EXPECT_EQ(size.vt, VT_EMPTY);
    CMyComPtr<IInStream> stream;
    EXPECT_EQ(callback->GetStream(L"data.002", &stream), S_FALSE);
    // No user interface: nobody can give a password.
    CMyComPtr<ICryptoGetTextPassword> password;
    ASSERT_EQ(callback.QueryInterface(IID_ICryptoGetTextPassword, &password), S_OK);
    BSTR pw = nullptr;
    EXPECT_EQ(password->CryptoGetTextPassword(&pw), E_NOTIMPL);
}

TEST(ParseOpenTypes, TypeTextsAndSizes) {
    const struct {
        const wchar_t *text;
        bool ok;
        UInt64 value;
    } sizes[] = {
        {L"4k", true, 4096},
        {L"16M", true, 16777216},
        {L"1t", true, (UInt64)1 << 40},
        {L"17179869184g", false, 0},
        {L"17179869183g", true, 17179869183ull << 30},
        {L"5kb", false, 0},
        {L"", false, 0},
        {L"12", true, 12},
        {L"7b", true, 7},
        {L"3x", false, 0},
        {L"k", false, 0},
    };
    for (const auto &c : sizes) {
        UInt64 v = 99;
        EXPECT_EQ(ParseComplexSize(c.text, v), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(v, c.value) << c.text;
        }
    }
}

TEST_F(OpenArchiveTest, TypeParametersSetTheOpenType) {
    CObjectVector<COpenType> types;
    ASSERT_TRUE(ParseOpenTypes(*codecs, L"zip:s4k:e:r", types));
    ASSERT_EQ(types.Size(), 1u);
    EXPECT_STREQ(codecs->Formats[(unsigned)types[0].formatIndex].Name.Ptr(), L"zip");
    EXPECT_TRUE(types[0].startLimitDefined);
    EXPECT_EQ(types[0].startLimit, 4096u);
    EXPECT_TRUE(types[0].tryEveryPosition);
    EXPECT_TRUE(types[0].descend);

    ASSERT_TRUE(ParseOpenTypes(*codecs, L"#", types));
    EXPECT_EQ(types[0].formatIndex, -1);
    EXPECT_FALSE(types[0].acceptArc);
    EXPECT_TRUE(types[0].acceptParser);
    EXPECT_FALSE(types[0].descend);

    for (const wchar_t *bad : {L"", L"zip..tar", L"nosuchformat", L"zip:", L"zip:q", L"zip:x4k", L"zip:s5kb", L"."})
        EXPECT_FALSE(ParseOpenTypes(*codecs, bad, types)) << bad;
}

// A 7z is found only from its start header (a zip also from its end, stub and all).
TEST_F(OpenArchiveTest, ForcedFormatWithZeroStartLimitTriesOnlyTheStart) {
    ASSERT_TRUE(testsupport::WriteFile(dir / "stub", std::string(600, 's')));
    Sh("bsdtar --format 7zip -cf t.7z a.txt && cat stub t.7z > setup.7z");
    CObjectVector<COpenType> types;
    ASSERT_TRUE(ParseOpenTypes(*codecs, L"7z:s0", types));
    CArchiveLink link;
    EXPECT_EQ(OpenLink(link, dir / "setup.7z", &types), S_FALSE);
    ASSERT_TRUE(ParseOpenTypes(*codecs, L"7z", types));
    CArchiveLink forced;
    ASSERT_EQ(OpenLink(forced, dir / "setup.7z", &types), S_OK);
    EXPECT_EQ(forced.levels[0].GetGlobalOffset(), 600u);
}

} // namespace
