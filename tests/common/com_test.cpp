// The COM-style object model: QueryInterface, reference counting, CMyComPtr and the boundary
// exception rule.
#include "archive/IArchive.h"
#include "archive/ICoder.h"
#include "archive/IStream.h"
#include "common/MyCom.h"

#include <gtest/gtest.h>

#include <new>
#include <utility>
#include <thread>

namespace {

int g_destroyed = 0;

// Two interfaces, as CInFileStream has them: the first answers for IUnknown.
class CTwoPartStream : public IInStream, public IStreamGetSize, public CMyUnknownImp {
public:
    COM_UNKNOWN_IMP(IInStream, IStreamGetSize)

    ~CTwoPartStream() override { g_destroyed++; }
    HRESULT Read(void *, UInt32, UInt32 *processedSize) override {
        if (processedSize) *processedSize = 0;
        return S_OK;
    }
    HRESULT Seek(Int64, UInt32, UInt64 *) override { return S_OK; }
    HRESULT GetSize(UInt64 *size) override {
        *size = 42;
        return S_OK;
    }
};

// Answers IUnknown only, as CStdInFileStream does.
class CUnknownOnlyStream : public ISequentialInStream, public CMyUnknownImp {
public:
    COM_UNKNOWN_IMP_0(ISequentialInStream)
    HRESULT Read(void *, UInt32, UInt32 *) override { return S_OK; }
};

UInt32 RefCount(const CMyUnknownImp *o) {
    return o->_m_RefCount.load();
}

class ComTest : public ::testing::Test {
protected:
    void SetUp() override { g_destroyed = 0; }
};

TEST_F(ComTest, QueryInterfaceForUnknownIdGivesNoInterfaceAndNull) {
    CTwoPartStream *obj = new CTwoPartStream;
    CMyComPtr<IInStream> holder(obj);
    void *out = reinterpret_cast<void *>(0x1234);
    EXPECT_EQ(holder->QueryInterface(IID_IOutStream, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(RefCount(obj), 1u);
}

TEST_F(ComTest, QueryInterfaceForIUnknownGivesFirstPartAndAddsReference) {
    CTwoPartStream *obj = new CTwoPartStream;
    CMyComPtr<IInStream> holder(obj);
    ASSERT_EQ(RefCount(obj), 1u);
    void *out = nullptr;
    ASSERT_EQ(holder->QueryInterface(IID_IUnknown, &out), S_OK);
    EXPECT_EQ(out, static_cast<void *>(static_cast<IUnknown *>(static_cast<IInStream *>(obj))));
    EXPECT_EQ(RefCount(obj), 2u);
    static_cast<IUnknown *>(out)->Release();
    EXPECT_EQ(RefCount(obj), 1u);
}

TEST_F(ComTest, EveryInterfacePartAnswersForTheSameObjectAndCount) {
    CTwoPartStream *obj = new CTwoPartStream;
    CMyComPtr<IInStream> inStream(obj);
    CMyComPtr<IStreamGetSize> getSize;
    ASSERT_EQ(inStream.QueryInterface(IID_IStreamGetSize, &getSize), S_OK);
    EXPECT_EQ(static_cast<IStreamGetSize *>(getSize), static_cast<IStreamGetSize *>(obj));
    EXPECT_NE(static_cast<void *>(getSize), static_cast<void *>(static_cast<IInStream *>(obj)));
    EXPECT_EQ(RefCount(obj), 2u);

    // IUnknown asked through the second part still gives the first part.
    CMyComPtr<IUnknown> unk;
    ASSERT_EQ(getSize.QueryInterface(IID_IUnknown, &unk), S_OK);
    EXPECT_EQ(static_cast<void *>(unk), static_cast<void *>(static_cast<IInStream *>(obj)));
    EXPECT_EQ(RefCount(obj), 3u);

    EXPECT_EQ(getSize->AddRef(), 4u);
    EXPECT_EQ(getSize->Release(), 3u);
    UInt64 size = 0;
    EXPECT_EQ(getSize->GetSize(&size), S_OK);
    EXPECT_EQ(size, 42u);
}

TEST_F(ComTest, BaseOfAnInterfaceIsNotAnsweredUnlessListed) {
    CMyComPtr<IInStream> holder(new CTwoPartStream);
    CMyComPtr<ISequentialInStream> seq;
    EXPECT_EQ(holder.QueryInterface(IID_ISequentialInStream, &seq), E_NOINTERFACE);
    EXPECT_FALSE(seq);
}

TEST_F(ComTest, UnknownOnlyObjectAnswersOnlyIUnknown) {
    CUnknownOnlyStream *obj = new CUnknownOnlyStream;
    CMyComPtr<ISequentialInStream> holder(obj);
    CMyComPtr<ISequentialInStream> again;
    EXPECT_EQ(holder.QueryInterface(IID_ISequentialInStream, &again), E_NOINTERFACE);
    CMyComPtr<IUnknown> unk;
    ASSERT_EQ(holder.QueryInterface(IID_IUnknown, &unk), S_OK);
    EXPECT_EQ(static_cast<void *>(unk), static_cast<void *>(static_cast<ISequentialInStream *>(obj)));
}

TEST_F(ComTest, ObjectInOneComPtrDroppedIsDestroyedOnce) {
    {
        CMyComPtr<IInStream> holder(new CTwoPartStream);
        EXPECT_EQ(g_destroyed, 0);
    }
    EXPECT_EQ(g_destroyed, 1);
}

TEST_F(ComTest, ReleaseOfLastReferenceReturnsZero) {
    CTwoPartStream *obj = new CTwoPartStream;
    EXPECT_EQ(RefCount(obj), 0u);
    EXPECT_EQ(obj->AddRef(), 1u);
    EXPECT_EQ(obj->AddRef(), 2u);
    EXPECT_EQ(obj->Release(), 1u);
    EXPECT_EQ(g_destroyed, 0);
    EXPECT_EQ(obj->Release(), 0u);
    EXPECT_EQ(g_destroyed, 1);
}

TEST_F(ComTest, ComPtrCopyAssignMoveAttachDetachKeepTheCount) {
    CTwoPartStream *obj = new CTwoPartStream;
    {
        CMyComPtr<IInStream> a(obj);
        CMyComPtr<IInStream> b(a);
        EXPECT_EQ(RefCount(obj), 2u);
        CMyComPtr<IInStream> c;
        c = b;
        EXPECT_EQ(RefCount(obj), 3u);
        CMyComPtr<IInStream> &same = c;
        c = same; // self-assignment keeps the reference
        EXPECT_EQ(RefCount(obj), 3u);
        CMyComPtr<IInStream> d(std::move(c));
        EXPECT_FALSE(c);
        EXPECT_EQ(RefCount(obj), 3u);
        b.Release();
        EXPECT_FALSE(b);
        EXPECT_EQ(RefCount(obj), 2u);
        IInStream *raw = d.Detach();
        EXPECT_EQ(RefCount(obj), 2u);
        CMyComPtr<IInStream> e;
        e.Attach(raw);
        EXPECT_EQ(RefCount(obj), 2u);
        CMyComPtr<IInStream> f;
        f = std::move(e);
        EXPECT_FALSE(e);
        EXPECT_EQ(RefCount(obj), 2u);
        f = nullptr;
        EXPECT_EQ(RefCount(obj), 1u);
        EXPECT_EQ(g_destroyed, 0);
    }
    EXPECT_EQ(g_destroyed, 1);
}

TEST_F(ComTest, EmptyComPtrQueryGivesNoInterface) {
    CMyComPtr<IInStream> empty;
    CMyComPtr<IStreamGetSize> out;
    EXPECT_EQ(empty.QueryInterface(IID_IStreamGetSize, &out), E_NOINTERFACE);
    EXPECT_FALSE(out);
}

TEST_F(ComTest, ReferenceCountSurvivesConcurrentAddRefRelease) {
    CTwoPartStream *obj = new CTwoPartStream;
    CMyComPtr<IInStream> holder(obj);
    auto work = [obj] {
        for (int i = 0; i < 100000; i++) {
            obj->AddRef();
            obj->Release();
        }
    };
    std::thread t1(work), t2(work);
    t1.join();
    t2.join();
    EXPECT_EQ(RefCount(obj), 1u);
    EXPECT_EQ(g_destroyed, 0);
}

// Sixteen one-operation interfaces: the largest list COM_UNKNOWN_IMP takes.
class CSixteen : public ICompressSetCoderMt,
                 public ICompressSetFinishMode,
                 public ICompressInitEncoder,
                 public ICompressSetOutStreamSize,
                 public ICryptoResetInitVector,
                 public ICryptoSetCRC,
                 public ICryptoSetPassword,
                 public ICompressGetInStreamProcessedSize,
                 public ICompressSetDecoderProperties2,
                 public IArchiveKeepModeForNextOpen,
                 public IArchiveAllowTail,
                 public IOutStreamFinish,
                 public IStreamGetSize,
                 public ICompressWriteCoderProperties,
                 public ICompressGetSubStreamSize,
                 public IArchiveOpenSetSubArchiveName,
                 public CMyUnknownImp {
public:
    COM_UNKNOWN_IMP(ICompressSetCoderMt, ICompressSetFinishMode, ICompressInitEncoder, ICompressSetOutStreamSize,
                    ICryptoResetInitVector, ICryptoSetCRC, ICryptoSetPassword, ICompressGetInStreamProcessedSize,
                    ICompressSetDecoderProperties2, IArchiveKeepModeForNextOpen, IArchiveAllowTail, IOutStreamFinish,
                    IStreamGetSize, ICompressWriteCoderProperties, ICompressGetSubStreamSize,
                    IArchiveOpenSetSubArchiveName)

    HRESULT SetNumberOfThreads(UInt32) override { return S_OK; }
    HRESULT SetFinishMode(UInt32) override { return S_OK; }
    HRESULT InitEncoder() override { return S_OK; }
    HRESULT SetOutStreamSize(const UInt64 *) override { return S_OK; }
    HRESULT ResetInitVector() override { return S_OK; }
    HRESULT CryptoSetCRC(UInt32) override { return S_OK; }
    HRESULT CryptoSetPassword(const Byte *, UInt32) override { return S_OK; }
    HRESULT GetInStreamProcessedSize(UInt64 *) override { return S_OK; }
    HRESULT SetDecoderProperties2(const Byte *, UInt32) override { return S_OK; }
    HRESULT KeepModeForNextOpen() override { return S_OK; }
    HRESULT SetTailAllowed(Int32) override { return S_OK; }
    HRESULT OutStreamFinish() override { return S_OK; }
    HRESULT GetSize(UInt64 *) override { return S_OK; }
    HRESULT WriteCoderProperties(ISequentialOutStream *) override { return S_OK; }
    HRESULT GetSubStreamSize(UInt64, UInt64 *) override { return S_OK; }
    HRESULT SetSubArchiveName(const wchar_t *) override { return S_OK; }
};

template <class I> void ExpectPart(CSixteen *obj, REFGUID iid) {
    void *out = nullptr;
    ASSERT_EQ(static_cast<ICompressSetCoderMt *>(obj)->QueryInterface(iid, &out), S_OK);
    EXPECT_EQ(out, static_cast<void *>(static_cast<I *>(obj)));
    static_cast<IUnknown *>(out)->Release();
}

TEST_F(ComTest, SixteenInterfacesEachAnswerWithTheirOwnPart) {
    CSixteen *obj = new CSixteen;
    CMyComPtr<ICompressSetCoderMt> holder(obj);
    ExpectPart<ICompressSetCoderMt>(obj, IID_IUnknown);
    ExpectPart<ICompressSetCoderMt>(obj, IID_ICompressSetCoderMt);
    ExpectPart<ICompressSetFinishMode>(obj, IID_ICompressSetFinishMode);
    ExpectPart<ICompressInitEncoder>(obj, IID_ICompressInitEncoder);
    ExpectPart<ICompressSetOutStreamSize>(obj, IID_ICompressSetOutStreamSize);
    ExpectPart<ICryptoResetInitVector>(obj, IID_ICryptoResetInitVector);
    ExpectPart<ICryptoSetCRC>(obj, IID_ICryptoSetCRC);
    ExpectPart<ICryptoSetPassword>(obj, IID_ICryptoSetPassword);
    ExpectPart<ICompressGetInStreamProcessedSize>(obj, IID_ICompressGetInStreamProcessedSize);
    ExpectPart<ICompressSetDecoderProperties2>(obj, IID_ICompressSetDecoderProperties2);
    ExpectPart<IArchiveKeepModeForNextOpen>(obj, IID_IArchiveKeepModeForNextOpen);
    ExpectPart<IArchiveAllowTail>(obj, IID_IArchiveAllowTail);
    ExpectPart<IOutStreamFinish>(obj, IID_IOutStreamFinish);
    ExpectPart<IStreamGetSize>(obj, IID_IStreamGetSize);
    ExpectPart<ICompressWriteCoderProperties>(obj, IID_ICompressWriteCoderProperties);
    ExpectPart<ICompressGetSubStreamSize>(obj, IID_ICompressGetSubStreamSize);
    ExpectPart<IArchiveOpenSetSubArchiveName>(obj, IID_IArchiveOpenSetSubArchiveName);
    void *out = nullptr;
    EXPECT_EQ(holder->QueryInterface(IID_ICompressCoder, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(RefCount(obj), 1u);
}

TEST(ComBstrTest, HolderCopiesAndFreesItsString) {
    CMyComBSTR a(L"pass");
    EXPECT_EQ(a.Len(), 4u);
    CMyComBSTR b(a);
    ASSERT_NE(b.Get(), a.Get());
    EXPECT_STREQ(b.Get(), L"pass");
    CMyComBSTR c;
    c = b;
    EXPECT_STREQ(c.Get(), L"pass");
    CMyComBSTR d(std::move(c));
    EXPECT_EQ(c.Get(), nullptr);
    EXPECT_STREQ(d.Get(), L"pass");
    d.Empty();
    EXPECT_EQ(d.Get(), nullptr);
    EXPECT_EQ(d.Len(), 0u);
    BSTR raw = a.Detach();
    EXPECT_EQ(a.Get(), nullptr);
    SysFreeString(raw);

    // As an out-parameter, the way password callbacks fill it.
    CMyComBSTR out;
    *&out = SysAllocString(L"x");
    EXPECT_STREQ(out.Get(), L"x");
}

// The boundary rule: 8-bit texts pass through, everything else becomes E_OUTOFMEMORY.
HRESULT ThrowingMethod(int kind) {
    COM_TRY_BEGIN
    if (kind == 0) throw "out of memory";
    if (kind == 1) throw std::bad_alloc();
    if (kind == 2) throw 20141125;
    return S_FALSE;
    COM_TRY_END
}

TEST(ComTryTest, EightBitTextPassesThroughTheBoundary) {
    try {
        ThrowingMethod(0);
        FAIL() << "the text exception was swallowed";
    } catch (const char *text) {
        EXPECT_STREQ(text, "out of memory");
    }
}

TEST(ComTryTest, OtherExceptionsBecomeOutOfMemory) {
    EXPECT_EQ(ThrowingMethod(1), E_OUTOFMEMORY);
    EXPECT_EQ(ThrowingMethod(2), E_OUTOFMEMORY);
    EXPECT_EQ(ThrowingMethod(3), S_FALSE);
    EXPECT_EQ(ComCallGuarded([]() -> HRESULT { throw 7; }), E_OUTOFMEMORY);
    EXPECT_EQ(ComCallGuarded([] { return S_OK; }), S_OK);
    EXPECT_THROW(ComCallGuarded([]() -> HRESULT { throw "Empty file path"; }), const char *);
}

} // namespace
