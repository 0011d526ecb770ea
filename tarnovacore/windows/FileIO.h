#pragma once

#include "FileName.h"
#include "common/MyWindows.h"

#ifndef GENERIC_READ
#define GENERIC_READ 0x80000000
#define GENERIC_WRITE 0x40000000
#endif
#ifndef CREATE_NEW
#define CREATE_NEW 1
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define OPEN_ALWAYS 4
#endif
#ifndef FILE_SHARE_READ
#define FILE_SHARE_READ 1
#endif

// The process umask, read once before main, and the permission bits it leaves: reading the
// umask means setting it, which is unsafe once other threads create files.
struct CUmaskInfo {
    int current_umask;
    int mask;
};
extern CUmaskInfo gbl_umask;

namespace NWindows {
namespace NFile {
namespace NIO {

class CFileBase {
protected:
    int _fd; // -1 closed, -2 the text of a symbolic link opened as a file
    AString _name;
    Int64 _aTime;
    Int64 _mTime;
    bool _aTimeDefined;
    bool _mTimeDefined;
    int _linkLen;
    int _linkPos;
    char _linkText[4096 + 1];

    static const int kLinkFd = -2;

    // The open itself, on an operating-system path. extraOpenFlags go to open() unchanged, so
    // that a caller can add O_NOFOLLOW or O_CLOEXEC.
    bool OpenOs(const AString &osPath, DWORD desiredAccess, DWORD creationDisposition, bool followLink,
                int extraOpenFlags);

public:
    CFileBase() : _fd(-1), _aTime(0), _mTime(0), _aTimeDefined(false), _mTimeDefined(false), _linkLen(0), _linkPos(0) {
        _linkText[0] = 0;
    }
    CFileBase(const CFileBase &) = delete;
    CFileBase &operator=(const CFileBase &) = delete;
    virtual ~CFileBase() { Close(); }
    // The descriptor counts as released even when close() fails: Linux has freed it already,
    // and closing the number again could close a file that another thread just opened.
    virtual bool Close() throw();
    // Applies the times set before now instead of at the close.
    void ApplyTimes() throw();

    bool IsOpen() const { return _fd != -1; }
    // The descriptor, or -1 when closed or when a link's text stands in for the file.
    int Fd() const { return _fd >= 0 ? _fd : -1; }
    bool Create(CFSTR path, DWORD desiredAccess, DWORD shareMode, DWORD creationDisposition, DWORD flagsAndAttributes,
                bool followLink);
    bool Create(CFSTR path, DWORD desiredAccess, DWORD shareMode, DWORD creationDisposition, DWORD flagsAndAttributes,
                bool followLink, int extraOpenFlags);

    bool GetLength(UInt64 &length) const throw();
    bool Seek(Int64 distanceToMove, UInt32 moveMethod, UInt64 &newPosition) throw();
    bool Seek(UInt64 position, UInt64 &newPosition) throw() { return Seek((Int64)position, 0, newPosition); }
    bool SeekToBegin() throw() {
        UInt64 pos;
        return Seek((UInt64)0, pos);
    }
    bool SeekToEnd(UInt64 &newPosition) throw() { return Seek(0, 2, newPosition); }
};

class CInFile : public CFileBase {
public:
    bool Open(CFSTR path, bool followLink = false) {
        return Create(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0x80, followLink);
    }
    bool Open(CFSTR path, DWORD shareMode, DWORD creationDisposition, DWORD flagsAndAttributes) {
        return Create(path, GENERIC_READ, shareMode, creationDisposition, flagsAndAttributes, false);
    }
    bool Read(void *data, UInt32 size, UInt32 &processedSize) throw();
    bool ReadPart(void *data, UInt32 size, UInt32 &processedSize) throw() { return Read(data, size, processedSize); }
    // Opens a name inside a folder held open, without walking the folder's path again. False with
    // errno set on any failure: the caller then opens by the whole path, which also reads a link's
    // text and retries a Latin-1 name.
    bool OpenInFolder(int folderFd, const AString &osName, bool followLink) throw();
};

class COutFile : public CFileBase {
public:
    using CFileBase::Create;
    bool Open(CFSTR path, DWORD shareMode, DWORD creationDisposition, DWORD flagsAndAttributes) {
        return Create(path, GENERIC_WRITE, shareMode, creationDisposition, flagsAndAttributes, false);
    }
    bool Open(CFSTR path, DWORD creationDisposition) { return Open(path, FILE_SHARE_READ, creationDisposition, 0x80); }
    // createAlways replaces (and truncates) an existing file; otherwise an existing one fails.
    bool Create(CFSTR path, bool createAlways) { return Open(path, createAlways ? CREATE_ALWAYS : CREATE_NEW); }
    // Despite the name this creates a new file only, failing with EEXIST.
    bool CreateAlways(CFSTR path, DWORD flagsAndAttributes) {
        return Open(path, FILE_SHARE_READ, CREATE_NEW, flagsAndAttributes);
    }

    // A file with no name in folder (empty: the current one); it vanishes with its last descriptor
    // unless it is linked into the folder. Fails where the file system cannot make one.
    bool CreateUnnamed(CFSTR folder);
    // Gives the unnamed file the name path, which must not exist yet.
    bool LinkUnnamed(CFSTR path);

    // The times are applied when the file is closed; the creation time is ignored.
    bool SetTime(const FILETIME *cTime, const FILETIME *aTime, const FILETIME *mTime) throw();
    bool SetMTime(const FILETIME *mTime) throw() { return SetTime(nullptr, nullptr, mTime); }
    bool Write(const void *data, UInt32 size, UInt32 &processedSize) throw();
    bool WritePart(const void *data, UInt32 size, UInt32 &processedSize) throw() {
        return Write(data, size, processedSize);
    }
    bool SetEndOfFile() throw();
    bool SetLength(UInt64 length) throw();
};

} // namespace NIO
} // namespace NFile
} // namespace NWindows
