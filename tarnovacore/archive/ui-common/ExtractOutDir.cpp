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
};

// Splits at '/', dropping empty and "." parts; ".." is refused.
bool SplitRelPath(const UString &relPath, CExtractOutDir::CRelParts &parts) {
    parts.bytes.clear();
    parts.starts.clear();
    parts.bytes.reserve(relPath.Len() + 1);
    bool ascii = true;
    for (unsigned i = 0; i < relPath.Len() && ascii; i++)
        ascii = (UInt32)relPath[i] < 0x80;
    unsigned start = 0;
    for (unsigned i = 0; i <= relPath.Len(); i++) {
        if (i != relPath.Len() && relPath[i] != L'/') continue;
        const unsigned len = i - start;
        const wchar_t *p = relPath.Ptr(start);
        start = i + 1;
        if (len == 0 || (len == 1 && p[0] == L'.')) continue;
        if (len == 2 && p[0] == L'.' && p[1] == L'.') {
            errno = EPERM;
            return false;
        }
        parts.starts.push_back((unsigned)parts.bytes.size());
        if (ascii) {
            for (unsigned k = 0; k < len; k++)
                parts.bytes += (char)p[k];
        } else {
            const AString a = UnicodeStringToMultiByte(relPath.Mid((unsigned)(p - relPath.Ptr()), len));
            parts.bytes.append(a.Ptr(), a.Len());
        }
        parts.bytes += '\0';
    }
    if (parts.starts.empty()) {
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
    ForgetDirs();
    if (_fd >= 0) close(_fd);
    _fd = -1;
}

namespace {

// Held descriptors: at most about kRecentDirs + kMaxCheckpoints, well below the descriptor limit.
const size_t kRecentDirs = 64;
const size_t kMaxCheckpoints = 64;
const size_t kReleaseAt = kRecentDirs + kMaxCheckpoints + 32;

// Folders made by extraction get what the umask allows; a stored mode is applied at the end.
const mode_t kNewDirMode = 0777;

int OpenOrMakeDir(int parent, const char *name, bool createDirs) {
    if (createDirs && mkdirat(parent, name, kNewDirMode) != 0 && errno != EEXIST) return -1;
    return openat(parent, name, kDirFlags);
}

} // namespace

void CExtractOutDir::ForgetDirs() const {
    TruncateChain(0);
}

void CExtractOutDir::TruncateChain(size_t size) const {
    while (_chain.size() > size) {
        if (_chain.back().fd >= 0) {
            close(_chain.back().fd);
            _numHeld--;
        }
        _chain.pop_back();
    }
}

void CExtractOutDir::ReleaseSomeDirs(size_t depth) const {
    if (_numHeld <= kReleaseAt) return;
    const size_t size = _chain.size();
    // Power-of-two spacing: a checkpoint kept at one depth is still one when the chain grows.
    size_t stride = kRecentDirs;
    while (size / stride > kMaxCheckpoints)
        stride *= 2;
    const size_t recentStart = depth > kRecentDirs ? depth - kRecentDirs : 0;
    for (size_t i = 0; i < size; i++) {
        CLevel &level = _chain[i];
        if (level.fd < 0 || (i + 1) % stride == 0 || (i >= recentStart && i < depth)) continue;
        close(level.fd);
        level.fd = -1;
        _numHeld--;
    }
}

int CExtractOutDir::WalkDirs(const CRelParts &parts, unsigned count, bool createDirs) const {
    // The part shared with the last walk is known; a walk that leaves the chain replaces the rest
    // of it, one that stays on it (a folder above the last one) keeps it.
    size_t common = 0;
    while (common < count && common < _chain.size() && _chain[common].name == parts[(unsigned)common])
        common++;
    if (common < count) TruncateChain(common);

    // From the deepest held folder of the shared part, reopen what was let go.
    size_t start = common;
    while (start > 0 && _chain[start - 1].fd < 0)
        start--;
    int cur = start > 0 ? _chain[start - 1].fd : _fd;
    for (size_t i = start; i < common; i++) {
        const int next = OpenOrMakeDir(cur, _chain[i].name.c_str(), createDirs);
        if (next < 0) {
            TruncateChain(i);
            return -1;
        }
        _chain[i].fd = next;
        _numHeld++;
        cur = next;
    }
    for (unsigned i = (unsigned)common; i < count; i++) {
        const int next = OpenOrMakeDir(cur, parts[i], createDirs);
        if (next < 0) return -1;
        _chain.push_back(CLevel{parts[i], next});
        _numHeld++;
        cur = next;
    }
    ReleaseSomeDirs(count);
    return cur;
}

int CExtractOutDir::OpenParent(const UString &relPath, bool createDirs, AString &leaf) const {
    CRelParts parts;
    if (_fd < 0) {
        errno = EBADF;
        return -1;
    }
    if (!SplitRelPath(relPath, parts)) return -1;
    const int parent = WalkDirs(parts, parts.Size() - 1, createDirs);
    if (parent < 0) return -1;
    leaf = parts[parts.Size() - 1];
    return parent;
}

bool CExtractOutDir::CreateDirs(const UString &relPath) const {
    CRelParts parts;
    if (_fd < 0) {
        errno = EBADF;
        return false;
    }
    if (!SplitRelPath(relPath, parts)) return false;
    // Opening it without following a link is the check that it is a folder (ELOOP, ENOTDIR).
    return WalkDirs(parts, parts.Size(), true) >= 0;
}

bool CExtractOutDir::Stat(const UString &relPath, struct stat &st) const {
    AString leaf;
    const int parent = OpenParent(relPath, false, leaf);
    if (parent < 0) return false;
    return fstatat(parent, leaf, &st, AT_SYMLINK_NOFOLLOW) == 0;
}

int CExtractOutDir::OpenFile(const UString &relPath, bool keepData, bool createDirs) const {
    AString leaf;
    const int parent = OpenParent(relPath, createDirs, leaf);
    if (parent < 0) return -1;
    const mode_t mode = (mode_t)(0666 & ~(gbl_umask.current_umask & 077));
    // Never through a link; and a FIFO planted in the output folder does not block the run.
    int flags = O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK;
    if (!keepData) flags |= O_TRUNC;
    int fd = openat(parent, leaf, flags, mode);
    if (fd < 0 && errno == ELOOP && !keepData) {
        // A link in the way is replaced, never written through.
        struct stat st;
        if (fstatat(parent, leaf, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISLNK(st.st_mode)) return -1;
        if (unlinkat(parent, leaf, 0) != 0) return -1;
        fd = openat(parent, leaf, flags, mode);
    }
    if (fd < 0) return -1;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        // A device or a FIFO planted in the output folder is no file to extract into.
        close(fd);
        errno = EPERM;
        return -1;
    }
    return fd; // O_NONBLOCK changes nothing for a regular file
}

int CExtractOutDir::OpenDir(const UString &relPath) const {
    AString leaf;
    const int parent = OpenParent(relPath, false, leaf);
    if (parent < 0) return -1;
    return openat(parent, leaf, kDirFlags);
}

bool CExtractOutDir::DeleteFile(const UString &relPath) const {
    AString leaf;
    const int parent = OpenParent(relPath, false, leaf);
    if (parent < 0) return false;
    return unlinkat(parent, leaf, 0) == 0;
}

// After a folder may have gone or moved: no descriptor of it is used again.
bool CExtractOutDir::ForgetDirsAfter(bool ok) const {
    const int err = errno;
    ForgetDirs();
    errno = err;
    return ok;
}

int CExtractOutDir::OpenParentHeld(const UString &relPath, bool createDirs, AString &leaf) const {
    const int parent = OpenParent(relPath, createDirs, leaf);
    return parent < 0 ? -1 : fcntl(parent, F_DUPFD_CLOEXEC, 0);
}

bool CExtractOutDir::RemoveEmptyDir(const UString &relPath) const {
    AString leaf;
    const int parent = OpenParent(relPath, false, leaf);
    if (parent < 0) return false;
    return ForgetDirsAfter(unlinkat(parent, leaf, AT_REMOVEDIR) == 0);
}

bool CExtractOutDir::Rename(const UString &fromRelPath, const UString &toRelPath) const {
    AString fromLeaf, toLeaf;
    CFd from(OpenParentHeld(fromRelPath, false, fromLeaf));
    if (from.Get() < 0) return false;
    const int to = OpenParent(toRelPath, false, toLeaf);
    if (to < 0) return false;
    return ForgetDirsAfter(renameat(from.Get(), fromLeaf, to, toLeaf) == 0);
}

bool CExtractOutDir::HardLink(const UString &targetRelPath, const UString &relPath) const {
    AString targetLeaf, leaf;
    CFd target(OpenParentHeld(targetRelPath, false, targetLeaf));
    if (target.Get() < 0) return false;
    const int parent = OpenParent(relPath, true, leaf);
    if (parent < 0) return false;
    return linkat(target.Get(), targetLeaf, parent, leaf, 0) == 0;
}

bool CExtractOutDir::ConvertPlaceholderToLink(const UString &relPath, UInt64 dev, UInt64 ino, const FILETIME *aTime,
                                              const FILETIME *mTime) const {
    AString leaf;
    const int parent = OpenParent(relPath, false, leaf);
    if (parent < 0) return false;
    CFd file(openat(parent, leaf, O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
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
    if (unlinkat(parent, leaf, 0) != 0) return false;
    if (symlinkat(target, parent, leaf) != 0) return false;
    if (aTime || mTime) {
        struct timespec ts[2];
        NWindows::NTime::FileTimesToTimespecs(aTime, mTime, ts);
        utimensat(parent, leaf, ts, AT_SYMLINK_NOFOLLOW); // a time that cannot be set costs no link
    }
    return true;
}
