// The codec and hasher cache over a loaded registry, and coders and hashers made through it.
#include "archive/common/CreateCoder.h"
#include "archive/registry_fixtures.h"
#include "archive/ui-common/LoadCodecs.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace tarnova_test_registry;

namespace {

// A loaded registry and its cache, as the command runner keeps them for one command.
struct CLoaded {
    CCodecs *Codecs;
    CMyComPtr<ICompressCodecsInfo> Ref;
    CExternalCodecs Cache;
    HRESULT LoadResult;

    CLoaded() : Codecs(new CCodecs), Ref(Codecs) {
        LoadResult = Codecs->Load();
        Cache.CodecsInfo = Codecs;
        Cache.HashersInfo = Codecs;
    }
    ~CLoaded() { Codecs->CloseLibs(); }
};

std::string Digest(IHasher *hasher, const std::string &data) {
    hasher->Init();
    hasher->Update(data.data(), (UInt32)data.size());
    std::vector<Byte> digest(hasher->GetDigestSize());
    hasher->Final(digest.data());
    std::string hex;
    for (Byte b : digest) {
        static const char kDigits[] = "0123456789abcdef";
        hex += kDigits[b >> 4];
        hex += kDigits[b & 15];
    }
    return hex;
}

TEST(CreateCoder, CacheSkipsUnusableEntriesAndKeepsTheRegistryIndex) {
    CPluginHome home;
    home.Put("codecs", "7z.so");
    CLoaded loaded;
    ASSERT_EQ(loaded.LoadResult, S_OK);
    ASSERT_EQ(loaded.Cache.Load(), S_OK);

    // Out: an id that is not 64-bit (0), two unpacked streams (2), a name that is a number (4).
    struct {
        UInt64 id;
        const char *name;
        UInt32 packStreams;
        bool hasEncoder;
        UInt32 index;
    } const codecs[] = {
        {0x101, "Xor", 1, true, 1},
        {0x103, "Stamp", 1, true, 3},
        {0x105, "", 1, false, 5},
        {0x106, "Multi", 2, true, 6},
    };
    ASSERT_EQ(loaded.Cache.Codecs.Size(), sizeof(codecs) / sizeof(codecs[0]));
    for (unsigned i = 0; i < loaded.Cache.Codecs.Size(); i++) {
        const CExternalCodecInfo &c = loaded.Cache.Codecs[i];
        EXPECT_EQ(c.Id, codecs[i].id);
        EXPECT_STREQ(c.Name, codecs[i].name);
        EXPECT_EQ(c.PackStreams, codecs[i].packStreams);
        EXPECT_TRUE(c.HasDecoder);
        EXPECT_EQ(c.HasEncoder, codecs[i].hasEncoder);
        EXPECT_EQ(c.CodecIndex, codecs[i].index);
    }

    // Out: the hasher whose id is not 64-bit; a name that is not ASCII stays empty.
    ASSERT_EQ(loaded.Cache.Hashers.Size(), 2u);
    EXPECT_EQ(loaded.Cache.Hashers[0].Id, 0x201u);
    EXPECT_STREQ(loaded.Cache.Hashers[0].Name, "Sum");
    EXPECT_EQ(loaded.Cache.Hashers[0].HasherIndex, 1u);
    EXPECT_EQ(loaded.Cache.Hashers[1].Id, 0x202u);
    EXPECT_STREQ(loaded.Cache.Hashers[1].Name, "");
}

// The registry skipped entries before these, so a cache position is not a registry index.
TEST(CreateCoder, CreatesTheMethodThatHasTheId) {
    CPluginHome home;
    home.Put("codecs", "7z.so");
    CLoaded loaded;
    ASSERT_EQ(loaded.Cache.Load(), S_OK);

    for (bool encode : {false, true}) {
        CCreatedCoder cod;
        ASSERT_EQ(CreateCoder(&loaded.Cache, 0x103, encode, cod), S_OK);
        EXPECT_TRUE(cod.FromPlugin);
        EXPECT_FALSE(cod.WrapsFilter);
        ASSERT_TRUE(cod.Coder != nullptr);
        EXPECT_EQ(RunCoder(cod.Coder, "in"), encode ? "STAMP-E" : "STAMP-D");
    }

    AString name;
    CMyComPtr<IHasher> hasher;
    ASSERT_EQ(CreateHasher(&loaded.Cache, 0x201, name, hasher), S_OK);
    EXPECT_STREQ(name, "Sum");
    ASSERT_TRUE(hasher != nullptr);
    EXPECT_EQ(Digest(hasher, "abc"), "26010000"); // 0x61 + 0x62 + 0x63, little-endian
}

TEST(CreateCoder, FilterOnlyCodecIsWrappedIntoAFilterCoder) {
    CPluginHome home;
    home.Put("codecs", "7z.so");
    CLoaded loaded;
    ASSERT_EQ(loaded.Cache.Load(), S_OK);

    CCreatedCoder cod;
    ASSERT_EQ(CreateCoder(&loaded.Cache, 0x101, true, cod), S_OK);
    EXPECT_TRUE(cod.FromPlugin);
    EXPECT_TRUE(cod.WrapsFilter);
    EXPECT_EQ(cod.PackStreams, 1u);
    ASSERT_TRUE(cod.Coder != nullptr);
    std::string expected = "hello";
    for (char &c : expected)
        c ^= 0x5A;
    EXPECT_EQ(RunCoder(cod.Coder, "hello"), expected);

    CMyComPtr<ICompressCoder> coder;
    ASSERT_EQ(CreateCoder(&loaded.Cache, 0x101, false, coder), S_OK);
    ASSERT_TRUE(coder != nullptr);
    EXPECT_EQ(RunCoder(coder, expected), "hello");

    CMyComPtr<ICompressFilter> filter;
    ASSERT_EQ(CreateFilter(&loaded.Cache, 0x101, false, filter), S_OK);
    ASSERT_TRUE(filter != nullptr);
    Byte b = 'a';
    EXPECT_EQ(filter->Filter(&b, 1), 1u);
    EXPECT_EQ(b, 'a' ^ 0x5A);

    // A stream coder is no filter.
    CMyComPtr<ICompressFilter> noFilter;
    ASSERT_EQ(CreateFilter(&loaded.Cache, 0x103, false, noFilter), S_OK);
    EXPECT_TRUE(noFilter == nullptr);
}

TEST(CreateCoder, MissingMethodOrDirectionCreatesNothing) {
    CPluginHome home;
    home.Put("codecs", "7z.so");
    CLoaded loaded;
    ASSERT_EQ(loaded.Cache.Load(), S_OK);

    struct {
        const CExternalCodecs *cache;
        UInt64 id;
        bool encode;
        bool fromPlugin;
    } const cases[] = {
        {&loaded.Cache, 0x105, true, true}, // a decoder only
        {&loaded.Cache, 0x999, false, true},
        {&loaded.Cache, 0x100, false, true}, // skipped by the cache
        {nullptr, 0x103, false, false},
    };
    for (const auto &c : cases) {
        CCreatedCoder cod;
        EXPECT_EQ(CreateCoder(c.cache, c.id, c.encode, cod), S_OK) << c.id;
        EXPECT_EQ(cod.FromPlugin, c.fromPlugin) << c.id;
        EXPECT_TRUE(cod.Coder == nullptr) << c.id;
        EXPECT_TRUE(cod.MultiCoder == nullptr) << c.id;
    }

    AString name = "old";
    CMyComPtr<IHasher> hasher;
    EXPECT_EQ(CreateHasher(&loaded.Cache, 0x200, name, hasher), S_OK);
    EXPECT_TRUE(hasher == nullptr);
    EXPECT_TRUE(name.IsEmpty());
    EXPECT_EQ(CreateHasher(nullptr, 0x201, name, hasher), S_OK);
    EXPECT_TRUE(hasher == nullptr);
}

TEST(CreateCoder, MultiStreamCodecGivesAMultiCoder) {
    CPluginHome home;
    home.Put("codecs", "7z.so");
    CLoaded loaded;
    ASSERT_EQ(loaded.Cache.Load(), S_OK);
    CCreatedCoder cod;
    ASSERT_EQ(CreateCoder(&loaded.Cache, 0x106, false, cod), S_OK);
    EXPECT_TRUE(cod.Coder == nullptr);
    ASSERT_TRUE(cod.MultiCoder != nullptr);
    EXPECT_EQ(cod.PackStreams, 2u);
}

TEST(CreateCoder, MethodsFoundByNameAndId) {
    CPluginHome home;
    home.Put("codecs", "7z.so");
    CLoaded loaded;
    ASSERT_EQ(loaded.Cache.Load(), S_OK);

    UInt64 id = 0;
    UInt32 numStreams = 0;
    ASSERT_TRUE(FindMethod(&loaded.Cache, "multi", id, numStreams));
    EXPECT_EQ(id, 0x106u);
    EXPECT_EQ(numStreams, 2u);
    EXPECT_FALSE(FindMethod(&loaded.Cache, "BadId", id, numStreams));
    EXPECT_FALSE(FindMethod(nullptr, "Xor", id, numStreams));

    AString name = "old";
    ASSERT_TRUE(FindMethod(&loaded.Cache, 0x103, name));
    EXPECT_STREQ(name, "Stamp");
    EXPECT_FALSE(FindMethod(&loaded.Cache, 0x102, name));
    EXPECT_TRUE(name.IsEmpty());

    ASSERT_TRUE(FindHashMethod(&loaded.Cache, "SUM", id));
    EXPECT_EQ(id, 0x201u);
    EXPECT_FALSE(FindHashMethod(&loaded.Cache, "Count", id));

    CRecordVector<UInt64> ids;
    ids.Add(5);
    GetHashMethods(&loaded.Cache, ids);
    EXPECT_EQ(std::vector<UInt64>(ids.ConstData(), ids.ConstData() + ids.Size()), (std::vector<UInt64>{0x201, 0x202}));
    GetHashMethods(nullptr, ids);
    EXPECT_TRUE(ids.IsEmpty());
}

TEST(CreateCoder, CacheHoldsTheRegistryUntilItGoes) {
    CPluginHome home;
    home.Put("codecs", "7z.so");
    CCodecs *codecs = new CCodecs;
    CMyComPtr<ICompressCodecsInfo> ref = codecs;
    ASSERT_EQ(codecs->Load(), S_OK);
    {
        CExternalCodecs cache;
        cache.CodecsInfo = codecs;
        cache.HashersInfo = codecs;
        EXPECT_EQ(codecs->AddRef(), 4u);
        codecs->Release();
    }
    EXPECT_EQ(codecs->AddRef(), 2u);
    codecs->Release();
    codecs->CloseLibs();
}

TEST(RealPlugin, CodersAndHashersByNameAndId) {
    ASSERT_TRUE(CRealPluginHome::Exists()) << "7z.so in " << RealPluginDir();
    CRealPluginHome home;
    CLoaded loaded;
    ASSERT_EQ(loaded.LoadResult, S_OK);
    ASSERT_EQ(loaded.Cache.Load(), S_OK);

    struct {
        const char *name;
        const char *digest; // of "123456789"
    } const hashers[] = {
        {"CRC32", "2639f4cb"},
        {"crc64", "fa3919dfbbc95d99"},
        {"SHA1", "f7c3bc1d808e04732adf679965ccc34ca7ae3441"},
        {"sha256", "15e2b0d3c33891ebb0f1ef609ec419420c20e320ce94c65fbc8c3312448eb225"},
    };
    for (const auto &h : hashers) {
        UInt64 id = 0;
        ASSERT_TRUE(FindHashMethod(&loaded.Cache, h.name, id)) << h.name;
        AString name;
        CMyComPtr<IHasher> hasher;
        ASSERT_EQ(CreateHasher(&loaded.Cache, id, name, hasher), S_OK) << h.name;
        ASSERT_TRUE(hasher != nullptr) << h.name;
        EXPECT_TRUE(name.IsEqualTo_Ascii_NoCase(h.name)) << h.name;
        EXPECT_EQ(Digest(hasher, "123456789"), h.digest) << h.name;
    }

    // Each codec's encoder and decoder by name, checked by a round trip.
    std::string input;
    for (int i = 0; i < 2000; i++)
        input += "registry round trip " + std::to_string(i % 37) + "\n";
    for (const char *method : {"Copy", "Deflate", "BZip2", "LZMA", "LZMA2"}) {
        UInt64 id = 0;
        UInt32 numStreams = 0;
        ASSERT_TRUE(FindMethod(&loaded.Cache, method, id, numStreams)) << method;
        EXPECT_EQ(numStreams, 1u) << method;
        AString name;
        ASSERT_TRUE(FindMethod(&loaded.Cache, id, name)) << method;
        EXPECT_STREQ(name, method);

        CMyComPtr<ICompressCoder> encoder, decoder;
        ASSERT_EQ(CreateCoder(&loaded.Cache, id, true, encoder), S_OK) << method;
        ASSERT_EQ(CreateCoder(&loaded.Cache, id, false, decoder), S_OK) << method;
        ASSERT_TRUE(encoder != nullptr && decoder != nullptr) << method;
        const std::string packed = RunCoder(encoder, input);
        if (id != 0) {
            EXPECT_LT(packed.size(), input.size()) << method;
        }
        // Coders with properties hand them from the encoder to the decoder.
        CMyComPtr<ICompressWriteCoderProperties> writeProps;
        encoder.QueryInterface(IID_ICompressWriteCoderProperties, &writeProps);
        if (writeProps) {
            CStringOutStream *propsSpec = new CStringOutStream;
            CMyComPtr<ISequentialOutStream> propsStream = propsSpec;
            ASSERT_EQ(writeProps->WriteCoderProperties(propsStream), S_OK) << method;
            CMyComPtr<ICompressSetDecoderProperties2> setProps;
            ASSERT_EQ(decoder.QueryInterface(IID_ICompressSetDecoderProperties2, &setProps), S_OK) << method;
            ASSERT_EQ(setProps->SetDecoderProperties2(reinterpret_cast<const Byte *>(propsSpec->Data.data()),
                                                      (UInt32)propsSpec->Data.size()),
                      S_OK)
                << method;
        }
        const std::string unpacked = RunCoder(decoder, packed);
        EXPECT_EQ(unpacked.size(), input.size()) << method;
        EXPECT_TRUE(unpacked == input) << method;
    }
}

} // namespace
