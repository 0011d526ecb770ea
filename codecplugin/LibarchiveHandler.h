#pragma once

// Reads a container format (7z, zip, tar, rar, cab, iso, cpio, ar, rpm, xar, lzh) through
// libarchive. Open lists every entry once into the item table; Extract walks the entries again in
// archive order in a new session, so data is streamed and never held whole.
#include "ArchiveReader.h"
#include "FormatTable.h"
#include "OutHandler.h"
#include "PasswordKeeper.h"
#include "archive/IArchive.h"
#include "archive/IPassword.h"
#include "common/MyCom.h"

#include <string>
#include <vector>

namespace NPlugin {

struct CArcItem {
    std::wstring path;
    std::wstring symlink;
    std::wstring hardlink;
    std::wstring user;
    std::wstring group;
    std::string symlinkData; // what extraction writes for a link: its target
    UInt64 size = 0;
    FILETIME mtime = {0, 0};
    FILETIME ctime = {0, 0};
    FILETIME atime = {0, 0};
    UInt32 mode = 0;
    bool sizeDefined = false;
    bool mtimeDefined = false;
    bool ctimeDefined = false;
    bool atimeDefined = false;
    bool modeDefined = false;
    bool isDir = false;
    bool encrypted = false;
};

class CLibarchiveHandler : public IInArchive, public IOutArchive, public ISetProperties, public CMyUnknownImp {
    const CFormatInfo &_format;
    CMyComPtr<IInStream> _stream;
    UInt64 _streamSize = 0;
    FormatSetupFunc _setup = nullptr;
    std::vector<CArcItem> _items;
    UInt32 _errorFlags = 0;
    UInt32 _warningFlags = 0;
    std::wstring _errorText;
    bool _isOpen = false;
    CPasswordKeeper _password;
    COutHandler _out;

    void FillItem(struct archive_entry *entry, CArcItem &item) const;
    HRESULT TryOpen(FormatSetupFunc setup, IArchiveOpenCallback *callback, bool &opened);
    HRESULT ExtractEntry(CArchiveReader &reader, UInt32 index, Int32 testMode, IArchiveExtractCallback *callback,
                         UInt64 &completed, bool &sessionDead, Int32 &deadResult);

public:
    explicit CLibarchiveHandler(const CFormatInfo &format) : _format(format), _out(format) {}
    virtual ~CLibarchiveHandler() {}

    COM_QI_BEGIN
    COM_QI_ENTRY_UNKNOWN(IInArchive)
    COM_QI_ENTRY(IInArchive)
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

    HRESULT WriteArchive(ISequentialOutStream *outStream, UInt32 numItems,
                         IArchiveUpdateCallback *updateCallback) override {
        return _out.WriteArchive(_isOpen ? this : nullptr, outStream, numItems, updateCallback);
    }
    HRESULT GetTimeKind(UInt32 *type) override { return _out.GetTimeKind(type); }
    HRESULT SetProperties(const wchar_t *const *names, const PROPVARIANT *values, UInt32 numProps) override {
        return _out.SetProperties(names, values, numProps);
    }
};

// Helpers shared by the handlers.
HRESULT ReportItemsNotExtracted(IArchiveExtractCallback *callback, const UInt32 *indices, size_t count, Int32 opRes);
HRESULT PropertyInfoAt(const PROPID *ids, const VARTYPE *types, UInt32 count, UInt32 index, BSTR *name, PROPID *propID,
                       VARTYPE *varType);
// Builds the list of wanted indices (all, or the given ones sorted without duplicates).
HRESULT WantedIndices(const UInt32 *indices, UInt32 numItems, UInt32 itemCount, std::vector<UInt32> &wanted);

} // namespace NPlugin
