#include "StringConvert.h"

#include <stdlib.h>

int global_use_utf16_conversion = 0;

static void BytesToChars(UString &dest, const AString &src)
{
    const unsigned len = src.Len();
    wchar_t *d = dest.GetBuf(len);
    for (unsigned i = 0; i < len; i++)
        d[i] = (unsigned char)src[i];
    dest.ReleaseBuf_SetEnd(len);
}

// Plain ASCII reads the same in every locale the program runs in: no conversion call is needed.
static bool IsAscii(const AString &s)
{
    for (unsigned i = 0; i < s.Len(); i++)
        if ((unsigned char)s[i] >= 0x80)
            return false;
    return true;
}

void MultiByteToUnicodeString2(UString &dest, const AString &src, UInt32 /* codePage */)
{
    if (IsAscii(src)) {
        BytesToChars(dest, src);
        return;
    }
    if (global_use_utf16_conversion && !src.IsEmpty()) {
        const unsigned len = src.Len();
        // Characters above U+FFFF become surrogate pairs below, so leave room for doubling.
        UString res;
        wchar_t *d = res.GetBuf(len * 2);
        const size_t n = mbstowcs(d, src, (size_t)len + 1);
        if (n != (size_t)-1) {
            unsigned num = (unsigned)n;
            unsigned numPairs = 0;
            for (unsigned i = 0; i < num; i++)
                if ((UInt32)d[i] > 0xFFFF)
                    numPairs++;
            // Walk from the end so that each character is split in place.
            unsigned w = num + numPairs;
            d[w] = 0;
            for (unsigned i = num; i != 0;) {
                const UInt32 c = (UInt32)d[--i];
                if (c > 0xFFFF) {
                    d[--w] = (wchar_t)(0xDC00 | (c & 0x3FF));
                    d[--w] = (wchar_t)(0xD800 | (((c - 0x10000) >> 10) & 0x3FF));
                } else
                    d[--w] = (wchar_t)c;
            }
            res.ReleaseBuf_SetLen(num + numPairs);
            dest = res;
            return;
        }
    }
    BytesToChars(dest, src);
}

UString MultiByteToUnicodeString(const AString &src, UInt32 codePage)
{
    UString dest;
    MultiByteToUnicodeString2(dest, src, codePage);
    return dest;
}

void UnicodeStringToMultiByte2(AString &dest, const UString &src, UInt32 /* codePage */)
{
    {
        const unsigned len = src.Len();
        unsigned i = 0;
        while (i < len && (UInt32)src[i] < 0x80)
            i++;
        if (i == len) {
            char *d = dest.GetBuf(len);
            for (i = 0; i < len; i++)
                d[i] = (char)src[i];
            dest.ReleaseBuf_SetEnd(len);
            return;
        }
    }
    // Join surrogate pairs first; unpaired halves stay as they are.
    UString u;
    {
        const unsigned len = src.Len();
        wchar_t *d = u.GetBuf(len);
        unsigned w = 0;
        for (unsigned i = 0; i < len; i++) {
            const UInt32 c = (UInt32)src[i];
            if (c >= 0xD800 && c < 0xDC00 && i + 1 < len) {
                const UInt32 c2 = (UInt32)src[i + 1];
                if (c2 >= 0xDC00 && c2 < 0xE000) {
                    d[w++] = (wchar_t)((((c - 0xD800) << 10) | (c2 - 0xDC00)) + 0x10000);
                    i++;
                    continue;
                }
            }
            d[w++] = (wchar_t)c;
        }
        u.ReleaseBuf_SetEnd(w);
    }

    if (global_use_utf16_conversion && !u.IsEmpty()) {
        const unsigned limit = u.Len() * 6;
        AString res;
        char *d = res.GetBuf(limit);
        const size_t n = wcstombs(d, u, (size_t)limit + 1);
        if (n != (size_t)-1) {
            res.ReleaseBuf_SetEnd((unsigned)n);
            dest = res;
            return;
        }
    }

    const unsigned len = u.Len();
    char *d = dest.GetBuf(len);
    for (unsigned i = 0; i < len; i++) {
        const UInt32 c = (UInt32)u[i];
        d[i] = c > 0xFF ? '?' : (char)c;
    }
    dest.ReleaseBuf_SetEnd(len);
}

AString UnicodeStringToMultiByte(const UString &src, UInt32 codePage)
{
    AString dest;
    UnicodeStringToMultiByte2(dest, src, codePage);
    return dest;
}
