#pragma once

// The copy loop shared by the stream coders: input and output in 64 KiB blocks, sizes honoured
// when given, progress reported as sizes in and out. A derived coder supplies one step of its
// library's state machine.
#include "archive/ICoder.h"
#include "common/MyCom.h"

namespace NPlugin {

class CCoderBase : public ICompressCoder, public ICompressGetInStreamProcessedSize, public CMyUnknownImp {
protected:
    UInt64 _inProcessed = 0;

    enum EStep { kStepContinue, kStepEnd, kStepError };
    virtual HRESULT Begin() = 0;
    // Consumes from in and produces into out; finish: no more input will come.
    virtual EStep Step(const Byte *in, size_t inAvail, size_t &inUsed, Byte *out, size_t outAvail, size_t &outUsed,
                       bool finish) = 0;
    virtual void End() = 0;
    virtual bool IsEncoder() const = 0;

public:
    virtual ~CCoderBase() {}

    HRESULT Code(ISequentialInStream *inStream, ISequentialOutStream *outStream, const UInt64 *inSize,
                 const UInt64 *outSize, ICompressProgressInfo *progress) override;
    HRESULT GetInStreamProcessedSize(UInt64 *value) override;
};

} // namespace NPlugin
