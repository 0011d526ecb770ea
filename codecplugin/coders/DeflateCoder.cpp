#include "coders/DeflateCoder.h"

#include <string.h>

namespace NPlugin {

HRESULT CDeflateCoder::Begin() {
    memset(&_z, 0, sizeof(_z));
    const int r = _encode ? deflateInit2(&_z, _level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) : inflateInit2(&_z, -15);
    if (r != Z_OK) return E_OUTOFMEMORY;
    _active = true;
    return S_OK;
}

CCoderBase::EStep CDeflateCoder::Step(const Byte *in, size_t inAvail, size_t &inUsed, Byte *out, size_t outAvail,
                                      size_t &outUsed, bool finish) {
    _z.next_in = const_cast<Bytef *>(in);
    _z.avail_in = static_cast<uInt>(inAvail);
    _z.next_out = out;
    _z.avail_out = static_cast<uInt>(outAvail);
    const int r = _encode ? deflate(&_z, finish ? Z_FINISH : Z_NO_FLUSH) : inflate(&_z, Z_NO_FLUSH);
    inUsed = inAvail - _z.avail_in;
    outUsed = outAvail - _z.avail_out;
    if (r == Z_STREAM_END) return kStepEnd;
    if (r == Z_OK || r == Z_BUF_ERROR) return kStepContinue;
    return kStepError;
}

void CDeflateCoder::End() {
    if (!_active) return;
    if (_encode)
        deflateEnd(&_z);
    else
        inflateEnd(&_z);
    _active = false;
}

HRESULT CDeflateCoder::SetCoderProperties(const PROPID *propIDs, const PROPVARIANT *props, UInt32 numProps) {
    return ForEachUInt32Prop(propIDs, props, numProps, {NCoderPropID::kLevel},
                             [this](PROPID, UInt32 level) { _level = level > 9 ? 9 : static_cast<int>(level); });
}

} // namespace NPlugin
