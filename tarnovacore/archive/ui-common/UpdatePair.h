#pragma once

#include "DirItem.h"
#include "UpdateAction.h"
#include "common/MyString.h"
#include "common/MyVector.h"
#include "common/MyWindows.h"

#include <vector>

// One item of the old archive as the pairing sees it.
struct CArcItem {
    UInt64 Size;
    FILETIME MTime;
    UString Name;
    bool IsDir;
    bool IsAltStream;
    bool HasSize;
    bool HasMTime;
    bool Selected;
    UInt32 HandlerIndex;
    // 0, 1 or 2: the item's own time precision (NFileTimeType); -1: the writer's.
    Int32 TimeType;

    CArcItem()
        : Size(0), IsDir(false), IsAltStream(false), HasSize(false), HasMTime(false), Selected(false), HandlerIndex(0),
          TimeType(-1) {
        MTime.dwLowDateTime = MTime.dwHighDateTime = 0;
    }
};

// One name of the merged disk/archive list.
struct CUpdatePair {
    Int32 State; // NUpdateArchive::EPairState
    Int32 ArchiveIndex;
    Int32 DiskIndex;
    Int32 HostPair; // the pair of the file an alternate stream belongs to

    CUpdatePair() : State(0), ArchiveIndex(-1), DiskIndex(-1), HostPair(-1) {}
};

// The disk items' stored names, each ended by a zero, in one buffer: made once, the pairing and the
// stored-name check share them.
struct CDirItemNames {
    std::vector<wchar_t> Pool;
    std::vector<const wchar_t *> Names; // one per disk item
    std::vector<unsigned> Lens;
    void Fill(const CDirItems &dirItems);
};

// Merges the scanned disk items and the old archive's items into one name-ordered list. Throws a
// UString for duplicate names and the integer 4191618 for an unknown time type. names: the disk
// items' names made already, or null.
void GetUpdatePairInfoList(const CDirItems &dirItems, const CObjectVector<CArcItem> &arcItems, Int32 fileTimeType,
                           CRecordVector<CUpdatePair> &updatePairs, const CDirItemNames *names = nullptr);

struct CUpdatePair2;

// Refuses records that would store two items under one name where at least one comes from the
// inputs: a file and a folder of one name, or items below a file. Throws a UString naming both (an
// input by its path on disk, a kept item by its name in the archive).
void CheckStoredNames(const CRecordVector<CUpdatePair2> &records, const CDirItems &dirItems,
                      const CObjectVector<CArcItem> &arcItems, const CDirItemNames *names = nullptr);
