#pragma once

// A lean listing of a zip, read from its central directory alone: one small record per entry and
// every name in a few large blocks, instead of the per-entry tables and allocations of a full zip
// library. Used while only a listing is wanted; the library is opened once data is read.
#include "archive/IArchive.h"

#include <memory>
#include <vector>

namespace NPlugin {

struct CZipListItem {
    const char *name; // NUL-terminated raw bytes, or the entry's Unicode path field when it matches
    UInt64 size;
    UInt64 headerOffset; // of the local header, as the directory gives it
    UInt64 packSize;
    UInt32 attributes;
    UInt32 dosTime; // date in the high half
    Int32 unixTime;
    UInt16 nameLen;
    Byte opsys;
    Byte flags;

    enum : Byte { kEncrypted = 1, kUnixTime = 2 };
};

class CZipListing {
    std::vector<std::unique_ptr<char[]>> _blocks;
    size_t _blockLeft = 0;
    char *_blockPos = nullptr;
    const char *AddName(const char *s, size_t len);

public:
    std::vector<CZipListItem> items;
    // Where the central directory lies in the stream read.
    UInt64 directoryStart = 0;
    UInt64 directoryEnd = 0;

    void Clear();
    // ok is false when anything is out of the ordinary (damage, spanning, gaps, an entry count
    // that does not add up): such an archive is read the thorough way instead.
    HRESULT Read(IInStream *in, UInt64 size, bool &ok);
};

// The access and creation times of the extended timestamp field in the local header at pos: the
// central directory keeps only the modification time.
struct CLocalTimes {
    bool atimeDefined = false;
    bool ctimeDefined = false;
    Int64 atime = 0;
    Int64 ctime = 0;
};
HRESULT ReadLocalHeaderTimes(IInStream *in, UInt64 pos, CLocalTimes &times);

// The local DOS time of a zip entry as Unix time. The zone is read once per tzset(), not per call
// as mktime() does.
Int64 DosTimeToUnixTime(UInt32 dosTime);

} // namespace NPlugin
