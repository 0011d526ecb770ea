#include "Wildcard.h"

bool g_CaseSensitive = true;

int CompareFileNames(const wchar_t *s1, const wchar_t *s2) throw()
{
    if (g_CaseSensitive)
        return MyStringCompare(s1, s2);
    return MyStringCompareNoCase(s1, s2);
}

bool IsPath1PrefixedByPath2(const wchar_t *s1, const wchar_t *s2) throw()
{
    if (g_CaseSensitive)
        return IsString1PrefixedByString2(s1, s2);
    return IsString1PrefixedByString2_NoCase(s1, s2);
}

bool DoesNameContainWildcard(const UString &path)
{
    for (unsigned i = 0; i < path.Len(); i++) {
        const wchar_t c = path[i];
        if (c == '*' || c == '?')
            return true;
    }
    return false;
}

static inline bool CharsMatch(wchar_t m, wchar_t c, bool caseSensitive)
{
    return m == c || (!caseSensitive && MyCharUpper(m) == MyCharUpper(c));
}

bool EnhancedMaskTest(const wchar_t *mask, const wchar_t *name) throw()
{
    const bool caseSensitive = g_CaseSensitive;
    // Greedy match that remembers only the last star: a later star makes every earlier one
    // irrelevant, so the walk is bounded by mask length times name length.
    const wchar_t *starMask = nullptr;
    const wchar_t *starName = nullptr;
    for (;;) {
        const wchar_t m = *mask;
        if (m == '*') {
            starMask = ++mask;
            starName = name;
            continue;
        }
        const wchar_t c = *name;
        if (c == 0) {
            if (m == 0)
                return true;
        } else if (m != 0 && (m == '?' || CharsMatch(m, c, caseSensitive))) {
            mask++;
            name++;
            continue;
        }
        if (!starMask || *starName == 0)
            return false;
        mask = starMask;
        name = ++starName;
    }
}

bool DoesWildcardMatchName(const UString &mask, const UString &name) { return EnhancedMaskTest(mask, name); }
