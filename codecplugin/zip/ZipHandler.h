#pragma once

// Reads and writes zip through libzip: the listing comes from the central directory alone, items
// are read at random, and an update copies kept entries as they are. A zip whose central
// directory cannot be read is read front to back by libarchive instead and flagged damaged.
#include "FormatTable.h"
#include "PasswordKeeper.h"
#include "WritableHandlerBase.h"
#include "zip/ZipDirectory.h"
#include "zip/ZipStreamSource.h"
#include "archive/IArchive.h"
#include "common/MyCom.h"

#include <memory>
#include <string>
#include <unordered_map>
#include <zip.h>

namespace NPlugin {

// What an update needs of the open archive to read it once more on its own.
struct CZipOldArchive {
    IInArchive *archive;
    IInStream *stream;
    UInt64 size;
    Int64 shift;
};

class CZipHandler : public CWritableHandlerBase, public CMyUnknownImp {
    const CFormatInfo &_format;
    CMyComPtr<IInStream> _stream;
    UInt64 _streamSize = 0;
    UInt64 _phySize = 0; // where the zip ends in the stream it was opened from
    Int64 _shift = 0;
    UInt64 _bytesInFront = 0; // a program in front of the zip, handed to us with it
    std::unique_ptr<CZipStreamSource> _source;
    zip_t *_zip = nullptr;
    // A listing read from the central directory alone; libzip is opened once data is wanted.
    CZipListing _listing;
    bool _lean = false;
    UInt32 _numItems = 0;
    std::unordered_map<UInt32, std::string> _linkTargets;
    CPasswordKeeper _password;
    CMyComPtr<IInArchive> _fallback;
    UInt32 _errorFlags = 0;
    UInt32 _numVolumes = 0; // a split zip (name.z01 ... name.zip) read as one stream; 0 otherwise
    std::vector<Byte> _buf;
    // The local header times last read: an item's access and creation times are asked one after
    // the other.
    UInt32 _localTimesIndex = 0xFFFFFFFF;
    CLocalTimes _localTimes;
    // Entries whose data shares bytes with another entry or the central directory.
    std::vector<bool> _overlapping;

    struct CEntry {
        const char *rawName = nullptr;
        Byte opsys = 0;
        UInt64 size = 0;
        UInt32 mode = 0;
        bool isDir = false;
        bool encrypted = false;
        bool mtimeDefined = false;
        Int64 mtime = 0;
    };
    enum : unsigned { kWantName = 1, kWantMode = 2, kWantData = 4, kWantTime = 8 };
    bool GetEntry(UInt32 index, CEntry &e, unsigned want) const;
    bool LocalTime(UInt32 index, unsigned which, Int64 &t) const;
    // Opens libzip on the archive listed lean; S_FALSE when it cannot read what was listed.
    HRESULT OpenLibrary();
    // Opens libzip on the stream (sets _source and _zip); returns libzip's error code.
    int OpenLibzip(IInStream *stream);
    HRESULT OpenFallback(IInStream *stream, const UInt64 *startLimit, IArchiveOpenCallback *callback, bool damaged,
                         bool frontToBackOnly = false);
    // The volumes of a split zip whose first volume is stream, joined in order; null when the
    // others are not there.
    HRESULT JoinSplitVolumes(IInStream *stream, IArchiveOpenCallback *callback, CMyComPtr<IInStream> &joined);
    HRESULT ReadLinkTargets();
    HRESULT FailItem(UInt32 index, Int32 askMode, IArchiveExtractCallback *callback, Int32 opRes);
    HRESULT ExtractOne(UInt32 index, Int32 testMode, IArchiveExtractCallback *callback, UInt64 &completed);

public:
    explicit CZipHandler(const CFormatInfo &format);
    virtual ~CZipHandler();

    COM_QI_BEGIN
    COM_QI_ENTRY_UNKNOWN(IInArchive)
    COM_QI_ENTRY(IInArchive)
    COM_QI_ENTRY(IOutArchive)
    COM_QI_ENTRY(ISetProperties)
    COM_QI_END
    COM_ADDREF_RELEASE

    HRESULT Open(IInStream *stream, const UInt64 *startLimit, IArchiveOpenCallback *openCallback) override;
    HRESULT Close() override;
    HRESULT GetNumberOfItems(UInt32 *numItems) override;
    HRESULT GetProperty(UInt32 index, PROPID propID, PROPVARIANT *value) override;
    HRESULT Extract(const UInt32 *indices, UInt32 numItems, Int32 testMode,
                    IArchiveExtractCallback *extractCallback) override;
    HRESULT GetArchiveProperty(PROPID propID, PROPVARIANT *value) override;
    HRESULT WriteArchive(ISequentialOutStream *outStream, UInt32 numItems,
                         IArchiveUpdateCallback *updateCallback) override;
};

} // namespace NPlugin
