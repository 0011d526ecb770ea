#include "streams/DecodedInStream.h"

#include "PropVariantUtils.h"
#include "StreamUtils.h"

#include <algorithm>
#include <string.h>

namespace NPlugin {

CDecodedInStream::CDecodedInStream(IInStream *source, UInt64 sourceSize, int filterCode, const UInt64 *size,
                                   std::shared_ptr<const CDecodedChunks> kept, std::shared_ptr<CKeepBudget> budget)
    : _source(source), _sourceSize(sourceSize), _filterCode(filterCode), _kept(std::move(kept)),
      _budget(std::move(budget)), _size(size ? *size : 0), _sizeDefined(size != nullptr) {
    if (_kept) {
        _size = _kept->Size();
        _sizeDefined = true;
    }
}

void CDecodedInStream::Restart() {
    _decodePos = 0;
    _block = nullptr;
    _blockLeft = 0;
    _decoder.reset(new CStreamDecoder(_source, _sourceSize, _filterCode));
    if (_decoded.empty()) _decoded.resize(1 << 16);
}

// Data that stops decoding (cut short, damaged) ends where it stops, so that the archive inside
// keeps what came before and its own reader reports the early end; failures of the source itself
// are passed on.
HRESULT CDecodedInStream::NextBytes(const Byte *&data, size_t &size) {
    data = nullptr;
    size = 0;
    if (_blockLeft == 0) {
        if (!_decoder) return S_OK;
        size_t got = 0;
        RINOK_PLUGIN(_decoder->Read(_decoded.data(), _decoded.size(), got));
        if (got == 0) {
            if (!_sizeDefined || _size > _decodePos) {
                _size = _decodePos;
                _sizeDefined = true;
            }
            _decoder.reset();
            return S_OK;
        }
        _block = _decoded.data();
        _blockLeft = got;
    }
    data = _block;
    size = _blockLeft;
    return S_OK;
}

void CDecodedInStream::Consume(size_t size) {
    _block += size;
    _blockLeft -= size;
    _decodePos += size;
}

HRESULT CDecodedInStream::DecodeForwardTo(UInt64 target, bool &reachedEnd) {
    reachedEnd = false;
    while (_decodePos < target) {
        const Byte *data;
        size_t n;
        RINOK_PLUGIN(NextBytes(data, n));
        if (n == 0) {
            reachedEnd = true;
            return S_OK;
        }
        Consume(static_cast<size_t>(std::min<UInt64>(n, target - _decodePos)));
    }
    return S_OK;
}

HRESULT CDecodedInStream::LearnSize() {
    if (_sizeDefined) return S_OK;
    if (!_decoder) Restart();
    bool end = false;
    while (!end) {
        const HRESULT res = DecodeForwardTo(UINT64_MAX, end);
        if (res != S_OK) return res;
    }
    _size = _decodePos;
    _sizeDefined = true;
    return S_OK;
}

HRESULT CDecodedInStream::Read(void *data, UInt32 size, UInt32 *processedSize) {
    COM_TRY_BEGIN
    if (processedSize) *processedSize = 0;
    if (size == 0) return S_OK;
    if (_sizeDefined && _pos >= _size) return S_OK;
    if (_kept) {
        const size_t n = _kept->Copy(_pos, static_cast<Byte *>(data), size);
        _pos += n;
        if (processedSize) *processedSize = static_cast<UInt32>(n);
        return S_OK;
    }
    if (!_decoder || _pos < _decodePos) Restart();
    bool end = false;
    HRESULT res = DecodeForwardTo(_pos, end);
    if (res != S_OK) return res;
    if (end) return S_OK;
    const Byte *block;
    size_t n;
    RINOK_PLUGIN(NextBytes(block, n));
    n = std::min<size_t>(n, size);
    memcpy(data, block, n);
    Consume(n);
    _pos += n;
    if (processedSize) *processedSize = static_cast<UInt32>(n);
    return S_OK;
    COM_TRY_END
}

HRESULT CDecodedInStream::Seek(Int64 offset, UInt32 seekOrigin, UInt64 *newPosition) {
    COM_TRY_BEGIN
    if (seekOrigin == STREAM_SEEK_END) {
        const HRESULT res = LearnSize();
        if (res != S_OK) return res;
    }
    return SeekPosition(offset, seekOrigin, _size, _pos, newPosition);
    COM_TRY_END
}

HRESULT CDecodedInStream::GetSize(UInt64 *size) {
    COM_TRY_BEGIN
    const HRESULT res = LearnSize();
    if (res != S_OK) return res;
    *size = _size;
    return S_OK;
    COM_TRY_END
}

} // namespace NPlugin
