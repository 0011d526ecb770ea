#include "ParserHandler.h"

#include "ExtractingFilePath.h"
#include "archive/IFolder.h"
#include "archive/common/CopyCoder.h"
#include "archive/common/LimitedStreams.h"
#include "archive/common/ProgressUtils.h"
#include "archive/common/StreamUtils.h"
#include "common/IntToString.h"
#include "windows/PropVariant.h"

namespace NArchive {
namespace NParser {

static const PROPID kProps[] = {kpidPath, kpidSize, kpidMTime, kpidType, kpidComment, kpidOffset, kpidUnpackSize};

HRESULT CHandler::Open(IInStream *stream, const UInt64 *, IArchiveOpenCallback *) {
    COM_TRY_BEGIN
    Close();
    _stream = stream;
    return S_OK;
    COM_TRY_END
}

HRESULT CHandler::Close() {
    COM_TRY_BEGIN
    _items.Clear();
    _stream.Release();
    return S_OK;
    COM_TRY_END
}

HRESULT CHandler::GetNumberOfItems(UInt32 *numItems) {
    *numItems = _items.Size();
    return S_OK;
}

void CHandler::AddUnknownItem(UInt64 end) {
    if (_maxEndOffset < end) {
        CParseItem &item = _items.AddNew();
        item.offset = _maxEndOffset;
        item.size = end - _maxEndOffset;
        _maxEndOffset = end;
    } else if (_maxEndOffset > end && !_items.IsEmpty()) {
        CParseItem &back = _items.Back();
        // An end at or before the record's start would wrap its size round to a huge value.
        if (back.lengthUnknown && end > back.offset) {
            back.size = end - back.offset;
            _maxEndOffset = end;
        }
    }
}

void CHandler::AddItem(const CParseItem &item) {
    AddUnknownItem(item.offset);
    unsigned left = 0, right = _items.Size();
    while (left != right) {
        const unsigned mid = (left + right) / 2;
        const CParseItem &m = _items[mid];
        if (item.offset < m.offset || (item.offset == m.offset && item.size < m.size))
            right = mid;
        else
            left = mid + 1;
    }
    _items.Insert(left, item);
    const UInt64 end = item.offset + item.size;
    if (_maxEndOffset < end) _maxEndOffset = end;
}

HRESULT CHandler::GetProperty(UInt32 index, PROPID propID, PROPVARIANT *value) {
    COM_TRY_BEGIN
    if (index >= _items.Size()) return E_INVALIDARG;
    NWindows::NCOM::CPropVariant prop;
    const CParseItem &item = _items[index];
    switch (propID) {
    case kpidPath: {
        char sz[32];
        ConvertUInt32ToString(index + 1, sz);
        UString s;
        s.SetFromAscii(sz);
        if (!item.name.IsEmpty()) {
            s += L'.';
            s += item.name;
        }
        if (!item.extension.IsEmpty()) {
            s += L'.';
            s += item.extension;
        }
        // The name and extension come from the archive: keep them to one harmless name.
        prop = Get_Correct_FsFile_Name(s);
        break;
    }
    case kpidSize:
    case kpidPackSize:
        prop = item.size;
        break;
    case kpidMTime:
        if (item.timeDefined) prop = item.time;
        break;
    case kpidType:
        if (!item.formatName.IsEmpty()) prop = item.formatName;
        break;
    case kpidComment:
        if (!item.comment.IsEmpty()) prop = item.comment;
        break;
    case kpidNumSubDirs:
        if (item.folderCountDefined) prop = item.folderCount;
        break;
    case kpidNumSubFiles:
        if (item.fileCountDefined) prop = item.fileCount;
        break;
    case kpidOffset:
        prop = item.offset;
        break;
    case kpidUnpackSize:
        if (item.unpackSizeDefined) prop = item.unpackSize;
        break;
    default:
        break;
    }
    prop.Detach(value);
    return S_OK;
    COM_TRY_END
}

HRESULT CHandler::Extract(const UInt32 *indices, UInt32 numItems, Int32 testMode,
                          IArchiveExtractCallback *extractCallback) {
    COM_TRY_BEGIN
    const bool allFilesMode = (numItems == (UInt32)(Int32)-1);
    if (allFilesMode) numItems = _items.Size();
    if (_stream && numItems == 0) return S_OK;
    UInt64 totalSize = 0;
    for (UInt32 i = 0; i < numItems; i++)
        totalSize += _items[allFilesMode ? i : indices[i]].size;
    extractCallback->SetTotal(totalSize);

    CLocalProgress *lps = new CLocalProgress;
    CMyComPtr<ICompressProgressInfo> progress = lps;
    lps->Init(extractCallback, false);

    CLimitedSequentialInStream *inStreamSpec = new CLimitedSequentialInStream;
    CMyComPtr<ISequentialInStream> inStream(inStreamSpec);
    inStreamSpec->SetStream(_stream);

    CLimitedSequentialOutStream *outStreamSpec = new CLimitedSequentialOutStream;
    CMyComPtr<ISequentialOutStream> outStream(outStreamSpec);

    NCompress::CCopyCoder *copyCoderSpec = new NCompress::CCopyCoder;
    CMyComPtr<ICompressCoder> copyCoder = copyCoderSpec;

    UInt64 totalDone = 0;
    for (UInt32 i = 0; i < numItems; i++) {
        lps->InSize = totalDone;
        lps->OutSize = totalDone;
        RINOK(lps->SetCur());
        CMyComPtr<ISequentialOutStream> realOutStream;
        const Int32 askMode = testMode ? NArchive::NExtract::NAskMode::kTest : NArchive::NExtract::NAskMode::kExtract;
        const UInt32 index = allFilesMode ? i : indices[i];
        const CParseItem &item = _items[index];
        RINOK(extractCallback->GetStream(index, &realOutStream, askMode));
        totalDone += item.size;
        if (!testMode && !realOutStream) continue;
        RINOK(extractCallback->PrepareOperation(askMode));

        outStreamSpec->SetStream(realOutStream);
        realOutStream.Release();
        outStreamSpec->Init(item.size, true);

        RINOK(_stream->Seek((Int64)item.offset, STREAM_SEEK_SET, nullptr));
        inStreamSpec->Init(item.size);
        RINOK(copyCoder->Code(inStream, outStream, nullptr, nullptr, progress));

        const Int32 opRes = outStreamSpec->GetRem() == 0 ? NArchive::NExtract::NOperationResult::kOK
                                                         : NArchive::NExtract::NOperationResult::kDataError;
        outStreamSpec->ReleaseStream();
        RINOK(extractCallback->SetOperationResult(opRes));
    }
    return S_OK;
    COM_TRY_END
}

HRESULT CHandler::GetArchiveProperty(PROPID, PROPVARIANT *value) {
    NWindows::NCOM::CPropVariant prop;
    prop.Detach(value);
    return S_OK;
}

HRESULT CHandler::GetNumberOfProperties(UInt32 *numProps) {
    *numProps = ARRAY_SIZE(kProps);
    return S_OK;
}

HRESULT CHandler::GetPropertyInfo(UInt32 index, BSTR *name, PROPID *propID, VARTYPE *varType) {
    if (index >= ARRAY_SIZE(kProps)) return E_INVALIDARG;
    *propID = kProps[index];
    *varType = k7z_PROPID_To_VARTYPE[(unsigned)kProps[index]];
    *name = nullptr;
    return S_OK;
}

HRESULT CHandler::GetNumberOfArchiveProperties(UInt32 *numProps) {
    *numProps = 0;
    return S_OK;
}

HRESULT CHandler::GetArchivePropertyInfo(UInt32, BSTR *, PROPID *, VARTYPE *) {
    return E_NOTIMPL;
}

HRESULT CHandler::GetStream(UInt32 index, ISequentialInStream **stream) {
    COM_TRY_BEGIN
    *stream = nullptr;
    if (index >= _items.Size()) return E_INVALIDARG;
    const CParseItem &item = _items[index];
    return CreateLimitedInStream(_stream, item.offset, item.size, stream);
    COM_TRY_END
}

} // namespace NParser
} // namespace NArchive
