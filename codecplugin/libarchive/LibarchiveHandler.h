#pragma once

// Reads a container format (7z, zip, tar, rar, cab, iso, cpio, ar, rpm, xar, lzh) through
// libarchive. Open lists every entry once into the item table; Extract walks the entries again in
// archive order in a new session, so data is streamed and never held whole.
#include "libarchive/ArchiveReader.h"
#include "FormatTable.h"
#include "PasswordKeeper.h"
#include "WritableHandlerBase.h"
#include "archive/IArchive.h"
#include "archive/IPassword.h"
#include "common/MyCom.h"

#include <deque>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace NPlugin {

// What only links carry, kept apart so that the many plain items stay small.
struct CArcItemLinks {
    std::wstring symlink;
    std::wstring hardlink;
    std::string symlinkData; // what extraction writes for a link: its target
};

// One entry, kept small: an archive may list hundreds of thousands of them.
struct CArcItem {
    std::string path; // UTF-8
    std::unique_ptr<CArcItemLinks> links;
    UInt64 size = 0;
    FILETIME mtime = {0, 0};
    FILETIME ctime = {0, 0};
    FILETIME atime = {0, 0};
    UInt32 mode = 0;
    UInt32 user = 0; // position in the handler's name table plus one; 0 for none
    UInt32 group = 0;
    bool sizeDefined : 1;
    bool mtimeDefined : 1;
    bool ctimeDefined : 1;
    bool atimeDefined : 1;
    bool modeDefined : 1;
    bool isDir : 1;
    bool encrypted : 1;

    CArcItem()
        : sizeDefined(false), mtimeDefined(false), ctimeDefined(false), atimeDefined(false), modeDefined(false),
          isDir(false), encrypted(false) {}
    bool IsSymlink() const { return links && !links->symlink.empty(); }
    bool IsHardlink() const { return links && !links->hardlink.empty(); }
};

class CLibarchiveHandler : public CWritableHandlerBase, public CMyUnknownImp {
    const CFormatInfo &_format;
    CMyComPtr<IInStream> _stream;
    UInt64 _streamSize = 0;
    UInt64 _phySize = 0;      // the archive with the zeros that pad it; what follows is no part of it
    UInt64 _readerEnd = 0;    // where the reader met the end marker, 0 when it did not
    UInt64 _bytesInFront = 0; // a program in front of a zip, copied in front of a new archive
    UInt64 _leadingZeros = 0; // for a zip whose offsets count from before this stream
    bool _emptyZip = false;   // a zip's end record says it holds nothing
    FormatSetupFunc _setup = nullptr;
    std::deque<CArcItem> _items; // no spare capacity, no copy on growth
    // User and group names, each kept once.
    std::vector<std::wstring> _names;
    std::unordered_map<std::wstring, UInt32> _nameIds;
    UInt32 _errorFlags = 0;
    UInt32 _warningFlags = 0;
    std::wstring _errorText;
    std::wstring _warningText;
    CPasswordKeeper _password;

    bool IsMember(struct archive_entry *entry) const;
    void FillItem(struct archive_entry *entry, CArcItem &item);
    UInt32 NameId(const std::wstring &name);
    HRESULT TryOpen(FormatSetupFunc setup, IArchiveOpenCallback *callback, bool &opened);
    HRESULT ExtractEntry(CArchiveReader &reader, UInt32 index, Int32 testMode, IArchiveExtractCallback *callback,
                         UInt64 &completed, bool &sessionDead, Int32 &deadResult);

public:
    explicit CLibarchiveHandler(const CFormatInfo &format);
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
    HRESULT WriteArchive(ISequentialOutStream *outStream, UInt32 numItems,
                         IArchiveUpdateCallback *updateCallback) override;
    HRESULT GetNumberOfItems(UInt32 *numItems) override;
    HRESULT GetProperty(UInt32 index, PROPID propID, PROPVARIANT *value) override;
    HRESULT Extract(const UInt32 *indices, UInt32 numItems, Int32 testMode,
                    IArchiveExtractCallback *extractCallback) override;
    HRESULT GetArchiveProperty(PROPID propID, PROPVARIANT *value) override;
};

} // namespace NPlugin
