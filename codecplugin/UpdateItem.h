#pragma once

// One item of the archive being written: where its data and properties come from (the update
// callback or the old archive) and the properties themselves, turned into a libarchive entry.
#include "WriteProps.h"
#include "archive/IArchive.h"
#include "common/MyWindows.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

struct archive_entry;

namespace NPlugin {

const UInt32 kNoArchiveIndex = 0xFFFFFFFF;

enum class EEntryKind { kFile, kDir, kSymLink, kHardLink };

struct CUpdateItem {
    UInt32 index = 0; // the update record
    UInt32 indexInArchive = kNoArchiveIndex;
    bool newData = false;
    bool newProps = false;
    bool isAnti = false;
    bool encrypted = false; // the old item was stored encrypted

    std::wstring path;
    std::wstring symlink;
    std::wstring hardlink;
    std::wstring user;
    std::wstring group;
    bool isDir = false;
    bool sizeDefined = false;
    UInt64 size = 0;
    bool mtimeDefined = false;
    bool ctimeDefined = false;
    bool atimeDefined = false;
    FILETIME mtime = {0, 0};
    FILETIME ctime = {0, 0};
    FILETIME atime = {0, 0};
    bool attribDefined = false;
    UInt32 attrib = 0;
    bool posixDefined = false;
    UInt32 posixAttrib = 0;

    UInt32 Mode() const;
    EEntryKind Kind(EWriteFormat format) const;
    // The bytes the entry carries as data.
    UInt64 DataSize(EWriteFormat format) const;
};

typedef std::function<HRESULT(PROPID, PROPVARIANT *)> PropGetter;

void FileTimeToUnix(const FILETIME &ft, Int64 &sec, long &nsec);
// A name as stored: UTF-8, or one byte per character with the program's UTF-16 conversion off.
std::string NameBytes(const std::wstring &name);

// Fills the properties from a source of item properties (the callback or the old archive).
HRESULT ReadItemProps(const PropGetter &get, CUpdateItem &item);
// Reads one boolean property; false when it is empty.
HRESULT ReadBoolProp(const PropGetter &get, PROPID propID, bool &value);
// Reads update record i: where its data and properties come from, and the properties merged from
// the callback and the old archive (numOld items, or none). skip: a deletion marker, no item.
HRESULT ReadUpdateRecord(IArchiveUpdateCallback *callback, IInArchive *old, UInt32 numOld, UInt32 i, CUpdateItem &item,
                         bool &skip);

// A link read from disk brings its target as its data; E_INVALIDARG when it is too long for one.
HRESULT ReadLinkTarget(ISequentialInStream *in, std::string &target);

// The password for new entries, when the caller defines one (as UTF-8).
HRESULT AskWritePassword(IArchiveUpdateCallback *callback, bool &defined, std::string &password);

// The records of an update, without its deletion markers: properties from the callback or, for
// what it leaves out, from the old archive (null when there is none).
HRESULT CollectUpdateItems(IInArchive *old, IArchiveUpdateCallback *callback, UInt32 numItems, EWriteFormat format,
                           std::vector<CUpdateItem> &items);

struct CEntryDeleter {
    void operator()(archive_entry *entry) const;
};
typedef std::unique_ptr<archive_entry, CEntryDeleter> CEntryPtr;

// A new entry; call inside a CUtf8LocaleScope. Null when memory ran out.
CEntryPtr MakeEntry(const CUpdateItem &item, EWriteFormat format);
// True when a plain tar header holds all the item has (printable ASCII names that fit their fields,
// size and time in range): a pax writer would write no extended header for it.
bool FitsPlainTar(const CUpdateItem &item);
// The same as MakeEntry into a new or cleared entry, so that one entry can serve item after item.
void FillEntry(archive_entry *entry, const CUpdateItem &item, EWriteFormat format);

} // namespace NPlugin
