#pragma once

// The in-memory folder trees over an opened archive's flat item list. CProxyArc invents the
// folders that item paths imply; CProxyArc2 follows the parent links of a tree-shaped archive and
// keeps alternate streams in folders of their own. Both are built once and then only read.
#include "archive/IArchive.h"
#include "archive/IProgress.h"
#include "common/MyString.h"
#include "common/MyVector.h"

#include <memory>
#include <vector>

class CArc;

struct CProxyFile {
    const wchar_t *Name;
    unsigned NameLen;
    bool NeedDeleteName;

    CProxyFile() : Name(nullptr), NameLen(0), NeedDeleteName(false) {}
    CProxyFile(const CProxyFile &) = delete;
    CProxyFile &operator=(const CProxyFile &) = delete;
    ~CProxyFile() {
        if (NeedDeleteName) delete[] Name;
    }
};

struct CProxyDir {
    const wchar_t *Name; // null for the root
    unsigned NameLen;
    int ArcIndex;                     // -1: the folder exists only because paths pass through it
    int ParentDir;                    // -1 for the root
    CRecordVector<unsigned> SubDirs;  // sorted by name under CompareFileNames
    CRecordVector<unsigned> SubFiles; // archive indices, in archive order

    UInt64 Size;
    UInt64 PackSize;
    UInt32 Crc;
    bool CrcIsDefined;
    UInt32 NumSubDirs;
    UInt32 NumSubFiles;

    CProxyDir()
        : Name(nullptr), NameLen(0), ArcIndex(-1), ParentDir(-1), Size(0), PackSize(0), Crc(0), CrcIsDefined(false),
          NumSubDirs(0), NumSubFiles(0) {}
    CProxyDir(const CProxyDir &) = delete;
    CProxyDir &operator=(const CProxyDir &) = delete;
    ~CProxyDir() { delete[] Name; }

    void Clear();
    bool IsLeaf() const { return ArcIndex >= 0; }
};

class CProxyArc {
    void CalculateSizes(unsigned dirIndex, IInArchive *archive);
    void FreeFiles();
    // The items' names, many to a block: one allocation each costs more than most names.
    std::vector<std::unique_ptr<wchar_t[]>> _nameBlocks;
    wchar_t *_namePos = nullptr;
    size_t _nameLeft = 0;
    const wchar_t *StoreName(const wchar_t *s, unsigned len);

public:
    CObjectVector<CProxyDir> Dirs; // 0 is the root
    CProxyFile *Files;             // one per archive item
    unsigned NumFiles;

    CProxyArc() : Files(nullptr), NumFiles(0) {}
    CProxyArc(const CProxyArc &) = delete;
    CProxyArc &operator=(const CProxyArc &) = delete;
    ~CProxyArc() { FreeFiles(); }

    HRESULT Load(const CArc &arc, IProgress *progress);

    int FindSubDir(unsigned dirIndex, const wchar_t *name, unsigned &insertPos) const;
    int FindSubDir(unsigned dirIndex, const wchar_t *name) const;
    unsigned AddDir(unsigned dirIndex, int arcIndex, const UString &name);

    void GetDirPathParts(unsigned dirIndex, UStringVector &pathParts) const;
    UString GetDirPath_as_Prefix(unsigned dirIndex) const;

    // Listing position: sub-folders first (by name), then the files.
    int GetRealIndex(unsigned dirIndex, unsigned index) const;
    void AddRealIndices(unsigned dirIndex, CRecordVector<UInt32> &realIndices) const;
    void GetRealIndices(unsigned dirIndex, const UInt32 *indices, UInt32 numItems,
                        CRecordVector<UInt32> &realIndices) const;
};

struct CProxyFile2 {
    int DirIndex;    // the folder that lists this item's children, -1 for a non-folder
    int AltDirIndex; // the folder that lists this item's alternate streams, -1 when none
    int Parent;      // archive index of the parent item, -1 at the top
    const wchar_t *Name;
    unsigned NameLen;
    bool NeedDeleteName; // false when the name points into the handler's own data
    bool IsAltStream;

