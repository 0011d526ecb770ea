#include "zip/ZipDirectory.h"

#include "PropVariantUtils.h"
#include "StreamUtils.h"

#include <string.h>
#include <time.h>
#include <zlib.h>

#include <algorithm>

namespace NPlugin {

namespace {

const size_t kEndRecordSize = 22;
const size_t kLocator64Size = 20;
const size_t kEnd64RecordSize = 56;
const size_t kMaxTail = kEndRecordSize + 0xFFFF + kLocator64Size;
const size_t kHeaderSize = 46;
const size_t kReadChunk = 1 << 20;
const size_t kNameBlock = 1 << 20;
const UInt16 kZip64Field = 0x0001;
const UInt16 kExtendedTimestamp = 0x5455;
const UInt16 kUnicodePath = 0x7075;

bool IsUtf8(const Byte *s, size_t len) {
    for (size_t i = 0; i < len;) {
        const Byte c = s[i++];
        size_t more = c < 0x80 ? 0 : (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : 4;
        if (more == 4 || more > len - i) return false;
        for (; more; more--)
            if ((s[i++] & 0xC0) != 0x80) return false;
    }
    return true;
}

// Days since 1970-01-01 of a proleptic Gregorian date; month 1..12.
Int64 DaysFromCivil(Int64 y, unsigned m, unsigned d) {
    y -= m <= 2;
    const Int64 era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<Int64>(doe) - 719468;
}

// The central directory read in large pieces; a header never spans more than one piece.
class CDirectoryReader {
    IInStream *_in;
    UInt64 _left;
    std::vector<Byte> _buf;
    size_t _pos = 0, _end = 0;

public:
    CDirectoryReader(IInStream *in, UInt64 size) : _in(in), _left(size), _buf(std::min<UInt64>(size, kReadChunk)) {}

    // The next n bytes in one piece, or null at the directory's end.
    HRESULT Get(size_t n, const Byte *&p) {
        p = nullptr;
        if (_end - _pos < n) {
            if (n > _end - _pos + _left) return S_OK;
            memmove(_buf.data(), _buf.data() + _pos, _end - _pos);
            _end -= _pos;
            _pos = 0;
            if (_buf.size() < n) _buf.resize(n);
            const size_t want = static_cast<size_t>(std::min<UInt64>(_left, _buf.size() - _end));
            size_t got = 0;
            RINOK_PLUGIN(ReadStreamMax(_in, _buf.data() + _end, want, got));
            _end += got;
            _left -= want;
            if (got != want || _end < n) return S_OK;
        }
        p = _buf.data() + _pos;
        _pos += n;
        return S_OK;
    }
    bool AtEnd() const { return _pos == _end && _left == 0; }
};

} // namespace

const char *CZipListing::AddName(const char *s, size_t len) {
    if (len + 1 > _blockLeft) {
        const size_t size = std::max(kNameBlock, len + 1);
        _blocks.emplace_back(new char[size]);
        _blockPos = _blocks.back().get();
        _blockLeft = size;
    }
    char *p = _blockPos;
    memcpy(p, s, len);
    p[len] = 0;
    _blockPos += len + 1;
    _blockLeft -= len + 1;
    return p;
}

void CZipListing::Clear() {
    items.clear();
    items.shrink_to_fit();
    _blocks.clear();
    _blockLeft = 0;
    _blockPos = nullptr;
    directoryStart = directoryEnd = 0;
}

HRESULT CZipListing::Read(IInStream *in, UInt64 size, bool &ok) {
    Clear();
    ok = false;
    if (size < kEndRecordSize) return S_OK;
    const size_t tailSize = static_cast<size_t>(std::min<UInt64>(size, kMaxTail));
    const UInt64 tailStart = size - tailSize;
    std::vector<Byte> tail(tailSize);
    size_t got = 0;
    RINOK_PLUGIN(ReadStreamAt(in, tailStart, tail.data(), tailSize, got));
    if (got != tailSize) return S_OK;
    size_t endPos = tailSize - kEndRecordSize + 1;
    while (endPos-- > 0)
        if (memcmp(tail.data() + endPos, "PK\x05\x06", 4) == 0) break;
    if (endPos > tailSize) return S_OK;
    const Byte *e = tail.data() + endPos;
    // Only a plain single-volume archive that ends with its end record.
    if (endPos + kEndRecordSize + Get16(e + 20) != tailSize || Get16(e + 4) != 0 || Get16(e + 6) != 0 ||
        Get16(e + 8) != Get16(e + 10))
        return S_OK;
    UInt64 count = Get16(e + 10);
    UInt64 cdSize = Get32(e + 12);
    UInt64 cdEnd = tailStart + endPos;
    if (endPos >= kLocator64Size && memcmp(e - kLocator64Size, "PK\x06\x07", 4) == 0) {
        const Byte *locator = e - kLocator64Size;
        if (Get32(locator + 4) != 0 || Get32(locator + 16) > 1 || cdEnd < kLocator64Size + kEnd64RecordSize)
            return S_OK;
        Byte rec[kEnd64RecordSize];
        const UInt64 recPos = cdEnd - kLocator64Size - kEnd64RecordSize;
        RINOK_PLUGIN(ReadStreamAt(in, recPos, rec, sizeof(rec), got));
        if (got != sizeof(rec) || memcmp(rec, "PK\x06\x06", 4) != 0 || Get64(rec + 4) != 44 || Get32(rec + 16) != 0 ||
            Get32(rec + 20) != 0 || Get64(rec + 24) != Get64(rec + 32))
            return S_OK;
        count = Get64(rec + 32);
        cdSize = Get64(rec + 40);
        cdEnd = recPos;
    } else if (count == 0xFFFF || cdSize == 0xFFFFFFFF || Get32(e + 16) == 0xFFFFFFFF) {
        return S_OK;
    }
    if (cdSize > cdEnd || count > cdSize / kHeaderSize) return S_OK;

    // Once per archive: mktime() would look at the zone file for every entry.
    tzset();
    items.reserve(static_cast<size_t>(count));
    directoryStart = cdEnd - cdSize;
    directoryEnd = cdEnd;
    RINOK_PLUGIN(in->Seek(static_cast<Int64>(cdEnd - cdSize), STREAM_SEEK_SET, nullptr));
    CDirectoryReader reader(in, cdSize);
    for (UInt64 i = 0; i < count; i++) {
        const Byte *h = nullptr;
        RINOK_PLUGIN(reader.Get(kHeaderSize, h));
        if (!h || memcmp(h, "PK\x01\x02", 4) != 0) return S_OK;
        const size_t nameLen = Get16(h + 28), extraLen = Get16(h + 30), commentLen = Get16(h + 32);
        CZipListItem item;
        item.opsys = static_cast<Byte>(Get16(h + 4) >> 8);
        item.flags = (Get16(h + 8) & 1) ? CZipListItem::kEncrypted : 0;
        item.dosTime = (static_cast<UInt32>(Get16(h + 14)) << 16) | Get16(h + 12);
        item.unixTime = 0;
        UInt64 packSize = Get32(h + 20);
        item.size = Get32(h + 24);
        item.attributes = Get32(h + 38);
        item.headerOffset = Get32(h + 42);
        item.nameLen = static_cast<UInt16>(nameLen);
        const bool needs64 = item.size == 0xFFFFFFFF;
        const Byte *p = nullptr;
        RINOK_PLUGIN(reader.Get(nameLen + extraLen + commentLen, p));
        if (!p) return S_OK;
        const Byte *name = p;
        bool have64 = false;
        for (const Byte *x = p + nameLen, *xEnd = x + extraLen; x != xEnd;) {
            if (xEnd - x < 4 || static_cast<size_t>(xEnd - x - 4) < Get16(x + 2)) return S_OK;
            const UInt16 id = Get16(x), len = Get16(x + 2);
            const Byte *d = x + 4;
            x = d + len;
            if (id == kZip64Field && !have64) {
                have64 = true;
                size_t at = 0;
                if (item.size == 0xFFFFFFFF) {
                    if (len < 8) return S_OK;
                    item.size = Get64(d);
                    at = 8;
                }
                if (packSize == 0xFFFFFFFF) {
                    if (len < at + 8) return S_OK;
                    packSize = Get64(d + at);
                    at += 8;
                }
                if (item.headerOffset == 0xFFFFFFFF) {
                    if (len < at + 8) return S_OK;
                    item.headerOffset = Get64(d + at);
                }
            } else if (id == kExtendedTimestamp && !(item.flags & CZipListItem::kUnixTime)) {
                if (len >= 5 && (d[0] & 1)) {
                    item.unixTime = static_cast<Int32>(Get32(d + 1));
                    item.flags |= CZipListItem::kUnixTime;
                }
            } else if (id == kUnicodePath && name == p) {
                // Its name stands for the raw one only while it matches the raw name it was made for.
                if (len >= 5 && d[0] == 1 && Get32(d + 1) == crc32(0, p, static_cast<uInt>(nameLen)) &&
                    IsUtf8(d + 5, len - 5u)) {
                    name = d + 5;
                    item.nameLen = static_cast<UInt16>(len - 5u);
                }
            }
        }
        if (needs64 && !have64) return S_OK;
        item.packSize = packSize;
        item.name = AddName(reinterpret_cast<const char *>(name), item.nameLen);
        items.push_back(item);
    }
    if (!reader.AtEnd()) {
        Clear();
        return S_OK;
    }
    ok = true;
    return S_OK;
}

HRESULT ReadLocalHeaderTimes(IInStream *in, UInt64 pos, CLocalTimes &times) {
    times = CLocalTimes();
    // The header with its name and extra field in one read, most of the time.
    const size_t kHeader = 30;
    Byte head[512];
    size_t got = 0;
    RINOK_PLUGIN(ReadStreamAt(in, pos, head, sizeof(head), got));
    if (got < kHeader || memcmp(head, "PK\x03\x04", 4) != 0) return S_OK;
    const size_t nameLen = Get16(head + 26), extraLen = Get16(head + 28);
    const size_t extraStart = kHeader + nameLen;
    const Byte *header = head;
    std::vector<Byte> longer;
    if (got < extraStart + extraLen) {
        longer.assign(head, head + got);
        longer.resize(extraStart + extraLen);
        size_t more = 0;
        RINOK_PLUGIN(ReadStreamAt(in, pos + got, longer.data() + got, longer.size() - got, more));
        if (got + more != longer.size()) return S_OK;
        header = longer.data();
    }
    for (const Byte *x = header + extraStart, *xEnd = x + extraLen; xEnd - x >= 4;) {
        const UInt16 id = Get16(x), len = Get16(x + 2);
        const Byte *d = x + 4;
        if (static_cast<size_t>(xEnd - d) < len) return S_OK;
        x = d + len;
        if (id != kExtendedTimestamp) continue;
        // The flags say which times follow, each four bytes, in the order of the bits.
        if (len < 1) return S_OK;
        size_t at = 1;
        for (unsigned bit = 0; bit < 3; bit++) {
            if (!(d[0] & (1u << bit))) continue;
            if (at + 4 > len) return S_OK;
            const Int64 t = static_cast<Int32>(Get32(d + at));
            at += 4;
            if (bit == 1) {
                times.atime = t;
                times.atimeDefined = true;
            } else if (bit == 2) {
                times.ctime = t;
                times.ctimeDefined = true;
            }
        }
        return S_OK;
    }
    return S_OK;
}

Int64 DosTimeToUnixTime(UInt32 dosTime) {
    // Out-of-range fields carry over as mktime() would carry them.
    const unsigned date = dosTime >> 16;
    Int64 year = 1980 + (date >> 9);
    Int64 month = static_cast<Int64>((date >> 5) & 15) - 1;
    year += month < 0 ? -1 : month / 12;
    month = (month % 12 + 12) % 12;
    const Int64 days = DaysFromCivil(year, static_cast<unsigned>(month + 1), 1) + (date & 31) - 1;
    const Int64 local = days * 86400 + ((dosTime >> 11) & 31) * 3600 + ((dosTime >> 5) & 63) * 60 + (dosTime & 31) * 2;
    // The offset in force at the local time: looked up at a guess, and again where the guess crossed a
    // change of offset. A time in the gap of a change is read with the offset before it, as mktime() does.
    struct tm tm;
    const auto offsetAt = [&tm](Int64 t, long &offset) {
        const time_t tt = static_cast<time_t>(t);
        if (!localtime_r(&tt, &tm)) return false;
        offset = tm.tm_gmtoff;
        return true;
    };
    long first = 0, second = 0, third = 0;
    if (!offsetAt(local, first) || !offsetAt(local - first, second)) return local;
    if (second == first) return local - first;
    if (offsetAt(local - second, third) && third == second) return local - second;
    return local - std::min(first, second);
}

} // namespace NPlugin
