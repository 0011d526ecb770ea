#pragma once

// Method "Deflate" over zlib (raw deflate data, no zlib or gzip wrapper).
#include "coders/CoderBase.h"

#include <zlib.h>

namespace NPlugin {

class CDeflateCoder : public CCoderBase, public ICompressSetCoderProperties {
    int _level = 6;
    z_stream _z;

protected:
    HRESULT Begin() override;
    EStep Step(const Byte *in, size_t inAvail, size_t &inUsed, Byte *out, size_t outAvail, size_t &outUsed,
               bool finish) override;
    void End() override;

public:
    explicit CDeflateCoder(bool encode) : CCoderBase(encode) {}
    virtual ~CDeflateCoder() { End(); }

    COM_UNKNOWN_IMP(ICompressCoder, ICompressGetInStreamProcessedSize, ICompressSetCoderProperties)

    HRESULT SetCoderProperties(const PROPID *propIDs, const PROPVARIANT *props, UInt32 numProps) override;
};

} // namespace NPlugin
