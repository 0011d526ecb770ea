#include "coders/LzmaCoder.h"

#include "StreamUtils.h"

#include <stdlib.h>
#include <string.h>

namespace NPlugin {

void CapDecoderDictionary(lzma_filter &filter, UInt64 outSize) {
    if (filter.id != LZMA_FILTER_LZMA1 && filter.id != LZMA_FILTER_LZMA2) return;
    lzma_options_lzma *opt = static_cast<lzma_options_lzma *>(filter.options);
    if (!opt || opt->dict_size <= outSize) return;
    opt->dict_size = outSize < LZMA_DICT_SIZE_MIN ? LZMA_DICT_SIZE_MIN : static_cast<uint32_t>(outSize);
}

HRESULT CLzmaCoder::EncoderOptions(lzma_options_lzma &opt) const {
    if (lzma_lzma_preset(&opt, _level > 9 ? 9 : _level)) return E_INVALIDARG;
    if (_dictSize != 0) opt.dict_size = _dictSize < LZMA_DICT_SIZE_MIN ? LZMA_DICT_SIZE_MIN : _dictSize;
    return S_OK;
}

HRESULT CLzmaCoder::Begin() {
    _strm = LZMA_STREAM_INIT;
    lzma_filter filters[2];
    filters[0].id = _lzma2 ? LZMA_FILTER_LZMA2 : LZMA_FILTER_LZMA1;
    filters[0].options = nullptr;
    filters[1].id = LZMA_VLI_UNKNOWN;
    filters[1].options = nullptr;
    lzma_options_lzma opt;
    lzma_ret r;
    if (_encode) {
        const HRESULT res = EncoderOptions(opt);
        if (res != S_OK) return res;
        filters[0].options = &opt;
        r = lzma_raw_encoder(&_strm, filters);
    } else {
        if (_props.empty()) return E_INVALIDARG;
        if (lzma_properties_decode(&filters[0], nullptr, _props.data(), _props.size()) != LZMA_OK) return E_INVALIDARG;
        if (_outSizeKnown) CapDecoderDictionary(filters[0], _outSize);
        r = lzma_raw_decoder(&_strm, filters);
        free(filters[0].options);
    }
    if (r != LZMA_OK) return r == LZMA_MEM_ERROR ? E_OUTOFMEMORY : E_INVALIDARG;
    _active = true;
    return S_OK;
}

CCoderBase::EStep CLzmaCoder::Step(const Byte *in, size_t inAvail, size_t &inUsed, Byte *out, size_t outAvail,
                                   size_t &outUsed, bool finish) {
    _strm.next_in = in;
    _strm.avail_in = inAvail;
    _strm.next_out = out;
    _strm.avail_out = outAvail;
    const lzma_ret r = lzma_code(&_strm, finish ? LZMA_FINISH : LZMA_RUN);
    inUsed = inAvail - _strm.avail_in;
    outUsed = outAvail - _strm.avail_out;
    if (r == LZMA_STREAM_END) return kStepEnd;
    if (r == LZMA_OK || r == LZMA_BUF_ERROR) return kStepContinue;
    return kStepError;
}

void CLzmaCoder::End() {
    if (!_active) return;
    lzma_end(&_strm);
    _active = false;
}

HRESULT CLzmaCoder::SetDecoderProperties2(const Byte *data, UInt32 size) {
    if (size != (_lzma2 ? 1u : 5u)) return E_INVALIDARG;
    _props.assign(data, data + size);
    return S_OK;
}

HRESULT CLzmaCoder::SetCoderProperties(const PROPID *propIDs, const PROPVARIANT *props, UInt32 numProps) {
    return ForEachUInt32Prop(propIDs, props, numProps, {NCoderPropID::kLevel, NCoderPropID::kDictionarySize},
                             [this](PROPID id, UInt32 value) {
                                 if (id == NCoderPropID::kLevel)
                                     _level = value;
                                 else
                                     _dictSize = value;
                             });
}

HRESULT CLzmaCoder::WriteCoderProperties(ISequentialOutStream *outStream) {
    lzma_options_lzma opt;
    HRESULT res = EncoderOptions(opt);
    if (res != S_OK) return res;
    lzma_filter filter;
    filter.id = _lzma2 ? LZMA_FILTER_LZMA2 : LZMA_FILTER_LZMA1;
    filter.options = &opt;
    uint32_t size = 0;
    if (lzma_properties_size(&size, &filter) != LZMA_OK || size > 5) return E_INVALIDARG;
    Byte props[5];
    if (lzma_properties_encode(&filter, props) != LZMA_OK) return E_INVALIDARG;
    return WriteStreamAll(outStream, props, size);
}

} // namespace NPlugin
