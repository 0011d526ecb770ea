#include "ArchiveTempFile.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "common/IntToString.h"
#include "windows/FileDir.h"
#include "windows/FileName.h"

using namespace NWindows;
using namespace NFile;

bool CArchiveTempFile::NoUnnamedFiles = false;

static HRESULT ErrnoResult() {
    return HRESULT_FROM_ERRNO(errno != 0 ? errno : EIO);
}

// Where fall-back files are noted while they are written: one small file per temporary file.
static std::string NotesFolder() {
    std::string dir;
    const char *cache = getenv("XDG_CACHE_HOME");
    if (cache && cache[0] == '/')
        dir = cache;
    else {
        const char *home = getenv("HOME");
        if (!home || home[0] != '/') return std::string();
        dir = std::string(home) + "/.cache";
    }
    return dir + "/tarnova/unfinished";
}

static bool MakeFolders(const std::string &path) {
    for (size_t pos = 1;; pos++) {
        pos = path.find('/', pos);
        const std::string part = path.substr(0, pos);
        if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
        if (pos == std::string::npos) return true;
    }
}

static bool ReadSmallFile(const std::string &path, std::string &text) {
    const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    char buf[8192];
    const ssize_t n = read(fd, buf, sizeof(buf));
    close(fd);
    if (n <= 0 || (size_t)n == sizeof(buf)) return false;
    text.assign(buf, (size_t)n);
    return true;
}

// Removes the fall-back files for names starting with prefix that a run which ended before its
// file was complete left behind: noted by this program, still the same file, and locked by no one.
static void RemoveStaleFiles(const std::string &prefix) {
    const std::string notes = NotesFolder();
    if (notes.empty()) return;
    DIR *d = opendir(notes.c_str());
    if (!d) return;
    std::vector<std::string> names;
    while (const struct dirent *e = readdir(d))
        if (e->d_name[0] != '.') names.push_back(e->d_name);
    closedir(d);
    for (const std::string &name : names) {
        const std::string note = notes + "/" + name;
        std::string text;
        if (!ReadSmallFile(note, text)) continue;
        const size_t nl = text.find('\n');
        if (nl == std::string::npos) continue;
        unsigned long long dev = 0, ino = 0;
        if (sscanf(text.c_str(), "%llu %llu", &dev, &ino) != 2) continue;
        const std::string path = text.substr(nl + 1);
        if (path.compare(0, prefix.size(), prefix) != 0) continue;
        if (path.find_first_not_of("0123456789", prefix.size()) != std::string::npos) continue;
        const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            if (errno == ENOENT) unlink(note.c_str());
            continue;
        }
        struct stat st;
        if (fstat(fd, &st) != 0 || st.st_dev != (dev_t)dev || st.st_ino != (ino_t)ino) {
            // Someone else's file took the name since: not ours to remove.
            unlink(note.c_str());
        } else if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
            struct stat now;
            if (lstat(path.c_str(), &now) == 0 && now.st_dev == st.st_dev && now.st_ino == st.st_ino)
                unlink(path.c_str());
            unlink(note.c_str());
        }
        close(fd);
    }
}

static std::string WriteNote(int fd, const std::string &path) {
    struct stat st;
    if (fstat(fd, &st) != 0) return std::string();
    const std::string notes = NotesFolder();
    if (notes.empty() || !MakeFolders(notes)) return std::string();
    static unsigned counter = 0;
    const std::string note = notes + "/" + std::to_string(getpid()) + "-" +
                             std::to_string((unsigned long long)st.st_ino) + "-" +
                             std::to_string(__atomic_add_fetch(&counter, 1, __ATOMIC_RELAXED));
    const std::string text = std::to_string((unsigned long long)st.st_dev) + " " +
                             std::to_string((unsigned long long)st.st_ino) + "\n" + path;
    const int nfd = open(note.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (nfd < 0) return std::string();
    const bool ok = write(nfd, text.data(), text.size()) == (ssize_t)text.size();
    close(nfd);
    if (!ok) {
        unlink(note.c_str());
        return std::string();
    }
    return note;
}

// Copies the whole of src into dst, in the kernel where it can.
static bool CopyWholeFile(int src, int dst) {
    off_t inPos = 0;
    for (;;) {
        const ssize_t n = copy_file_range(src, &inPos, dst, nullptr, (size_t)1 << 30, 0);
        if (n == 0) return true;
        if (n > 0) continue;
        if (errno == EINTR) continue;
        if (errno != EXDEV && errno != ENOSYS && errno != EINVAL && errno != EOPNOTSUPP) return false;
        break;
    }
    std::vector<char> buf((size_t)1 << 20);
    for (;;) {
        const ssize_t n = pread(src, buf.data(), buf.size(), inPos);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) return true;
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = write(dst, buf.data() + done, (size_t)(n - done));
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0) return false;
            done += w;
        }
        inPos += n;
    }
}

static UString NumberedName(const UString &prefix, unsigned i) {
    UString path = prefix;
    if (i != 0) {
        wchar_t num[16];
        ConvertUInt32ToString(i, num);
        path += num;
    }
    return path;
}

