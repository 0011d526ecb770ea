// The copy coder and the progress adapter.
#include "archive/common/CopyCoder.h"
#include "archive/common/LocalProgress.h"
#include "archive/stream_fixtures.h"

#include <gtest/gtest.h>

#include <vector>

using namespace tarnova_test_streams;

namespace {

class CRatioRecorder : public ICompressProgressInfo, public CMyUnknownImp {
public:
    std::vector<UInt64> In, Out;
    HRESULT Result = S_OK;
    COM_UNKNOWN_IMP(ICompressProgressInfo)
    HRESULT SetRatioInfo(const UInt64 *inSize, const UInt64 *outSize) override {
        In.push_back(inSize ? *inSize : ~(UInt64)0);
        Out.push_back(outSize ? *outSize : ~(UInt64)0);
        return Result;
    }
};

TEST(CopyCoder, CopiesInBlocksAndReportsEachBlock) {
    const std::vector<Byte> data = PatternBytes(0x50000 + 3);
    CMyComPtr<CTestInStream> src = new CTestInStream(data);
    CMyComPtr<CTestOutStream> sink = new CTestOutStream;
    sink->MaxChunk = 1000; // partial writes are looped over
    CMyComPtr<CRatioRecorder> progress = new CRatioRecorder;
    ASSERT_EQ(NCompress::CopyStream(src, sink, progress), S_OK);
    EXPECT_EQ(sink->Data, data);
    EXPECT_EQ(progress->In, (std::vector<UInt64>{0x20000, 0x40000, 0x50000 + 3}));
    EXPECT_EQ(progress->Out, progress->In);
}

TEST(CopyCoder, OutSizeCutsTheLastBlock) {
    const std::vector<Byte> data = PatternBytes(0x30000);
    CMyComPtr<CTestInStream> src = new CTestInStream(data);
    NCompress::CCopyCoder *impl = new NCompress::CCopyCoder;
    CMyComPtr<ICompressCoder> coder = impl;
    const UInt64 outSize = 0x20001;
    ASSERT_EQ(coder->Code(src, nullptr, nullptr, &outSize, nullptr), S_OK);
    EXPECT_EQ(src->Requests, (std::vector<UInt32>{0x20000, 1}));
    EXPECT_EQ(impl->TotalSize, outSize);
}

TEST(CopyCoder, ExactSizeFailsOnShortInputAndReadsNothingForZero) {
    const std::vector<Byte> data = PatternBytes(200000);
    CMyComPtr<CTestInStream> src = new CTestInStream(data, 7000);
    CMyComPtr<CTestOutStream> sink = new CTestOutStream;
    EXPECT_EQ(NCompress::CopyStream_ExactSize(src, sink, 300000, nullptr), E_FAIL);
    EXPECT_EQ(sink->Data, data);

    src->Pos = 0;
    src->Requests.clear();
    EXPECT_EQ(NCompress::CopyStream_ExactSize(src, sink, 0, nullptr), S_OK);
    EXPECT_TRUE(src->Requests.empty());

    src->Pos = 0;
    CMyComPtr<CTestOutStream> exact = new CTestOutStream;
    EXPECT_EQ(NCompress::CopyStream_ExactSize(src, exact, 150000, nullptr), S_OK);
    EXPECT_EQ(exact->Data, std::vector<Byte>(data.begin(), data.begin() + 150000));
}

TEST(CopyCoder, FailuresStopTheCopy) {
    const std::vector<Byte> data = PatternBytes(0x50000);
    {
        // The bytes that came with the read failure still reach the output.
        CMyComPtr<CTestInStream> src = new CTestInStream(data);
        src->FailAt = 0x21000;
        src->FailResult = 0x80070005;
        CMyComPtr<CTestOutStream> sink = new CTestOutStream;
        EXPECT_EQ(NCompress::CopyStream(src, sink, nullptr), (HRESULT)0x80070005);
        EXPECT_EQ(sink->Data, std::vector<Byte>(data.begin(), data.begin() + 0x21000));
    }
    {
        CMyComPtr<CTestInStream> src = new CTestInStream(data);
        CMyComPtr<CTestOutStream> sink = new CTestOutStream;
        sink->MaxChunk = 0;
        EXPECT_EQ(NCompress::CopyStream(src, sink, nullptr), E_FAIL);
    }
    {
        CMyComPtr<CTestInStream> src = new CTestInStream(data);
        CMyComPtr<CTestOutStream> sink = new CTestOutStream;
        sink->FailResult = (HRESULT)0x8007001C;
        EXPECT_EQ(NCompress::CopyStream(src, sink, nullptr), (HRESULT)0x8007001C);
        EXPECT_EQ(sink->NumWrites, 1u);
    }
    {
        // A cancel from the progress sink ends the copy after the first block.
        CMyComPtr<CTestInStream> src = new CTestInStream(data);
        CMyComPtr<CTestOutStream> sink = new CTestOutStream;
        CMyComPtr<CRatioRecorder> progress = new CRatioRecorder;
        progress->Result = E_ABORT;
        EXPECT_EQ(NCompress::CopyStream(src, sink, progress), E_ABORT);
        EXPECT_EQ(sink->Data.size(), 0x20000u);
        EXPECT_EQ(progress->In.size(), 1u);
    }
}

TEST(CopyCoder, ReadsThroughAndCountsAsAStream) {
    const std::vector<Byte> data = PatternBytes(100);
    NCompress::CCopyCoder *impl = new NCompress::CCopyCoder;
    CMyComPtr<ICompressSetInStream> setIn = impl;
    CMyComPtr<CTestInStream> src = new CTestInStream(data, 30);
    ASSERT_EQ(setIn->SetInStream(src), S_OK);
    CMyComPtr<ISequentialInStream> asStream;
    ASSERT_EQ(setIn.QueryInterface(IID_ISequentialInStream, &asStream), S_OK);
    Byte buf[64];
    UInt32 processed = 0;
    ASSERT_EQ(asStream->Read(buf, sizeof(buf), &processed), S_OK);
    EXPECT_EQ(processed, 30u);
    CMyComPtr<ICompressGetInStreamProcessedSize> getSize;
    ASSERT_EQ(setIn.QueryInterface(IID_ICompressGetInStreamProcessedSize, &getSize), S_OK);
    UInt64 total = 0;
    ASSERT_EQ(getSize->GetInStreamProcessedSize(&total), S_OK);
    EXPECT_EQ(total, 30u);
    ASSERT_EQ(setIn->ReleaseInStream(), S_OK);
}

class CProgressSink : public IProgress, public ICompressProgressInfo, public CMyUnknownImp {
public:
    std::vector<UInt64> Completed;
    std::vector<UInt64> RatioIn, RatioOut;
    bool WithRatio;
    explicit CProgressSink(bool withRatio) : WithRatio(withRatio) {}

