#include "FSFolderSys.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>

#include "windows/FileIO.h"
#include "windows/FileName.h"

using namespace NWindows::NFile;

namespace NFsFolder {

HRESULT LastErrorResult() {
    const int err = errno;
    return HRESULT_FROM_ERRNO(err);
}

AString GetExistingOsPath(const UString &path) {
    const AString osPath = NName::GetOsPath(path);
    struct stat st;
    if (lstat(osPath, &st) == 0) return osPath;
    const int err = errno;
    AString latin1;
    if (NName::GetLatin1RetryPath(osPath, latin1) && lstat(latin1, &st) == 0) return latin1;
    errno = err;
    return osPath;
}

bool StatExisting(const UString &path, bool noFollow, struct stat &st) {
    const AString osPath = GetExistingOsPath(path);
    return (noFollow ? lstat(osPath, &st) : stat(osPath, &st)) == 0;
}

bool RenameNoReplace(const UString &from, const UString &to) {
    const AString fromOs = GetExistingOsPath(from);
    const AString toOs = NName::GetOsPath(to);
    if (renameat2(AT_FDCWD, fromOs, AT_FDCWD, toOs, RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    // A file system without the flag: check first, then rename.
    struct stat st;
    if (lstat(toOs, &st) == 0) {
        errno = EEXIST;
        return false;
    }
    return rename(fromOs, toOs) == 0;
}

int CreateTempFileBeside(const AString &destOs, AString &tempOs) {
    const int slash = destOs.ReverseFind_PathSepar();
    tempOs = slash < 0 ? AString() : destOs.Left((unsigned)slash + 1);
    tempOs += ".tarnova-XXXXXX";
    std::string name(tempOs.Ptr(), tempOs.Len());
    const int fd = mkostemp(&name[0], O_CLOEXEC);
    if (fd >= 0) tempOs = name.c_str();
    return fd;
}

static bool WriteAll(int fd, const char *data, size_t size) {
    while (size != 0) {
        const ssize_t n = write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        size -= (size_t)n;
    }
    return true;
}

bool ReplaceFileContents(const UString &path, const char *data, size_t size) {
    const AString osPath = GetExistingOsPath(path);
    mode_t mode = (mode_t)(0666 & gbl_umask.mask);
    struct stat st;
    if (stat(osPath, &st) == 0) mode = st.st_mode & 07777;
    AString tempOs;
    const int fd = CreateTempFileBeside(osPath, tempOs);
    if (fd < 0) return false;
    bool ok = WriteAll(fd, data, size) && fchmod(fd, mode) == 0;
    // A failed close can be the first report of a full disk.
    if (close(fd) != 0) ok = false;
    if (ok && rename(tempOs, osPath) != 0) ok = false;
    if (!ok) {
        const int err = errno;
        unlink(tempOs);
        errno = err;
    }
    return ok;
}

} // namespace NFsFolder
