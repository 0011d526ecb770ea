#include "IntToString.h"

template <typename TVal, typename T> static T *UIntToString(TVal val, T *s)
{
    char temp[24];
    unsigned i = 0;
    while (val >= 10) {
        temp[i++] = (char)('0' + (unsigned)(val % 10));
        val /= 10;
    }
    *s++ = (T)('0' + (unsigned)val);
    while (i != 0)
        *s++ = (T)temp[--i];
    *s = 0;
    return s;
}

// Values below 2^32 take the cheaper 32-bit division.
template <typename T> static T *UInt32ToString(UInt32 val, T *s) { return UIntToString(val, s); }
template <typename T> static T *UInt64ToString(UInt64 val, T *s)
{
    return val <= (UInt32)0xFFFFFFFF ? UIntToString((UInt32)val, s) : UIntToString(val, s);
}

char *ConvertUInt32ToString(UInt32 value, char *s) throw() { return UInt32ToString(value, s); }
char *ConvertUInt64ToString(UInt64 value, char *s) throw() { return UInt64ToString(value, s); }
wchar_t *ConvertUInt32ToString(UInt32 value, wchar_t *s) throw() { return UInt32ToString(value, s); }
wchar_t *ConvertUInt64ToString(UInt64 value, wchar_t *s) throw() { return UInt64ToString(value, s); }

template <typename T> static void Int64ToString(Int64 value, T *s)
{
    if (value < 0) {
        *s++ = '-';
        // The magnitude of the most negative value is taken as unsigned.
        UInt64ToString((UInt64)0 - (UInt64)value, s);
        return;
    }
    UInt64ToString((UInt64)value, s);
}

void ConvertInt64ToString(Int64 value, char *s) throw() { Int64ToString(value, s); }
void ConvertInt64ToString(Int64 value, wchar_t *s) throw() { Int64ToString(value, s); }

void ConvertUInt64ToOct(UInt64 value, char *s) throw()
{
    UInt64 v = value;
    unsigned i = 0;
    do
        i++;
    while ((v >>= 3) != 0);
    s[i] = 0;
    do {
        s[--i] = (char)('0' + (unsigned)(value & 7));
        value >>= 3;
    } while (i != 0);
}

static inline char HexDigit(unsigned v) { return (char)(v < 10 ? '0' + v : 'A' + (v - 10)); }

void ConvertUInt32ToHex(UInt32 value, char *s) throw() { ConvertUInt64ToHex(value, s); }

void ConvertUInt64ToHex(UInt64 value, char *s) throw()
{
    UInt64 v = value;
    unsigned i = 0;
    do
        i++;
    while ((v >>= 4) != 0);
    s[i] = 0;
    do {
        s[--i] = HexDigit((unsigned)(value & 0xF));
        value >>= 4;
    } while (i != 0);
}

void ConvertUInt32ToHex8Digits(UInt32 value, char *s) throw()
{
    for (int i = 7; i >= 0; i--) {
        s[i] = HexDigit(value & 0xF);
        value >>= 4;
    }
    s[8] = 0;
}

void ConvertUInt32ToHex8Digits(UInt32 value, wchar_t *s) throw()
{
    for (int i = 7; i >= 0; i--) {
        s[i] = (wchar_t)HexDigit(value & 0xF);
        value >>= 4;
    }
    s[8] = 0;
}
