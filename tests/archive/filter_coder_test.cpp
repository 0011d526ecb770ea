// The filter coder in its three uses: whole-stream coder, reading stream and writing stream.
#include "archive/common/FilterCoder.h"
#include "archive/common/StreamUtils.h"
#include "archive/stream_fixtures.h"

#include <gtest/gtest.h>

#include <vector>

using namespace tarnova_test_streams;

namespace {

const Byte kKey = 0x5A;

// Converts whole 16-byte blocks (XOR, its own inverse). A shorter rest is either asked to be
// padded to a block (block cipher style) or left as an unchanged tail.
class CTestFilter : public ICompressFilter, public CMyUnknownImp {
public:
    bool NeedsFullBlock;
    bool ConvertNothing = false;
    unsigned NumInits = 0;
    UInt32 LargestCall = 0;
    bool Aligned = true;

    explicit CTestFilter(bool needsFullBlock) : NeedsFullBlock(needsFullBlock) {}
    COM_UNKNOWN_IMP(ICompressFilter)

    HRESULT Init() override {
        NumInits++;
        return S_OK;
    }
    UInt32 Filter(Byte *data, UInt32 size) override {
        if (size > LargestCall) LargestCall = size;
        if (((uintptr_t)data & 15) != 0) Aligned = false;
        if (ConvertNothing) return 0;
        const UInt32 whole = size & ~(UInt32)15;
        if (whole == 0) return (NeedsFullBlock && size != 0) ? 16 : 0;
        for (UInt32 i = 0; i < whole; i++)
            data[i] ^= kKey;
        return whole;
    }
};

// A filter with a password interface, to see it passed through.
class CPasswordFilter : public CTestFilter, public ICryptoSetPassword {
public:
    std::vector<Byte> Password;
    CPasswordFilter() : CTestFilter(true) {}
    HRESULT QueryInterface(REFGUID iid, void **out) override {
        *out = nullptr;
        if (iid == IID_IUnknown || iid == IID_ICompressFilter)
            *out = static_cast<ICompressFilter *>(this);
        else if (iid == IID_ICryptoSetPassword)
            *out = static_cast<ICryptoSetPassword *>(this);
        else
            return E_NOINTERFACE;
        ++_m_RefCount;
        return S_OK;
    }
    ULONG AddRef() override { return CTestFilter::AddRef(); }
    ULONG Release() override { return CTestFilter::Release(); }
    HRESULT CryptoSetPassword(const Byte *data, UInt32 size) override {
        Password.assign(data, data + size);
        return S_OK;
    }
};

// What the coder must produce: whole blocks XORed; the rest padded to a block and XORed, or kept.
std::vector<Byte> Expected(const std::vector<Byte> &in, bool pad) {
    std::vector<Byte> out = in;
    size_t whole = in.size() & ~(size_t)15;
    if (pad && whole != in.size()) {
        out.resize(whole + 16, 0);
        whole += 16;
    }
    for (size_t i = 0; i < whole; i++)
        out[i] ^= kKey;
    return out;
}

struct CCoder {
    CFilterCoder *Impl;
    CMyComPtr<ICompressCoder> Coder;
    CMyComPtr<CTestFilter> Filter;
    CCoder(bool encode, CTestFilter *filter) : Impl(new CFilterCoder(encode)), Coder(Impl), Filter(filter) {
        Impl->Filter = filter;
        Impl->SetInBufSize(0, 4096);
        Impl->SetOutBufSize(0, 4096);
    }
};

enum EMode { kCode, kRead, kWrite };
const char *const kModeNames[] = {"Code", "Read", "Write"};

// Runs the data through the coder in one of its three uses, the source giving short reads and
// the writer using odd chunk sizes.
HRESULT RunFilter(EMode mode, CCoder &c, const std::vector<Byte> &in, std::vector<Byte> &out,
                  const UInt64 *outSize = nullptr) {
    CMyComPtr<CTestInStream> src = new CTestInStream(in, 7);
    CMyComPtr<CTestOutStream> sink = new CTestOutStream;
    HRESULT res = S_OK;
    if (mode == kCode) {
        res = c.Coder->Code(src, sink, nullptr, outSize, nullptr);
    } else if (mode == kRead) {
        c.Impl->SetInStream(src);
        res = c.Impl->SetOutStreamSize(outSize);
        Byte buf[1000];
        for (UInt32 chunk = 1; res == S_OK; chunk = chunk % 997 + 13) {
            UInt32 processed = 0;
            res = c.Impl->Read(buf, chunk, &processed);
            sink->Data.insert(sink->Data.end(), buf, buf + processed);
            if (processed == 0) break;
        }
        c.Impl->ReleaseInStream();
    } else {
        c.Impl->SetOutStream(sink);
        res = c.Impl->SetOutStreamSize(outSize);
        for (size_t pos = 0, chunk = 1; res == S_OK && pos < in.size(); chunk = chunk % 997 + 13) {
            const size_t n = std::min(chunk, in.size() - pos);
            res = WriteStream(c.Impl, in.data() + pos, n);
            pos += n;
        }
        if (res == S_OK) res = c.Impl->OutStreamFinish();
        c.Impl->ReleaseOutStream();
    }
    out = sink->Data;
    return res;
}

TEST(FilterCoder, EncodingPadsTheLastBlockInEveryMode) {
    for (EMode mode : {kCode, kRead, kWrite}) {
        for (size_t size : {(size_t)0, (size_t)5, (size_t)16, (size_t)4096, (size_t)10005}) {
            CCoder c(true, new CTestFilter(true));
            const std::vector<Byte> in = PatternBytes(size);
            std::vector<Byte> out;
            ASSERT_EQ(RunFilter(mode, c, in, out), S_OK) << kModeNames[mode] << " " << size;
            EXPECT_EQ(out, Expected(in, true)) << kModeNames[mode] << " " << size;
            EXPECT_TRUE(c.Filter->Aligned);
        }
    }
}

TEST(FilterCoder, DecodingAShortLastBlockGivesFalse) {
    for (EMode mode : {kCode, kRead, kWrite}) {
        CCoder c(false, new CTestFilter(true));
        const std::vector<Byte> in = PatternBytes(37);
        std::vector<Byte> out;
        EXPECT_EQ(RunFilter(mode, c, in, out), S_FALSE) << kModeNames[mode];
        // Whatever came out before is the converted whole blocks.
        const std::vector<Byte> full = Expected(in, false);
        EXPECT_EQ(out, std::vector<Byte>(full.begin(), full.begin() + out.size())) << kModeNames[mode];
        EXPECT_LE(out.size(), 32u);
    }
}

TEST(FilterCoder, ShortTailPassesThroughUnchangedInEveryMode) {
    for (EMode mode : {kCode, kRead, kWrite}) {
        for (size_t size : {(size_t)4, (size_t)100, (size_t)9000}) {
            CCoder c(true, new CTestFilter(false));
            const std::vector<Byte> in = PatternBytes(size);
            std::vector<Byte> out;
            ASSERT_EQ(RunFilter(mode, c, in, out), S_OK) << kModeNames[mode] << " " << size;
            EXPECT_EQ(out, Expected(in, false)) << kModeNames[mode] << " " << size;
        }
    }
}

TEST(FilterCoder, OutputSizeLimitsWhatComesOut) {
    const std::vector<Byte> in = PatternBytes(100);
    const std::vector<Byte> full = Expected(in, false);
    const UInt64 limit = 50;
    for (EMode mode : {kCode, kRead}) {
        CCoder c(true, new CTestFilter(false));
        std::vector<Byte> out;
        ASSERT_EQ(RunFilter(mode, c, in, out, &limit), S_OK) << kModeNames[mode];
        EXPECT_EQ(out, std::vector<Byte>(full.begin(), full.begin() + 50)) << kModeNames[mode];
    }
    // Writing more than the limit: the flush that reaches it with bytes left says so.
    CCoder c(true, new CTestFilter(false));
    std::vector<Byte> out;
    EXPECT_EQ(RunFilter(kWrite, c, in, out, &limit), k_My_HRESULT_WritingWasCut);
    EXPECT_EQ(out, std::vector<Byte>(full.begin(), full.begin() + 50));
}

TEST(FilterCoder, FilterThatConvertsNothingInAFullBufferFails) {
    const std::vector<Byte> in = PatternBytes(5000);
    for (EMode mode : {kCode, kRead}) {
        CCoder c(true, new CTestFilter(false));
        c.Filter->ConvertNothing = true;
        std::vector<Byte> out;
        EXPECT_EQ(RunFilter(mode, c, in, out), E_FAIL) << kModeNames[mode];
    }
    // A writer sees the rest refused.
    CCoder c(true, new CTestFilter(false));
    c.Filter->ConvertNothing = true;
    std::vector<Byte> out;
    EXPECT_EQ(RunFilter(kWrite, c, in, out), E_FAIL);
}

TEST(FilterCoder, BufferSizeIsAMultipleOf4KiBAndAtLeast4KiB) {
    struct Case {
        UInt32 in, out, expected;
    } cases[] = {{100, 0x100000, 4096}, {10000, 0x100000, 8192}, {0x100000, 12288, 12288}, {0, 0, 4096}};
    for (const Case &k : cases) {
        CCoder c(true, new CTestFilter(true));
        c.Impl->SetInBufSize(0, k.in);
        c.Impl->SetOutBufSize(0, k.out);
        ASSERT_EQ(c.Impl->InitEncoder(), S_OK);
        EXPECT_EQ(c.Impl->GetBufSize(), k.expected);
        EXPECT_EQ(c.Filter->NumInits, 1u);
    }
    // Code fills the whole buffer before filtering.
    CCoder c(true, new CTestFilter(true));
    c.Impl->SetInBufSize(0, 10000);
    c.Impl->SetOutBufSize(0, 10000);
    std::vector<Byte> out;
    ASSERT_EQ(RunFilter(kCode, c, PatternBytes(20000), out), S_OK);
    EXPECT_EQ(c.Filter->LargestCall, 8192u);
}

TEST(FilterCoder, OptionalInterfacesFollowTheFilter) {
    CCoder plain(true, new CTestFilter(true));
    CMyComPtr<ICryptoSetPassword> none;
    EXPECT_EQ(plain.Coder.QueryInterface(IID_ICryptoSetPassword, &none), E_NOINTERFACE);
    CMyComPtr<ISequentialOutStream> asOut;
    EXPECT_EQ(plain.Coder.QueryInterface(IID_ISequentialOutStream, &asOut), S_OK);

    CPasswordFilter *filter = new CPasswordFilter;
    CCoder withPassword(true, filter);
    CMyComPtr<ICryptoSetPassword> setPassword;
    ASSERT_EQ(withPassword.Coder.QueryInterface(IID_ICryptoSetPassword, &setPassword), S_OK);
    const Byte pw[] = {'a', 'b'};
    EXPECT_EQ(setPassword->CryptoSetPassword(pw, 2), S_OK);
    EXPECT_EQ(filter->Password, std::vector<Byte>(pw, pw + 2));
    CMyComPtr<ICryptoProperties> props;
    EXPECT_EQ(withPassword.Coder.QueryInterface(IID_ICryptoProperties, &props), E_NOINTERFACE);
}

class CRatioRecorder : public ICompressProgressInfo, public CMyUnknownImp {
public:
    std::vector<UInt64> In;
    COM_UNKNOWN_IMP(ICompressProgressInfo)
    HRESULT SetRatioInfo(const UInt64 *inSize, const UInt64 *) override {
        In.push_back(*inSize);
        return In.size() == 2 ? E_ABORT : S_OK;
    }
};

TEST(FilterCoder, CodeReportsProgressPerBufferAndStopsOnItsFailure) {
    CCoder c(true, new CTestFilter(true));
    CMyComPtr<CTestInStream> src = new CTestInStream(PatternBytes(20000));
    CMyComPtr<CTestOutStream> sink = new CTestOutStream;
    CMyComPtr<CRatioRecorder> progress = new CRatioRecorder;
    EXPECT_EQ(c.Coder->Code(src, sink, nullptr, nullptr, progress), E_ABORT);
    EXPECT_EQ(progress->In, (std::vector<UInt64>{4096, 8192}));
    EXPECT_EQ(sink->Data.size(), 8192u);
}

} // namespace
