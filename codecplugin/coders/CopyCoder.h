#pragma once

// Method "Copy": the data as it is.
#include "coders/CoderBase.h"

namespace NPlugin {

class CCopyCoder : public CCoderBase {
protected:
    HRESULT Begin() override { return S_OK; }
    EStep Step(const Byte *in, size_t inAvail, size_t &inUsed, Byte *out, size_t outAvail, size_t &outUsed,
               bool finish) override;
    void End() override {}

public:
    CCopyCoder() : CCoderBase(false) {}

    COM_UNKNOWN_IMP(ICompressCoder, ICompressGetInStreamProcessedSize)
};

} // namespace NPlugin
