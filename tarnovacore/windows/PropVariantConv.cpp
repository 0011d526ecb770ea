#include "PropVariantConv.h"

#include "common/IntToString.h"
#include "WinTime.h"

static char *UIntToString_2Digits(char *s, unsigned value) {
    s[0] = (char)('0' + value / 10);
    s[1] = (char)('0' + value % 10);
    return s + 2;
}

bool ConvertFileTimeToString(const FILETIME &ft, char *s, bool includeTime, bool includeSeconds) throw() {
    SYSTEMTIME st;
    if (!FileTimeToSystemTime(&ft, &st)) {
        *s = 0;
        return false;
    }
    unsigned year = st.wYear;
    if (year >= 10000) {
        *s++ = (char)('0' + year / 10000);
        year %= 10000;
    }
    s = UIntToString_2Digits(s, year / 100);
    s = UIntToString_2Digits(s, year % 100);
    *s++ = '-';
    s = UIntToString_2Digits(s, st.wMonth);
    *s++ = '-';
    s = UIntToString_2Digits(s, st.wDay);
    if (includeTime) {
        *s++ = ' ';
        s = UIntToString_2Digits(s, st.wHour);
        *s++ = ':';
        s = UIntToString_2Digits(s, st.wMinute);
        if (includeSeconds) {
            *s++ = ':';
            s = UIntToString_2Digits(s, st.wSecond);
        }
    }
    *s = 0;
    return true;
}

// The texts are ASCII, so the wide forms are the narrow ones widened.
static void WidenAscii(const char *src, wchar_t *dest) {
    do
        *dest++ = (Byte)*src;
    while (*src++ != 0);
}

bool ConvertFileTimeToString(const FILETIME &ft, wchar_t *s, bool includeTime, bool includeSeconds) throw() {
    char temp[kTimeStringSize + 3];
    const bool res = ConvertFileTimeToString(ft, temp, includeTime, includeSeconds);
    WidenAscii(temp, s);
    return res;
}

bool ConvertPropVariantToUInt64(const PROPVARIANT &prop, UInt64 &value) throw() {
    switch (prop.vt) {
    case VT_UI1:
        value = prop.bVal;
        return true;
    case VT_UI2:
        value = prop.uiVal;
        return true;
    case VT_UI4:
        value = prop.ulVal;
        return true;
    case VT_UI8:
        value = prop.uhVal.QuadPart;
        return true;
    default:
        return false;
    }
}

void ConvertPropVariantToShortString(const PROPVARIANT &prop, char *dest) throw() {
    *dest = 0;
    switch (prop.vt) {
    case VT_EMPTY:
        return;
    case VT_BSTR:
        dest[0] = '?';
        dest[1] = 0;
        return;
    case VT_UI1:
        ConvertUInt32ToString(prop.bVal, dest);
        return;
    case VT_UI2:
        ConvertUInt32ToString(prop.uiVal, dest);
        return;
    case VT_UI4:
        ConvertUInt32ToString(prop.ulVal, dest);
        return;
    case VT_UI8:
        ConvertUInt64ToString(prop.uhVal.QuadPart, dest);
        return;
    case VT_FILETIME:
        ConvertFileTimeToString(prop.filetime, dest, true, true);
        return;
    case VT_I2:
        ConvertInt64ToString(prop.iVal, dest);
        return;
    case VT_I4:
        ConvertInt64ToString(prop.lVal, dest);
        return;
    case VT_I8:
        ConvertInt64ToString(prop.hVal.QuadPart, dest);
        return;
    case VT_BOOL:
        dest[0] = (prop.boolVal != VARIANT_FALSE) ? '+' : '-';
        dest[1] = 0;
        return;
    default:
        dest[0] = '?';
        dest[1] = ':';
        ConvertUInt32ToString(prop.vt, dest + 2);
    }
}

void ConvertPropVariantToShortString(const PROPVARIANT &prop, wchar_t *dest) throw() {
    char temp[kPropVariantShortStringSize];
    ConvertPropVariantToShortString(prop, temp);
    WidenAscii(temp, dest);
}
