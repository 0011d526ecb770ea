#include "WriteProps.h"

#include "FormatTable.h"
#include "PropVariantUtils.h"

#include <string.h>
#include <unistd.h>

namespace NPlugin {

namespace {

enum EKind { kLevel, kThreads, kMethod, kSize, kNumber, kBool, kEncryption, kAny };

// Bits of the formats a name applies to.
enum : unsigned {
    f7z = 1 << 0,
    fZip = 1 << 1,
    fTar = 1 << 2,
    fGzip = 1 << 3,
    fBzip2 = 1 << 4,
    fXz = 1 << 5,
    fZstd = 1 << 6,
    fAll = 0x7F
};

struct CRule {
    const char *name;
    EKind kind;
    unsigned formats;
    bool coderParam; // may follow a coder number in 7z ("0d")
};

// Coder tuning that libarchive does not expose is checked and then left to its defaults.
const CRule kRules[] = {
    {"x", kLevel, fAll, false},
    {"mt", kThreads, fAll, false},
    {"rsfx", kAny, fAll, false},
    {"m", kMethod, f7z | fZip | fGzip | fBzip2 | fXz | fZstd, false},
    {"d", kSize, f7z | fZip | fGzip | fBzip2 | fXz, true},
    {"mem", kSize, f7z | fZip, true},
    {"o", kNumber, f7z | fZip, true},
    {"fb", kNumber, f7z | fZip | fGzip | fXz, true},
    {"mc", kNumber, f7z | fZip | fGzip | fXz, true},
    {"pass", kNumber, f7z | fZip | fGzip | fBzip2, true},
    {"lc", kNumber, f7z | fXz, true},
    {"lp", kNumber, f7z | fXz, true},
    {"pb", kNumber, f7z | fXz, true},
    {"s", kAny, f7z, false},
    {"f", kAny, f7z, false},
    {"he", kBool, f7z, false},
    {"qs", kBool, f7z, false},
    {"em", kEncryption, f7z | fZip, false},
    {"tm", kBool, f7z | fZip | fTar, false},
    {"tc", kBool, f7z | fZip | fTar, false},
    {"ta", kBool, f7z | fZip | fTar, false},
    {"cu", kBool, fZip, false},
    {"cl", kBool, fZip, false},
    {"cp", kNumber, fZip | fTar, false},
};

struct CMethodName {
    const char *name;
    EWriteMethod method;
    unsigned formats; // formats that can write it; a known name elsewhere is an unsupported method
};

const CMethodName kMethods[] = {
    {"copy", EWriteMethod::kCopy, f7z | fZip},
    {"store", EWriteMethod::kCopy, f7z | fZip},
    {"deflate", EWriteMethod::kDeflate, f7z | fZip | fGzip},
    {"deflate64", EWriteMethod::kDefault, 0},
    {"bzip2", EWriteMethod::kBzip2, f7z | fZip | fBzip2},
    {"lzma", EWriteMethod::kLzma, f7z | fZip},
    {"lzma2", EWriteMethod::kLzma2, f7z | fXz},
    {"ppmd", EWriteMethod::kPpmd, f7z},
    {"xz", EWriteMethod::kLzma2, fXz},
    {"zstd", EWriteMethod::kZstd, fZstd},
};

unsigned FormatBit(EWriteFormat f) {
    switch (f) {
    case EWriteFormat::k7z:
        return f7z;
    case EWriteFormat::kZip:
        return fZip;
    case EWriteFormat::kTar:
        return fTar;
    case EWriteFormat::kGzip:
        return fGzip;
    case EWriteFormat::kBzip2:
        return fBzip2;
    case EWriteFormat::kXz:
        return fXz;
    case EWriteFormat::kZstd:
        return fZstd;
    case EWriteFormat::kNone:
        break;
    }
    return 0;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// ASCII only, folded to lower case; false for other characters.
bool LowerAscii(const wchar_t *s, std::string &out) {
    out.clear();
    for (; s && *s; s++) {
        if (*s <= 0 || *s > 127) return false;
        char c = static_cast<char>(*s);
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        out += c;
    }
    return true;
}

bool AllDigits(const std::string &s, UInt32 &n) {
    if (s.empty() || s.size() > 10) return false;
    UInt64 v = 0;
    for (char c : s) {
        if (!IsDigit(c)) return false;
        v = v * 10 + static_cast<UInt64>(c - '0');
    }
    if (v > 0xFFFFFFFF) return false;
    n = static_cast<UInt32>(v);
    return true;
}

// The value of a property as one of: nothing, a number or a text. A number written in the name
// ("x9") takes the place of the value, which must then be empty.
struct CValue {
    enum { kEmpty, kNumber, kBoolean, kText } type = kEmpty;
    UInt32 number = 0;
    bool boolean = false;
    std::string text;
};

HRESULT ReadValue(const std::string &suffix, const PROPVARIANT &v, CValue &out) {
    if (!suffix.empty()) {
        if (v.vt != VT_EMPTY) return E_INVALIDARG;
        out.type = CValue::kText;
        out.text = suffix;
        return S_OK;
    }
    switch (v.vt) {
    case VT_EMPTY:
        out.type = CValue::kEmpty;
        return S_OK;
    case VT_UI4:
        out.type = CValue::kNumber;
        out.number = v.ulVal;
        return S_OK;
    case VT_BOOL:
        out.type = CValue::kBoolean;
        out.boolean = v.boolVal != VARIANT_FALSE;
        return S_OK;
    case VT_BSTR:
        out.type = CValue::kText;
        if (!LowerAscii(v.bstrVal, out.text)) return E_INVALIDARG;
        return S_OK;
    default:
        return E_INVALIDARG;
    }
}

HRESULT ToNumber(const CValue &v, UInt32 &n, bool &given) {
    given = true;
    if (v.type == CValue::kNumber) {
        n = v.number;
        return S_OK;
    }
    if (v.type == CValue::kText && AllDigits(v.text, n)) return S_OK;
    if (v.type == CValue::kEmpty) {
        given = false;
        return S_OK;
    }
    return E_INVALIDARG;
}

HRESULT ToBool(const CValue &v, bool &b) {
    switch (v.type) {
    case CValue::kEmpty:
        b = true;
        return S_OK;
    case CValue::kBoolean:
        b = v.boolean;
        return S_OK;
    case CValue::kText:
        if (v.text.empty() || v.text == "+" || v.text == "on") {
            b = true;
            return S_OK;
        }
        if (v.text == "-" || v.text == "off") {
            b = false;
            return S_OK;
        }
        return E_INVALIDARG;
    default:
        return E_INVALIDARG;
    }
}

// A size: a number is a power of two; a text is digits with an optional b, k, m or g.
HRESULT CheckSize(const CValue &v) {
    if (v.type == CValue::kNumber) return v.number <= 63 ? S_OK : E_INVALIDARG;
    if (v.type != CValue::kText) return E_INVALIDARG;
    size_t i = 0;
    while (i < v.text.size() && IsDigit(v.text[i]))
        i++;
    // Byte counts may pass 4 GiB; a bare number is an exponent.
    if (i == 0 || i > 19) return E_INVALIDARG;
    const std::string unit = v.text.substr(i);
    if (unit.empty()) return (i <= 2 && std::stoul(v.text) <= 63) ? S_OK : E_INVALIDARG;
    if (unit.size() == 1 && strchr("bkmg", unit[0])) return S_OK;
    return E_INVALIDARG;
}

} // namespace

UInt32 NumCpus() {
    const long n = sysconf(_SC_NPROCESSORS_ONLN);
    return n > 0 ? static_cast<UInt32>(n) : 1;
}

EWriteFormat WriteFormatOf(const CFormatInfo &format) {
    static const struct {
        const char *name;
        EWriteFormat kind;
    } kWriters[] = {{"7z", EWriteFormat::k7z},     {"zip", EWriteFormat::kZip},     {"tar", EWriteFormat::kTar},
                    {"gzip", EWriteFormat::kGzip}, {"bzip2", EWriteFormat::kBzip2}, {"xz", EWriteFormat::kXz},
                    {"zstd", EWriteFormat::kZstd}};
    for (const auto &w : kWriters)
        if (strcmp(format.name, w.name) == 0) return w.kind;
    return EWriteFormat::kNone;
}

void CWriteProps::Reset() {
    level = -1;
    method = EWriteMethod::kDefault;
    threads = 0;
    encryption = EZipEncryption::kZipCrypto;
    encryptionGiven = false;
    encryptHeaders = false;
    encryptHeadersGiven = false;
}

HRESULT CWriteProps::Set(const wchar_t *const *names, const PROPVARIANT *values, UInt32 numProps) {
    Reset();
    if (numProps != 0 && (!names || !values)) return E_INVALIDARG;
    for (UInt32 i = 0; i < numProps; i++) {
        const HRESULT res = SetOne(names[i] ? names[i] : L"", values[i]);
        if (res != S_OK) {
            Reset();
            return res;
        }
    }
    return S_OK;
}

HRESULT CWriteProps::SetOne(const std::wstring &wideName, const PROPVARIANT &value) {
    const unsigned bit = FormatBit(_format);
    std::string name;
    if (!LowerAscii(wideName.c_str(), name) || name.empty()) return E_INVALIDARG;

    // 7z numbers its coders: "0" is the first method and "0d" its dictionary. One coder is written.
    size_t p = 0;
    while (p < name.size() && IsDigit(name[p]))
        p++;
    bool coderPrefix = false;
    if (p != 0) {
        if (_format != EWriteFormat::k7z) return E_INVALIDARG;
        UInt32 coder = 0;
        if (!AllDigits(name.substr(0, p), coder)) return E_INVALIDARG;
        if (coder != 0) return E_NOTIMPL;
        coderPrefix = true;
        name.erase(0, p);
        if (name.empty()) name = "m";
    }
    size_t alpha = 0;
    while (alpha < name.size() && name[alpha] >= 'a' && name[alpha] <= 'z')
        alpha++;
    const std::string key = name.substr(0, alpha);
    const std::string suffix = name.substr(alpha);

    const CRule *rule = nullptr;
    for (const CRule &r : kRules)
        if (key == r.name && (r.formats & bit) && (!coderPrefix || r.coderParam || key == "m")) rule = &r;
    if (!rule) return E_INVALIDARG;

    CValue v;
    RINOK_PLUGIN(ReadValue(suffix, value, v));
    switch (rule->kind) {
    case kLevel: {
        UInt32 n = 0;
        bool given = false;
        RINOK_PLUGIN(ToNumber(v, n, given));
        if (given) {
            const UInt32 max = _format == EWriteFormat::kZstd ? 22 : 9;
            level = static_cast<int>(n > max ? max : n);
        }
        return S_OK;
    }
    case kThreads: {
        UInt32 n = 0;
        bool given = false;
        if (v.type == CValue::kNumber || (v.type == CValue::kText && AllDigits(v.text, n))) {
            RINOK_PLUGIN(ToNumber(v, n, given));
        } else {
            bool on = false;
            RINOK_PLUGIN(ToBool(v, on));
            n = on ? NumCpus() : 1;
        }
        threads = n == 0 ? 1 : n;
        return S_OK;
    }
    case kMethod: {
        if (v.type != CValue::kText || !suffix.empty()) return E_INVALIDARG;
        const std::string methodName = v.text.substr(0, v.text.find(':'));
        for (const CMethodName &m : kMethods) {
            if (methodName != m.name) continue;
            if (!(m.formats & bit)) return E_NOTIMPL;
            method = m.method;
            return S_OK;
        }
        return E_INVALIDARG;
    }
    case kSize:
        return CheckSize(v);
    case kNumber: {
        UInt32 n = 0;
        bool given = false;
        return ToNumber(v, n, given);
    }
    case kBool: {
        bool b = false;
        RINOK_PLUGIN(ToBool(v, b));
        if (key == "he") {
            encryptHeaders = b;
            encryptHeadersGiven = true;
        }
        return S_OK;
    }
    case kEncryption: {
        if (v.type != CValue::kText) return E_INVALIDARG;
        std::string t;
        for (char c : v.text)
            if (c != '-') t += c;
        if (t == "aes256") {
            encryption = EZipEncryption::kAes256;
        } else if (_format == EWriteFormat::kZip && t == "aes128") {
            encryption = EZipEncryption::kAes128;
        } else if (_format == EWriteFormat::kZip && t == "aes192") {
            encryption = EZipEncryption::kAes192;
        } else if (_format == EWriteFormat::kZip && t == "zipcrypto") {
            encryption = EZipEncryption::kZipCrypto;
        } else if (t == "aes192" || t == "zipcrypto" || t == "aes128") {
            return E_NOTIMPL;
        } else {
            return E_INVALIDARG;
        }
        encryptionGiven = true;
        return S_OK;
    }
    case kAny:
        return S_OK;
    }
    return E_INVALIDARG;
}

} // namespace NPlugin
