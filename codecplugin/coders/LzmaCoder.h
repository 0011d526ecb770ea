#pragma once

// Methods "LZMA" and "LZMA2" over liblzma's raw coders. The decoder takes the method's property
// bytes (5 for LZMA, 1 for LZMA2); the encoder writes them.
#include "coders/CoderBase.h"

#include <lzma.h>
#include <vector>

namespace NPlugin {

// A decoder never looks further back than the data it produces: a declared dictionary larger than
// the output (up to 4 GiB in a damaged or hostile header) is cut to the output's size, so nothing
// is allocated that the data cannot use.
void CapDecoderDictionary(lzma_filter &filter, UInt64 outSize);

class CLzmaCoder : public CCoderBase,
                   public ICompressSetDecoderProperties2,
                   public ICompressSetCoderProperties,
                   public ICompressWriteCoderProperties {
    const bool _lzma2;
    std::vector<Byte> _props;
    UInt32 _level = 5;
    UInt32 _dictSize = 0;
    lzma_stream _strm;

    HRESULT EncoderOptions(lzma_options_lzma &opt) const;

protected:
    HRESULT Begin() override;
    EStep Step(const Byte *in, size_t inAvail, size_t &inUsed, Byte *out, size_t outAvail, size_t &outUsed,
               bool finish) override;
    void End() override;

public:
    CLzmaCoder(bool encode, bool lzma2) : CCoderBase(encode), _lzma2(lzma2) {}
    virtual ~CLzmaCoder() { End(); }

    COM_UNKNOWN_IMP(ICompressCoder, ICompressGetInStreamProcessedSize, ICompressSetDecoderProperties2,
                    ICompressSetCoderProperties, ICompressWriteCoderProperties)

    HRESULT SetDecoderProperties2(const Byte *data, UInt32 size) override;
    HRESULT SetCoderProperties(const PROPID *propIDs, const PROPVARIANT *props, UInt32 numProps) override;
    HRESULT WriteCoderProperties(ISequentialOutStream *outStream) override;
};

} // namespace NPlugin
