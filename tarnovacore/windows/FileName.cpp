#include "FileName.h"

#include <unistd.h>

#include "common/StringConvert.h"

namespace NWindows {
namespace NFile {
namespace NName {

static bool IsAsciiLetter(wchar_t c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool IsDrivePath(const wchar_t *s) throw() {
    return IsAsciiLetter(s[0]) && s[1] == ':' && s[2] == '/';
}

bool IsAbsolutePath(const wchar_t *s) throw() {
    return s[0] == '/';
}

unsigned GetRootPrefixSize(const wchar_t *s) throw() {
    if (IsDrivePath(s)) return 3;
    return s[0] == '/' ? 1 : 0;
}

int FindSepar(const wchar_t *s) throw() {
    return FindCharPosInString(s, L'/');
}

void NormalizeDirPathPrefix(UString &dirPath) {
    if (!dirPath.IsEmpty() && dirPath.Back() != '/') dirPath.Add_PathSepar();
}

static bool IsComponentStart(const UString &s, unsigned i) {
    return i == 0 || s[i - 1] == '/';
}

static bool IsComponentEnd(const UString &s, unsigned i) {
    return i == s.Len() || s[i] == '/';
}

static bool HasDotComponent(const UString &s) {
    for (unsigned i = 0; i < s.Len(); i++)
        if (s[i] == '.' && IsComponentStart(s, i) &&
            (IsComponentEnd(s, i + 1) || (s[i + 1] == '.' && IsComponentEnd(s, i + 2))))
            return true;
    return false;
}

// Removes "." and ".." components in place; false when a ".." has nothing left to climb.
static bool ResolveDots(UString &s) {
    unsigned i = 0;
    while (i < s.Len()) {
        if (s[i] != '.' || !IsComponentStart(s, i)) {
            i++;
            continue;
        }
        if (IsComponentEnd(s, i + 1)) {
            if (i == 0)
                s.Delete(0, s.Len() > 1 ? 2 : 1);
            else {
                s.Delete(i - 1, 2);
                i--;
            }
            continue;
        }
        if (s[i + 1] != '.' || !IsComponentEnd(s, i + 2)) {
            i++;
            continue;
        }
        // Only slashes before ".." means there is no component to climb out of.
        unsigned k = 0;
        while (k < i && s[k] == '/')
            k++;
        if (k == i) return false;
        int prev = -1;
        for (unsigned j = i - 1; j != 0;) {
            j--;
            if (s[j] == '/') {
                prev = (int)j;
                break;
            }
        }
        if (prev >= 0) {
            s.Delete((unsigned)prev, i + 2 - (unsigned)prev);
            i = (unsigned)prev;
        } else {
            const unsigned end = i + 2 < s.Len() ? i + 3 : i + 2;
            s.Delete(0, end);
            i = 0;
        }
    }
    return true;
}

static bool GetCurDirWithDrive(UString &dir) {
    // Same buffer limit as NDir::GetCurrentDir.
    char buf[1024];
    if (!getcwd(buf, 1021)) return false;
    dir = L"c:";
    dir += MultiByteToUnicodeString(AString(buf));
    return true;
}

bool GetFullPath(CFSTR dirPrefix, CFSTR s, UString &res) {
    res = s;
    const unsigned prefixSize = GetRootPrefixSize(s);
    if (prefixSize != 0) {
        UString rest = s + prefixSize;
        if (!HasDotComponent(rest)) return true;
        if (ResolveDots(rest)) {
            UString r(prefixSize, s);
            r += rest;
            res = r;
        }
        return true;
    }

    UString base;
    if (dirPrefix)
        base = dirPrefix;
    else if (!GetCurDirWithDrive(base))
        return false;
    NormalizeDirPathPrefix(base);
    const unsigned fixedSize = IsDrivePath(base) ? 3 : 0;
    UString work = base.Ptr(fixedSize);
    work += s;
    if (!ResolveDots(work)) return false;
    res = base.Left(fixedSize);
    res += work;
    return true;
}

bool GetFullPath(CFSTR path, UString &fullPath) {
    return GetFullPath(nullptr, path, fullPath);
}

AString GetOsPath(CFSTR path) {
    // Most paths are ASCII and become bytes as they are, without a wide copy of the path first.
    size_t len = 0;
    bool ascii = true;
    for (; path[len] != 0; len++)
        if ((UInt32)path[len] >= 0x80) ascii = false;
    AString s;
    if (ascii) {
        char *d = s.GetBuf((unsigned)len);
        for (size_t i = 0; i < len; i++)
            d[i] = (char)path[i];
        s.ReleaseBuf_SetEnd((unsigned)len);
    } else
        s = UnicodeStringToMultiByte(UString(path));
    if (s[0] == 'c' && s[1] == ':') s.DeleteFrontal(2);
    return s;
}

bool GetLatin1RetryPath(const AString &osPath, AString &latin1Path) {
    if (!global_use_utf16_conversion) return false;
    const UString u = MultiByteToUnicodeString(osPath);
    char *d = latin1Path.GetBuf(u.Len());
    for (unsigned i = 0; i < u.Len(); i++) {
        if ((UInt32)u[i] > 0xFF) {
            latin1Path.ReleaseBuf_SetEnd(0);
            return false;
        }
        d[i] = (char)u[i];
    }
    latin1Path.ReleaseBuf_SetEnd(u.Len());
    return latin1Path != osPath;
}

} // namespace NName
} // namespace NFile
} // namespace NWindows
