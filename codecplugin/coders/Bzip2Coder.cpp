#include "coders/Bzip2Coder.h"

#include <string.h>

namespace NPlugin {

HRESULT CBzip2Coder::Begin() {
    memset(&_bz, 0, sizeof(_bz));
    const int r = _encode ? BZ2_bzCompressInit(&_bz, _blockSize, 0, 0) : BZ2_bzDecompressInit(&_bz, 0, 0);
    if (r != BZ_OK) return E_OUTOFMEMORY;
    _active = true;
    return S_OK;
}

CCoderBase::EStep CBzip2Coder::Step(const Byte *in, size_t inAvail, size_t &inUsed, Byte *out, size_t outAvail,
                                    size_t &outUsed, bool finish) {
    _bz.next_in = const_cast<char *>(reinterpret_cast<const char *>(in));
    _bz.avail_in = static_cast<unsigned>(inAvail);
    _bz.next_out = reinterpret_cast<char *>(out);
    _bz.avail_out = static_cast<unsigned>(outAvail);
    const int r = _encode ? BZ2_bzCompress(&_bz, finish ? BZ_FINISH : BZ_RUN) : BZ2_bzDecompress(&_bz);
    inUsed = inAvail - _bz.avail_in;
    outUsed = outAvail - _bz.avail_out;
    if (r == BZ_STREAM_END) {
        if (_encode) return kStepEnd;
        // Another stream may follow (parallel writers concatenate them).
        const bool more = _bz.avail_in >= 3 && memcmp(_bz.next_in, "BZh", 3) == 0;
        if (!more) return kStepEnd;
        BZ2_bzDecompressEnd(&_bz);
        memset(&_bz, 0, sizeof(_bz));
        if (BZ2_bzDecompressInit(&_bz, 0, 0) != BZ_OK) {
            _active = false;
            return kStepError;
        }
        return kStepContinue;
    }
    if (r == BZ_OK || r == BZ_RUN_OK || r == BZ_FINISH_OK) return kStepContinue;
    return kStepError;
}

void CBzip2Coder::End() {
    if (!_active) return;
    if (_encode)
        BZ2_bzCompressEnd(&_bz);
    else
        BZ2_bzDecompressEnd(&_bz);
    _active = false;
}

HRESULT CBzip2Coder::SetCoderProperties(const PROPID *propIDs, const PROPVARIANT *props, UInt32 numProps) {
    return ForEachUInt32Prop(propIDs, props, numProps, {NCoderPropID::kLevel}, [this](PROPID, UInt32 level) {
        _blockSize = level == 0 ? 1 : (level > 9 ? 9 : static_cast<int>(level));
    });
}

} // namespace NPlugin
