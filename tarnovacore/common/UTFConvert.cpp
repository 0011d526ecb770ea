#include "UTFConvert.h"

static const UInt32 kReplacement = 0xFFFD;

// Number of continuation bytes a lead byte announces, with its payload bits in val;
// -1 for a byte that cannot start a sequence (a continuation byte, 0xFE, 0xFF).
static int Utf8Lead(Byte c, UInt32 &val)
{
    if (c < 0xC0 || c >= 0xFE)
        return -1;
    if (c < 0xE0) {
        val = c & 0x1F;
        return 1;
    }
    if (c < 0xF0) {
        val = c & 0x0F;
        return 2;
    }
    if (c < 0xF8) {
        val = c & 0x07;
        return 3;
    }
    if (c < 0xFC) {
        val = c & 0x03;
        return 4;
    }
    val = c & 0x01;
    return 5;
}

bool Utf8_To_Utf16(wchar_t *dest, size_t *destLen, const char *srcPtr, const char *srcLim) throw()
{
    const Byte *src = (const Byte *)srcPtr;
    const Byte *lim = (const Byte *)srcLim;
    size_t destPos = 0;
    bool ok = true;

    auto put = [&](UInt32 v) {
        if (dest)
            dest[destPos] = (wchar_t)v;
        destPos++;
    };

    while (src != lim) {
        const Byte c = *src++;
        if (c < 0x80) {
            put(c);
            continue;
        }
        UInt32 val = 0;
        const int numAdds = Utf8Lead(c, val);
        if (numAdds < 0) {
            put(kReplacement);
            ok = false;
            continue;
        }
        bool broken = false;
        for (int i = 0; i < numAdds; i++) {
            if (src == lim || (*src & 0xC0) != 0x80) {
                broken = true;
                break;
            }
            val = (val << 6) | (*src++ & 0x3F);
        }
        if (broken) {
            // Resume at the byte that broke the sequence.
            put(kReplacement);
            ok = false;
            continue;
        }
        if (val < 0x10000)
            put(val);
        else if (val <= 0x10FFFF) {
            const UInt32 v = val - 0x10000;
            put(0xD800 + (v >> 10));
            put(0xDC00 | (v & 0x3FF));
        } else {
            put(kReplacement);
            ok = false;
        }
    }
    *destLen = destPos;
    return ok;
}

bool ConvertUTF8ToUnicode(const AString &src, UString &dest)
{
    size_t destLen = 0;
    Utf8_To_Utf16(nullptr, &destLen, src.Ptr(), src.Ptr() + src.Len());
    wchar_t *p = dest.GetBuf((unsigned)destLen);
    const bool res = Utf8_To_Utf16(p, &destLen, src.Ptr(), src.Ptr() + src.Len());
    dest.ReleaseBuf_SetEnd((unsigned)destLen);
    return res;
}

static unsigned Utf8Size(const wchar_t *src, unsigned len)
{
    unsigned size = 0;
    for (unsigned i = 0; i < len; i++) {
        const UInt32 v = (UInt32)src[i];
        if (v < 0x80)
            size += 1;
        else if (v < 0x800)
            size += 2;
        else if (v >= 0xD800 && v < 0xDC00 && i + 1 < len && (UInt32)src[i + 1] >= 0xDC00 &&
                 (UInt32)src[i + 1] < 0xE000) {
            size += 4;
            i++;
        } else if (v < 0x10000)
            size += 3;
        else if (v <= 0x1FFFFF)
            size += 4;
        else if (v < 0x4000000)
            size += 5;
        else if (v <= 0x7FFFFFFF)
            size += 6;
        else
            size += 7;
    }
    return size;
}

void ConvertUnicodeToUTF8(const UString &src, AString &dest)
{
    const unsigned len = src.Len();
    const unsigned size = Utf8Size(src.Ptr(), len);
    char *d0 = dest.GetBuf(size);
    Byte *d = (Byte *)d0;
    for (unsigned i = 0; i < len; i++) {
        UInt32 v = (UInt32)src[i];
        if (v < 0x80) {
            *d++ = (Byte)v;
            continue;
        }
        if (v < 0x800) {
            *d++ = (Byte)(0xC0 | (v >> 6));
            *d++ = (Byte)(0x80 | (v & 0x3F));
            continue;
        }
        if (v >= 0xD800 && v < 0xDC00 && i + 1 < len && (UInt32)src[i + 1] >= 0xDC00 &&
            (UInt32)src[i + 1] < 0xE000) {
            v = (((v - 0xD800) << 10) | ((UInt32)src[i + 1] - 0xDC00)) + 0x10000;
            i++;
        }
        if (v < 0x10000) {
            *d++ = (Byte)(0xE0 | (v >> 12));
            *d++ = (Byte)(0x80 | ((v >> 6) & 0x3F));
            *d++ = (Byte)(0x80 | (v & 0x3F));
        } else if (v <= 0x1FFFFF) {
            *d++ = (Byte)(0xF0 | (v >> 18));
            *d++ = (Byte)(0x80 | ((v >> 12) & 0x3F));
            *d++ = (Byte)(0x80 | ((v >> 6) & 0x3F));
            *d++ = (Byte)(0x80 | (v & 0x3F));
        } else if (v < 0x4000000) {
            *d++ = (Byte)(0xF8 | (v >> 24));
            for (int shift = 18; shift >= 0; shift -= 6)
                *d++ = (Byte)(0x80 | ((v >> shift) & 0x3F));
        } else if (v <= 0x7FFFFFFF) {
            *d++ = (Byte)(0xFC | (v >> 30));
            for (int shift = 24; shift >= 0; shift -= 6)
                *d++ = (Byte)(0x80 | ((v >> shift) & 0x3F));
        } else {
            *d++ = 0xFE;
            for (int shift = 30; shift >= 0; shift -= 6)
                *d++ = (Byte)(0x80 | ((v >> shift) & 0x3F));
        }
    }
    dest.ReleaseBuf_SetEnd(size);
}

bool CheckUTF8(const char *srcPtr, bool allowReduced) throw()
{
    const Byte *src = (const Byte *)srcPtr;
    for (;;) {
        const Byte c = *src++;
        if (c == 0)
            return true;
        if (c < 0x80)
            continue;
        UInt32 val = 0;
        const int numAdds = Utf8Lead(c, val);
        if (numAdds < 0)
            return false;
        for (int i = 0; i < numAdds; i++) {
            const Byte c2 = *src;
            if (c2 == 0)
                return allowReduced;
            if ((c2 & 0xC0) != 0x80)
                return false;
            src++;
            val = (val << 6) | (c2 & 0x3F);
        }
        if (val > 0x10FFFF)
            return false;
    }
}
