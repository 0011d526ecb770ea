#include "ProgressFormat.h"

#include "common/IntToString.h"

namespace {

void AddDecimal(UString &s, UInt64 value) {
    wchar_t digits[32];
    ConvertUInt64ToString(value, digits);
    s += digits;
}

void AddTwoDigits(UString &s, UInt64 value) {
    s += (wchar_t)(L'0' + value / 10);
    s += (wchar_t)(L'0' + value % 10);
}

unsigned GetPower64(UInt64 value) {
    unsigned n = 0;
    for (; value != 0; value >>= 1)
        n++;
    return n;
}

} // namespace

UString GetTimeString(UInt64 seconds) {
    const UInt64 hours = seconds / 3600;
    UString s;
    if (seconds > 359999)
        AddDecimal(s, hours);
    else
        AddTwoDigits(s, hours);
    s += L':';
    AddTwoDigits(s, (seconds / 60) % 60);
    s += L':';
    AddTwoDigits(s, seconds % 60);
    return s;
}

UString GetSizeText(UInt64 value) {
    UString s;
    if (value == kProgressUnknown) return s;
    const wchar_t *unit = nullptr;
    if (value >= ((UInt64)100000 << 20)) {
        value >>= 30;
        unit = L" G";
    } else if (value >= ((UInt64)100000 << 10)) {
        value >>= 20;
        unit = L" M";
    } else if (value >= 100000) {
        value >>= 10;
        unit = L" K";
    }
    AddDecimal(s, value);
    if (unit) s += unit;
    return s;
}

UString GetSpeedText(UInt64 v) {
    const wchar_t *unit = L"";
    if (v > 10239999) {
        v >>= 20;
        unit = L"M";
    } else if (v > 9999) {
        v >>= 10;
        unit = L"K";
    }
    UString s;
    AddDecimal(s, v);
    s += L' ';
    s += unit;
    s += L"B/s";
    return s;
}

UString ReduceString(const UString &s, unsigned n) {
    if (s.Len() <= n) return s;
    UString r = s;
    const unsigned pos = n / 2;
    r.Delete(pos, s.Len() - n);
    r.Insert(pos, L" ... ");
    return r;
}

UInt64 MulDivNoOverflow(UInt64 a, UInt64 b, UInt64 c) {
    unsigned pa = GetPower64(a);
    unsigned pb = GetPower64(b);
    while (pa + pb > 64) {
        if (pa > pb) {
            a >>= 1;
            pa--;
        } else {
            b >>= 1;
            pb--;
        }
        c >>= 1;
    }
    const UInt64 product = a * b;
    return c == 0 ? product : product / c;
}

UInt64 ProgressPercent(UInt64 done, UInt64 total) {
    if (total == kProgressUnknown || total == 0) return 0;
    if (done >= total) return 100;
    return MulDivNoOverflow(done, 100, total);
}
