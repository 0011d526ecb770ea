#include "streams/DecodedInStream.h"

#include "PropVariantUtils.h"
#include "StreamUtils.h"

#include <algorithm>
#include <string.h>

namespace NPlugin {

CDecodedInStream::CDecodedInStream(IInStream *source, UInt64 sourceSize, FormatSetupFunc setup, int filterCode,
                                   const UInt64 *size, std::shared_ptr<const CDecodedChunks> kept)
    : _source(source), _sourceSize(sourceSize), _setup(setup), _filterCode(filterCode), _kept(std::move(kept)),
      _size(size ? *size : 0), _sizeDefined(size != nullptr) {
    if (_kept) {
        _size = _kept->Size();
        _sizeDefined = true;
    }
}

HRESULT CDecodedInStream::Restart() {
    _reader.reset();
    _decoder.reset();
    _decodePos = 0;
    _block = nullptr;
    _blockLeft = 0;
    if (CStreamDecoder::Handles(_filterCode)) {
        _decoder.reset(new CStreamDecoder(_source, _sourceSize, _filterCode));
        if (_decoded.empty()) _decoded.resize(1 << 16);
        return S_OK;
    }
    std::unique_ptr<CArchiveReader> reader(new CArchiveReader(_source, _sourceSize));
    int r = reader->Open(_setup);
    struct archive_entry *entry = nullptr;
    if (r == ARCHIVE_OK) r = reader->NextHeader(&entry);
    if (r != ARCHIVE_OK && r != ARCHIVE_WARN) {
        if (reader->StreamResult() != S_OK) return reader->StreamResult();
        // Data too short to decode anything is an empty stream; the handler reports the damage.
        _size = 0;
        _sizeDefined = true;
        return S_OK;
    }
    _reader = std::move(reader);
    return S_OK;
}

// Blocks as the decoder gives them: reading into a buffer of our own would lose what was decoded
// before a failure. Data that stops decoding (cut short, damaged) ends where it stops, so that the
// archive inside keeps what came before and its own reader reports the early end; failures of the
// source itself are passed on.
HRESULT CDecodedInStream::NextBytes(const Byte *&data, size_t &size) {
    data = nullptr;
    size = 0;
    while (_blockLeft == 0) {
        if (_decoder) {
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
            break;
        }
        if (!_reader) return S_OK;
        const void *block = nullptr;
        size_t blockSize = 0;
        la_int64_t offset = 0;
        const int r = _reader->ReadDataBlock(&block, &blockSize, &offset);
        if (r == ARCHIVE_EOF) return S_OK;
        if (r != ARCHIVE_OK) {
            if (_reader->StreamResult() != S_OK) return _reader->StreamResult();
            if (!_sizeDefined || _size > _decodePos) {
                _size = _decodePos;
                _sizeDefined = true;
            }
            _reader.reset();
            return S_OK;
        }
        _block = static_cast<const Byte *>(block);
        _blockLeft = blockSize;
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
    if (!_reader && !_decoder) {
        const HRESULT res = Restart();
        if (res != S_OK) return res;
    }
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
    if ((!_reader && !_decoder) || _pos < _decodePos) {
        const HRESULT res = Restart();
        if (res != S_OK) return res;
    }
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
