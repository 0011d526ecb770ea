#include "streams/StreamHandler.h"

#include "streams/DecodedInStream.h"
#include "libarchive/ArchiveReader.h"
#include "NameDecoder.h"
#include "PropVariantUtils.h"
#include "StreamUtils.h"

#include <vector>

namespace NPlugin {

namespace {
using namespace NArchive::NExtract;

// Open progress is reported at least this often, in input or in decoded bytes.
const UInt64 kProgressStep = 1 << 22;
// What the decoded data of all stream levels of one open keep in memory; the rest of the data goes
// to a temporary file.
const UInt64 kKeepBudget = 64 << 20;

UInt32 ErrorFlagOfResult(Int32 result) {
    switch (result) {
    case NOperationResult::kOK:
        return 0;
    case NOperationResult::kCRCError:
        return kpv_ErrorFlags_CrcError;
    case NOperationResult::kUnexpectedEnd:
        return kpv_ErrorFlags_UnexpectedEnd;
    default:
        return kpv_ErrorFlags_DataError;
    }
}

const PROPID kItemProps[] = {kpidSize, kpidPackSize, kpidMTime};
const VARTYPE kItemTypes[] = {VT_UI8, VT_UI8, VT_FILETIME};
const PROPID kArcProps[] = {kpidPhySize, kpidErrorFlags, kpidError};
const VARTYPE kArcTypes[] = {VT_UI8, VT_UI4, VT_BSTR};
} // namespace

CStreamHandler::CStreamHandler(const CFormatInfo &format)
    : CWritableHandlerBase(format, MakePropList(kItemProps, kItemTypes), MakePropList(kArcProps, kArcTypes)),
      _format(format) {}

HRESULT CStreamHandler::Open(IInStream *stream, const UInt64 *, IArchiveOpenCallback *openCallback) {
    COM_TRY_BEGIN
    Close();
    if (!stream) return E_INVALIDARG;
    RINOK_PLUGIN(GetStreamSize(stream, _streamSize));
    _phySize = _streamSize;
    std::vector<Byte> head(_format.SignatureSpan());
    size_t got = 0;
    RINOK_PLUGIN(ReadStreamMax(stream, head.data(), head.size(), got));
    RINOK_PLUGIN(stream->Seek(0, STREAM_SEEK_SET, nullptr));
    if (!_format.SignatureMatches(head.data(), got)) {
        _errorFlags = kpv_ErrorFlags_IsNotArc;
        return S_FALSE;
    }
    if (_format.isArc) {
        // A magic that text can hold by chance is no archive unless the header goes on right.
        Byte probe[16];
        RINOK_PLUGIN(ReadStreamMax(stream, probe, sizeof(probe), got));
        RINOK_PLUGIN(stream->Seek(0, STREAM_SEEK_SET, nullptr));
        if (_format.isArc(probe, got) == k_IsArc_Res_NO) {
            _errorFlags = kpv_ErrorFlags_IsNotArc;
            return S_FALSE;
        }
    }
    if (openCallback) RINOK_PLUGIN(openCallback->SetTotal(nullptr, &_streamSize));
    if (_format.filterCode == ARCHIVE_FILTER_GZIP) {
        // The time of the compressed file, which the item takes rather than the archive file's.
        Byte header[8];
        size_t n = 0;
        RINOK_PLUGIN(ReadStreamMax(stream, header, sizeof(header), n));
        RINOK_PLUGIN(stream->Seek(0, STREAM_SEEK_SET, nullptr));
        if (n == sizeof(header))
            _mtime = header[4] | (header[5] << 8) | (header[6] << 16) | (static_cast<UInt32>(header[7]) << 24);
    }

    CArchiveReader reader(stream, _streamSize);
    struct archive_entry *entry = nullptr;
    int r = reader.Open(_format.setup);
    if (r == ARCHIVE_OK || r == ARCHIVE_WARN) r = reader.NextHeader(&entry);
    if (reader.StreamResult() != S_OK) return reader.StreamResult();
    const bool headerDecoded = (r == ARCHIVE_OK || r == ARCHIVE_WARN) && reader.FilterCode(0) == _format.filterCode;

    // A stream inside another one shares the memory budget of the outer levels.
    CMyComPtr<IDecodedStreamBudget> outer;
    stream->QueryInterface(IID_IDecodedStreamBudget, reinterpret_cast<void **>(&outer));
    _budget = outer ? outer->KeepBudget() : std::make_shared<CKeepBudget>(kKeepBudget);

    RINOK_PLUGIN(DecodeAtOpen(stream, openCallback));
    // libarchive may give up on a cut stream that still decodes some way.
    if (!headerDecoded && _decodedSize == 0 && _dataResult != NOperationResult::kUnexpectedEnd) {
        _kept.reset();
        _errorFlags = ErrorFlagFromMessage(reader.ErrorString());
        _errorText = Utf8ToWide(reader.ErrorString());
        return S_FALSE;
    }
    _stream = stream;
    _isOpen = true;
    return S_OK;
    COM_TRY_END
}

// The one decoding pass of these streams: it checks the data (gzip CRCs and lengths included),
// gives the size, finds data after the end, and keeps the decoded bytes so that they are read
// from there later rather than decoded again.
HRESULT CStreamHandler::DecodeAtOpen(IInStream *stream, IArchiveOpenCallback *openCallback) {
    CStreamDecoder decoder(stream, _streamSize, _format.filterCode);
    std::shared_ptr<CDecodedChunks> kept = std::make_shared<CDecodedChunks>(_budget);
    std::vector<Byte> scratch;
    UInt64 size = 0;
    UInt64 reportedIn = 0, reportedOut = 0;
    while (!decoder.Ended()) {
        Byte *out = nullptr;
        size_t room = 0;
        if (kept) out = kept->Tail(room);
        if (kept && !out) kept.reset(); // neither memory nor disk to keep it: decoded again when read
        if (!kept) {
            scratch.resize(CDecodedChunks::kChunkSize);
            out = scratch.data();
            room = scratch.size();
        }
        size_t got = 0;
        RINOK_PLUGIN(decoder.Read(out, room, got));
        size += got;
        if (kept && !kept->Grow(got)) kept.reset();
        // Highly packed data moves the input slowly: the decoded bytes drive the reports too.
        const UInt64 in = decoder.InProcessed();
        if (openCallback && (in - reportedIn >= kProgressStep || size - reportedOut >= kProgressStep)) {
            reportedIn = in;
            reportedOut = size;
            RINOK_PLUGIN(openCallback->SetCompleted(nullptr, &in));
        }
    }
    if (kept && !kept->Finish()) kept.reset();
    _dataResult = decoder.Result();
    _errorFlags |= ErrorFlagOfResult(_dataResult);
    _decodedSize = size;
    _decodedSizeDefined = true;
    _kept = kept;
    if (_dataResult == NOperationResult::kOK) {
        _unpackSize = size;
        _unpackSizeDefined = true;
        _phySize = decoder.DataEnd();
    }
    return S_OK;
}

HRESULT CStreamHandler::Close() {
    _stream.Release();
    _kept.reset();
    _budget.reset();
    _phySize = 0;
    _unpackSize = 0;
    _unpackSizeDefined = false;
    _decodedSize = 0;
    _decodedSizeDefined = false;
    _mtime = 0;
    _dataResult = NOperationResult::kOK;
    _errorFlags = 0;
    _errorText.clear();
    _isOpen = false;
    return S_OK;
}

HRESULT CStreamHandler::GetNumberOfItems(UInt32 *numItems) {
    *numItems = _isOpen ? 1 : 0;
    return S_OK;
}

HRESULT CStreamHandler::GetProperty(UInt32 index, PROPID propID, PROPVARIANT *value) {
    if (index != 0 || !_isOpen) return E_INVALIDARG;
    switch (propID) {
    case kpidSize:
        if (_unpackSizeDefined) PropSetUInt64(value, _unpackSize);
        break;
    case kpidPackSize:
        PropSetUInt64(value, _streamSize);
        break;
    case kpidIsDir:
        PropSetBool(value, false);
        break;
    case kpidMTime:
        if (_mtime != 0) PropSetFileTime(value, UnixTimeToFileTime(_mtime, 0));
        break;
    default:
        break;
    }
    return S_OK;
}

HRESULT CStreamHandler::GetArchiveProperty(PROPID propID, PROPVARIANT *value) {
    COM_TRY_BEGIN
    switch (propID) {
    case kpidMainSubfile:
        if (_isOpen) PropSetUInt32(value, 0);
        break;
    case kpidPhySize:
        // Short of the whole file when data follows the stream: reported as data after the end.
        if (_isOpen) PropSetUInt64(value, _phySize);
        break;
    case kpidErrorFlags:
        if (_errorFlags != 0 || _isOpen) PropSetUInt32(value, _errorFlags);
        break;
    case kpidError:
        if (!_errorText.empty()) return PropSetString(value, _errorText);
        break;
    default:
        break;
    }
    return S_OK;
    COM_TRY_END
}

HRESULT CStreamHandler::Extract(const UInt32 *indices, UInt32 numItems, Int32 testMode,
                                IArchiveExtractCallback *extractCallback) {
    COM_TRY_BEGIN
    CMyComPtr<ISequentialOutStream> out;
    bool go = false;
    RINOK_PLUGIN(BeginOneItemExtract(indices, numItems, testMode, _unpackSizeDefined ? _unpackSize : _streamSize,
                                     extractCallback, out, go));
    if (!go) return S_OK;

    UInt64 completed = 0;
    Int32 opRes = _dataResult;
    if (_kept && !out) {
        // A test: the open pass checked these very bytes.
        completed = _kept->Size();
        RINOK_PLUGIN(extractCallback->SetCompleted(&completed));
    } else if (_kept) {
        RINOK_PLUGIN(_kept->ForEach([&](const Byte *data, size_t n) -> HRESULT {
            RINOK_PLUGIN(WriteStreamAll(out, data, n));
            completed += n;
            return extractCallback->SetCompleted(&completed);
        }));
    } else {
        // Every byte the decoder gave is written before its verdict on the data.
        CStreamDecoder decoder(_stream, _streamSize, _format.filterCode);
        std::vector<Byte> buf(1 << 18);
        while (!decoder.Ended()) {
            size_t got = 0;
            RINOK_PLUGIN(decoder.Read(buf.data(), buf.size(), got));
            if (out && got != 0) RINOK_PLUGIN(WriteStreamAll(out, buf.data(), got));
            completed += got;
            RINOK_PLUGIN(extractCallback->SetCompleted(&completed));
        }
        opRes = decoder.Result();
    }
    out.Release();
    return extractCallback->SetOperationResult(opRes);
    COM_TRY_END
}

HRESULT CStreamHandler::GetStream(UInt32 index, ISequentialInStream **stream) {
    COM_TRY_BEGIN
    *stream = nullptr;
    if (index != 0 || !_isOpen) return E_INVALIDARG;
    const UInt64 *size = _decodedSizeDefined ? &_decodedSize : _unpackSizeDefined ? &_unpackSize : nullptr;
    CMyComPtr<IInStream> decoded = new CDecodedInStream(_stream, _streamSize, _format.filterCode, size, _kept, _budget);
    *stream = decoded.Detach();
    return S_OK;
    COM_TRY_END
}

} // namespace NPlugin
