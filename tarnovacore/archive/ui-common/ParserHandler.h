#pragma once

#include "archive/IArchive.h"
#include "common/MyCom.h"
#include "common/MyString.h"

namespace NArchive {
namespace NParser {

// One byte range of a scanned file: an archive found inside it, or a gap between archives.
struct CParseItem {
    UInt64 offset;
    UInt64 size;
    UString name;
    UString extension;
    FILETIME time;
    UString comment;
    UString formatName;
    bool timeDefined;
    bool unpackSizeDefined;
    bool folderCountDefined;
    bool fileCountDefined;
    bool isStub;
    bool notArchiveType;
    UInt64 unpackSize;
    UInt64 folderCount;
    UInt64 fileCount;
    Int32 formatIndex;
    bool lengthUnknown;

    CParseItem()
        : offset(0), size(0), timeDefined(false), unpackSizeDefined(false), folderCountDefined(false),
          fileCountDefined(false), isStub(false), notArchiveType(false), unpackSize(0), folderCount(0), fileCount(0),
          formatIndex(0), lengthUnknown(false) {
        time.dwLowDateTime = 0;
        time.dwHighDateTime = 0;
    }
};

// A pseudo-archive whose items are the archives found inside one file and the gaps between them;
// each item's data is the exact byte range of the file. The signature scan fills it.
class CHandler : public IInArchive, public IInArchiveGetStream, public CMyUnknownImp {
    CObjectVector<CParseItem> _items;
    UInt64 _maxEndOffset;
    CMyComPtr<IInStream> _stream;

public:
    CHandler() : _maxEndOffset(0) {}

    COM_UNKNOWN_IMP(IInArchive, IInArchiveGetStream)

    HRESULT Open(IInStream *stream, const UInt64 *startLimit, IArchiveOpenCallback *callback) override;
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

    void SetStream(IInStream *stream) { _stream = stream; }
    void AddUnknownItem(UInt64 end);
    void AddItem(const CParseItem &item);
    unsigned NumItems() const { return _items.Size(); }
    const CParseItem &Item(unsigned index) const { return _items[index]; }
    // Drops the last record (the scan removes records that a later, larger one covers).
    void DeleteLastItem() { _items.DeleteBack(); }
};

} // namespace NParser
} // namespace NArchive
