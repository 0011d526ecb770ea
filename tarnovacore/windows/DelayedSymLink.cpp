#include "DelayedSymLink.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace NWindows {
namespace NFile {
namespace NDir {

bool ConvertPlaceholderToSymLink(const char *osPath) {
    // The whole content is the target: a target may hold a line feed, and Linux allows targets
    // up to 4095 bytes. O_NOFOLLOW: the placeholder is a regular file, never a link already.
    char target[4096];
    const int fd = open(osPath, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    size_t len = 0;
    for (;;) {
        const ssize_t n = read(fd, target + len, sizeof(target) - len);
        if (n < 0) {
            if (errno == EINTR) continue;
            const int err = errno;
            close(fd);
            errno = err;
            return false;
        }
        if (n == 0) break;
        len += (size_t)n;
        if (len == sizeof(target)) break;
    }
    close(fd);
    if (len == 0) {
        errno = EINVAL;
        return false;
    }
    if (len == sizeof(target)) {
        errno = ENAMETOOLONG;
        return false;
    }
    target[len] = 0;
    if (strlen(target) != len) {
        errno = EINVAL;
        return false;
    }
    if (unlink(osPath) != 0) return false;
    return symlink(target, osPath) == 0;
}

CDelayedSymLink::CDelayedSymLink(const char *osPath) : _source(osPath), _dev(0), _ino(0) {
    struct stat st;
    if (lstat(_source, &st) == 0) {
        _dev = (UInt64)st.st_dev;
        _ino = (UInt64)st.st_ino;
    }
}

bool CDelayedSymLink::Create() {
    if (_dev == 0) {
        errno = EPERM;
        return false;
    }
    struct stat st;
    if (lstat(_source, &st) != 0) return false;
    if ((UInt64)st.st_dev != _dev || (UInt64)st.st_ino != _ino) {
        errno = EPERM;
        return false;
    }
    return ConvertPlaceholderToSymLink(_source);
}

} // namespace NDir
} // namespace NFile
} // namespace NWindows
