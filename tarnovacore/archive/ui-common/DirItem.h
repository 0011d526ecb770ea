#pragma once

#include "common/MyString.h"
#include "common/MyVector.h"
#include "common/MyWindows.h"
#include "windows/FileFind.h"

struct CDirItemsStat {
    UInt64 NumDirs;
    UInt64 NumFiles;
    UInt64 NumAltStreams;
    UInt64 FilesSize;
    UInt64 AltStreamsSize;
    UInt64 NumErrors;

    CDirItemsStat() : NumDirs(0), NumFiles(0), NumAltStreams(0), FilesSize(0), AltStreamsSize(0), NumErrors(0) {}
    UInt64 Get_NumItems() const { return NumDirs + NumFiles + NumAltStreams; }
    UInt64 GetTotalBytes() const { return FilesSize + AltStreamsSize; }
};

// Where a scan reports errors and progress; a non-zero result stops the scan with it.
struct IDirItemsCallback {
    virtual HRESULT ScanError(const UString &path, DWORD systemError) = 0;
    virtual HRESULT ScanProgress(const CDirItemsStat &st, const UString &path, bool isDir) = 0;

protected:
    ~IDirItemsCallback() = default;
};

struct CDirItem {
    UInt64 Size;
    FILETIME CTime;
    FILETIME ATime;
    FILETIME MTime;
    UString Name;
    UInt32 Attrib;
    int PhyParent;
    int LogParent;
    int SecureIndex;
    bool IsAltStream;

    CDirItem() : Size(0), Attrib(0), PhyParent(-1), LogParent(-1), SecureIndex(-1), IsAltStream(false) {
        CTime.dwLowDateTime = CTime.dwHighDateTime = 0;
        ATime = MTime = CTime;
    }
    bool IsDir() const { return (Attrib & FILE_ATTRIBUTE_DIRECTORY) != 0; }
    // Described as a symbolic link itself (its mode kept in the high half of the attribute).
    bool IsSymLink() const { return (Attrib & FILE_ATTRIBUTE_POSIX_MODE) != 0 && ((Attrib >> 16) & 0xF000) == 0xA000; }
};

// Scanned files and folders. Paths are kept as chains of shared folder prefixes, once where the item
// is on disk (physical) and once as the name it gets in an archive (logical).
class CDirItems {
    unsigned PrefixesPathLen(const CIntVector &parents, int index, const UString &name) const;
    // Writes the path backwards, ending just before end.
    void WritePrefixesPath(const CIntVector &parents, int index, const UString &name, wchar_t *end) const;
    UString GetPrefixesPath(const CIntVector &parents, int index, const UString &name) const;
    void GetPrefixesPath(const CIntVector &parents, int index, const UString &name, UString &path) const;

public:
    UStringVector Prefixes;
    CIntVector PhyParents;
    CIntVector LogParents;
    CObjectVector<CDirItem> Items;

    bool SymLinks;
    bool ScanAltStreams;
    CDirItemsStat Stat;
    IDirItemsCallback *Callback;

    CDirItems() : SymLinks(false), ScanAltStreams(false), Callback(nullptr) {}

    unsigned Size() const { return Items.Size(); }
    bool IsDir(unsigned index) const { return Items[index].IsDir(); }

    void AddDirFileInfo(int phyParent, int logParent, int secureIndex, const NWindows::NFile::NFind::CFileInfo &fi);
    HRESULT AddError(const UString &path, DWORD errorCode);
    HRESULT AddError(const UString &path);
    HRESULT ScanProgress(const UString &path);

    int AddPrefix(int phyParent, int logParent, const UString &prefix);
    void DeleteLastPrefix();

    UString GetPhyPath(unsigned index) const;
    UString GetLogPath(unsigned index) const;
    // The path on disk of a physical prefix (a folder), ending in its separator.
    UString GetPhyPrefixPath(int phyParent) const { return GetPrefixesPath(PhyParents, phyParent, UString()); }
    // The same into a string that keeps its buffer: a loop over many items allocates once.
    void GetPhyPath(unsigned index, UString &path) const;
    void GetLogPath(unsigned index, UString &path) const;
    // The logical path's length, and its characters (that many, no terminator) into dest.
    unsigned GetLogPathLen(unsigned index) const;
    unsigned WriteLogPath(unsigned index, wchar_t *dest) const;

    void ReserveDown();

    HRESULT EnumerateDir(int phyParent, int logParent, const UString &phyPrefix);
    // For a format that cannot hold links: each item found as a symbolic link is described by what
    // it points to; one that points nowhere is a scan error and is dropped.
    HRESULT FollowSymLinks();
    // filePaths are relative to phyPrefix; a folder among them is added with its whole tree.
    HRESULT EnumerateItems2(const UString &phyPrefix, const UString &logPrefix, const UStringVector &filePaths,
                            UStringVector *requestedPaths);
};
