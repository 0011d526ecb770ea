#pragma once

// A single compressed stream (gzip, bzip2, xz, zstd) as an archive of one item without a name of its
// own: the program names it after the archive. The item is also offered as a stream, so the
// archive inside (a.tar.gz) opens as a second level.
#include "FormatTable.h"
#include "OutHandler.h"
#include "archive/IArchive.h"
#include "common/MyCom.h"

#include <string>

namespace NPlugin {

class CStreamHandler : public IInArchive,
                       public IInArchiveGetStream,
                       public IOutArchive,
                       public ISetProperties,
                       public CMyUnknownImp {
    const CFormatInfo &_format;
    CMyComPtr<IInStream> _stream;
    UInt64 _streamSize = 0;
    UInt64 _unpackSize = 0;
    bool _unpackSizeDefined = false;
    Int32 _dataResult = 0; // what the check at open found wrong with the data, as an operation result
    UInt32 _errorFlags = 0;
    std::wstring _errorText;
    bool _isOpen = false;
    COutHandler _out;

public:
    explicit CStreamHandler(const CFormatInfo &format) : _format(format), _out(format) {}
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
    HRESULT GetNumberOfProperties(UInt32 *numProps) override;
    HRESULT GetPropertyInfo(UInt32 index, BSTR *name, PROPID *propID, VARTYPE *varType) override;
    HRESULT GetNumberOfArchiveProperties(UInt32 *numProps) override;
    HRESULT GetArchivePropertyInfo(UInt32 index, BSTR *name, PROPID *propID, VARTYPE *varType) override;

    HRESULT GetStream(UInt32 index, ISequentialInStream **stream) override;

    HRESULT WriteArchive(ISequentialOutStream *outStream, UInt32 numItems,
                         IArchiveUpdateCallback *updateCallback) override {
        return _out.WriteArchive(_isOpen ? this : nullptr, outStream, numItems, updateCallback);
    }
    HRESULT GetTimeKind(UInt32 *type) override { return _out.GetTimeKind(type); }
    HRESULT SetProperties(const wchar_t *const *names, const PROPVARIANT *values, UInt32 numProps) override {
        return _out.SetProperties(names, values, numProps);
    }
};

} // namespace NPlugin
