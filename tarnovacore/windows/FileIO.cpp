#include "FileIO.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include "FileFind.h"
#include "TimeUtils.h"

CUmaskInfo gbl_umask = {0, 0777};

namespace {
struct CUmaskReader {
    CUmaskReader() {
        const mode_t m = umask(0);
        umask(m);
        gbl_umask.current_umask = (int)m;
        gbl_umask.mask = (int)(~m & 0777);
    }
} g_umaskReader;
} // namespace

namespace NWindows {
namespace NFile {
namespace NIO {

bool CFileBase::Close() throw() {
    if (_fd == -1) {
        _aTimeDefined = _mTimeDefined = false;
        return true;
    }
    if (_fd == kLinkFd) {
        _aTimeDefined = _mTimeDefined = false;
        _fd = -1;
        return true;
    }
    ApplyTimes();
    const int fd = _fd;
    _fd = -1;
    return close(fd) == 0;
}

void CFileBase::ApplyTimes() throw() {
    const bool aDefined = _aTimeDefined;
    const bool mDefined = _mTimeDefined;
    _aTimeDefined = _mTimeDefined = false;
    if (_fd < 0) return;
    if (aDefined || mDefined) {
        // Set on the descriptor, before it goes: no second look-up of the name, which could by
        // now be a symbolic link. A time that cannot be set leaves the file as it is.
        struct timespec ts[2];
        ts[0].tv_sec = aDefined ? (time_t)_aTime : 0;
        ts[0].tv_nsec = aDefined ? 0 : UTIME_OMIT;
        ts[1].tv_sec = mDefined ? (time_t)_mTime : 0;
        ts[1].tv_nsec = mDefined ? 0 : UTIME_OMIT;
        futimens(_fd, ts);
    }
}

bool CFileBase::OpenOs(const AString &osPath, DWORD desiredAccess, DWORD creationDisposition, bool followLink,
                       int extraOpenFlags) {
    Close();
    const bool canWrite = (desiredAccess & GENERIC_WRITE) != 0;
    const bool canRead = (desiredAccess & GENERIC_READ) != 0;
    int flags = canWrite ? (canRead ? O_RDWR : O_WRONLY) : O_RDONLY;
    switch (creationDisposition) {
    case CREATE_NEW:
        flags |= O_CREAT | O_EXCL;
        break;
    case CREATE_ALWAYS:
        flags |= O_CREAT | O_TRUNC;
        break;
    case OPEN_ALWAYS:
        flags |= O_CREAT;
        break;
    default:
        break;
    }
    flags |= extraOpenFlags;
    const mode_t mode = (mode_t)(0666 & ~(gbl_umask.current_umask & 077));

    if (global_use_lstat && !followLink) {
        // Not following: whatever happens below, open() never goes through a link.
        flags |= O_NOFOLLOW;
        if (canRead && !canWrite) {
            // Most entries are no links: the open alone answers for them, without a readlink each.
            const int fd = open(osPath, flags, mode);
            if (fd >= 0) {
                _fd = fd;
                _name = osPath;
                return true;
            }
        }
        const ssize_t n = readlink(osPath, _linkText, sizeof(_linkText) - 1);
        if (n >= 0) {
            if ((size_t)n >= sizeof(_linkText) - 1) {
                errno = ENAMETOOLONG;
                return false;
            }
            if (canRead) {
                _linkText[n] = 0;
                _linkLen = (int)n;
                _linkPos = 0;
                _fd = kLinkFd;
                _name = osPath;
                return true;
            }
            // Only a disposition that replaces the file replaces the link; the others fail on
            // it (EEXIST or ELOOP) rather than write through it.
            if (creationDisposition == CREATE_ALWAYS && unlink(osPath) != 0) return false;
        }
    }

    int fd = open(osPath, flags, mode);
    AString used = osPath;
    if (fd < 0) {
        const int err = errno;
        AString latin1;
        if (NName::GetLatin1RetryPath(osPath, latin1)) {
            fd = open(latin1, flags, mode);
            if (fd >= 0) used = latin1;
        }
        if (fd < 0) {
            errno = err;
            return false;
        }
    }
    _fd = fd;
    _name = used;
    return true;
}

bool CFileBase::Create(CFSTR path, DWORD desiredAccess, DWORD shareMode, DWORD creationDisposition,
                       DWORD flagsAndAttributes, bool followLink) {
    return Create(path, desiredAccess, shareMode, creationDisposition, flagsAndAttributes, followLink, 0);
}

bool CFileBase::Create(CFSTR path, DWORD desiredAccess, DWORD /* shareMode */, DWORD creationDisposition,
                       DWORD /* flagsAndAttributes */, bool followLink, int extraOpenFlags) {
    if (!path) {
        Close();
        errno = ENOENT;
        return false;
    }
    return OpenOs(NName::GetOsPath(path), desiredAccess, creationDisposition, followLink, extraOpenFlags);
}

bool CInFile::OpenInFolder(int folderFd, const AString &osName, bool followLink) throw() {
    Close();
    int flags = O_RDONLY;
    if (global_use_lstat && !followLink) flags |= O_NOFOLLOW;
    const int fd = openat(folderFd, osName, flags);
    if (fd < 0) return false;
    _fd = fd;
    _name = osName;
    return true;
}

bool CFileBase::GetLength(UInt64 &length) const throw() {
    length = 0;
    if (_fd == -1) {
        errno = EBADF;
        return false;
    }
    if (_fd == kLinkFd) {
        length = (UInt64)_linkLen;
        return true;
    }
    const off_t cur = lseek(_fd, 0, SEEK_CUR);
    if (cur < 0) return false;
    const off_t end = lseek(_fd, 0, SEEK_END);
    if (end < 0) return false;
    if (lseek(_fd, cur, SEEK_SET) != cur) return false;
    length = (UInt64)end;
    return true;
}

bool CFileBase::Seek(Int64 distanceToMove, UInt32 moveMethod, UInt64 &newPosition) throw() {
    if (_fd == -1) {
        errno = EBADF;
        return false;
    }
    if (_fd == kLinkFd) {
        Int64 base;
        switch (moveMethod) {
        case 0:
            base = 0;
            break;
        case 1:
            base = _linkPos;
            break;
        case 2:
            base = _linkLen;
            break;
        default:
            errno = EINVAL;
            return false;
        }
        // base is at most a few thousand, so only the far ends of the offset need care.
        Int64 pos;
        if (distanceToMove > (Int64)0x7FFFFFFF)
            pos = _linkLen;
        else if (distanceToMove < -(Int64)0x7FFFFFFF)
            pos = -1;
        else
            pos = base + distanceToMove;
        if (pos < 0) {
            errno = EINVAL;
            return false;
        }
        if (pos > _linkLen) pos = _linkLen;
        _linkPos = (int)pos;
        newPosition = (UInt64)pos;
        return true;
    }
    const off_t res = lseek(_fd, (off_t)distanceToMove, (int)moveMethod);
    if (res < 0) return false;
    newPosition = (UInt64)res;
    return true;
}

bool CInFile::Read(void *data, UInt32 size, UInt32 &processedSize) throw() {
    processedSize = 0;
    if (_fd == -1) {
        errno = EBADF;
        return false;
    }
    if (size == 0) return true;
    if (_fd == kLinkFd) {
        const int rem = _linkLen - _linkPos;
        UInt32 n = rem > 0 ? (UInt32)rem : 0;
        if (n > size) n = size;
        memcpy(data, _linkText + _linkPos, n);
        _linkPos += (int)n;
        processedSize = n;
        return true;
    }
    ssize_t res;
    do
        res = read(_fd, data, size);
    while (res < 0 && errno == EINTR);
    if (res < 0) return false;
    processedSize = (UInt32)res;
    return true;
}

bool COutFile::Write(const void *data, UInt32 size, UInt32 &processedSize) throw() {
    processedSize = 0;
    if (_fd == -1) {
        errno = EBADF;
        return false;
    }
    ssize_t res;
    do
        res = write(_fd, data, size);
    while (res < 0 && errno == EINTR);
    if (res < 0) return false;
    processedSize = (UInt32)res;
    return true;
}

bool COutFile::CreateUnnamed(CFSTR folder) {
    Close();
    const AString osFolder = NName::GetOsPath(folder && *folder ? folder : L".");
    const int fd = open(osFolder, O_TMPFILE | O_RDWR | O_CLOEXEC, (mode_t)(0666 & ~(gbl_umask.current_umask & 077)));
    if (fd < 0) return false;
    _fd = fd;
    _name = osFolder;
    return true;
}

bool COutFile::LinkUnnamed(CFSTR path) {
    char procPath[64];
    snprintf(procPath, sizeof(procPath), "/proc/self/fd/%d", _fd);
    return linkat(AT_FDCWD, procPath, AT_FDCWD, NName::GetOsPath(path), AT_SYMLINK_FOLLOW) == 0;
}

bool COutFile::SetTime(const FILETIME * /* cTime */, const FILETIME *aTime, const FILETIME *mTime) throw() {
    if (_fd == -1) {
        errno = EBADF;
        return false;
    }
    // Signed seconds: times before 1970 and after 2106 are kept as they are.
    if (aTime) {
        _aTime = NTime::FileTimeToUnixTime64(*aTime);
        _aTimeDefined = true;
    }
    if (mTime) {
        _mTime = NTime::FileTimeToUnixTime64(*mTime);
        _mTimeDefined = true;
    }
    return true;
}

bool COutFile::SetEndOfFile() throw() {
    UInt64 pos;
    if (!Seek(0, 1, pos)) return false;
    return ftruncate(_fd, (off_t)pos) == 0;
}

bool COutFile::SetLength(UInt64 length) throw() {
    UInt64 pos;
    if (!Seek(length, pos)) return false;
    if (pos != length) {
        errno = EINVAL;
        return false;
    }
    return ftruncate(_fd, (off_t)pos) == 0;
}

} // namespace NIO
} // namespace NFile
} // namespace NWindows
