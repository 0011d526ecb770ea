#include "StringToInt.h"

template <typename TInt, typename TChar> static TInt ParseDecimal(const TChar *s, const TChar **end)
{
    if (end)
        *end = s;
    const TInt kMaxDiv10 = (TInt)(~(TInt)0) / 10;
    TInt res = 0;
    for (;; s++) {
        const unsigned c = (unsigned)*s;
        if (c < '0' || c > '9') {
            if (end)
                *end = s;
            return res;
        }
        if (res > kMaxDiv10)
            return 0;
        res *= 10;
        const unsigned v = c - '0';
        if (res > (TInt)(~(TInt)0) - v)
            return 0;
        res += v;
    }
}

UInt32 ConvertStringToUInt32(const char *s, const char **end) throw() { return ParseDecimal<UInt32>(s, end); }
UInt64 ConvertStringToUInt64(const char *s, const char **end) throw() { return ParseDecimal<UInt64>(s, end); }
UInt32 ConvertStringToUInt32(const wchar_t *s, const wchar_t **end) throw() { return ParseDecimal<UInt32>(s, end); }
UInt64 ConvertStringToUInt64(const wchar_t *s, const wchar_t **end) throw() { return ParseDecimal<UInt64>(s, end); }

Int32 ConvertStringToInt32(const wchar_t *s, const wchar_t **end) throw()
{
    if (end)
        *end = s;
    const wchar_t *s2 = s;
    if (*s2 == '-')
        s2++;
    if (*s2 == 0)
        return 0;
    const wchar_t *end2;
    const UInt32 res = ConvertStringToUInt32(s2, &end2);
    if (*s == '-') {
        if (res > (UInt32)1 << 31)
            return 0;
    } else if ((res & ((UInt32)1 << 31)) != 0)
        return 0;
    if (end)
        *end = end2;
    if (*s == '-')
        return (Int32)(0u - res);
    return (Int32)res;
}

template <typename TInt> static TInt ParseOct(const char *s, const char **end)
{
    if (end)
        *end = s;
    const TInt kLimit = (TInt)7 << (sizeof(TInt) * 8 - 3);
    TInt res = 0;
    for (;; s++) {
        const unsigned c = (unsigned char)*s;
        if (c < '0' || c > '7') {
            if (end)
                *end = s;
            return res;
        }
        if ((res & kLimit) != 0)
            return 0;
        res = (res << 3) | (c - '0');
    }
}

UInt32 ConvertOctStringToUInt32(const char *s, const char **end) throw()
{
    const unsigned c = (unsigned char)*s;
    if (c < '0' || c > '7') {
        if (end)
            *end = s;
        return 0;
    }
    return ParseOct<UInt32>(s, end);
}

UInt64 ConvertOctStringToUInt64(const char *s, const char **end) throw()
{
    const unsigned c = (unsigned char)*s;
    if (c < '0' || c > '7') {
        if (end)
            *end = s;
        return 0;
    }
    return ParseOct<UInt64>(s, end);
}

template <typename TInt> static TInt ParseHex(const char *s, const char **end)
{
    if (end)
        *end = s;
    const TInt kLimit = (TInt)0xF << (sizeof(TInt) * 8 - 4);
    TInt res = 0;
    const char *start = s;
    for (;; s++) {
        const unsigned c = (unsigned char)*s;
        unsigned v;
        if (c >= '0' && c <= '9')
            v = c - '0';
        else if (c >= 'A' && c <= 'F')
            v = c - 'A' + 10;
        else if (c >= 'a' && c <= 'f')
            v = c - 'a' + 10;
        else {
            if (end)
                *end = (s == start) ? start : s;
            return res;
        }
        if ((res & kLimit) != 0)
            return 0;
        res = (res << 4) | v;
    }
}

UInt32 ConvertHexStringToUInt32(const char *s, const char **end) throw() { return ParseHex<UInt32>(s, end); }
UInt64 ConvertHexStringToUInt64(const char *s, const char **end) throw() { return ParseHex<UInt64>(s, end); }
