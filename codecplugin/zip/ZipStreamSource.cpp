#include "zip/ZipStreamSource.h"

#include "PropVariantUtils.h"
#include "StreamUtils.h"

#include <algorithm>
#include <string.h>
#include <vector>

namespace NPlugin {

namespace {

const size_t kEndRecordSize = 22;
const size_t kMaxComment = 0xFFFF;
const size_t kLocator64Size = 20;
const size_t kCopyChunk = 1 << 18;
const size_t kCacheSize = 1 << 16;
const size_t kStreamingCacheSize = 1 << 20;
const size_t kWriteBuffer = 1 << 20;
// How often a copy of the old archive's start reports how far it got.
const UInt64 kCopyStep = 8 << 20;

} // namespace

HRESULT FindZipPlacement(IInStream *in, UInt64 size, CZipPlacement &placement) {
    placement = CZipPlacement();
    if (size < kEndRecordSize) return S_OK;
    const size_t tailSize = static_cast<size_t>(std::min<UInt64>(size, kEndRecordSize + kMaxComment + kLocator64Size));
    const UInt64 tailStart = size - tailSize;
    std::vector<Byte> tail(tailSize);
    size_t got = 0;
    RINOK_PLUGIN(ReadStreamAt(in, tailStart, tail.data(), tailSize, got));
    if (got != tailSize) return S_OK;
    for (size_t i = tailSize - kEndRecordSize + 1; i-- > 0;) {
        const Byte *e = tail.data() + i;
        if (memcmp(e, "PK\x05\x06", 4) != 0) continue;
        const UInt64 endPos = tailStart + i;
        UInt64 cdSize = Get32(e + 12);
        UInt64 cdOffset = Get32(e + 16);
        UInt64 cdEnd = endPos;
        if (i >= kLocator64Size && memcmp(e - kLocator64Size, "PK\x06\x07", 4) == 0) {
            // The zip64 end record lies right before its locator.
            const UInt64 locatorPos = endPos - kLocator64Size;
            Byte rec[56];
            const UInt64 recPos = locatorPos >= sizeof(rec) ? locatorPos - sizeof(rec) : 0;
            RINOK_PLUGIN(ReadStreamAt(in, recPos, rec, sizeof(rec), got));
            if (got == sizeof(rec) && memcmp(rec, "PK\x06\x06", 4) == 0 && Get64(rec + 4) == 44) {
                cdSize = Get64(rec + 40);
                cdOffset = Get64(rec + 48);
                cdEnd = recPos;
            }
        }
        if (cdSize > cdEnd) return S_OK;
        const UInt64 cdStart = cdEnd - cdSize;
        placement.found = true;
        placement.end = std::min<UInt64>(size, endPos + kEndRecordSize + Get16(e + 20));
        if (cdSize == 0) return S_OK;
        // Trusted only where the directory really is.
        Byte header[46];
        RINOK_PLUGIN(ReadStreamAt(in, cdStart, header, sizeof(header), got));
        if (got != sizeof(header) || memcmp(header, "PK\x01\x02", 4) != 0) return S_OK;
        placement.shift = static_cast<Int64>(cdStart) - static_cast<Int64>(cdOffset);
        const UInt32 firstOffset = Get32(header + 42);
        const Int64 first = placement.shift + static_cast<Int64>(firstOffset);
        if (firstOffset != 0xFFFFFFFF && first > 0 && static_cast<UInt64>(first) < cdStart)
            placement.firstEntry = static_cast<UInt64>(first);
        return S_OK;
    }
    return S_OK;
}

CZipStreamSource::CZipStreamSource(IInStream *in, UInt64 inSize, Int64 shift, ISequentialOutStream *out)
    : _in(in), _inSize(inSize), _shift(shift), _out(out) {
    zip_error_init(&_error);
    // The old archive's start is kept as it is only where the output so far holds what lies in front
    // of libzip's positions: nothing, or the bytes in front of the archive, copied just before.
    if (_in && _out && _shift >= 0 && static_cast<UInt64>(_shift) <= _inSize) {
        CMyComPtr<IOutStream> seek;
        _out->QueryInterface(IID_IOutStream, reinterpret_cast<void **>(&seek));
        UInt64 pos = 0;
        _mayClone = seek && seek->Seek(0, STREAM_SEEK_CUR, &pos) == S_OK && pos == static_cast<UInt64>(_shift);
    }
}

CZipStreamSource::~CZipStreamSource() {
    if (_spool) fclose(_spool);
    zip_error_fini(&_error);
}

zip_source_t *CZipStreamSource::Create(zip_error_t *error) {
    return zip_source_function_create(Callback, this, error);
}

zip_int64_t CZipStreamSource::Callback(void *self, void *data, zip_uint64_t len, zip_source_cmd_t cmd) {
    return static_cast<CZipStreamSource *>(self)->Command(data, len, cmd);
}

zip_int64_t CZipStreamSource::Fail(int zipError, HRESULT res) {
    if (_streamResult == S_OK && res != S_OK) _streamResult = res;
    zip_error_set(&_error, zipError, 0);
    return -1;
}

// Reads at a libzip position; positions before the stream's start (offsets that count a stub we
// were not given) read as zeros.
HRESULT CZipStreamSource::ReadStream(UInt64 pos, Byte *data, size_t len, size_t &got) {
    got = 0;
    const Int64 physical = static_cast<Int64>(pos) + _shift;
    if (physical < 0) {
        got = static_cast<size_t>(std::min<UInt64>(len, static_cast<UInt64>(-physical)));
        memset(data, 0, got);
        if (got == len) return S_OK;
    }
    RINOK_PLUGIN(_in->Seek(static_cast<Int64>(pos + got) + _shift, STREAM_SEEK_SET, nullptr));
    size_t n = 0;
    const HRESULT res = ReadStreamMax(_in, data + got, len - got, n);
    got += n;
    return res;
}

zip_int64_t CZipStreamSource::Read(void *data, zip_uint64_t len) {
    if (!_in) return 0;
    const UInt64 size = static_cast<UInt64>(static_cast<Int64>(_inSize) - _shift);
    if (_pos >= size) return 0;
    len = std::min<zip_uint64_t>(len, size - _pos);
    Byte *p = static_cast<Byte *>(data);
    size_t got = 0;
    if (len >= kCacheSize / 2) {
        const HRESULT res = ReadStream(_pos, p, static_cast<size_t>(len), got);
        if (res != S_OK) return Fail(ZIP_ER_READ, res);
    } else {
        if (_pos < _cacheStart || _pos + len > _cacheStart + _cacheSize) {
            // Reads going on where the window ended copy kept entries: they get a large window.
            const size_t window = _cacheSize != 0 && _pos >= _cacheStart && _pos <= _cacheStart + _cacheSize
                                      ? kStreamingCacheSize
                                      : kCacheSize;
            if (_cache.size() < window) _cache.resize(window);
            _cacheStart = _pos;
            _cacheSize = 0;
            const HRESULT res =
                ReadStream(_pos, _cache.data(), static_cast<size_t>(std::min<UInt64>(window, size - _pos)), _cacheSize);
            if (res != S_OK) return Fail(ZIP_ER_READ, res);
        }
        got = static_cast<size_t>(std::min<UInt64>(len, _cacheStart + _cacheSize - _pos));
        memcpy(p, _cache.data() + (_pos - _cacheStart), got);
    }
    _pos += got;
    return static_cast<zip_int64_t>(got);
}

HRESULT CZipStreamSource::WriteOut(UInt64 pos, const void *data, size_t len) {
    if (_physPos != pos) {
        if (_spool) {
            if (fseeko(_spool, static_cast<off_t>(pos), SEEK_SET) != 0) return E_FAIL;
        } else {
            RINOK_PLUGIN(_outSeek->Seek(static_cast<Int64>(_outBase + pos), STREAM_SEEK_SET, nullptr));
        }
        _physPos = pos;
    }
    if (_spool) {
        if (fwrite(data, 1, len, _spool) != len) return E_FAIL;
    } else {
        RINOK_PLUGIN(WriteStreamAll(_out, data, len));
    }
    _physPos += len;
    return S_OK;
}

HRESULT CZipStreamSource::FlushWrites() {
    if (_wbufSize == 0) return S_OK;
    const size_t n = _wbufSize;
    _wbufSize = 0;
    return WriteOut(_wbufStart, _wbuf.data(), n);
}

zip_int64_t CZipStreamSource::Write(const void *data, zip_uint64_t len) {
    // A write elsewhere than in or right after the buffered piece starts a new piece.
    if (_wbufSize != 0 &&
        (_wpos < _wbufStart || _wpos > _wbufStart + _wbufSize || _wpos - _wbufStart + len > kWriteBuffer)) {
        const HRESULT res = FlushWrites();
        if (res != S_OK) return Fail(ZIP_ER_WRITE, res);
    }
    if (_wbufSize == 0) _wbufStart = _wpos;
    const size_t offset = static_cast<size_t>(_wpos - _wbufStart);
    if (offset + len > kWriteBuffer) {
        const HRESULT res = WriteOut(_wpos, data, static_cast<size_t>(len));
        if (res != S_OK) return Fail(ZIP_ER_WRITE, res);
    } else {
        if (_wbuf.size() < kWriteBuffer) _wbuf.resize(kWriteBuffer);
        memcpy(_wbuf.data() + offset, data, static_cast<size_t>(len));
        _wbufSize = std::max(_wbufSize, offset + static_cast<size_t>(len));
    }
    _wpos += len;
    _wend = std::max(_wend, _wpos);
    return static_cast<zip_int64_t>(len);
}

HRESULT CZipStreamSource::CommitSpool() {
    if (fflush(_spool) != 0 || fseek(_spool, 0, SEEK_SET) != 0) return E_FAIL;
    std::vector<Byte> buf(kCopyChunk);
    for (UInt64 done = 0, looked = 0;;) {
        const size_t n = fread(buf.data(), 1, buf.size(), _spool);
        if (n == 0) return ferror(_spool) ? E_FAIL : S_OK;
        RINOK_PLUGIN(WriteStreamAll(_out, buf.data(), n));
        done += n;
        // The whole archive goes out here: a stop is looked for as it goes.
        if (_copyStep && done - looked >= kCopyStep) {
            RINOK_PLUGIN(_copyStep(0));
            looked = done;
        }
    }
}

HRESULT CZipStreamSource::BeginWrite() {
    _wpos = _wend = 0;
    _wbufSize = 0;
    _physPos = 0;
    _outSeek.Release();
    _out->QueryInterface(IID_IOutStream, reinterpret_cast<void **>(&_outSeek));
    // libzip goes back to finish each local header: a stream that cannot seek gets the archive
    // through a temporary file.
    if (!_outSeek || _outSeek->Seek(0, STREAM_SEEK_CUR, &_outBase) != S_OK) {
        _outSeek.Release();
        _spool = tmpfile();
        if (!_spool) return E_FAIL;
    }
    return S_OK;
}

// The first size bytes (libzip positions) of the new archive are the old one's: the entries that
// stay where they were, written once instead of read and written again entry by entry.
HRESULT CZipStreamSource::CloneStart(UInt64 size) {
    if (!_outSeek || size > _inSize - static_cast<UInt64>(_shift)) return E_FAIL;
    UInt64 copied = 0;
    const HRESULT res = KernelCopyRange(StreamFileDescriptor(_in), static_cast<UInt64>(_shift),
                                        StreamFileDescriptor(_out), _outBase, size, copied, _copyStep);
    if (res != S_FALSE) RINOK_PLUGIN(res);
    // The kernel moved neither file position.
    RINOK_PLUGIN(_outSeek->Seek(static_cast<Int64>(_outBase + copied), STREAM_SEEK_SET, nullptr));
    _physPos = copied;
    std::vector<Byte> buf;
    UInt64 reported = copied;
    while (copied < size) {
        if (buf.empty()) buf.resize(kWriteBuffer);
        size_t got = 0;
        RINOK_PLUGIN(
            ReadStream(copied, buf.data(), static_cast<size_t>(std::min<UInt64>(size - copied, buf.size())), got));
        if (got == 0) return E_FAIL;
        RINOK_PLUGIN(WriteOut(copied, buf.data(), got));
        copied += got;
        if (_copyStep && (copied - reported >= kCopyStep || copied == size)) {
            RINOK_PLUGIN(_copyStep(copied));
            reported = copied;
        }
    }
    _wpos = _wend = size;
    return S_OK;
}

zip_int64_t CZipStreamSource::Command(void *data, zip_uint64_t len, zip_source_cmd_t cmd) {
    switch (cmd) {
    case ZIP_SOURCE_OPEN:
        _pos = 0;
        return 0;
    case ZIP_SOURCE_READ:
        return Read(data, len);
    case ZIP_SOURCE_CLOSE:
        return 0;
    case ZIP_SOURCE_STAT: {
        zip_stat_t *st = ZIP_SOURCE_GET_ARGS(zip_stat_t, data, len, &_error);
        if (!st) return -1;
        zip_stat_init(st);
        st->size = _in ? static_cast<zip_uint64_t>(static_cast<Int64>(_inSize) - _shift) : 0;
        st->valid |= ZIP_STAT_SIZE;
        return sizeof(*st);
    }
    case ZIP_SOURCE_ERROR:
        return zip_error_to_data(&_error, data, len);
    case ZIP_SOURCE_FREE:
        return 0; // the object belongs to its maker
    case ZIP_SOURCE_SEEK: {
        const UInt64 size = _in ? static_cast<UInt64>(static_cast<Int64>(_inSize) - _shift) : 0;
        const zip_int64_t pos = zip_source_seek_compute_offset(_pos, size, data, len, &_error);
        if (pos < 0) return -1;
        _pos = static_cast<UInt64>(pos);
        return 0;
    }
    case ZIP_SOURCE_TELL:
        return static_cast<zip_int64_t>(_pos);
    case ZIP_SOURCE_SUPPORTS:
        if (!_out) return ZIP_SOURCE_SUPPORTS_SEEKABLE;
        return ZIP_SOURCE_SUPPORTS_WRITABLE |
               (_mayClone ? ZIP_SOURCE_MAKE_COMMAND_BITMASK(ZIP_SOURCE_BEGIN_WRITE_CLONING) : 0);
    case ZIP_SOURCE_BEGIN_WRITE: {
        if (!_out) return Fail(ZIP_ER_RDONLY, S_OK);
        // libzip starts over with a whole write when keeping the start failed: a stop or a failed
        // stream ends the run instead.
        if (_streamResult != S_OK) return Fail(ZIP_ER_WRITE, _streamResult);
        const HRESULT res = BeginWrite();
        if (res != S_OK) return Fail(ZIP_ER_TMPOPEN, res);
        return 0;
    }
    case ZIP_SOURCE_BEGIN_WRITE_CLONING: {
        if (!_out || !_mayClone) return Fail(ZIP_ER_OPNOTSUPP, S_OK);
        HRESULT res = BeginWrite();
        if (res == S_OK) res = CloneStart(len);
        if (res != S_OK) return Fail(ZIP_ER_WRITE, res);
        return 0;
    }
    case ZIP_SOURCE_WRITE:
        return Write(data, len);
    case ZIP_SOURCE_SEEK_WRITE: {
        const zip_int64_t pos = zip_source_seek_compute_offset(_wpos, _wend, data, len, &_error);
        if (pos < 0) return -1;
        // The stream itself moves when the buffered piece is written.
        _wpos = static_cast<UInt64>(pos);
        return 0;
    }
    case ZIP_SOURCE_TELL_WRITE:
        return static_cast<zip_int64_t>(_wpos);
    case ZIP_SOURCE_COMMIT_WRITE: {
        HRESULT res = FlushWrites();
        if (res == S_OK && _spool) {
            res = CommitSpool();
        } else if (res == S_OK && _physPos != _wend) {
            res = _outSeek->Seek(static_cast<Int64>(_outBase + _wend), STREAM_SEEK_SET, nullptr);
        }
        if (res != S_OK) return Fail(ZIP_ER_WRITE, res);
        return 0;
    }
    case ZIP_SOURCE_ROLLBACK_WRITE:
        _wbufSize = 0;
        return 0; // the engine drops the unfinished output
    case ZIP_SOURCE_REMOVE:
        _removed = true;
        return 0;
    default:
        zip_error_set(&_error, ZIP_ER_OPNOTSUPP, 0);
        return -1;
    }
}

} // namespace NPlugin
