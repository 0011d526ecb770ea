// The plug-in as the registry sees it: its exports, the types of every format, method and hasher
// property (one wrong type and the registry refuses the whole library), hashers and coders.
#include "PluginHarness.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

using namespace NPluginTest;

namespace {

std::string Hex(const Byte *p, size_t n) {
    static const char *digits = "0123456789abcdef";
    std::string s;
    for (size_t i = 0; i < n; i++) {
        s += digits[p[i] >> 4];
        s += digits[p[i] & 15];
    }
    return s;
}

CMyComPtr<IHashers> Hashers(const CPluginLib &lib) {
    CMyComPtr<IHashers> h;
    lib.Fn<Func_GetHashers>("GetHashers")(&h);
    return h;
}

std::string Digest(IHashers *hashers, const std::string &name, const std::string &data) {
    for (UInt32 i = 0; i < hashers->GetNumHashers(); i++) {
        CProp n;
        hashers->GetHasherProp(i, NMethodPropID::kName, &n);
        if (n.vt != VT_BSTR || Utf8(n.bstrVal) != name) continue;
        CMyComPtr<IHasher> h;
        if (hashers->CreateHasher(i, &h) != S_OK || !h) return "create failed";
        h->Init();
        // In two pieces, so that the state carries over between updates.
        h->Update(data.data(), static_cast<UInt32>(data.size() / 2));
        h->Update(data.data() + data.size() / 2, static_cast<UInt32>(data.size() - data.size() / 2));
        Byte digest[64];
        h->Final(digest);
        return Hex(digest, h->GetDigestSize());
    }
    return "no hasher " + name;
}

class PluginRegistryTest : public ::testing::Test {
protected:
    CPluginLib lib;
    void SetUp() override { ASSERT_TRUE(lib.Loaded()) << dlerror(); }
};

TEST_F(PluginRegistryTest, ExportsTheEntryPointsAndHidesItsHelpers) {
    for (const char *name :
         {"CreateObject", "GetNumberOfFormats", "GetHandlerProperty2", "GetIsArc", "GetNumberOfMethods",
          "GetMethodProperty", "CreateDecoder", "CreateEncoder", "GetHashers", "SetLargePageMode", "SetCaseSensitive",
          "global_use_utf16_conversion", "global_use_lstat", "sync_TestConstructor"})
        EXPECT_NE(lib.Sym(name), nullptr) << name;
    for (const char *name : {"SysAllocString", "SysFreeString", "VariantClear", "GetHandlerProperty", "SetCodecs"})
        EXPECT_EQ(lib.Sym(name), nullptr) << name;
    EXPECT_EQ(lib.Fn<Func_SetLargePageMode>("SetLargePageMode")(), S_OK);
    EXPECT_EQ(lib.Fn<Func_SetCaseSensitive>("SetCaseSensitive")(0), S_OK);
}

TEST_F(PluginRegistryTest, EveryFormatPropertyHasTheTypeTheRegistryReads) {
    auto prop = lib.Fn<Func_GetHandlerProperty2>("GetHandlerProperty2");
    auto getIsArc = lib.Fn<Func_GetIsArc>("GetIsArc");
    ASSERT_GE(lib.NumFormats(), 17u);
    for (UInt32 i = 0; i < lib.NumFormats(); i++) {
        SCOPED_TRACE(i);
        using namespace NArchive::NHandlerPropID;
        {
            CProp v;
            ASSERT_EQ(prop(i, kName, &v), S_OK);
            EXPECT_EQ(v.vt, VT_BSTR);
        }
        {
            CProp v;
            ASSERT_EQ(prop(i, kClassID, &v), S_OK);
            ASSERT_EQ(v.vt, VT_BSTR);
            EXPECT_EQ(SysStringByteLen(v.bstrVal), 16u);
        }
        for (PROPID id : {kExtension, kAddExtension, kSignature, kMultiSignature}) {
            CProp v;
            ASSERT_EQ(prop(i, id, &v), S_OK);
            EXPECT_TRUE(v.vt == VT_BSTR || v.vt == VT_EMPTY) << id;
        }
        for (PROPID id : {kUpdate, kKeepName, kAltStreams, kNtSecure}) {
            CProp v;
            ASSERT_EQ(prop(i, id, &v), S_OK);
            EXPECT_EQ(v.vt, VT_BOOL) << id;
        }
        for (PROPID id : {kSignatureOffset, kFlags}) {
            CProp v;
            ASSERT_EQ(prop(i, id, &v), S_OK);
            EXPECT_EQ(v.vt, VT_UI4) << id;
        }
        Func_IsArc isArc = nullptr;
        EXPECT_EQ(getIsArc(i, &isArc), S_OK);
    }
}

struct CFormatPin {
    const char *name;
    Byte classIdByte;
    const char *exts;
    const char *addExts;
    UInt32 flags;
    UInt32 signatureOffset;
};

TEST_F(PluginRegistryTest, FormatsKeepTheirNamesClassIdsExtensionsAndFlags) {
    using namespace NArcInfoFlags;
    const CFormatPin pins[] = {
        {"7z", 1, "7z", "", kSymLinks, 0},
        {"zip", 2, "zip z01 zipx jar xpi odt ods odp docx xlsx pptx epub apk", "", kMultiSignature | kSymLinks, 0},
        {"tar", 3, "tar ova", "", kSymLinks | kHardLinks, 0},
        {"gzip", 4, "gz gzip tgz tpz", "* * .tar .tar", kKeepName, 0},
        {"bzip2", 5, "bz2 bzip2 tbz2 tbz", "* * .tar .tar", kKeepName, 0},
        {"xz", 6, "xz txz", "* .tar", kKeepName, 0},
        {"zstd", 7, "zst zstd tzst", "* * .tar", kKeepName, 0},
        {"rar", 8, "rar r00", "", 0, 0},
        {"rar5", 9, "rar r00", "", 0, 0},
        {"cab", 10, "cab", "", 0, 0},
        {"iso", 11, "iso img", "", 0, 0x8001},
        {"cpio", 12, "cpio", "", kMultiSignature | kSymLinks | kHardLinks, 0},
        {"ar", 13, "ar a deb udeb lib", "", 0, 0},
        {"rpm", 14, "rpm", "", 0, 0},
        {"xar", 15, "xar pkg xip", "", 0, 0},
        {"lzh", 16, "lzh lha", "", kMultiSignature, 2},
        {"Split", 17, "001", "", 0, 0},
    };
    auto prop = lib.Fn<Func_GetHandlerProperty2>("GetHandlerProperty2");
    for (const CFormatPin &pin : pins) {
        SCOPED_TRACE(pin.name);
        const int index = lib.FindFormat(pin.name);
        ASSERT_GE(index, 0);
        const GUID expected = {0x5441524E, 0x4F56, 0x0001, {0x10, 0, 0, 0, 0, 0, 0, pin.classIdByte}};
        EXPECT_TRUE(lib.FormatClassId(static_cast<UInt32>(index)) == expected);
        CProp exts, addExts, flags, offset;
        prop(static_cast<UInt32>(index), NArchive::NHandlerPropID::kExtension, &exts);
        prop(static_cast<UInt32>(index), NArchive::NHandlerPropID::kAddExtension, &addExts);
        prop(static_cast<UInt32>(index), NArchive::NHandlerPropID::kFlags, &flags);
        prop(static_cast<UInt32>(index), NArchive::NHandlerPropID::kSignatureOffset, &offset);
        EXPECT_EQ(Utf8(exts.bstrVal), pin.exts);
        EXPECT_EQ(addExts.vt == VT_BSTR ? Utf8(addExts.bstrVal) : std::string(), pin.addExts);
        EXPECT_EQ(flags.ulVal, pin.flags);
        EXPECT_EQ(offset.ulVal, pin.signatureOffset);
    }
}

TEST_F(PluginRegistryTest, MultiSignaturesAreLengthPrefixedRecords) {
    CProp v;
    lib.Fn<Func_GetHandlerProperty2>("GetHandlerProperty2")(static_cast<UInt32>(lib.FindFormat("zip")),
                                                            NArchive::NHandlerPropID::kMultiSignature, &v);
    ASSERT_EQ(v.vt, VT_BSTR);
    const std::string bytes(reinterpret_cast<const char *>(v.bstrVal), SysStringByteLen(v.bstrVal));
    EXPECT_EQ(bytes, std::string("\x04PK\x03\x04\x04PK\x05\x06", 10));
}

TEST_F(PluginRegistryTest, MethodsHaveTheirIdsNamesAndPropertyTypes) {
    UInt32 n = 0;
    ASSERT_EQ(lib.Fn<Func_GetNumberOfMethods>("GetNumberOfMethods")(&n), S_OK);
    auto prop = lib.Fn<Func_GetMethodProperty>("GetMethodProperty");
    std::map<std::string, UInt64> ids;
    for (UInt32 i = 0; i < n; i++) {
        SCOPED_TRACE(i);
        CProp id, name, dec, enc, pack, unpack, decA, encA;
        ASSERT_EQ(prop(i, NMethodPropID::kID, &id), S_OK);
        ASSERT_EQ(prop(i, NMethodPropID::kName, &name), S_OK);
        ASSERT_EQ(prop(i, NMethodPropID::kDecoder, &dec), S_OK);
        ASSERT_EQ(prop(i, NMethodPropID::kEncoder, &enc), S_OK);
        ASSERT_EQ(prop(i, NMethodPropID::kPackStreams, &pack), S_OK);
        ASSERT_EQ(prop(i, NMethodPropID::kUnpackStreams, &unpack), S_OK);
        ASSERT_EQ(prop(i, NMethodPropID::kDecoderIsAssigned, &decA), S_OK);
        ASSERT_EQ(prop(i, NMethodPropID::kEncoderIsAssigned, &encA), S_OK);
        ASSERT_EQ(id.vt, VT_UI8);
        ASSERT_EQ(name.vt, VT_BSTR);
        ASSERT_EQ(dec.vt, VT_BSTR);
        EXPECT_EQ(SysStringByteLen(dec.bstrVal), 16u);
        ASSERT_EQ(enc.vt, VT_BSTR);
        EXPECT_EQ(SysStringByteLen(enc.bstrVal), 16u);
        EXPECT_EQ(pack.vt, VT_UI4);
        EXPECT_EQ(unpack.vt, VT_UI4);
        EXPECT_EQ(unpack.ulVal, 1u);
        EXPECT_EQ(decA.vt, VT_BOOL);
        EXPECT_EQ(encA.vt, VT_BOOL);
        ids[Utf8(name.bstrVal)] = id.uhVal.QuadPart;
    }
    const std::map<std::string, UInt64> expected = {
        {"Copy", 0}, {"Deflate", 0x040108}, {"BZip2", 0x040202}, {"LZMA", 0x030101}, {"LZMA2", 0x21}};
    EXPECT_EQ(ids, expected);
}

TEST_F(PluginRegistryTest, HashersGiveKnownDigests) {
    CMyComPtr<IHashers> hashers = Hashers(lib);
    ASSERT_TRUE(hashers);
    for (UInt32 i = 0; i < hashers->GetNumHashers(); i++) {
        CProp id, name, size;
        ASSERT_EQ(hashers->GetHasherProp(i, NMethodPropID::kID, &id), S_OK);
        ASSERT_EQ(hashers->GetHasherProp(i, NMethodPropID::kName, &name), S_OK);
        ASSERT_EQ(hashers->GetHasherProp(i, NMethodPropID::kDigestSize, &size), S_OK);
        EXPECT_EQ(id.vt, VT_UI8);
        EXPECT_EQ(name.vt, VT_BSTR);
        EXPECT_EQ(size.vt, VT_UI4);
    }
    // CRC32 is stored low byte first: CBF43926 reads as 2639f4cb.
    EXPECT_EQ(Digest(hashers, "CRC32", "123456789"), "2639f4cb");
    EXPECT_EQ(Digest(hashers, "CRC64", "123456789"), "fa3919dfbbc95d99");
    EXPECT_EQ(Digest(hashers, "SHA1", "abc"), "a9993e364706816aba3e25717850c26c9cd0d89d");
    EXPECT_EQ(Digest(hashers, "SHA256", "abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(Digest(hashers, "SHA256", ""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    CMyComPtr<IHasher> none;
    EXPECT_NE(hashers->CreateHasher(hashers->GetNumHashers(), &none), S_OK);
    EXPECT_FALSE(none);
}

std::string RunCoder(ICompressCoder *coder, const std::string &in, const UInt64 *outSize, HRESULT *result) {
    CMyComPtr<ISequentialInStream> inStream = new CMemInStream(in);
    CMyComPtr<CMemOutStream> out = new CMemOutStream;
    *result = coder->Code(inStream, out.operator->(), nullptr, outSize, nullptr);
    return out->data;
}

CMyComPtr<ICompressCoder> MakeCoder(const CPluginLib &lib, UInt32 index, bool encode) {
    CMyComPtr<ICompressCoder> coder;
    lib.Fn<Func_CreateDecoder>(encode ? "CreateEncoder" : "CreateDecoder")(index, &IID_ICompressCoder,
                                                                           reinterpret_cast<void **>(&coder));
    return coder;
}

TEST_F(PluginRegistryTest, EveryCoderDecodesWhatItsEncoderWrote) {
    std::string data;
    for (int i = 0; i < 200000; i++)
        data += static_cast<char>((i * 7 + i / 1000) % 251);
    UInt32 n = 0;
    lib.Fn<Func_GetNumberOfMethods>("GetNumberOfMethods")(&n);
    for (UInt32 i = 0; i < n; i++) {
        SCOPED_TRACE(i);
        CMyComPtr<ICompressCoder> enc = MakeCoder(lib, i, true);
        CMyComPtr<ICompressCoder> dec = MakeCoder(lib, i, false);
        ASSERT_TRUE(enc && dec);
        HRESULT res;
        const std::string packed = RunCoder(enc, data, nullptr, &res);
        ASSERT_EQ(res, S_OK);
        CMyComPtr<ICompressWriteCoderProperties> writeProps;
        enc->QueryInterface(IID_ICompressWriteCoderProperties, reinterpret_cast<void **>(&writeProps));
        if (writeProps) {
            CMyComPtr<CMemOutStream> props = new CMemOutStream;
            ASSERT_EQ(writeProps->WriteCoderProperties(props.operator->()), S_OK);
            CMyComPtr<ICompressSetDecoderProperties2> setProps;
            ASSERT_EQ(dec->QueryInterface(IID_ICompressSetDecoderProperties2, reinterpret_cast<void **>(&setProps)),
                      S_OK);
            ASSERT_EQ(setProps->SetDecoderProperties2(reinterpret_cast<const Byte *>(props->data.data()),
                                                      static_cast<UInt32>(props->data.size())),
                      S_OK);
        }
        const UInt64 size = data.size();
        EXPECT_EQ(RunCoder(dec, packed, &size, &res), data);
        EXPECT_EQ(res, S_OK);
    }
}

TEST_F(PluginRegistryTest, DecodersRefuseDamagedData) {
    UInt32 n = 0;
    lib.Fn<Func_GetNumberOfMethods>("GetNumberOfMethods")(&n);
    for (UInt32 i = 1; i < n; i++) { // 0 is Copy: anything is valid
        SCOPED_TRACE(i);
        CMyComPtr<ICompressCoder> enc = MakeCoder(lib, i, true);
        CMyComPtr<ICompressCoder> dec = MakeCoder(lib, i, false);
        HRESULT res;
        std::string packed = RunCoder(enc, std::string(5000, 'x') + "tail", nullptr, &res);
        CMyComPtr<ICompressWriteCoderProperties> writeProps;
        enc->QueryInterface(IID_ICompressWriteCoderProperties, reinterpret_cast<void **>(&writeProps));
        if (writeProps) {
            CMyComPtr<CMemOutStream> props = new CMemOutStream;
            writeProps->WriteCoderProperties(props.operator->());
            CMyComPtr<ICompressSetDecoderProperties2> setProps;
            dec->QueryInterface(IID_ICompressSetDecoderProperties2, reinterpret_cast<void **>(&setProps));
            setProps->SetDecoderProperties2(reinterpret_cast<const Byte *>(props->data.data()),
                                            static_cast<UInt32>(props->data.size()));
        }
        packed.resize(packed.size() / 2); // cut short: the end never comes
        RunCoder(dec, packed, nullptr, &res);
        EXPECT_EQ(res, S_FALSE);
    }
}

TEST(PluginLoading, TwoHundredLoadUnloadCyclesStayClean) {
    for (int i = 0; i < 200; i++) {
        CPluginLib lib;
        ASSERT_TRUE(lib.Loaded()) << dlerror();
        CMyComPtr<IHashers> hashers = Hashers(lib);
        ASSERT_TRUE(hashers);
        ASSERT_EQ(Digest(hashers, "CRC32", "123456789"), "2639f4cb");
        hashers.Release();
        HRESULT res;
        CMyComPtr<IInArchive> arc = OpenArchive(lib, "gzip", std::string("\x1F\x8B\x08", 3), &res);
        ASSERT_TRUE(arc);
        arc.Release();
    }
}

} // namespace
