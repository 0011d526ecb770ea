// The plug-in registry: which libraries it keeps, what it reads from them, the look-ups, and the
// codec and hasher interfaces it offers back to them.
#include "archive/ui-common/LoadCodecs.h"
#include "archive/registry_fixtures.h"
#include "windows/PropVariant.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace tarnova_test_registry;
using NWindows::NCOM::CPropVariant;

namespace {

std::wstring W(const UString &s) {
    return std::wstring(s.Ptr(), s.Len());
}

std::string Bytes(const CByteBuffer &b) {
    return std::string(reinterpret_cast<const char *>((const Byte *)b), b.Size());
}

bool IsLoaded(const std::string &path) {
    void *h = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (!h) return false;
    dlclose(h);
    return true;
}

ULONG RefCount(IUnknown *p) {
    const ULONG n = p->AddRef();
    p->Release();
    return n - 1;
}

std::vector<std::wstring> FormatNames(const CCodecs &codecs) {
    std::vector<std::wstring> names;
    for (unsigned i = 0; i < codecs.Formats.Size(); i++)
        names.push_back(W(codecs.Formats[i].Name));
    return names;
}

// A registry as its creators hold it: one reference from the start.
struct CRegistry {
    CCodecs *Impl;
    CMyComPtr<ICompressCodecsInfo> Ref;
    CRegistry() : Impl(new CCodecs), Ref(Impl) {}
    ~CRegistry() {
        if (Impl) Impl->CloseLibs();
    }
    CCodecs *operator->() const { return Impl; }
};

GUID ProbeClassId(UInt16 kind, Byte id) {
    GUID g = {0x50524F42, 0, kind, {0, 0, 0, 0, 0, 0, 0, id}};
    return g;
}

TEST(Registry, EmptyFolderLoadsNothingAndNamesTheMissingMainModule) {
    CPluginHome home;
    CRegistry codecs;
    ASSERT_EQ(codecs->Load(), S_OK);
    EXPECT_TRUE(codecs->Formats.IsEmpty());
    EXPECT_TRUE(codecs->Codecs.IsEmpty());
    EXPECT_TRUE(codecs->Hashers.IsEmpty());
    EXPECT_TRUE(codecs->Libs.IsEmpty());
    EXPECT_EQ(W(codecs->FailedMainModule), L"7z.dll");
    EXPECT_FALSE(codecs->PassCodecsToLibs);
}

TEST(Registry, OneLibraryIsToldTheCaseRuleButNotGivenTheRegistry) {
    CPluginHome home;
    home.Put("alpha", "7z.so");
    CRegistry codecs;
    codecs->CaseSensitiveSet = true;
    codecs->CaseSensitive = true;
    ASSERT_EQ(codecs->Load(), S_OK);
    EXPECT_TRUE(codecs->FailedMainModule.IsEmpty());
    ASSERT_EQ(codecs->Libs.Size(), 1u);
    EXPECT_EQ(W(codecs->Libs[0].Path), std::wstring(home.Dir().begin(), home.Dir().end()) + L"/7z.dll");
    EXPECT_FALSE(codecs->PassCodecsToLibs);
    EXPECT_EQ(ProbeLog(), "alpha:case1;");
    EXPECT_EQ(RefCount(codecs.Ref), 1u);
}

TEST(Registry, FormatsCarryFlagsExtensionsAndSignatures) {
    CPluginHome home;
    home.Put("alpha", "7z.so");
    CRegistry codecs;
    ASSERT_EQ(codecs->Load(), S_OK);
    // The format without a class id is skipped; the others keep their index in the library.
    ASSERT_EQ(FormatNames(*codecs.Impl), (std::vector<std::wstring>{L"Alpha", L"Beta", L"Gamma"}));

    const CArcInfoEx &alpha = codecs->Formats[0];
    EXPECT_EQ(alpha.LibIndex, 0);
    EXPECT_EQ(alpha.FormatIndex, 0u);
    EXPECT_TRUE(alpha.ClassId == ProbeClassId(1, 0xA1));
    ASSERT_EQ(alpha.Exts.Size(), 3u);
    EXPECT_EQ(W(alpha.Exts[0].Ext), L"alp");
    EXPECT_EQ(W(alpha.Exts[0].PairedExt), L"");
    EXPECT_EQ(W(alpha.Exts[1].Ext), L"alq");
    EXPECT_EQ(W(alpha.Exts[1].PairedExt), L"cc");
    EXPECT_EQ(W(alpha.Exts[2].Ext), L"tgz");
    EXPECT_EQ(W(alpha.Exts[2].PairedExt), L"");
    EXPECT_EQ(W(alpha.GetMainExt()), L"alp");
    EXPECT_TRUE(alpha.CanWrite);
    EXPECT_TRUE(alpha.FlagsDefined);
    EXPECT_EQ(alpha.Flags, 0x41u);
    ASSERT_EQ(alpha.Signatures.Size(), 1u);
    EXPECT_EQ(Bytes(alpha.Signatures[0]), "ALP");
    EXPECT_EQ(alpha.SignatureOffset, 4u);
    ASSERT_NE(alpha.IsArcTest, nullptr);
    EXPECT_EQ(alpha.IsArcTest(reinterpret_cast<const Byte *>("ALPx"), 4), (UInt32)k_IsArc_Res_YES);
    EXPECT_EQ(alpha.CreateInHandler, nullptr);

    // Flags from the three booleans; signatures from a list whose last record is cut short.
    const CArcInfoEx &beta = codecs->Formats[1];
    EXPECT_EQ(beta.FormatIndex, 2u);
    EXPECT_FALSE(beta.FlagsDefined);
    EXPECT_EQ(beta.Flags, 0x05u);
    EXPECT_FALSE(beta.CanWrite);
    ASSERT_EQ(beta.Signatures.Size(), 2u);
    EXPECT_EQ(Bytes(beta.Signatures[0]), "abc");
    EXPECT_EQ(Bytes(beta.Signatures[1]), "");
    EXPECT_EQ(beta.SignatureOffset, 0u);
    EXPECT_EQ(beta.IsArcTest, nullptr);

    // A writer flag of the wrong type leaves the format read-only without failing the load.
    const CArcInfoEx &gamma = codecs->Formats[2];
    EXPECT_FALSE(gamma.CanWrite);
    EXPECT_EQ(gamma.Flags, 0x07u);
    EXPECT_TRUE(gamma.Signatures.IsEmpty());
}

TEST(Registry, SignatureListsSplitIntoRecords) {
    struct {
        std::string data;
        bool whole;
        std::vector<std::string> sigs;
    } const cases[] = {
        {"", true, {}},
        {std::string("\x03"
                     "abc"
                     "\x00\x02x",
                     7),
         false,
         {"abc", ""}},
        {std::string("\x01"
                     "a"
                     "\x02"
                     "bc",
                     5),
         true,
         {"a", "bc"}},
        {std::string("\x00", 1), true, {""}},
        {"\x02"
         "b",
         false,
         {}},
    };
    for (const auto &c : cases) {
        CObjectVector<CByteBuffer> sigs;
        sigs.AddNew().CopyFrom(reinterpret_cast<const Byte *>("old"), 3);
        EXPECT_EQ(ParseSignatures(reinterpret_cast<const Byte *>(c.data.data()), c.data.size(), sigs), c.whole);
        std::vector<std::string> got;
        for (unsigned i = 0; i < sigs.Size(); i++)
            got.push_back(Bytes(sigs[i]));
        EXPECT_EQ(got, c.sigs);
    }
}

TEST(Registry, LibrariesOfBothFoldersShareTheRegistryUntilCloseLibs) {
    CPluginHome home;
    const std::string mainPath = home.Put("alpha", "7z.so");
    const std::string codecsPath = home.Put("codecs", "Codecs/probe.so");
    const std::string deltaPath = home.Put("delta", "Formats/delta.so");
    // Not scanned: a folder (even one named like a library) and what lies below it.
    home.Put("single", "Formats/nested.so/single.so");
    home.PutText("Formats/readme.txt", "not a library");

    CRegistry codecs;
    ASSERT_EQ(codecs->Load(), S_OK);
    ASSERT_EQ(codecs->Libs.Size(), 3u);
    EXPECT_TRUE(codecs->PassCodecsToLibs);
    EXPECT_EQ(FormatNames(*codecs.Impl), (std::vector<std::wstring>{L"Alpha", L"Beta", L"Gamma", L"Delta"}));
    EXPECT_EQ(codecs->Formats[3].LibIndex, 2);
    ASSERT_EQ(codecs->Codecs.Size(), 7u);
    EXPECT_EQ(codecs->GetCodec_LibIndex(0), 1);
    ASSERT_EQ(codecs->Hashers.Size(), 3u);
    EXPECT_EQ(codecs->GetHasherLibIndex(2), 1);

    // Each library got the whole registry once, in load order, and keeps a reference to it.
    EXPECT_EQ(ProbeLog(), "alpha:set7;codecs:set7;delta:set7;");
    EXPECT_EQ(RefCount(codecs.Ref), 4u);

    ClearProbeLog();
    codecs->CloseLibs();
    EXPECT_EQ(ProbeLog(), "alpha:null;codecs:null;delta:null;");
    EXPECT_EQ(RefCount(codecs.Ref), 1u);
    EXPECT_TRUE(codecs->Libs.IsEmpty());
    EXPECT_FALSE(IsLoaded(mainPath));
    EXPECT_FALSE(IsLoaded(codecsPath));
    EXPECT_FALSE(IsLoaded(deltaPath));

    // The tables stay but lead nowhere now.
    CPropVariant prop;
    EXPECT_EQ(codecs->GetProperty(1, NMethodPropID::kName, &prop), E_FAIL);
    void *coder = &prop;
    EXPECT_EQ(codecs->CreateDecoder(3, &IID_ICompressCoder, &coder), E_FAIL);
    EXPECT_EQ(coder, nullptr);
    CMyComPtr<IInArchive> handler;
    EXPECT_EQ(codecs->CreateInArchive(3, handler), E_FAIL);
}

TEST(Registry, LibrariesThatAddNothingAreUnloaded) {
    CPluginHome home;
    const std::string noCreate = home.Put("nocreate", "Formats/nocreate.so");
    const std::string noClassId = home.Put("noclsid", "Formats/noclsid.so");
    home.Put("delta", "Formats/delta.so");
    home.PutText("Formats/junk.so", "not a library either");

    CRegistry codecs;
    ASSERT_EQ(codecs->Load(), S_OK);
    EXPECT_EQ(W(codecs->FailedMainModule), L"7z.dll");
    ASSERT_EQ(codecs->Libs.Size(), 1u);
    EXPECT_NE(W(codecs->Libs[0].Path).find(L"delta.so"), std::wstring::npos);
    EXPECT_EQ(FormatNames(*codecs.Impl), (std::vector<std::wstring>{L"Delta"}));
    EXPECT_EQ(codecs->Formats[0].LibIndex, 0);
    EXPECT_FALSE(IsLoaded(noCreate));
    EXPECT_FALSE(IsLoaded(noClassId));
    // One library left: nobody is handed the registry.
    EXPECT_FALSE(codecs->PassCodecsToLibs);
    EXPECT_EQ(ProbeLog().find("set"), std::string::npos);
}

TEST(Registry, MalformedPropertiesEndLoadKeepingWhatCameBefore) {
    struct {
        const char *variant;
        HRESULT res;
        std::vector<std::wstring> formats;
        unsigned numCodecs;
        bool libraryKept;
    } const cases[] = {
        {"classid15", E_FAIL, {}, 0, false},
        {"classid17", E_FAIL, {}, 0, false},
        {"wrongtype", E_FAIL, {L"Good"}, 0, true},
        {"badcodec", E_FAIL, {}, 7, true},
    };
    for (const auto &c : cases) {
        CPluginHome home;
        const std::string path = home.Put(c.variant, "7z.so");
        // The failure ends the load before the folders are scanned.
        home.Put("delta", "Formats/delta.so");
        CRegistry codecs;
        EXPECT_EQ(codecs->Load(), c.res) << c.variant;
        EXPECT_EQ(FormatNames(*codecs.Impl), c.formats) << c.variant;
        EXPECT_EQ(codecs->Codecs.Size(), c.numCodecs) << c.variant;
        EXPECT_EQ(codecs->Libs.Size(), c.libraryKept ? 1u : 0u) << c.variant;
        EXPECT_EQ(IsLoaded(path), c.libraryKept) << c.variant;
        EXPECT_EQ(ProbeLog().find("set"), std::string::npos) << c.variant;
    }
}

TEST(Registry, LibraryWithoutFormatIndexDescribesOneFormat) {
    CPluginHome home;
    home.Put("single", "7z.so");
    CRegistry codecs;
    ASSERT_EQ(codecs->Load(), S_OK);
    ASSERT_EQ(FormatNames(*codecs.Impl), (std::vector<std::wstring>{L"Single"}));
    EXPECT_EQ(codecs->Formats[0].FormatIndex, 0u);
    EXPECT_EQ(codecs->Formats[0].Flags, 0x10u);
    EXPECT_TRUE(codecs->Formats[0].CanWrite);
    EXPECT_EQ(codecs->Formats[0].IsArcTest, nullptr);
}

TEST(Registry, FormatLookUpsByNameExtensionAndType) {
    CPluginHome home;
    home.Put("alpha", "7z.so");
    home.Put("delta", "Formats/delta.so");
    CRegistry codecs;
    ASSERT_EQ(codecs->Load(), S_OK);
    const int alpha = 0, beta = 1, gamma = 2, delta = 3;
    ASSERT_EQ(FormatNames(*codecs.Impl), (std::vector<std::wstring>{L"Alpha", L"Beta", L"Gamma", L"Delta"}));

    struct {
        const wchar_t *path;
        int format;
    } const names[] = {
        {L"/data/x.alp", alpha}, {L"x.ALQ", alpha},  {L"A.ZIP", beta},   {L"dir.d/file", -1},
        {L"dir.alp/file", -1},   {L"setup.exe", -1}, {L"setup.EXE", -1}, {L"noext", -1},
        {L"trailing.", -1},      {L"x.dlt", delta},  {L".gam", gamma},   {L"archive.tar.tgz", alpha},
    };
    for (const auto &n : names)
        EXPECT_EQ(codecs->FindFormatForArchiveName(n.path), n.format) << n.path;

    struct {
        const wchar_t *ext;
        int format;
    } const exts[] = {{L"", -1}, {L"alq", alpha}, {L"ZIP", beta}, {L"exe", gamma}, {L"dlt", delta}, {L"cc", -1}};
    for (const auto &e : exts)
        EXPECT_EQ(codecs->FindFormatForExtension(e.ext), e.format) << e.ext;

    EXPECT_EQ(codecs->FindFormatForArchiveType(L"bEtA"), beta);
    EXPECT_EQ(codecs->FindFormatForArchiveType(L"zip"), -1);

    struct {
        const wchar_t *types;
        bool ok;
        std::vector<int> indices;
    } const types[] = {
        {L"", true, {}},
        {L"alpha", true, {alpha}},
        {L"alpha.*", true, {alpha, -1}},
        {L"DELTA.alpha", true, {delta, alpha}},
        {L"alpha.", true, {alpha}},
        {L"alpha..beta", false, {alpha}},
        {L".alpha", false, {}},
        {L"alpha.nope", false, {}},
        {L"*", true, {-1}},
    };
    for (const auto &t : types) {
        CRecordVector<int> indices;
        indices.Add(99);
        EXPECT_EQ(codecs->FindFormatForArchiveType(t.types, indices), t.ok) << t.types;
        std::vector<int> got(indices.ConstData(), indices.ConstData() + indices.Size());
        EXPECT_EQ(got, t.indices) << t.types;
    }
}

TEST(Registry, CodecAndHasherInterfacesReachTheOwningLibrary) {
    CPluginHome home;
    home.Put("codecs", "7z.so");
    CRegistry codecs;
    ASSERT_EQ(codecs->Load(), S_OK);

    UInt32 numMethods = 0;
    ASSERT_EQ(codecs->GetNumMethods(&numMethods), S_OK);
    EXPECT_EQ(numMethods, 7u);

    // Assigned flags come from the class ids; everything else is the library's.
    CPropVariant prop;
    ASSERT_EQ(codecs->GetProperty(5, NMethodPropID::kEncoderIsAssigned, &prop), S_OK);
    EXPECT_EQ(prop.vt, VT_BOOL);
    EXPECT_EQ(prop.boolVal, VARIANT_FALSE);
    prop.Clear();
    ASSERT_EQ(codecs->GetProperty(5, NMethodPropID::kDecoderIsAssigned, &prop), S_OK);
    EXPECT_EQ(prop.boolVal, VARIANT_TRUE);
    prop.Clear();
    ASSERT_EQ(codecs->GetProperty(3, NMethodPropID::kName, &prop), S_OK);
    EXPECT_STREQ(prop.bstrVal, L"Stamp");
    prop.Clear();
    EXPECT_EQ(codecs->GetProperty(7, NMethodPropID::kName, &prop), E_INVALIDARG);

    EXPECT_TRUE(codecs->GetCodec_DecoderIsAssigned(5));
    EXPECT_FALSE(codecs->GetCodec_EncoderIsAssigned(5));
    EXPECT_EQ(codecs->GetCodec_NumStreams(3), 1u);
    EXPECT_EQ(codecs->GetCodec_NumStreams(6), 2u);
    UInt64 id = 7;
    EXPECT_EQ(codecs->GetCodec_Id(0, id), E_INVALIDARG);
    ASSERT_EQ(codecs->GetCodec_Id(1, id), S_OK);
    EXPECT_EQ(id, 0x101u);
    EXPECT_STREQ(codecs->GetCodec_Name(1), "Xor");
    EXPECT_STREQ(codecs->GetCodec_Name(4), "");

    // Decoders by index through CreateDecoder; encoders through CreateObject with the class id,
    // since the library has no CreateEncoder.
    CMyComPtr<ICompressCoder> decoder, encoder;
    ASSERT_EQ(codecs->CreateDecoder(3, &IID_ICompressCoder, (void **)&decoder), S_OK);
    ASSERT_EQ(codecs->CreateEncoder(3, &IID_ICompressCoder, (void **)&encoder), S_OK);
    EXPECT_EQ(RunCoder(decoder, "x"), "STAMP-D");
    EXPECT_EQ(RunCoder(encoder, "x"), "STAMP-E");
    void *none = &prop;
    EXPECT_EQ(codecs->CreateEncoder(5, &IID_ICompressCoder, &none), S_OK);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(codecs->CreateDecoder(1, &IID_ICompressCoder, &none), E_NOINTERFACE);
    EXPECT_EQ(codecs->CreateEncoder(99, &IID_ICompressCoder, &none), E_INVALIDARG);

    EXPECT_EQ(codecs->GetNumHashers(), 3u);
    EXPECT_EQ(codecs->GetHasherId(0), 0u);
    EXPECT_EQ(codecs->GetHasherId(1), 0x201u);
    EXPECT_STREQ(codecs->GetHasherName(1), "Sum");
    EXPECT_STREQ(codecs->GetHasherName(2), "");
    EXPECT_EQ(codecs->GetHasherDigestSize(1), 4u);
    EXPECT_EQ(codecs->GetHasherDigestSize(2), 0u);
    CMyComPtr<IHasher> hasher;
    ASSERT_EQ(codecs->CreateHasher(1, &hasher), S_OK);
    hasher->Init();
    hasher->Update("abc", 3);
    UInt32 digest = 0;
    hasher->Final(reinterpret_cast<Byte *>(&digest));
    EXPECT_EQ(digest, 0x61u + 0x62 + 0x63);
    IHasher *noHasher = nullptr;
    EXPECT_EQ(codecs->CreateHasher(3, &noHasher), E_INVALIDARG);

    // IUnknown and ICompressCodecsInfo share the first part, IHashers is the second.
    void *unknown = nullptr, *info = nullptr, *hashers = nullptr, *other = &prop;
    ASSERT_EQ(codecs->QueryInterface(IID_IUnknown, &unknown), S_OK);
    ASSERT_EQ(codecs->QueryInterface(IID_ICompressCodecsInfo, &info), S_OK);
    ASSERT_EQ(codecs->QueryInterface(IID_IHashers, &hashers), S_OK);
    EXPECT_EQ(unknown, info);
    EXPECT_EQ(info, static_cast<ICompressCodecsInfo *>(codecs.Impl));
    EXPECT_EQ(hashers, static_cast<IHashers *>(codecs.Impl));
    EXPECT_EQ(codecs->QueryInterface(IID_IInArchive, &other), E_NOINTERFACE);
    EXPECT_EQ(other, nullptr);
    for (void *p : {unknown, info})
        static_cast<ICompressCodecsInfo *>(p)->Release();
    static_cast<IHashers *>(hashers)->Release();
    EXPECT_EQ(RefCount(codecs.Ref), 1u);
}

// The real plug-in, as the program finds it beside itself.

struct CFormatRow {
    const wchar_t *name;
    const wchar_t *exts;
    const wchar_t *paired;
    UInt32 flags;
    UInt32 offset;
    std::vector<std::string> sigs;
};

std::wstring JoinExts(const CArcInfoEx &f, bool paired) {
    std::wstring s;
    for (unsigned i = 0; i < f.Exts.Size(); i++) {
        if (i) s += L' ';
        s += W(paired ? f.Exts[i].PairedExt : f.Exts[i].Ext);
        if (paired && f.Exts[i].PairedExt.IsEmpty()) s += L'-';
    }
    return s;
}

TEST(RealPlugin, LoadFindsEveryFormatMethodAndHasher) {
    ASSERT_TRUE(CRealPluginHome::Exists()) << "7z.so in " << RealPluginDir();
    CRealPluginHome home;
    CRegistry codecs;
    ASSERT_EQ(codecs->Load(), S_OK);
    EXPECT_TRUE(codecs->FailedMainModule.IsEmpty());

    using namespace NArcInfoFlags;
    const std::string s(1, '\0');
    const CFormatRow rows[] = {
        {L"7z", L"7z", L"-", kSymLinks, 0, {"7z\xBC\xAF\x27\x1C"}},
        {L"zip",
         L"zip z01 zipx jar xpi odt ods odp docx xlsx pptx epub apk",
         L"- - - - - - - - - - - - -",
         kMultiSignature | kSymLinks,
         0,
         {"PK\x03\x04", "PK\x05\x06"}},
        {L"tar", L"tar ova", L"- -", kSymLinks | kHardLinks, 0, {}},
        {L"gzip", L"gz gzip tgz tpz", L"- - .tar .tar", kKeepName, 0, {"\x1F\x8B\x08"}},
        {L"bzip2", L"bz2 bzip2 tbz2 tbz", L"- - .tar .tar", kKeepName, 0, {"BZh"}},
        {L"xz",
         L"xz txz",
         L"- .tar",
         kKeepName,
         0,
         {"\xFD"
          "7zXZ" +
          s}},
        {L"zstd", L"zst zstd tzst", L"- - .tar", kKeepName, 0, {"\x28\xB5\x2F\xFD"}},
        {L"rar", L"rar r00", L"- -", 0, 0, {"Rar!\x1A\x07" + s}},
        {L"rar5", L"rar r00", L"- -", 0, 0, {"Rar!\x1A\x07\x01" + s}},
        {L"cab", L"cab", L"-", 0, 0, {"MSCF" + s + s + s + s}},
        {L"iso", L"iso img", L"- -", 0, 0x8001, {"CD001"}},
        {L"cpio",
         L"cpio",
         L"-",
         kMultiSignature | kSymLinks | kHardLinks,
         0,
         {"070701", "070702", "070707", "\xC7\x71", "\x71\xC7"}},
        {L"ar", L"ar a deb udeb lib", L"- - - - -", 0, 0, {"!<arch>\n"}},
        {L"rpm", L"rpm", L"-", 0, 0, {"\xED\xAB\xEE\xDB"}},
        {L"xar", L"xar pkg xip", L"- - -", 0, 0, {"xar!"}},
        {L"lzh", L"lzh lha", L"- -", kMultiSignature, 2, {"-lh", "-lz"}},
        {L"Split", L"001", L"-", 0, 0, {}},
    };
    unsigned numFromMain = 0;
    for (unsigned i = 0; i < codecs->Formats.Size(); i++)
        if (codecs->Formats[i].LibIndex == 0) numFromMain++;
    EXPECT_EQ(numFromMain, sizeof(rows) / sizeof(rows[0]));

    for (const CFormatRow &row : rows) {
        const int index = codecs->FindFormatForArchiveType(row.name);
        ASSERT_GE(index, 0) << row.name;
        const CArcInfoEx &f = codecs->Formats[(unsigned)index];
        EXPECT_EQ(f.LibIndex, 0) << row.name;
        EXPECT_EQ(JoinExts(f, false), row.exts) << row.name;
        EXPECT_EQ(JoinExts(f, true), row.paired) << row.name;
        EXPECT_TRUE(f.FlagsDefined) << row.name;
        EXPECT_EQ(f.Flags, row.flags) << row.name;
        EXPECT_EQ(f.SignatureOffset, row.offset) << row.name;
        std::vector<std::string> sigs;
        for (unsigned k = 0; k < f.Signatures.Size(); k++)
            sigs.push_back(Bytes(f.Signatures[k]));
        EXPECT_EQ(sigs, row.sigs) << row.name;

        // Every format makes a reading handler through its class id.
        CMyComPtr<IInArchive> handler;
        EXPECT_EQ(codecs->CreateInArchive((unsigned)index, handler), S_OK) << row.name;
        EXPECT_TRUE(handler != nullptr) << row.name;
    }
    const int tar = codecs->FindFormatForArchiveType(L"tar");
    ASSERT_GE(tar, 0);
    EXPECT_NE(codecs->Formats[(unsigned)tar].IsArcTest, nullptr);

    struct {
        const char *name;
        UInt64 id;
    } const methods[] = {{"Copy", 0}, {"Deflate", 0x040108}, {"BZip2", 0x040202}, {"LZMA", 0x030101}, {"LZMA2", 0x21}};
    ASSERT_EQ(codecs->Codecs.Size(), sizeof(methods) / sizeof(methods[0]));
    for (UInt32 i = 0; i < codecs->Codecs.Size(); i++) {
        EXPECT_STREQ(codecs->GetCodec_Name(i), methods[i].name);
        UInt64 id = 99;
        EXPECT_EQ(codecs->GetCodec_Id(i, id), S_OK);
        EXPECT_EQ(id, methods[i].id) << methods[i].name;
        EXPECT_TRUE(codecs->GetCodec_DecoderIsAssigned(i)) << methods[i].name;
        EXPECT_TRUE(codecs->GetCodec_EncoderIsAssigned(i)) << methods[i].name;
        EXPECT_EQ(codecs->GetCodec_NumStreams(i), 1u) << methods[i].name;
    }

    struct {
        const char *name;
        UInt64 id;
        UInt32 digestSize;
    } const hashers[] = {{"CRC32", 1, 4}, {"CRC64", 4, 8}, {"SHA1", 0x201, 20}, {"SHA256", 0xA, 32}};
    ASSERT_EQ(codecs->GetNumHashers(), sizeof(hashers) / sizeof(hashers[0]));
    for (UInt32 i = 0; i < codecs->GetNumHashers(); i++) {
        EXPECT_STREQ(codecs->GetHasherName(i), hashers[i].name);
        EXPECT_EQ(codecs->GetHasherId(i), hashers[i].id);
        EXPECT_EQ(codecs->GetHasherDigestSize(i), hashers[i].digestSize);
    }
}

TEST(RealPlugin, FormatLookUps) {
    ASSERT_TRUE(CRealPluginHome::Exists()) << "7z.so in " << RealPluginDir();
    CRealPluginHome home;
    CRegistry codecs;
    ASSERT_EQ(codecs->Load(), S_OK);
    auto name = [&](int index) -> std::wstring { return index < 0 ? L"-" : W(codecs->Formats[(unsigned)index].Name); };

    struct {
        const wchar_t *path;
        const wchar_t *format;
    } const paths[] = {
        {L"a.7z", L"7z"},       {L"/x/y.tar.gz", L"gzip"}, {L"B.TGZ", L"gzip"},   {L"backup.tar", L"tar"},
        {L"disk.img", L"iso"},  {L"pkg.deb", L"ar"},       {L"part.r00", L"rar"}, {L"film.001", L"Split"},
        {L"book.EPUB", L"zip"}, {L"a.txz", L"xz"},         {L"setup.exe", L"-"},  {L"dir.zip/file", L"-"},
        {L"notes.txt", L"-"},   {L"archive.", L"-"},
    };
    for (const auto &p : paths)
        EXPECT_EQ(name(codecs->FindFormatForArchiveName(p.path)), p.format) << p.path;

    EXPECT_EQ(name(codecs->FindFormatForExtension(L"LHA")), L"lzh");
    EXPECT_EQ(name(codecs->FindFormatForArchiveType(L"RAR5")), L"rar5");

    struct {
        const wchar_t *types;
        bool ok;
        std::vector<std::wstring> formats;
    } const types[] = {
        {L"7z.*", true, {L"7z", L"-"}},
        {L"gzip.tar", true, {L"gzip", L"tar"}},
        {L"tar.gz", false, {}},
        {L"zip..7z", false, {L"zip"}},
    };
    for (const auto &t : types) {
        CRecordVector<int> indices;
        EXPECT_EQ(codecs->FindFormatForArchiveType(t.types, indices), t.ok) << t.types;
        std::vector<std::wstring> got;
        for (unsigned i = 0; i < indices.Size(); i++)
            got.push_back(name(indices[i]));
        EXPECT_EQ(got, t.formats) << t.types;
    }
}

} // namespace
