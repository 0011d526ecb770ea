#include "ExtractOutDir.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include "common/StringConvert.h"
#include "windows/FileIO.h"
#include "windows/FileName.h"
#include "windows/TimeUtils.h"

namespace {

const int kDirFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

class CFd {
    int _fd;

public:
    explicit CFd(int fd = -1) : _fd(fd) {}
    ~CFd() {
        if (_fd >= 0) close(_fd);
    }
    CFd(const CFd &) = delete;
    CFd &operator=(const CFd &) = delete;
    int Get() const { return _fd; }
    int Detach() {
        const int fd = _fd;
        _fd = -1;
        return fd;
    }
    void Reset(int fd) {
        if (_fd >= 0) {
            const int err = errno;
            close(_fd);
            errno = err;
        }
        _fd = fd;
    }
};

// Splits at '/', dropping empty and "." parts; ".." is refused.
bool SplitRelPath(const UString &relPath, AStringVector &parts) {
    parts.Clear();
    unsigned start = 0;
    for (unsigned i = 0; i <= relPath.Len(); i++) {
        if (i != relPath.Len() && relPath[i] != L'/') continue;
        if (i > start) {
            const UString part = relPath.Mid(start, i - start);
            if (part == L"..") {
                errno = EPERM;
                return false;
            }
            if (part != L".") parts.Add(UnicodeStringToMultiByte(part));
        }
        start = i + 1;
    }
    if (parts.IsEmpty()) {
        errno = ENOENT;
        return false;
    }
    return true;
}

} // namespace

bool CExtractOutDir::Open(const UString &dirPath) {
    Close();
    AString os = NWindows::NFile::NName::GetOsPath(dirPath);
    if (os.IsEmpty()) os = ".";
    _fd = open(os, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    return _fd >= 0;
}

void CExtractOutDir::Close() {
    if (_fd >= 0) close(_fd);
    _fd = -1;
}

int CExtractOutDir::OpenParent(const UString &relPath, bool createDirs, AString &leaf) const {
    AStringVector parts;
    if (_fd < 0) {
        errno = EBADF;
        return -1;
    }
    if (!SplitRelPath(relPath, parts)) return -1;
    CFd cur(fcntl(_fd, F_DUPFD_CLOEXEC, 0));
    if (cur.Get() < 0) return -1;
    for (unsigned i = 0; i + 1 < parts.Size(); i++) {
        if (createDirs && mkdirat(cur.Get(), parts[i], 0700) != 0 && errno != EEXIST) return -1;
        const int next = openat(cur.Get(), parts[i], kDirFlags);
        if (next < 0) return -1;
        cur.Reset(next);
    }
    leaf = parts.Back();
    return cur.Detach();
}

bool CExtractOutDir::CreateDirs(const UString &relPath) const {
    AString leaf;
    CFd parent(OpenParent(relPath, true, leaf));
    if (parent.Get() < 0) return false;
    if (mkdirat(parent.Get(), leaf, 0700) != 0 && errno != EEXIST) return false;
    struct stat st;
    if (fstatat(parent.Get(), leaf, &st, AT_SYMLINK_NOFOLLOW) != 0) return false;
    if (!S_ISDIR(st.st_mode)) {
        errno = S_ISLNK(st.st_mode) ? ELOOP : ENOTDIR;
        return false;
    }
    return true;
}

bool CExtractOutDir::Stat(const UString &relPath, struct stat &st) const {
    AString leaf;
    CFd parent(OpenParent(relPath, false, leaf));
    if (parent.Get() < 0) return false;
    return fstatat(parent.Get(), leaf, &st, AT_SYMLINK_NOFOLLOW) == 0;
}

int CExtractOutDir::OpenFile(const UString &relPath, bool keepData, bool createDirs) const {
    AString leaf;
    CFd parent(OpenParent(relPath, createDirs, leaf));
    if (parent.Get() < 0) return -1;
    const mode_t mode = (mode_t)(0666 & ~(gbl_umask.current_umask & 077));
    int flags = O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC;
    if (!keepData) {
        // A link in the way is replaced, never written through.
        struct stat st;
        if (fstatat(parent.Get(), leaf, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode) &&
            unlinkat(parent.Get(), leaf, 0) != 0)
            return -1;
        flags |= O_TRUNC;
    }
    const int fd = openat(parent.Get(), leaf, flags, mode);
    if (fd < 0) return -1;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        // A device or a FIFO planted in the output folder is no file to extract into.
        close(fd);
        errno = EPERM;
        return -1;
    }
    return fd;
}

