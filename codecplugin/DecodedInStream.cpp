#include "DecodedInStream.h"

#include "StreamUtils.h"

#include <vector>

namespace NPlugin {

CDecodedInStream::CDecodedInStream(IInStream *source, UInt64 sourceSize, FormatSetupFunc setup, const UInt64 *size)
    : _source(source), _sourceSize(sourceSize), _setup(setup), _size(size ? *size : 0), _sizeDefined(size != nullptr) {}

HRESULT CDecodedInStream::Restart() {
    _reader.reset();
    _decodePos = 0;
    std::unique_ptr<CArchiveReader> reader(new CArchiveReader(_source, _sourceSize));
    if (reader->Open(_setup) != ARCHIVE_OK) return reader->StreamResult() != S_OK ? reader->StreamResult() : E_FAIL;
    struct archive_entry *entry = nullptr;
    const int r = reader->NextHeader(&entry);
    if (r != ARCHIVE_OK && r != ARCHIVE_WARN) return reader->StreamResult() != S_OK ? reader->StreamResult() : E_FAIL;
    _reader = std::move(reader);
    return S_OK;
}

HRESULT CDecodedInStream::DecodeForwardTo(UInt64 target, bool &reachedEnd) {
    reachedEnd = false;
    std::vector<Byte> scratch(1 << 16);
    while (_decodePos < target) {
        UInt64 want = target - _decodePos;
        if (want > scratch.size()) want = scratch.size();
        const la_ssize_t n = _reader->ReadData(scratch.data(), static_cast<size_t>(want));
        if (n < 0) return _reader->StreamResult() != S_OK ? _reader->StreamResult() : E_FAIL;
        if (n == 0) {
            reachedEnd = true;
            return S_OK;
        }
        _decodePos += static_cast<UInt64>(n);
    }
    return S_OK;
}

HRESULT CDecodedInStream::LearnSize() {
    if (_sizeDefined) return S_OK;
    if (!_reader) {
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
    if (!_reader || _pos < _decodePos) {
        const HRESULT res = Restart();
        if (res != S_OK) return res;
    }
    bool end = false;
    HRESULT res = DecodeForwardTo(_pos, end);
    if (res != S_OK) return res;
    if (end) return S_OK;
    const la_ssize_t n = _reader->ReadData(data, size);
    if (n < 0) return _reader->StreamResult() != S_OK ? _reader->StreamResult() : E_FAIL;
    _pos += static_cast<UInt64>(n);
    _decodePos += static_cast<UInt64>(n);
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
