#pragma once

// Method "BZip2" over libbz2. The decoder reads concatenated streams as one.
#include "coders/CoderBase.h"

#include <bzlib.h>

namespace NPlugin {

class CBzip2Coder : public CCoderBase, public ICompressSetCoderProperties {
    int _blockSize = 9;
    bz_stream _bz;

protected:
    HRESULT Begin() override;
    EStep Step(const Byte *in, size_t inAvail, size_t &inUsed, Byte *out, size_t outAvail, size_t &outUsed,
               bool finish) override;
    void End() override;

public:
    explicit CBzip2Coder(bool encode) : CCoderBase(encode) {}
    virtual ~CBzip2Coder() { End(); }

    COM_UNKNOWN_IMP(ICompressCoder, ICompressGetInStreamProcessedSize, ICompressSetCoderProperties)

    HRESULT SetCoderProperties(const PROPID *propIDs, const PROPVARIANT *props, UInt32 numProps) override;
};

} // namespace NPlugin