    CProxyFile2()
        : DirIndex(-1), AltDirIndex(-1), Parent(-1), Name(nullptr), NameLen(0), NeedDeleteName(false),
          IsAltStream(false) {}
    CProxyFile2(const CProxyFile2 &) = delete;
    CProxyFile2 &operator=(const CProxyFile2 &) = delete;
    ~CProxyFile2() {
        if (NeedDeleteName) delete[] Name;
    }

    int GetDirIndex(bool forAltStreams) const { return forAltStreams ? AltDirIndex : DirIndex; }
    bool IsDir() const { return DirIndex >= 0; }
};

struct CProxyDir2 {
    int ArcIndex;                  // -1 for folders 0 and 1
    CRecordVector<unsigned> Items; // archive indices, in archive order
    // The folder that lists this folder's item, -1 for folders 0 and 1 and for folders out of reach of both. The path
    // prefix is built from these links on demand: stored whole in every folder it grows with the square of the depth.
    int ParentDir;
    unsigned PrefixLen;

    UInt64 Size;
    UInt64 PackSize;
    bool CrcIsDefined;
    UInt32 Crc;
    UInt32 NumSubDirs;
    UInt32 NumSubFiles;

    CProxyDir2()
        : ArcIndex(-1), ParentDir(-1), PrefixLen(0), Size(0), PackSize(0), CrcIsDefined(false), Crc(0), NumSubDirs(0),
          NumSubFiles(0) {}
    void Clear();
};

const unsigned k_Proxy2_RootDirIndex = 0;
const unsigned k_Proxy2_AltRootDirIndex = 1;

class CProxyArc2 {
    void CalculateSizes(unsigned dirIndex, IInArchive *archive);
    void FreeFiles();

public:
    CObjectVector<CProxyDir2> Dirs; // 0 the root, 1 the root's alternate streams
    CProxyFile2 *Files;             // one per archive item
    unsigned NumFiles;
    bool NamesBorrowed; // some names point into the handler's own data

    CProxyArc2() : Files(nullptr), NumFiles(0), NamesBorrowed(false) {}
    CProxyArc2(const CProxyArc2 &) = delete;
    CProxyArc2 &operator=(const CProxyArc2 &) = delete;
    ~CProxyArc2() { FreeFiles(); }

    HRESULT Load(const CArc &arc, IProgress *progress);

    // Copies the names borrowed from the handler: a tree that outlives the handler's item data reads its own.
    void OwnNames();

    bool IsAltDir(unsigned dirIndex) const;
    void GetDirPathParts(unsigned dirIndex, UStringVector &pathParts, bool &isAltStreamDir) const;
    // The parent folders' names, each followed by '/' (or ':' before a stream folder); ":" for folder 1.
    UString GetDirPathPrefix(unsigned dirIndex) const;
    UString GetDirPath_as_Prefix(unsigned dirIndex, bool &isAltStreamDir) const;

    int FindItem(unsigned dirIndex, const wchar_t *name, bool foldersOnly) const;
    bool IsThere_SubDir(unsigned dirIndex, const UString &name) const;

    unsigned GetRealIndex(unsigned dirIndex, unsigned index) const { return Dirs[dirIndex].Items[index]; }
    void AddRealIndices_of_ArcItem(unsigned arcIndex, bool includeAltStreams, CRecordVector<UInt32> &realIndices) const;
    void AddRealIndices_of_Dir(unsigned dirIndex, bool includeAltStreams, CRecordVector<UInt32> &realIndices) const;
    void GetRealIndices(unsigned dirIndex, const UInt32 *indices, UInt32 numItems, bool includeAltStreams,
                        CRecordVector<UInt32> &realIndices) const;
};

// A size-like item property as a number: VT_EMPTY is 0 and not defined; a failing read or another
// type throws.
UInt64 Proxy_GetSize(IInArchive *archive, UInt32 index, PROPID propID, bool &defined);
