#pragma once

#include <dirent.h>

#include "FileName.h"
#include "common/MyWindows.h"

#ifndef FILE_ATTRIBUTE_READONLY
#define FILE_ATTRIBUTE_READONLY 0x00000001
#define FILE_ATTRIBUTE_HIDDEN 0x00000002
#define FILE_ATTRIBUTE_SYSTEM 0x00000004
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010
#define FILE_ATTRIBUTE_ARCHIVE 0x00000020
#define FILE_ATTRIBUTE_DEVICE 0x00000040
#define FILE_ATTRIBUTE_NORMAL 0x00000080
#define FILE_ATTRIBUTE_REPARSE_POINT 0x00000400
#endif
#ifndef FILE_ATTRIBUTE_POSIX_MODE
// The high 16 bits hold a POSIX mode (type and permission bits).
#define FILE_ATTRIBUTE_POSIX_MODE 0x00008000
#endif

// Nonzero: look-ups that are not told to follow describe a symbolic link itself, and files
// opened without following are opened as their link text.
extern int global_use_lstat;

namespace NWindows {
namespace NFile {
namespace NFind {

class CFileInfoBase {
public:
    UInt64 Size;
    FILETIME CTime;
    FILETIME ATime;
    FILETIME MTime;
    DWORD Attrib;
    bool IsAltStream;
    bool IsDevice;

    CFileInfoBase() { ClearBase(); }
    void ClearBase() throw();

    bool IsDir() const { return (Attrib & FILE_ATTRIBUTE_DIRECTORY) != 0; }
    bool IsReadOnly() const { return (Attrib & FILE_ATTRIBUTE_READONLY) != 0; }
};

class CFileInfo : public CFileInfoBase {
public:
    UString Name;

    bool IsDots() const throw();
    // Describes exactly this path: '*' and '?' in it are name characters, not wildcards.
    bool Find(CFSTR path, bool followLink = false);
};

class CFindFile {
    DIR *_dir;
    AString _pattern;
    AString _directory;
    AString _name; // the entry being described, its buffer kept from entry to entry

public:
    CFindFile() : _dir(nullptr) {}
    CFindFile(const CFindFile &) = delete;
    CFindFile &operator=(const CFindFile &) = delete;
    ~CFindFile() { Close(); }

    bool IsHandleAllocated() const { return _dir != nullptr; }
    // The last component of the path may hold '*' and '?'.
    bool FindFirst(CFSTR wildcard, CFileInfo &fileInfo, bool followLink = false);
    // skipDots: "." and ".." are passed over instead of being described.
    bool FindNext(CFileInfo &fileInfo, bool skipDots = false);
    bool Close() throw();
};

class CEnumerator {
    CFindFile _findFile;
    UString _wildcard;

    bool NextAny(CFileInfo &fileInfo);

public:
    explicit CEnumerator(const UString &wildcard) : _wildcard(wildcard) {}
    // Skips "." and ".."; false at the end or on an error.
    bool Next(CFileInfo &fileInfo);
    // True with found false at the normal end; false only on a real error (left in errno).
    bool Next(CFileInfo &fileInfo, bool &found);
};

// None of these follow a symbolic link: a link to a folder is an existing non-folder.
bool DoesFileExist(CFSTR name);
bool DoesDirExist(CFSTR name);
bool DoesFileOrDirExist(CFSTR name);

// The look-up behind CFileInfo::Find with the link rule chosen by the caller: kNever describes
// the link whatever global_use_lstat says (recursive delete must never walk through a link).
enum class ELinkRule { kByGlobalFlag, kFollow, kNever };
bool FindExactPath(CFSTR path, CFileInfo &fileInfo, ELinkRule rule, AString *osPathUsed = nullptr);

// Seconds since 1970, negative ones included, as a FILETIME; clamped to its range.
void UnixSecondsToFileTime(Int64 seconds, FILETIME &ft) throw();

} // namespace NFind
} // namespace NFile
} // namespace NWindows
