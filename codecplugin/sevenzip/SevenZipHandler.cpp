#include "sevenzip/SevenZipHandler.h"

#include "libarchive/LibarchiveHandler.h"
#include "PropVariantUtils.h"
#include "sevenzip/SevenZipWriter.h"
#include "StreamUtils.h"
#include "archive/IPassword.h"

#include <string.h>
#include <sys/stat.h>

namespace NPlugin {

using namespace NSevenZip;

namespace {

using namespace NArchive::NExtract;

const UInt32 kAttribDirectory = 0x10;
const UInt32 kAttribUnixExtension = 0x8000;
const UInt64 kMaxHeaderSize = static_cast<UInt64>(1) << 30;
// Data of an item held back before anything is written: a wrong password shows in it, so that no
// garbage reaches the caller.
const size_t kHoldBack = 1 << 20;
const size_t kBlock = 1 << 18;

const PROPID kItemProps[] = {kpidPath,   kpidIsDir,     kpidSize, kpidPackSize, kpidMTime, kpidCTime, kpidATime,
                             kpidAttrib, kpidEncrypted, kpidCRC,  kpidMethod,   kpidBlock, kpidIsAnti};
const VARTYPE kItemTypes[] = {VT_BSTR, VT_BOOL, VT_UI8, VT_UI8,  VT_FILETIME, VT_FILETIME, VT_FILETIME,
                              VT_UI4,  VT_BOOL, VT_UI4, VT_BSTR, VT_UI4,      VT_BOOL};
const PROPID kArcProps[] = {kpidPhySize, kpidHeadersSize, kpidSolid, kpidNumBlocks, kpidMethod, kpidErrorFlags};
const VARTYPE kArcTypes[] = {VT_UI8, VT_UI8, VT_BOOL, VT_UI4, VT_BSTR, VT_UI4};

UInt32 ReadLe32(const Byte *p) {
    return static_cast<UInt32>(p[0]) | (static_cast<UInt32>(p[1]) << 8) | (static_cast<UInt32>(p[2]) << 16) |
           (static_cast<UInt32>(p[3]) << 24);
}

UInt64 ReadLe64(const Byte *p) {
    return ReadLe32(p) | (static_cast<UInt64>(ReadLe32(p + 4)) << 32);
}

std::wstring MethodName(const CCoder &c) {
    std::wstring name;
    switch (c.methodId) {
    case kMethodCopy:
        return L"Copy";
    case kMethodLzma:
    case kMethodLzma2: {
        name = c.methodId == kMethodLzma ? L"LZMA" : L"LZMA2";
        UInt32 dict = 0;
        if (c.methodId == kMethodLzma && c.props.size() >= 5) dict = ReadLe32(c.props.data() + 1);
        if (c.methodId == kMethodLzma2 && c.props.size() == 1 && c.props[0] <= 40)
            dict = c.props[0] == 40 ? 0xFFFFFFFF : ((2u | (c.props[0] & 1)) << (c.props[0] / 2 + 11));
        int log = 0;
        while (log < 32 && (static_cast<UInt64>(1) << log) < dict)
            log++;
        if (dict != 0 && (static_cast<UInt64>(1) << log) == dict) return name + L":" + std::to_wstring(log);
        if (dict != 0) return name + L":" + std::to_wstring(dict >> 20) + L"m";
        return name;
    }
    case kMethodPpmd:
        return L"PPMD";
    case kMethodX86:
        return L"BCJ";
    case kMethodBcj2:
        return L"BCJ2";
    case kMethodPpc:
        return L"PPC";
    case kMethodIa64:
        return L"IA64";
    case kMethodArm:
        return L"ARM";
    case kMethodArmt:
        return L"ARMT";
    case kMethodSparc:
        return L"SPARC";
    case kMethodArm64:
        return L"ARM64";
    case kMethodDelta:
        return L"Delta";
    case kMethodDeflate:
        return L"Deflate";
    case kMethodDeflate64:
        return L"Deflate64";
    case kMethodBzip2:
        return L"BZip2";
    case kMethodAes:
        return L"7zAES";
    default:
        return L"?";
    }
}

std::wstring FolderMethod(const CFolder &f) {
    std::wstring s;
    for (const CCoder &c : f.coders) {
        if (!s.empty()) s += L' ';
        s += MethodName(c);
    }
    return s;
}

Int32 ResultOf(EDecodeError e, bool encrypted) {
    switch (e) {
    case EDecodeError::kUnsupported:
        return NOperationResult::kUnsupportedMethod;
    case EDecodeError::kNoPassword:
        return NOperationResult::kWrongPassword;
    case EDecodeError::kUnexpectedEnd:
        // Garbage out of a wrong key may also run the decoder past its packed data.
        return encrypted ? NOperationResult::kWrongPassword : NOperationResult::kUnexpectedEnd;
    default:
        // Garbage out of a cipher is what a wrong password gives.
        return encrypted ? NOperationResult::kWrongPassword : NOperationResult::kDataError;
    }
}

} // namespace

CSevenZipHandler::CSevenZipHandler(const CFormatInfo &format)
    : CHandlerBase(MakePropList(kItemProps, kItemTypes), MakePropList(kArcProps, kArcTypes)), _format(format),
      _out(format), _writeProps(EWriteFormat::k7z) {}

CSevenZipHandler::~CSevenZipHandler() {
    EndPasswordSession();
}

void CSevenZipHandler::BeginPasswordSession(IUnknown *callback) {
    CMyComPtr<ICryptoGetTextPassword> getter;
    if (callback) callback->QueryInterface(IID_ICryptoGetTextPassword, reinterpret_cast<void **>(&getter));
    _password.BeginSession(getter);
    EndPasswordSession();
}

void CSevenZipHandler::EndPasswordSession() {
    if (!_sessionPassword.empty()) memset(&_sessionPassword[0], 0, _sessionPassword.size());
    _sessionPassword.clear();
    _sessionHasPassword = false;
}

HRESULT CSevenZipHandler::KeyFor(const CCoder &coder, Byte key[32]) {
    if (!_sessionHasPassword) {
        const char *p = _password.NextPassphrase();
        if (!p) return _password.AskResult() != S_OK ? _password.AskResult() : S_FALSE;
        _sessionPassword = p;
        _sessionHasPassword = true;
    }
    CSevenZipAesProps props;
    if (!props.Parse(coder.props)) return E_INVALIDARG;
    _key.Derive(_sessionPassword, props, key);
    return S_OK;
}

HRESULT CSevenZipHandler::OpenArchive(IArchiveOpenCallback *callback) {
    Byte sig[kSignatureHeaderSize];
    size_t got = 0;
    RINOK_PLUGIN(_stream->Seek(0, STREAM_SEEK_SET, nullptr));
    RINOK_PLUGIN(ReadStreamMax(_stream, sig, sizeof(sig), got));
    if (got < 6 || memcmp(sig, kSignature, 6) != 0) {
        _errorFlags = kpv_ErrorFlags_IsNotArc;
        return S_FALSE;
    }
    if (got < sizeof(sig)) {
        _errorFlags = kpv_ErrorFlags_HeadersError | kpv_ErrorFlags_UnexpectedEnd;
        return S_FALSE;
    }
    if (sig[6] != 0 || Crc32(sig + 12, 20) != ReadLe32(sig + 8)) {
        _errorFlags = kpv_ErrorFlags_HeadersError;
        return S_FALSE;
    }
    const UInt64 nextOffset = ReadLe64(sig + 12);
    const UInt64 nextSize = ReadLe64(sig + 20);
    const UInt32 nextCrc = ReadLe32(sig + 28);
    if (nextSize == 0) {
        // An archive without items.
        _phySize = kSignatureHeaderSize;
        return S_OK;
    }
    if (nextOffset > _streamSize || nextSize > kMaxHeaderSize ||
        kSignatureHeaderSize + nextOffset + nextSize > _streamSize) {
        _errorFlags = kpv_ErrorFlags_HeadersError | kpv_ErrorFlags_UnexpectedEnd;
        return S_FALSE;
    }
    std::vector<Byte> header(static_cast<size_t>(nextSize));
    RINOK_PLUGIN(_stream->Seek(static_cast<Int64>(kSignatureHeaderSize + nextOffset), STREAM_SEEK_SET, nullptr));
    RINOK_PLUGIN(ReadStreamMax(_stream, header.data(), header.size(), got));
    if (got != header.size() || Crc32(header.data(), header.size()) != nextCrc) {
        _errorFlags = kpv_ErrorFlags_HeadersError;
        return S_FALSE;
    }
    _phySize = kSignatureHeaderSize + nextOffset + nextSize;

    BeginPasswordSession(callback);
    const AesKeyFunc key = [this](const CCoder &c, Byte k[32]) { return KeyFor(c, k); };
    try {
        for (int depth = 0;; depth++) {
            CByteReader r(header.data(), header.size());
            const UInt64 type = r.ReadNumber();
            if (type == kHeader) {
                ParseHeader(r, _db);
                break;
            }
            if (type != kEncodedHeader || depth > 4) throw CHeaderError();
            CDatabase packed;
            ParseStreamsInfo(r, packed);
            packed.Link();
            if (packed.folders.empty()) throw CHeaderError();
            for (const CFolder &f : packed.folders)
                if (CSevenZipDecoder::IsEncrypted(f)) _headersEncrypted = true;
            std::vector<Byte> unpacked;
            EDecodeError error;
            const HRESULT res = DecodeFolderToMemory(_stream, packed, 0, key, unpacked, error);
            if (res != S_OK && res != S_FALSE) {
                EndPasswordSession();
                return res;
            }
            if (res == S_FALSE) {
                EndPasswordSession();
                _errorFlags = kpv_ErrorFlags_HeadersError;
                if (_headersEncrypted) _errorFlags |= kpv_ErrorFlags_EncryptedHeadersError;
                if (error == EDecodeError::kUnsupported) _errorFlags |= kpv_ErrorFlags_UnsupportedMethod;
                return S_FALSE;
            }
            for (size_t i = 0; i < packed.packSizes.size(); i++)
                _phySize = std::max(_phySize, packed.packStreamOffsets[i] + packed.packSizes[i]);
            header.swap(unpacked);
        }
    } catch (const CHeaderError &) {
        EndPasswordSession();
        _db.Clear();
        _errorFlags = kpv_ErrorFlags_HeadersError;
        // Garbage out of a wrong key may still pass a missing CRC: the headers then make no sense.
        if (_headersEncrypted) _errorFlags |= kpv_ErrorFlags_EncryptedHeadersError;
        return S_FALSE;
    }
    EndPasswordSession();
    for (size_t i = 0; i < _db.packSizes.size(); i++) {
        const UInt64 end = _db.packStreamOffsets[i] + _db.packSizes[i];
        if (end > _streamSize) _errorFlags |= kpv_ErrorFlags_UnexpectedEnd;
        if (end > _phySize) _phySize = end;
    }
    if (callback) {
        const UInt64 files = _db.items.size();
        RINOK_PLUGIN(callback->SetCompleted(&files, &_phySize));
    }
    return S_OK;
}

HRESULT CSevenZipHandler::Open(IInStream *stream, const UInt64 *, IArchiveOpenCallback *openCallback) {
    COM_TRY_BEGIN
    Close();
    if (!stream) return E_INVALIDARG;
    RINOK_PLUGIN(GetStreamSize(stream, _streamSize));
    _stream = stream;
    if (openCallback) RINOK_PLUGIN(openCallback->SetTotal(nullptr, &_streamSize));
    const HRESULT res = OpenArchive(openCallback);
    if (res != S_OK) {
        const UInt32 flags = _errorFlags;
        Close();
        _errorFlags = flags;
        return res;
    }
    // Coders we lack are left to libarchive, which can read them when nothing is encrypted.
    bool unsupported = false, encrypted = _headersEncrypted;
    for (const CFolder &f : _db.folders) {
        unsupported = unsupported || !CSevenZipDecoder::Supports(f);
        encrypted = encrypted || CSevenZipDecoder::IsEncrypted(f);
    }
    if (unsupported && !encrypted) {
        CMyComPtr<IInArchive> fallback = new CLibarchiveHandler(_format);
        RINOK_PLUGIN(stream->Seek(0, STREAM_SEEK_SET, nullptr));
        const HRESULT r = fallback->Open(stream, nullptr, openCallback);
        if (r == S_OK) {
            _fallback = fallback;
            _db.Clear();
        } else if (r != S_FALSE) {
            Close();
            return r;
        }
    }
    _isOpen = true;
    return S_OK;
    COM_TRY_END
}

HRESULT CSevenZipHandler::Close() {
    if (_fallback) _fallback->Close();
    _fallback.Release();
    _stream.Release();
    _db.Clear();
    _errorFlags = 0;
    _phySize = 0;
    _headersEncrypted = false;
    _isOpen = false;
    _password.Reset();
    _key.Clear();
    EndPasswordSession();
    return S_OK;
}

HRESULT CSevenZipHandler::GetNumberOfItems(UInt32 *numItems) {
    if (_fallback) return _fallback->GetNumberOfItems(numItems);
    *numItems = static_cast<UInt32>(_db.items.size());
    return S_OK;
}

HRESULT CSevenZipHandler::GetProperty(UInt32 index, PROPID propID, PROPVARIANT *value) {
    COM_TRY_BEGIN
    if (_fallback) return _fallback->GetProperty(index, propID, value);
    if (index >= _db.items.size()) return E_INVALIDARG;
    const CItem &item = _db.items[index];
    const CFolder *folder = item.folder >= 0 ? &_db.folders[static_cast<size_t>(item.folder)] : nullptr;
    switch (propID) {
    case kpidPath:
        return PropSetString(value, item.name);
    case kpidIsDir:
        PropSetBool(value, item.isDir);
        break;
    case kpidSize:
        PropSetUInt64(value, item.size);
        break;
    case kpidPackSize:
        // A folder's packed size counts once, at its first item.
        if (folder && folder->firstFile == index) {
            UInt64 s = 0;
            for (size_t i = 0; i < folder->packedStreams.size(); i++)
                s += _db.packSizes[folder->firstPackStream + i];
            PropSetUInt64(value, s);
        } else if (!item.isDir) {
            PropSetUInt64(value, 0);
        }
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
    case kpidAttrib: {
        if (!item.attribDefined) {
            if (item.isDir) PropSetUInt32(value, kAttribDirectory);
            break;
        }
        UInt32 a = item.attrib;
        if (item.isDir) a |= kAttribDirectory;
        // Some writers store a Unix mode without its type bits: on a file those are its permissions.
        if ((a & kAttribUnixExtension) && ((a >> 16) & S_IFMT) == 0)
            a |= static_cast<UInt32>(item.isDir ? S_IFDIR : S_IFREG) << 16;
        PropSetUInt32(value, a);
        break;
    }
    case kpidEncrypted:
        PropSetBool(value, folder && CSevenZipDecoder::IsEncrypted(*folder));
        break;
    case kpidCRC:
        if (item.crcDefined) PropSetUInt32(value, item.crc);
        break;
    case kpidMethod:
        if (folder) return PropSetString(value, FolderMethod(*folder));
        break;
    case kpidBlock:
        if (folder) PropSetUInt32(value, static_cast<UInt32>(item.folder));
        break;
    case kpidIsAnti:
        PropSetBool(value, item.isAnti);
        break;
    default:
        break;
    }
    return S_OK;
    COM_TRY_END
}

HRESULT CSevenZipHandler::GetArchiveProperty(PROPID propID, PROPVARIANT *value) {
    COM_TRY_BEGIN
    if (_fallback && propID != kpidErrorFlags) return _fallback->GetArchiveProperty(propID, value);
    switch (propID) {
    case kpidPhySize:
        if (_isOpen) PropSetUInt64(value, _phySize);
        break;
    case kpidHeadersSize:
        if (_isOpen) {
            UInt64 packed = 0;
            for (UInt64 s : _db.packSizes)
                packed += s;
            PropSetUInt64(value, _phySize - kSignatureHeaderSize - packed);
        }
        break;
    case kpidSolid: {
        bool solid = false;
        for (const CFolder &f : _db.folders)
            solid = solid || f.numSubstreams > 1;
        if (_isOpen) PropSetBool(value, solid);
        break;
    }
    case kpidNumBlocks:
        if (_isOpen) PropSetUInt32(value, static_cast<UInt32>(_db.folders.size()));
        break;
    case kpidMethod: {
        std::wstring all;
        for (const CFolder &f : _db.folders) {
            const std::wstring m = FolderMethod(f);
            if (all.find(m) == std::wstring::npos) all += (all.empty() ? L"" : L" ") + m;
        }
        if (!all.empty()) return PropSetString(value, all);
        break;
    }
    case kpidErrorFlags:
        if (_fallback) return _fallback->GetArchiveProperty(propID, value);
        if (_errorFlags != 0 || _isOpen) PropSetUInt32(value, _errorFlags);
        break;
    default:
        break;
    }
    return S_OK;
    COM_TRY_END
}

HRESULT CSevenZipHandler::Extract(const UInt32 *indices, UInt32 numItems, Int32 testMode,
                                  IArchiveExtractCallback *extractCallback) {
    COM_TRY_BEGIN
    if (_fallback) return _fallback->Extract(indices, numItems, testMode, extractCallback);
    if (!extractCallback) return E_INVALIDARG;
    BeginPasswordSession(extractCallback);
    const HRESULT res = ExtractOwn(indices, numItems, testMode, extractCallback);
    EndPasswordSession();
    _password.EndSession();
    return res;
    COM_TRY_END
}

HRESULT CSevenZipHandler::ExtractOwn(const UInt32 *indices, UInt32 numItems, Int32 testMode,
                                     IArchiveExtractCallback *callback) {
    std::vector<UInt32> wanted;
    RINOK_PLUGIN(WantedIndices(indices, numItems, static_cast<UInt32>(_db.items.size()), wanted));
    if (wanted.empty()) return S_OK;
    if (!_isOpen) return E_FAIL;
    UInt64 total = 0;
    for (UInt32 i : wanted)
        total += _db.items[i].size;
    RINOK_PLUGIN(callback->SetTotal(total));

    const Int32 askMode = testMode ? NAskMode::kTest : NAskMode::kExtract;
    const AesKeyFunc key = [this](const CCoder &c, Byte k[32]) { return KeyFor(c, k); };
    CSevenZipDecoder decoder;
    int current = -1;      // folder the decoder is in
    UInt64 position = 0;   // of the decoder in the folder's data
    Int32 deadResult = -1; // the folder cannot be read any further
    UInt64 completed = 0;
    std::vector<Byte> buf(std::max(kBlock, kHoldBack));

    for (UInt32 index : wanted) {
        const CItem &item = _db.items[index];
        if (item.folder < 0) {
            CMyComPtr<ISequentialOutStream> out;
            RINOK_PLUGIN(callback->GetStream(index, &out, askMode));
            if (!out && !testMode && !item.isDir) continue;
            RINOK_PLUGIN(callback->PrepareOperation(askMode));
            out.Release();
            RINOK_PLUGIN(callback->SetOperationResult(NOperationResult::kOK));
            continue;
        }
        const CFolder &folder = _db.folders[static_cast<size_t>(item.folder)];
        const bool encrypted = CSevenZipDecoder::IsEncrypted(folder);
        if (item.folder == current && deadResult >= 0) {
            RINOK_PLUGIN(ReportItemsNotExtracted(callback, &index, 1, deadResult));
            continue;
        }
        CMyComPtr<ISequentialOutStream> out;
        RINOK_PLUGIN(callback->GetStream(index, &out, askMode));
        if (!out && !testMode) continue;
        RINOK_PLUGIN(callback->PrepareOperation(askMode));

        Int32 opRes = NOperationResult::kOK;
        if (item.folder != current || position > item.offsetInFolder) {
            current = item.folder;
            position = 0;
            deadResult = -1;
            const HRESULT r = decoder.Init(_stream, _db, static_cast<size_t>(item.folder), key);
            if (r != S_OK && r != S_FALSE) return r;
            if (r == S_FALSE) deadResult = ResultOf(decoder.Error(), encrypted);
        }
        // Skip what lies before the item.
        while (deadResult < 0 && position < item.offsetInFolder) {
            const size_t want = static_cast<size_t>(std::min<UInt64>(buf.size(), item.offsetInFolder - position));
            size_t got = 0;
            const HRESULT r = decoder.Read(buf.data(), want, got);
            if (r != S_OK && r != S_FALSE) return r;
            position += got;
            if (r == S_FALSE || got < want) deadResult = ResultOf(decoder.Error(), encrypted);
        }
        if (deadResult >= 0) {
            opRes = deadResult;
        } else {
            UInt64 left = item.size;
            UInt32 crc = 0;
            bool first = true;
            while (left != 0) {
                // The first block is as large as the hold-back; later ones are smaller.
                const size_t block = first ? kHoldBack : kBlock;
                const size_t want = static_cast<size_t>(std::min<UInt64>(block, left));
                size_t got = 0;
                const HRESULT r = decoder.Read(buf.data(), want, got);
                if (r != S_OK && r != S_FALSE) return r;
                position += got;
                if (r == S_FALSE || got < want) {
                    deadResult = ResultOf(decoder.Error(), encrypted);
                    opRes = deadResult;
                    // What was decoded before the damage is kept; a wrong key's garbage is not.
                    if (out && got != 0 && !encrypted) RINOK_PLUGIN(WriteStreamAll(out, buf.data(), got));
                    break;
                }
                crc = Crc32(buf.data(), got, crc);
                left -= got;
                // A whole small item is checked before it is written: out of a wrong key it is garbage.
                // A plain item keeps its decoded data under a CRC error, as a zip item does.
                if (left == 0 && item.crcDefined && crc != item.crc) {
                    opRes = encrypted ? NOperationResult::kWrongPassword : NOperationResult::kCRCError;
                    if (first && encrypted) break;
                }
                if (out) RINOK_PLUGIN(WriteStreamAll(out, buf.data(), got));
                completed += got;
                RINOK_PLUGIN(callback->SetCompleted(&completed));
                first = false;
            }
        }
        out.Release();
        if (opRes == NOperationResult::kWrongPassword) _password.Reject();
        RINOK_PLUGIN(callback->SetOperationResult(opRes));
    }
    return S_OK;
}

HRESULT CSevenZipHandler::WriteArchive(ISequentialOutStream *outStream, UInt32 numItems,
                                       IArchiveUpdateCallback *updateCallback) {
    COM_TRY_BEGIN
    if (!outStream || !updateCallback) return E_INVALIDARG;
    // Names that were encrypted stay encrypted unless the user turns that off ("he" given as off).
    CWriteProps props = _writeProps;
    props.oldHeadersEncrypted = _isOpen && _headersEncrypted;
    if (props.oldHeadersEncrypted && !props.encryptHeadersGiven) props.encryptHeaders = true;
    // PPMd stays with libarchive, which writes it without encryption only.
    if (_writeProps.method == EWriteMethod::kPpmd) {
        if (props.oldHeadersEncrypted && props.encryptHeaders) return E_NOTIMPL;
        return _out.WriteArchive(_isOpen ? this : nullptr, outStream, numItems, updateCallback);
    }
    CSevenZipWriter writer(props, _options, _isOpen ? this : nullptr, Database(), _stream, outStream, updateCallback);
    return writer.Run(numItems);
    COM_TRY_END
}

HRESULT CSevenZipHandler::GetTimeKind(UInt32 *type) {
    return _out.GetTimeKind(type);
}

HRESULT CSevenZipHandler::SetProperties(const wchar_t *const *names, const PROPVARIANT *values, UInt32 numProps) {
    COM_TRY_BEGIN
    RINOK_PLUGIN(_out.SetProperties(names, values, numProps));
    RINOK_PLUGIN(_writeProps.Set(names, values, numProps));
    _options.Set(names, values, numProps);
    return S_OK;
    COM_TRY_END
}

} // namespace NPlugin
