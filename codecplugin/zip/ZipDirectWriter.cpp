#include "zip/ZipDirectWriter.h"

#include "PropVariantUtils.h"
#include "StreamUtils.h"

#include <string.h>
#include <time.h>

namespace NPlugin {

namespace {

const size_t kBufferSize = 1 << 20;
const UInt32 kMax32 = 0xFFFFFFFF;
// An entry declared this large may outgrow 32 bits once compressed: its local header gets zip64.
const UInt64 kZip64Guess = 0xF0000000;
const UInt16 kMadeBy = (3 << 8) | 63; // Unix, 6.3
const UInt16 kFlagDescriptor = 1 << 3;
const UInt16 kFlagLzmaEnd = 1 << 1;
const UInt16 kFlagUtf8 = 1 << 11;
const UInt16 kExtendedTimestamp = 0x5455;

class CBytes {
public:
    std::vector<Byte> b;
    void U16(UInt32 v) {
        b.push_back(static_cast<Byte>(v));
        b.push_back(static_cast<Byte>(v >> 8));
    }
    void U32(UInt32 v) {
        U16(v & 0xFFFF);
        U16(v >> 16);
    }
    void U64(UInt64 v) {
        U32(static_cast<UInt32>(v));
        U32(static_cast<UInt32>(v >> 32));
    }
    void Str(const std::string &s) { b.insert(b.end(), s.begin(), s.end()); }
};

bool IsUtf8NonAscii(const std::string &s) {
    bool ascii = true;
    for (size_t i = 0; i < s.size();) {
        const Byte c = static_cast<Byte>(s[i]);
        size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        if (n == 0 || i + n > s.size()) return false;
        for (size_t k = 1; k < n; k++)
            if ((static_cast<Byte>(s[i + k]) & 0xC0) != 0x80) return false;
        if (n > 1) ascii = false;
        i += n;
    }
    return !ascii;
}

// DOS date and time in local time, as the zip tools write them; 1980 at the earliest.
void DosTime(Int64 unixTime, UInt16 &time, UInt16 &date) {
    const time_t t = static_cast<time_t>(unixTime);
    struct tm tm;
    if (!localtime_r(&t, &tm) || tm.tm_year < 80) {
        time = 0;
        date = (1 << 5) | 1;
        return;
    }
    time = static_cast<UInt16>((tm.tm_hour << 11) | (tm.tm_min << 5) | (tm.tm_sec >> 1));
    date = static_cast<UInt16>(((tm.tm_year - 80) << 9) | ((tm.tm_mon + 1) << 5) | tm.tm_mday);
}

UInt16 VersionNeeded(const CZipDirectWriter::CEntry &e, bool zip64) {
    if (e.method == ZIP_CM_LZMA) return 63;
    if (e.method == ZIP_CM_BZIP2) return 46;
    return zip64 ? 45 : 20;
}

bool FitsTimestamp(Int64 t) {
    return t >= INT32_MIN && t <= INT32_MAX;
}

} // namespace

CZipDirectWriter::CZipDirectWriter(ISequentialOutStream *out) : _out(out) {}

HRESULT CZipDirectWriter::Begin(const CZipCompressor *compressor) {
    _compressor = compressor;
    _out->QueryInterface(IID_IOutStream, reinterpret_cast<void **>(&_outSeek));
    // Offsets count from where this archive starts in the stream (after a stub written before it).
    if (_outSeek && _outSeek->Seek(0, STREAM_SEEK_CUR, &_base) != S_OK) _outSeek.Release();
    _buf.reserve(kBufferSize);
    return S_OK;
}

HRESULT CZipDirectWriter::Flush() {
    if (_buf.empty()) return S_OK;
    const HRESULT res = WriteStreamAll(_out, _buf.data(), _buf.size());
    _buf.clear();
    return res;
}

HRESULT CZipDirectWriter::Put(const void *data, size_t size) {
    // A large piece goes out as it is, without a copy into the buffer.
    if (_buf.size() + size > kBufferSize || size >= kBufferSize / 4) RINOK_PLUGIN(Flush());
    _pos += size;
    if (size >= kBufferSize / 4) return WriteStreamAll(_out, data, size);
    const Byte *p = static_cast<const Byte *>(data);
    _buf.insert(_buf.end(), p, p + size);
    return S_OK;
}

HRESULT CZipDirectWriter::Patch(UInt64 pos, const void *data, size_t size) {
    const UInt64 bufStart = _pos - _buf.size();
    if (pos >= bufStart) {
        memcpy(_buf.data() + (pos - bufStart), data, size);
        return S_OK;
    }
    RINOK_PLUGIN(Flush());
    RINOK_PLUGIN(_outSeek->Seek(static_cast<Int64>(_base + pos), STREAM_SEEK_SET, nullptr));
    RINOK_PLUGIN(WriteStreamAll(_out, data, size));
    return _outSeek->Seek(static_cast<Int64>(_base + _pos), STREAM_SEEK_SET, nullptr);
}

HRESULT CZipDirectWriter::Expect(CEntry entry) {
    if (!_names.insert(entry.name).second) return E_INVALIDARG;
    _entries.push_back(std::move(entry));
    return S_OK;
}

HRESULT CZipDirectWriter::WriteLocalHeader(CEntry &e) {
    UInt16 dosTime, dosDate;
    DosTime(e.mtime, dosTime, dosDate);
    CBytes h;
    h.U32(0x04034b50);
    h.U16(VersionNeeded(e, e.zip64Local));
    h.U16(e.flags);
    h.U16(e.method);
    h.U16(dosTime);
    h.U16(dosDate);
    const bool final = !e.descriptor;
    h.U32(final ? e.crc : 0);
    h.U32(e.zip64Local ? kMax32 : final ? static_cast<UInt32>(e.packSize) : 0);
    h.U32(e.zip64Local ? kMax32 : final ? static_cast<UInt32>(e.size) : 0);
    h.U16(static_cast<UInt32>(e.name.size()));
    const bool timestamp = FitsTimestamp(e.mtime);
    h.U16((e.zip64Local ? 20 : 0) + (timestamp ? 9 : 0));
    h.Str(e.name);
    if (e.zip64Local) {
        h.U16(1);
        h.U16(16);
        h.U64(final ? e.size : 0);
        h.U64(final ? e.packSize : 0);
    }
    if (timestamp) {
        // The exact time in UTC beside the DOS time, which has 2-second steps and no zone.
        h.U16(kExtendedTimestamp);
        h.U16(5);
        h.b.push_back(1);
        h.U32(static_cast<UInt32>(static_cast<Int32>(e.mtime)));
    }
    return Put(h.b.data(), h.b.size());
}

HRESULT CZipDirectWriter::EntryData(size_t index, const Byte *data, size_t size, bool first, bool last) {
    if (index >= _entries.size()) return E_FAIL;
    CEntry &e = _entries[index];
    const CSpoolEntry &done = _compressor->Entry(index);
    if (first) {
        e.offset = _pos;
        e.method = static_cast<UInt16>(done.method);
        e.flags = IsUtf8NonAscii(e.name) ? kFlagUtf8 : 0;
        if (done.method == ZIP_CM_LZMA) e.flags |= kFlagLzmaEnd;
        if (last) {
            // The whole entry is here: its header carries the final values.
            e.crc = done.crc;
            e.size = done.size;
            e.packSize = done.packSize;
            e.zip64Local = e.size >= kMax32 || e.packSize >= kMax32;
        } else {
            e.zip64Local = !e.sizeKnown || e.sizeHint >= kZip64Guess;
            e.descriptor = !_outSeek;
            if (e.descriptor) e.flags |= kFlagDescriptor;
        }
        RINOK_PLUGIN(WriteLocalHeader(e));
    }
    RINOK_PLUGIN(Put(data, size));
    if (!last || first) return S_OK;
    e.crc = done.crc;
    e.size = done.size;
    e.packSize = done.packSize;
    // The data grew past what its header has room for.
    if (!e.zip64Local && (e.size >= kMax32 || e.packSize >= kMax32)) return E_FAIL;
    CBytes v;
    if (e.descriptor) {
        v.U32(0x08074b50);
        v.U32(e.crc);
        if (e.zip64Local) {
            v.U64(e.packSize);
            v.U64(e.size);
        } else {
            v.U32(static_cast<UInt32>(e.packSize));
            v.U32(static_cast<UInt32>(e.size));
        }
        return Put(v.b.data(), v.b.size());
    }
    v.U32(e.crc);
    RINOK_PLUGIN(Patch(e.offset + 14, v.b.data(), v.b.size()));
    if (!e.zip64Local) {
        CBytes sizes;
        sizes.U32(static_cast<UInt32>(e.packSize));
        sizes.U32(static_cast<UInt32>(e.size));
        return Patch(e.offset + 18, sizes.b.data(), sizes.b.size());
    }
    CBytes sizes;
    sizes.U64(e.size);
    sizes.U64(e.packSize);
    return Patch(e.offset + 30 + e.name.size() + 4, sizes.b.data(), sizes.b.size());
}

HRESULT CZipDirectWriter::End() {
    const UInt64 cdStart = _pos;
    for (const CEntry &e : _entries) {
        UInt16 dosTime, dosDate;
        DosTime(e.mtime, dosTime, dosDate);
        CBytes zip64;
        if (e.size >= kMax32) zip64.U64(e.size);
        if (e.packSize >= kMax32) zip64.U64(e.packSize);
        if (e.offset >= kMax32) zip64.U64(e.offset);
        const bool timestamp = FitsTimestamp(e.mtime);
        CBytes h;
        h.U32(0x02014b50);
        h.U16(kMadeBy);
        h.U16(VersionNeeded(e, !zip64.b.empty() || e.zip64Local));
        h.U16(e.flags);
        h.U16(e.method);
        h.U16(dosTime);
        h.U16(dosDate);
        h.U32(e.crc);
        h.U32(e.packSize >= kMax32 ? kMax32 : static_cast<UInt32>(e.packSize));
        h.U32(e.size >= kMax32 ? kMax32 : static_cast<UInt32>(e.size));
        h.U16(static_cast<UInt32>(e.name.size()));
        h.U16(static_cast<UInt32>((zip64.b.empty() ? 0 : 4 + zip64.b.size()) + (timestamp ? 9 : 0)));
        h.U16(0); // comment
        h.U16(0); // disk
        h.U16(0); // internal attributes
        h.U32(e.externalAttributes);
        h.U32(e.offset >= kMax32 ? kMax32 : static_cast<UInt32>(e.offset));
        h.Str(e.name);
        if (!zip64.b.empty()) {
            h.U16(1);
            h.U16(static_cast<UInt32>(zip64.b.size()));
            h.b.insert(h.b.end(), zip64.b.begin(), zip64.b.end());
        }
        if (timestamp) {
            h.U16(kExtendedTimestamp);
            h.U16(5);
            h.b.push_back(1);
            h.U32(static_cast<UInt32>(static_cast<Int32>(e.mtime)));
        }
        RINOK_PLUGIN(Put(h.b.data(), h.b.size()));
    }
    const UInt64 cdSize = _pos - cdStart;
    const UInt64 count = _entries.size();
    CBytes end;
    if (count >= 0xFFFF || cdStart >= kMax32 || cdSize >= kMax32) {
        const UInt64 zip64End = _pos;
        end.U32(0x06064b50);
        end.U64(44);
        end.U16(kMadeBy);
        end.U16(45);
        end.U32(0);
        end.U32(0);
        end.U64(count);
        end.U64(count);
        end.U64(cdSize);
        end.U64(cdStart);
        end.U32(0x07064b50);
        end.U32(0);
        end.U64(zip64End);
        end.U32(1);
    }
    end.U32(0x06054b50);
    end.U16(0);
    end.U16(0);
    end.U16(static_cast<UInt32>(count >= 0xFFFF ? 0xFFFF : count));
    end.U16(static_cast<UInt32>(count >= 0xFFFF ? 0xFFFF : count));
    end.U32(cdSize >= kMax32 ? kMax32 : static_cast<UInt32>(cdSize));
    end.U32(cdStart >= kMax32 ? kMax32 : static_cast<UInt32>(cdStart));
    end.U16(0);
    RINOK_PLUGIN(Put(end.b.data(), end.b.size()));
    return Flush();
}

} // namespace NPlugin
