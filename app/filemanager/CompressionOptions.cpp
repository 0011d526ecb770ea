#include "CompressionOptions.h"

#include <initializer_list>

#include "common/IntToString.h"

namespace NCompressDialog {

namespace {

const UInt32 kMiB = (UInt32)1 << 20;
const UInt32 kKiB = (UInt32)1 << 10;

const EMethodID k7zMethods[] = {kLZMA2, kLZMA, kPPMd, kBZip2};
// Only what the plug-in writes: it refuses zip's Deflate64 and PPMd (a test holds this equal).
const EMethodID kZipMethods[] = {kDeflate, kBZip2, kLZMA};
const EMethodID kGZipMethods[] = {kDeflate};
const EMethodID kBZip2Methods[] = {kBZip2};
const EMethodID kXzMethods[] = {kLZMA2};
const EMethodID kSwfcMethods[] = {kDeflate};

constexpr UInt32 LevelMask(std::initializer_list<int> levels) {
    UInt32 mask = 0;
    for (int l : levels)
        mask |= (UInt32)1 << l;
    return mask;
}
#define METHODS(a) a, sizeof(a) / sizeof(a[0])

const UInt32 kAllLevels = LevelMask({0, 1, 3, 5, 7, 9});

const CFormatRow kRows[] = {
    {"", kAllLevels, nullptr, 0, false, false, false, false, false, false},
    {"7z", kAllLevels, METHODS(k7zMethods), true, true, true, true, true, true},
    {"Zip", kAllLevels, METHODS(kZipMethods), false, false, true, false, true, false},
    {"GZip", LevelMask({1, 5, 7, 9}), METHODS(kGZipMethods), false, false, false, false, false, false},
    {"BZip2", LevelMask({1, 3, 5, 7, 9}), METHODS(kBZip2Methods), false, false, true, false, false, false},
    {"xz", LevelMask({1, 3, 5, 7, 9}), METHODS(kXzMethods), false, false, true, false, false, false},
    {"Swfc", LevelMask({1, 3, 5, 7, 9}), METHODS(kSwfcMethods), false, false, true, false, false, false},
    {"Tar", LevelMask({0}), nullptr, 0, false, false, false, false, false, false},
    {"wim", LevelMask({0}), nullptr, 0, false, false, false, false, false, false},
};

const wchar_t *const kMethodNames[] = {L"Copy",  L"LZMA",    L"LZMA2",     L"PPMd",
                                       L"BZip2", L"Deflate", L"Deflate64", L"PPMd"};

bool IsLzma(EMethodID m) {
    return m == kLZMA || m == kLZMA2;
}

UString Number(UInt64 v) {
    wchar_t s[32];
    ConvertUInt64ToString(v, s);
    return UString(s);
}

UInt32 DefaultDictionary(EMethodID m, UInt32 level) {
    switch (m) {
    case kLZMA:
    case kLZMA2:
        return level >= 9 ? 64 * kMiB : level >= 7 ? 32 * kMiB : level >= 5 ? 16 * kMiB : level >= 3 ? kMiB : 64 * kKiB;
    case kPPMd:
        return level >= 9 ? 192 * kMiB : level >= 7 ? 64 * kMiB : level >= 5 ? 16 * kMiB : 4 * kMiB;
    case kBZip2:
        return level >= 5 ? 900 * kKiB : level >= 3 ? 500 * kKiB : 100 * kKiB;
    case kPPMdZip:
        return level >= 8 ? (UInt32)1 << 27 : (UInt32)1 << (19 + level);
    default:
        return kUnset;
    }
}

} // namespace

const CFormatRow &FindFormatRow(const UString &formatName) {
    for (const CFormatRow &row : kRows)
        if (row.Name[0] != 0 && formatName.IsEqualTo_Ascii_NoCase(row.Name)) return row;
    return kRows[0];
}

bool IsZipFormat(const UString &formatName) {
    return formatName.IsEqualTo_Ascii_NoCase("zip");
}

bool Is7zFormat(const UString &formatName) {
    return formatName.IsEqualTo_Ascii_NoCase("7z");
}

const wchar_t *GetMethodName(EMethodID id) {
    if (id < 0 || (unsigned)id >= sizeof(kMethodNames) / sizeof(kMethodNames[0])) return L"";
    return kMethodNames[id];
}

bool IsOrderModeMethod(EMethodID id) {
    return id == kPPMd || id == kPPMdZip;
}

const wchar_t *GetLevelName(UInt32 level) {
    switch (level) {
    case 0:
        return L"存储";
    case 1:
        return L"最快";
    case 3:
        return L"较快";
    case 5:
        return L"标准";
    case 7:
        return L"较好";
    case 9:
        return L"最好";
    default:
        return L"";
    }
}

void CList::SelectNearest(UInt32 wanted) {
    Selected = Entries.IsEmpty() ? -1 : 0;
    for (unsigned i = 0; i < Entries.Size(); i++)
        if (Entries[i].Value <= wanted) Selected = (int)i;
}

UInt32 CList::Value() const {
    if (Selected < 0 || (unsigned)Selected >= Entries.Size()) return kUnset;
    return Entries[(unsigned)Selected].Value;
}

UInt64 GetRamLimit(UInt64 ramSize) {
    const UInt64 reserve = (UInt64)16 << 20;
    if (ramSize < reserve * 2) return reserve;
    return ramSize - reserve;
}

UInt64 GetMemoryUsage(const CChoice &c, UInt64 dict) {
    const UInt32 level = c.Level;
    if (level == 0) return (UInt64)1 << 20;
    const UInt64 t = c.NumThreads == 0 || c.NumThreads == kUnset ? 1 : c.NumThreads;
    UInt64 size = 0;
    if (c.Row && c.Row->Filter && level == 9) size += 29 * (UInt64)kMiB;
    if (c.IsZip) {
        const UInt64 zipThreads = (c.Method == kLZMA && t > 1 && level >= 5) ? t / 2 : t;
        if (zipThreads > 1) size += zipThreads * 32 * (UInt64)kMiB;
    }
    switch (c.Method) {
    case kLZMA:
    case kLZMA2: {
        UInt64 h = dict - 1;
        h |= h >> 1;
        h |= h >> 2;
        h |= h >> 4;
        h |= h >> 8;
        h >>= 1;
        h |= 0xFFFF;
        if (h > 0xFFFFFF) h >>= 1;
        h += 1;
        UInt64 block = 4 * h + 4 * dict;
        if (level >= 5) block += 4 * dict;
        block += 2 * (UInt64)kMiB;
        UInt64 numBlockThreads = t;
        if (t > 1 && level >= 5) {
            block += 6 * (UInt64)kMiB;
            numBlockThreads = t / 2;
        }
        if (c.Method == kLZMA || numBlockThreads == 1) {
            block += dict * 3 / 2;
        } else {
            UInt64 chunk = 4 * dict;
            if (chunk < kMiB) chunk = kMiB;
            if (chunk > 256 * (UInt64)kMiB) chunk = 256 * (UInt64)kMiB;
            block += 2 * (dict > chunk ? dict : chunk);
        }
        return size + numBlockThreads * block;
    }
    case kPPMd:
        return size + dict + 2 * (UInt64)kMiB;
    case kBZip2:
        return size + t * 10 * (UInt64)kMiB;
    case kDeflate:
    case kDeflate64:
        return size + 3 * (UInt64)kMiB + (level >= 7 ? (UInt64)kMiB : 0);
    case kPPMdZip:
        return size + t * (dict + 2 * (UInt64)kMiB);
    default:
        return (UInt64)(Int64)-1;
    }
}

void BuildLevelList(const CFormatRow &row, UInt32 storedLevel, CList &list) {
    list = CList();
    for (UInt32 level = 0; level <= 9; level++)
        if (row.LevelsMask & ((UInt32)1 << level)) list.Add(UString(GetLevelName(level)), level);
    UInt32 wanted = 5;
    if (storedLevel != kUnset) wanted = storedLevel > 9 ? 9 : storedLevel;
    list.SelectNearest(wanted);
}

void BuildMethodList(const CChoice &c, const UString &storedMethod, CList &list) {
    list = CList();
    if (c.Level == 0 || !c.Row) return;
    for (unsigned i = 0; i < c.Row->NumMethods; i++) {
        const EMethodID id = c.Row->Methods[i];
        list.Add(UString(GetMethodName(id)), (UInt32)id);
        if (list.Selected < 0) list.Selected = 0;
        if (storedMethod.IsEqualTo_NoCase(UString(GetMethodName(id)))) list.Selected = (int)i;
    }
}

void BuildDictionaryList(const CChoice &c, UInt32 storedDict, CList &list) {
    list = CList();
    const EMethodID m = c.Method;
    if (m == kNoMethod) return;
    const UInt32 wanted = storedDict != kUnset ? storedDict : DefaultDictionary(m, c.Level);
    auto fits = [&](UInt64 d) { return GetMemoryUsage(c, d) <= c.RamLimit; };
    auto add = [&](UInt64 d) {
        list.Add(DictionaryLabel(d), (UInt32)d);
        return (int)list.Entries.Size() - 1;
    };
    switch (m) {
    case kLZMA:
    case kLZMA2:
    case kPPMd: {
        const bool lzma = IsLzma(m);
        if (lzma) list.Selected = add(64 * kKiB);
        const unsigned lastLog = 30;
        for (unsigned n = 20; n <= lastLog; n++) {
            for (unsigned k = 2; k <= 3; k++) {
                if (n == 20 && k == 3) continue;
                const UInt64 d = (UInt64)k << (n - 1);
                const int index = add(d);
                if (d <= wanted && fits(d)) list.Selected = index;
                if (!lzma && index == 0) list.Selected = index;
            }
        }
        // The PPMd list ends at 1024 MiB.
        if (!lzma) {
            list.Entries.DeleteBack();
            if (list.Selected >= (int)list.Entries.Size()) list.Selected = (int)list.Entries.Size() - 1;
        }
        break;
    }
    case kBZip2:
        for (UInt32 d = 100 * kKiB; d <= 900 * kKiB; d += 100 * kKiB) {
            const int index = add(d);
            if (d <= wanted || index == 0) {
                if (d <= wanted || list.Selected < 0) list.Selected = index;
            }
        }
        break;
    case kDeflate:
        list.Selected = add(32 * kKiB);
        break;
    case kDeflate64:
        list.Selected = add(64 * kKiB);
        break;
    case kPPMdZip:
        for (unsigned n = 20; n <= 28; n++) {
            const UInt64 d = (UInt64)1 << n;
            const int index = add(d);
            if ((d <= wanted && fits(d)) || index == 0) list.Selected = index;
        }
        break;
    default:
        break;
    }
}

void BuildOrderList(const CChoice &c, UInt32 storedOrder, CList &list) {
    list = CList();
    const UInt32 level = c.Level;
    UInt32 def = kUnset;
    switch (c.Method) {
    case kLZMA:
    case kLZMA2: {
        static const UInt32 kSizes[] = {8, 12, 16, 24, 32, 48, 64, 96, 128, 192, 256, 273};
        for (UInt32 v : kSizes)
            list.Add(Number(v), v);
        def = level < 7 ? 32 : 64;
        break;
    }
    case kPPMd: {
        static const UInt32 kOrders[] = {2, 3, 4, 5, 6, 7, 8, 10, 12, 14, 16, 20, 24, 28, 32};
        for (UInt32 v : kOrders)
            list.Add(Number(v), v);
        def = level >= 9 ? 32 : level >= 7 ? 16 : level >= 5 ? 6 : 4;
        break;
    }
    case kDeflate:
    case kDeflate64: {
        static const UInt32 kSizes[] = {8, 12, 16, 24, 32, 48, 64, 96, 128, 192, 256};
        for (UInt32 v : kSizes)
            list.Add(Number(v), v);
        const UInt32 last = c.Method == kDeflate ? 258 : 257;
        list.Add(Number(last), last);
        def = level >= 9 ? 128 : level >= 7 ? 64 : 32;
        break;
    }
    case kPPMdZip:
        for (UInt32 v = 2; v <= 16; v++)
            list.Add(Number(v), v);
        def = level + 3;
        break;
    default:
        return;
    }
    list.SelectNearest(storedOrder != kUnset ? storedOrder : def);
}

void BuildSolidList(const CChoice &c, UInt32 dictionary, UInt32 storedBlockLog, CList &list) {
    list = CList();
    if (!c.Row || !c.Row->Solid || c.Level == 0) return;
    list.Add(UString(L"非固实"), 0);
    for (UInt32 n = 20; n <= 36; n++) {
        UString s = Number((UInt64)1 << (n % 10));
        s += n < 30 ? L" MB" : L" GB";
        list.Add(s, n);
    }
    list.Add(UString(L"固实"), 64);
    UInt32 wanted = storedBlockLog;
    if (wanted == kUnset) {
        const UInt64 d = dictionary == kUnset ? 1 : dictionary;
        wanted = 64;
        for (UInt32 n = 32; n >= 20; n--) {
            if ((d >> (n - 7)) != 0) {
                wanted = n;
                break;
            }
        }
    }
    if (wanted == 0)
        list.Selected = 0;
    else
        list.SelectNearest(wanted);
}

void BuildThreadList(const CChoice &c, UInt32 storedThreads, CList &list) {
    list = CList();
    if (!c.Row || !c.Row->MultiThread) return;
    UInt32 max = 1;
    switch (c.Method) {
    case kLZMA:
        max = 2;
        break;
    case kLZMA2:
    case kBZip2:
        max = 32;
        break;
    default:
        max = 1;
        break;
    }
    if (c.IsZip) max = 128;
    const UInt32 processors = c.NumProcessors == 0 ? 1 : c.NumProcessors;
    if (max > processors * 2) max = processors * 2;
    for (UInt32 i = 1; i <= max; i++)
        list.Add(Number(i), i);
    list.SelectNearest(storedThreads != kUnset ? storedThreads : processors);
}

void BuildEncryptionList(const UString &formatName, const UString &storedEncryption, CList &list) {
    list = CList();
    if (Is7zFormat(formatName)) {
        list.Add(UString(L"AES-256"), 0);
        list.Selected = 0;
    } else if (IsZipFormat(formatName)) {
        list.Add(UString(L"ZipCrypto"), 0);
        list.Add(UString(L"AES-256"), 1);
        list.Selected = storedEncryption.IsPrefixedBy_Ascii_NoCase("aes") ? 1 : 0;
    }
}

UInt64 SolidBlockSize(UInt32 value) {
    if (value == 0 || value == kUnset) return 0;
    if (value >= 64) return (UInt64)(Int64)-1;
    return (UInt64)1 << value;
}

UString DictionaryLabel(UInt64 size) {
    UString s;
    if (size % ((UInt64)1 << 20) == 0) {
        s = Number(size >> 20);
        s += L" MB";
    } else if (size % ((UInt64)1 << 10) == 0) {
        s = Number(size >> 10);
        s += L" KB";
    } else {
        s = Number(size);
        s += L" B";
    }
    return s;
}

UString EncryptionMethodText(const CList &list) {
    if (list.Entries.Size() < 2 || list.Selected <= 0) return UString();
    UString s = list.Entries[(unsigned)list.Selected].Label;
    s.RemoveChar(L'-');
    return s;
}

bool SfxAllowed(const CFormatRow &row, EMethodID method) {
    if (!row.SFX) return false;
    return method == kNoMethod || method == kCopy || method == kLZMA || method == kLZMA2 || method == kPPMd;
}

bool ParseVolumeSizes(const UString &text, CRecordVector<UInt64> &sizes) {
    sizes.Clear();
    const wchar_t *p = text.Ptr();
    for (;;) {
        while (*p == L' ')
            p++;
        if (*p == 0 || *p == L'-') return true;
        if (*p < L'0' || *p > L'9') return false;
        UInt64 whole = 0;
        for (; *p >= L'0' && *p <= L'9'; p++) {
            const unsigned digit = (unsigned)(*p - L'0');
            if (whole > ((UInt64)(Int64)-1 - digit) / 10) return false;
            whole = whole * 10 + digit;
        }
        // A fraction ("1.5G") counts with a unit of k and above only; it is cut to whole bytes.
        UInt64 fracDigits = 0, fracScale = 1;
        const bool hasFraction = *p == L'.';
        if (hasFraction) {
            p++;
            if (*p < L'0' || *p > L'9') return false;
            for (; *p >= L'0' && *p <= L'9'; p++) {
                if (fracScale >= 1000000000) continue;
                fracDigits = fracDigits * 10 + (unsigned)(*p - L'0');
                fracScale *= 10;
            }
        }
        unsigned shift = 0;
        bool unit = false;
        switch (*p) {
        case L'b':
        case L'B':
            p++;
            break;
        case L'k':
        case L'K':
            shift = 10, unit = true;
            break;
        case L'm':
        case L'M':
            shift = 20, unit = true;
            break;
        case L'g':
        case L'G':
            shift = 30, unit = true;
            break;
        case L't':
        case L'T':
            shift = 40, unit = true;
            break;
        case 0:
        case L' ':
            break;
        default:
            return false;
        }
        if (hasFraction && !unit) return false;
        if (unit) {
            if (shift != 0 && whole >= ((UInt64)1 << (64 - shift))) return false;
            const unsigned __int128 total =
                ((unsigned __int128)whole << shift) + (((unsigned __int128)fracDigits << shift) / fracScale);
            if (total > (unsigned __int128)(UInt64)(Int64)-1) return false;
            whole = (UInt64)total;
            while (*p != 0 && *p != L' ')
                p++;
        }
        if (whole == 0) return false;
        sizes.Add(whole);
    }
}

} // namespace NCompressDialog
