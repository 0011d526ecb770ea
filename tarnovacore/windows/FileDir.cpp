#include "FileDir.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include "FileFind.h"
#include "Synchronization.h"
#include "WinTime.h"
#include "TimeUtils.h"
#include "common/IntToString.h"
#include "common/StringConvert.h"

namespace NWindows {
namespace NFile {
namespace NDir {

static NSynchronization::CCriticalSection g_CountCriticalSection;
static UInt32 memo_count = 0;

static const unsigned kCurDirBufSize = 1021;

bool GetCurrentDir(UString &path) {
    char buf[kCurDirBufSize + 3];
    path.Empty();
    if (!getcwd(buf, kCurDirBufSize)) return false;
    path = L"c:";
    path += MultiByteToUnicodeString(AString(buf));
    return true;
}

bool SetCurrentDir(CFSTR path) {
    if (!path) {
        errno = ENOENT;
        return false;
    }
    return chdir(UnicodeStringToMultiByte(UString(path))) == 0;
}

bool MyGetFullPathName(CFSTR path, UString &resFullPath) {
    return NName::GetFullPath(path, resFullPath);
}

bool GetFullPathAndSplit(CFSTR path, UString &resDirPrefix, UString &resFileName) {
    UString full;
    const bool res = MyGetFullPathName(path, full);
    if (!res) full = path;
    const int pos = full.ReverseFind_PathSepar();
    resDirPrefix = full.Left((unsigned)(pos + 1));
    resFileName = full.Ptr((unsigned)(pos + 1));
    return res;
}

bool GetOnlyDirPrefix(CFSTR path, UString &resDirPrefix) {
    UString name;
    return GetFullPathAndSplit(path, resDirPrefix, name);
}

bool MyGetTempPath(UString &path) {
    path = L"/tmp/";
    return true;
}

static bool IsEmptyPath(CFSTR path) {
    if (!path || !*path) {
        errno = ENOENT;
        return true;
    }
    return false;
}

bool CreateDir(CFSTR path) {
    if (IsEmptyPath(path)) return false;
    return mkdir(NName::GetOsPath(path), 0700) == 0;
}

// A folder on a path the user names (an output folder, an archive's folder) is an ordinary one:
// what the umask allows, as mkdir -p makes it. Temporary folders stay private (CreateDir).
static bool CreatePublicDir(CFSTR path) {
    if (IsEmptyPath(path)) return false;
    return mkdir(NName::GetOsPath(path), 0777) == 0;
}

// A name read from a folder that the locale could not decode comes back as its byte-per-unit
// form: an operation on an existing entry retries under that form, as opening does.
template <class TOp> static bool WithLatin1Retry(CFSTR path, TOp op) {
    const AString osPath = NName::GetOsPath(path);
    if (op(osPath)) return true;
    const int err = errno;
    AString latin1;
    if (NName::GetLatin1RetryPath(osPath, latin1) && op(latin1)) return true;
    errno = err;
    return false;
}

bool RemoveDir(CFSTR path) {
    if (IsEmptyPath(path)) return false;
    return WithLatin1Retry(path, [](const AString &p) { return rmdir(p) == 0; });
}

bool DeleteFileAlways(CFSTR path) {
    if (IsEmptyPath(path)) return false;
    return WithLatin1Retry(path, [](const AString &p) { return remove(p) == 0; });
}

bool CreateComplexDir(CFSTR _path) {
    if (!_path) {
        errno = ENOENT;
        return false;
    }
    UString path = _path;
    {
        const int pos = path.ReverseFind_PathSepar();
        if (pos > 0 && (unsigned)pos == path.Len() - 1) {
            if (path.Len() == 3 && path[1] == ':') return true;
            path.DeleteBack();
        }
    }
    const UString full = path;

    unsigned done = path.Len();
    for (;;) {
        if (CreatePublicDir(path)) break;
        if (errno == EEXIST) {
            // The whole path existing as a file is no folder to write into.
            if (done == full.Len()) {
                struct stat st;
                if (stat(NName::GetOsPath(full), &st) != 0 || !S_ISDIR(st.st_mode)) {
                    errno = EEXIST;
                    return false;
                }
            }
            break;
        }
        const int pos = path.ReverseFind_PathSepar();
        if (pos <= 0 || path[(unsigned)pos - 1] == ':') return false;
        path.DeleteFrom((unsigned)pos);
        done = (unsigned)pos;
    }

    while (done < full.Len()) {
        int next = full.Find(L'/', done + 1);
        if (next < 0) next = (int)full.Len();
        if (!CreatePublicDir(full.Left((unsigned)next))) return false;
        done = (unsigned)next;
    }
    return true;
}

// Copies the open source into a fresh temporary file beside the target and renames it over the
// target. On any failure the temporary file goes and the target is left as it was.
static bool CopyAcrossFileSystems(CFSTR to, int srcFd, const AString &toOs) {
    struct stat st;
    if (fstat(srcFd, &st) != 0) return false;
    // A short name of its own in the target's folder: the target's name plus a suffix could
    // pass the file system's name length limit.
    UString tempPrefix = to;
    tempPrefix.DeleteFrom((unsigned)(tempPrefix.ReverseFind_PathSepar() + 1));
    tempPrefix += L".tarnova-move";
    UString tempPath;
    NIO::COutFile out;
    if (!CreateTempName(tempPrefix, true, tempPath, &out)) return false;
    const AString tempOs = NName::GetOsPath(tempPath);
    bool ok = true;
    char buf[1 << 14];
    for (;;) {
        ssize_t n;
        do
            n = read(srcFd, buf, sizeof(buf));
        while (n < 0 && errno == EINTR);
        if (n < 0) {
            ok = false;
            break;
        }
        if (n == 0) break;
        size_t pos = 0;
        while (pos < (size_t)n) {
            UInt32 written = 0;
            if (!out.Write(buf + pos, (UInt32)((size_t)n - pos), written)) {
                ok = false;
                break;
            }
            if (written == 0) {
                errno = ENOSPC;
                ok = false;
                break;
            }
            pos += written;
        }
        if (!ok) break;
    }
    // A failed close can be the first report of a failed write (full disk, network folder).
    if (!out.Close()) ok = false;
    if (ok) chmod(tempOs, st.st_mode & (mode_t)gbl_umask.mask);
    if (ok && rename(tempOs, toOs) != 0) ok = false;
    if (!ok) {
        const int err = errno;
        unlink(tempOs);
        errno = err;
    }
    return ok;
}

bool MyMoveFile(CFSTR from, CFSTR to) {
    if (IsEmptyPath(from) || IsEmptyPath(to)) return false;
    AString fromOs = NName::GetOsPath(from);
    const AString toOs = NName::GetOsPath(to);
    {
        struct stat st;
        AString latin1;
        if (lstat(fromOs, &st) != 0 && NName::GetLatin1RetryPath(fromOs, latin1) && lstat(latin1, &st) == 0)
            fromOs = latin1;
    }
    if (rename(fromOs, toOs) == 0) return true;
    if (errno != EXDEV) return false;
    const int srcFd = open(fromOs, O_RDONLY | O_CLOEXEC);
    if (srcFd < 0) return false;
    const bool ok = CopyAcrossFileSystems(to, srcFd, toOs);
    const int err = errno;
    close(srcFd);
    if (!ok) {
        errno = err;
        return false;
    }
    return unlink(fromOs) == 0;
}

bool SetDirTime(CFSTR path, const FILETIME * /* cTime */, const FILETIME *aTime, const FILETIME *mTime) {
    if (!path) return true;
    if (!aTime && !mTime) return true;
    struct timespec ts[2];
    NTime::FileTimesToTimespecs(aTime, mTime, ts);
    // A link in place of the folder gets the times itself; its target is never touched. The
    // result is not reported, as before: a time that cannot be set is not an error here.
    utimensat(AT_FDCWD, NName::GetOsPath(path), ts, AT_SYMLINK_NOFOLLOW);
    return true;
}

static bool StatWithRetry(CFSTR path, bool noFollow, AString &osPath, struct stat &st) {
    osPath = NName::GetOsPath(path);
    if ((noFollow ? lstat(osPath, &st) : stat(osPath, &st)) == 0) return true;
    const int err = errno;
    AString latin1;
    if (NName::GetLatin1RetryPath(osPath, latin1) && (noFollow ? lstat(latin1, &st) : stat(latin1, &st)) == 0) {
        osPath = latin1;
        return true;
    }
    errno = err;
    return false;
}

bool SetFileAttrib(CFSTR path, DWORD attrib, CObjectVector<CDelayedSymLink> *delayedSymLinks) {
    if (!path) {
        errno = ENOENT;
        return false;
    }
    AString osPath;
    struct stat st;
    if (!StatWithRetry(path, global_use_lstat != 0, osPath, st)) return false;
    // chmod follows links, and a mode is never applied through one.
    bool isLink = S_ISLNK(st.st_mode);
    if (!isLink) {
        struct stat lst;
        isLink = lstat(osPath, &lst) == 0 && S_ISLNK(lst.st_mode);
    }
    const mode_t mask = (mode_t)gbl_umask.mask;

    if (attrib & FILE_ATTRIBUTE_POSIX_MODE) {
        const mode_t m = (mode_t)(attrib >> 16);
        if (S_ISLNK(m)) {
            if (delayedSymLinks) {
                delayedSymLinks->Add(CDelayedSymLink(osPath));
                return true;
            }
            return ConvertPlaceholderToSymLink(osPath);
        }
        if (isLink) return true;
        if (S_ISREG(m))
            chmod(osPath, m & mask);
        else if (S_ISDIR(m))
            chmod(osPath, (m | 0700) & mask);
        return true;
    }
    if (isLink) return true;
    mode_t m = st.st_mode;
    if (!S_ISDIR(m) && (attrib & FILE_ATTRIBUTE_READONLY)) m &= ~(mode_t)0222;
    chmod(osPath, m & mask);
    return true;
}

static bool RemoveSubDir(int parentFd, const char *name);

// Empties the open folder dirFd (taken over and closed). Entries are looked at with
// AT_SYMLINK_NOFOLLOW and folders opened with O_NOFOLLOW, so a link is removed, never entered.
static bool RemoveFolderContents(int dirFd) {
    DIR *dir = fdopendir(dirFd);
    if (!dir) {
        const int err = errno;
        close(dirFd);
        errno = err;
        return false;
    }
    const int fd = dirfd(dir);
    bool ok = true;
    for (;;) {
        const struct dirent *de = readdir(dir);
        if (!de) break; // a reading error ends the folder like its end does; rmdir then tells
        const char *name = de->d_name;
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) continue;
        struct stat st;
        if (fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno == ENOENT) continue;
            ok = false;
            break;
        }
        if (S_ISDIR(st.st_mode) ? !RemoveSubDir(fd, name) : (unlinkat(fd, name, 0) != 0 && errno != ENOENT)) {
            ok = false;
            break;
        }
    }
    const int err = errno;
    closedir(dir);
    errno = err;
    return ok;
}

static bool RemoveSubDir(int parentFd, const char *name) {
    const int fd = openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st;
    if (fstat(fd, &st) == 0) fchmod(fd, st.st_mode & (mode_t)gbl_umask.mask);
    if (!RemoveFolderContents(fd)) return false;
    return unlinkat(parentFd, name, AT_REMOVEDIR) == 0;
}

static bool RemoveFolderAt(const AString &osPath) {
    const int fd = open(osPath, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        // Not a folder, a link, or not readable: rmdir succeeds only on an empty folder, and
        // "not empty" would hide the reason why it could not be emptied.
        const int err = errno;
        if (rmdir(osPath) == 0) return true;
        if (errno == ENOTEMPTY || errno == EEXIST) errno = err;
        return false;
    }
    struct stat st;
    if (fstat(fd, &st) == 0) fchmod(fd, st.st_mode & (mode_t)gbl_umask.mask);
    if (!RemoveFolderContents(fd)) return false;
    return rmdir(osPath) == 0;
}

bool RemoveDirWithSubItems(const UString &path) {
    NFind::CFileInfo fi;
    AString osPath;
    if (!NFind::FindExactPath(path, fi, NFind::ELinkRule::kNever, &osPath)) return false;
    if (!fi.IsDir()) {
        errno = ERROR_DIRECTORY;
        return false;
    }
    if (fi.Attrib & FILE_ATTRIBUTE_REPARSE_POINT) return rmdir(osPath) == 0;
    return RemoveFolderAt(osPath);
}

bool RemoveDirectoryWithSubItems(const UString &path) {
    AString osPath = NName::GetOsPath(path);
    struct stat st;
    AString latin1;
    if (lstat(osPath, &st) != 0 && NName::GetLatin1RetryPath(osPath, latin1) && lstat(latin1, &st) == 0)
        osPath = latin1;
    return RemoveFolderAt(osPath);
}

static void AddHex8(UString &s, UInt32 v) {
    // Lowest nibble first.
    for (unsigned i = 0; i < 8; i++) {
        const unsigned t = v & 0xF;
        v >>= 4;
        s += (wchar_t)(t < 10 ? '0' + t : 'A' + (t - 10));
    }
}

bool CreateTempName(CFSTR prefix, bool addRandom, UString &path, NIO::COutFile *outFile) {
    UInt32 count;
    {
        NSynchronization::CCriticalSectionLock lock(g_CountCriticalSection);
        count = memo_count++;
    }
    UInt32 v = (UInt32)getpid() ^ (GetTickCount() << 12) ^ (count << 14);
    for (unsigned i = 0; i < 100; i++) {
        path = prefix;
        if (addRandom) {
            if (outFile) path += L'.';
            AddHex8(path, v);
            UInt32 step = GetTickCount() + 2;
            if (step == 0) step = 1;
            v += step;
        }
        addRandom = true;
        if (outFile) path += L".tmp";
        if (NFind::DoesFileOrDirExist(path)) {
            errno = EEXIST;
            continue;
        }
        const bool created = outFile ? outFile->Create(path, false) : CreateDir(path);
        if (created) return true;
        if (errno != EEXIST) break;
    }
    path.Empty();
    return false;
}

} // namespace NDir
} // namespace NFile
} // namespace NWindows

