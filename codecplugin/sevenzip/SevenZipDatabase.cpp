#include "sevenzip/SevenZipDatabase.h"

#include <string.h>
#include <zlib.h>

namespace NPlugin {

namespace NSevenZip {

const Byte kSignature[6] = {'7', 'z', 0xBC, 0xAF, 0x27, 0x1C};

UInt32 Crc32(const void *data, size_t size, UInt32 crc) {
    const Byte *p = static_cast<const Byte *>(data);
    // zlib takes 32-bit lengths.
    while (size != 0) {
        const uInt n = size > (1u << 30) ? (1u << 30) : static_cast<uInt>(size);
        crc = static_cast<UInt32>(crc32(crc, p, n));
        p += n;
        size -= n;
    }
    return crc;
}

int CFolder::MainOutStream() const {
    UInt32 numOut = 0;
    for (const CCoder &c : coders)
        numOut += c.numOutStreams;
    for (UInt32 i = 0; i < numOut; i++) {
        bool bound = false;
        for (const CBindPair &bp : bindPairs)
            bound = bound || bp.outIndex == i;
        if (!bound) return static_cast<int>(i);
    }
    return -1;
}

UInt64 CFolder::UnpackSize() const {
    const int main = MainOutStream();
    return main < 0 || static_cast<size_t>(main) >= unpackSizes.size() ? 0 : unpackSizes[static_cast<size_t>(main)];
}

bool CFolder::Uses(UInt64 methodId) const {
    for (const CCoder &c : coders)
        if (c.methodId == methodId) return true;
    return false;
}

Byte CByteReader::ReadByte() {
    if (_pos >= _size) throw CHeaderError();
    return _p[_pos++];
}

UInt64 CByteReader::ReadNumber() {
    const Byte first = ReadByte();
    Byte mask = 0x80;
    UInt64 value = 0;
    for (int i = 0; i < 8; i++) {
        if ((first & mask) == 0) {
            const UInt64 high = first & (mask - 1);
            return value | (high << (8 * i));
        }
        value |= static_cast<UInt64>(ReadByte()) << (8 * i);
        mask = static_cast<Byte>(mask >> 1);
    }
    return value;
}

UInt32 CByteReader::ReadNum() {
    const UInt64 v = ReadNumber();
    // Everything counted takes at least a bit of the header: a larger count is a broken header,
    // not a reason to allocate.
    if (v > static_cast<UInt64>(Left()) * 8 + 8 || v > 0x7FFFFFFF) throw CHeaderError();
    return static_cast<UInt32>(v);
}

UInt32 CByteReader::ReadUInt32() {
    const Byte *p = ReadBytes(4);
    return static_cast<UInt32>(p[0]) | (static_cast<UInt32>(p[1]) << 8) | (static_cast<UInt32>(p[2]) << 16) |
           (static_cast<UInt32>(p[3]) << 24);
}

UInt64 CByteReader::ReadUInt64() {
    const UInt64 lo = ReadUInt32();
    return lo | (static_cast<UInt64>(ReadUInt32()) << 32);
}

const Byte *CByteReader::ReadBytes(size_t n) {
    if (n > Left()) throw CHeaderError();
    const Byte *p = _p + _pos;
    _pos += n;
    return p;
}

void CByteReader::Skip(UInt64 n) {
    if (n > Left()) throw CHeaderError();
    _pos += static_cast<size_t>(n);
}

namespace {

std::vector<bool> ReadBoolVector(CByteReader &r, size_t n) {
    std::vector<bool> v(n);
    Byte b = 0, mask = 0;
    for (size_t i = 0; i < n; i++) {
        if (mask == 0) {
            b = r.ReadByte();
            mask = 0x80;
        }
        v[i] = (b & mask) != 0;
        mask = static_cast<Byte>(mask >> 1);
    }
    return v;
}

// A vector preceded by an "all defined" byte.
std::vector<bool> ReadBoolVector2(CByteReader &r, size_t n) {
    if (r.ReadByte() != 0) return std::vector<bool>(n, true);
    return ReadBoolVector(r, n);
}

void ReadDigests(CByteReader &r, size_t n, std::vector<bool> &defined, std::vector<UInt32> &crcs) {
    defined = ReadBoolVector2(r, n);
    crcs.assign(n, 0);
    for (size_t i = 0; i < n; i++)
        if (defined[i]) crcs[i] = r.ReadUInt32();
}

void WaitFor(CByteReader &r, Byte id) {
    for (;;) {
        const UInt64 type = r.ReadNumber();
        if (type == id) return;
        if (type == kEnd) throw CHeaderError();
        r.Skip(r.ReadNumber());
    }
}

void ReadPackInfo(CByteReader &r, CDatabase &db) {
    db.packPos = r.ReadNumber();
    const UInt32 n = r.ReadNum();
    WaitFor(r, kSize);
    db.packSizes.resize(n);
    for (UInt32 i = 0; i < n; i++)
        db.packSizes[i] = r.ReadNumber();
    db.packCrcs.assign(n, 0);
    for (;;) {
        const UInt64 type = r.ReadNumber();
        if (type == kEnd) break;
        if (type == kCrc) {
            std::vector<bool> defined;
            ReadDigests(r, n, defined, db.packCrcs);
            continue;
        }
        r.Skip(r.ReadNumber());
    }
}

void ReadFolder(CByteReader &r, CFolder &f) {
    const UInt32 numCoders = r.ReadNum();
    if (numCoders == 0 || numCoders > 64) throw CHeaderError();
    UInt32 numIn = 0, numOut = 0;
    f.coders.resize(numCoders);
    for (CCoder &c : f.coders) {
        const Byte flags = r.ReadByte();
        // Alternative methods (bit 7) were never written by anyone.
        if (flags & 0xC0) throw CHeaderError();
        const unsigned idSize = flags & 0x0F;
        if (idSize > 8) throw CHeaderError();
        const Byte *id = r.ReadBytes(idSize);
        c.methodId = 0;
        for (unsigned i = 0; i < idSize; i++)
            c.methodId = (c.methodId << 8) | id[i];
        if (flags & 0x10) {
            c.numInStreams = r.ReadNum();
            c.numOutStreams = r.ReadNum();
            if (c.numInStreams > 64 || c.numOutStreams != 1) throw CHeaderError();
        }
        if (flags & 0x20) {
            const UInt32 n = r.ReadNum();
            const Byte *p = r.ReadBytes(n);
            c.props.assign(p, p + n);
        }
        numIn += c.numInStreams;
        numOut += c.numOutStreams;
    }
    if (numOut == 0) throw CHeaderError();
    f.bindPairs.resize(numOut - 1);
    for (CBindPair &bp : f.bindPairs) {
        bp.inIndex = r.ReadNum();
        bp.outIndex = r.ReadNum();
        if (bp.inIndex >= numIn || bp.outIndex >= numOut) throw CHeaderError();
    }
    if (numIn < f.bindPairs.size() + 1) throw CHeaderError();
    const size_t numPacked = numIn - f.bindPairs.size();
    if (numPacked == 1) {
        for (UInt32 i = 0; i < numIn; i++) {
            bool bound = false;
            for (const CBindPair &bp : f.bindPairs)
                bound = bound || bp.inIndex == i;
            if (!bound) {
                f.packedStreams.push_back(i);
                break;
            }
        }
        if (f.packedStreams.empty()) throw CHeaderError();
    } else {
        for (size_t i = 0; i < numPacked; i++) {
            const UInt32 in = r.ReadNum();
            if (in >= numIn) throw CHeaderError();
            f.packedStreams.push_back(in);
        }
    }
    if (f.MainOutStream() < 0) throw CHeaderError();
}

void ReadUnpackInfo(CByteReader &r, CDatabase &db) {
    WaitFor(r, kFolder);
    const UInt32 n = r.ReadNum();
    if (r.ReadByte() != 0) throw CHeaderError(); // folders kept elsewhere: never written
    db.folders.resize(n);
    UInt32 pack = 0;
    for (CFolder &f : db.folders) {
        ReadFolder(r, f);
        f.firstPackStream = pack;
        pack += static_cast<UInt32>(f.packedStreams.size());
    }
    if (pack > db.packSizes.size()) throw CHeaderError();
    WaitFor(r, kCodersUnpackSize);
    for (CFolder &f : db.folders) {
        UInt32 numOut = 0;
        for (const CCoder &c : f.coders)
            numOut += c.numOutStreams;
        f.unpackSizes.resize(numOut);
        for (UInt64 &s : f.unpackSizes)
            s = r.ReadNumber();
    }
    for (;;) {
        const UInt64 type = r.ReadNumber();
        if (type == kEnd) return;
        if (type == kCrc) {
            std::vector<bool> defined;
            std::vector<UInt32> crcs;
            ReadDigests(r, n, defined, crcs);
            for (UInt32 i = 0; i < n; i++) {
                db.folders[i].crcDefined = defined[i];
                db.folders[i].crc = crcs[i];
            }
            continue;
        }
        r.Skip(r.ReadNumber());
    }
}

void ReadSubStreamsInfo(CByteReader &r, CDatabase &db) {
    UInt64 type = r.ReadNumber();
    if (type == kNumUnpackStream) {
        for (CFolder &f : db.folders)
            f.numSubstreams = r.ReadNum();
        type = r.ReadNumber();
    }
    db.substreamSizes.clear();
    const bool haveSizes = type == kSize;
    for (const CFolder &f : db.folders) {
        if (f.numSubstreams == 0) continue;
        UInt64 sum = 0;
        for (UInt32 i = 1; i < f.numSubstreams && haveSizes; i++) {
            const UInt64 s = r.ReadNumber();
            db.substreamSizes.push_back(s);
            sum += s;
            if (sum < s || sum > f.UnpackSize()) throw CHeaderError();
        }
        if (!haveSizes && f.numSubstreams != 1) throw CHeaderError();
        db.substreamSizes.push_back(f.UnpackSize() - sum);
    }
    if (haveSizes) type = r.ReadNumber();

    // Streams whose CRC is not known from their folder get one here.
    size_t unknown = 0;
    for (const CFolder &f : db.folders)
        if (!(f.numSubstreams == 1 && f.crcDefined)) unknown += f.numSubstreams;
    db.substreamCrcDefined.assign(db.substreamSizes.size(), false);
    db.substreamCrcs.assign(db.substreamSizes.size(), 0);
    std::vector<bool> defined;
    std::vector<UInt32> crcs;
    for (;;) {
        if (type == kEnd) break;
        if (type == kCrc) {
            ReadDigests(r, unknown, defined, crcs);
        } else {
            r.Skip(r.ReadNumber());
        }
        type = r.ReadNumber();
    }
    size_t k = 0, u = 0;
    for (const CFolder &f : db.folders) {
        if (f.numSubstreams == 1 && f.crcDefined) {
            db.substreamCrcDefined[k] = true;
            db.substreamCrcs[k] = f.crc;
            k++;
            continue;
        }
        for (UInt32 i = 0; i < f.numSubstreams; i++, k++, u++) {
            if (u < defined.size() && defined[u]) {
                db.substreamCrcDefined[k] = true;
                db.substreamCrcs[k] = crcs[u];
            }
        }
    }
}

void DefaultSubstreams(CDatabase &db) {
    db.substreamSizes.clear();
    db.substreamCrcDefined.clear();
    db.substreamCrcs.clear();
    for (CFolder &f : db.folders) {
        f.numSubstreams = 1;
        db.substreamSizes.push_back(f.UnpackSize());
        db.substreamCrcDefined.push_back(f.crcDefined);
        db.substreamCrcs.push_back(f.crc);
    }
}

std::wstring ReadName(CByteReader &r) {
    std::wstring name;
    for (;;) {
        const Byte *p = r.ReadBytes(2);
        UInt32 c = static_cast<UInt32>(p[0]) | (static_cast<UInt32>(p[1]) << 8);
        if (c == 0) return name;
        if (c >= 0xD800 && c < 0xDC00 && r.Left() >= 2) {
            const Byte *q = r.ReadBytes(2);
            const UInt32 low = static_cast<UInt32>(q[0]) | (static_cast<UInt32>(q[1]) << 8);
            if (low >= 0xDC00 && low < 0xE000) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
            } else {
                name += static_cast<wchar_t>(c);
                c = low;
                if (c == 0) return name;
            }
        }
        name += static_cast<wchar_t>(c);
    }
}

void ReadTimes(CByteReader &r, std::vector<CItem> &items, Byte type) {
    const std::vector<bool> defined = ReadBoolVector2(r, items.size());
    if (r.ReadByte() != 0) throw CHeaderError();
    for (size_t i = 0; i < items.size(); i++) {
        if (!defined[i]) continue;
        const UInt64 t = r.ReadUInt64();
        FILETIME ft;
        ft.dwLowDateTime = static_cast<UInt32>(t);
        ft.dwHighDateTime = static_cast<UInt32>(t >> 32);
        CItem &item = items[i];
        if (type == kMTime) {
            item.mtime = ft;
            item.mtimeDefined = true;
        } else if (type == kCTime) {
            item.ctime = ft;
            item.ctimeDefined = true;
        } else {
            item.atime = ft;
            item.atimeDefined = true;
        }
    }
}

void ReadFilesInfo(CByteReader &r, CDatabase &db) {
    const UInt32 numFiles = r.ReadNum();
    db.items.assign(numFiles, CItem());
    std::vector<bool> emptyStream(numFiles, false), emptyFile, anti;
    size_t numEmpty = 0;
    for (;;) {
        const UInt64 type = r.ReadNumber();
        if (type == kEnd) break;
        const UInt64 size = r.ReadNumber();
        if (size > r.Left()) throw CHeaderError();
        CByteReader sub(r.ReadBytes(static_cast<size_t>(size)), static_cast<size_t>(size));
        switch (type) {
        case kEmptyStream:
            emptyStream = ReadBoolVector(sub, numFiles);
            numEmpty = 0;
            for (bool b : emptyStream)
                numEmpty += b ? 1 : 0;
            emptyFile.assign(numEmpty, false);
            anti.assign(numEmpty, false);
            break;
        case kEmptyFile:
            emptyFile = ReadBoolVector(sub, numEmpty);
            break;
        case kAnti:
            anti = ReadBoolVector(sub, numEmpty);
            break;
        case kName:
            if (sub.ReadByte() != 0) throw CHeaderError();
            for (CItem &item : db.items)
                item.name = ReadName(sub);
            break;
        case kMTime:
        case kCTime:
        case kATime:
            ReadTimes(sub, db.items, static_cast<Byte>(type));
            break;
        case kWinAttributes: {
            const std::vector<bool> defined = ReadBoolVector2(sub, numFiles);
            if (sub.ReadByte() != 0) throw CHeaderError();
            for (size_t i = 0; i < numFiles; i++) {
                if (!defined[i]) continue;
                db.items[i].attrib = sub.ReadUInt32();
                db.items[i].attribDefined = true;
            }
            break;
        }
        default:
            break; // padding, start positions, comments: nothing the items need
        }
    }
    size_t e = 0;
    for (size_t i = 0; i < numFiles; i++) {
        CItem &item = db.items[i];
        item.hasStream = !emptyStream[i];
        if (!item.hasStream) {
            item.isDir = !(e < emptyFile.size() && emptyFile[e]);
            item.isAnti = e < anti.size() && anti[e];
            e++;
        }
    }
}

void WriteBoolVector(CByteWriter &w, const std::vector<bool> &v) {
    Byte b = 0, mask = 0x80;
    for (bool bit : v) {
        if (bit) b |= mask;
        mask = static_cast<Byte>(mask >> 1);
        if (mask == 0) {
            w.WriteByte(b);
            b = 0;
            mask = 0x80;
        }
    }
    if (mask != 0x80) w.WriteByte(b);
}

void WriteBoolVector2(CByteWriter &w, const std::vector<bool> &v) {
    bool all = true;
    for (bool b : v)
        all = all && b;
    w.WriteByte(all ? 1 : 0);
    if (!all) WriteBoolVector(w, v);
}

void WriteDigests(CByteWriter &w, const std::vector<bool> &defined, const std::vector<UInt32> &crcs) {
    WriteBoolVector2(w, defined);
    for (size_t i = 0; i < defined.size(); i++)
        if (defined[i]) w.WriteUInt32(crcs[i]);
}

void WriteFolder(CByteWriter &w, const CFolder &f) {
    w.WriteNumber(f.coders.size());
    for (const CCoder &c : f.coders) {
        Byte id[8];
        unsigned idSize = 0;
        for (UInt64 v = c.methodId; v != 0; v >>= 8)
            idSize++;
        if (idSize == 0) idSize = 1;
        for (unsigned i = 0; i < idSize; i++)
            id[idSize - 1 - i] = static_cast<Byte>(c.methodId >> (8 * i));
        const bool complex = c.numInStreams != 1 || c.numOutStreams != 1;
        w.WriteByte(static_cast<Byte>(idSize | (complex ? 0x10 : 0) | (c.props.empty() ? 0 : 0x20)));
        w.WriteBytes(id, idSize);
        if (complex) {
            w.WriteNumber(c.numInStreams);
            w.WriteNumber(c.numOutStreams);
        }
        if (!c.props.empty()) {
            w.WriteNumber(c.props.size());
            w.WriteBytes(c.props.data(), c.props.size());
        }
    }
    for (const CBindPair &bp : f.bindPairs) {
        w.WriteNumber(bp.inIndex);
        w.WriteNumber(bp.outIndex);
    }
    if (f.packedStreams.size() > 1)
        for (UInt32 s : f.packedStreams)
            w.WriteNumber(s);
}

void WriteTimes(CByteWriter &w, const std::vector<CItem> &items, Byte type) {
    std::vector<bool> defined(items.size());
    size_t count = 0;
    for (size_t i = 0; i < items.size(); i++) {
        const CItem &it = items[i];
        defined[i] = type == kMTime ? it.mtimeDefined : type == kCTime ? it.ctimeDefined : it.atimeDefined;
        count += defined[i] ? 1 : 0;
    }
    if (count == 0) return;
    CByteWriter sub;
    WriteBoolVector2(sub, defined);
    sub.WriteByte(0);
    for (size_t i = 0; i < items.size(); i++) {
        if (!defined[i]) continue;
        const CItem &it = items[i];
        const FILETIME &ft = type == kMTime ? it.mtime : type == kCTime ? it.ctime : it.atime;
        sub.WriteUInt32(ft.dwLowDateTime);
        sub.WriteUInt32(ft.dwHighDateTime);
    }
    w.WriteByte(type);
    w.WriteNumber(sub.data.size());
    w.WriteBytes(sub.data.data(), sub.data.size());
}

} // namespace

void ParseStreamsInfo(CByteReader &r, CDatabase &db) {
    UInt64 type = r.ReadNumber();
    if (type == kPackInfo) {
        ReadPackInfo(r, db);
        type = r.ReadNumber();
    }
    if (type == kUnpackInfo) {
        ReadUnpackInfo(r, db);
        type = r.ReadNumber();
    }
    DefaultSubstreams(db);
    if (type == kSubStreamsInfo) {
        ReadSubStreamsInfo(r, db);
        type = r.ReadNumber();
    }
    if (type != kEnd) throw CHeaderError();
}

void ParseHeader(CByteReader &r, CDatabase &db) {
    UInt64 type = r.ReadNumber();
    if (type == kArchiveProperties) {
        for (;;) {
            if (r.ReadNumber() == kEnd) break;
            r.Skip(r.ReadNumber());
        }
        type = r.ReadNumber();
    }
    if (type == kAdditionalStreamsInfo) {
        // Only ever used for data kept outside the header by writers long gone.
        CDatabase extra;
        ParseStreamsInfo(r, extra);
        type = r.ReadNumber();
    }
    if (type == kMainStreamsInfo) {
        ParseStreamsInfo(r, db);
        type = r.ReadNumber();
    }
    if (type == kFilesInfo) {
        ReadFilesInfo(r, db);
        type = r.ReadNumber();
    }
    if (type != kEnd) throw CHeaderError();
    db.Link();
}

void CDatabase::Link() {
    packStreamOffsets.resize(packSizes.size());
    UInt64 pos = kSignatureHeaderSize + packPos;
    for (size_t i = 0; i < packSizes.size(); i++) {
        packStreamOffsets[i] = pos;
        pos += packSizes[i];
        if (pos < packSizes[i]) throw CHeaderError();
    }
    size_t folder = 0, sub = 0, inFolder = 0;
    UInt64 offset = 0;
    for (size_t i = 0; i < items.size(); i++) {
        CItem &item = items[i];
        if (!item.hasStream) {
            item.folder = -1;
            item.size = 0;
            continue;
        }
        while (folder < folders.size() && inFolder >= folders[folder].numSubstreams) {
            folder++;
            inFolder = 0;
            offset = 0;
        }
        if (folder >= folders.size() || sub >= substreamSizes.size()) throw CHeaderError();
        CFolder &f = folders[folder];
        if (inFolder == 0) {
            f.firstFile = static_cast<UInt32>(i);
            f.numFiles = 0;
        }
        f.numFiles++;
        item.folder = static_cast<int>(folder);
        item.offsetInFolder = offset;
        item.size = substreamSizes[sub];
        item.crcDefined = substreamCrcDefined[sub];
        item.crc = substreamCrcs[sub];
        offset += item.size;
        sub++;
        inFolder++;
    }
}

void CByteWriter::WriteNumber(UInt64 v) {
    int n = 0;
    while (n < 8 && v >= (static_cast<UInt64>(1) << (7 * (n + 1))))
        n++;
    if (n == 8) {
        WriteByte(0xFF);
        WriteUInt64(v);
        return;
    }
    const Byte first = static_cast<Byte>((0xFF00 >> n) & 0xFF);
    WriteByte(static_cast<Byte>(first | (n == 7 ? 0 : (v >> (8 * n)))));
    for (int i = 0; i < n; i++)
        WriteByte(static_cast<Byte>(v >> (8 * i)));
}

void CByteWriter::WriteUInt32(UInt32 v) {
    for (int i = 0; i < 4; i++)
        WriteByte(static_cast<Byte>(v >> (8 * i)));
}

void CByteWriter::WriteUInt64(UInt64 v) {
    for (int i = 0; i < 8; i++)
        WriteByte(static_cast<Byte>(v >> (8 * i)));
}

void CByteWriter::WriteBytes(const void *p, size_t n) {
    const Byte *b = static_cast<const Byte *>(p);
    data.insert(data.end(), b, b + n);
}

void WriteStreamsInfo(CByteWriter &w, const CDatabase &db, bool withSubstreams) {
    if (!db.packSizes.empty()) {
        w.WriteByte(kPackInfo);
        w.WriteNumber(db.packPos);
        w.WriteNumber(db.packSizes.size());
        w.WriteByte(kSize);
        for (UInt64 s : db.packSizes)
            w.WriteNumber(s);
        w.WriteByte(kEnd);
    }
    if (!db.folders.empty()) {
        w.WriteByte(kUnpackInfo);
        w.WriteByte(kFolder);
        w.WriteNumber(db.folders.size());
        w.WriteByte(0);
        for (const CFolder &f : db.folders)
            WriteFolder(w, f);
        w.WriteByte(kCodersUnpackSize);
        for (const CFolder &f : db.folders)
            for (UInt64 s : f.unpackSizes)
                w.WriteNumber(s);
        std::vector<bool> defined;
        std::vector<UInt32> crcs;
        bool any = false;
        for (const CFolder &f : db.folders) {
            defined.push_back(f.crcDefined);
            crcs.push_back(f.crc);
            any = any || f.crcDefined;
        }
        if (any) {
            w.WriteByte(kCrc);
            WriteDigests(w, defined, crcs);
        }
        w.WriteByte(kEnd);
    }
    if (withSubstreams && !db.folders.empty()) {
        w.WriteByte(kSubStreamsInfo);
        bool counts = false;
        for (const CFolder &f : db.folders)
            counts = counts || f.numSubstreams != 1;
        if (counts) {
            w.WriteByte(kNumUnpackStream);
            for (const CFolder &f : db.folders)
                w.WriteNumber(f.numSubstreams);
        }
        size_t k = 0;
        bool sizes = false;
        CByteWriter sw;
        std::vector<bool> defined;
        std::vector<UInt32> crcs;
        for (const CFolder &f : db.folders) {
            for (UInt32 i = 0; i < f.numSubstreams; i++, k++) {
                if (i + 1 < f.numSubstreams) {
                    sw.WriteNumber(db.substreamSizes[k]);
                    sizes = true;
                }
                if (!(f.numSubstreams == 1 && f.crcDefined)) {
                    defined.push_back(db.substreamCrcDefined[k]);
                    crcs.push_back(db.substreamCrcs[k]);
                }
            }
        }
        if (sizes) {
            w.WriteByte(kSize);
            w.WriteBytes(sw.data.data(), sw.data.size());
        }
        bool anyCrc = false;
        for (bool b : defined)
            anyCrc = anyCrc || b;
        if (anyCrc) {
            w.WriteByte(kCrc);
            WriteDigests(w, defined, crcs);
        }
        w.WriteByte(kEnd);
    }
    w.WriteByte(kEnd);
}

void WriteHeader(CByteWriter &w, const CDatabase &db) {
    w.WriteByte(kHeader);
    if (!db.folders.empty() || !db.packSizes.empty()) {
        w.WriteByte(kMainStreamsInfo);
        WriteStreamsInfo(w, db, true);
    }
    if (!db.items.empty()) {
        w.WriteByte(kFilesInfo);
        w.WriteNumber(db.items.size());
        std::vector<bool> emptyStream, emptyFile, anti;
        bool anyEmptyFile = false, anyAnti = false;
        for (const CItem &it : db.items) {
            emptyStream.push_back(!it.hasStream);
            if (it.hasStream) continue;
            emptyFile.push_back(!it.isDir);
            anti.push_back(it.isAnti);
            anyEmptyFile = anyEmptyFile || !it.isDir;
            anyAnti = anyAnti || it.isAnti;
        }
        auto writeVector = [&w](Byte type, const std::vector<bool> &v) {
            CByteWriter sub;
            WriteBoolVector(sub, v);
            w.WriteByte(type);
            w.WriteNumber(sub.data.size());
            w.WriteBytes(sub.data.data(), sub.data.size());
        };
        if (!emptyFile.empty()) writeVector(kEmptyStream, emptyStream);
        if (anyEmptyFile) writeVector(kEmptyFile, emptyFile);
        if (anyAnti) writeVector(kAnti, anti);

        CByteWriter names;
        names.WriteByte(0);
        for (const CItem &it : db.items) {
            for (wchar_t wc : it.name) {
                UInt32 c = static_cast<UInt32>(wc);
                if (c >= 0x10000) {
                    c -= 0x10000;
                    const UInt32 hi = 0xD800 + (c >> 10), lo = 0xDC00 + (c & 0x3FF);
                    names.WriteByte(static_cast<Byte>(hi));
                    names.WriteByte(static_cast<Byte>(hi >> 8));
                    names.WriteByte(static_cast<Byte>(lo));
                    names.WriteByte(static_cast<Byte>(lo >> 8));
                } else {
                    names.WriteByte(static_cast<Byte>(c));
                    names.WriteByte(static_cast<Byte>(c >> 8));
                }
            }
            names.WriteByte(0);
            names.WriteByte(0);
        }
        w.WriteByte(kName);
        w.WriteNumber(names.data.size());
        w.WriteBytes(names.data.data(), names.data.size());

        WriteTimes(w, db.items, kCTime);
        WriteTimes(w, db.items, kATime);
        WriteTimes(w, db.items, kMTime);

        std::vector<bool> attrDefined;
        bool anyAttr = false;
        for (const CItem &it : db.items) {
            attrDefined.push_back(it.attribDefined);
            anyAttr = anyAttr || it.attribDefined;
        }
        if (anyAttr) {
            CByteWriter sub;
            WriteBoolVector2(sub, attrDefined);
            sub.WriteByte(0);
            for (const CItem &it : db.items)
                if (it.attribDefined) sub.WriteUInt32(it.attrib);
            w.WriteByte(kWinAttributes);
            w.WriteNumber(sub.data.size());
            w.WriteBytes(sub.data.data(), sub.data.size());
        }
        w.WriteByte(kEnd);
    }
    w.WriteByte(kEnd);
}

} // namespace NSevenZip

} // namespace NPlugin