    HRESULT QueryInterface(REFGUID iid, void **out) override {
        *out = nullptr;
        if (iid == IID_IUnknown || iid == IID_IProgress)
            *out = static_cast<IProgress *>(this);
        else if (iid == IID_ICompressProgressInfo && WithRatio)
            *out = static_cast<ICompressProgressInfo *>(this);
        else
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    COM_ADDREF_RELEASE
    HRESULT SetTotal(UInt64) override { return S_OK; }
    HRESULT SetCompleted(const UInt64 *value) override {
        Completed.push_back(value ? *value : ~(UInt64)0);
        return S_OK;
    }
    HRESULT SetRatioInfo(const UInt64 *in, const UInt64 *out) override {
        RatioIn.push_back(*in);
        RatioOut.push_back(*out);
        return S_OK;
    }
};

TEST(LocalProgress, AddsBasesAndOffsetAndForwardsTheRatio) {
    CMyComPtr<CProgressSink> sink = new CProgressSink(true);
    CLocalProgress *impl = new CLocalProgress;
    CMyComPtr<ICompressProgressInfo> progress = impl;
    impl->Init(sink, false);
    impl->ProgressOffset = 1000;
    impl->OutSize = 5;
    const UInt64 in = 10, out = 20;
    ASSERT_EQ(progress->SetRatioInfo(&in, &out), S_OK);
    EXPECT_EQ(sink->Completed, std::vector<UInt64>{1025});
    EXPECT_EQ(sink->RatioIn, std::vector<UInt64>{10});
    EXPECT_EQ(sink->RatioOut, std::vector<UInt64>{25});

    impl->Init(sink, true);
    impl->InSize = 7;
    ASSERT_EQ(impl->SetCur(), S_OK);
    EXPECT_EQ(sink->Completed.back(), 1007u);

    CMyComPtr<CProgressSink> plain = new CProgressSink(false);
    impl->Init(plain, true);
    impl->SendProgress = false;
    ASSERT_EQ(progress->SetRatioInfo(&in, nullptr), S_OK);
    EXPECT_TRUE(plain->Completed.empty());
    EXPECT_TRUE(sink->RatioIn.size() == 2); // the old sink is no longer asked
}

} // namespace
