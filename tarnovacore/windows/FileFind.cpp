#include "FileFind.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>

#include "TimeUtils.h"
#include "common/StringConvert.h"
#include "common/Wildcard.h"

int global_use_lstat = 1;

namespace NWindows {
namespace NFile {
namespace NFind {

void UnixSecondsToFileTime(Int64 seconds, FILETIME &ft) throw() {
    const Int64 offset = (Int64)NTime::kUnixTimeOffset;
    const Int64 maxSeconds = (Int64)(~(UInt64)0 / NTime::kNumTimeQuantumsInSecond) - offset;
    UInt64 v;
    if (seconds <= -offset)
        v = 0;
    else if (seconds > maxSeconds)
        v = ~(UInt64)0;
    else
        v = (UInt64)(seconds + offset) * NTime::kNumTimeQuantumsInSecond;
    NTime::UInt64ToFileTime(v, ft);
}

void CFileInfoBase::ClearBase() throw() {
    Size = 0;
    CTime.dwLowDateTime = CTime.dwHighDateTime = 0;
    ATime = MTime = CTime;
    Attrib = 0;
    IsAltStream = false;
    IsDevice = false;
}

bool CFileInfo::IsDots() const throw() {
    if (!IsDir() || Name.IsEmpty() || Name[0] != '.') return false;
    return Name[1] == 0 || (Name[1] == '.' && Name[2] == 0);
}

static DWORD ModeToAttrib(mode_t m) {
    DWORD a = FILE_ATTRIBUTE_POSIX_MODE | ((DWORD)(m & 0xFFFF) << 16);
    a |= S_ISDIR(m) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
    if ((m & S_IWUSR) == 0) a |= FILE_ATTRIBUTE_READONLY;
    return a;
}

static bool StatByRule(const char *path, struct stat &st, ELinkRule rule) {
    const bool noFollow = rule == ELinkRule::kNever || (rule == ELinkRule::kByGlobalFlag && global_use_lstat);
    return (noFollow ? lstat(path, &st) : stat(path, &st)) == 0;
}

static void FillFromStat(const struct stat &st, CFileInfo &fi) {
    fi.Attrib = ModeToAttrib(st.st_mode);
    UnixSecondsToFileTime((Int64)st.st_ctim.tv_sec, fi.CTime);
    UnixSecondsToFileTime((Int64)st.st_mtim.tv_sec, fi.MTime);
    UnixSecondsToFileTime((Int64)st.st_atim.tv_sec, fi.ATime);
    fi.IsAltStream = false;
    fi.IsDevice = false;
    fi.Size = S_ISDIR(st.st_mode) ? 0 : (UInt64)st.st_size;
}

// Describes the entry `name` of the folder `dir` (both in the operating system's form). Deep trees
// make long paths: the system alone judges their length, and one too long fails with ENAMETOOLONG.
static bool Describe(const AString &dir, const AString &name, ELinkRule rule, CFileInfo &fi) {
    AString path = dir;
    if (path.IsEmpty() || path.Back() != '/') path.Add_PathSepar();
    path += name;
    fi.Name = MultiByteToUnicodeString(name);
    struct stat st;
    if (!StatByRule(path, st, rule)) return false;
    FillFromStat(st, fi);
    return true;
}

// The same for an entry of the open folder dir: the look-up goes from the folder, so only the
// entry's own name is resolved. A path the system would find too long keeps going the long way,
// where the system refuses it as before.
static bool DescribeEntry(DIR *dir, const AString &dirPath, const AString &name, ELinkRule rule, CFileInfo &fi) {
    if ((size_t)dirPath.Len() + 1 + name.Len() >= PATH_MAX) return Describe(dirPath, name, rule, fi);
    MultiByteToUnicodeString2(fi.Name, name);
    const bool noFollow = rule == ELinkRule::kNever || (rule == ELinkRule::kByGlobalFlag && global_use_lstat);
    struct stat st;
    if (fstatat(dirfd(dir), name, &st, noFollow ? AT_SYMLINK_NOFOLLOW : 0) != 0) return false;
    FillFromStat(st, fi);
    return true;
}

// Splits a search path into its folder and its last component (the pattern).
static void SplitSearchPath(const AString &path, AString &dir, AString &pattern) {
    unsigned len = path.Len();
    while (len > 0 && path[len - 1] == '/')
        len--;
    if (len == 0 && !path.IsEmpty()) {
        dir = "/";
        pattern = "/";
        return;
    }
    int slash = -1;
    for (unsigned i = len; i != 0;) {
        i--;
        if (path[i] == '/') {
            slash = (int)i;
            break;
        }
    }
    if (slash < 0) {
        dir = ".";
        pattern = len == 0 ? AString(".") : path.Left(len);
        return;
    }
    pattern = path.Mid((unsigned)slash + 1, len - (unsigned)slash - 1);
    unsigned dirLen = (unsigned)slash;
    while (dirLen > 0 && path[dirLen - 1] == '/')
        dirLen--;
    dir = dirLen == 0 ? AString("/") : path.Left(dirLen);
}

static AString PrepareSearchPath(CFSTR path) {
    AString s = UnicodeStringToMultiByte(UString(path));
    if (s.IsEmpty()) return s;
    if (s[0] == 'c' && s[1] == ':') s.DeleteFrontal(2);
    // Empty after dropping the drive means the current folder itself: keep it non-empty.
    if (s.IsEmpty()) s = ".";
    return s;
}

static bool IsExistingDir(const AString &dir) {
    struct stat st;
    return stat(dir, &st) == 0 && S_ISDIR(st.st_mode);
}

bool FindExactPath(CFSTR path, CFileInfo &fi, ELinkRule rule, AString *osPathUsed) {
    if (!path || !*path) {
        errno = ENOENT;
        return false;
    }
    const AString osPath = PrepareSearchPath(path);
    if (osPath.IsEmpty()) {
        errno = ENOENT;
        return false;
    }
    AString dir, name;
    SplitSearchPath(osPath, dir, name);
    if (name == "/") {
        // No entry of any folder is named "/".
        errno = ERROR_NO_MORE_FILES;
        return false;
    }
    if (Describe(dir, name, rule, fi)) {
        if (osPathUsed) *osPathUsed = osPath;
        return true;
    }
    int err = errno;
    AString latin1;
    if (NName::GetLatin1RetryPath(osPath, latin1)) {
        AString dir2, name2;
        SplitSearchPath(latin1, dir2, name2);
        CFileInfo fi2;
        if (Describe(dir2, name2, rule, fi2)) {
            fi = fi2;
            if (osPathUsed) *osPathUsed = latin1;
            return true;
        }
    }
    // A missing entry of an existing folder reads as "no such file in the folder".
    if (err == ENOENT && IsExistingDir(dir)) err = ERROR_NO_MORE_FILES;
    errno = err;
    return false;
}

// '*' or '?' in the last name (trailing slashes aside) make the look-up a search.
static bool LastNameHasWildcard(CFSTR path) {
    const UString s(path);
    unsigned end = s.Len();
    while (end > 0 && s[end - 1] == '/')
        end--;
    for (unsigned i = end; i != 0;) {
        const wchar_t c = s[--i];
        if (c == '/') break;
        if (c == '*' || c == '?') return true;
    }
    return false;
}

bool CFileInfo::Find(CFSTR path, bool followLink) {
    if (FindExactPath(path, *this, followLink ? ELinkRule::kFollow : ELinkRule::kByGlobalFlag)) return true;
    // An entry of exactly that name wins; otherwise the first entry the mask matches.
    const int err = errno;
    if (path && LastNameHasWildcard(path)) {
        CFindFile ff;
        if (ff.FindFirst(path, *this, followLink)) return true;
    }
    errno = err;
    return false;
}

static bool NameMatches(const AString &pattern, const char *name) {
    // The usual pattern of a folder scan, which every name matches.
    if (pattern.Len() == 1 && pattern[0] == '*') return true;
    // Byte by byte: widen each byte to one unit so that no locale decoding gets in the way.
    UString m, n;
    m.SetFromAscii(pattern);
    n.SetFromAscii(name);
    return EnhancedMaskTest(m, n);
}

bool CFindFile::Close() throw() {
    if (!_dir) return true;
    if (closedir(_dir) != 0) return false;
    _dir = nullptr;
    return true;
}

bool CFindFile::FindFirst(CFSTR wildcard, CFileInfo &fi, bool followLink) {
    if (!Close()) return false;
    if (!wildcard) {
        errno = ENOENT;
        return false;
    }
    const AString path = PrepareSearchPath(wildcard);
    if (path.IsEmpty()) {
        errno = ENOENT;
        return false;
    }
    SplitSearchPath(path, _directory, _pattern);
    _dir = opendir(_directory);
    if (!_dir) {
        const int err = errno;
        AString latin1;
        if (NName::GetLatin1RetryPath(_directory, latin1)) {
            _dir = opendir(latin1);
            if (_dir) _directory = latin1;
        }
        if (!_dir) {
            errno = err;
            return false;
        }
    }
    const ELinkRule rule = followLink ? ELinkRule::kFollow : ELinkRule::kByGlobalFlag;
    for (;;) {
        const struct dirent *de = readdir(_dir);
        if (!de) break;
        if (NameMatches(_pattern, de->d_name)) {
            _name = de->d_name;
            if (DescribeEntry(_dir, _directory, _name, rule, fi)) return true;
            break;
        }
    }
    Close();
    errno = ERROR_NO_MORE_FILES;
    return false;
}

bool CFindFile::FindNext(CFileInfo &fi, bool skipDots) {
    if (!_dir) {
        errno = EBADF;
        return false;
    }
    for (;;) {
        errno = 0;
        const struct dirent *de = readdir(_dir);
        if (!de) {
            if (errno == 0) errno = ERROR_NO_MORE_FILES;
            return false;
        }
        const char *n = de->d_name;
        if (skipDots && n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0))) continue;
        if (NameMatches(_pattern, n)) {
            _name = n;
            return DescribeEntry(_dir, _directory, _name, ELinkRule::kByGlobalFlag, fi);
        }
    }
}

bool CEnumerator::NextAny(CFileInfo &fi) {
    // "." and ".." are left out before they are looked up: the callers skip them anyway.
    if (_findFile.IsHandleAllocated()) return _findFile.FindNext(fi, true);
    return _findFile.FindFirst(_wildcard, fi);
}

bool CEnumerator::Next(CFileInfo &fi) {
    for (;;) {
        if (!NextAny(fi)) return false;
        if (!fi.IsDots()) return true;
    }
}

bool CEnumerator::Next(CFileInfo &fi, bool &found) {
    for (;;) {
        if (NextAny(fi)) {
            if (fi.IsDots()) continue;
            found = true;
            return true;
        }
        found = false;
        return errno == ERROR_NO_MORE_FILES;
    }
}

bool DoesFileExist(CFSTR name) {
    CFileInfo fi;
    return fi.Find(name) && !fi.IsDir();
}

bool DoesDirExist(CFSTR name) {
    CFileInfo fi;
    return fi.Find(name) && fi.IsDir();
}

bool DoesFileOrDirExist(CFSTR name) {
    CFileInfo fi;
    return fi.Find(name);
}

} // namespace NFind
} // namespace NFile
} // namespace NWindows
