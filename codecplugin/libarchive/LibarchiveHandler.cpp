#include "libarchive/LibarchiveHandler.h"

#include "NameDecoder.h"
#include "PluginGlobals.h"
#include "PropVariantUtils.h"
#include "StreamUtils.h"
#include "Utf8Locale.h"

#include <algorithm>
#include <archive_entry.h>
#include <string.h>
#include <sys/stat.h>

namespace NPlugin {

namespace {

using namespace NArchive::NExtract;

const size_t kDataChunk = 1 << 18;
const UInt32 kOpenProgressEvery = 256;
const UInt32 kFileAttributeDirectory = 0x10;
const UInt32 kFileAttributeUnixExtension = 0x8000;

const PROPID kItemProps[] = {kpidPath,     kpidIsDir,  kpidSize,        kpidMTime,     kpidCTime,
                             kpidATime,    kpidAttrib, kpidPosixAttrib, kpidEncrypted, kpidSymLink,
                             kpidHardLink, kpidUser,   kpidGroup};
const VARTYPE kItemTypes[] = {VT_BSTR, VT_BOOL, VT_UI8,  VT_FILETIME, VT_FILETIME, VT_FILETIME, VT_UI4,
                              VT_UI4,  VT_BOOL, VT_BSTR, VT_BSTR,     VT_BSTR,     VT_BSTR};
const PROPID kArcProps[] = {kpidPhySize, kpidErrorFlags, kpidError, kpidWarning};
const VARTYPE kArcTypes[] = {VT_UI8, VT_UI4, VT_BSTR, VT_BSTR};

HRESULT WriteZeros(ISequentialOutStream *out, UInt64 count) {
    static const Byte kZeros[1 << 16] = {};
    while (out && count != 0) {
        const size_t n = static_cast<size_t>(std::min<UInt64>(count, sizeof(kZeros)));
        RINOK_PLUGIN(WriteStreamAll(out, kZeros, n));
        count -= n;
    }
    return S_OK;
}

// A hole of a file on disk is sought over, not written: a small archive may declare a sparse file
// of any size, and writing its zeros would fill the disk.
HRESULT WriteHole(ISequentialOutStream *out, UInt64 count) {
    const UInt64 kSeekFrom = 1 << 16;
    if (!out || count == 0) return S_OK;
    if (count >= kSeekFrom) {
        CMyComPtr<IOutStream> seekable;
        out->QueryInterface(IID_IOutStream, reinterpret_cast<void **>(&seekable));
        // The last byte is written, so that a hole at the end still gives the file its size.
        if (seekable && seekable->Seek(static_cast<Int64>(count - 1), STREAM_SEEK_CUR, nullptr) == S_OK)
            return WriteZeros(out, 1);
    }
    return WriteZeros(out, count);
}

// A reader that skipped over bytes to find the next header has lost whatever was there.
bool WarningMeansLostData(const std::string &message) {
    return message.find("Skipped") != std::string::npos || message.find("amaged") != std::string::npos;
}

// A zip is found from the end record of its central directory, whatever lies in front of it (a
// self-extracting program, say). Its offsets may count from the zip itself or, fixed by the
// writer, from the start of the whole file: "start" is where the first entry lies in this stream,
// "leadingZeros" how far in front of this stream the offsets begin.
HRESULT FindZipFromEnd(IInStream *stream, UInt64 streamSize, bool &found, UInt64 &start, UInt64 &leadingZeros,
                       bool &empty) {
    const size_t kEndRecord = 22;
    const size_t kDirHeader = 46;
    found = empty = false;
    start = leadingZeros = 0;
    const size_t span = static_cast<size_t>(std::min<UInt64>(streamSize, kEndRecord + 0xFFFF));
    if (span < kEndRecord) return S_OK;
    const UInt64 spanStart = streamSize - span;
    std::vector<Byte> tail(span);
    RINOK_PLUGIN(stream->Seek(static_cast<Int64>(spanStart), STREAM_SEEK_SET, nullptr));
    size_t got = 0;
    RINOK_PLUGIN(ReadStreamMax(stream, tail.data(), span, got));
    for (size_t i = got >= kEndRecord ? got - kEndRecord + 1 : 0; i-- > 0;) {
        const Byte *p = tail.data() + i;
        if (p[0] != 'P' || p[1] != 'K' || p[2] != 5 || p[3] != 6 || i + kEndRecord + Get16(p + 20) != got) continue;
        found = true;
        const UInt64 endPos = spanStart + i;
        const UInt64 dirSize = Get32(p + 12), dirOffset = Get32(p + 16);
        empty = dirSize == 0 && Get16(p + 8) == 0 && Get16(p + 10) == 0;
        // Zip64 keeps its sizes elsewhere; such an archive is taken only from its own start.
        if (dirSize == 0xFFFFFFFF || dirOffset == 0xFFFFFFFF || dirSize > endPos) break;
        const Int64 delta = static_cast<Int64>(endPos - dirSize) - static_cast<Int64>(dirOffset);
        if (delta < 0) leadingZeros = static_cast<UInt64>(-delta);
        if (dirSize == 0) break;
        Byte header[kDirHeader];
        size_t n = 0;
        RINOK_PLUGIN(stream->Seek(static_cast<Int64>(endPos - dirSize), STREAM_SEEK_SET, nullptr));
        RINOK_PLUGIN(ReadStreamMax(stream, header, sizeof(header), n));
        if (n == sizeof(header) && Get32(header) == 0x02014B50) {
            const Int64 first = delta + static_cast<Int64>(Get32(header + 42));
            if (first > 0 && static_cast<UInt64>(first) < endPos) start = static_cast<UInt64>(first);
        }
        break;
    }
    return stream->Seek(0, STREAM_SEEK_SET, nullptr);
}

void StripTrailingSlashes(std::wstring &path) {
    while (path.size() > 1 && path.back() == L'/')
        path.pop_back();
}

} // namespace

CLibarchiveHandler::CLibarchiveHandler(const CFormatInfo &format)
    : CWritableHandlerBase(format, MakePropList(kItemProps, kItemTypes), MakePropList(kArcProps, kArcTypes)),
      _format(format) {}

// Some formats keep tables among their entries that libarchive hands out as entries: the
// long-name table ("//") and symbol table ("/") of an ar archive, the root folder of an ISO.
bool CLibarchiveHandler::IsMember(struct archive_entry *entry) const {
    const char *path = archive_entry_pathname(entry);
    if (!path) return true;
    const std::string name(path);
    if (strcmp(_format.name, "ar") == 0) return name.find_first_not_of('/') != std::string::npos;
    if (strcmp(_format.name, "iso") == 0) return name != "." && name != "./";
    return true;
}

UInt32 CLibarchiveHandler::NameId(const std::wstring &name) {
    if (name.empty()) return 0;
    const auto it = _nameIds.find(name);
    if (it != _nameIds.end()) return it->second;
    _names.push_back(name);
    const UInt32 id = static_cast<UInt32>(_names.size());
    _nameIds.emplace(name, id);
    return id;
}

void CLibarchiveHandler::FillItem(struct archive_entry *entry, CArcItem &item) {
    const bool utf16 = global_use_utf16_conversion != 0;
    std::wstring path = EntryPath(entry, utf16);
    const mode_t mode = archive_entry_mode(entry);
    const mode_t type = archive_entry_filetype(entry);
    item.isDir = type == AE_IFDIR;
    // Some writers store a file's permissions alone, without a file type (ar, 7z from Python).
    item.mode = static_cast<UInt32>(type == 0 ? (mode | AE_IFREG) : mode);
    item.modeDefined = true;
    StripTrailingSlashes(path);
    item.path = WideToUtf8(path.c_str());
    if (type == AE_IFLNK) {
        item.links.reset(new CArcItemLinks);
        item.links->symlink = EntrySymlink(entry, utf16);
        const char *raw = archive_entry_symlink(entry);
        item.links->symlinkData = utf16 ? WideToUtf8(item.links->symlink.c_str()) : std::string(raw ? raw : "");
        item.size = item.links->symlinkData.size();
        item.sizeDefined = true;
    } else if (archive_entry_size_is_set(entry) && !item.isDir) {
        const la_int64_t s = archive_entry_size(entry);
        item.size = s > 0 ? static_cast<UInt64>(s) : 0;
        item.sizeDefined = true;
    } else if (item.isDir) {
        item.size = 0;
        item.sizeDefined = true;
    }
    if (archive_entry_hardlink(entry) || archive_entry_hardlink_w(entry)) {
        if (!item.links) item.links.reset(new CArcItemLinks);
        item.links->hardlink = EntryHardlink(entry, utf16);
    }
    if (archive_entry_mtime_is_set(entry)) {
        item.mtime = UnixTimeToFileTime(archive_entry_mtime(entry), archive_entry_mtime_nsec(entry));
        item.mtimeDefined = true;
    }
    if (archive_entry_ctime_is_set(entry)) {
        item.ctime = UnixTimeToFileTime(archive_entry_ctime(entry), archive_entry_ctime_nsec(entry));
        item.ctimeDefined = true;
    }
    if (archive_entry_atime_is_set(entry)) {
        item.atime = UnixTimeToFileTime(archive_entry_atime(entry), archive_entry_atime_nsec(entry));
        item.atimeDefined = true;
    }
    const char *uname = archive_entry_uname(entry);
    if (uname && *uname) item.user = NameId(DecodeName(archive_entry_uname_utf8(entry), uname, utf16));
    const char *gname = archive_entry_gname(entry);
    if (gname && *gname) item.group = NameId(DecodeName(archive_entry_gname_utf8(entry), gname, utf16));
    item.encrypted = archive_entry_is_encrypted(entry) != 0;
}

namespace {

// Where the zeros that follow pos end: the padding of the last record belongs to the archive.
HRESULT SkipZeros(IInStream *stream, UInt64 &pos, UInt64 end) {
    RINOK_PLUGIN(stream->Seek(static_cast<Int64>(pos), STREAM_SEEK_SET, nullptr));
    std::vector<Byte> buf(1 << 16);
    while (pos < end) {
        size_t got = 0;
        RINOK_PLUGIN(
            ReadStreamMax(stream, buf.data(), static_cast<size_t>(std::min<UInt64>(buf.size(), end - pos)), got));
        if (got == 0) break;
        for (size_t i = 0; i < got; i++)
            if (buf[i] != 0) {
                pos += i;
                return stream->Seek(0, STREAM_SEEK_SET, nullptr);
            }
        pos += got;
    }
    return stream->Seek(0, STREAM_SEEK_SET, nullptr);
}

} // namespace

HRESULT CLibarchiveHandler::TryOpen(FormatSetupFunc setup, IArchiveOpenCallback *callback, bool &opened) {
    opened = false;
    _readerEnd = 0;
    _items.clear();
    _errorFlags = 0;
    _errorText.clear();
    _warningText.clear();

    CMyComPtr<ICryptoGetTextPassword> getter;
    if (callback && _format.canDecrypt)
        callback->QueryInterface(IID_ICryptoGetTextPassword, reinterpret_cast<void **>(&getter));
    _password.BeginSession(getter);
    CArchiveReader reader(_stream, _streamSize);
    if (setup == _format.setup) reader.SetLeadingZeros(_leadingZeros); // not for the front-to-back reader
    reader.SetPassphraseSource(&_password);

    int r = reader.Open(setup);
    if (r != ARCHIVE_OK && r != ARCHIVE_WARN) {
        _password.EndSession();
        if (reader.StreamResult() != S_OK) return reader.StreamResult();
        _errorFlags = kpv_ErrorFlags_IsNotArc;
        return S_OK;
    }

    UInt64 numFiles = 0;
    for (;;) {
        struct archive_entry *entry = nullptr;
        r = reader.NextHeader(&entry);
        if (r == ARCHIVE_EOF) {
            if (_format.endFromReader) _readerEnd = reader.ConsumedBytes();
            break;
        }
        if (r != ARCHIVE_OK && r != ARCHIVE_WARN) {
            const std::string msg = reader.ErrorString();
            if (reader.StreamResult() != S_OK) {
                _password.EndSession();
                return reader.StreamResult();
            }
            if (_password.AskResult() != S_OK) {
                _password.EndSession();
                return _password.AskResult();
            }
            if (_items.empty()) {
                // A reader took the data but no entry came out: a damaged archive of this format,
                // unless the format has no signature to go by.
                _errorFlags = _format.signatures.empty() ? kpv_ErrorFlags_IsNotArc : ErrorFlagFromMessage(msg);
                if (!_format.signatures.empty() &&
                    (msg.find("assphrase") != std::string::npos || msg.find("encrypted") != std::string::npos))
                    _errorFlags |= kpv_ErrorFlags_EncryptedHeadersError;
                _errorText = Utf8ToWide(msg);
                _password.EndSession();
                return S_OK;
            }
            _errorFlags |= ErrorFlagFromMessage(msg);
            _errorText = Utf8ToWide(msg);
            break;
        }
        if (r == ARCHIVE_WARN) {
            const std::string msg = reader.ErrorString();
            if (WarningMeansLostData(msg)) {
                _errorFlags |= kpv_ErrorFlags_HeadersError;
                if (_errorText.empty()) _errorText = Utf8ToWide(msg);
            } else if (_warningText.empty() && !msg.empty()) {
                _warningText = Utf8ToWide(msg);
            }
        }
        bool member;
        CArcItem item;
        {
            CUtf8LocaleScope scope;
            member = IsMember(entry);
            if (member) FillItem(entry, item);
        }
        if (member) {
            _items.push_back(std::move(item));
            numFiles++;
        }
        const int rs = reader.SkipData();
        if (rs == ARCHIVE_FATAL) {
            if (reader.StreamResult() != S_OK) {
                _password.EndSession();
                return reader.StreamResult();
            }
            const std::string msg = reader.ErrorString();
            _errorFlags |= ErrorFlagFromMessage(msg);
            _errorText = Utf8ToWide(msg);
            break;
        }
        if (callback && numFiles % kOpenProgressEvery == 0) {
            const UInt64 bytes = reader.MaxPosition();
            const HRESULT res = callback->SetCompleted(&numFiles, &bytes);
            if (res != S_OK) {
                _password.EndSession();
                return res;
            }
        }
    }
    _password.EndSession();
    if (reader.StreamResult() != S_OK) return reader.StreamResult();
    opened = true;
    if (callback) {
        const UInt64 bytes = reader.MaxPosition();
        RINOK_PLUGIN(callback->SetCompleted(&numFiles, &bytes));
    }
    return S_OK;
}

HRESULT CLibarchiveHandler::Open(IInStream *stream, const UInt64 *maxCheckStartPosition,
                                 IArchiveOpenCallback *openCallback) {
    COM_TRY_BEGIN
    Close();
    if (!stream) return E_INVALIDARG;
    RINOK_PLUGIN(GetStreamSize(stream, _streamSize));
    // A look at the signature first, so that other formats' data is refused without a session.
    if (!_format.signatures.empty()) {
        std::vector<Byte> head(_format.SignatureSpan());
        size_t got = 0;
        RINOK_PLUGIN(ReadStreamMax(stream, head.data(), head.size(), got));
        RINOK_PLUGIN(stream->Seek(0, STREAM_SEEK_SET, nullptr));
        bool matches = _format.SignatureMatches(head.data(), got);
        bool emptyZip = false;
        if (_format.mayFollowStub) {
            bool fromEnd = false;
            UInt64 start = 0;
            RINOK_PLUGIN(FindZipFromEnd(stream, _streamSize, fromEnd, start, _leadingZeros, emptyZip));
            // Asked to search, the engine finds the archive behind other data at its own offset;
            // asked for the start only, what is in front belongs to the archive and is kept on writes.
            const bool search = maxCheckStartPosition && *maxCheckStartPosition != 0;
            _emptyZip = emptyZip && matches;
            if (!matches && fromEnd && start != 0 && !search) {
                matches = true;
                _bytesInFront = start;
            }
        }
        if (!matches) {
            _errorFlags = kpv_ErrorFlags_IsNotArc;
            return S_FALSE;
        }
    } else if (_format.isArc) {
        Byte head[1024];
        size_t got = 0;
        RINOK_PLUGIN(ReadStreamMax(stream, head, sizeof(head), got));
        RINOK_PLUGIN(stream->Seek(0, STREAM_SEEK_SET, nullptr));
        if (_format.isArc(head, got) != k_IsArc_Res_YES) {
            _errorFlags = kpv_ErrorFlags_IsNotArc;
            return S_FALSE;
        }
    }
    _stream = stream;
    if (openCallback) RINOK_PLUGIN(openCallback->SetTotal(nullptr, &_streamSize));

    bool opened = false;
    HRESULT res = TryOpen(_format.setup, openCallback, opened);
    _setup = _format.setup;
    if (res == S_OK && !opened && _emptyZip) {
        // An end record and nothing else (all items deleted, say) is an empty archive, not a
        // damaged one.
        _errorFlags = 0;
        _errorText.clear();
        _items.clear();
        opened = true;
    }
    if (res == S_OK && !opened && _format.fallbackSetup && (_errorFlags & kpv_ErrorFlags_IsNotArc)) {
        res = TryOpen(_format.fallbackSetup, openCallback, opened);
        _setup = _format.fallbackSetup;
        if (opened) _errorFlags |= kpv_ErrorFlags_HeadersError;
    }
    if (res != S_OK || !opened) {
        _stream.Release();
        _items.clear();
        _password.Reset();
        return res != S_OK ? res : S_FALSE;
    }
    _phySize = _streamSize;
    if (_readerEnd != 0 && _readerEnd < _streamSize) {
        _phySize = _readerEnd;
        RINOK_PLUGIN(SkipZeros(stream, _phySize, _streamSize));
    }
    _isOpen = true;
    return S_OK;
    COM_TRY_END
}

HRESULT CLibarchiveHandler::WriteArchive(ISequentialOutStream *outStream, UInt32 numItems,
                                         IArchiveUpdateCallback *updateCallback) {
    COM_TRY_BEGIN
    if (_isOpen && _bytesInFront != 0 && outStream) {
        RINOK_PLUGIN(CopyStreamStart(_stream, _bytesInFront, outStream));
    }
    return CWritableHandlerBase::WriteArchive(outStream, numItems, updateCallback);
    COM_TRY_END
}

HRESULT CLibarchiveHandler::Close() {
    _stream.Release();
    _bytesInFront = 0;
    _phySize = 0;
    _readerEnd = 0;
    _leadingZeros = 0;
    _emptyZip = false;
    _items.clear();
    _items.shrink_to_fit();
    _names.clear();
    _nameIds.clear();
    _errorFlags = 0;
    _warningFlags = 0;
    _errorText.clear();
    _warningText.clear();
    _isOpen = false;
    _password.Reset();
    return S_OK;
}

HRESULT CLibarchiveHandler::GetNumberOfItems(UInt32 *numItems) {
    *numItems = static_cast<UInt32>(_items.size());
    return S_OK;
}

HRESULT CLibarchiveHandler::GetProperty(UInt32 index, PROPID propID, PROPVARIANT *value) {
    COM_TRY_BEGIN
    if (index >= _items.size()) return E_INVALIDARG;
    const CArcItem &item = _items[index];
    switch (propID) {
    case kpidPath:
        return PropSetString(value, Utf8ToWide(item.path));
    case kpidIsDir:
        PropSetBool(value, item.isDir);
        break;
    case kpidSize:
        if (item.sizeDefined) PropSetUInt64(value, item.size);
        break;
    case kpidMTime:
        if (item.mtimeDefined) PropSetFileTime(value, item.mtime);
        break;
    case kpidCTime:
        if (item.ctimeDefined) PropSetFileTime(value, item.ctime);
        break;
    case kpidATime:
        if (item.atimeDefined) PropSetFileTime(value, item.atime);
        break;
    case kpidAttrib:
        if (item.modeDefined)
            PropSetUInt32(value,
                          (item.mode << 16) | kFileAttributeUnixExtension | (item.isDir ? kFileAttributeDirectory : 0));
        break;
    case kpidPosixAttrib:
        if (item.modeDefined) PropSetUInt32(value, item.mode);
        break;
    case kpidEncrypted:
        PropSetBool(value, item.encrypted);
        break;
    case kpidSymLink:
        if (item.IsSymlink()) return PropSetString(value, item.links->symlink);
        break;
    case kpidHardLink:
        if (item.IsHardlink()) return PropSetString(value, item.links->hardlink);
        break;
    case kpidUser:
        if (item.user != 0) return PropSetString(value, _names[item.user - 1]);
        break;
    case kpidGroup:
        if (item.group != 0) return PropSetString(value, _names[item.group - 1]);
        break;
    default:
        break;
    }
    return S_OK;
    COM_TRY_END
}

HRESULT CLibarchiveHandler::GetArchiveProperty(PROPID propID, PROPVARIANT *value) {
    COM_TRY_BEGIN
    switch (propID) {
    case kpidPhySize:
        if (_isOpen) PropSetUInt64(value, _phySize);
        break;
    case kpidErrorFlags:
        if (_errorFlags != 0 || _isOpen) PropSetUInt32(value, _errorFlags);
        break;
    case kpidWarningFlags:
        if (_warningFlags != 0) PropSetUInt32(value, _warningFlags);
        break;
    case kpidError:
        if (!_errorText.empty()) return PropSetString(value, _errorText);
        break;
    case kpidWarning:
        if (!_warningText.empty()) return PropSetString(value, _warningText);
        break;
    default:
        break;
    }
    return S_OK;
    COM_TRY_END
}

HRESULT CLibarchiveHandler::ExtractEntry(CArchiveReader &reader, UInt32 index, Int32 testMode,
                                         IArchiveExtractCallback *callback, UInt64 &completed, bool &sessionDead,
                                         Int32 &deadResult) {
    const CArcItem &item = _items[index];
    const Int32 askMode = testMode ? NAskMode::kTest : NAskMode::kExtract;
    CMyComPtr<ISequentialOutStream> out;
    RINOK_PLUGIN(callback->GetStream(index, &out, askMode));
    if (!out && !testMode && !item.isDir) return S_OK; // the caller skips this item
    RINOK_PLUGIN(callback->PrepareOperation(askMode));
    Int32 opRes = NOperationResult::kOK;
    if (item.isDir) {
        // nothing to write
    } else if (item.IsSymlink()) {
        const std::string &target = item.links->symlinkData;
        if (out) RINOK_PLUGIN(WriteStreamAll(out, target.data(), target.size()));
    } else {
        // Blocks come with their offsets: a gap is a hole of a sparse file. An offset at the end
        // pads a trailing hole, but only up to the item's own size (the xar reader reports its
        // running total over all entries there).
        const UInt64 limit = item.sizeDefined ? item.size : ~static_cast<UInt64>(0);
        UInt64 written = 0;
        reader.ClearHitEnd();
        for (;;) {
            const void *block = nullptr;
            size_t size = 0;
            la_int64_t offset = 0;
            const int r = reader.ReadDataBlock(&block, &size, &offset);
            // A checksum found wrong at the end comes with the last block: the data is kept, marked.
            if (r == ARCHIVE_WARN && block && size != 0 && offset >= 0 && static_cast<UInt64>(offset) == written &&
                size <= limit - written) {
                if (out) RINOK_PLUGIN(WriteStreamAll(out, block, size));
                written += size;
                completed += size;
            }
            if (r != ARCHIVE_OK && r != ARCHIVE_EOF) {
                if (reader.StreamResult() != S_OK) return reader.StreamResult();
                if (_password.AskResult() != S_OK) return _password.AskResult();
                opRes = OperationResultFromMessage(reader.ErrorString(), item.encrypted, _format.canDecrypt);
                // Readers that run out of input often say no more than that decoding failed.
                if (opRes == NOperationResult::kDataError && reader.HitEnd()) opRes = NOperationResult::kUnexpectedEnd;
                if (r == ARCHIVE_FATAL) {
                    sessionDead = true;
                    deadResult = opRes == NOperationResult::kOK ? NOperationResult::kDataError : opRes;
                    if (deadResult == NOperationResult::kWrongPassword) deadResult = NOperationResult::kUnexpectedEnd;
                }
                break;
            }
            UInt64 start = offset > 0 ? static_cast<UInt64>(offset) : 0;
            if (r == ARCHIVE_EOF) start = std::max(written, std::min(start, limit));
            if (start < written || start > limit || size > limit - start) {
                opRes = NOperationResult::kDataError;
                break;
            }
            if (start > written) {
                RINOK_PLUGIN(WriteHole(out, start - written));
                completed += start - written;
                written = start;
            }
            if (r == ARCHIVE_EOF) break;
            if (out && size != 0) RINOK_PLUGIN(WriteStreamAll(out, block, size));
            written += size;
            completed += size;
            RINOK_PLUGIN(callback->SetCompleted(&completed));
        }
        // Readers stop without a word on some damaged headers (an unknown file type, say): data
        // short of the item's size is not a whole file. A hard link's data lives elsewhere.
        if (opRes == NOperationResult::kOK && item.sizeDefined && !item.IsHardlink() && written < item.size)
            opRes = reader.HitEnd() ? NOperationResult::kUnexpectedEnd : NOperationResult::kDataError;
    }
    out.Release();
    if (opRes == NOperationResult::kWrongPassword) _password.Reject();
    return callback->SetOperationResult(opRes);
}

HRESULT CLibarchiveHandler::Extract(const UInt32 *indices, UInt32 numItems, Int32 testMode,
                                    IArchiveExtractCallback *extractCallback) {
    COM_TRY_BEGIN
    if (!extractCallback) return E_INVALIDARG;
    std::vector<UInt32> wanted;
    RINOK_PLUGIN(WantedIndices(indices, numItems, static_cast<UInt32>(_items.size()), wanted));
    if (wanted.empty()) return S_OK;
    if (!_isOpen) return E_FAIL;

    UInt64 total = 0;
    for (UInt32 i : wanted)
        total += _items[i].size;
    RINOK_PLUGIN(extractCallback->SetTotal(total));

    CMyComPtr<ICryptoGetTextPassword> getter;
    if (_format.canDecrypt)
        extractCallback->QueryInterface(IID_ICryptoGetTextPassword, reinterpret_cast<void **>(&getter));
    _password.BeginSession(getter);
    struct CEndSession {
        CPasswordKeeper &keeper;
        ~CEndSession() { keeper.EndSession(); }
    } endSession{_password};

    CArchiveReader reader(_stream, _streamSize);
    if (_setup == _format.setup) reader.SetLeadingZeros(_leadingZeros);
    reader.SetPassphraseSource(&_password);
    const int opened = reader.Open(_setup);
    if (opened != ARCHIVE_OK && opened != ARCHIVE_WARN) {
        if (reader.StreamResult() != S_OK) return reader.StreamResult();
        return ReportItemsNotExtracted(extractCallback, wanted.data(), wanted.size(), NOperationResult::kDataError);
    }

    UInt64 completed = 0;
    size_t w = 0;
    UInt32 index = 0;
    Int32 deadResult = NOperationResult::kUnexpectedEnd;
    bool sessionDead = false;
    while (w < wanted.size() && !sessionDead) {
        struct archive_entry *entry = nullptr;
        const int r = reader.NextHeader(&entry);
        if (r == ARCHIVE_EOF) {
            sessionDead = true;
            deadResult = NOperationResult::kUnexpectedEnd;
            break;
        }
        if (r != ARCHIVE_OK && r != ARCHIVE_WARN) {
            if (reader.StreamResult() != S_OK) return reader.StreamResult();
            if (_password.AskResult() != S_OK) return _password.AskResult();
            sessionDead = true;
            const Int32 res = OperationResultFromMessage(reader.ErrorString(), false, true);
            deadResult = res == NOperationResult::kWrongPassword ? NOperationResult::kHeadersError : res;
            break;
        }
        {
            CUtf8LocaleScope scope;
            if (!IsMember(entry)) continue;
        }
        if (index >= _items.size()) {
            sessionDead = true;
            deadResult = NOperationResult::kUnexpectedEnd;
            break;
        }
        if (index == wanted[w]) {
            RINOK_PLUGIN(ExtractEntry(reader, index, testMode, extractCallback, completed, sessionDead, deadResult));
            w++;
        }
        index++;
    }
    // What could not be reached is reported, never created.
    if (w < wanted.size())
        return ReportItemsNotExtracted(extractCallback, wanted.data() + w, wanted.size() - w, deadResult);
    return S_OK;
    COM_TRY_END
}

} // namespace NPlugin
