#include "zip/ZipHandler.h"

#include "libarchive/LibarchiveHandler.h"
#include "streams/MultiVolumeInStream.h"
#include "NameDecoder.h"
#include "PluginGlobals.h"
#include "PropVariantUtils.h"
#include "StreamUtils.h"
#include "zip/ZipEntryReader.h"
#include "zip/ZipWriter.h"

#include <algorithm>
#include <string.h>
#include <sys/stat.h>
#include <wctype.h>

namespace NPlugin {

namespace {

using namespace NArchive::NExtract;

const size_t kDataChunk = 1 << 18;
const size_t kMaxLinkTarget = 1 << 16;
const UInt32 kFileAttributeReadOnly = 0x1;
const UInt32 kFileAttributeDirectory = 0x10;
const UInt32 kFileAttributeUnixExtension = 0x8000;
const zip_uint16_t kExtendedTimestamp = 0x5455;

const PROPID kItemProps[] = {kpidPath,  kpidIsDir,  kpidSize,        kpidMTime,     kpidCTime,
                             kpidATime, kpidAttrib, kpidPosixAttrib, kpidEncrypted, kpidSymLink};
const VARTYPE kItemTypes[] = {VT_BSTR,     VT_BOOL, VT_UI8, VT_FILETIME, VT_FILETIME,
                              VT_FILETIME, VT_UI4,  VT_UI4, VT_BOOL,     VT_BSTR};
const PROPID kArcProps[] = {kpidPhySize, kpidErrorFlags, kpidError, kpidWarning};
const VARTYPE kArcTypes[] = {VT_UI8, VT_UI4, VT_BSTR, VT_BSTR};

Int32 ResultOfZipError(int code) {
    switch (code) {
    case ZIP_ER_NOPASSWD:
    case ZIP_ER_WRONGPASSWD:
        return NOperationResult::kWrongPassword;
    case ZIP_ER_COMPNOTSUPP:
    case ZIP_ER_ENCRNOTSUPP:
        return NOperationResult::kUnsupportedMethod;
    case ZIP_ER_CRC:
        return NOperationResult::kCRCError;
    case ZIP_ER_EOF:
        return NOperationResult::kUnexpectedEnd;
    case ZIP_ER_INCONS:
    case ZIP_ER_NOZIP:
        return NOperationResult::kHeadersError;
    default:
        return NOperationResult::kDataError;
    }
}

// A mode for every entry: Unix attributes where the maker wrote them, else from the DOS attributes.
// Types other than files, folders and links are read as files: their data is still there.
UInt32 EntryMode(zip_uint8_t opsys, zip_uint32_t attributes, bool dirByName) {
    UInt32 mode = opsys == ZIP_OPSYS_UNIX ? attributes >> 16 : 0;
    UInt32 type = mode & S_IFMT;
    const bool dir = dirByName || type == S_IFDIR || (attributes & kFileAttributeDirectory) != 0;
    if (mode == 0 || (type == 0 && (mode & 07777) == 0)) {
        mode = dir ? 0775 : 0664;
        if (attributes & kFileAttributeReadOnly) mode &= ~0222u;
    }
    if (dir)
        type = S_IFDIR;
    else if (type != S_IFLNK)
        type = S_IFREG;
    return (mode & 07777) | type;
}

} // namespace

CZipHandler::CZipHandler(const CFormatInfo &format)
    : CWritableHandlerBase(format, MakePropList(kItemProps, kItemTypes), MakePropList(kArcProps, kArcTypes)),
      _format(format) {}

CZipHandler::~CZipHandler() {
    Close();
}

// Only what is asked for is looked up: listing asks for one property at a time.
bool CZipHandler::GetEntry(UInt32 index, CEntry &e, unsigned want) const {
    if (_lean) {
        const CZipListItem &item = _listing.items[index];
        e.rawName = item.name;
        e.opsys = item.opsys;
        if (want & kWantMode) {
            const size_t len = strlen(item.name);
            e.mode = EntryMode(item.opsys, item.attributes, len != 0 && item.name[len - 1] == '/');
            e.isDir = (e.mode & S_IFMT) == S_IFDIR;
        }
        e.size = item.size;
        e.encrypted = (item.flags & CZipListItem::kEncrypted) != 0;
        if (want & kWantTime) {
            e.mtime = (item.flags & CZipListItem::kUnixTime) ? item.unixTime : DosTimeToUnixTime(item.dosTime);
            e.mtimeDefined = true;
        }
        return true;
    }
    if (want & (kWantName | kWantMode)) {
        const char *name = zip_get_name(_zip, index, ZIP_FL_ENC_RAW);
        if (!name) return false;
        e.rawName = name;
        zip_uint32_t attributes = 0;
        zip_file_get_external_attributes(_zip, index, 0, &e.opsys, &attributes);
        if (want & kWantMode) {
            const size_t len = strlen(name);
            e.mode = EntryMode(e.opsys, attributes, len != 0 && name[len - 1] == '/');
            e.isDir = (e.mode & S_IFMT) == S_IFDIR;
        }
    }
    if (want & (kWantData | kWantTime)) {
        zip_stat_t st;
        if (zip_stat_index(_zip, index, ZIP_FL_ENC_RAW, &st) != 0) return false;
        e.size = st.size;
        e.encrypted = (st.valid & ZIP_STAT_ENCRYPTION_METHOD) && st.encryption_method != ZIP_EM_NONE;
        if (want & kWantTime) {
            zip_uint16_t extraLen = 0;
            const zip_uint8_t *ut =
                zip_file_extra_field_get_by_id(_zip, index, kExtendedTimestamp, 0, &extraLen, ZIP_FL_CENTRAL);
            if (ut && extraLen >= 5 && (ut[0] & 1)) {
                e.mtime = static_cast<Int32>(static_cast<UInt32>(ut[1]) | (static_cast<UInt32>(ut[2]) << 8) |
                                             (static_cast<UInt32>(ut[3]) << 16) | (static_cast<UInt32>(ut[4]) << 24));
                e.mtimeDefined = true;
            } else if (st.valid & ZIP_STAT_MTIME) {
                e.mtime = st.mtime;
                e.mtimeDefined = true;
            }
        }
    }
    return true;
}

// Access and creation times are kept only in the local header's timestamp field (bits 1 and 2).
bool CZipHandler::LocalTime(UInt32 index, unsigned which, Int64 &t) const {
    zip_uint16_t len = 0;
    const zip_uint8_t *ut = zip_file_extra_field_get_by_id(_zip, index, kExtendedTimestamp, 0, &len, ZIP_FL_LOCAL);
    if (!ut || len < 1 || !(ut[0] & (1u << which))) return false;
    size_t pos = 1;
    for (unsigned bit = 0; bit < which; bit++)
        if (ut[0] & (1u << bit)) pos += 4;
    if (pos + 4 > len) return false;
    const zip_uint8_t *p = ut + pos;
    t = static_cast<Int32>(static_cast<UInt32>(p[0]) | (static_cast<UInt32>(p[1]) << 8) |
                           (static_cast<UInt32>(p[2]) << 16) | (static_cast<UInt32>(p[3]) << 24));
    return true;
}

HRESULT CZipHandler::OpenFallback(IInStream *stream, const UInt64 *startLimit, IArchiveOpenCallback *callback,
                                  bool damaged, bool frontToBackOnly) {
    // libarchive's own directory reader would take a damaged directory for an empty one: a damaged
    // archive is read front to back only.
    static const CFormatInfo frontToBack = [this] {
        CFormatInfo f = _format;
        f.setup = f.fallbackSetup;
        f.fallbackSetup = nullptr;
        f.mayFollowStub = false;
        return f;
    }();
    CMyComPtr<IInArchive> fallback = new CLibarchiveHandler(damaged || frontToBackOnly ? frontToBack : _format);
    RINOK_PLUGIN(stream->Seek(0, STREAM_SEEK_SET, nullptr));
    const HRESULT res = fallback->Open(stream, startLimit, callback);
    if (res != S_OK) {
        // Its verdict (not an archive, how damaged) is what the caller sees.
        PROPVARIANT flags;
        memset(&flags, 0, sizeof(flags));
        flags.vt = VT_EMPTY;
        if (fallback->GetArchiveProperty(kpidErrorFlags, &flags) == S_OK && flags.vt == VT_UI4)
            _errorFlags = flags.ulVal;
        return res;
    }
    _fallback = fallback;
    if (damaged) _errorFlags = kpv_ErrorFlags_HeadersError;
    _isOpen = true;
    return S_OK;
}

HRESULT CZipHandler::ReadLinkTargets() {
    for (UInt32 i = 0; i < _numItems; i++) {
        CEntry e;
        if (!GetEntry(i, e, kWantMode) || (e.mode & S_IFMT) != S_IFLNK) continue;
        if (!GetEntry(i, e, kWantData) || e.encrypted || e.size > kMaxLinkTarget) continue;
        zip_file_t *f = zip_fopen_index(_zip, i, 0);
        if (!f) {
            if (_source->StreamResult() != S_OK) return _source->StreamResult();
            zip_error_clear(_zip);
            continue;
        }
        std::string target(static_cast<size_t>(e.size), '\0');
        const zip_int64_t n = target.empty() ? 0 : zip_fread(f, &target[0], target.size());
        zip_fclose(f);
        if (_source->StreamResult() != S_OK) return _source->StreamResult();
        if (n == static_cast<zip_int64_t>(target.size())) _linkTargets[i] = std::move(target);
    }
    return S_OK;
}

namespace {

// A stream without its first bytes: the spanning marker in front of a split zip's first entry.
class CSkippedFrontInStream : public IInStream, public IStreamGetSize, public CMyUnknownImp {
    CMyComPtr<IInStream> _in;
    UInt64 _skip;
    UInt64 _size;
    UInt64 _pos = 0;

public:
    CSkippedFrontInStream(IInStream *in, UInt64 skip, UInt64 inSize)
        : _in(in), _skip(skip), _size(inSize > skip ? inSize - skip : 0) {}
    virtual ~CSkippedFrontInStream() {}
    COM_UNKNOWN_IMP(IInStream, IStreamGetSize)

