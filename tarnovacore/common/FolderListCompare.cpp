#include "FolderListCompare.h"

#include <stddef.h>
#include <wctype.h>

static inline bool IsDecimalDigit(wchar_t c) {
    return c >= L'0' && c <= L'9';
}

static inline wchar_t FoldForList(wchar_t c) {
    if (c >= L'a' && c <= L'z') return (wchar_t)(c - 0x20);
    if ((unsigned)c >= 128) return (wchar_t)towupper((wint_t)c);
    return c;
}

int CompareFileNames_ForFolderList(const wchar_t *s1, const wchar_t *s2) throw() {
    for (;;) {
        const wchar_t c1 = *s1;
        const wchar_t c2 = *s2;
        if (IsDecimalDigit(c1) && IsDecimalDigit(c2)) {
            // Numbers of any length: skip leading zeros, then the longer run is larger.
            while (*s1 == L'0')
                s1++;
            while (*s2 == L'0')
                s2++;
            const wchar_t *e1 = s1;
            const wchar_t *e2 = s2;
            while (IsDecimalDigit(*e1))
                e1++;
            while (IsDecimalDigit(*e2))
                e2++;
            const size_t len1 = (size_t)(e1 - s1);
            const size_t len2 = (size_t)(e2 - s2);
            if (len1 != len2) return len1 < len2 ? -1 : 1;
            for (; s1 != e1; s1++, s2++)
                if (*s1 != *s2) return *s1 < *s2 ? -1 : 1;
            continue;
        }
        if (c1 == 0) return c2 == 0 ? 0 : -1;
        if (c2 == 0) return 1;
        const wchar_t u1 = FoldForList(c1);
        const wchar_t u2 = FoldForList(c2);
        if (u1 != u2) return u1 < u2 ? -1 : 1;
        s1++;
        s2++;
    }
}
