#include "coders/CoderBase.h"

#include "StreamUtils.h"

#include <vector>

namespace NPlugin {

namespace {
const size_t kBufSize = 1 << 16;
}

HRESULT CCoderBase::Code(ISequentialInStream *inStream, ISequentialOutStream *outStream, const UInt64 *inSize,
                         const UInt64 *outSize, ICompressProgressInfo *progress) {
    COM_TRY_BEGIN
    _inProcessed = 0;
    _outSizeKnown = outSize != nullptr;
    _outSize = outSize ? *outSize : 0;
    HRESULT res = Begin();
    if (res != S_OK) return res;
    struct CEnd {
        CCoderBase *c;
        ~CEnd() { c->End(); }
    } endGuard{this};

    std::vector<Byte> inBuf(kBufSize), outBuf(kBufSize);
    size_t inPos = 0, inLen = 0;
    bool inEof = false;
    UInt64 outTotal = 0;
    for (;;) {
        if (inPos == inLen && !inEof) {
            size_t want = kBufSize;
            if (inSize && *inSize - _inProcessed < want) want = static_cast<size_t>(*inSize - _inProcessed);
            size_t got = 0;
            if (want != 0) {
                res = ReadStreamMax(inStream, inBuf.data(), want, got);
                if (res != S_OK) return res;
            }
            inPos = 0;
            inLen = got;
            if (got == 0) inEof = true;
        }
        size_t outAvail = kBufSize;
        if (outSize && !IsEncoder() && *outSize - outTotal < outAvail)
            outAvail = static_cast<size_t>(*outSize - outTotal);
        size_t inUsed = 0, outUsed = 0;
        const EStep step = Step(inBuf.data() + inPos, inLen - inPos, inUsed, outBuf.data(), outAvail, outUsed, inEof);
        if (step == kStepError) return S_FALSE;
        inPos += inUsed;
        _inProcessed += inUsed;
        if (outUsed != 0) {
            res = WriteStreamAll(outStream, outBuf.data(), outUsed);
            if (res != S_OK) return res;
            outTotal += outUsed;
        }
        if (progress) {
            res = progress->SetRatioInfo(&_inProcessed, &outTotal);
            if (res != S_OK) return res;
        }
        if (step == kStepEnd) return S_OK;
        // A decoder told the size stops there, end marker or not.
        if (outSize && !IsEncoder() && outTotal >= *outSize) return S_OK;
        if (inEof && inUsed == 0 && outUsed == 0) return IsEncoder() ? E_FAIL : S_FALSE;
    }
    COM_TRY_END
}

HRESULT CCoderBase::GetInStreamProcessedSize(UInt64 *value) {
    *value = _inProcessed;
    return S_OK;
}

} // namespace NPlugin