int CExtractOutDir::OpenDir(const UString &relPath) const {
    AString leaf;
    CFd parent(OpenParent(relPath, false, leaf));
    if (parent.Get() < 0) return -1;
    return openat(parent.Get(), leaf, kDirFlags);
}

bool CExtractOutDir::DeleteFile(const UString &relPath) const {
    AString leaf;
    CFd parent(OpenParent(relPath, false, leaf));
    if (parent.Get() < 0) return false;
    return unlinkat(parent.Get(), leaf, 0) == 0;
}

bool CExtractOutDir::RemoveEmptyDir(const UString &relPath) const {
    AString leaf;
    CFd parent(OpenParent(relPath, false, leaf));
    if (parent.Get() < 0) return false;
    return unlinkat(parent.Get(), leaf, AT_REMOVEDIR) == 0;
}

bool CExtractOutDir::Rename(const UString &fromRelPath, const UString &toRelPath) const {
    AString fromLeaf, toLeaf;
    CFd from(OpenParent(fromRelPath, false, fromLeaf));
    if (from.Get() < 0) return false;
    CFd to(OpenParent(toRelPath, false, toLeaf));
    if (to.Get() < 0) return false;
    return renameat(from.Get(), fromLeaf, to.Get(), toLeaf) == 0;
}

bool CExtractOutDir::HardLink(const UString &targetRelPath, const UString &relPath) const {
    AString targetLeaf, leaf;
    CFd target(OpenParent(targetRelPath, false, targetLeaf));
    if (target.Get() < 0) return false;
    CFd parent(OpenParent(relPath, true, leaf));
    if (parent.Get() < 0) return false;
    return linkat(target.Get(), targetLeaf, parent.Get(), leaf, 0) == 0;
}

bool CExtractOutDir::ConvertPlaceholderToLink(const UString &relPath, UInt64 dev, UInt64 ino, const FILETIME *aTime,
                                              const FILETIME *mTime) const {
    AString leaf;
    CFd parent(OpenParent(relPath, false, leaf));
    if (parent.Get() < 0) return false;
    CFd file(openat(parent.Get(), leaf, O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (file.Get() < 0) return false;
    struct stat st;
    if (fstat(file.Get(), &st) != 0) return false;
    if (!S_ISREG(st.st_mode) || (UInt64)st.st_dev != dev || (UInt64)st.st_ino != ino) {
        errno = EPERM;
        return false;
    }
    // The whole content is the target; Linux allows up to 4095 bytes.
    char target[4096];
    size_t len = 0;
    for (;;) {
        const ssize_t n = read(file.Get(), target + len, sizeof(target) - len);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) break;
        len += (size_t)n;
        if (len == sizeof(target)) {
            errno = ENAMETOOLONG;
            return false;
        }
    }
    target[len] = 0;
    if (len == 0 || strlen(target) != len) {
        errno = EINVAL;
        return false;
    }
    if (unlinkat(parent.Get(), leaf, 0) != 0) return false;
    if (symlinkat(target, parent.Get(), leaf) != 0) return false;
    if (aTime || mTime) {
        struct timespec ts[2];
        NWindows::NTime::FileTimesToTimespecs(aTime, mTime, ts);
        utimensat(parent.Get(), leaf, ts, AT_SYMLINK_NOFOLLOW); // a time that cannot be set costs no link
    }
    return true;
}