    HRESULT Read(void *data, UInt32 size, UInt32 *processedSize) override {
        if (processedSize) *processedSize = 0;
        if (_pos >= _size) return S_OK;
        if (size > _size - _pos) size = static_cast<UInt32>(_size - _pos);
        RINOK_PLUGIN(_in->Seek(static_cast<Int64>(_pos + _skip), STREAM_SEEK_SET, nullptr));
        UInt32 done = 0;
        const HRESULT res = _in->Read(data, size, &done);
        _pos += done;
        if (processedSize) *processedSize = done;
        return res;
    }
    HRESULT Seek(Int64 offset, UInt32 seekOrigin, UInt64 *newPosition) override {
        return SeekPosition(offset, seekOrigin, _size, _pos, newPosition);
    }
    HRESULT GetSize(UInt64 *size) override {
        *size = _size;
        return S_OK;
    }
};

} // namespace

namespace {

// Entries whose local header and data overlap another's or the central directory: one block
// listed many times is how a small zip claims gigabytes. Each span is the least an entry can
// take (its local header without name or extra, and its packed data), so no sound zip is caught.
std::vector<bool> FindOverlaps(const CZipListing &listing, Int64 shift) {
    struct CSpan {
        UInt64 start, end;
        size_t index;
    };
    const size_t n = listing.items.size();
    std::vector<CSpan> spans;
    spans.reserve(n + 1);
    for (size_t i = 0; i < n; i++) {
        const CZipListItem &item = listing.items[i];
        const Int64 start = static_cast<Int64>(item.headerOffset) + shift;
        if (start < 0) continue;
        const UInt64 s = static_cast<UInt64>(start);
        const UInt64 len = 30 + std::min<UInt64>(item.packSize, UINT64_MAX / 2);
        spans.push_back({s, s + len, i});
    }
    if (listing.directoryEnd > listing.directoryStart)
        spans.push_back({listing.directoryStart, listing.directoryEnd, n});
    std::sort(spans.begin(), spans.end(), [](const CSpan &a, const CSpan &b) { return a.start < b.start; });
    std::vector<bool> marked(n, false);
    bool any = false;
    UInt64 reach = 0;
    size_t reachIndex = n;
    for (size_t k = 0; k < spans.size(); k++) {
        const CSpan &sp = spans[k];
        if (k != 0 && sp.start < reach) {
            if (sp.index < n) marked[sp.index] = true;
            if (reachIndex < n) marked[reachIndex] = true;
            any = true;
        }
        if (k == 0 || sp.end > reach) {
            reach = sp.end;
            reachIndex = sp.index;
        }
    }
    if (!any) marked.clear();
    return marked;
}

} // namespace

HRESULT CZipHandler::JoinSplitVolumes(IInStream *stream, IArchiveOpenCallback *callback, CMyComPtr<IInStream> &joined) {
    joined.Release();
    CMyComPtr<IArchiveOpenVolumeCallback> volumes;
    std::wstring name;
    RINOK_PLUGIN(GetVolumeCallback(callback, volumes, name));
    if (!volumes) return S_OK;
    if (name.size() <= 4) return S_OK;
    std::wstring ext = name.substr(name.size() - 4);
    for (wchar_t &c : ext)
        c = static_cast<wchar_t>(towlower(c));
    if (ext != L".z01") return S_OK;
    const std::wstring base = name.substr(0, name.size() - 4);

    std::vector<CVolume> found;
    UInt64 total = 0;
    auto add = [&](IInStream *volume) { return AddVolume(found, total, volume); };
    {
        UInt64 firstSize = 0;
        RINOK_PLUGIN(GetStreamSize(stream, firstSize));
        CMyComPtr<IInStream> first = new CSkippedFrontInStream(stream, 4, firstSize);
        RINOK_PLUGIN(add(first));
    }
    // name.z02, name.z03, ... and last name.zip; a set without its last volume is not joined.
    for (unsigned number = 2; number <= 99; number++) {
        const std::wstring next = base + (number < 10 ? L".z0" : L".z") + std::to_wstring(number);
        CMyComPtr<IInStream> volume;
        const HRESULT res = volumes->GetStream(next.c_str(), &volume);
        if (res == S_FALSE || (res == S_OK && !volume)) break;
        if (res != S_OK) return res;
        RINOK_PLUGIN(add(volume));
    }
    CMyComPtr<IInStream> last;
    const HRESULT res = volumes->GetStream((base + L".zip").c_str(), &last);
    if (res == S_FALSE || (res == S_OK && !last)) return S_OK;
    if (res != S_OK) return res;
    RINOK_PLUGIN(add(last));
    _numVolumes = static_cast<UInt32>(found.size());
    joined = new CMultiVolumeInStream(found);
    return S_OK;
}

HRESULT CZipHandler::Open(IInStream *stream, const UInt64 *startLimit, IArchiveOpenCallback *openCallback) {
    COM_TRY_BEGIN
    Close();
    if (!stream) return E_INVALIDARG;
    {
        // The first volume of a split zip starts with the spanning marker; its entries run on
        // through the other volumes, and its directory counts per volume: read front to back.
        Byte marker[8];
        size_t got = 0;
        RINOK_PLUGIN(stream->Seek(0, STREAM_SEEK_SET, nullptr));
        RINOK_PLUGIN(ReadStreamMax(stream, marker, sizeof(marker), got));
        if (got == sizeof(marker) && memcmp(marker, "PK\x07\x08PK\x03\x04", 8) == 0) {
            CMyComPtr<IInStream> joined;
            RINOK_PLUGIN(JoinSplitVolumes(stream, openCallback, joined));
            if (joined) {
                // The other volumes are not part of this file: it ends where the file does.
                RINOK_PLUGIN(GetStreamSize(stream, _phySize));
                RINOK_PLUGIN(GetStreamSize(joined, _streamSize));
                const HRESULT res = OpenFallback(joined, startLimit, openCallback, false, true);
                if (res != S_OK) _numVolumes = 0;
                return res;
            }
        }
    }
    RINOK_PLUGIN(GetStreamSize(stream, _streamSize));
    CZipPlacement placement;
    RINOK_PLUGIN(FindZipPlacement(stream, _streamSize, placement));
    {
        std::vector<Byte> head(_format.SignatureSpan());
        size_t got = 0;
        RINOK_PLUGIN(stream->Seek(0, STREAM_SEEK_SET, nullptr));
        RINOK_PLUGIN(ReadStreamMax(stream, head.data(), head.size(), got));
        bool matches = _format.SignatureMatches(head.data(), got);
        // Asked to search, the engine finds a zip behind other data at its own offset; asked for
        // the start only, what is in front belongs to the archive and is kept on writes.
        const bool search = startLimit && *startLimit != 0;
        if (!matches && _format.mayFollowStub && !search && placement.found && placement.firstEntry != 0) {
            matches = true;
            _bytesInFront = placement.firstEntry;
        }
        if (!matches) {
            _errorFlags = kpv_ErrorFlags_IsNotArc;
            return S_FALSE;
        }
    }
    if (openCallback) RINOK_PLUGIN(openCallback->SetTotal(nullptr, &_streamSize));
    _shift = placement.shift;
    _phySize = placement.found && placement.end != 0 ? placement.end : _streamSize;

    _stream = stream;
    {
        bool lean = false;
        // Bytes after the end record are no part of the zip.
        RINOK_PLUGIN(_listing.Read(stream, _phySize, lean));
        if (lean) _overlapping = FindOverlaps(_listing, _shift);
        // Link targets are data: an archive with links is read by libzip from the start.
        if (lean)
            for (UInt32 i = 0; i < _listing.items.size() && lean; i++) {
                const CZipListItem &item = _listing.items[i];
                lean = item.opsys != ZIP_OPSYS_UNIX || ((item.attributes >> 16) & S_IFMT) != S_IFLNK;
            }
        if (lean) {
            _lean = true;
            _numItems = static_cast<UInt32>(std::min<size_t>(_listing.items.size(), 0xFFFFFFFF));
            if (openCallback) {
                const UInt64 files = _numItems;
                RINOK_PLUGIN(openCallback->SetCompleted(&files, &_streamSize));
            }
            _isOpen = true;
            return S_OK;
        }
        _listing.Clear();
    }
    _stream.Release();

    const int code = OpenLibzip(stream);
    if (!_zip) {
        const HRESULT streamResult = _source->StreamResult();
        _source.reset();
        if (streamResult != S_OK) return streamResult;
        if (code == ZIP_ER_MEMORY) return E_OUTOFMEMORY;
        return OpenFallback(stream, startLimit, openCallback, code != ZIP_ER_MULTIDISK);
    }
    _stream = stream;
    const zip_int64_t n = zip_get_num_entries(_zip, 0);
    _numItems = n > 0 ? static_cast<UInt32>(std::min<zip_int64_t>(n, 0xFFFFFFFF)) : 0;
    RINOK_PLUGIN(ReadLinkTargets());
    if (openCallback) {
        const UInt64 files = _numItems;
        RINOK_PLUGIN(openCallback->SetCompleted(&files, &_streamSize));
    }
    _isOpen = true;
    return S_OK;
    COM_TRY_END
}

int CZipHandler::OpenLibzip(IInStream *stream) {
    _source.reset(new CZipStreamSource(stream, _streamSize, _shift, nullptr));
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t *src = _source->Create(&error);
    if (src) {
        _zip = zip_open_from_source(src, ZIP_RDONLY, &error);
        if (!_zip) zip_source_free(src);
    }
    const int code = zip_error_code_zip(&error);
    zip_error_fini(&error);
    return code;
}

HRESULT CZipHandler::OpenLibrary() {
    if (_zip) return S_OK;
    if (!_lean || !_stream) return S_FALSE;
    const int code = OpenLibzip(_stream);
    if (_zip && zip_get_num_entries(_zip, 0) == static_cast<zip_int64_t>(_numItems)) return S_OK;
    const HRESULT streamResult = _source->StreamResult();
    if (_zip) zip_discard(_zip);
    _zip = nullptr;
    _source.reset();
    if (streamResult != S_OK) return streamResult;
    return code == ZIP_ER_MEMORY ? E_OUTOFMEMORY : S_FALSE;
}

HRESULT CZipHandler::Close() {
    if (_zip) zip_discard(_zip);
    _zip = nullptr;
    _listing.Clear();
    _lean = false;
    _source.reset();
    _stream.Release();
    _fallback.Release();
    _linkTargets.clear();
    _numItems = 0;
    _shift = 0;
    _localTimesIndex = 0xFFFFFFFF;
    _bytesInFront = 0;
    _phySize = 0;
    _errorFlags = 0;
    _numVolumes = 0;
    _overlapping.clear();
    _isOpen = false;
    _password.Reset();
    return S_OK;
}

HRESULT CZipHandler::GetNumberOfItems(UInt32 *numItems) {
    if (_fallback) return _fallback->GetNumberOfItems(numItems);
    *numItems = _numItems;
    return S_OK;
}

HRESULT CZipHandler::GetProperty(UInt32 index, PROPID propID, PROPVARIANT *value) {
    COM_TRY_BEGIN
    if (_fallback) return _fallback->GetProperty(index, propID, value);
    if (index >= _numItems) return E_INVALIDARG;
    unsigned want = 0;
    switch (propID) {
    case kpidPath:
        want = kWantName;
        break;
    case kpidIsDir:
    case kpidAttrib:
    case kpidPosixAttrib:
        want = kWantMode;
        break;
    case kpidSize:
        want = kWantMode | kWantData;
        break;
    case kpidEncrypted:
        want = kWantData;
        break;
    case kpidMTime:
        want = kWantTime;
        break;
    default:
        break;
    }
    CEntry e;
    if (want && !GetEntry(index, e, want)) return E_FAIL;
    const bool utf16 = global_use_utf16_conversion != 0;
    switch (propID) {
    case kpidPath: {
        std::wstring path = DecodeName(nullptr, e.rawName, utf16);
        // Zips made on DOS or Windows separate folders with backslashes. Done on the decoded name:
        // a trail byte of a GB18030 character can be 0x5C.
        const zip_uint8_t opsys = e.opsys;
        if (opsys == ZIP_OPSYS_DOS || opsys == ZIP_OPSYS_WINDOWS_NTFS || opsys == ZIP_OPSYS_VFAT)
            std::replace(path.begin(), path.end(), L'\\', L'/');
        while (path.size() > 1 && path.back() == L'/')
            path.pop_back();
        return PropSetString(value, path);
    }
    case kpidIsDir:
        PropSetBool(value, e.isDir);
        break;
    case kpidSize: {
        const auto link = _linkTargets.find(index);
        PropSetUInt64(value, link != _linkTargets.end() ? link->second.size() : e.isDir ? 0 : e.size);
        break;
    }
    case kpidMTime:
        if (e.mtimeDefined) PropSetFileTime(value, UnixTimeToFileTime(e.mtime, 0));
        break;
    case kpidATime:
    case kpidCTime: {
        Int64 t = 0;
        if (_lean) {
            if (_localTimesIndex != index) {
                const Int64 pos = static_cast<Int64>(_listing.items[index].headerOffset) + _shift;
                _localTimesIndex = 0xFFFFFFFF;
                _localTimes = CLocalTimes();
                if (pos >= 0) RINOK_PLUGIN(ReadLocalHeaderTimes(_stream, static_cast<UInt64>(pos), _localTimes));
                _localTimesIndex = index;
            }
            const bool atime = propID == kpidATime;
            if (atime ? _localTimes.atimeDefined : _localTimes.ctimeDefined)
                PropSetFileTime(value, UnixTimeToFileTime(atime ? _localTimes.atime : _localTimes.ctime, 0));
        } else if (LocalTime(index, propID == kpidATime ? 1 : 2, t))
            PropSetFileTime(value, UnixTimeToFileTime(t, 0));
        break;
    }
    case kpidAttrib:
        PropSetUInt32(value, (e.mode << 16) | kFileAttributeUnixExtension | (e.isDir ? kFileAttributeDirectory : 0));
        break;
    case kpidPosixAttrib:
        PropSetUInt32(value, e.mode);
        break;
    case kpidEncrypted:
        PropSetBool(value, e.encrypted);
        break;
    case kpidSymLink: {
        const auto link = _linkTargets.find(index);
        if (link != _linkTargets.end()) return PropSetString(value, DecodeName(nullptr, link->second.c_str(), utf16));
        break;
    }
    default:
        break;
    }
    return S_OK;
    COM_TRY_END
}

HRESULT CZipHandler::GetArchiveProperty(PROPID propID, PROPVARIANT *value) {
    COM_TRY_BEGIN
    if (_fallback) {
        // A split set is not rewritten as one file: it is read only.
        if (_numVolumes != 0 && propID == kpidReadOnly) {
            PropSetBool(value, true);
            return S_OK;
        }
        if (_numVolumes != 0 && propID == kpidNumVolumes) {
            PropSetUInt32(value, _numVolumes);
            return S_OK;
        }
        if (_numVolumes != 0 && propID == kpidPhySize) {
            PropSetUInt64(value, _phySize);
            return S_OK;
        }
        RINOK_PLUGIN(_fallback->GetArchiveProperty(propID, value));
        if (propID == kpidErrorFlags && value->vt == VT_UI4) value->ulVal |= _errorFlags;
        return S_OK;
    }
    switch (propID) {
    case kpidPhySize:
        if (_isOpen) PropSetUInt64(value, _phySize);
        break;
    case kpidErrorFlags:
        if (_errorFlags != 0 || _isOpen) PropSetUInt32(value, _errorFlags);
        break;
    default:
        break;
    }
    return S_OK;
    COM_TRY_END
}

// An item of which nothing could be decoded: announced and given its result with no data written, so
// that the caller drops the output it made.
HRESULT CZipHandler::FailItem(UInt32 index, Int32 askMode, IArchiveExtractCallback *callback, Int32 opRes) {
    CMyComPtr<ISequentialOutStream> out;
    RINOK_PLUGIN(callback->GetStream(index, &out, askMode));
    if (!out && askMode == NAskMode::kExtract) return S_OK;
    RINOK_PLUGIN(callback->PrepareOperation(askMode));
    out.Release();
    return callback->SetOperationResult(opRes);
}

HRESULT CZipHandler::ExtractOne(UInt32 index, Int32 testMode, IArchiveExtractCallback *callback, UInt64 &completed) {
    CEntry e;
    if (index < _overlapping.size() && _overlapping[index])
        return ReportItemsNotExtracted(callback, &index, 1, NOperationResult::kHeadersError);
    if (!GetEntry(index, e, kWantMode | kWantData))
        return ReportItemsNotExtracted(callback, &index, 1, NOperationResult::kHeadersError);
    const Int32 askMode = testMode ? NAskMode::kTest : NAskMode::kExtract;
    CMyComPtr<ISequentialOutStream> out;
    const auto link = _linkTargets.find(index);
    if (e.isDir || link != _linkTargets.end()) {
        RINOK_PLUGIN(callback->GetStream(index, &out, askMode));
        if (!out && !testMode && !e.isDir) return S_OK; // the caller skips this item
        RINOK_PLUGIN(callback->PrepareOperation(askMode));
        if (out && !e.isDir) RINOK_PLUGIN(WriteStreamAll(out, link->second.data(), link->second.size()));
        out.Release();
        return callback->SetOperationResult(NOperationResult::kOK);
    }

    const char *password = nullptr;
    if (e.encrypted) {
        password = _password.Password();
        if (_password.AskResult() != S_OK) return _password.AskResult();
        // No password, or an empty one, cannot be right.
        if (!password || !*password) {
            _password.Reject();
            return FailItem(index, askMode, callback, NOperationResult::kWrongPassword);
        }
    }
    CZipEntryReader reader;
    if (!reader.Open(_zip, index, password)) {
        if (_source->StreamResult() != S_OK) return _source->StreamResult();
        zip_error_clear(_zip);
        const Int32 opRes = ResultOfZipError(reader.Error());
        if (opRes == NOperationResult::kWrongPassword) _password.Reject();
        return FailItem(index, askMode, callback, opRes);
    }

    _buf.resize(kDataChunk);
    zip_int64_t n = 0;
    bool havePending = false;
    if (e.encrypted) {
        // A wrong password can pass the check bytes; it shows in the first block, before anything
        // is written.
        n = reader.Read(_buf.data(), _buf.size());
        if (n < 0) {
            if (_source->StreamResult() != S_OK) return _source->StreamResult();
            if (reader.Error() != ZIP_ER_EOF && reader.Error() != ZIP_ER_READ) {
                _password.Reject();
                return FailItem(index, askMode, callback, NOperationResult::kWrongPassword);
            }
        }
        havePending = true;
    }
    RINOK_PLUGIN(callback->GetStream(index, &out, askMode));
    if (!out && !testMode) return S_OK;
    RINOK_PLUGIN(callback->PrepareOperation(askMode));
    Int32 opRes = NOperationResult::kOK;
    for (;;) {
        if (!havePending) n = reader.Read(_buf.data(), _buf.size());
        havePending = false;
        if (n < 0) {
            if (_source->StreamResult() != S_OK) return _source->StreamResult();
            opRes = ResultOfZipError(reader.Error());
            break;
        }
        if (n == 0) break;
        if (out) RINOK_PLUGIN(WriteStreamAll(out, _buf.data(), static_cast<size_t>(n)));
        completed += static_cast<UInt64>(n);
        RINOK_PLUGIN(callback->SetCompleted(&completed));
    }
    out.Release();
    // A wrong ZipCrypto password passes the one-byte check once in 256 and shows only as bad data:
    // it is not kept for the next operation either.
    if (e.encrypted && opRes != NOperationResult::kOK) _password.Reject();
    return callback->SetOperationResult(opRes);
}

HRESULT CZipHandler::Extract(const UInt32 *indices, UInt32 numItems, Int32 testMode,
                             IArchiveExtractCallback *extractCallback) {
    COM_TRY_BEGIN
    if (_fallback) return _fallback->Extract(indices, numItems, testMode, extractCallback);
    if (!extractCallback) return E_INVALIDARG;
    std::vector<UInt32> wanted;
    RINOK_PLUGIN(WantedIndices(indices, numItems, _numItems, wanted));
    if (wanted.empty()) return S_OK;
    if (!_isOpen) return E_FAIL;

    UInt64 total = 0;
    for (UInt32 i : wanted) {
        CEntry e;
        if (GetEntry(i, e, kWantData)) total += e.size;
    }
    RINOK_PLUGIN(extractCallback->SetTotal(total));
    const HRESULT opened = OpenLibrary();
    if (opened == S_FALSE)
        return ReportItemsNotExtracted(extractCallback, wanted.data(), wanted.size(), NOperationResult::kHeadersError);
    RINOK_PLUGIN(opened);

    CMyComPtr<ICryptoGetTextPassword> getter;
    extractCallback->QueryInterface(IID_ICryptoGetTextPassword, reinterpret_cast<void **>(&getter));
    _password.BeginSession(getter);
    struct CEndSession {
        CPasswordKeeper &keeper;
        ~CEndSession() { keeper.EndSession(); }
    } endSession{_password};

    UInt64 completed = 0;
    for (UInt32 index : wanted)
        RINOK_PLUGIN(ExtractOne(index, testMode, extractCallback, completed));
    return S_OK;
    COM_TRY_END
}

HRESULT CZipHandler::WriteArchive(ISequentialOutStream *outStream, UInt32 numItems,
                                  IArchiveUpdateCallback *updateCallback) {
    COM_TRY_BEGIN
    // Its other volumes would stay behind beside a new single file.
    if (_numVolumes != 0) return E_NOTIMPL;
    // A damaged archive read front to back has no entries to copy as they are: libarchive writes it.
    if (_fallback) {
        CMyComPtr<IOutArchive> writer;
        RINOK_PLUGIN(_fallback->QueryInterface(IID_IOutArchive, reinterpret_cast<void **>(&writer)));
        return writer->WriteArchive(outStream, numItems, updateCallback);
    }
    if (!outStream || !updateCallback) return E_INVALIDARG;
    if (_isOpen && _bytesInFront != 0) {
        // A program in front of the archive stays in front of the new one.
        RINOK_PLUGIN(CopyStreamStart(_stream, _bytesInFront, outStream));
    }
    CZipOldArchive old = {this, _stream, _streamSize, _shift};
    return WriteZipArchive(_isOpen ? &old : nullptr, _out.Props(), outStream, numItems, updateCallback);
    COM_TRY_END
}

} // namespace NPlugin
