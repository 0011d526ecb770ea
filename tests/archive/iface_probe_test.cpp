// Calls a separately built stand-in plug-in through the interface headers: objects, BSTRs and
// results cross the module boundary as the real plug-in's will.
#include "archive/ICoder.h"
#include "archive/IStream.h"
#include "common/MyCom.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <string.h>

namespace {

const GUID kProbeStreamClassId = {0x23170F69, 0x40C1, 0x278A, {0x10, 0, 0, 0x99, 0, 0x01, 0, 0}};

class ProbePluginTest : public ::testing::Test {
protected:
    void *lib = nullptr;
    Func_CreateObject createObject = nullptr;
    Func_GetHashers getHashers = nullptr;
    int (*liveObjects)() = nullptr;

    void SetUp() override {
        lib = dlopen(TARNOVA_IFACE_PROBE_PATH, RTLD_NOW);
        ASSERT_NE(lib, nullptr) << dlerror();
        createObject = reinterpret_cast<Func_CreateObject>(dlsym(lib, "CreateObject"));
        getHashers = reinterpret_cast<Func_GetHashers>(dlsym(lib, "GetHashers"));
        liveObjects = reinterpret_cast<int (*)()>(dlsym(lib, "ProbeLiveObjects"));
        ASSERT_NE(createObject, nullptr);
        ASSERT_NE(getHashers, nullptr);
        ASSERT_NE(liveObjects, nullptr);
    }
    void TearDown() override {
        if (lib) dlclose(lib);
    }
};

TEST_F(ProbePluginTest, OnlyTheNamedEntryPointsAreExported) {
    EXPECT_EQ(dlsym(lib, "SysAllocString"), nullptr);
}

TEST_F(ProbePluginTest, HasherMadeInThePluginHashesAndIsReleasedOnce) {
    {
        CMyComPtr<IHashers> hashers;
        ASSERT_EQ(getHashers(&hashers), S_OK);
        ASSERT_TRUE(hashers);
        EXPECT_EQ(hashers->GetNumHashers(), 1u);

        PROPVARIANT name;
        memset(&name, 0, sizeof(name));
        ASSERT_EQ(hashers->GetHasherProp(0, NMethodPropID::kName, &name), S_OK);
        ASSERT_EQ(name.vt, VT_BSTR);
        EXPECT_STREQ(name.bstrVal, L"probe-sum");
        EXPECT_EQ(SysStringLen(name.bstrVal), 9u);
        VariantClear(&name); // a BSTR of the plug-in freed by the program

        CMyComPtr<IHasher> hasher;
        ASSERT_EQ(hashers->CreateHasher(0, &hasher), S_OK);
        EXPECT_EQ(liveObjects(), 2);
        hasher->Init();
        hasher->Update("abc", 3);
        Byte digest[4];
        hasher->Final(digest);
        UInt32 sum;
        memcpy(&sum, digest, 4);
        EXPECT_EQ(sum, 'a' + 'b' + 'c');
        EXPECT_EQ(hasher->GetDigestSize(), 4u);

        CMyComPtr<IUnknown> unk;
        ASSERT_EQ(hasher.QueryInterface(IID_IUnknown, &unk), S_OK);
        EXPECT_EQ(static_cast<void *>(unk), static_cast<void *>(hasher));
    }
    EXPECT_EQ(liveObjects(), 0);
}

TEST_F(ProbePluginTest, StreamFromCreateObjectKeepsTheStreamContract) {
    {
        CMyComPtr<IInStream> stream;
        ASSERT_EQ(createObject(&kProbeStreamClassId, &IID_IInStream, reinterpret_cast<void **>(&stream)), S_OK);
        ASSERT_TRUE(stream);
        Byte buf[8];
        UInt32 got = 0;
        ASSERT_EQ(stream->Read(buf, 3, &got), S_OK);
        EXPECT_EQ(got, 3u);
        EXPECT_EQ(memcmp(buf, "pro", 3), 0);
        UInt64 pos = 99;
        EXPECT_EQ(stream->Seek(0, 3, &pos), STG_E_INVALIDFUNCTION);
        EXPECT_EQ(pos, 99u);
        EXPECT_EQ(stream->Seek(-1, STREAM_SEEK_SET, nullptr), HRESULT_WIN32_ERROR_NEGATIVE_SEEK);
        ASSERT_EQ(stream->Seek(-1, STREAM_SEEK_END, &pos), S_OK);
        EXPECT_EQ(pos, 4u);
        ASSERT_EQ(stream->Read(buf, 8, &got), S_OK);
        EXPECT_EQ(got, 1u);
        ASSERT_EQ(stream->Read(buf, 8, &got), S_OK);
        EXPECT_EQ(got, 0u); // end of data

        CMyComPtr<IStreamGetSize> getSize;
        ASSERT_EQ(stream.QueryInterface(IID_IStreamGetSize, &getSize), S_OK);
        UInt64 size = 0;
        EXPECT_EQ(getSize->GetSize(&size), S_OK);
        EXPECT_EQ(size, 5u);

        CMyComPtr<IOutStream> out;
        EXPECT_EQ(stream.QueryInterface(IID_IOutStream, &out), E_NOINTERFACE);
        EXPECT_FALSE(out);
    }
    EXPECT_EQ(liveObjects(), 0);
}

TEST_F(ProbePluginTest, UnknownClassIdIsClassNotAvailable) {
    const GUID other = {0x23170F69, 0x40C1, 0x278A, {0x10, 0, 0, 0x99, 0, 0x02, 0, 0}};
    void *obj = reinterpret_cast<void *>(0x1);
    EXPECT_EQ(createObject(&other, &IID_IInStream, &obj), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(obj, nullptr);
    EXPECT_EQ(createObject(&kProbeStreamClassId, &IID_ICompressCoder, &obj), E_NOINTERFACE);
    EXPECT_EQ(obj, nullptr);
    EXPECT_EQ(liveObjects(), 0);
}

} // namespace