// Links the unnamed file under the first free one of prefix, prefix1, prefix2, ...
static bool LinkUnderFreeName(NIO::COutFile &file, const UString &prefix, UString &path) {
    for (unsigned i = 0; i < 65536; i++) {
        path = NumberedName(prefix, i);
        if (file.LinkUnnamed(path)) return true;
        if (errno != EEXIST) return false;
    }
    errno = EEXIST;
    return false;
}

// Gives the unnamed file the name finalPath: directly for a new archive (failing when the name
// exists), else under a free ".tmp" name beside it that one rename then moves over the old file.
static bool LinkUnnamed(NIO::COutFile &file, const UString &finalPath, bool replace) {
    if (!replace) return file.LinkUnnamed(finalPath);
    UString temp;
    if (!LinkUnderFreeName(file, finalPath + L".tmp", temp)) return false;
    const AString tempOs = NName::GetOsPath(temp);
    if (rename(tempOs, NName::GetOsPath(finalPath)) == 0) return true;
    const int err = errno;
    unlink(tempOs);
    errno = err;
    return false;
}

bool CArchiveTempFile::CreateUnnamedFile(NIO::COutFile &file, const UString &folder) {
    return !NoUnnamedFiles && access("/proc/self/fd", X_OK) == 0 && file.CreateUnnamed(folder);
}

HRESULT CArchiveTempFile::Create(const UString &folder, const UString &baseName, UString &failedPath) {
    Discard();
    _prefix = folder + baseName + L".tmp";
    _fileSpec = new COutFileStream;
    _stream = _fileSpec;
    if (CreateUnnamedFile(_fileSpec->File, folder)) {
        _unnamed = true;
        return S_OK;
    }
    const UString &prefix = _prefix;
    RemoveStaleFiles(std::string(NName::GetOsPath(prefix)));
    for (unsigned i = 0;; i++) {
        const UString path = NumberedName(prefix, i);
        if (_fileSpec->Create(path, false)) {
            _namedPath = path;
            break;
        }
        // A ".tmp" name that someone else holds is left alone.
        if (errno == EEXIST && i < 65535) continue;
        failedPath = path;
        const int err = errno != 0 ? errno : EIO;
        Forget();
        errno = err;
        return HRESULT_FROM_ERRNO(err);
    }
    // The lock tells a later run that this file is being written, the note that it is ours.
    const int fd = _fileSpec->File.Fd();
    flock(fd, LOCK_EX | LOCK_NB);
    const std::string note = WriteNote(fd, std::string(NName::GetOsPath(_namedPath)));
    _noteFile = note.c_str();
    return S_OK;
}

void CArchiveTempFile::Forget() {
    if (!_noteFile.IsEmpty()) unlink(_noteFile);
    _noteFile.Empty();
    _stream.Release();
    _fileSpec = nullptr;
    _unnamed = false;
}

void CArchiveTempFile::Discard() {
    if (_fileSpec) _fileSpec->File.Close();
    if (!_namedPath.IsEmpty()) NDir::DeleteFileAlways(_namedPath);
    _namedPath.Empty();
    Forget();
}

HRESULT CArchiveTempFile::Commit(const UString &finalPath, bool replace) {
    if (!_fileSpec) return E_FAIL;
    NIO::COutFile &file = _fileSpec->File;
    file.ApplyTimes();
    const AString finalOs = NName::GetOsPath(finalPath);
    // The replacement keeps the old archive's permissions: a private archive stays private.
    struct stat old;
    const bool keepMode = replace && stat(finalOs, &old) == 0;
    if (keepMode) fchmod(file.Fd(), old.st_mode & 07777);

    if (!_unnamed) {
        const bool closed = file.Close();
        const int closeErr = errno;
        if (!_noteFile.IsEmpty()) unlink(_noteFile);
        _noteFile.Empty();
        if (!closed) {
            errno = closeErr;
            return ErrnoResult();
        }
        // One rename replaces the old archive; when it fails the new one stays under its name.
        if (!NDir::MyMoveFile(_namedPath, finalPath)) return ErrnoResult();
        _namedPath.Empty();
        Forget();
        return S_OK;
    }

    bool linked = LinkUnnamed(file, finalPath, replace);
    if (!linked && errno == EXDEV) {
        // Written in a work folder on another file system: copied into an unnamed file beside the
        // target first, so that a kill during the copy leaves nothing there either.
        UString finalFolder;
        NDir::GetOnlyDirPrefix(finalPath, finalFolder);
        NIO::COutFile copy;
        struct stat st;
        linked = copy.CreateUnnamed(finalFolder) && fstat(file.Fd(), &st) == 0 && CopyWholeFile(file.Fd(), copy.Fd());
        if (linked) {
            fchmod(copy.Fd(), st.st_mode & 07777);
            const struct timespec times[2] = {st.st_atim, st.st_mtim};
            futimens(copy.Fd(), times);
            linked = LinkUnnamed(copy, finalPath, replace);
        }
        const int err = errno;
        copy.Close();
        errno = err;
    }
    if (!linked) {
        const int err = errno != 0 ? errno : EIO;
        LinkUnderTemporaryName();
        errno = err;
        return HRESULT_FROM_ERRNO(err);
    }
    file.Close();
    Forget();
    return S_OK;
}

bool CArchiveTempFile::LinkUnderTemporaryName() {
    UString path;
    if (!LinkUnderFreeName(_fileSpec->File, _prefix, path)) return false;
    _namedPath = path;
    return true;
}
