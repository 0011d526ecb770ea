#pragma once

// A single compressed stream (gzip, bzip2, xz, zstd) as an archive of one item without a name of its
// own: the program names it after the archive. The item is also offered as a stream, so the
// archive inside (a.tar.gz) opens as a second level.
#include "FormatTable.h"
#include "streams/StreamDecoder.h"
#include "WritableHandlerBase.h"
#include "archive/IArchive.h"
#include "common/MyCom.h"

#include <memory>
#include <string>

namespace NPlugin {

class CStreamHandler : public CWritableHandlerBase, public IInArchiveGetStream, public CMyUnknownImp {
    const CFormatInfo &_format;
    CMyComPtr<IInStream> _stream;
    UInt64 _streamSize = 0;
    UInt64 _unpackSize = 0;
    bool _unpackSizeDefined = false;
    UInt64 _decodedSize = 0; // what the decoder gave, also when the data is damaged
    bool _decodedSizeDefined = false;
    UInt64 _phySize = 0;                         // where the stream ends, short of _streamSize when other data follows
    std::shared_ptr<const CDecodedChunks> _kept; // the decoded data, unless it could not be kept
    std::shared_ptr<CKeepBudget> _budget;
    UInt32 _mtime = 0;     // from a gzip header; 0 when it stores none
    Int32 _dataResult = 0; // what the check at open found wrong with the data, as an operation result
    UInt32 _errorFlags = 0;
    std::wstring _errorText;

    HRESULT DecodeAtOpen(IInStream *stream, IArchiveOpenCallback *openCallback);

public:
    explicit CStreamHandler(const CFormatInfo &format);
    virtual ~CStreamHandler() {}

    COM_QI_BEGIN
    COM_QI_ENTRY_UNKNOWN(IInArchive)
    COM_QI_ENTRY(IInArchive)
    COM_QI_ENTRY(IInArchiveGetStream)
    COM_QI_ENTRY_IF(IOutArchive, _out.CanWrite())
    COM_QI_ENTRY_IF(ISetProperties, _out.CanWrite())
    COM_QI_END
    COM_ADDREF_RELEASE

    HRESULT Open(IInStream *stream, const UInt64 *startLimit, IArchiveOpenCallback *openCallback) override;
    HRESULT Close() override;
    HRESULT GetNumberOfItems(UInt32 *numItems) override;
    HRESULT GetProperty(UInt32 index, PROPID propID, PROPVARIANT *value) override;
    HRESULT Extract(const UInt32 *indices, UInt32 numItems, Int32 testMode,
                    IArchiveExtractCallback *extractCallback) override;
    HRESULT GetArchiveProperty(PROPID propID, PROPVARIANT *value) override;

    HRESULT GetStream(UInt32 index, ISequentialInStream **stream) override;
};

} // namespace NPlugin