bool AutoRenamePath(UString &path) {
    using NWindows::NFile::NFind::DoesFileOrDirExist;
    const int dotPos = path.ReverseFind_Dot();
    const int slashPos = path.ReverseFind_PathSepar();
    UString base = path;
    UString ext;
    if (dotPos > slashPos + 1) {
        base = path.Left((unsigned)dotPos);
        ext = path.Ptr((unsigned)dotPos);
    }
    base += L'_';
    UInt32 lo = 1;
    UInt32 hi = (UInt32)1 << 30;
    wchar_t num[16];
    while (lo != hi) {
        const UInt32 mid = (lo + hi) / 2;
        ConvertUInt32ToString(mid, num);
        if (DoesFileOrDirExist(base + num + ext))
            lo = mid + 1;
        else
            hi = mid;
    }
    ConvertUInt32ToString(lo, num);
    path = base + num + ext;
    return !DoesFileOrDirExist(path);
}

DWORD GetFullPathNameW(const wchar_t *name, DWORD bufferLength, wchar_t *buffer, wchar_t **filePart) {
    if (!name) return 0;
    UString res;
    if (name[0] == '/') {
        res = L"c:";
        res += name;
    } else if (name[0] != 0 && (UInt32)name[0] < 128 && name[1] == ':') {
        res = name;
    } else {
        if (!NWindows::NFile::NDir::GetCurrentDir(res)) return 0;
        res += L'/';
        res += name;
    }
    if (res.Len() + 1 > bufferLength || !buffer) return 0;
    wmemcpy(buffer, res, (size_t)res.Len() + 1);
    if (filePart) *filePart = buffer + (res.ReverseFind_PathSepar() + 1);
    return res.Len();
}
