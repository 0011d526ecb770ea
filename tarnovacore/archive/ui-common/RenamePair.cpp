#include "RenamePair.h"

bool CRenamePair::Prepare() {
    if (Recursion != NRecursedType::kNonRecursive) return false;
    if (!MatchWildcards) return true;
    return !DoesNameContainWildcard(FromPath);
}

bool CRenamePair::GetNewPath(bool isFolder, const UString &src, UString &dest) const {
    const unsigned fromLen = FromPath.Len();
    const unsigned srcLen = src.Len();
    const unsigned num = fromLen < srcLen ? fromLen : srcLen;
    unsigned i;
    for (i = 0; i < num; i++) {
        const wchar_t c1 = FromPath[i];
        const wchar_t c2 = src[i];
        if (c1 != c2 && (g_CaseSensitive || MyCharUpper(c1) != MyCharUpper(c2))) return false;
    }
    if (i == fromLen) {
        // "dir" renames "dir" and "dir/x" but not "directory".
        if (i != srcLen && src[i] != L'/' && i != 0 && FromPath[i - 1] != L'/') return false;
    } else {
        // A folder item "dir" matches a request for "dir/".
        if (!isFolder || i + 1 != fromLen || FromPath[i] != L'/') return false;
    }
    dest = ToPath;
    dest += src.Ptr(i);
    return true;
}
