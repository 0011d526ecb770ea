// Memory, window, tail and utility streams.
#include "archive/common/LimitedStreams.h"
#include "archive/common/StreamObjects.h"
#include "archive/common/StreamUtils.h"
#include "archive/stream_fixtures.h"

#include <gtest/gtest.h>

#include <vector>

using namespace tarnova_test_streams;

namespace {

std::vector<Byte> ReadAll(ISequentialInStream *stream, size_t max = 1 << 20) {
    std::vector<Byte> out(max);
    size_t size = max;
    EXPECT_EQ(ReadStream(stream, out.data(), &size), S_OK);
    out.resize(size);
    return out;
}

std::vector<Byte> Slice(const std::vector<Byte> &v, size_t pos, size_t size) {
    return std::vector<Byte>(v.begin() + pos, v.begin() + pos + size);
}

TEST(MemoryStreams, SeekBeyondEndReadsNothingAndNegativeSeekKeepsPosition) {
    const std::vector<Byte> data = PatternBytes(10);
    CBufInStream *bufImpl = new CBufInStream;
    CMyComPtr<IInStream> buf = bufImpl;
    bufImpl->Init(data.data(), data.size());
    CMyComPtr<ISequentialInStream> copySeq;
    Create_BufInStream_WithNewBuffer(data.data(), data.size(), &copySeq);
    CMyComPtr<IInStream> copy;
    ASSERT_EQ(copySeq.QueryInterface(IID_IInStream, &copy), S_OK);

    for (IInStream *s : {(IInStream *)buf, (IInStream *)copy}) {
        EXPECT_EQ(ReadAll(s), data);
        UInt64 pos = 0;
        EXPECT_EQ(s->Seek(20, STREAM_SEEK_SET, &pos), S_OK);
        EXPECT_EQ(pos, 20u);
        Byte b;
        UInt32 processed = 99;
        EXPECT_EQ(s->Read(&b, 1, &processed), S_OK);
        EXPECT_EQ(processed, 0u);
        EXPECT_EQ(s->Seek(-1, STREAM_SEEK_SET, &pos), HRESULT_WIN32_ERROR_NEGATIVE_SEEK);
        EXPECT_EQ(s->Seek(-11, STREAM_SEEK_END, nullptr), HRESULT_WIN32_ERROR_NEGATIVE_SEEK);
        EXPECT_EQ(s->Seek(0, 3, nullptr), STG_E_INVALIDFUNCTION);
        EXPECT_EQ(Position(s), 20u);
        EXPECT_EQ(s->Seek(-3, STREAM_SEEK_END, &pos), S_OK);
        EXPECT_EQ(ReadAll(s), Slice(data, 7, 3));
    }
}

class CCountedOwner : public IUnknown, public CMyUnknownImp {
public:
    bool *Destroyed;
    explicit CCountedOwner(bool *destroyed) : Destroyed(destroyed) {}
    ~CCountedOwner() override { *Destroyed = true; }
    COM_UNKNOWN_IMP_0(IUnknown)
};

TEST(MemoryStreams, BufInStreamKeepsTheOwnerOfItsMemoryAlive) {
    const std::vector<Byte> data = PatternBytes(5);
    bool destroyed = false;
    CMyComPtr<ISequentialInStream> stream;
    {
        CMyComPtr<IUnknown> owner = new CCountedOwner(&destroyed);
        Create_BufInStream_WithReference(data.data(), data.size(), owner, &stream);
    }
    EXPECT_FALSE(destroyed);
    EXPECT_EQ(ReadAll(stream), data);
    stream.Release();
    EXPECT_TRUE(destroyed);
}

TEST(MemoryStreams, DynBufferGrowsInSteps) {
    struct Case {
        size_t before, wanted, capacity;
    } cases[] = {{0, 1, 4}, {0, 9, 9}, {8, 9, 12}, {9, 10, 25}, {64, 65, 80}, {100, 101, 125}, {100, 500, 500}};
    for (const Case &c : cases) {
        CByteDynBuffer buf;
        ASSERT_TRUE(buf.EnsureCapacity(c.before));
        ASSERT_TRUE(buf.EnsureCapacity(c.wanted));
        EXPECT_EQ(buf.GetCapacity(), c.capacity) << c.before << " -> " << c.wanted;
        EXPECT_TRUE(buf.EnsureCapacity(c.wanted - 1));
        EXPECT_EQ(buf.GetCapacity(), c.capacity);
    }
}

TEST(MemoryStreams, OutputStreamsCollectOrRefuseWhenFull) {
    const std::vector<Byte> data = PatternBytes(1000);
    CDynBufSeqOutStream *dynImpl = new CDynBufSeqOutStream;
    CMyComPtr<ISequentialOutStream> dyn = dynImpl;
    for (size_t pos = 0; pos < data.size(); pos += 97)
        ASSERT_EQ(WriteStream(dyn, data.data() + pos, std::min<size_t>(97, data.size() - pos)), S_OK);
    CByteBuffer copy;
    dynImpl->CopyToBuffer(copy);
    ASSERT_EQ(copy.Size(), data.size());
    EXPECT_EQ(memcmp(copy, data.data(), data.size()), 0);

    Byte block[10];
    CBufPtrSeqOutStream *ptrImpl = new CBufPtrSeqOutStream;
    CMyComPtr<ISequentialOutStream> ptr = ptrImpl;
    ptrImpl->Init(block, sizeof(block));
    UInt32 processed = 0;
    EXPECT_EQ(ptr->Write(data.data(), 8, &processed), S_OK);
    EXPECT_EQ(processed, 8u);
    EXPECT_EQ(ptr->Write(data.data() + 8, 8, &processed), S_OK);
    EXPECT_EQ(processed, 2u);
    EXPECT_EQ(ptr->Write(data.data(), 1, &processed), E_FAIL);
    EXPECT_EQ(processed, 0u);
    EXPECT_EQ(ptr->Write(data.data(), 0, &processed), S_OK);
    EXPECT_EQ(memcmp(block, data.data(), sizeof(block)), 0);
}

TEST(StreamUtils, ReadStreamGathersShortReadsAndReportsEarlyEnd) {
    const std::vector<Byte> data = PatternBytes(100);
    CMyComPtr<CTestInStream> src = new CTestInStream(data, 7);
    std::vector<Byte> out(100);
    size_t size = out.size();
    EXPECT_EQ(ReadStream(src, out.data(), &size), S_OK);
    EXPECT_EQ(size, 100u);
    EXPECT_EQ(out, data);

    CMyComPtr<CTestInStream> three = new CTestInStream(PatternBytes(3), 1);
    EXPECT_EQ(ReadStream_FALSE(three, out.data(), 4), S_FALSE);
    three->Pos = 0;
    EXPECT_EQ(ReadStream_FAIL(three, out.data(), 4), E_FAIL);
    three->Pos = 0;
    EXPECT_EQ(ReadStream_FAIL(three, out.data(), 3), S_OK);

    // A failure after some bytes: they are counted and the failure returned.
    CMyComPtr<CTestInStream> failing = new CTestInStream(data, 7);
    failing->FailAt = 30;
    failing->FailResult = 0x80070005;
    size = out.size();
    EXPECT_EQ(ReadStream(failing, out.data(), &size), (HRESULT)0x80070005);
    EXPECT_EQ(size, 30u);
}

TEST(StreamUtils, WriteStreamLoopsOverPartialWritesAndFailsOnZero) {
    const std::vector<Byte> data = PatternBytes(100);
    CMyComPtr<CTestOutStream> sink = new CTestOutStream;
    sink->MaxChunk = 9;
    EXPECT_EQ(WriteStream(sink, data.data(), data.size()), S_OK);
    EXPECT_EQ(sink->Data, data);
    EXPECT_EQ(sink->NumWrites, 12u);

    CMyComPtr<CTestOutStream> stuck = new CTestOutStream;
    stuck->MaxChunk = 0;
    EXPECT_EQ(WriteStream(stuck, data.data(), data.size()), E_FAIL);
    EXPECT_EQ(WriteStream(stuck, data.data(), 0), S_OK);
}

TEST(WindowStreams, LimitedInStreamStopsAtItsEnd) {
    const std::vector<Byte> data = PatternBytes(1000);
    CMyComPtr<CTestInStream> src = new CTestInStream(data, 13);
    CMyComPtr<ISequentialInStream> window;
    ASSERT_EQ(CreateLimitedInStream(src, 100, 50, &window), S_OK);
    std::vector<Byte> out(80);
    size_t size = out.size();
    ASSERT_EQ(ReadStream(window, out.data(), &size), S_OK);
    EXPECT_EQ(size, 50u);
    out.resize(size);
    EXPECT_EQ(out, Slice(data, 100, 50));
    UInt32 processed = 7;
    EXPECT_EQ(window->Read(out.data(), 1, &processed), S_OK);
    EXPECT_EQ(processed, 0u);

    src->FailSeeks = true;
    CMyComPtr<ISequentialInStream> none;
    EXPECT_EQ(CreateLimitedInStream(src, 0, 10, &none), E_FAIL);
    EXPECT_FALSE(none);
}

TEST(WindowStreams, TwoWindowsOverOneSourceReadTheirOwnBytes) {
    const std::vector<Byte> data = PatternBytes(1000);
    CMyComPtr<CTestInStream> src = new CTestInStream(data, 5);
    CMyComPtr<ISequentialInStream> a, b;
    ASSERT_EQ(CreateLimitedInStream(src, 100, 200, &a), S_OK);
    ASSERT_EQ(CreateLimitedInStream(src, 600, 200, &b), S_OK);
    std::vector<Byte> gotA, gotB;
    Byte buf[11];
    for (;;) {
        UInt32 na = 0, nb = 0;
        ASSERT_EQ(a->Read(buf, sizeof(buf), &na), S_OK);
        gotA.insert(gotA.end(), buf, buf + na);
        // The owner moves the source between the windows' reads.
        ASSERT_EQ(src->Seek(3, STREAM_SEEK_SET, nullptr), S_OK);
        ASSERT_EQ(b->Read(buf, sizeof(buf), &nb), S_OK);
        gotB.insert(gotB.end(), buf, buf + nb);
        if (na == 0 && nb == 0) break;
    }
    EXPECT_EQ(gotA, Slice(data, 100, 200));
    EXPECT_EQ(gotB, Slice(data, 600, 200));
}

TEST(WindowStreams, WindowSeekIsVirtualUntilTheNextRead) {
    const std::vector<Byte> data = PatternBytes(1000);
    CMyComPtr<CTestInStream> src = new CTestInStream(data);
    CLimitedInStream *impl = new CLimitedInStream;
    CMyComPtr<IInStream> window = impl;
    impl->SetStream(src);
    ASSERT_EQ(impl->InitAndSeek(100, 50), S_OK);
    const unsigned seeks = src->NumSeeks;
    UInt64 pos = 0;
    EXPECT_EQ(window->Seek(-10, STREAM_SEEK_END, &pos), S_OK);
    EXPECT_EQ(pos, 40u);
    EXPECT_EQ(window->Seek(-41, STREAM_SEEK_CUR, &pos), HRESULT_WIN32_ERROR_NEGATIVE_SEEK);
    EXPECT_EQ(window->Seek(70, STREAM_SEEK_SET, &pos), S_OK);
    EXPECT_EQ(src->NumSeeks, seeks);
    EXPECT_TRUE(ReadAll(window).empty());
    EXPECT_EQ(window->Seek(40, STREAM_SEEK_SET, &pos), S_OK);
    EXPECT_EQ(ReadAll(window), Slice(data, 140, 10));
}

TEST(WindowStreams, LimitedSequentialInStreamNotesEarlyEnd) {
    const std::vector<Byte> data = PatternBytes(30);
    CLimitedSequentialInStream *impl = new CLimitedSequentialInStream;
    CMyComPtr<ISequentialInStream> s = impl;
    CMyComPtr<CTestInStream> src = new CTestInStream(data, 4);
    impl->SetStream(src);
    impl->Init(20);
    EXPECT_EQ(ReadAll(s), Slice(data, 0, 20));
    EXPECT_FALSE(impl->WasFinished());
    src->Pos = 0;
    impl->Init(50);
    EXPECT_EQ(ReadAll(s), data);
    EXPECT_TRUE(impl->WasFinished());
    EXPECT_EQ(impl->GetSize(), 30u);
}

TEST(WindowStreams, LimitedSequentialOutStreamOverflow) {
    const std::vector<Byte> data = PatternBytes(8);
    for (bool allowed : {false, true}) {
        CLimitedSequentialOutStream *impl = new CLimitedSequentialOutStream;
        CMyComPtr<ISequentialOutStream> s = impl;
        CMyComPtr<CTestOutStream> sink = new CTestOutStream;
        impl->SetStream(sink);
        impl->Init(5, allowed);
        UInt32 processed = 0;
        EXPECT_EQ(s->Write(data.data(), 8, &processed), S_OK);
        EXPECT_EQ(processed, 5u);
        EXPECT_FALSE(impl->GetOverflowStatus());
        EXPECT_TRUE(impl->IsFinishedOK());
        EXPECT_EQ(s->Write(data.data(), 1, &processed), allowed ? S_OK : E_FAIL);
        EXPECT_EQ(processed, allowed ? 1u : 0u);
        EXPECT_TRUE(impl->GetOverflowStatus());
        EXPECT_EQ(sink->Data, Slice(data, 0, 5));
    }
}

TEST(TailStreams, TailInStreamHidesTheHead) {
    const std::vector<Byte> data = PatternBytes(900);
    CMyComPtr<CTestInStream> src = new CTestInStream(data, 6);
    CTailInStream *impl = new CTailInStream;
    CMyComPtr<IInStream> tail = impl;
    impl->Stream = src;
    impl->Offset = 1000;
    EXPECT_EQ(tail->Seek(0, STREAM_SEEK_END, nullptr), HRESULT_WIN32_ERROR_NEGATIVE_SEEK);

    impl->Offset = 300;
    impl->Init();
    UInt64 pos = 0;
    EXPECT_EQ(tail->Seek(-100, STREAM_SEEK_END, &pos), S_OK);
    EXPECT_EQ(pos, 500u);
    EXPECT_EQ(tail->Seek(-1, STREAM_SEEK_SET, &pos), HRESULT_WIN32_ERROR_NEGATIVE_SEEK);
    ASSERT_EQ(tail->Seek(0, STREAM_SEEK_SET, nullptr), S_OK);
    src->Pos = 0; // someone else used the source
    EXPECT_EQ(ReadAll(tail), Slice(data, 300, 600));
}

TEST(TailStreams, TailOutStreamWritesAfterTheOffset) {
    CMyComPtr<CTestOutStream> target = new CTestOutStream;
    target->Data.assign(10, 0xEE);
    CTailOutStream *impl = new CTailOutStream;
    CMyComPtr<IOutStream> tail = impl;
    impl->Stream = target;
    impl->Offset = 10;
    impl->Init();
    ASSERT_EQ(tail->Seek(0, STREAM_SEEK_SET, nullptr), S_OK);
    const std::vector<Byte> data = PatternBytes(20);
    ASSERT_EQ(WriteStream(tail, data.data(), data.size()), S_OK);
    UInt64 pos = 0;
    ASSERT_EQ(tail->Seek(-5, STREAM_SEEK_END, &pos), S_OK);
    EXPECT_EQ(pos, 15u);
    EXPECT_EQ(target->Pos, 25u);
    ASSERT_EQ(tail->SetSize(12), S_OK);
    EXPECT_EQ(target->Data.size(), 22u);
    ASSERT_EQ(tail->Seek(0, STREAM_SEEK_END, &pos), S_OK);
    EXPECT_EQ(pos, 12u);
    EXPECT_EQ(target->Data[9], 0xEE);
    EXPECT_EQ(Slice(target->Data, 10, 12), Slice(data, 0, 12));
}

TEST(WindowStreams, CachedWindowServesTheCacheFromMemory) {
    const std::vector<Byte> data = PatternBytes(1000);
    CMyComPtr<CTestInStream> src = new CTestInStream(data);
    CLimitedCachedInStream *impl = new CLimitedCachedInStream;
    CMyComPtr<IInStream> s = impl;
    impl->SetStream(src);
    impl->Buffer.CopyFrom(data.data() + 200, 100);
    impl->SetCache(100, 200);
    ASSERT_EQ(impl->InitAndSeek(100, 800), S_OK);
    const size_t reads = src->Requests.size();
    Byte buf[50];
    ASSERT_EQ(s->Seek(120, STREAM_SEEK_SET, nullptr), S_OK);
    ASSERT_EQ(ReadStream_FAIL(s, buf, 50), S_OK);
    EXPECT_EQ(std::vector<Byte>(buf, buf + 50), Slice(data, 220, 50));
    EXPECT_EQ(src->Requests.size(), reads);
    // Reaching out of the cache goes to the source.
    ASSERT_EQ(ReadStream_FAIL(s, buf, 50), S_OK);
    EXPECT_EQ(std::vector<Byte>(buf, buf + 50), Slice(data, 270, 50));
    EXPECT_GT(src->Requests.size(), reads);
}

TEST(WindowStreams, ClusterAndExtentStreamsMapPiecesInOrder) {
    const std::vector<Byte> data = PatternBytes(200);
    CMyComPtr<CTestInStream> src = new CTestInStream(data, 5);

    CClusterInStream *clusterImpl = new CClusterInStream;
    CMyComPtr<IInStream> clusters = clusterImpl;
    clusterImpl->SetStream(src);
    clusterImpl->BlockSizeLog = 4;
    clusterImpl->StartOffset = 8;
    for (UInt32 c : {3u, 4u, 5u, 0u, 9u})
        clusterImpl->Vector.Add(c);
    clusterImpl->Size = 16 * 4 + 6;
    ASSERT_EQ(clusterImpl->InitAndSeek(), S_OK);
    std::vector<Byte> expected = Slice(data, 8 + 48, 48);
    std::vector<Byte> part = Slice(data, 8, 16);
    expected.insert(expected.end(), part.begin(), part.end());
    part = Slice(data, 8 + 144, 6);
    expected.insert(expected.end(), part.begin(), part.end());
    EXPECT_EQ(ReadAll(clusters), expected);
    ASSERT_EQ(clusters->Seek(20, STREAM_SEEK_SET, nullptr), S_OK);
    EXPECT_EQ(ReadAll(clusters), Slice(expected, 20, expected.size() - 20));

    CExtentsStream *extentImpl = new CExtentsStream;
    CMyComPtr<IInStream> extents = extentImpl;
    extentImpl->SetStream(src);
    extentImpl->Extents.Add(CSeekExtent{150, 0});
    extentImpl->Extents.Add(CSeekExtent{10, 30});
    extentImpl->Extents.Add(CSeekExtent{0, 45});
    extentImpl->Init();
    expected = Slice(data, 150, 30);
    part = Slice(data, 10, 15);
    expected.insert(expected.end(), part.begin(), part.end());
    EXPECT_EQ(ReadAll(extents), expected);
    ASSERT_EQ(extents->Seek(-20, STREAM_SEEK_END, nullptr), S_OK);
    EXPECT_EQ(ReadAll(extents), Slice(expected, 25, 20));
}

class CPatternCachedStream : public CCachedInStream {
public:
    std::vector<Byte> Data;
    unsigned NumBlockReads = 0;

protected:
    HRESULT ReadBlock(UInt64 blockIndex, Byte *dest, size_t blockSize) override {
        NumBlockReads++;
        memcpy(dest, Data.data() + (blockIndex << 4), blockSize);
        return S_OK;
    }
};

TEST(MemoryStreams, CachedInStreamReadsEachBlockOnce) {
    CPatternCachedStream *impl = new CPatternCachedStream;
    CMyComPtr<IInStream> s = impl;
    impl->Data = PatternBytes(100);
    ASSERT_TRUE(impl->Alloc(4, 3));
    impl->Init(100);
    EXPECT_EQ(ReadAll(s), impl->Data);
    EXPECT_EQ(impl->NumBlockReads, 7u);
    ASSERT_EQ(s->Seek(50, STREAM_SEEK_SET, nullptr), S_OK);
    EXPECT_EQ(ReadAll(s), Slice(impl->Data, 50, 50));
    EXPECT_EQ(impl->NumBlockReads, 7u);
    EXPECT_FALSE(impl->Alloc(40, 24));
}

} // namespace
